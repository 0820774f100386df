// Instance records, drawn instances, connection records and the lines a
// diagram rebuilds from them.

#include "model/file_util.h"
#include "network/network_fixture.h"
#include "persistence/network_file.h"

#include <gmock/gmock.h>

namespace telvo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST_F(NetworkTest, GeneratedNamesComeFromTheTypeAndACounterThatNeverGoesBack)
{
    TFB_Diagram* d = NewDiagram();
    TFB_Instance* first = d->AddInstance("", "E_CYCLE", true, nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Ref->Name, "e_cycle1");
    M().DeleteInstance(first->Ref);
    EXPECT_EQ(d->AddInstance("", "E_CYCLE", true, nullptr)->Ref->Name, "e_cycle2");
    // A name already taken by a record is passed over.
    Add(d, "e_cycle3", "E_CYCLE");
    EXPECT_EQ(d->AddInstance("", "E_CYCLE", true, nullptr)->Ref->Name, "e_cycle4");
    EXPECT_EQ(d->AddInstance("", "E_SPLIT", true, nullptr)->Ref->Name, "e_split5");
}

TEST_F(NetworkTest, OneRecordIsSharedByTheDiagramsThatDrawIt)
{
    TFB_Diagram* d1 = NewDiagram("D1");
    TFB_Diagram* d2 = NewDiagram("D2");
    TFB_Instance* a1 = Add(d1, "A");
    TFB_Instance* a2 = Add(d2, "A");
    ASSERT_TRUE(a1 && a2);
    EXPECT_NE(a1, a2);
    EXPECT_EQ(a1->Ref, a2->Ref);
    EXPECT_EQ(M().Instances.size(), 1u);
    a1->Ref->FindDataInput("N")->SetValueFromText("42");
    EXPECT_EQ(a2->Ref->FindDataInput("N")->IntValue, 42);
    EXPECT_EQ(M().FindDrawnInstance("A"), a1);
}

TEST_F(NetworkTest, InitialValuesOfInputsOnlyWhenAskedInternalVariablesAlways)
{
    struct Case {
        bool apply;
        std::string text;
        int32_t value;
    };
    TFB_Diagram* d = NewDiagram();
    for (const Case& c : {Case{true, "5", 5}, Case{false, "", 0}}) {
        SCOPED_TRACE(c.apply);
        TFB_InstanceRef* r = d->AddInstance(c.apply ? "ON" : "OFF", "COUNTER", c.apply, nullptr)->Ref;
        EXPECT_EQ(r->FindDataInput("N")->ValueText, c.text);
        EXPECT_EQ(r->FindDataInput("N")->IntValue, c.value);
        ASSERT_EQ(r->InternalVars.size(), 1u);
        EXPECT_EQ(r->InternalVars[0]->ValueText, "3");
        EXPECT_EQ(r->InternalVars[0]->IntValue, 3);
        EXPECT_EQ(r->InternalVars[0]->Owner, r);
        EXPECT_EQ(r->EventInputs.size(), 2u);
        EXPECT_EQ(r->FindEventInput("REQ")->Owner, r);
    }
}

TEST_F(NetworkTest, ARecordsPortsAndPicturesFollowItsType)
{
    TFB_Instance* a = Add(NewDiagram(), "A");
    const TFB_InstanceRef& r = *a->Ref;
    auto names = [](const auto& ports) {
        std::vector<std::string> n;
        for (const auto& p : ports)
            n.push_back(p->Name());
        return n;
    };
    EXPECT_THAT(names(r.EventInputs), ElementsAre("INIT", "REQ"));
    EXPECT_THAT(names(r.EventOutputs), ElementsAre("CNF"));
    EXPECT_THAT(names(r.DataInputs), ElementsAre("N", "S"));
    EXPECT_THAT(names(r.DataOutputs), ElementsAre("Q"));
    ASSERT_EQ(a->EventInputPorts.size(), 2u);
    EXPECT_EQ(a->EventInputPorts[1]->Event, r.EventInputs[1].get());
    EXPECT_EQ(a->EventInputPorts[1]->Instance, a);
    EXPECT_EQ(a->DataOutputPorts[0]->Member, r.DataOutputs[0].get());
    EXPECT_EQ(a->X, 120);
    EXPECT_EQ(a->Scale, 0.8);
}

