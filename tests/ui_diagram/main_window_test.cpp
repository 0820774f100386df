// The diagram windows under the main window: a new diagram opens an editor
// as an MDI child, the FB types menu inserts into the active one, merging
// all diagrams opens the merged network, and closing forgets the window.

#include "editor_fixture.h"
#include "ui/mainwindow/main_form.h"
#include "ui/mainwindow/project_browser.h"
#include "ui/ui_test_support.h"

#include <QDockWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>

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
    EXPECT_EQ(editor->SubWindow()->windowTitle(), QString("Line A[*]"));
    EXPECT_EQ(TMainForm::CaptionOf(editor->SubWindow()), QString("Line A"));
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

    // Hints of the window reach the project browser's status bar and the
    // main window's: a click just right of e_split1's input EI.
    editor->Button("btnDrawConnection")->click();
    const TFBEventDraw& ei = *d->DrawnInstances[0]->EventInputPorts[0];
    QTest::mouseClick(editor->PaintBox(), Qt::LeftButton, Qt::NoModifier, QPoint(ei.X + 3, ei.Y));
    EXPECT_EQ(Form->ProjectBrowser()->HintText(), QString("Source Event Input: EI. Please connect to an Event Output"));
    EXPECT_EQ(Form->StatusText(), QString("Source Event Input: EI. Please connect to an Event Output"));
    editor->SubWindow()->close();
    ASSERT_TRUE(WaitUntil([&] { return Form->DiagramWindows().size() == 1u; }));
    EXPECT_EQ(Form->DiagramWindows()[0], mergedEditor);
    Form->CloseEditorWindows();
    EXPECT_TRUE(Form->DiagramWindows().empty());
}


// The main window's own status bar spans the whole window and shows a long
// hint of a diagram window in full, beside the project browser's narrow
// panel. With TELVO_SCREENSHOT_DIR set, the window is saved as a picture.
TEST_F(DiagramWindows, ALongHintShowsInFullAcrossTheMainWindow)
{
    Start();
    Form->resize(1400, 800);
    Form->ProjectBrowserDock()->show();
    TFB_Diagram* d = Form->NewDiagramWindow("Line A", "Line A");
    (void)d;
    auto* editor = dynamic_cast<TfrmDesignFBDiagram*>(Form->DiagramWindows()[0]);
    ASSERT_NE(editor, nullptr);
    editor->SubWindow()->resize(900, 520);
    editor->Button("btnNewFB")->click();
    Form->FBTypesMenu()->hide();
    QTest::qWait(50);
    const QString hint = "Select a Function Block instance from the list, in order to insert it in the Function "
                         "Block network diagram";
    if (const QByteArray dir = qgetenv("TELVO_SCREENSHOT_DIR"); !dir.isEmpty())
        Form->grab().save(QString::fromLocal8Bit(dir) + "/main-window-long-hint.png");
    EXPECT_EQ(Form->ProjectBrowser()->HintText(), hint);
    EXPECT_EQ(Form->StatusText(), hint);
    QWidget* label = Form->findChild<QWidget*>("lbStatus");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());
    EXPECT_GT(label->width(), Form->width() / 2) << "the status bar runs along the whole window";
    EXPECT_EQ(Form->width(), 1400) << "a long text must not widen the window";
}

} // namespace
} // namespace telvo::test

namespace telvo::test {
namespace {

class MainEditMenu : public ::testing::Test, public TMainFormFixture {};

// The main window's Edit menu works on the active diagram window: its undo
// stack and its clipboard commands.
TEST_F(MainEditMenu, UndoRedoAndTheClipboardActOnTheActiveDiagramWindow)
{
    Start();
    TFB_Diagram* d = Form->NewDiagramWindow("Line A", "Line A");
    auto* editor = dynamic_cast<TfrmDesignFBDiagram*>(Form->ActiveEditor());
    ASSERT_NE(editor, nullptr);
    Form->UpdateMenuItems();
    EXPECT_FALSE(Form->Action("mnuUndo")->isEnabled());
    Form->PickLibraryType("", "E_SPLIT");
    ASSERT_EQ(d->DrawnInstances.size(), 1u);
    Form->UpdateMenuItems();
    ASSERT_TRUE(Form->Action("mnuUndo")->isEnabled());
    EXPECT_FALSE(Form->Action("mnuRedo")->isEnabled());

    Form->Action("mnuUndo")->trigger();
    EXPECT_TRUE(d->DrawnInstances.empty());
    EXPECT_FALSE(Form->Action("mnuUndo")->isEnabled());
    ASSERT_TRUE(Form->Action("mnuRedo")->isEnabled());
    Form->Action("mnuRedo")->trigger();
    ASSERT_EQ(d->DrawnInstances.size(), 1u);

    d->Select(d->DrawnInstances[0].get());
    Form->Action("mnuCopy")->trigger();
    Form->Action("mnuPaste")->trigger();
    ASSERT_EQ(d->DrawnInstances.size(), 2u);
    EXPECT_EQ(d->DrawnInstances[1]->Ref->Name, "e_split1_1");
    Form->Action("mnuCut")->trigger(); // the pasted copy is the selection
    ASSERT_EQ(d->DrawnInstances.size(), 1u);
    EXPECT_EQ(editor->UndoStack()->count(), 3) << "add, paste, cut";
}

} // namespace
} // namespace telvo::test
