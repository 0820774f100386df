// Undo and redo of every kind of edit the diagram window makes: do, write,
// undo, write (the text before), redo, write (the text after). What is
// written is the diagram's network file, the network file of a second
// diagram that draws the same records, and the FB manager's records with
// their devices and connections.

#include "editor_fixture.h"
#include "persistence/network_file.h"
#include "systemlayer/system_layer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>

#include <functional>
#include <sstream>

namespace telvo::test {
namespace {

class Undoing;

struct Edit {
    const char* Name;
    std::function<void(Undoing&)> Do;
    int Steps = 1; // user actions in Do
};

void PrintTo(const Edit& e, std::ostream* os)
{
    *os << e.Name;
}

class Undoing : public EditorFixture, public ::testing::WithParamInterface<Edit> {
public:
    using EditorFixture::Click;
    using EditorFixture::Diagram;
    using EditorFixture::Editor;
    using EditorFixture::Ipp;
    using EditorFixture::Move;
    using EditorFixture::Note;
    using EditorFixture::Press;
    using EditorFixture::Release;
    using EditorFixture::UI;
    using EditorFixture::Workbench;
    TFB_Instance* A = nullptr;
    TFB_Instance* B = nullptr;
    TFB_Diagram* Other = nullptr;
    TslDevice* Device = nullptr;

