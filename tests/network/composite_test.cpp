// Composite types: their inner network read from and written to the type
// file, and instances of them with an inner diagram of their own.

#include "model/file_util.h"
#include "model/value_text.h"
#include "network/network_fixture.h"
#include "persistence/network_file.h"
#include "persistence/type_file.h"

#include <gmock/gmock.h>
#include <pugixml.hpp>

namespace telvo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> names(const TOwnedList<TFB_InstanceRef>& records)
{
    std::vector<std::string> n;
    for (const auto& r : records)
        n.push_back(r->Name);
    return n;
}

TEST_F(NetworkTest, CompositeTypeReadsItsNetworkAsItsOwn)
{
    TFB_Diagram* d = NewDiagram();
    Add(d, "X"); // a user's own X, before the type is read
    ASSERT_TRUE(d->AddInstance("P", "PAIR", false, nullptr));
    TFB_Type* pair = M().FindType("PAIR");
    ASSERT_NE(pair, nullptr);
    EXPECT_THAT(UI.Messages(), IsEmpty());
    ASSERT_TRUE(pair->Composite);
    const TFB_Diagram& net = *pair->Network;
    EXPECT_TRUE(net.InnerNetwork);
    EXPECT_EQ(net.CompositeType, pair);
    EXPECT_THAT(names(net.InnerInstances), ElementsAre("X", "Y"));
    // Inner instances are the network's: the user's X is not swallowed, and
    // the network's X and Y are no project records.
    EXPECT_NE(net.InnerInstances[0].get(), M().FindInstance("X"));
    EXPECT_EQ(M().FindInstance("Y"), nullptr);
    EXPECT_EQ(M().Instances.size(), 2u); // X and P
    EXPECT_EQ(net.DrawnInstances[1]->BaseX, FileToGridValue(300));

    const TFB_InstanceRef& x = *net.InnerInstances[0];
    const TFB_InstanceRef& y = *net.InnerInstances[1];
    ASSERT_EQ(pair->InnerEventConns.size(), 1u);
    EXPECT_EQ(pair->InnerEventConns[0]->SourcePort, x.FindEventOutput("CNF"));
    EXPECT_EQ(pair->InnerEventConns[0]->DestInstance, &y);
    ASSERT_EQ(pair->InnerDataConns.size(), 1u);
    EXPECT_EQ(net.EventLines.size(), 1u);
    EXPECT_EQ(net.DataLines.size(), 1u);
    EXPECT_EQ(net.CompositeConns.size(), 4u);
    EXPECT_EQ(x.FindEventInput("REQ")->InterfaceLink, pair->FindEventInput("REQ"));
    EXPECT_EQ(y.FindEventOutput("CNF")->InterfaceLink, pair->FindEventOutput("DONE"));
    EXPECT_EQ(x.FindDataInput("N")->InterfaceLink, pair->FindDataInput("IN"));
    EXPECT_EQ(y.FindDataOutput("Q")->InterfaceLink, pair->FindDataOutput("OUT"));
    EXPECT_EQ(y.FindDataInput("S")->ValueText, "7");
    EXPECT_EQ(net.InnerInputOfInterface("REQ"), x.FindEventInput("REQ"));
    EXPECT_EQ(net.InterfaceOfInnerOutput(y.FindEventOutput("CNF")), pair->FindEventOutput("DONE"));
}

TEST_F(NetworkTest, TwoCompositeTypesWithTheSameInnerNameDoNotShareIt)
{
    Home.Write("library/test/PAIR2.fbt", PairType("PAIR2", "E_SPLIT"));
    Bench->IndexLibrary();
    TFB_Diagram* d = NewDiagram();
    ASSERT_TRUE(Add(d, "P1", "PAIR"));
    ASSERT_TRUE(Add(d, "P2", "PAIR2"));
    EXPECT_EQ(M().FindType("PAIR")->Network->InnerInstances[0]->Type->Name, "COUNTER");
    EXPECT_EQ(M().FindType("PAIR2")->Network->InnerInstances[0]->Type->Name, "E_SPLIT");
    EXPECT_THAT(names(M().Instances), ElementsAre("P1", "P2"));
}

