// FB network files: what is written, what is read back, and how a file that
// names things that are not there is read.

#include "model/file_util.h"
#include "network/network_fixture.h"
#include "persistence/network_file.h"
#include "persistence/type_file.h"

#include <gmock/gmock.h>
#include <pugixml.hpp>

namespace telvo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

pugi::xml_document parse(const std::string& text)
{
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(text.c_str())) << text;
    return doc;
}

TEST_F(NetworkTest, SavedDiagramReadsBackTheSame)
{
    TFB_Diagram* d = NewDiagram();
    TFB_Instance* a = Add(d, "A");
    TFB_Instance* b = Add(d, "B", "E_SPLIT");
    TFB_Instance* c = Add(d, "C");
    a->PlaceAt(10, 20);
    b->PlaceAt(200, 35);
    a->Ref->Comment = "first counter";
    c->Ref->FindDataInput("N")->ValueText = "12";
    ConnectEvents(a->Ref, "CNF", b->Ref, "EI");
    ConnectEvents(b->Ref, "EO1", c->Ref, "REQ");
    ConnectData(a->Ref, "Q", c->Ref, "N");
    TFBDnote* note = d->AddNote();
    note->Text = "pump <3> & \"valve\"";
    note->PlaceAt(40, 50);
    d->IsInternalDeviceDiagram = true;
    d->RebuildLines();
    auto path = (Home / "plant.fbn").string();
    SaveToFile(*d, path);
    EXPECT_EQ(d->FileName, path);

    const std::string text = ReadFileText(path);
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << text;
    auto doc = parse(text);
    pugi::xml_node root = doc.child("FBNetwork");
    EXPECT_STREQ(root.attribute("IsInternalDeviceDiagram").value(), "true");
    EXPECT_EQ(root.select_nodes("FB").size(), 3u);
    EXPECT_STREQ(root.find_child_by_attribute("FB", "Name", "B").attribute("Comment").value(),
                 M().FindType("E_SPLIT")->Comment.c_str());
    pugi::xml_node line = root.child("EventConnections").first_child();
    EXPECT_STREQ(line.attribute("Source").value(), "A.CNF");
    EXPECT_STREQ(line.attribute("Destination").value(), "B.EI");
    EXPECT_STREQ(line.attribute("dx1").value(), "0");
    EXPECT_TRUE(line.attribute("Comment"));
    EXPECT_FALSE(root.child("AdapterConnections"));

    Reopen();
    TFB_Diagram* back = NewDiagram("back");
    LoadFromFile(*back, path);
    EXPECT_THAT(UI.Messages(), IsEmpty());
    ASSERT_EQ(back->DrawnInstances.size(), 3u);
    const TFB_Instance& a2 = *back->DrawnInstances[0];
    EXPECT_EQ(a2.Ref->Name, "A");
    EXPECT_EQ(a2.BaseX, 10);
    EXPECT_EQ(a2.BaseY, 20);
    EXPECT_EQ(a2.X, 8); // scaled by the instance's 0.8
    EXPECT_EQ(a2.Ref->Comment, "first counter");
    EXPECT_EQ(back->DrawnInstances[1]->BaseX, 200);
    EXPECT_TRUE(back->DrawnInstances[1]->DrawAsGlyph);
    EXPECT_EQ(M().FindInstance("C")->FindDataInput("N")->IntValue, 12);
    EXPECT_EQ(M().EventConns.size(), 2u);
    EXPECT_EQ(M().DataConns.size(), 1u);
    EXPECT_EQ(back->EventLines.size(), 2u);
    EXPECT_EQ(back->DataLines.size(), 1u);
    ASSERT_EQ(back->Notes.size(), 1u);
    EXPECT_EQ(back->Notes[0]->Text, "pump <3> & \"valve\"");
    EXPECT_EQ(back->Notes[0]->X, 40);
    EXPECT_TRUE(back->IsInternalDeviceDiagram);
    // Written again, the file is the same.
    EXPECT_EQ(NetworkToText(*back), text);
}

