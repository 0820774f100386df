// Zoom, scrolling and drops, the toolbar's toggles, the properties and note
// dialogs, the IPP picker, saving, opening and printing, and closing.

#include "editor_fixture.h"
#include "persistence/network_file.h"
#include "ui/diagram/fb_diagram_dialogs.h"
#include "ui/ui_test_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <cmath>

namespace telvo::test {
namespace {

class Viewing : public EditorFixture {};

TEST_F(Viewing, ZoomOutStepsDownToATenthAndStops)
{
    TFB_Instance* a = Place("A", "T", 160, 80); // BaseX 200
    EXPECT_EQ(Editor->ZoomCombo()->currentText(), QString("80%"));
    std::vector<double> seen;
    for (int i = 0; i < 16; ++i) {
        Editor->Button("btmZoomOut")->click();
        seen.push_back(Editor->Zoom());
    }
    const std::vector<double> expected = {0.75, 0.7, 0.65, 0.6, 0.55, 0.5, 0.45, 0.4,
                                          0.35, 0.3, 0.25, 0.2, 0.15, 0.1, 0.1, 0.1};
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_NEAR(seen[i], expected[i], 1e-9) << i;
    EXPECT_EQ(Editor->ZoomCombo()->currentText(), QString("10%"));
    EXPECT_EQ(Editor->StatusText(), QString("10 %"));
    EXPECT_EQ(a->X, 20);
    EXPECT_EQ(a->Width, 14);
    // No upper bound going up.
    for (int i = 0; i < 40; ++i)
        Editor->Button("SpeedButton19")->click();
    EXPECT_NEAR(Editor->Zoom(), 2.1, 1e-9);
    EXPECT_EQ(a->X, 420);
}

struct TypedZoom {
    const char* Text;
    double Zoom; // expected afterwards; 0.8 when ignored
    bool Error;
};

class ZoomBox : public EditorFixture, public ::testing::WithParamInterface<TypedZoom> {};

TEST_P(ZoomBox, TypedTextsAndEnter)
{
    const TypedZoom& c = GetParam();
    QLineEdit* edit = Editor->ZoomCombo()->lineEdit();
    edit->setText(QString::fromLatin1(c.Text));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_NEAR(Editor->Zoom(), c.Zoom, 1e-9);
    if (c.Error)
        EXPECT_EQ(UI.Messages().back(), "'" + std::string(c.Text) + "' is not a valid floating point value");
    else
        EXPECT_TRUE(UI.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Editor, ZoomBox,
                         ::testing::Values(TypedZoom{"55", 0.55, false}, TypedZoom{"55%", 0.55, false},
                                           TypedZoom{"0", 0.8, false}, TypedZoom{"0.5", 0.8, false},
                                           TypedZoom{"250", 2.5, false}, TypedZoom{"abc", 0.8, true}),
                         [](const auto& info) {
                             std::string s = info.param.Text;
                             for (char& ch : s)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return "typed_" + s;
                         });

TEST_F(Viewing, ChoosingAComboItemZooms)
{
    Editor->ZoomCombo()->setCurrentIndex(4);
    emit Editor->ZoomCombo()->activated(4);
    EXPECT_NEAR(Editor->Zoom(), 1.0, 1e-9);
}

TEST_F(Viewing, ScrollingMovesEverythingAndADropLandsShiftedByTheOffsets)
{
    TFB_Instance* a = Place("A", "T", 160, 80);
    TFBDnote* note = Note(300, 300);
    Workbench->FBManager().CreateInstance("B", "T", false);
    Editor->HorizontalBar()->setValue(5);
    Editor->VerticalBar()->setValue(3);
    EXPECT_EQ(Editor->ScrollX(), 50);
    EXPECT_EQ(Editor->ScrollY(), 30);
    EXPECT_EQ(std::make_pair(a->X, a->Y), std::make_pair(110, 50));
    EXPECT_EQ(std::make_pair(note->X, note->Y), std::make_pair(250, 270));

    Editor->DropRecord(Workbench->FBManager().FindInstance("B"), 300, 200);
    TFB_Instance* b = Diagram->FindDrawn("B");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::make_pair(b->X, b->Y), std::make_pair(250, 170));
    EXPECT_EQ(Workbench->FBManager().Instances.size(), 2u) << "the record is placed, not copied";

    // Scrolling back returns everything to its unscrolled place.
    Editor->HorizontalBar()->setValue(0);
    Editor->VerticalBar()->setValue(0);
    EXPECT_EQ(std::make_pair(a->X, a->Y), std::make_pair(160, 80));
    EXPECT_EQ(std::make_pair(b->X, b->Y), std::make_pair(300, 200));

    // A new instance made while scrolled stays where it appeared.
    Editor->HorizontalBar()->setValue(2);
    TFB_Instance* c = Editor->AddInstanceOfType("T");
    ASSERT_NE(c, nullptr);
    const int placed = c->X;
    Editor->HorizontalBar()->setValue(4);
    EXPECT_EQ(c->X, placed - 20);
}

TEST_F(Viewing, NewInstancesAreNamedLoggedAndTakeTheShownTypes)
{
    Editor->Button("btnShowType")->click();
    TFB_Instance* t = Editor->AddInstanceOfType("T");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Ref->Name, "t1");
    EXPECT_EQ(t->TypeColour, 0xE2E2E2u);
    EXPECT_EQ(t->Scale, 0.8);
    EXPECT_EQ(UI.LogLines().back(), "Added an instance of the t Function Block type");
    EXPECT_EQ(LastHint(), "You just have added an instance of the t Function Block type");
    Editor->Button("btnShowType")->click();
    EXPECT_EQ(t->TypeColour, 0xFFFFFFu);
    Editor->Button("btnShowType")->click();
    EXPECT_EQ(t->TypeColour, 0xA2A2A2u);

