// Writing types to type files: new files, rewrites over a base file, and
// failures that must leave the previous file alone.

#include "model/fb_diagram.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "model/user_interface.h"
#include "persistence/type_file.h"
#include "persistence/type_file_fixture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

using namespace telvo;
using namespace telvo::test;

namespace {

// A base file as other tools write it, with content the model has no place
// for hung on the very elements a rewrite regenerates.
const char* const kBaseWithExtras = R"(<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<!DOCTYPE FBType SYSTEM "http://www.holobloc.com/xml/LibraryElement.dtd">
<FBType Comment="with extras" Name="EXTRAS">
  <Identification Classification="Testing" Function="keep" Standard="61499-2"/>
  <VersionInfo Author="A" Date="2020" Organization="O" Version="1.0"/>
  <VersionInfo Author="B" Date="2021" Organization="O" Remarks="refused by the model" Version="1.0"/>
  <VersionInfo Author="C" Date="2022" Organization="O" Version="2.0"/>
  <CompilerInfo packageName="pkg">
    <Compiler Language="Cpp" Product="p" Vendor="v" Version="1"/>
  </CompilerInfo>
  <!-- interface follows -->
  <InterfaceList>
    <EventInputs>
      <Event Comment="" Name="REQ" Type="Event">
        <With Var="IN"/>
        <With Var="OUT"/>
        <Attribute Name="Priority" Value="1"/>
      </Event>
    </EventInputs>
    <EventOutputs>
      <Event Name="CNF" Type="Event"><With Var="OUT"/></Event>
    </EventOutputs>
    <InputVars>
      <VarDeclaration ArraySize="10" Comment="" Name="IN" Type="INT">
        <Attribute Name="unit" Type="STRING" Value="mm"/>
      </VarDeclaration>
    </InputVars>
    <OutputVars>
      <VarDeclaration Name="OUT" Type="INT" Visible="false"/>
    </OutputVars>
    <InOutVars><VarDeclaration Name="IO" Type="INT"/></InOutVars>
    <Sockets><AdapterDeclaration Name="S" Type="A" x="1" y="2"/></Sockets>
  </InterfaceList>
  <BasicFB>
    <InternalVars><VarDeclaration ArraySize="4" Name="BUF" Type="INT"/></InternalVars>
    <InternalConstVars><VarDeclaration Name="K" Type="INT" InitialValue="3"/></InternalConstVars>
    <ECC>
      <ECState Name="START" x="11.7647" y="11.7647"/>
      <ECState Name="RUN" x="100" y="100">
        <ECAction Algorithm="A1" Output="CNF" Extra="kept"/>
      </ECState>
      <ECTransition Comment="first" Condition="REQ" Destination="RUN" Source="START" x="50" y="50"/>
      <ECTransition Comment="second" Condition="REQ" Destination="RUN" Source="START" x="60" y="60"/>
      <ECTransition Comment="back" Condition="1" Destination="START" Source="RUN" x="70" y="70"/>
    </ECC>
    <Algorithm Comment="cdata" Name="A1">
      <ST><![CDATA[OUT := IN;
]]></ST>
      <Attribute Name="doc" Value="keep me"/>
    </Algorithm>
    <Algorithm Name="A2" Comment="">
      <FBD><FB Name="F" Type="ADD" x="1" y="1"/></FBD>
    </Algorithm>
    <Method Name="M"><ST><![CDATA[;]]></ST></Method>
  </BasicFB>
  <Attribute Name="eclipse4diac::core::TypeHash" Value="abc"/>
</FBType>
)";

struct TWritten {
    std::string Text;
    std::unique_ptr<TFB_Type> Type; // the type read back
};

// Reads `baseXml` from a file, lets `change` alter the model, rewrites it
// over the base with the clear flag and reads the result back.
template <typename Change>
TWritten rewrite(const TempDir& dir, const std::string& baseXml, Change change)
{
    auto base = dir.Write("base.fbt", baseXml);
    auto type = ReadTypeText(baseXml);
    type->FileName = base.string();
    change(*type);
    auto out = dir / "out.fbt";
    EXPECT_TRUE(WriteFBType(out.string(), *type, type.get(), true, type->Network.get()));
    TWritten w;
    w.Text = ReadFileText(out);
    w.Type = ReadTypeText(w.Text, "out.fbt");
    return w;
}

TWritten rewrite(const TempDir& dir, const std::string& baseXml)
{
    return rewrite(dir, baseXml, [](TFB_Type&) {});
}

