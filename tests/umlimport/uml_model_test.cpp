// Reading Umbrello's XMI files: the corpus of models Umbrello saved itself,
// the workbench's own fixture, and files that are not what they claim.

#include "support/test_support.h"
#include "support/xmi_text.h"
#include "umlimport/uml_model.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace telvo::uml {
namespace {

using telvo::test::TempDir;

std::filesystem::path fixture(const std::string& name) { return telvo::test::TestDataDir() / "uml" / name; }

// Every model Umbrello saved reads; what the import cannot use is listed,
// never fatal. The listing goes to the test log so that it can be reviewed.
TEST(UmlModelCorpus, EveryUmbrelloModelReads)
{
    TELVO_REQUIRE_CORPUS();
    const auto files = telvo::test::FilesWithExtension(telvo::test::CorpusDir() / "umbrello", ".xmi");
    ASSERT_EQ(files.size(), 21u);
    size_t sequences = 0, objects = 0, messages = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        TUmlModel model;
        ASSERT_NO_THROW(model = ReadUmlModelFile(file));
        EXPECT_NE(model.Exporter.find("umbrello"), std::string::npos);
        for (const auto& d : model.SequenceDiagrams) {
            ++sequences;
            objects += d.Objects.size();
            messages += d.Messages.size();
            for (const auto& m : d.Messages) {
                EXPECT_GE(m.Sender, 0);
                EXPECT_LT(size_t(m.Receiver), d.Objects.size());
            }
        }
        for (const auto& p : model.Problems)
            std::cout << "[" << file.filename().string() << "] " << p << '\n';
    }
    // The corpus shows three sequence diagrams, 14 objects and 19 messages.
    EXPECT_EQ(sequences, 3u);
    EXPECT_EQ(objects, 14u);
    EXPECT_EQ(messages, 19u);
}

TEST(UmlModelCorpus, SequenceDiagramWithOperationsNamesMessagesBySignature)
{
    TELVO_REQUIRE_CORPUS();
    const TUmlModel model = ReadUmlModelFile(telvo::test::CorpusDir() / "umbrello" / "doc-screenshots.xmi");
    ASSERT_EQ(model.SequenceDiagrams.size(), 1u);
    const TUmlDiagram& d = model.SequenceDiagrams[0];
    EXPECT_EQ(d.Name, "Sequence Diagram");
    std::vector<std::string> names;
    for (const auto& m : d.Messages)
        names.push_back(m.Name);
    // Top to bottom; messages bound to an operation show its parameters.
    EXPECT_EQ(names, (std::vector<std::string>{"receive()", "return", "LoadWorker(job : Transaction)", "work()"}));
    EXPECT_EQ(d.Objects[size_t(d.Messages[2].Receiver)].ClassName, "WorkerManager");
}

TEST(UmlModel, FixtureReadsAsDrawn)
{
    const TUmlModel model = ReadUmlModelFile(fixture("filling.xmi"));
    EXPECT_TRUE(model.Problems.empty());
    ASSERT_EQ(model.Classes.size(), 3u);
    const TUmlClass* controller = model.FindClass("Controller");
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(controller->Stereotype, "FunctionBlock");
    ASSERT_EQ(controller->Attributes.size(), 2u);
    EXPECT_EQ(controller->Attributes[0].Type, "INT");
    EXPECT_EQ(controller->Attributes[0].InitialValue, "0");
    EXPECT_EQ(controller->Attributes[0].Containment, 1);
    EXPECT_EQ(controller->Attributes[1].ExportControl, 2);
    ASSERT_EQ(controller->Operations.size(), 1u);
    ASSERT_EQ(controller->Operations[0].Parameters.size(), 1u);
    EXPECT_EQ(controller->Operations[0].Parameters[0].InitialValue, "5");
    EXPECT_EQ(model.FindClass("Tank")->Stereotype, "IndustrialProcessTerminator");

    ASSERT_EQ(model.SequenceDiagrams.size(), 1u);
    const TUmlDiagram& d = model.SequenceDiagrams[0];
    ASSERT_EQ(d.Objects.size(), 4u);
    EXPECT_EQ(d.Objects[3].Name, "");
    EXPECT_EQ(d.Objects[3].ClassName, "Pump");
    std::vector<std::string> names;
    for (const auto& m : d.Messages)
        names.push_back(m.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"start(speed : INT)", "run(rate : INT)", "run(rate : INT)",
                                               "setValve(open : BOOL)", "stop()"}));
    ASSERT_EQ(model.ClassDiagrams.size(), 1u);
    EXPECT_EQ(model.ClassDiagrams[0].Classes.size(), 3u);
    EXPECT_EQ(model.UseCaseDiagrams, std::vector<std::string>{"Main"});
    EXPECT_EQ(model.Actors, std::vector<std::string>{"Operator"});
    EXPECT_EQ(model.UseCases, std::vector<std::string>{"Fill the tank"});
}