    EXPECT_EQ(Editor->AddInstanceOfType("NO_SUCH_TYPE"), nullptr);
    EXPECT_EQ(UI.Messages().back(), "Error 101: Cannot create FB instance  from type NO_SUCH_TYPE");

    Editor->Button("btnShowOtherInstancesConnections")->click();
    EXPECT_FALSE(Editor->View().ShowRemoteConnections);
    Editor->Button("btnAddNote")->click();
    ASSERT_EQ(Diagram->Notes.size(), 1u);
    EXPECT_EQ(Diagram->Notes[0]->Text, "Write your note here...");
    EXPECT_EQ(Diagram->Notes[0]->BaseX, 12); // rnd(10 / 0.8)
    EXPECT_TRUE(Editor->Button("btnDebug")->isEnabled()) << "an application diagram can be simulated";
}

TEST_F(Viewing, StereotypeToggleSwitchesGlyphsToBlocks)
{
    Workbench->FBManager().Types.push_back(MakeType("E_SPLIT", 1, 2, 0, 0));
    TFB_Instance* s = Place("s", "E_SPLIT", 300, 300);
    Editor->PaintDiagram();
    EXPECT_EQ(s->Width, 40);
    Editor->Button("btnDrawEvents")->click();
    EXPECT_FALSE(s->DrawAsGlyph);
    EXPECT_EQ(s->Width, 112);
}

TEST_F(Viewing, PropertiesDialogStoresNameDescriptionAndConstants)
{
    TFB_Instance* a = Place("A", "T", 160, 80);
    Place("B", "T", 400, 80);
    TModalAnswers answers;
    int dialogs = 0;
    answers.OnDialog = [&](QDialog* d) {
        auto* props = qobject_cast<TfrmFBProperties*>(d);
        ASSERT_NE(props, nullptr);
        EXPECT_EQ(props->windowTitle(), QString("FB Properties"));
        EXPECT_EQ(props->TypeCombo()->currentText(), QString("T"));
        EXPECT_EQ(props->DataInputGrid()->item(0, 0)->text(), QString("DI1"));
        ++dialogs;
        if (dialogs == 1) {
            props->NameEdit()->setText("B"); // taken
            props->OkClick();
            EXPECT_TRUE(props->isVisible());
            props->NameEdit()->setText("Pump");
            props->DescriptionMemo()->setPlainText("feeds the tank");
            props->DataInputGrid()->item(0, 1)->setText("7");
            props->OkClick();
        } else {
            props->DataInputGrid()->item(0, 1)->setText("seven");
            props->OkClick();
            props->reject();
        }
    };
    DoubleClick(215, 150);
    ASSERT_TRUE(WaitUntil([&] { return dialogs == 1 && !QApplication::activeModalWidget(); }));
    EXPECT_EQ(UI.Messages().front(), "The FB instance cannot be named B: another FB instance has that name.");
    EXPECT_EQ(a->Ref->Name, "Pump");
    EXPECT_EQ(Workbench->FBManager().FindInstance("Pump"), a->Ref);
    EXPECT_EQ(a->Ref->Comment, "feeds the tank");
    EXPECT_EQ(a->Ref->DataInputs[0]->ValueText, "7");
    EXPECT_EQ(a->Ref->DataInputs[0]->IntValue, 7);

    // A value that is no number of its type is refused; nothing changes.
    Click(215, 150);
    DoubleClick(215, 150);
    ASSERT_TRUE(WaitUntil([&] { return dialogs == 2 && !QApplication::activeModalWidget(); }));
    EXPECT_EQ(a->Ref->DataInputs[0]->ValueText, "7");
}

TEST_F(Viewing, NoteDialogEditsTheTextWithItsLineBreaks)
{
    TFBDnote* note = Note(300, 300, "old");
    TModalAnswers answers;
    answers.OnDialog = [&](QDialog* d) {
        auto* dialog = qobject_cast<TfrmEditNote*>(d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QString("Edit note"));
        EXPECT_EQ(dialog->Memo()->toPlainText(), QString("old"));
        dialog->Memo()->setPlainText("line one\nline two");
        dialog->accept();
    };
    DoubleClick(305, 305);
    EXPECT_EQ(note->Text, "line one\r\nline two");
    EXPECT_TRUE(Editor->SkipNextPress());
}

TEST_F(Viewing, IppPickerAddsTheSelectedIppsDownTheDiagonal)
{
    TslIPPRef* level = Ipp("Level", false, false);
    Ipp("Valve", true, false);
    auto* device = static_cast<TslIODevice*>(Workbench->SystemLayer().AddObject("IEC_Device0", slIECDevice));
    device->BindIpp(level);
    Editor->Button("btnInsertIPP")->click();
    TfrmSelectIPPfromIPT* picker = Editor->IppPicker();
    ASSERT_TRUE(picker->isVisible());
    QTreeWidget* tree = picker->Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QString("Unassigned IPPs"));
    ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), QString("tank.Valve"));
    EXPECT_EQ(tree->topLevelItem(1)->text(0), QString("IEC_Device0"));
    ASSERT_EQ(tree->topLevelItem(1)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(1)->child(0)->text(0), QString("tank.Level"));

    tree->topLevelItem(1)->child(0)->setSelected(true);
    tree->topLevelItem(0)->child(0)->setSelected(true);
    tree->topLevelItem(0)->setSelected(true); // a root adds nothing
    picker->AddButton()->click();
    EXPECT_FALSE(picker->isVisible());
    ASSERT_EQ(Diagram->IPPPictures.size(), 2u);
    std::vector<std::pair<int, int>> places;
    for (const auto& p : Diagram->IPPPictures)
        places.emplace_back(p->X, p->Y);
    EXPECT_EQ(places, (std::vector<std::pair<int, int>>{{20, 20}, {40, 40}}));
    EXPECT_EQ(UI.LogLines().back().rfind("Add IPP: ", 0), 0u);
}

