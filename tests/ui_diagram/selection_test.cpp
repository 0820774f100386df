// Select mode: the press that is skipped after a dialog or a deletion,
// replacing the selection, dragging a group, the rubber band, and picking
// and deleting connections.

#include "editor_fixture.h"
#include "ui/ui_test_support.h"

#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QToolButton>

namespace telvo::test {
namespace {

// At zoom 0.8 a block of type T is 112 x 120: an instance at (160, 80) has
// EI1 at (159, 87), EO1 at (272, 87), DI1 at (159, 129), DO1 at (271, 129).

enum class Trigger { DoubleClickDialog, DeleteMenu, DeleteKey };

class SkippedPress : public EditorFixture, public ::testing::WithParamInterface<Trigger> {};

TEST_P(SkippedPress, TheNextPressOnTheDrawingIsIgnored)
{
    TFB_Instance* a = Place("A", "T", 160, 80);
    TModalAnswers answers; // closes the properties dialog
    Click(215, 150);
    ASSERT_EQ(Selected(), std::vector<std::string>{"A"});
    switch (GetParam()) {
    case Trigger::DoubleClickDialog:
        DoubleClick(215, 150);
        break;
    case Trigger::DeleteMenu:
        UI.QueueAnswer(false);
        Editor->ContextMenu()->actions()[4]->trigger(); // "Delete"
        break;
    case Trigger::DeleteKey:
        UI.QueueAnswer(false);
        Editor->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Editor.get()));
        Editor->PaintBox()->setFocus();
        QTest::keyClick(Editor->PaintBox(), Qt::Key_Delete);
        ASSERT_EQ(UI.Questions().size(), 1u) << "the Delete key runs Delete";
        break;
    }
    EXPECT_TRUE(Editor->SkipNextPress());
    // A press on empty drawing would clear the selection and start a band.
    Press(700, 500);
    EXPECT_FALSE(Editor->RubberBand());
    EXPECT_FALSE(Editor->SkipNextPress());
    Release(700, 500);
    // The press after that is a press again.
    Press(700, 500);
    EXPECT_TRUE(Editor->RubberBand());
    Release(700, 500);
    EXPECT_TRUE(Diagram->Selection.empty());
    (void)a;
}

INSTANTIATE_TEST_SUITE_P(Editor, SkippedPress,
                         ::testing::Values(Trigger::DoubleClickDialog, Trigger::DeleteMenu, Trigger::DeleteKey),
                         [](const auto& info) {
                             switch (info.param) {
                             case Trigger::DoubleClickDialog:
                                 return std::string("after_a_double_click_dialog");
                             case Trigger::DeleteMenu:
                                 return std::string("after_delete_from_the_menu");
                             default:
                                 return std::string("after_the_delete_key");
                             }
                         });

class Selecting : public EditorFixture {};

TEST_F(Selecting, APressReplacesASingleSelectionAndDragsAGroup)
{
    TFB_Instance* a = Place("A", "T", 160, 80);
    TFB_Instance* b = Place("B", "T", 400, 80);
    Click(215, 150);
    EXPECT_EQ(Selected(), std::vector<std::string>{"A"});
    Click(455, 150);
    EXPECT_EQ(Selected(), std::vector<std::string>{"B"}) << "one selected object is replaced";
    EXPECT_TRUE(b->GroupSelected);
    EXPECT_FALSE(a->GroupSelected);

    // A band around both selects both; a press on a member drags the group.
    Press(100, 40);
    Move(600, 300);
    Release(600, 300);
    EXPECT_EQ(Selected(), (std::vector<std::string>{"B", "A"}));
    Press(215, 150);
    Move(225, 160);
    Move(235, 175);
    Release(235, 175);
    EXPECT_EQ(std::make_pair(a->X, a->Y), std::make_pair(180, 105));
    EXPECT_EQ(std::make_pair(b->X, b->Y), std::make_pair(420, 105));
    EXPECT_EQ(a->BaseX, 225);
    EXPECT_EQ(Selected().size(), 2u);
    EXPECT_FALSE(a->Selected) << "the drag ends with the release";

    // The lines follow at once: the paint after each move reroutes them.
    // A press on empty drawing clears the selection and starts a band.
    Press(800, 600);
    EXPECT_TRUE(Diagram->Selection.empty());
    EXPECT_TRUE(Editor->RubberBand());
    Release(800, 600);
}

TEST_F(Selecting, RubberBandTakesWhatIsInsideAndOnlyTheTopmostNote)
{
    Place("A", "T", 160, 80);   // inside
    Place("C", "T", 500, 250);  // reaches out of the band
    TslIPP* in = Editor->AddIppPicture(Ipp("Level", false, false), 100, 300);
    TslIPP* out = Editor->AddIppPicture(Ipp("Valve", true, false), 560, 300);
    Note(150, 400, "first");
    Note(200, 400, "second");
    Editor->PaintDiagram();

    Press(90, 60);
    Move(300, 200);
    EXPECT_TRUE(Editor->RubberBand());
    EXPECT_EQ(Editor->View().RubberRight, 300);
    Move(580, 480);
    // The band is painted dotted from corner to corner.
    const QImage& img = Editor->Image();
    int inked = 0;
    for (int x = 100; x < 140; ++x)
        inked += QColor(img.pixel(x, 60)) == QColor(Qt::black) ? 1 : 0;
    EXPECT_GT(inked, 10);
    EXPECT_LT(inked, 30);
    Release(580, 480);
    EXPECT_FALSE(Editor->RubberBand());
    EXPECT_EQ(Selected(), (std::vector<std::string>{"A", "ipp:Level", "note:second"}));
    EXPECT_TRUE(in->GroupSelected);
    EXPECT_FALSE(out->GroupSelected);
}