struct TBadCase {
    const char* Name;
    const char* Text;
    const char* Expected; // part of the error message
};

class UmlModelRefuses : public ::testing::TestWithParam<TBadCase> {};

TEST_P(UmlModelRefuses, FilesThatAreNoXmi)
{
    try {
        ReadUmlModel(GetParam().Text, "model.xmi");
        FAIL() << "read without error";
    } catch (const EXmiError& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().Expected), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("model.xmi"), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UmlModelRefuses,
    ::testing::Values(TBadCase{"Empty", "", "Malformed XML"},
                      TBadCase{"Truncated", "<XMI xmi.version=\"1.2\">\n<XMI.content>\n<UML:Model", "line 3"},
                      TBadCase{"TypeFile", "<?xml version=\"1.0\"?><FBType Name=\"X\"/>", "root element is FBType"},
                      TBadCase{"PlainText", "Just some text", "Malformed XML"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(UmlModel, MissingFileIsAnXmiError)
{
    TempDir dir;
    EXPECT_THROW(ReadUmlModelFile(dir / "none.xmi"), EXmiError);
}

// What the model holds that cannot be used is named, and the rest is read.
TEST(UmlModel, BadContentIsReportedAndTheRestRead)
{
    const std::string text = R"(<?xml version="1.0" encoding="UTF-8"?>
<XMI xmi.version="1.2" xmlns:UML="http://schema.omg.org/spec/UML/1.4">
 <XMI.header><XMI.documentation><XMI.exporter>umbrello uml modeller</XMI.exporter></XMI.documentation></XMI.header>
 <XMI.content>
  <UML:Model xmi.id="m1" name="M">
   <UML:Namespace.ownedElement>
    <UML:Model xmi.id="Logical View" name="Logical View">
     <UML:Namespace.ownedElement>
      <UML:Class xmi.id="a" name="A" stereotype="FunctionBlock">
       <UML:Classifier.feature>
        <UML:Operation xmi.id="op" name="go">
         <UML:BehavioralFeature.parameter>
          <UML:Parameter xmi.id="p1" name="untyped"/>
          <UML:Parameter xmi.id="p2" name="typed" type="INT"/>
         </UML:BehavioralFeature.parameter>
        </UML:Operation>
       </UML:Classifier.feature>
      </UML:Class>
      <UML:Class xmi.id="a2" name="A"/>
      <UML:Class xmi.id="b" name="B"/>
      <UML:Class xmi.id="c" name="C"/>
      <UML:Generalization xmi.id="g1" child="b" parent="c"/>
      <UML:Generalization xmi.id="g2" child="c" parent="b"/>
      <UML:Generalization xmi.id="g3" child="a" parent="a"/>
      <UML:Actor xmi.id="act" name="Nobody"/>
     </UML:Namespace.ownedElement>
     <XMI.extension xmi.extender="umbrello"><diagrams>
      <diagram xmi.id="d" name="seq" type="3">
       <widgets>
        <objectwidget localid="w1" xmi.id="a" instancename="x"/>
        <objectwidget localid="w2" xmi.id="act" instancename="y"/>
       </widgets>
       <messages>
        <messagewidget widgetaid="w1" widgetbid="w2" operation="op" y="20"/>
        <messagewidget widgetaid="w1" widgetbid="nowhere" operation="lost" y="10"/>
       </messages>
      </diagram>
      <diagram xmi.id="k" name="collab" type="4"/>
     </diagrams></XMI.extension>
    </UML:Model>
   </UML:Namespace.ownedElement>
  </UML:Model>
 </XMI.content>
</XMI>)";
    const TUmlModel model = ReadUmlModel(text, "bad.xmi");
    const std::vector<std::string> expected{
        "The parameter untyped of the operation A.go has no type: it is not used",
        "Two classes are named A: the second (a2) is not used",
        "The generalisation of A from A closes a cycle: it is not followed",
        "The generalisation of C from B closes a cycle: it is not followed",
        "The message lost on seq does not join two objects of the diagram: it is not used",
        "The collaboration diagram collab is not read: interactions are read from sequence diagrams",
    };
    EXPECT_EQ(model.Problems, expected);
    ASSERT_EQ(model.Classes.size(), 3u);
    ASSERT_EQ(model.Classes[0].Operations[0].Parameters.size(), 1u);
    EXPECT_EQ(model.Classes[0].Operations[0].Parameters[0].Name, "typed");
    // The walks over inherited features end.
    EXPECT_EQ(model.AllOperations(*model.FindClass("B")).size(), 0u);
    ASSERT_EQ(model.SequenceDiagrams.size(), 1u);
    const TUmlDiagram& d = model.SequenceDiagrams[0];
    EXPECT_EQ(d.Objects[1].Class, -1);
    EXPECT_EQ(d.Objects[1].ClassName, "Nobody");
    ASSERT_EQ(d.Messages.size(), 1u);
    EXPECT_EQ(d.Messages[0].Name, "go(untyped, typed : INT)");
}

TEST(UmlModel, XmiFromAnotherToolIsNamed)
{
    const std::string text = R"(<XMI xmi.version="1.2"><XMI.header><XMI.documentation>
<XMI.exporter>Other Modeller</XMI.exporter></XMI.documentation></XMI.header>
<XMI.content><UML:Model xmlns:UML="u" xmi.id="m" name="M"><UML:Namespace.ownedElement>
<UML:Class xmi.id="c" name="Plain"/></UML:Namespace.ownedElement></UML:Model></XMI.content></XMI>)";
    const TUmlModel model = ReadUmlModel(text, "other.xmi");
    ASSERT_EQ(model.Problems.size(), 1u);
    EXPECT_EQ(model.Problems[0], "The model was not saved by Umbrello (exporter Other Modeller): it has no diagrams that can be read");
    ASSERT_EQ(model.Classes.size(), 1u);
}

// Inherited operations count for a class: a message can call one.
TEST(UmlModel, InheritedOperationsAreFound)
{
    const std::string text = R"(<XMI xmi.version="1.2"><XMI.content><UML:Model xmlns:UML="u" xmi.id="m" name="M">
<UML:Namespace.ownedElement><UML:Model xmi.id="Logical View" name="Logical View"><UML:Namespace.ownedElement>
<UML:Class xmi.id="base" name="Base"><UML:Classifier.feature><UML:Operation xmi.id="o1" name="reset"/>
<UML:Operation xmi.id="o2" name="go"/></UML:Classifier.feature></UML:Class>
<UML:Class xmi.id="derived" name="Derived"><UML:Classifier.feature><UML:Operation xmi.id="o3" name="go"/>
</UML:Classifier.feature></UML:Class>
<UML:Generalization xmi.id="g" child="derived" parent="base"/>
</UML:Namespace.ownedElement></UML:Model></UML:Namespace.ownedElement></UML:Model></XMI.content></XMI>)";
    const TUmlModel model = ReadUmlModel(text, "m.xmi");
    const TUmlClass& derived = *model.FindClass("Derived");
    const auto ops = model.AllOperations(derived);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0]->Id, "o3");
    EXPECT_EQ(ops[1]->Name, "reset");
    EXPECT_EQ(model.FindOperation(derived, "reset")->Id, "o1");
}