pugi::xml_document parse(const std::string& text)
{
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(text.c_str(), pugi::parse_full));
    return doc;
}

size_t count(const pugi::xml_document& doc, const char* xpath) { return doc.select_nodes(xpath).size(); }

std::vector<std::string> childNames(pugi::xml_node n)
{
    std::vector<std::string> names;
    for (pugi::xml_node c : n.children())
        if (c.type() == pugi::node_element)
            names.push_back(c.name());
    return names;
}

// A basic type made in code, as the type editor makes one.
std::unique_ptr<TFB_Type> editorType()
{
    auto t = std::make_unique<TFB_Type>();
    t->Name = "NEW";
    t->Comment = "made in the editor";
    t->Standard = "61499-2";
    t->AddVersion("O", "1.0", "me", "today", "");
    auto* in = t->AddDataInput("IN", "REAL", "", "1.5", "");
    auto* out = t->AddDataOutput("OUT", "REAL", "", "", "");
    t->AddEventInput("REQ", "Event", "")->AddWith(in);
    t->AddEventOutput("CNF", "Event", "")->AddWith(out);
    t->AddInternalVar("TMP", "REAL", "3", "", "0");
    auto* s = t->AddState("START", "");
    s->X = 10;
    s->Y = -4;
    t->AddState("CALC", "")->AddAction("CALC", "CNF");
    t->AddTransition("START", "CALC", "REQ");
    t->AddTransition("CALC", "START", "1");
    auto* a = t->AddAlgorithm("CALC", "");
    a->STText = {"OUT := IN * 2.0;", "", "TMP := OUT;"};
    return t;
}

} // namespace

TEST(TypeFileWrite, NewFileFollowsTheModelAndReadsBackTheSame)
{
    TempDir dir;
    auto t = editorType();
    auto path = dir / "NEW.fbt";
    ASSERT_TRUE(WriteFBType(path.string(), *t, nullptr, true, nullptr));
    std::string text = ReadFileText(path);

    // No declaration of the writer's own; the name comes first.
    EXPECT_EQ(text.rfind("<FBType Name=\"NEW\" Comment=\"made in the editor\">", 0), 0u) << text;
    auto doc = parse(text);
    pugi::xml_node root = doc.document_element();
    EXPECT_EQ(childNames(root), (std::vector<std::string>{"Identification", "VersionInfo", "CompilerInfo",
                                                          "InterfaceList", "BasicFB", "Service"}));
    EXPECT_EQ(childNames(root.child("InterfaceList")),
              (std::vector<std::string>{"EventInputs", "EventOutputs", "InputVars", "OutputVars"}));
    EXPECT_EQ(childNames(root.child("BasicFB")), (std::vector<std::string>{"InternalVars", "ECC", "Algorithm"}));
    EXPECT_STREQ(root.select_node("//InputVars/VarDeclaration").node().attribute("ArraySize").as_string("absent"),
                 "");
    EXPECT_STREQ(root.select_node("//InternalVars/VarDeclaration").node().attribute("ArraySize").value(), "3");
    EXPECT_STREQ(root.select_node("//ECState").node().attribute("x").value(), "70.5847");
    EXPECT_STREQ(root.select_node("//ECState").node().attribute("y").value(), "-11.7633");
    EXPECT_STREQ(root.select_node("//ST").node().attribute("Text").value(), "OUT := IN * 2.0;\n\nTMP := OUT;\n");

    auto back = ReadTypeText(text);
    t->AddService("", "", ""); // a type read from a file always has its service entry
    EXPECT_EQ(DescribeType(*back), DescribeType(*t));
}

TEST(TypeFileWrite, WithoutClearEmptyListsCreateNoElement)
{
    TempDir dir;
    TFB_Type t;
    t.Name = "SMALL";
    t.AddEventInput("REQ", "Event", "");
    auto path = dir / "SMALL.fbt";
    ASSERT_TRUE(WriteFBType(path.string(), t, nullptr, false, nullptr));
    auto doc = parse(ReadFileText(path));
    EXPECT_EQ(childNames(doc.document_element()),
              (std::vector<std::string>{"Identification", "CompilerInfo", "InterfaceList"}));
    EXPECT_EQ(childNames(doc.document_element().child("InterfaceList")), std::vector<std::string>{"EventInputs"});
}