TEST_F(NetworkTest, CompositeInstanceGetsItsOwnInnerDiagram)
{
    TFB_Diagram* d = NewDiagram();
    TFB_InstanceRef* m = Add(d, "M", "PAIR")->Ref;
    ASSERT_TRUE(m->Composite);
    ASSERT_NE(m->InnerDiagram, nullptr);
    const TFB_Diagram& inner = *m->InnerDiagram;
    EXPECT_EQ(inner.Name, "FBdiagr_M");
    EXPECT_EQ(inner.Zoom, 1.0);
    EXPECT_THAT(names(inner.InnerInstances), ElementsAre("M-X", "M-Y"));
    ASSERT_EQ(inner.DrawnInstances.size(), 2u);
    EXPECT_EQ(inner.DrawnInstances[0]->Ref->Name, "M-X");
    // Not project records: not found, not listed, not saved.
    EXPECT_EQ(M().FindInstance("M-X"), nullptr);
    EXPECT_THAT(names(M().Instances), ElementsAre("M"));
    EXPECT_EQ(NetworkToText(*d).find("M-X"), std::string::npos);

    const TFB_InstanceRef& mx = *inner.InnerInstances[0];
    const TFB_InstanceRef& my = *inner.InnerInstances[1];
    ASSERT_EQ(inner.InnerEventConns.size(), 1u);
    EXPECT_EQ(inner.InnerEventConns[0]->SourcePort, mx.FindEventOutput("CNF"));
    EXPECT_EQ(inner.InnerEventConns[0]->DestPort, my.FindEventInput("REQ"));
    ASSERT_EQ(inner.EventLines.size(), 1u);
    EXPECT_EQ(inner.EventLines[0]->SourcePortPic, inner.DrawnInstances[0]->EventOutputPicture("CNF"));
    ASSERT_EQ(inner.InnerDataConns.size(), 1u);
    EXPECT_EQ(inner.DataLines.size(), 1u);
    EXPECT_THAT(M().EventConns, IsEmpty());
    // The constant of the type's network is copied with its value.
    EXPECT_EQ(my.FindDataInput("S")->ValueText, "7");
    EXPECT_EQ(my.FindDataInput("S")->StrValue, "7");
    EXPECT_EQ(inner.CompositeConns.size(), 4u);
    EXPECT_EQ(mx.FindEventInput("REQ")->InterfaceLink, M().FindType("PAIR")->FindEventInput("REQ"));
    // The inner diagram's lines can be drawn again from its own records.
    m->InnerDiagram->RebuildLines();
    EXPECT_EQ(inner.EventLines.size(), 1u);
    EXPECT_EQ(inner.DataLines.size(), 1u);

    // Deleted, the record takes its inner diagram and inner records along.
    M().DeleteInstance(m);
    EXPECT_THAT(M().Instances, IsEmpty());
}

TEST_F(NetworkTest, BadInnerConnectionsAreToldAndNotMade)
{
    const std::string text = R"(<FBType Name="BAD">
  <InterfaceList><EventInputs><Event Name="REQ"/></EventInputs>
    <OutputVars><VarDeclaration Name="OUT" Type="INT"/></OutputVars></InterfaceList>
  <FBNetwork>
    <FB Name="A" Type="COUNTER"/><FB Name="G" Type="NOPE"/>
    <EventConnections>
      <Connection Source="REQ" Destination="A.NOPE"/>
      <Connection Source="START" Destination="A.REQ"/>
      <Connection Source="A.CNF" Destination="Z.REQ"/>
      <Connection Source="A.CNF" Destination="DONE"/>
      <Connection Source="REQ" Destination="DONE"/>
    </EventConnections>
    <DataConnections>
      <Connection Source="G.Q" Destination="A.N"/>
      <Connection Source="1.5" Destination="A.S"/>
      <Connection Source="A.Q" Destination="4.25"/>
      <Connection Source="A.NOPE" Destination="OUT"/>
    </DataConnections>
  </FBNetwork>
</FBType>)";
    UI.Clear();
    ASSERT_TRUE(M().LoadTypeFromLines(SplitLines(text)));
    EXPECT_THAT(UI.Messages(),
                ElementsAre("Filetype not found" + (Home.Path() / "library").string() +
                                "/NOPE.fbt (needed by FB type BAD)",
                            "Error 101: Cannot create FB instance G from type NOPE",
                            "BAD: inner event connection from REQ to A.NOPE is not created: inner FB instance A "
                            "has no event input NOPE",
                            "BAD: inner event connection from START to A.REQ is not created: the type has no event "
                            "input START",
                            "BAD: inner event connection from A.CNF to Z.REQ is not created: there is no inner FB "
                            "instance Z",
                            "BAD: inner event connection from A.CNF to DONE is not created: the type has no event "
                            "output DONE",
                            "BAD: inner data connection from G.Q to A.N is not created: there is no inner FB "
                            "instance G",
                            "BAD: inner data connection from A.NOPE to OUT is not created: inner FB instance A has "
                            "no data output NOPE"));
    const TFB_Type& bad = *M().FindType("BAD");
    EXPECT_THAT(bad.Network->CompositeConns, IsEmpty());
    EXPECT_THAT(bad.InnerEventConns, IsEmpty());
    const TFB_InstanceRef& a = *bad.Network->InnerInstances[0];
    EXPECT_EQ(a.FindDataInput("N")->ValueText, "5"); // its initial value, not "G.Q"
    EXPECT_EQ(a.FindDataInput("S")->ValueText, "1.5");
    EXPECT_EQ(a.FindDataOutput("Q")->ValueText, "4.25");
}