TEST_F(Viewing, SaveAsksForANameOnceThenWritesTheFile)
{
    Place("A", "T", 160, 80);
    int asked = 0;
    Editor->AskSaveFileName = [&](const QString&) {
        ++asked;
        return QString::fromStdString((Home / "line_a").string());
    };
    Editor->Button("btnExportFBNetwork")->click();
    const std::string file = (Home / "line_a.fbn").string();
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(Diagram->FileName, file);
    EXPECT_EQ(Editor->windowTitle(), QString::fromStdString("Function Block Network [" + file + "][*]"));
    EXPECT_EQ(UI.LogLines().back(), "Save FB network file " + file);
    Editor->SaveNetworkClick();
    EXPECT_EQ(asked, 1) << "an existing file is written without asking";

    // Read back into a fresh diagram: the instance is there.
    TFB_Diagram* copy = Workbench->FBManager().CreateDiagram("copy", 1.0);
    LoadFromFile(*copy, file);
    EXPECT_NE(copy->FindDrawn("A"), nullptr);

    // Cancelled: nothing written, no title change.
    Diagram->FileName.clear();
    Editor->AskSaveFileName = [](const QString&) { return QString(); };
    const QString title = Editor->windowTitle();
    Editor->SaveNetworkClick();
    EXPECT_EQ(Editor->windowTitle(), title);
}