TEST(TypeFileWrite, EachServicePrimitiveGetsItsOwnTransaction)
{
    TempDir dir;
    auto w = rewrite(dir, R"(<FBType Name="SIFB"><Service LeftInterface="APP" RightInterface="RES" Comment="">
      <ServiceSequence Name="normal">
        <ServiceTransaction>
          <InputPrimitive Interface="APP" Event="INIT" Parameters="QI"/>
          <OutputPrimitive Interface="RES" Event="start" Parameters="a"/>
          <OutputPrimitive Interface="APP" Event="INITO"/>
        </ServiceTransaction>
        <ServiceTransaction>
          <InputPrimitive Interface="" Event="ignored"/>
          <OutputPrimitive Interface="APP" Event="IND"/>
        </ServiceTransaction>
      </ServiceSequence></Service></FBType>)");
    auto doc = parse(w.Text);
    auto transactions = doc.select_nodes("//ServiceSequence/ServiceTransaction");
    ASSERT_EQ(transactions.size(), 4u);
    std::vector<std::string> shape;
    for (const auto& t : transactions) {
        std::string s;
        for (pugi::xml_node p : t.node().children())
            s += std::string(p.name()) + ":" + p.attribute("Event").value() + " ";
        shape.push_back(s);
    }
    EXPECT_EQ(shape, (std::vector<std::string>{"InputPrimitive:INIT ", "OutputPrimitive:start ",
                                               "OutputPrimitive:INITO ", "OutputPrimitive:IND "}));
    EXPECT_EQ(w.Type->Services[0]->Sequences[0]->Primitives.size(), 4u);
}

TEST(TypeFileWrite, OtherOnlyAlgorithmIsWrittenWithoutST)
{
    TempDir dir;
    auto w = rewrite(dir, R"(<FBType Name="SCRIPTED"><BasicFB><Algorithm Name="RUN" Comment="">
      <ST Text=""/><Other Language="DelphiScript" Text="begin&#10;  Q := 1;&#10;end;"/>
      </Algorithm></BasicFB></FBType>)");
    auto doc = parse(w.Text);
    pugi::xml_node algorithm = doc.select_node("//Algorithm").node();
    EXPECT_EQ(childNames(algorithm), std::vector<std::string>{"Other"});
    EXPECT_STREQ(algorithm.child("Other").attribute("Language").value(), "DelphiScript");
    EXPECT_EQ(w.Type->Algorithms[0]->OtherText, (std::vector<std::string>{"begin", "  Q := 1;", "end;"}));
}

TEST(TypeFileWrite, RewriteKeepsWhatTheModelDoesNotHold)
{
    TempDir dir;
    auto w = rewrite(dir, kBaseWithExtras);
    EXPECT_TRUE(RewriteKeepsEverything(dir / "base.fbt", dir / "out.fbt"));

    // The same, spelled out for the cases that matter most.
    EXPECT_EQ(w.Text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<!DOCTYPE FBType SYSTEM "
                           "\"http://www.holobloc.com/xml/LibraryElement.dtd\">\n<FBType Name=\"EXTRAS\" ",
                           0),
              0u)
        << w.Text;
    auto doc = parse(w.Text);
    EXPECT_STREQ(doc.select_node("//Identification").node().attribute("Classification").value(), "Testing");
    EXPECT_EQ(count(doc, "/FBType/VersionInfo[@Version='1.0']"), 2u) << "the refused duplicate stays";
    EXPECT_STREQ(doc.select_node("//InputVars/VarDeclaration").node().attribute("ArraySize").value(), "10");
    EXPECT_EQ(count(doc, "//InputVars/VarDeclaration/Attribute[@Value='mm']"), 1u);
    EXPECT_EQ(count(doc, "//EventInputs/Event/With"), 2u) << "OUT is no input: kept as the file had it";
    EXPECT_EQ(count(doc, "//EventInputs/Event/Attribute[@Name='Priority']"), 1u);
    EXPECT_EQ(count(doc, "//ECTransition[@Comment='first']"), 1u);
    EXPECT_EQ(count(doc, "//ECTransition[@Comment='second']"), 1u);
    EXPECT_EQ(count(doc, "//ECAction[@Extra='kept']"), 1u);
    EXPECT_EQ(count(doc, "//Algorithm[@Name='A2']/FBD/FB"), 1u);
    EXPECT_EQ(count(doc, "//Algorithm[@Name='A1']/Attribute"), 1u);
    EXPECT_EQ(count(doc, "//Sockets/AdapterDeclaration[@x='1']"), 1u);
    EXPECT_EQ(count(doc, "//Sockets/AdapterDeclaration"), 1u) << "adapters are not written twice";
    EXPECT_EQ(count(doc, "//InternalVars/VarDeclaration"), 1u);
    EXPECT_STREQ(doc.select_node("//InternalVars/VarDeclaration").node().attribute("ArraySize").value(), "4");
    EXPECT_EQ(count(doc, "/FBType/Service"), 1u);
}

