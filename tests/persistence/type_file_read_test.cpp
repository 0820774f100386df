// Reading type files into the model.

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/user_interface.h"
#include "model/fb_type.h"
#include "persistence/type_file.h"
#include "persistence/type_file_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace telvo;
using namespace telvo::test;

namespace {

// A basic type using every element the model reads, in the attribute orders
// and text forms other tools write.
const char* const kFullBasicType = R"(<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<!DOCTYPE FBType SYSTEM "http://www.holobloc.com/xml/LibraryElement.dtd">
<FBType Comment="counter !IMP! block" Name="COUNTER">
  <Identification Classification="Counters" Description="counts&#10;up" Standard="61499-2"/>
  <VersionInfo Author="A" Date="2020-01-01" Organization="O" Remarks="first" Version="1.0"/>
  <VersionInfo Author="B" Date="2020-02-02" Organization="O" Remarks="same version again" Version="1.0"/>
  <VersionInfo Author="C" Date="2021-01-01" Organization="O" Version="1.1"/>
  <CompilerInfo classdef="class C" header="unit C">
    <Compiler Language="Pascal" Product="fpc" Vendor="FPC" Version="3"/>
    <Compiler Language="Pascal" Product="other" Vendor="FPC" Version="3"/>
  </CompilerInfo>
  <InterfaceList>
    <EventInputs>
      <Event Comment="count" Name="REQ" Type="Event">
        <With Var="STEP"/>
        <With Var="MISSING"/>
        <With Var="CV"/>
      </Event>
      <Event Name="RESET"/>
    </EventInputs>
    <EventOutputs>
      <Event Name="CNF" Type="Event"><With Var="CV"/><With Var="STEP"/></Event>
    </EventOutputs>
    <InputVars>
      <VarDeclaration ArraySize="10" Comment="step" InitialValue="1" Name="STEP" Type="INT"/>
    </InputVars>
    <OutputVars>
      <VarDeclaration Name="CV" Type="INT" InitialValue="0"/>
    </OutputVars>
    <Plugs><AdapterDeclaration Name="P1" Type="A1" Comment="plug"/></Plugs>
    <Sockets><AdapterDeclaration Name="S1" Type="A2" x="10" y="20"/></Sockets>
  </InterfaceList>
  <BasicFB>
    <InternalVars>
      <VarDeclaration ArraySize="4" Comment="buffer" InitialValue="7" Name="BUF" Type="REAL"/>
    </InternalVars>
    <ECC>
      <ECState Comment="start" Name="START" x="40" y="-1753.33"/>
      <ECState Name="COUNT" x="6666.666666666667" y="11.7647">
        <ECAction Algorithm="INC" Output="CNF"/>
        <ECAction Output="CNF"/>
      </ECState>
      <ECTransition Comment="go" Condition="REQ" Destination="COUNT" Source="START" x="100.5" y="1,5"/>
      <ECTransition Condition="1" Destination="START" Source="COUNT"/>
    </ECC>
    <Algorithm Comment="increment" Name="INC">
      <ST><![CDATA[CV := CV + STEP;
IF CV > 10 THEN CV := 0; END_IF;
]]></ST>
    </Algorithm>
    <Algorithm Name="SCRIPT">
      <ST Text=""/>
      <Other Language="DelphiScript" Text="begin&#13;&#10;  CV := 0;&#13;&#10;end;"/>
    </Algorithm>
    <Algorithm Name="LADDER">
      <LD><Rung Output="Q" Expression="A AND B" Comment="r1"/><Rung Output="R" Expression="NOT A"/></LD>
      <FBD><FB Name="F1" Type="AND"/></FBD>
    </Algorithm>
    <Algorithm Name="EMPTYFBD"><FBD/></Algorithm>
  </BasicFB>
  <Service Comment="svc" LeftInterface="APP" RightInterface="RES">
    <ServiceSequence Comment="normal" Name="normal_op">
      <ServiceTransaction>
        <InputPrimitive Event="REQ" Interface="APP" Parameters="STEP"/>
        <OutputPrimitive Event="CNF" Interface="APP" Parameters="CV"/>
        <OutputPrimitive Event="IND" Interface="RES"/>
      </ServiceTransaction>
      <ServiceTransaction>
        <InputPrimitive Event="RESET" Interface=""/>
        <OutputPrimitive Event="CNF" Interface="APP"/>
      </ServiceTransaction>
    </ServiceSequence>
  </Service>
</FBType>
)";