TEST_F(Viewing, OpenReadsANetworkFileIntoTheDiagram)
{
    TFB_Diagram* source = Workbench->FBManager().CreateDiagram("source", 1.0);
    source->AddInstance("K", "T", false, nullptr)->PlaceAt(300, 200);
    const std::string file = (Home / "k.fbn").string();
    SaveToFile(*source, file);
    Editor->AskOpenFileName = [&] { return QString::fromStdString(file); };
    Editor->OpenNetworkClick();
    TFB_Instance* k = Diagram->FindDrawn("K");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->X, 240) << "placed at the window's zoom";
    EXPECT_EQ(UI.LogLines().back(), "Open FB network file " + file);
    EXPECT_EQ(Editor->windowTitle(), QString::fromStdString("Function Block Network [" + file + "][*]"));

    // A file that is not a network is reported; the diagram stays.
    const std::string bad = Home.Write("bad.fbn", "<notanetwork/>").string();
    Editor->AskOpenFileName = [&] { return QString::fromStdString(bad); };
    Editor->OpenNetworkClick();
    EXPECT_FALSE(UI.Messages().empty());
    EXPECT_NE(Diagram->FindDrawn("K"), nullptr);
}

TEST_F(Viewing, PrintsToPdfAtTheSheetSizeAndKeepsTheWindowImage)
{
    Place("A", "T", 160, 80);
    Editor->HorizontalBar()->setValue(3);
    const QSize before = Editor->Image().size();
    const QString pdf = QString::fromStdString((Home / "d.pdf").string());
    Editor->PrintToPdf(pdf);
    const std::string content = ReadFile(pdf.toStdString());
    ASSERT_GT(content.size(), 1000u);
    EXPECT_EQ(content.rfind("%PDF", 0), 0u);
    EXPECT_EQ(Editor->ScrollX(), 0) << "printing starts from the unscrolled diagram";
    EXPECT_EQ(Editor->Image().size(), before);
    EXPECT_FALSE(Editor->View().PrintMode);
}

TEST_F(Viewing, ClosingUnscrollsAndDetachesTheInstances)
{
    TFB_Instance* a = Place("A", "T", 160, 80);
    Editor->HorizontalBar()->setValue(4);
    EXPECT_EQ(a->Canvas, Editor->Canvas());
    EXPECT_TRUE(Editor->close());
    EXPECT_EQ(a->X, 160);
    EXPECT_EQ(a->Canvas, nullptr);
}

} // namespace
} // namespace telvo::test