TEST_F(NetworkTest, ConstantsReadBackAsConstants)
{
    struct Case {
        const char* port;
        const char* constant;
    };
    for (const Case& c : {Case{"S", "2.5"}, Case{"S", "ABC"}, Case{"N", "-7"}, Case{"S", "X.Y.Z"}}) {
        SCOPED_TRACE(c.constant);
        Reopen();
        TFB_Diagram* d = NewDiagram();
        Add(d, "A")->Ref->FindDataInput(c.port)->ValueText = c.constant;
        auto path = (Home / "c.fbn").string();
        SaveToFile(*d, path);
        auto doc = parse(ReadFileText(path));
        pugi::xml_node constant = doc.child("FBNetwork").child("DataConnections").child("Connection");
        EXPECT_STREQ(constant.attribute("Source").value(), c.constant);
        EXPECT_STREQ(constant.attribute("Destination").value(), (std::string("A.") + c.port).c_str());
        EXPECT_FALSE(constant.attribute("dx1"));

        Reopen();
        LoadFromFile(*NewDiagram(), path);
        EXPECT_THAT(UI.Messages(), IsEmpty());
        EXPECT_THAT(M().DataConns, IsEmpty());
        EXPECT_EQ(M().Instances.size(), 1u);
        EXPECT_EQ(M().FindInstance("A")->FindDataInput(c.port)->ValueText, c.constant);
    }
    EXPECT_EQ(M().FindInstance("A")->FindDataInput("S")->StrValue, "X.Y.Z");
}

TEST_F(NetworkTest, AConnectionWrittenInTwoFilesIsOneRecord)
{
    TFB_Diagram* d1 = NewDiagram("D1");
    TFB_Diagram* d2 = NewDiagram("D2");
    TFB_InstanceRef* a = Add(d1, "A")->Ref;
    TFB_InstanceRef* b = Add(d2, "B")->Ref;
    ConnectEvents(a, "CNF", b, "REQ");
    ConnectData(a, "Q", b, "N");
    d1->RebuildLines();
    d2->RebuildLines();
    auto p1 = (Home / "d1.fbn").string(), p2 = (Home / "d2.fbn").string();
    SaveToFile(*d1, p1);
    SaveToFile(*d2, p2);
    for (const auto& p : {p1, p2}) {
        auto doc = parse(ReadFileText(p));
        EXPECT_STREQ(doc.select_node("//EventConnections/Connection").node().attribute("Source").value(), "A.CNF");
    }

    Reopen();
    TFB_Diagram* r1 = NewDiagram("D1");
    TFB_Diagram* r2 = NewDiagram("D2");
    // The first file names B before any file has made it: it cannot make the
    // connections and says so; the second file, which makes B, makes them.
    LoadFromFile(*r1, p1);
    EXPECT_THAT(UI.Messages(), ElementsAre(p1 + ": Event connection from A.CNF to B.REQ is not created: there is "
                                                "no FB instance B",
                                           p1 + ": Data connection from A.Q to B.N is not created: there is no FB "
                                                "instance B"));
    UI.Clear();
    LoadFromFile(*r2, p2);
    EXPECT_THAT(UI.Messages(), IsEmpty());
    ASSERT_EQ(M().EventConns.size(), 1u);
    ASSERT_EQ(M().DataConns.size(), 1u);
    // Read again in the other order, with both instances there, the first
    // file finds the record the second made.
    LoadFromFile(*NewDiagram("again"), p1);
    EXPECT_THAT(UI.Messages(), IsEmpty());
    EXPECT_EQ(M().EventConns.size(), 1u);
    EXPECT_EQ(M().DataConns.size(), 1u);
    r1->RebuildLines();
    ASSERT_EQ(r1->EventLines.size(), 1u);
    ASSERT_EQ(r2->EventLines.size(), 1u);
    EXPECT_EQ(r1->EventLines[0]->Ref, r2->EventLines[0]->Ref);
    EXPECT_EQ(r1->EventLines[0]->DestDrawn, r1->EventLines[0]->SourceDrawn);
}