TEST_F(NetworkTest, EventFunctionBlocksAreDrawnAsGlyphsByExactTypeName)
{
    struct Case {
        const char* type;
        bool glyph;
    };
    // Not in the library: the index would list it as a duplicate of E_SPLIT.
    ASSERT_TRUE(M().LoadTypeFromLines(SplitLines(CounterType("e_split"))));
    TFB_Diagram* d = NewDiagram();
    for (const Case& c : {Case{"E_SPLIT", true}, Case{"E_CYCLE", true}, Case{"e_split", false},
                          Case{"COUNTER", false}}) {
        TFB_Instance* i = d->AddInstance("", c.type, false, nullptr);
        ASSERT_NE(i, nullptr) << c.type;
        EXPECT_EQ(i->IsStereotype, c.glyph) << c.type;
        EXPECT_EQ(i->DrawAsGlyph, c.glyph) << c.type;
    }
}

TEST_F(NetworkTest, UnknownTypeMakesNothing)
{
    TFB_Diagram* d = NewDiagram();
    EXPECT_EQ(Add(d, "A", "NOPE"), nullptr);
    EXPECT_THAT(UI.Messages(), ElementsAre("Filetype not found" + (Home.Path() / "library").string() + "/NOPE.fbt",
                                           "Error 101: Cannot create FB instance A from type NOPE"));
    EXPECT_THAT(M().Instances, IsEmpty());
    EXPECT_THAT(d->DrawnInstances, IsEmpty());
}

TEST_F(NetworkTest, AConnectionBetweenTwoDiagramsIsAStubInEach)
{
    TFB_Diagram* d1 = NewDiagram("D1");
    TFB_Diagram* d2 = NewDiagram("D2");
    TFB_Instance* a = Add(d1, "A");
    TFB_Instance* b = Add(d2, "B");
    TFB_EventAssocRef* e = ConnectEvents(a->Ref, "CNF", b->Ref, "REQ");
    ConnectData(a->Ref, "Q", b->Ref, "N");
    d1->RebuildLines();
    d2->RebuildLines();

    ASSERT_EQ(d1->EventLines.size(), 1u);
    const TFB_EventAssoc& l1 = *d1->EventLines[0];
    EXPECT_EQ(l1.Ref, e);
    EXPECT_EQ(l1.SourcePortPic, a->EventOutputPicture("CNF"));
    EXPECT_EQ(l1.DestPortPic, l1.SourcePortPic);
    EXPECT_EQ(l1.SourceDrawn, a);
    EXPECT_EQ(l1.DestDrawn, a);

    ASSERT_EQ(d2->EventLines.size(), 1u);
    const TFB_EventAssoc& l2 = *d2->EventLines[0];
    EXPECT_EQ(l2.DestPortPic, b->EventInputPicture("REQ"));
    EXPECT_EQ(l2.SourcePortPic, l2.DestPortPic);
    EXPECT_EQ(l2.SourceDrawn, b);

    ASSERT_EQ(d1->DataLines.size(), 1u);
    EXPECT_EQ(d1->DataLines[0]->DestPortPic, a->DataOutputPicture("Q"));

    // Both ends here: a full line; rebuilding again gives the same.
    Add(d1, "B");
    d1->RebuildLines();
    d1->RebuildLines();
    ASSERT_EQ(d1->EventLines.size(), 1u);
    EXPECT_EQ(d1->EventLines[0]->DestDrawn->Ref, b->Ref);
    EXPECT_NE(d1->EventLines[0]->DestDrawn, d1->EventLines[0]->SourceDrawn);
}