std::string typeWithAlgorithmBody(const std::string& body)
{
    return "<FBType Name=\"T\"><BasicFB><Algorithm Name=\"A\">" + body + "</Algorithm></BasicFB></FBType>";
}

} // namespace

TEST(TypeFileRead, ReadsEveryModelledPartOfABasicType)
{
    auto t = ReadTypeText(kFullBasicType);
    EXPECT_EQ(t->Name, "COUNTER");
    EXPECT_EQ(t->Comment, "counter !IMP! block");
    EXPECT_TRUE(t->Imported);
    EXPECT_FALSE(t->Composite);
    EXPECT_EQ(t->Standard, "61499-2");
    EXPECT_EQ(t->Description, "counts\nup");
    EXPECT_EQ(t->CompilerHeader, "unit C");
    EXPECT_EQ(t->CompilerClassDef, "class C");

    // The model refuses a second version 1.0 and a second compiler that
    // differs only in its product.
    ASSERT_EQ(t->Versions.size(), 2u);
    EXPECT_EQ(t->Versions[0]->Author, "A");
    EXPECT_EQ(t->Versions[1]->Version, "1.1");
    EXPECT_EQ(t->Versions[1]->Remarks, "");
    ASSERT_EQ(t->Compilers.size(), 1u);
    EXPECT_EQ(t->Compilers[0]->Product, "fpc");

    ASSERT_EQ(t->DataInputs.size(), 1u);
    EXPECT_EQ(t->DataInputs[0]->Name, "STEP");
    EXPECT_EQ(t->DataInputs[0]->InitialValue, "1");
    EXPECT_EQ(t->DataInputs[0]->ArraySize, "") << "interface variables are held as single values";
    EXPECT_EQ(t->DataOutputs[0]->Comment, "");
    ASSERT_EQ(t->InternalVars.size(), 1u);
    EXPECT_EQ(t->InternalVars[0]->ArraySize, "4");
    EXPECT_EQ(t->InternalVars[0]->InitialValue, "7");
    EXPECT_EQ(t->InternalVars[0]->Owner, t.get());

    // WITH entries: an undeclared variable and one of the other direction
    // are dropped, never held as empty associations.
    ASSERT_EQ(t->EventInputs.size(), 2u);
    ASSERT_EQ(t->EventInputs[0]->With.size(), 1u);
    EXPECT_EQ(t->EventInputs[0]->With[0], t->DataInputs[0].get());
    EXPECT_EQ(t->EventInputs[1]->Type, "");
    ASSERT_EQ(t->EventOutputs[0]->With.size(), 1u);
    EXPECT_EQ(t->EventOutputs[0]->With[0], t->DataOutputs[0].get());

    ASSERT_EQ(t->Plugs.size(), 1u);
    EXPECT_EQ(t->Plugs[0]->Comment, "plug");
    ASSERT_EQ(t->Sockets.size(), 1u);
    EXPECT_EQ(t->Sockets[0]->Type, "A2");

    ASSERT_EQ(t->States.size(), 2u);
    EXPECT_EQ(t->States[0]->Comment, "start");
    EXPECT_EQ(t->States[0]->X, 5);
    EXPECT_EQ(t->States[0]->Y, -300);
    EXPECT_EQ(t->States[1]->X, 1131);
    EXPECT_EQ(t->States[1]->Y, 0);
    ASSERT_EQ(t->States[1]->Actions.size(), 2u);
    EXPECT_EQ(t->States[1]->Actions[0]->Algorithm, "INC");
    EXPECT_EQ(t->States[1]->Actions[1]->Algorithm, "");
    EXPECT_EQ(t->States[1]->Actions[1]->Output, "CNF");
    ASSERT_EQ(t->Transitions.size(), 2u);
    EXPECT_EQ(t->Transitions[0]->Condition, "REQ");
    EXPECT_EQ(t->Transitions[0]->X, 15);
    EXPECT_EQ(t->Transitions[0]->Y, -2);
    EXPECT_EQ(t->Transitions[1]->X, 0) << "a missing coordinate keeps its default";

    ASSERT_EQ(t->Algorithms.size(), 4u);
    const auto& inc = *t->Algorithms[0];
    EXPECT_EQ(inc.Comment, "increment");
    EXPECT_EQ(inc.STText, (std::vector<std::string>{"CV := CV + STEP;", "IF CV > 10 THEN CV := 0; END_IF;"}));
    EXPECT_TRUE(inc.OtherText.empty());
    const auto& script = *t->Algorithms[1];
    EXPECT_TRUE(script.STText.empty());
    EXPECT_EQ(script.Language, "DelphiScript");
    EXPECT_EQ(script.OtherText, (std::vector<std::string>{"begin", "  CV := 0;", "end;"}));
    const auto& ladder = *t->Algorithms[2];
    ASSERT_EQ(ladder.Rungs.size(), 2u);
    EXPECT_EQ(ladder.Rungs[0]->Expression, "A AND B");
    EXPECT_EQ(ladder.Rungs[1]->Comment, "");
    EXPECT_TRUE(ladder.HasFBD);
    EXPECT_FALSE(t->Algorithms[3]->HasFBD) << "an FBD without FB";

    // One input and two outputs in one transaction give three primitives;
    // an input primitive without interface contributes nothing.
    ASSERT_EQ(t->Services.size(), 1u);
    const auto& svc = *t->Services[0];
    EXPECT_EQ(svc.LeftInterface, "APP");
    EXPECT_EQ(svc.RightInterface, "RES");
    EXPECT_EQ(svc.Comment, "svc");
    ASSERT_EQ(svc.Sequences.size(), 1u);
    EXPECT_EQ(svc.Sequences[0]->Comment, "normal");
    const auto& p = svc.Sequences[0]->Primitives;
    ASSERT_EQ(p.size(), 4u);
    EXPECT_TRUE(p[0]->IsInput);
    EXPECT_EQ(p[0]->Parameters, "STEP");
    EXPECT_FALSE(p[1]->IsInput);
    EXPECT_EQ(p[1]->Event, "CNF");
    EXPECT_FALSE(p[2]->IsInput);
    EXPECT_EQ(p[2]->Interface, "RES");
    EXPECT_FALSE(p[3]->IsInput);
    EXPECT_EQ(p[3]->Event, "CNF");
    EXPECT_TRUE(t->IsServiceInterface());
}