TEST_F(NetworkTest, NotePositionsAreDividedByTheZoom)
{
    struct Case {
        double zoom;
        const char* x;
        const char* y;
        int32_t wantX, wantY;
    };
    for (const Case& c : {Case{1.0, "100", "41", 100, 41}, Case{2.0, "100", "41", 50, 20},
                          Case{2.0, "43", "45", 22, 22}, Case{0.5, "30", "31", 60, 62}}) {
        SCOPED_TRACE(c.zoom);
        TFB_Diagram* d = LoadText(NetworkText(std::string("<NotesList><Note NoteText=\"n\" X=\"") + c.x +
                                              "\" Y=\"" + c.y + "\"/></NotesList>"),
                                  "notes.fbn", c.zoom);
        ASSERT_EQ(d->Notes.size(), 1u);
        EXPECT_EQ(d->Notes[0]->X, c.wantX);
        EXPECT_EQ(d->Notes[0]->Y, c.wantY);
    }
}

TEST_F(NetworkTest, InternalDeviceFlagIsReadInEveryCommonForm)
{
    struct Case {
        const char* text;
        bool flag;
    };
    for (const Case& c : {Case{"true", true}, Case{"TRUE", true}, Case{"True", true}, Case{"1", true},
                          Case{"false", false}, Case{"FALSE", false}, Case{"0", false}, Case{"", false},
                          Case{"yes", false}}) {
        TFB_Diagram* d = LoadText(NetworkText("", std::string(" IsInternalDeviceDiagram=\"") + c.text + "\""));
        EXPECT_EQ(d->IsInternalDeviceDiagram, c.flag) << c.text;
    }
    EXPECT_FALSE(LoadText(NetworkText(""))->IsInternalDeviceDiagram);
}

TEST_F(NetworkTest, AnInstanceNameTwiceInOneFileIsToldAndDrawnTwiceAsBefore)
{
    const std::string file = (Home / "twice.fbn").string();
    TFB_Diagram* d = LoadText(NetworkText(R"(
  <FB Name="A" Type="COUNTER" x="0" y="0"/>
  <FB Name="B" Type="COUNTER" x="0" y="0"/>
  <FB Name="A" Type="COUNTER" x="100" y="100"/>)"),
                              "twice.fbn");
    EXPECT_THAT(UI.Messages(), ElementsAre(file + ": the FB instance name A is used more than once in this file"));
    EXPECT_EQ(d->DrawnInstances.size(), 3u);
    EXPECT_EQ(M().Instances.size(), 2u);

    // A name shared between two files is the one record of both, as ever.
    UI.Clear();
    LoadText(NetworkText(R"(<FB Name="A" Type="COUNTER" x="0" y="0"/>)"), "other.fbn");
    EXPECT_THAT(UI.Messages(), IsEmpty());
    EXPECT_EQ(M().Instances.size(), 2u);
}