// A rebuild may keep a line that comes out unchanged, but what a paint or a
// pick left on a line never survives it: every line after a rebuild is as a
// new one would be, with the ends the records give now.
TEST_F(NetworkTest, RebuiltLinesCarryNothingFromBefore)
{
    struct TCase {
        const char* What;
        void (*Touch)(TFB_Line&);
    };
    const TCase cases[] = {
        {"untouched", [](TFB_Line&) {}},
        {"painted", [](TFB_Line& l) { l.AddPoint(10, 20), l.AddPoint(30, 20); }},
        {"picked", [](TFB_Line& l) { l.Highlighted = true; }},
        {"port index", [](TFB_Line& l) { l.PortIndex = 3; }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        Reopen();
        TFB_Diagram* d = NewDiagram();
        TFB_Instance* a = Add(d, "A");
        TFB_Instance* b = Add(d, "B");
        ConnectEvents(a->Ref, "CNF", b->Ref, "REQ");
        ConnectData(a->Ref, "Q", b->Ref, "N");
        d->RebuildLines();
        ASSERT_EQ(d->EventLines.size(), 1u);
        ASSERT_EQ(d->DataLines.size(), 1u);
        c.Touch(*d->EventLines[0]);
        c.Touch(*d->DataLines[0]);
        d->RebuildLines();
        for (const TFB_Line* l : {static_cast<TFB_Line*>(d->EventLines[0].get()),
                                  static_cast<TFB_Line*>(d->DataLines[0].get())}) {
            EXPECT_THAT(l->Points, IsEmpty());
            EXPECT_FALSE(l->Highlighted);
            EXPECT_EQ(l->PortIndex, 0);
        }
        EXPECT_EQ(d->EventLines[0]->DestPortPic, b->EventInputPicture("REQ"));
        EXPECT_EQ(d->DataLines[0]->SourcePortPic, a->DataOutputPicture("Q"));

        // B drawn anew: the lines end at the new drawn instance's pictures.
        // (Drawn in another diagram too, so that its record stays while it
        // is not drawn here.)
        Add(NewDiagram("Other"), "B");
        d->DeleteDrawn("B", true);
        TFB_Instance* b2 = Add(d, "B");
        d->RebuildLines();
        ASSERT_EQ(d->EventLines.size(), 1u);
        EXPECT_EQ(d->EventLines[0]->DestDrawn, b2);
        EXPECT_EQ(d->EventLines[0]->DestPortPic, b2->EventInputPicture("REQ"));
        EXPECT_EQ(d->DataLines[0]->DestPortPic, b2->DataInputPicture("N"));
    }
}

TEST_F(NetworkTest, LinesFollowTheOrderOfTheRecords)
{
    TFB_Diagram* d = NewDiagram();
    TFB_InstanceRef* a = Add(d, "A")->Ref;
    TFB_InstanceRef* b = Add(d, "B")->Ref;
    TFB_InstanceRef* c = Add(d, "C")->Ref;
    // Added in an order that differs from the order of the drawn instances.
    TFB_EventAssocRef* cb = ConnectEvents(c, "CNF", b, "REQ");
    TFB_EventAssocRef* ab = ConnectEvents(a, "CNF", b, "INIT");
    TFB_EventAssocRef* ca = ConnectEvents(c, "CNF", a, "REQ");
    d->RebuildLines();
    std::vector<TFB_EventAssocRef*> order;
    for (const auto& l : d->EventLines)
        order.push_back(l->Ref);
    EXPECT_THAT(order, ElementsAre(cb, ab, ca));
}

TEST_F(NetworkTest, FindEventConnLogsItsArgumentsAndFindsTheFirstMatch)
{
    TFB_Diagram* d = NewDiagram();
    TFB_InstanceRef* a = Add(d, "A")->Ref;
    TFB_InstanceRef* b = Add(d, "B")->Ref;
    TFB_EventAssocRef* first = ConnectEvents(a, "CNF", b, "REQ");
    ConnectEvents(a, "CNF", b, "REQ");
    UI.Clear();
    EXPECT_EQ(M().FindEventConn("REQ", "CNF", "B", "A"), first);
    EXPECT_EQ(M().FindEventConn("INIT", "CNF", "B", "A"), nullptr);
    EXPECT_EQ(M().FindEventConn("REQ", "CNF", "A", "B"), nullptr);
    EXPECT_THAT(UI.LogLines(), ElementsAre("REQ CNF B A", "INIT CNF B A", "REQ CNF A B"));
    TFB_DataAssocRef* data = ConnectData(a, "Q", b, "N");
    EXPECT_EQ(M().FindDataConn("N", "Q", "B", "A"), data);
    EXPECT_EQ(M().FindDataConn("S", "Q", "B", "A"), nullptr);
    // The lookups go by names: a renamed record is found under its new name.
    ASSERT_TRUE(M().RenameInstance(b, "B2"));
    EXPECT_EQ(M().FindEventConn("REQ", "CNF", "B2", "A"), first);
    EXPECT_EQ(M().FindEventConn("REQ", "CNF", "B", "A"), nullptr);
    EXPECT_FALSE(M().RenameInstance(b, "A"));
}

TEST_F(NetworkTest, DeletingADrawnInstanceKeepsTheRecordsAndRebuildDrawsThemAgain)
{
    TFB_Diagram* d1 = NewDiagram("D1");
    TFB_Diagram* d2 = NewDiagram("D2");
    TFB_Instance* a = Add(d1, "A");
    TFB_Instance* b = Add(d1, "B");
    Add(d2, "B");
    ConnectEvents(a->Ref, "CNF", b->Ref, "REQ");
    d1->RebuildLines();
    d1->Select(b);
    d1->DeleteDrawn("B", true);
    EXPECT_THAT(d1->EventLines, IsEmpty());
    EXPECT_THAT(d1->Selection, IsEmpty());
    EXPECT_EQ(M().EventConns.size(), 1u);
    EXPECT_NE(M().FindInstance("B"), nullptr);
    d1->RebuildLines();
    ASSERT_EQ(d1->EventLines.size(), 1u);
    EXPECT_EQ(d1->EventLines[0]->DestDrawn, a);
}

TEST_F(NetworkTest, DeletingTheLastDrawingOfARecordRemovesItWithItsConnections)
{
    MakeLayer();
    TFB_Diagram* d1 = NewDiagram("D1");
    TFB_Diagram* d2 = NewDiagram("D2");
    TFB_InstanceRef* a = Add(d1, "A")->Ref;
    Add(d2, "A");
    TFB_InstanceRef* b = Add(d2, "B")->Ref;
    ConnectEvents(a, "CNF", b, "REQ");
    ConnectData(b, "Q", a, "N");
    ConnectIppData("IPP_0", a, "N");
    AssignInstance(Device, a);
    d1->RebuildLines();
    d2->RebuildLines();
    UI.Clear();

    // Still drawn in D2: the record and its connections stay.
    d1->DeleteDrawn("A", true);
    EXPECT_EQ(M().FindInstance("A"), a);
    EXPECT_EQ(M().EventConns.size(), 1u);
    EXPECT_EQ(M().DataConns.size(), 1u);
    EXPECT_EQ(M().IPPFBConns.size(), 1u);
    EXPECT_THAT(UI.LogLines(), IsEmpty());

    // Its last drawing goes: so do the record, every connection at it and
    // its place on the device, and the log says so once.
    d2->DeleteDrawn("A", true);
    EXPECT_EQ(M().FindInstance("A"), nullptr);
    EXPECT_THAT(M().EventConns, IsEmpty());
    EXPECT_THAT(M().DataConns, IsEmpty());
    EXPECT_THAT(M().IPPFBConns, IsEmpty());
    EXPECT_THAT(Device->DownloadedFBInstanceList, IsEmpty());
    EXPECT_THAT(d2->EventLines, IsEmpty());
    EXPECT_THAT(d2->DataLines, IsEmpty());
    EXPECT_THAT(UI.LogLines(),
                ElementsAre("FB instance A is drawn in no diagram any more: it is removed from the project with its "
                            "connections"));
    EXPECT_EQ(M().FindInstance("B"), b);
    EXPECT_THAT(UI.Messages(), IsEmpty());
}

TEST_F(NetworkTest, NetworkFileNamesNoInstanceThatNoDiagramDraws)
{
    TFB_Diagram* d1 = NewDiagram("D1");
    TFB_Diagram* d2 = NewDiagram("D2");
    TFB_InstanceRef* a = Add(d1, "A")->Ref;
    TFB_InstanceRef* b = Add(d2, "B")->Ref;
    // A record that no diagram draws (made by hand, as a project file's
    // instance list can make one), joined to B both ways.
    TFB_InstanceRef* hidden = M().CreateInstance("H", "COUNTER", false);
    ConnectEvents(a, "CNF", b, "REQ");
    ConnectEvents(hidden, "CNF", b, "INIT");
    ConnectData(b, "Q", hidden, "N");
    d2->RebuildLines();
    ASSERT_EQ(d2->EventLines.size(), 2u);
    const std::string text = NetworkToText(*d2);
    EXPECT_THAT(text, HasSubstr("Source=\"A.CNF\" Destination=\"B.REQ\""));
    EXPECT_THAT(text, Not(HasSubstr("H.")));
}

TEST_F(NetworkTest, DeletingALineRemovesItsRecordAndEveryStubOfIt)
{
    TFB_Diagram* d1 = NewDiagram("D1");
    TFB_Diagram* d2 = NewDiagram("D2");
    TFB_Instance* a = Add(d1, "A");
    TFB_Instance* b = Add(d2, "B");
    ConnectEvents(a->Ref, "CNF", b->Ref, "REQ");
    d1->RebuildLines();
    d2->RebuildLines();
    d1->DeleteEventLine(d1->EventLines[0].get());
    EXPECT_THAT(M().EventConns, IsEmpty());
    EXPECT_THAT(d1->EventLines, IsEmpty());
    // The stub in the other diagram drew the same record: it goes too.
    EXPECT_THAT(d2->EventLines, IsEmpty());
}

TEST_F(NetworkTest, DeletingARecordRemovesEveryTraceOfIt)
{
    MakeLayer();
    TFB_Diagram* d1 = NewDiagram("D1");
    TFB_Diagram* d2 = NewDiagram("D2");
    TFB_InstanceRef* a = Add(d1, "A")->Ref;
    Add(d2, "A");
    TFB_InstanceRef* b = Add(d2, "B")->Ref;
    TFB_InstanceRef* c = Add(d1, "C")->Ref;
    // A record drawn nowhere, connected to A: no diagram reaches it.
    TFB_InstanceRef* hidden = M().CreateInstance("H", "COUNTER", false);
    ConnectEvents(a, "CNF", b, "REQ");
    ConnectData(a, "Q", c, "N");
    ConnectEvents(hidden, "CNF", a, "INIT");
    ConnectEvents(b, "CNF", c, "REQ");
    ConnectIppData("IPP_0", a, "N");
    d1->AddIPPPicture(Boiler->getIppByName("IPP_0"), 10, 10);
    AssignInstance(Device, a);

    M().DeleteInstance(a);
    EXPECT_EQ(M().FindInstance("A"), nullptr);
    EXPECT_EQ(M().FindDrawnInstance("A"), nullptr);
    ASSERT_EQ(M().EventConns.size(), 1u);
    EXPECT_EQ(M().EventConns[0]->SourceInstance, b);
    EXPECT_THAT(M().DataConns, IsEmpty());
    EXPECT_THAT(M().IPPFBConns, IsEmpty());
    EXPECT_THAT(Device->DownloadedFBInstanceList, IsEmpty());
    for (TFB_Diagram* d : {d1, d2}) {
        d->RebuildLines();
        for (const auto& l : d->EventLines)
            EXPECT_NE(l->Ref->SourceInstance, a);
        EXPECT_THAT(d->IPPFBLines, IsEmpty());
    }
    EXPECT_EQ(d1->IPPPictures.size(), 1u);
}

// Deleting many records at once leaves exactly what deleting them one after
// another leaves: records, connection records, lines (not rebuilt), device
// lists. The set holds two connected records, one connected to itself, a
// record drawn twice, a duplicate and a record of another project.
TEST_F(NetworkTest, DeletingRecordsTogetherLeavesWhatDeletingThemOneByOneLeaves)
{
    auto build = [&](std::vector<TFB_InstanceRef*>& doomed) {
        MakeLayer();
        TFB_Diagram* d1 = NewDiagram("D1");
        TFB_Diagram* d2 = NewDiagram("D2");
        TFB_InstanceRef* a = Add(d1, "A")->Ref;
        Add(d2, "A");
        TFB_InstanceRef* b = Add(d2, "B")->Ref;
        TFB_InstanceRef* c = Add(d1, "C")->Ref;
        TFB_InstanceRef* e = Add(d2, "E")->Ref;
        TFB_InstanceRef* self = Add(d1, "S")->Ref;
        ConnectEvents(a, "CNF", b, "REQ");
        ConnectData(a, "Q", c, "N");
        ConnectEvents(b, "CNF", c, "REQ");
        ConnectEvents(c, "CNF", e, "INIT");
        ConnectEvents(self, "CNF", self, "REQ");
        ConnectData(e, "Q", self, "N");
        ConnectIppData("IPP_0", c, "N");
        d1->AddIPPPicture(Boiler->getIppByName("IPP_0"), 10, 10);
        AssignInstance(Device, a);
        AssignInstance(Device, e);
        for (const auto& d : M().Diagrams)
            d->RebuildLines();
        doomed = {a, c, self, a};
    };
    auto describe = [&] {
        std::string out;
        for (const auto& r : M().Instances)
            out += "record " + r->Name + "\n";
        for (const auto& c : M().EventConns)
            out += "event " + c->SourceInstance->Name + "." + c->SourcePort->Name() + " " + c->DestInstance->Name +
                   "." + c->DestPort->Name() + "\n";
        for (const auto& c : M().DataConns)
            out += "data " + c->SourceInstance->Name + " " + c->DestInstance->Name + "\n";
        out += "ipp " + std::to_string(M().IPPFBConns.size()) + "\n";
        for (const auto& d : M().Diagrams) {
            out += d->Name + ":";
            for (const auto& i : d->DrawnInstances)
                out += " " + i->Ref->Name;
            for (const auto& l : d->EventLines)
                out += " e" + l->Ref->SourceInstance->Name + l->Ref->DestInstance->Name;
            for (const auto& l : d->DataLines)
                out += " d" + l->Ref->SourceInstance->Name + l->Ref->DestInstance->Name;
            out += " ipplines " + std::to_string(d->IPPFBLines.size()) + "\n";
        }
        for (const auto* r : Device->DownloadedFBInstanceList)
            out += "on device " + r->Name + "\n";
        for (const auto& r : M().Instances)
            out += "found " + r->Name + " " + std::to_string(M().FindInstance(r->Name) == r.get()) + "\n";
        return out;
    };

    std::vector<TFB_InstanceRef*> doomed;
    build(doomed);
    for (TFB_InstanceRef* r : std::vector<TFB_InstanceRef*>(doomed.begin(), doomed.end() - 1))
        M().DeleteInstance(r);
    const std::string oneByOne = describe();
    EXPECT_THAT(oneByOne, HasSubstr("record B\nrecord E\n"));
    EXPECT_THAT(oneByOne, Not(HasSubstr("record A")));

    Reopen();
    build(doomed);
    TFB_Manager other;
    TFB_InstanceRef* foreign = other.Instances.emplace_back(TFB_InstanceRef::Create("B", M().FindType("COUNTER"),
                                                                                      false, nullptr)).get();
    doomed.push_back(foreign);
    M().DeleteInstances(doomed);
    EXPECT_EQ(describe(), oneByOne);
    EXPECT_EQ(other.Instances.size(), 1u);

    // Nothing to delete changes nothing.
    const std::string before = describe();
    M().DeleteInstances({});
    M().DeleteInstances({foreign, nullptr});
    EXPECT_EQ(describe(), before);
}

// Deleting a record finds its drawings and lines in whatever diagram holds
// them now, however the diagram changed since the last deletion looked at
// it: a drawing swapped for another (same count), a line added by hand, a
// rebuild.
TEST_F(NetworkTest, DeletingARecordFindsWhatTheDiagramsDrawNow)
{
    TFB_Diagram* d1 = NewDiagram("D1");
    TFB_Diagram* d2 = NewDiagram("D2");
    TFB_InstanceRef* a = Add(d1, "A")->Ref;
    TFB_InstanceRef* b = Add(d2, "B")->Ref;
    TFB_InstanceRef* c = Add(d1, "C")->Ref;
    TFB_InstanceRef* gone = M().CreateInstance("G", "COUNTER", false);
    M().DeleteInstance(gone); // the diagrams have been looked at

    // Same number of drawings in D2, another record drawn.
    d2->DeleteDrawn(d2->FindDrawn("B"), true);
    ASSERT_EQ(M().FindInstance("B"), nullptr);
    TFB_InstanceRef* undrawn = M().CreateInstance("H", "COUNTER", false);
    EXPECT_FALSE(M().IsDrawn(undrawn)); // every diagram looked at again
    TFB_InstanceRef* e = Add(d2, "E")->Ref;
    (void)b;
    // A line added by hand in D1, and one made by a rebuild in D2.
    TFB_EventAssocRef* ac = ConnectEvents(a, "CNF", c, "REQ");
    auto line = std::make_unique<TFB_EventAssoc>();
    line->Ref = ac;
    line->SourceDrawn = d1->FindDrawn("A");
    line->DestDrawn = d1->FindDrawn("C");
    line->SourcePortPic = line->SourceDrawn->EventOutputPicture("CNF");
    line->DestPortPic = line->DestDrawn->EventInputPicture("REQ");
    d1->AddEventLine(std::move(line));
    ConnectData(e, "Q", c, "N");
    d2->RebuildLines();
    ASSERT_EQ(d2->DataLines.size(), 1u);

    M().DeleteInstance(e);
    EXPECT_THAT(d2->DrawnInstances, IsEmpty());
    EXPECT_THAT(d2->DataLines, IsEmpty());
    M().DeleteInstance(c);
    EXPECT_THAT(d1->EventLines, IsEmpty());
    ASSERT_EQ(d1->DrawnInstances.size(), 1u);
    EXPECT_EQ(d1->DrawnInstances[0]->Ref, a);
    EXPECT_TRUE(M().IsDrawn(a));
    EXPECT_FALSE(M().IsDrawn(c));
}

TEST_F(NetworkTest, NotesAndSelection)
{
    TFB_Diagram* d = NewDiagram("D", 2.0);
    TFBDnote* n = d->AddNote();
    EXPECT_EQ(n->Text, "Write your note here...");
    EXPECT_EQ(n->X, 10);
    EXPECT_EQ(n->BaseX, 5);
    EXPECT_EQ(n->Scale, 2.0);
    TFB_Instance* a = Add(d, "A");
    d->Select(a);
    d->Select(n);
    d->Select(a);
    EXPECT_EQ(d->Selection.size(), 2u);
    EXPECT_TRUE(a->GroupSelected);
    EXPECT_EQ(d->LastSelectedInstance(), a);
    EXPECT_EQ(d->LastSelectedNote(), n);
    EXPECT_EQ(d->LastSelectedIPP(), nullptr);
    d->DeleteNote(n);
    EXPECT_THAT(d->Notes, IsEmpty());
    EXPECT_EQ(d->LastSelectedNote(), nullptr);
    d->ClearSelection();
    EXPECT_FALSE(a->GroupSelected);
    EXPECT_THAT(d->Selection, IsEmpty());
}

} // namespace
} // namespace telvo::test