// A chain of generalisations longer than any stack would take walked by
// recursion, read from its bottom class. Every 101st generalisation from the
// top would put a class more than 100 below the top of its chain: it is not
// followed, and named.
TEST(UmlModelDeep, LongGeneralisationChainsAreCutEvery101Classes)
{
    constexpr int Chains = 2000, Links = 101, Classes = Chains * Links;
    telvo::test::TXmiText xmi;
    for (int i = 0; i < Classes; ++i)
        xmi.Class("c" + std::to_string(i), "C" + std::to_string(i), "FunctionBlock", {"op" + std::to_string(i)});
    // C0 specialises C1, which specialises C2, and so on.
    for (int i = 0; i + 1 < Classes; ++i)
        xmi.Generalization("c" + std::to_string(i), "c" + std::to_string(i + 1));
    const TUmlModel model = ReadUmlModel(xmi.Text(), "chain.xmi");
    ASSERT_EQ(model.Classes.size(), size_t(Classes));
    ASSERT_EQ(model.Problems.size(), size_t(Chains - 1));
    const int cut = Classes - 1 - Links; // the first class counted from the top that is cut off
    EXPECT_EQ(model.Problems.front(), "The generalisation of C" + std::to_string(cut) + " from C" +
                                          std::to_string(cut + 1) +
                                          " makes a chain of more than 100 generalisations: it is not followed");
    EXPECT_EQ(model.Problems.back(),
              "The generalisation of C100 from C101 makes a chain of more than 100 generalisations: it is not followed");

    // The bottom class inherits from the 100 classes above it, no further.
    const TUmlClass& bottom = model.Classes[0];
    const auto operations = model.AllOperations(bottom);
    ASSERT_EQ(operations.size(), 101u);
    EXPECT_EQ(operations.front()->Name, "op0");
    EXPECT_EQ(operations.back()->Name, "op100");
    EXPECT_EQ(model.FindOperation(bottom, "op100"), operations.back());
    EXPECT_EQ(model.FindOperation(bottom, "op101"), nullptr);
    EXPECT_TRUE(model.AllAttributes(bottom).empty());
}