TEST_F(NetworkTest, CompositeTypeWritesItsNetworkBackKeepingWhatItDoesNotHold)
{
    const std::string base = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="KEEP">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/></EventInputs>
    <EventOutputs><Event Name="DONE"/></EventOutputs>
    <InputVars><VarDeclaration Name="IN" Type="INT"/></InputVars>
  </InterfaceList>
  <FBNetwork>
    <FB Name="X" Type="COUNTER" Comment="first" x="100" y="200"><Attribute Name="a" Value="1"/></FB>
    <FB Name="Y" Type="COUNTER" x="300" y="200"/>
    <EventConnections>
      <Connection Source="REQ" Destination="X.REQ" dx1="12"/>
      <Connection Source="X.CNF" Destination="Y.REQ"/>
      <Connection Source="Y.CNF" Destination="DONE"/>
    </EventConnections>
    <DataConnections>
      <Connection Source="IN" Destination="X.N"/>
      <Connection Source="X.Q" Destination="Y.N"/>
      <Connection Source="1.5" Destination="Y.S"/>
    </DataConnections>
  </FBNetwork>
</FBType>
)";
    auto path = Home.Write("KEEP.fbt", base).string();
    TFB_Type type;
    ASSERT_TRUE(ReadFBType(base, type, &M(), path));
    type.FileName = path;
    auto out = (Home / "out.fbt").string();
    ASSERT_TRUE(WriteFBType(out, type, &type, true, type.Network.get(), &UI));
    const std::string written = ReadFileText(out);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(written.c_str()));
    pugi::xml_node net = doc.child("FBType").child("FBNetwork");
    std::vector<std::string> fbs;
    for (pugi::xml_node fb : net.children("FB"))
        fbs.push_back(fb.attribute("Name").value());
    EXPECT_THAT(fbs, ElementsAre("X", "Y"));
    pugi::xml_node x = net.child("FB");
    EXPECT_STREQ(x.attribute("Comment").value(), "first");
    EXPECT_STREQ(x.child("Attribute").attribute("Value").value(), "1");
    EXPECT_STREQ(x.attribute("x").value(), GridToFileText(FileToGridValue(100)).c_str());
    auto connections = [&](const char* list) {
        std::vector<std::string> c;
        for (pugi::xml_node n : net.child(list).children("Connection"))
            c.push_back(std::string(n.attribute("Source").value()) + ">" + n.attribute("Destination").value());
        return c;
    };
    // Per instance its interface links and constants, then the inner lines.
    // Initial values the inner instances were made with are no constants of
    // the file and are not written as such.
    EXPECT_THAT(connections("EventConnections"), ElementsAre("REQ>X.REQ", "Y.CNF>DONE", "X.CNF>Y.REQ"));
    EXPECT_THAT(connections("DataConnections"), ElementsAre("IN>X.N", "1.5>Y.S", "X.Q>Y.N"));
    EXPECT_STREQ(net.child("EventConnections").child("Connection").attribute("dx1").value(), "12");
    EXPECT_FALSE(net.child("AdapterConnections"));

    // Read back, the network is the same.
    TFB_Type again;
    ASSERT_TRUE(ReadFBType(written, again, &M(), out));
    EXPECT_THAT(names(again.Network->InnerInstances), ElementsAre("X", "Y"));
    EXPECT_EQ(again.Network->CompositeConns.size(), 3u);
    EXPECT_EQ(again.InnerEventConns.size(), 1u);
    EXPECT_EQ(again.InnerDataConns.size(), 1u);
    EXPECT_EQ(again.Network->InnerInstances[1]->FindDataInput("S")->ValueText, "1.5");
}