TEST_F(Selecting, ConnectionsArePickedOnlyWithNothingSelectedAndDeletedAfterTheQuestion)
{
    TFB_Instance* a = Place("A", "T", 160, 80);
    TFB_Instance* b = Place("B", "T", 400, 80);
    auto r = std::make_unique<TFB_EventAssocRef>();
    r->SourceInstance = a->Ref;
    r->SourcePort = a->Ref->EventOutputs[0].get();
    r->DestInstance = b->Ref;
    r->DestPort = b->Ref->EventInputs[0].get();
    Workbench->FBManager().AddEventConn(std::move(r));
    Diagram->RebuildLines();
    Editor->PaintDiagram();
    // The line runs along y 87 from 272 to 399. With both blocks selected a
    // press on it picks nothing but clears the selection.
    Press(100, 40);
    Move(600, 300);
    Release(600, 300);
    ASSERT_EQ(Diagram->Selection.size(), 2u);
    Press(330, 87);
    EXPECT_EQ(Editor->PickedEventLine(), nullptr);
    EXPECT_TRUE(Diagram->Selection.empty());
    EXPECT_TRUE(Editor->RubberBand());
    // The release ends that empty band with the click routine, on nothing
    // selected now: the line is picked.
    Release(330, 87);
    ASSERT_NE(Editor->PickedEventLine(), nullptr);
    EXPECT_TRUE(Editor->PickedEventLine()->Highlighted);

    UI.QueueAnswer(false);
    Editor->DeleteClick();
    EXPECT_EQ(Workbench->FBManager().EventConns.size(), 1u) << "declined";
    EXPECT_EQ(UI.Questions().back(), "Delete Event Connection from your model ?");
    Click(600, 600); // skipped
    Click(600, 600); // clears
    Click(330, 87);
    UI.QueueAnswer(true);
    Editor->DeleteClick();
    EXPECT_TRUE(Workbench->FBManager().EventConns.empty());
    EXPECT_TRUE(Diagram->EventLines.empty());
}

TEST_F(Selecting, DeletingAnInstanceKeepsItsRecordAndConnections)
{
    TFB_Instance* a = Place("A", "T", 160, 80);
    TFB_Instance* b = Place("B", "T", 400, 80);
    // B is drawn in another diagram too: a record whose last drawing goes
    // leaves the project with its connections.
    Workbench->FBManager().CreateDiagram("Other", 1.0)->AddInstance("B", "T", false, nullptr);
    auto r = std::make_unique<TFB_EventAssocRef>();
    r->SourceInstance = a->Ref;
    r->SourcePort = a->Ref->EventOutputs[0].get();
    r->DestInstance = b->Ref;
    r->DestPort = b->Ref->EventInputs[0].get();
    Workbench->FBManager().AddEventConn(std::move(r));
    Diagram->RebuildLines();
    Click(455, 150);
    UI.QueueAnswer(true);
    Editor->DeleteClick();
    EXPECT_EQ(UI.Questions().back(), "Delete B from this diagram?  Note: The FB instance and any connections will "
                                     "remain in the model but not in the diagram.");
    EXPECT_EQ(Diagram->FindDrawn("B"), nullptr);
    EXPECT_NE(Workbench->FBManager().FindInstance("B"), nullptr);
    EXPECT_EQ(Workbench->FBManager().EventConns.size(), 1u);
    ASSERT_EQ(Diagram->EventLines.size(), 1u) << "drawn again as a stub at A";
    EXPECT_EQ(Diagram->EventLines[0]->SourcePortPic, Diagram->EventLines[0]->DestPortPic);
}

TEST_F(Selecting, ContextMenuNamesWhatIsSelected)
{
    Place("A", "T", 160, 80);
    Note(400, 400, "memo");
    Editor->UpdateContextMenu();
    QList<QAction*> items = Editor->ContextMenu()->actions();
    EXPECT_EQ(items[0]->text(), QString("<none> "));
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_FALSE(items[1]->isEnabled());
    ASSERT_EQ(items[4]->text(), QString("Delete"));
    EXPECT_TRUE(items[4]->isEnabled());

    QTest::mouseClick(Editor->PaintBox(), Qt::RightButton, Qt::NoModifier, QPoint(215, 150));
    EXPECT_TRUE(Editor->ContextMenu()->isVisible()) << "a right press selects, then the menu opens";
    EXPECT_EQ(items[0]->text(), QString("Properties of A..."));
    EXPECT_TRUE(items[1]->isEnabled());
    EXPECT_TRUE(items[2]->isEnabled());
    Editor->ContextMenu()->hide();

    Click(800, 600);
    Click(402, 405);
    Editor->UpdateContextMenu();
    EXPECT_EQ(items[0]->text(), QString("Edit text of note..."));
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_FALSE(items[1]->isEnabled());
}

TEST_F(Selecting, CtrlPressDragsTheSelectedInstanceToTheSystemLayer)
{
    Place("A", "T", 160, 80);
    QByteArray payload;
    QString format;
    Editor->StartDrag = [&](QMimeData* data) {
        format = data->formats().value(0);
        payload = data->data(format);
        delete data;
    };
    Click(215, 150);
    Press(215, 150, Qt::ControlModifier);
    EXPECT_EQ(format, QString(FBInstanceMimeType));
    EXPECT_EQ(payload, QByteArray("A"));
    EXPECT_FALSE(Editor->RubberBand());
}

} // namespace
} // namespace telvo::test
