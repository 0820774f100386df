// Copy, cut, paste and duplicate in the diagram window, through the real
// system clipboard: what is copied is a network file's text of the chosen
// pictures, and pasting it makes new, uniquely named instances connected
// among themselves.

#include "editor_fixture.h"
#include "persistence/network_file.h"
#include "systemlayer/system_layer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUndoStack>

#include <algorithm>

namespace telvo::test {
namespace {

class Clipboard : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        A = Place("A", "T", 160, 80);
        B = Place("B", "T", 400, 80);
        C = Place("C", "T", 160, 300); // not copied: its connection stays behind
        TFB_Manager& m = Workbench->FBManager();
        connectEvent(B->Ref, A->Ref);
        connectData(A->Ref, B->Ref);
        connectEvent(C->Ref, A->Ref);
        A->Ref->DataInputs[0]->ValueText = "7";
        A->Ref->DataInputs[0]->SetValueFromText("7");
        A->Ref->Comment = "the first";
        for (auto& d : m.Diagrams)
            d->RebuildLines();
        Editor->PaintDiagram();
    }

    void connectEvent(TFB_InstanceRef* from, TFB_InstanceRef* to)
    {
        auto r = std::make_unique<TFB_EventAssocRef>();
        r->SourceInstance = from;
        r->SourcePort = from->EventOutputs[0].get();
        r->DestInstance = to;
        r->DestPort = to->EventInputs[0].get();
        Workbench->FBManager().AddEventConn(std::move(r));
    }
    void connectData(TFB_InstanceRef* from, TFB_InstanceRef* to)
    {
        auto r = std::make_unique<TFB_DataAssocRef>();
        r->SourceInstance = from;
        r->SourcePort = from->DataOutputs[0].get();
        r->DestInstance = to;
        r->DestPort = to->DataInputs[0].get();
        Workbench->FBManager().AddDataConn(std::move(r));
    }

    // A rubber band around A and B.
    void SelectAB()
    {
        Press(100, 40);
        Move(600, 260);
        Release(600, 260);
        ASSERT_EQ(Selected().size(), 2u);
    }

    // Every connection record as "S.P -> D.Q".
    std::vector<std::string> Connections() const
    {
        std::vector<std::string> list;
        const TFB_Manager& m = Workbench->FBManager();
        for (auto& c : m.EventConns)
            list.push_back("event " + c->SourceInstance->Name + "." + c->SourcePort->Name() + " -> " +
                           c->DestInstance->Name + "." + c->DestPort->Name());
        for (auto& c : m.DataConns)
            list.push_back("data " + c->SourceInstance->Name + "." + c->SourcePort->Name() + " -> " +
                           c->DestInstance->Name + "." + c->DestPort->Name());
        return list;
    }

    TFB_Instance* A = nullptr;
    TFB_Instance* B = nullptr;
    TFB_Instance* C = nullptr;
};