TEST_F(NetworkTest, UnknownTypesAndMissingEndsAreToldAndSkipped)
{
    const std::string file = (Home / "bad.fbn").string();
    TFB_Diagram* d = LoadText(NetworkText(R"(
  <FB Name="A" Type="NOPE" x="0" y="0"/>
  <FB Name="B" Type="COUNTER" x="0" y="0"/>
  <FB Name="C" Type="COUNTER" x="0" y="0"/>
  <EventConnections>
    <Connection Source="A.CNF" Destination="B.REQ"/>
    <Connection Source="B.CNF" Destination="Z.REQ"/>
    <Connection Source="B.NOPE" Destination="C.REQ"/>
    <Connection Source="B.CNF" Destination="C.NOPE"/>
    <Connection Source="B.CNF" Destination="C.REQ"/>
  </EventConnections>
  <DataConnections>
    <Connection Source="A.Q" Destination="B.N"/>
    <Connection Source="B.Q" Destination="C.NOPE"/>
    <Connection Source="B.NOPE" Destination="C.N"/>
    <Connection Source="B.Q" Destination="C.N"/>
    <Connection Source="4" Destination="Z.N"/>
    <Connection Source="4" Destination="C.NOPE"/>
    <Connection Source="abc" Destination="C.N"/>
  </DataConnections>)"),
                              "bad.fbn");
    EXPECT_THAT(UI.Messages(),
                ElementsAre("Filetype not found" + (Home.Path() / "library").string() +
                                "/NOPE.fbt (needed by network file " + file + ")",
                            "Error 101: Cannot create FB instance A from type NOPE",
                            file + ": Event connection from A.CNF to B.REQ is not created: there is no FB instance A",
                            file + ": Event connection from B.CNF to Z.REQ is not created: there is no FB instance Z",
                            file + ": Event connection from B.NOPE to C.REQ is not created: FB instance B has no "
                                   "event output NOPE",
                            file + ": Event connection from B.CNF to C.NOPE is not created: FB instance C has no "
                                   "event input NOPE",
                            file + ": Data connection from A.Q to B.N is not created: there is no FB instance A",
                            file + ": Data connection from B.Q to C.NOPE is not created: FB instance C has no data "
                                   "input NOPE",
                            file + ": Data connection from B.NOPE to C.N is not created: FB instance B has no data "
                                   "output NOPE",
                            file + ": constant 4 for Z.N is not set: there is no FB instance Z",
                            file + ": constant 4 for C.NOPE is not set: FB instance C has no data input NOPE",
                            file + ": constant for C.N: 'abc' is not a valid integer value"));
    EXPECT_EQ(d->DrawnInstances.size(), 2u);
    ASSERT_EQ(M().EventConns.size(), 1u);
    EXPECT_EQ(M().EventConns[0]->DestPort->Name(), "REQ");
    ASSERT_EQ(M().DataConns.size(), 1u);
    // A connection from the instance that could not be made is no constant.
    EXPECT_EQ(M().FindInstance("B")->FindDataInput("N")->ValueText, "");
    // The text that is no number is kept for the next save; the value is not.
    EXPECT_EQ(M().FindInstance("C")->FindDataInput("N")->ValueText, "abc");
    EXPECT_EQ(M().FindInstance("C")->FindDataInput("N")->IntValue, 0);
    for (const auto& e : M().EventConns)
        EXPECT_TRUE(e->SourcePort && e->DestPort && e->SourceInstance && e->DestInstance);
}

TEST_F(NetworkTest, MalformedFilesAndOtherRootsChangeNothing)
{
    struct Case {
        std::string text;
        bool malformed;
    };
    // A NUL byte ends the text, so the end tag before it is incomplete.
    const std::string nulInEndTag("<FBNetwork><FB Name=\"A\" Type=\"COUNTER\"/></FBNetwork\0\0>", 54);
    for (const Case& c : {Case{"<FBNetwork><FB Name=\"A\" Type=\"COUNTER\"></FBNetwork>", true}, Case{"", true},
                          Case{nulInEndTag, true}, Case{"<FBType Name=\"X\"/>", false}}) {
        SCOPED_TRACE(c.text);
        TFB_Diagram* d = NewDiagram();
        auto path = Home.Write("x.fbn", c.text).string();
        if (c.malformed)
            EXPECT_THROW(LoadFromFile(*d, path), EXmlParseError);
        else
            EXPECT_THROW(LoadFromFile(*d, path), ENotANetworkFile);
        EXPECT_THAT(d->DrawnInstances, IsEmpty());
        EXPECT_THAT(M().Instances, IsEmpty());
        EXPECT_EQ(d->FileName, "");
    }
    EXPECT_THROW(LoadFromFile(*NewDiagram(), (Home / "missing.fbn").string()), std::runtime_error);
}

TEST_F(NetworkTest, FailedSaveKeepsThePreviousFile)
{
    TFB_Diagram* d = NewDiagram();
    Add(d, "A");
    auto path = Home.Write("keep.fbn", "previous");
    std::filesystem::create_directory(Home / "keep.fbn.dir");
    // A folder where the file should go cannot be replaced by a file.
    EXPECT_THROW(SaveToFile(*d, (Home / "keep.fbn.dir").string()), std::runtime_error);
    EXPECT_THROW(SaveToFile(*d, (Home / "no" / "such" / "folder.fbn").string()), std::runtime_error);
    EXPECT_EQ(ReadFileText(path), "previous");
    EXPECT_EQ(d->FileName, "");
}

} // namespace
} // namespace telvo::test