    // Everything an edit could touch, as text. The other diagram is drawn
    // from the records as its window would draw it on its next refresh.
    std::string Written() const
    {
        Other->RebuildLines();
        std::ostringstream out;
        out << NetworkToText(*Diagram) << "\n----\n" << NetworkToText(*Other) << "\n----\n";
        out << RecordsText(Workbench->FBManager());
        out << "lines here " << Diagram->EventLines.size() << "/" << Diagram->DataLines.size() << "/"
            << Diagram->IPPFBLines.size() << ", there " << Other->EventLines.size() << "/"
            << Other->DataLines.size() << "\n";
        return out.str();
    }

protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        A = Place("A", "T", 160, 80);
        B = Place("B", "T", 400, 80);
        Note(40, 300, "first note");
        // A second diagram draws A and B as well: the records are shared.
        TFB_Manager& m = Workbench->FBManager();
        Other = m.CreateDiagram("Other", 1.0);
        Other->AddInstance("A", "T", false, nullptr);
        Other->AddInstance("B", "T", false, nullptr);
        Other->AddInstance("C", "TWO", true, nullptr); // drawn there only
        // B.EO1 -> A.EI1 and A.DO1 -> B.DI1 exist; A is on a device.
        auto ev = std::make_unique<TFB_EventAssocRef>();
        ev->SourceInstance = B->Ref;
        ev->SourcePort = B->Ref->EventOutputs[0].get();
        ev->DestInstance = A->Ref;
        ev->DestPort = A->Ref->EventInputs[0].get();
        m.AddEventConn(std::move(ev));
        auto data = std::make_unique<TFB_DataAssocRef>();
        data->SourceInstance = A->Ref;
        data->SourcePort = A->Ref->DataOutputs[0].get();
        data->DestInstance = B->Ref;
        data->DestPort = B->Ref->DataInputs[0].get();
        m.AddDataConn(std::move(data));
        B->Ref->DataInputs[0]->ValueText = "";
        A->Ref->DataInputs[0]->ValueText = "7";
        A->Ref->Comment = "the first";
        Device = static_cast<TslDevice*>(Workbench->SystemLayer().AddObject("IEC_Device0", slIECDevice));
        AssignInstance(Device, A->Ref);
        for (auto& d : m.Diagrams)
            d->RebuildLines();
        Editor->PaintDiagram();
    }
};

// The drawn lines between A and B at zoom 0.8: the event line leaves B's
// EO1 (505, 87) and the data line A's DO1 (265, 129).
const Edit EditTable[] = {
    {"AddInstanceFromThePalette", [](Undoing& t) { t.Editor->AddInstanceOfType("T"); }},
    {"DragTwoSelectedBlocksAsOneStep",
     [](Undoing& t) {
         t.Press(100, 40); // a rubber band around both
         t.Move(600, 260);
         t.Release(600, 260);
         t.Press(200, 120);
         for (int i = 1; i <= 5; ++i)
             t.Move(200 + 10 * i, 120 + 6 * i);
         t.Release(250, 150);
     }},
    {"ConnectEventOutputToEventInput",
     [](Undoing& t) {
         t.Editor->Button("btnDrawConnection")->click();
         t.Click(265, 87); // A.EO1
         t.Click(405, 87); // B.EI1
     }},
    {"ConnectDataOutputToDataInput",
     [](Undoing& t) {
         t.Editor->Button("btnDrawConnection")->click();
         t.Click(505, 129); // B.DO1
         t.Click(170, 129); // A.DI1
     }},
    {"DeleteAnInstanceFromTheDiagram",
     [](Undoing& t) {
         t.Click(200, 120);
         t.UI.QueueAnswer(true);
         t.Editor->DeleteClick();
     }},
    {"DeleteAConnectionFromTheModel",
     [](Undoing& t) {
         t.Click(20, 20); // clears the selection
         const TFB_EventAssoc& line = *t.Diagram->EventLines[0];
         const TLinePoint& p = *line.Points[1];
         t.Click(p.X, p.Y);
         ASSERT_NE(t.Editor->PickedEventLine(), nullptr);
         t.UI.QueueAnswer(true);
         t.Editor->DeleteClick();
         ASSERT_TRUE(t.Workbench->FBManager().EventConns.empty());
     }},
    {"AddANote", [](Undoing& t) { t.Editor->Button("btnAddNote")->click(); }},
    {"DeleteANote",
     [](Undoing& t) {
         t.Click(60, 310);
         t.UI.QueueAnswer(true);
         t.Editor->DeleteClick();
     }},
    {"AddAnIppPictureAndConnectIt",
     [](Undoing& t) {
         TslIPPRef* level = t.Ipp("Level", false, true);
         t.Editor->AddIppPicture(level, 20, 200);
         t.Editor->Button("btnDrawConnection")->click();
         t.Click(165, 87); // A.EI1, then the sensor's picture
         const TslIPP& pic = *t.Diagram->IPPPictures.back();
         t.Click(pic.X + 5, pic.Y + 5);
     },
     2},
    {"DeleteTheWholeSelectionAsOneStep",
     [](Undoing& t) {
         t.Press(20, 40); // a rubber band around A, B and the note
         t.Move(600, 360);
         t.Release(600, 360);
         ASSERT_EQ(t.Diagram->Selection.size(), 3u);
         t.UI.QueueAnswer(true);
         t.Editor->DeleteClick();
         ASSERT_TRUE(t.Diagram->DrawnInstances.empty());
         ASSERT_TRUE(t.Diagram->Notes.empty());
     }},
    {"CutTheSelection",
     [](Undoing& t) {
         t.Press(100, 40);
         t.Move(600, 260);
         t.Release(600, 260);
         t.Editor->CutClick();
         ASSERT_TRUE(t.Diagram->DrawnInstances.empty());
     }},
    {"DuplicateTheSelection",
     [](Undoing& t) {
         t.Press(20, 40);
         t.Move(600, 360);
         t.Release(600, 360);
         t.Editor->DuplicateClick();
         ASSERT_EQ(t.Diagram->DrawnInstances.size(), 4u);
     }},
    {"PasteTheClipboardAtAPoint",
     [](Undoing& t) {
         t.Click(200, 120);
         t.Editor->CopyClick();
         t.Click(20, 20);
         const QPoint at(500, 400);
         ASSERT_TRUE(t.Editor->PasteText(t.Editor->SelectionText().empty()
                                             ? QGuiApplication::clipboard()->text().toStdString()
                                             : std::string(),
                                         &at));
     }},
    {"DropARecordDrawnElsewhere",
     [](Undoing& t) {
         t.Editor->DropRecord(t.Workbench->FBManager().FindInstance("C"), 600, 300);
     }},
};

TEST_P(Undoing, UndoWritesTheTextBeforeAndRedoTheTextAfter)
{
    const std::string before = Written();
    GetParam().Do(*this);
    const std::string after = Written();
    ASSERT_NE(after, before) << "the edit changed nothing";
    QUndoStack* stack = Editor->UndoStack();
    ASSERT_EQ(stack->count(), GetParam().Steps) << "one step per action";
    EXPECT_TRUE(Editor->isWindowModified());
    const int steps = GetParam().Steps;
    auto keys = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        for (int i = 0; i < steps; ++i)
            QTest::keyClick(Editor->PaintBox(), key, modifiers);
    };

    keys(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Written(), before);
    EXPECT_FALSE(Editor->isWindowModified()) << "back where it was";
    keys(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Written(), after);
    for (int i = 0; i < steps; ++i)
        Editor->Button("btnUndo")->click();
    EXPECT_EQ(Written(), before);
    keys(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Written(), after);
    // The window still works on what came back: paint and click around.
    Editor->PaintDiagram();
    Click(200, 120);
    Click(20, 20);
}

INSTANTIATE_TEST_SUITE_P(Editor, Undoing, ::testing::ValuesIn(EditTable),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace telvo::test
