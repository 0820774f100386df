// The diagram windows under the main window: a new diagram opens an editor
// as an MDI child, the FB types menu inserts into the active one, merging
// all diagrams opens the merged network, and closing forgets the window.

#include "editor_fixture.h"
#include "ui/main_form.h"
#include "ui/project_browser.h"
#include "ui/ui_test_support.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QToolButton>

namespace telvo::test {
namespace {

class DiagramWindows : public ::testing::Test, public TMainFormFixture {};

TEST_F(DiagramWindows, NewDiagramTypesMenuMergeAndClose)
{
    Start();
    ASSERT_TRUE(Form->StartUpDone());
    TFB_Diagram* d = Form->NewDiagramWindow("Line A", "Line A");
    ASSERT_EQ(Form->DiagramWindows().size(), 1u);
    auto* editor = dynamic_cast<TfrmDesignFBDiagram*>(Form->DiagramWindows()[0]);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Diagram(), d);
    EXPECT_EQ(d->Zoom, 0.8);
    EXPECT_EQ(editor->SubWindow()->mdiArea(), Form->MdiArea());
    EXPECT_EQ(editor->SubWindow()->windowTitle(), QString("Line A"));
    EXPECT_EQ(Form->ActiveEditor(), editor);
    EXPECT_TRUE(editor->Button("btnExportFBNetwork")->isVisible()) << "no project is open";

    // The FB types menu inserts into the active diagram window.
    Form->PickLibraryType("", "E_SPLIT");
    ASSERT_EQ(d->DrawnInstances.size(), 1u);
    EXPECT_EQ(d->DrawnInstances[0]->Ref->Name, "e_split1");
    EXPECT_EQ(d->DrawnInstances[0]->Scale, 0.8);

    // The merged network: every record, three to a row, at the window's zoom.
    TFB_Diagram* merged = Form->MergeAllDiagrams();
    ASSERT_EQ(Form->DiagramWindows().size(), 2u);
    auto* mergedEditor = dynamic_cast<TfrmDesignFBDiagram*>(Form->DiagramWindows()[1]);
    ASSERT_NE(mergedEditor, nullptr);
    EXPECT_EQ(mergedEditor->Diagram(), merged);
    TFB_Instance* copy = merged->FindDrawn("e_split1");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::make_pair(copy->X, copy->Y), std::make_pair(80, 120));

    // Hints of the window reach the project browser's status bar: e_split1
    // is a glyph at (96, 96), its input EI at (97, 116).
    editor->Button("btnDrawConnection")->click();
    QTest::mouseClick(editor->PaintBox(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 116));
    EXPECT_EQ(Form->ProjectBrowser()->HintText(), QString("Source Event Input: EI. Please connect to an Event Output"));
    editor->SubWindow()->close();
    ASSERT_TRUE(WaitUntil([&] { return Form->DiagramWindows().size() == 1u; }));
    EXPECT_EQ(Form->DiagramWindows()[0], mergedEditor);
    Form->CloseEditorWindows();
    EXPECT_TRUE(Form->DiagramWindows().empty());
}

} // namespace
} // namespace telvo::test