// Packages inside packages, 40,000 deep: the class at the bottom is read,
// the sequence diagram there is named as lying too deep, the one in the
// first package is read with its category. (How long it takes is measured
// in bench_uml_import.)
TEST(UmlModelDeep, PackagesInsidePackages)
{
    constexpr int Depth = 40000;
    std::string nested;
    for (int i = 0; i < Depth; ++i) {
        nested += "<UML:Package xmi.id=\"p" + std::to_string(i) + "\" name=\"P" + std::to_string(i) +
                  "\"><UML:Namespace.ownedElement>";
        if (i == 0)
            nested += R"(<UML:Class xmi.id="top" name="Top" stereotype="FunctionBlock"/>)";
    }
    nested += R"(<UML:Class xmi.id="bottom" name="Bottom" stereotype="FunctionBlock"/></UML:Namespace.ownedElement>)"
              R"(<XMI.extension><diagrams><diagram xmi.id="dd" name="deep" type="3"><widgets>)"
              R"(<objectwidget localid="w" xmi.id="bottom" instancename="b"/></widgets></diagram></diagrams>)"
              R"(</XMI.extension></UML:Package>)";
    for (int i = Depth - 1; i > 0; --i)
        nested += i == 1 ? "</UML:Namespace.ownedElement>"
                           R"(<XMI.extension><diagrams><diagram xmi.id="d0" name="first" type="3"><widgets>)"
                           R"(<objectwidget localid="w" xmi.id="top" instancename="t"/></widgets></diagram>)"
                           "</diagrams></XMI.extension></UML:Package>"
                         : "</UML:Namespace.ownedElement></UML:Package>";
    const TUmlModel model = ReadUmlModel(telvo::test::TXmiText().Element(nested).Text(), "deep.xmi");
    ASSERT_EQ(model.Classes.size(), 2u);
    EXPECT_EQ(model.Classes[1].Name, "Bottom");
    EXPECT_EQ(model.Problems, std::vector<std::string>{
                                  "The sequence diagram deep lies deeper than one package inside the Logical View: it is not read"});
    ASSERT_EQ(model.SequenceDiagrams.size(), 1u);
    EXPECT_EQ(model.SequenceDiagrams[0].Name, "first");
    EXPECT_EQ(model.SequenceDiagrams[0].Category, "P0");
    ASSERT_EQ(model.SequenceDiagrams[0].Objects.size(), 1u);
    EXPECT_EQ(model.SequenceDiagrams[0].Objects[0].ClassName, "Top");
}

} // namespace
} // namespace telvo::uml