TEST(TypeFileWrite, RegeneratedListsStandWhereTheOldOnesStood)
{
    TempDir dir;
    auto w = rewrite(dir, kBaseWithExtras);
    auto doc = parse(w.Text);
    EXPECT_EQ(childNames(doc.document_element()),
              (std::vector<std::string>{"Identification", "VersionInfo", "VersionInfo", "VersionInfo",
                                        "CompilerInfo", "InterfaceList", "BasicFB", "Attribute", "Service"}));
    EXPECT_EQ(childNames(doc.select_node("//BasicFB").node()),
              (std::vector<std::string>{"InternalVars", "InternalConstVars", "ECC", "Algorithm", "Algorithm",
                                        "Method"}));
    std::vector<std::string> authors;
    for (const auto& v : doc.select_nodes("/FBType/VersionInfo"))
        authors.push_back(v.node().attribute("Author").value());
    EXPECT_EQ(authors, (std::vector<std::string>{"A", "B", "C"}));
}

TEST(TypeFileWrite, ClearWritesWhatTheModelNowHolds)
{
    TempDir dir;
    auto w = rewrite(dir, kBaseWithExtras, [](TFB_Type& t) {
        t.Versions.erase(t.Versions.begin()); // version 1.0, and with it the refused duplicate
        t.DeleteDataInput("IN");
        t.FindState("RUN")->Name = "RUNNING";
        t.Transitions.erase(t.Transitions.begin());
        t.Algorithms[0]->STText = {"OUT := 0;"};
        t.AddPlug("P", "A", "");
    });
    auto doc = parse(w.Text);
    EXPECT_EQ(count(doc, "/FBType/VersionInfo"), 1u);
    EXPECT_EQ(count(doc, "//InputVars/VarDeclaration"), 0u);
    EXPECT_EQ(count(doc, "//Attribute[@Value='mm']"), 0u) << "extras go with their element";
    EXPECT_EQ(count(doc, "//EventInputs/Event/With"), 1u) << "only the WITH the model could not hold";
    EXPECT_EQ(count(doc, "//ECState[@Name='RUNNING']"), 1u);
    EXPECT_EQ(count(doc, "//ECState[@Name='RUN']"), 0u);
    // The remaining START->RUN transition takes the extras of the first
    // matching one in the file.
    EXPECT_EQ(count(doc, "//ECTransition"), 2u);
    EXPECT_EQ(count(doc, "//ECTransition[@Comment='first']"), 1u);
    EXPECT_EQ(w.Type->Algorithms[0]->STText, std::vector<std::string>{"OUT := 0;"});
    EXPECT_EQ(count(doc, "//Plugs/AdapterDeclaration[@Name='P']"), 1u);
}

TEST(TypeFileWrite, AlgorithmTextKeepsTheFormOfTheBaseFile)
{
    struct Case {
        const char* Name;
        const char* Body;
        const char* Expected; // how the body is written back
    };
    const Case cases[] = {
        {"attribute", R"(<ST Text="A := 1;&#10;"/>)", "<ST Text=\"A := 1;&#10;\" />"},
        {"CDATA", "<ST><![CDATA[A := 1;\n]]></ST>", "<ST><![CDATA[A := 1;\n]]></ST>"},
        {"CDATA sections", "<ST><![CDATA[S := ']]]]><![CDATA[>';]]></ST>",
         "<ST><![CDATA[S := ']]]]><![CDATA[>';\n]]></ST>"},
        {"element text", "<ST>IF A &lt; B THEN A := B; END_IF;</ST>",
         "<ST>IF A &lt; B THEN A := B; END_IF;\n</ST>"},
        {"attribute and element text: written once", R"(<ST Text="A := 1;"><![CDATA[ignored]]></ST>)",
         "<ST Text=\"A := 1;&#10;\" />"},
        {"Other as CDATA", "<Other Language=\"DelphiScript\"><![CDATA[x := 1;]]></Other>",
         "<Other Language=\"DelphiScript\"><![CDATA[x := 1;\n]]></Other>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        auto w = rewrite(dir, std::string("<FBType Name=\"T\"><BasicFB><Algorithm Name=\"A\" Comment=\"\">") + c.Body +
                                  "</Algorithm></BasicFB></FBType>");
        EXPECT_NE(w.Text.find(c.Expected), std::string::npos) << w.Text;
    }
}