TEST_F(NetworkTest, WithoutTheInnerTypesTheNetworkIsKeptAsTheFileHadIt)
{
    // Inner types nobody can load: the model holds no network, and a rewrite
    // must not lose the one in the file.
    const std::string base = PairType("ALIEN", "UNKNOWN_TYPE");
    auto path = Home.Write("ALIEN.fbt", base).string();
    TFB_Type type;
    ASSERT_TRUE(ReadFBType(base, type, &M(), path));
    EXPECT_TRUE(type.Composite);
    EXPECT_THAT(type.Network->DrawnInstances, IsEmpty());
    type.FileName = path;
    auto out = (Home / "alien-out.fbt").string();
    ASSERT_TRUE(WriteFBType(out, type, &type, true, type.Network.get(), &UI));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(ReadFileText(out).c_str()));
    EXPECT_EQ(doc.select_nodes("//FBNetwork/FB").size(), 2u);
    EXPECT_EQ(doc.select_nodes("//FBNetwork//Connection").size(), 7u);
}

TEST_F(NetworkTest, ATypeThatHoldsItselfIsNotExpandedForEver)
{
    // LOOP's network holds a LOOP: read from the library, the inner LOOP
    // cannot be made while LOOP itself is being read.
    Home.Write("library/test/LOOP.fbt", R"(<FBType Name="LOOP"><InterfaceList/>
      <FBNetwork><FB Name="L" Type="LOOP"/><FB Name="C" Type="COUNTER"/></FBNetwork></FBType>)");
    Reopen();
    TFB_Diagram* d = NewDiagram();
    TFB_Instance* loop = Add(d, "R", "LOOP");
    ASSERT_NE(loop, nullptr);
    EXPECT_THAT(names(loop->Ref->InnerDiagram->InnerInstances), ElementsAre("R-C"));
    // The user hears that it is a cycle, and which.
    EXPECT_THAT(UI.Messages(),
                ElementsAre("FB type LOOP cannot hold an instance of itself: the composite types form a cycle "
                            "LOOP -> LOOP",
                            "Error 101: Cannot create FB instance L from type LOOP"));
}

TEST_F(NetworkTest, ACycleThroughSeveralTypesIsNamedWholeAndEndsTheReading)
{
    // OUTER holds an INNER, whose network holds an OUTER again.
    Home.Write("library/test/OUTER.fbt", R"(<FBType Name="OUTER"><InterfaceList/>
      <FBNetwork><FB Name="I" Type="INNER"/></FBNetwork></FBType>)");
    Home.Write("library/test/INNER.fbt", R"(<FBType Name="INNER"><InterfaceList/>
      <FBNetwork><FB Name="O" Type="OUTER"/><FB Name="C" Type="COUNTER"/></FBNetwork></FBType>)");
    Reopen();
    TFB_Instance* outer = Add(NewDiagram(), "R", "OUTER");
    ASSERT_NE(outer, nullptr);
    EXPECT_THAT(UI.Messages(),
                ElementsAre("FB type OUTER cannot hold an instance of itself: the composite types form a cycle "
                            "OUTER -> INNER -> OUTER",
                            "Error 101: Cannot create FB instance O from type OUTER"));
    EXPECT_THAT(names(outer->Ref->InnerDiagram->InnerInstances), ElementsAre("R-I"));
}

} // namespace
} // namespace telvo::test