TEST(TypeFileRead, AlgorithmTextFormsGiveTheSameLines)
{
    struct Case {
        const char* Name;
        std::string Body;
        std::vector<std::string> Lines;
    };
    const std::vector<Case> cases = {
        {"attribute with LF", R"(<ST Text="A := 1;&#10;B := 2;&#10;"/>)", {"A := 1;", "B := 2;"}},
        {"attribute with CR LF", R"(<ST Text="A := 1;&#13;&#10;B := 2;"/>)", {"A := 1;", "B := 2;"}},
        {"CDATA", "<ST><![CDATA[A := 1;\nB := 2;\n]]></ST>", {"A := 1;", "B := 2;"}},
        {"CDATA with CR LF", "<ST><![CDATA[A := 1;\r\nB := 2;]]></ST>", {"A := 1;", "B := 2;"}},
        {"CDATA split at ]]>", "<ST><![CDATA[S := 'a]]]]><![CDATA[>b';]]></ST>", {"S := 'a]]>b';"}},
        {"plain element text", "<ST>IF A &lt; B THEN C := 1; END_IF;</ST>", {"IF A < B THEN C := 1; END_IF;"}},
        {"attribute wins over element text", R"(<ST Text="A := 1;"><![CDATA[B := 2;]]></ST>)", {"A := 1;"}},
        {"empty attribute, element text", R"(<ST Text=""><![CDATA[B := 2;]]></ST>)", {"B := 2;"}},
        {"blank lines kept", "<ST><![CDATA[A;\n\nB;\n\n]]></ST>", {"A;", "", "B;", ""}},
        {"empty", "<ST/>", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto t = ReadTypeText(typeWithAlgorithmBody(c.Body));
        ASSERT_EQ(t->Algorithms.size(), 1u);
        EXPECT_EQ(t->Algorithms[0]->STText, c.Lines);
    }
}

TEST(TypeFileRead, OtherTextTakesItsLanguageOnlyWithText)
{
    auto t = ReadTypeText(typeWithAlgorithmBody(R"(<Other Language="Java"/>)"));
    EXPECT_EQ(t->Algorithms[0]->Language, "");
    EXPECT_TRUE(t->Algorithms[0]->OtherText.empty());

    t = ReadTypeText(typeWithAlgorithmBody("<Other Language=\"DelphiScript\"><![CDATA[x := 1;]]></Other>"));
    EXPECT_EQ(t->Algorithms[0]->Language, "DelphiScript");
    EXPECT_EQ(t->Algorithms[0]->OtherText, std::vector<std::string>{"x := 1;"});
}

TEST(TypeFileRead, CompositeWhenTheNetworkHoldsAnFB)
{
    struct Case {
        const char* Name;
        const char* Network;
        bool Composite;
    };
    const Case cases[] = {
        {"FB in network", R"(<FBNetwork><FB Name="A" Type="E_CTU" x="100" y="200"/>
            <EventConnections><Connection Source="REQ" Destination="A.CU"/></EventConnections></FBNetwork>)",
         true},
        {"connections without FB", R"(<FBNetwork><EventConnections>
            <Connection Source="REQ" Destination="CNF"/></EventConnections></FBNetwork>)",
         false},
        {"empty network", "<FBNetwork/>", false},
        {"no network", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto t = ReadTypeText(std::string("<FBType Name=\"C\"><InterfaceList><EventInputs><Event Name=\"REQ\"/>"
                                          "</EventInputs></InterfaceList>") +
                              c.Network + "</FBType>");
        EXPECT_EQ(t->Composite, c.Composite);
        EXPECT_EQ(t->EventInputs.size(), 1u);
        EXPECT_EQ(t->Network->Name, "FBComposite");
    }
}

TEST(TypeFileRead, EveryTypeGetsOneServiceEntry)
{
    auto t = ReadTypeText("<FBType Name=\"NOSVC\"/>");
    ASSERT_EQ(t->Services.size(), 1u);
    EXPECT_EQ(t->Services[0]->LeftInterface, "");
    EXPECT_TRUE(t->Services[0]->Sequences.empty());
    EXPECT_FALSE(t->IsServiceInterface());
    EXPECT_TRUE(t->Versions.empty());
    EXPECT_EQ(t->Name, "NOSVC");
    EXPECT_EQ(t->Comment, "");
}

TEST(TypeFileRead, AnotherRootIsNoTypeAndLeavesTheTargetAlone)
{
    for (const char* xml : {"<FBNetwork><FB Name=\"A\" Type=\"T\"/></FBNetwork>", "<fbtype Name=\"lower\"/>",
                            "<?xml version=\"1.0\"?><!-- a comment --><AdapterType Name=\"A\"/>"}) {
        SCOPED_TRACE(xml);
        TFB_Type t;
        t.Name = "KEEP";
        t.AddEventInput("E", "", "");
        EXPECT_FALSE(ReadFBType(xml, t, nullptr, "x.fbt"));
        EXPECT_EQ(t.Name, "KEEP");
        EXPECT_EQ(t.EventInputs.size(), 1u);
        EXPECT_TRUE(t.Services.empty());
    }
}

TEST(TypeFileRead, RepeatedDeclarationsAndSectionsAreToldNamingFileAndName)
{
    const char* const xml = R"(<FBType Name="DUP">
  <InterfaceList>
    <EventInputs>
      <Event Name="REQ" Comment="first"><With Var="A"/></Event>
      <Event Name="REQ" Comment="second"><With Var="B"/></Event>
    </EventInputs>
    <EventOutputs><Event Name="CNF"/><Event Name="CNF"/></EventOutputs>
    <InputVars>
      <VarDeclaration Name="A" Type="INT"/><VarDeclaration Name="B" Type="INT"/>
      <VarDeclaration Name="A" Type="BOOL"/>
    </InputVars>
    <InputVars><VarDeclaration Name="C" Type="INT"/></InputVars>
    <OutputVars><VarDeclaration Name="Q" Type="INT"/><VarDeclaration Name="Q" Type="REAL"/></OutputVars>
  </InterfaceList>
  <InterfaceList><EventInputs><Event Name="X"/></EventInputs></InterfaceList>
</FBType>)";
    TRecordingUserInterface ui;
    TFB_Manager manager(TTypeLoadContext{&ui, {}, nullptr, {}});
    TFB_Type t;
    ASSERT_TRUE(ReadFBType(xml, t, &manager, "/lib/DUP.fbt"));
    const std::string where = "/lib/DUP.fbt: FB type DUP: ";
    EXPECT_THAT(ui.Messages(),
                ::testing::ElementsAre(
                    where + "the FBType holds InterfaceList more than once; only the first is read",
                    where + "the InterfaceList holds InputVars more than once; only the first is read",
                    where + "the data input A is declared more than once; only the first declaration is read",
                    where + "the data output Q is declared more than once; only the first declaration is read",
                    where + "the event input REQ is declared more than once; only the first declaration is read, "
                            "with the WITH entries of both",
                    where + "the event output CNF is declared more than once; only the first declaration is read, "
                            "with the WITH entries of both"));
    // What is kept is what was kept before the messages.
    ASSERT_EQ(t.DataInputs.size(), 2u);
    EXPECT_EQ(t.DataInputs[0]->Type, "INT");
    ASSERT_EQ(t.EventInputs.size(), 1u);
    EXPECT_EQ(t.EventInputs[0]->Comment, "first");
    EXPECT_EQ(t.EventInputs[0]->With.size(), 2u);
    EXPECT_EQ(t.DataOutputs.size(), 1u);
    EXPECT_EQ(t.EventOutputs.size(), 1u);

    // Without a manager there is nobody to tell; the type reads the same.
    TFB_Type quiet;
    ASSERT_TRUE(ReadFBType(xml, quiet, nullptr, "/lib/DUP.fbt"));
    EXPECT_EQ(DescribeType(quiet), DescribeType(t));
}

TEST(TypeFileRead, MalformedXmlNamesFileLineAndReason)
{
    struct Case {
        const char* Name;
        std::string Xml;
        std::string Line;
    };
    const Case cases[] = {
        {"mismatched end tag", "<?xml version=\"1.0\"?>\n<FBType Name=\"T\">\n  <InterfaceList>\n</FBType>\n",
         "line 4"},
        {"unclosed attribute", "<FBType\n\nName=\"T>\n", "line 3"},
        {"CR LF lines", "<FBType Name=\"T\">\r\n<A>\r\n<B></A>\r\n</FBType>", "line 3"},
        {"empty text", "", "line 1"},
        {"no element at all", "<?xml version=\"1.0\"?>\n<!-- nothing -->\n", "line"},
        {"text only", "just words", "line 1"},
        // A rewrite parses the declaration to keep it; reading checks it too.
        {"broken declaration", "<?xml version=\"1.0\" encod\x9f^ing=\"UTF-8\"?>\n<FBType Name=\"T\"/>", "line 1"},
        // A NUL byte ends the text: the end tag before it is incomplete, as
        // a rewrite of the file would find too.
        {"NUL inside the end tag", std::string("<FBType Name=\"T\">\n</FBType\0\0>", 29), "line 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TFB_Type t;
        t.Name = "KEEP";
        try {
            ReadFBType(c.Xml, t, nullptr, "lib/BAD.fbt");
            ADD_FAILURE() << "no error raised";
        } catch (const EXmlParseError& e) {
            std::string message = e.what();
            EXPECT_NE(message.find("lib/BAD.fbt"), std::string::npos) << message;
            EXPECT_NE(message.find(c.Line), std::string::npos) << message;
            EXPECT_GT(message.size(), message.find(c.Line) + c.Line.size() + 2) << "the parser's reason: " << message;
        }
        EXPECT_EQ(t.Name, "KEEP");
    }
}

TEST(TypeFileRead, DoctypeIsNeitherFetchedNorExpanded)
{
    // Real files name a DTD by address; entity declarations of an internal
    // subset are not expanded, so nested entities cannot blow up.
    auto t = ReadTypeText("<?xml version=\"1.0\"?>\n"
                          "<!DOCTYPE FBType SYSTEM \"/nonexistent/LibraryElement.dtd\" [\n"
                          "  <!ENTITY a \"aaaaaaaaaa\"> <!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
                          "  <!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>\n"
                          "<FBType Name=\"D\" Comment=\"&c;\"/>");
    EXPECT_EQ(t->Name, "D");
    EXPECT_EQ(t->Comment, "&c;");
}