TEST(TypeFileWrite, ArraySizesOfInterfaceVariablesSurvive)
{
    TempDir dir;
    auto w = rewrite(dir, R"(<FBType Name="ARR"><InterfaceList>
      <InputVars><VarDeclaration Name="A" Type="INT" ArraySize="10"/><VarDeclaration Name="B" Type="INT"/></InputVars>
      <OutputVars><VarDeclaration Name="C" Type="INT" ArraySize="2"/></OutputVars></InterfaceList>
      <BasicFB><InternalVars><VarDeclaration Name="D" Type="INT" ArraySize="5"/></InternalVars></BasicFB></FBType>)");
    auto doc = parse(w.Text);
    auto size = [&](const char* xpath) { return std::string(doc.select_node(xpath).node().attribute("ArraySize").value()); };
    EXPECT_EQ(size("//InputVars/VarDeclaration[@Name='A']"), "10");
    EXPECT_EQ(size("//InputVars/VarDeclaration[@Name='B']"), "");
    EXPECT_EQ(size("//OutputVars/VarDeclaration[@Name='C']"), "2");
    EXPECT_EQ(size("//InternalVars/VarDeclaration[@Name='D']"), "5");
    EXPECT_EQ(w.Type->DataInputs[0]->ArraySize, "");
    EXPECT_EQ(w.Type->InternalVars[0]->ArraySize, "5");
}

TEST(TypeFileWrite, BodyOfAnotherKindGetsNoEmptyECC)
{
    // A service interface, simple or composite type rewritten as it was
    // read must not gain a BasicFB: other tools would take it for a basic
    // type.
    const char* bodies[] = {
        "<Service LeftInterface=\"A\" RightInterface=\"B\"><ServiceSequence Name=\"s\"/></Service>",
        "<SimpleFB><Algorithm Name=\"REQ\"><ST><![CDATA[Q := 1;]]></ST></Algorithm></SimpleFB>",
        "<FBNetwork><FB Name=\"X\" Type=\"E_SR\" x=\"1\" y=\"2\"/><EventConnections>"
        "<Connection Source=\"REQ\" Destination=\"X.S\"/></EventConnections></FBNetwork>",
        "",
    };
    for (const char* body : bodies) {
        SCOPED_TRACE(body);
        TempDir dir;
        auto w = rewrite(dir, std::string("<FBType Name=\"K\"><InterfaceList><EventInputs><Event Name=\"REQ\"/>"
                                          "</EventInputs></InterfaceList>") +
                                  body + "</FBType>");
        EXPECT_EQ(w.Text.find("BasicFB"), std::string::npos) << w.Text;
        EXPECT_TRUE(RewriteKeepsEverything(dir / "base.fbt", dir / "out.fbt"));
    }
}

// Elements kept from a base file that nest far deeper than type files do,
// hung on an element the writer leaves as it stands or on one it
// regenerates: kept, in space in proportion to the file.
struct TDeepCase {
    const char* Name;
    const char* Before; // the type up to the deep element
    const char* After;
};

void PrintTo(const TDeepCase& c, std::ostream* os) { *os << c.Name; }

class TypeFileWriteDeep : public ::testing::TestWithParam<TDeepCase> {};

TEST_P(TypeFileWriteDeep, KeptElementsCostSpaceInProportionToTheirSize)
{
    constexpr int kDepth = 2000;
    std::string base = GetParam().Before;
    for (int i = 0; i < kDepth; ++i)
        base += "<x:deep level=\"" + std::to_string(i) + "\">";
    base += "text";
    for (int i = 0; i < kDepth; ++i)
        base += "</x:deep>";
    base += GetParam().After;

    TempDir dir;
    auto w = rewrite(dir, base);
    EXPECT_LT(w.Text.size(), 2 * base.size());
    EXPECT_TRUE(RewriteKeepsEverything(dir / "base.fbt", dir / "out.fbt"));
}