TEST_F(Clipboard, CopyPutsOurTypeAndReadableNetworkTextOnTheClipboard)
{
    SelectAB();
    Click(20, 20); // empty: clears
    Note(40, 400, "kept note");
    SelectAB();
    Editor->CopyClick();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    ASSERT_TRUE(data->hasFormat(FBNetworkMimeType));
    const std::string text = data->data(FBNetworkMimeType).toStdString();
    EXPECT_EQ(data->text().toStdString(), text);
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FBNetwork", 0), 0u) << text;
    for (const char* want : {"<FB Name=\"A\" Type=\"T\" Comment=\"the first\"", "<FB Name=\"B\" Type=\"T\"",
                             "Source=\"7\" Destination=\"A.DI1\"", "Source=\"B.EO1\" Destination=\"A.EI1\"",
                             "Source=\"A.DO1\" Destination=\"B.DI1\""})
        EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
    for (const char* absent : {"Name=\"C\"", "C.EO1", "NotesList"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent << "\n" << text;
    EXPECT_EQ(Editor->UndoStack()->count(), 0) << "copying changes nothing";
}

TEST_F(Clipboard, PasteMakesFreshNamesConnectedAmongThemselvesAsOneSelectedStep)
{
    SelectAB();
    Editor->CopyClick();
    Editor->PasteClick(); // the cursor is not over the drawing: 20 px off
    TFB_Manager& m = Workbench->FBManager();
    TFB_Instance* a1 = Diagram->FindDrawn("A_1");
    TFB_Instance* b1 = Diagram->FindDrawn("B_1");
    ASSERT_NE(a1, nullptr);
    ASSERT_NE(b1, nullptr);
    EXPECT_EQ(std::make_pair(a1->X, a1->Y), std::make_pair(A->X + 20, A->Y + 20));
    EXPECT_EQ(std::make_pair(b1->X, b1->Y), std::make_pair(B->X + 20, B->Y + 20));
    EXPECT_EQ(a1->Ref->Comment, "the first");
    EXPECT_EQ(a1->Ref->DataInputs[0]->ValueText, "7");
    EXPECT_EQ(a1->Ref->DataInputs[0]->IntValue, 7);
    EXPECT_EQ(Selected(), (std::vector<std::string>{"A_1", "B_1"}));
    EXPECT_EQ(Connections(), (std::vector<std::string>{"event B.EO1 -> A.EI1", "event C.EO1 -> A.EI1",
                                                       "event B_1.EO1 -> A_1.EI1", "data A.DO1 -> B.DI1",
                                                       "data A_1.DO1 -> B_1.DI1"}));
    EXPECT_EQ(m.Instances.size(), 5u);
    EXPECT_EQ(Editor->UndoStack()->count(), 1);
    EXPECT_EQ(Editor->StatusText(), QString("Pasted 2 FB instances"));

    // Twice: the next free names.
    Editor->PasteClick();
    EXPECT_NE(Diagram->FindDrawn("A_2"), nullptr);
    EXPECT_NE(Diagram->FindDrawn("B_2"), nullptr);
    EXPECT_EQ(Editor->UndoStack()->count(), 2);

    Editor->UndoStack()->undo();
    Editor->UndoStack()->undo();
    EXPECT_EQ(m.Instances.size(), 3u);
    EXPECT_EQ(Diagram->DrawnInstances.size(), 3u);
    EXPECT_EQ(Connections().size(), 3u);
}

TEST_F(Clipboard, PasteAtAPointPutsTheGroupsCornerThere)
{
    SelectAB();
    const std::string text = Editor->SelectionText();
    const QPoint at(300, 420);
    ASSERT_TRUE(Editor->PasteText(text, &at));
    TFB_Instance* a1 = Diagram->FindDrawn("A_1");
    TFB_Instance* b1 = Diagram->FindDrawn("B_1");
    ASSERT_TRUE(a1 && b1);
    EXPECT_EQ(std::make_pair(a1->X, a1->Y), std::make_pair(300, 420));
    EXPECT_EQ(std::make_pair(b1->X, b1->Y), std::make_pair(300 + (B->X - A->X), 420));
    // The base position follows, so zooming keeps the place.
    EXPECT_EQ(a1->BaseX, RoundHalfEven(300 / Diagram->Zoom));
}

TEST_F(Clipboard, CutIsCopyAndDeleteAsOneStepAndPastingBackKeepsTheFreeNames)
{
    SelectAB();
    Editor->CutClick();
    TFB_Manager& m = Workbench->FBManager();
    // A and B were drawn only here: their records went with the drawings.
    EXPECT_EQ(m.FindInstance("A"), nullptr);
    EXPECT_EQ(Connections(), std::vector<std::string>{});
    EXPECT_EQ(Editor->UndoStack()->count(), 1);
    Editor->PasteClick();
    EXPECT_NE(Diagram->FindDrawn("A"), nullptr);
    EXPECT_NE(Diagram->FindDrawn("B"), nullptr);
    EXPECT_EQ(Connections(), (std::vector<std::string>{"event B.EO1 -> A.EI1", "data A.DO1 -> B.DI1"}));
    Editor->UndoStack()->undo();
    Editor->UndoStack()->undo();
    EXPECT_EQ(Connections(), (std::vector<std::string>{"event B.EO1 -> A.EI1", "event C.EO1 -> A.EI1",
                                                       "data A.DO1 -> B.DI1"}));
}

TEST_F(Clipboard, DuplicateLeavesTheClipboardAlone)
{
    QGuiApplication::clipboard()->setText("unrelated");
    Click(200, 120); // A
    Note(40, 500, "n");
    Editor->DuplicateClick();
    EXPECT_NE(Diagram->FindDrawn("A_1"), nullptr);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString("unrelated"));
    EXPECT_EQ(Selected(), std::vector<std::string>{"A_1"});
}

TEST_F(Clipboard, PasteIntoASecondDiagramOfTheProject)
{
    SelectAB();
    Editor->CopyClick();
    TFB_Diagram* second = Workbench->FBManager().CreateDiagram("Second", 1.0);
    TfrmDesignFBDiagram other(*Workbench, nullptr);
    other.resize(800, 600);
    other.show();
    other.AttachDiagram(second);
    other.PasteClick();
    ASSERT_EQ(second->DrawnInstances.size(), 2u);
    EXPECT_EQ(second->DrawnInstances[0]->Ref->Name, "A_1");
    EXPECT_EQ(second->DrawnInstances[1]->Ref->Name, "B_1");
    EXPECT_EQ(second->EventLines.size(), 1u);
    EXPECT_EQ(second->DataLines.size(), 1u);
    EXPECT_EQ(Editor->UndoStack()->count(), 0) << "each window has its own stack";
    EXPECT_EQ(other.UndoStack()->count(), 1);
}

TEST_F(Clipboard, TheStandardKeysWorkAfterTheMenuWasOpenedOnNothing)
{
    Click(20, 20);
    Editor->UpdateContextMenu(); // greys Cut, Copy and Duplicate while open
    // As the menu closes (not popped up: on the offscreen platform a popup
    // may keep the keyboard).
    emit Editor->ContextMenu()->aboutToHide();
    Editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Editor.get()));
    Click(200, 120); // A
    Editor->PaintBox()->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Editor->PaintBox()->hasFocus(); }));
    QTest::keyClick(Editor->PaintBox(), Qt::Key_C, Qt::ControlModifier);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(copied && copied->hasFormat(FBNetworkMimeType));
    QTest::keyClick(Editor->PaintBox(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_NE(Diagram->FindDrawn("A_1"), nullptr);
    QTest::keyClick(Editor->PaintBox(), Qt::Key_D, Qt::ControlModifier); // the pasted A_1 is selected
    EXPECT_NE(Diagram->FindDrawn("A_1_1"), nullptr);
    QTest::keyClick(Editor->PaintBox(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(Diagram->FindDrawn("A_1_1"), nullptr);
    EXPECT_EQ(Editor->UndoStack()->count(), 3);
}

struct BadPaste {
    const char* Name;
    const char* Text;
    const char* Status;
};

void PrintTo(const BadPaste& b, std::ostream* os)
{
    *os << b.Name;
}

class BadClipboard : public Clipboard, public ::testing::WithParamInterface<BadPaste> {
protected:
    void SetUp() override { Clipboard::SetUp(); }
};

const BadPaste BadPastes[] = {
    {"PlainText", "hello, world", "Nothing pasted: the clipboard holds no FB network"},
    {"OtherXml", "<?xml version=\"1.0\"?><FBType Name=\"X\"/>", "Nothing pasted: the clipboard holds no FB network"},
    {"BrokenXml", "<FBNetwork><FB Name=\"A\"", "Nothing pasted: the clipboard holds no FB network"},
    {"EmptyNetwork", "<FBNetwork/>", "Nothing pasted: the FB network is empty"},
    {"OnlyMissingTypes", "<FBNetwork><FB Name=\"X\" Type=\"NOPE\"/><FB Name=\"Y\" Type=\"NOPE\"/></FBNetwork>",
     "Nothing pasted: the library has no type NOPE"},
};

TEST_P(BadClipboard, NothingChangesAndTheStatusSaysWhy)
{
    const std::string before = NetworkToText(*Diagram);
    QGuiApplication::clipboard()->setText(QString::fromUtf8(GetParam().Text));
    Editor->PasteClick();
    EXPECT_EQ(Editor->StatusText(), QString::fromUtf8(GetParam().Status));
    EXPECT_EQ(NetworkToText(*Diagram), before);
    EXPECT_EQ(Editor->UndoStack()->count(), 0);
    EXPECT_TRUE(UI.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Editor, BadClipboard, ::testing::ValuesIn(BadPastes),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Clipboard, TextFromANetworkFilePastesTheRestAndNamesMissingTypesOnce)
{
    // Hand-copied from a file: a constant, a connection to an instance that is not in the text (left out) and two
    // instances of a type the library lacks.
    const std::string text = R"(<FBNetwork>
  <FB Name="P" Type="T" Comment="" x="100" y="100"/>
  <FB Name="Q" Type="NOPE" Comment="" x="200" y="100"/>
  <FB Name="A" Type="T" Comment="" x="300" y="100"/>
  <FB Name="R" Type="NOPE" Comment="" x="400" y="100"/>
  <DataConnections>
    <Connection Source="25" Destination="P.DI1"/>
    <Connection Source="C.DO1" Destination="A.DI1" Comment="" dx1="0" dx2="0" dy="0"/>
    <Connection Source="Q.DO1" Destination="P.DI1" Comment="" dx1="0" dx2="0" dy="0"/>
  </DataConnections>
  <EventConnections>
    <Connection Source="P.EO1" Destination="A.EI1"/>
    <Connection Source="Q.EO1" Destination="A.EI1"/>
  </EventConnections>
</FBNetwork>)";
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    Editor->PasteClick();
    EXPECT_NE(Diagram->FindDrawn("P"), nullptr);
    TFB_Instance* a1 = Diagram->FindDrawn("A_1");
    ASSERT_NE(a1, nullptr);
    EXPECT_EQ(Diagram->FindDrawn("Q"), nullptr);
    EXPECT_EQ(Workbench->FBManager().FindInstance("P")->DataInputs[0]->ValueText, "25");
    EXPECT_EQ(Connections(), (std::vector<std::string>{"event B.EO1 -> A.EI1", "event C.EO1 -> A.EI1",
                                                       "event P.EO1 -> A_1.EI1", "data A.DO1 -> B.DI1"}));
    EXPECT_EQ(Editor->StatusText(), QString("Pasted 2 FB instances; not pasted, the library has no type NOPE"));
    EXPECT_TRUE(UI.Messages().empty()) << UI.Messages().front();
    EXPECT_EQ(Selected(), (std::vector<std::string>{"P", "A_1"}));
}

TEST_F(Clipboard, NotesAndIppPicturesTravelWithTheirConnection)
{
    TslIPPRef* level = Ipp("Level", false, true);
    TslIPP* pic = Editor->AddIppPicture(level, 40, 200);
    ASSERT_NE(pic, nullptr);
    auto r = std::make_unique<TFB_IPPFBAssocsRef>();
    r->IPP = level;
    r->Instance = A->Ref;
    r->EventPort = A->Ref->EventInputs[0].get();
    Workbench->FBManager().AddIPPFBConn(std::move(r));
    Note(40, 400, "remember");
    Diagram->RebuildLines();
    Diagram->ClearSelection();
    Diagram->Select(A);
    Diagram->Select(pic);
    Diagram->Select(Diagram->Notes.back().get());
    Editor->CopyClick();
    const std::string text = QGuiApplication::clipboard()->text().toStdString();
    EXPECT_NE(text.find("IPPDrawInstanceName Name=\"tank.Level\""), std::string::npos) << text;
    EXPECT_NE(text.find("Destination=\"A.EI1\""), std::string::npos) << text;
    EXPECT_NE(text.find("NoteText=\"remember\""), std::string::npos) << text;

    // Into a second diagram: the picture, its connection to the new A and
    // the note come along.
    TFB_Diagram* second = Workbench->FBManager().CreateDiagram("Second", 1.0);
    TfrmDesignFBDiagram other(*Workbench, nullptr);
    other.resize(800, 600);
    other.show();
    other.AttachDiagram(second);
    other.PasteClick();
    ASSERT_EQ(second->DrawnInstances.size(), 1u);
    EXPECT_EQ(second->DrawnInstances[0]->Ref->Name, "A_1");
    ASSERT_EQ(second->IPPPictures.size(), 1u);
    EXPECT_EQ(second->IPPPictures[0]->Ipp, level);
    ASSERT_EQ(second->Notes.size(), 1u);
    EXPECT_EQ(second->Notes[0]->Text, "remember");
    // The original connection to A shows here too, as a stub at the picture.
    EXPECT_EQ(std::count_if(second->IPPFBLines.begin(), second->IPPFBLines.end(),
                            [](const auto& l) { return l->Ref->Instance->Name == "A_1"; }),
              1);
    EXPECT_EQ(second->Selection.size(), 3u);
}

} // namespace
} // namespace telvo::test