INSTANTIATE_TEST_SUITE_P(
    Placements, TypeFileWriteDeep,
    ::testing::Values(
        TDeepCase{"UnderTheRoot", "<FBType Name=\"D\"><InterfaceList/>", "</FBType>"},
        TDeepCase{"InAnInputDeclaration",
                  "<FBType Name=\"D\"><InterfaceList><InputVars><VarDeclaration Name=\"I\" Type=\"INT\">",
                  "</VarDeclaration></InputVars></InterfaceList></FBType>"},
        TDeepCase{"InAState", "<FBType Name=\"D\"><InterfaceList/><BasicFB><ECC><ECState Name=\"START\">",
                  "</ECState></ECC></BasicFB></FBType>"},
        TDeepCase{"InAnAlgorithm",
                  "<FBType Name=\"D\"><InterfaceList/><BasicFB><ECC><ECState Name=\"START\"/></ECC>"
                  "<Algorithm Name=\"A\"><ST Text=\"X := 1;\"/>",
                  "</Algorithm></BasicFB></FBType>"}),
    [](const ::testing::TestParamInfo<TDeepCase>& info) { return std::string(info.param.Name); });

TEST(TypeFileWrite, Latin1BaseStaysLatin1)
{
    TempDir dir;
    std::string base = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<FBType Name=\"L\" Comment=\"Gr\xF6\xDF" "e\"/>";
    auto w = rewrite(dir, base);
    EXPECT_EQ(w.Type->Comment, "Gr\xC3\xB6\xC3\x9F" "e");
    EXPECT_NE(w.Text.find("Comment=\"Gr\xF6\xDF" "e\""), std::string::npos);
    EXPECT_EQ(w.Text.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 0), 0u);
}

TEST(TypeFileWrite, CompositeTypeWithoutNetworkIsNotSaved)
{
    TempDir dir;
    auto path = dir.Write("C.fbt", "previous content");
    TFB_Type t;
    t.Name = "C";
    t.Composite = true;
    TRecordingUserInterface ui;
    EXPECT_FALSE(WriteFBType(path.string(), t, nullptr, true, nullptr, &ui));
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Internal Error: GeneralUnit::TFB_Type.SaveFbTypeToXML"});
    EXPECT_EQ(ReadFileText(path), "previous content");
}

TEST(TypeFileWrite, FailedSaveLeavesThePreviousFile)
{
    TempDir dir;
    auto t = editorType();

    // A base file that no longer parses.
    auto target = dir.Write("T.fbt", "previous content");
    t->FileName = dir.Write("broken.fbt", "<FBType Name=\"T\">\n<Oops>\n</FBType>").string();
    EXPECT_THROW(WriteFBType(target.string(), *t, t.get(), true, nullptr), EXmlParseError);
    EXPECT_EQ(ReadFileText(target), "previous content");

    // A base file that is gone.
    t->FileName = (dir / "gone.fbt").string();
    EXPECT_THROW(WriteFBType(target.string(), *t, t.get(), true, nullptr), std::runtime_error);
    EXPECT_EQ(ReadFileText(target), "previous content");

    // The save itself fails: the target's name leaves no room for the
    // temporary file beside it.
    auto longTarget = dir.Write(std::string(250, 'x'), "previous content");
    EXPECT_THROW(WriteFBType(longTarget.string(), *t, nullptr, true, nullptr), std::runtime_error);
    EXPECT_EQ(ReadFileText(longTarget), "previous content");

    // A folder that does not exist.
    EXPECT_THROW(WriteFBType((dir / "no" / "such" / "T.fbt").string(), *t, nullptr, true, nullptr),
                 std::runtime_error);

    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 3u) << "no temporary file is left behind";
}

TEST(TypeFileWrite, NewSimpleTypeKeepsItsAlgorithmsInSimpleFB)
{
    // A simple type made in the workbench is written as one: its variables
    // and algorithms in SimpleFB, no chart, and it reads back as simple.
    TFB_Type t;
    t.Name = "S";
    t.Simple = true;
    t.AddEventInput("REQ", "Event", "");
    t.AddInternalVar("M", "BOOL", "", "", "");
    t.AddAlgorithm("REQ", "")->STText = {"M := NOT M;"};
    TempDir dir;
    const auto out = dir / "s.fbt";
    ASSERT_TRUE(WriteFBType(out.string(), t, nullptr, true, nullptr));
    const std::string text = ReadFile(out);
    EXPECT_EQ(text.find("BasicFB"), std::string::npos) << text;
    EXPECT_NE(text.find("<SimpleFB>"), std::string::npos) << text;
    TFB_Type back;
    ASSERT_TRUE(ReadFBType(text, back, nullptr));
    EXPECT_TRUE(back.Simple);
    ASSERT_EQ(back.Algorithms.size(), 1u);
    EXPECT_EQ(back.Algorithms[0]->STText, std::vector<std::string>{"M := NOT M;"});
    ASSERT_EQ(back.InternalVars.size(), 1u);
    EXPECT_EQ(back.InternalVars[0]->Name, "M");
}
