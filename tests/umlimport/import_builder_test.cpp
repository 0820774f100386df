// Building the ticked tree into the project: FB types in library/imported,
// instance records, the IPT with its IPPs, connection records and one
// diagram per interaction diagram; all or nothing.

#include "../project/project_fixture.h"
#include "model/file_staging.h"
#include "support/xmi_text.h"
#include "model/fb_instance.h"
#include "systemlayer/sl_ipp_picture.h"
#include "umlimport/import_builder.h"
#include "umlimport/transformation.h"

#include <gtest/gtest.h>

namespace telvo::uml {
namespace {

namespace fs = std::filesystem;

// The project described, leaving out the comments drawn instances take
// from their types: the network files do not keep them.
std::vector<std::string> DescribeProject(const TWorkbench& w)
{
    auto lines = telvo::test::DescribeProject(w);
    for (auto& l : lines)
        if (l.rfind("  fb ", 0) == 0)
            l = l.substr(0, l.find(" comment="));
    return lines;
}

class UmlImportTest : public telvo::test::ProjectTest {
protected:
    void Parse() { T.Parse(ReadUmlModelFile(telvo::test::TestDataDir() / "uml" / "filling.xmi")); }
    void OpenEmptyProject() { OpenText(R"(<telvo_project Name="Demo" Comment="|Empty"/>)", "demo.crf"); }
    fs::path Imported(const std::string& type) const { return Home / "library" / "imported" / (type + ".fbt"); }

    std::vector<std::string> EventConns() const
    {
        std::vector<std::string> out;
        for (const auto& c : M().EventConns)
            out.push_back(c->SourceInstance->Name + "." + c->SourcePort->Name() + "->" + c->DestInstance->Name + "." +
                          c->DestPort->Name());
        for (const auto& c : M().DataConns)
            out.push_back(c->SourceInstance->Name + "." + c->SourcePort->Name() + "->" + c->DestInstance->Name + "." +
                          c->DestPort->Name());
        for (const auto& c : M().IPPFBConns)
            out.push_back(c->Instance->Name + "." + (c->EventPort ? c->EventPort->Name() : c->DataPort->Name()) +
                          "<->" + c->IPP->Owner->Name + "." + c->IPP->Name);
        return out;
    }

    TTransformation T{UI};
};

std::vector<std::string> names(const auto& list)
{
    std::vector<std::string> out;
    for (const auto& item : list)
        out.push_back(item->Name);
    return out;
}

TEST_F(UmlImportTest, EverythingTickedBuildsTypesIptInstancesConnectionsAndTheDiagram)
{
    OpenEmptyProject();
    Parse();
    T.TickAll();
    TUmlImportBuilder builder(W());
    ASSERT_TRUE(builder.Build(T)) << ::testing::PrintToString(UI.Messages());
    // Staged, not yet in the library.
    EXPECT_FALSE(fs::exists(Imported("Controller")));
    ASSERT_TRUE(builder.Commit()) << ::testing::PrintToString(UI.Messages());
    EXPECT_TRUE(UI.Messages().empty()) << ::testing::PrintToString(UI.Messages());

    const TFB_Type* controller = M().FindType("Controller");
    ASSERT_NE(controller, nullptr);
    EXPECT_TRUE(fs::exists(Imported("Controller")));
    EXPECT_EQ(fs::path(controller->FileName), Imported("Controller"));
    EXPECT_EQ(controller->Comment.rfind("!IMP! Imported class: [Controller] from ROSE at ", 0), 0u);
    EXPECT_EQ(names(controller->EventInputs), (std::vector<std::string>{"start"}));
    EXPECT_EQ(names(controller->EventOutputs), (std::vector<std::string>{"run1", "run2", "stop1"}));
    EXPECT_EQ(names(controller->DataInputs), (std::vector<std::string>{"speed"}));
    EXPECT_EQ(names(controller->DataOutputs), (std::vector<std::string>{"rate", "count"}));
    EXPECT_EQ(names(controller->InternalVars), (std::vector<std::string>{"limit"}));
    EXPECT_EQ(controller->DataInputs[0]->Type, "INT");
    EXPECT_EQ(controller->DataInputs[0]->InitialValue, "5");
    EXPECT_EQ(controller->DataInputs[0]->Comment, "Imported data speed:INT=5");
    EXPECT_EQ(controller->EventInputs[0]->Comment, "Imported event");
    ASSERT_EQ(controller->EventInputs[0]->With.size(), 1u);
    EXPECT_EQ(controller->EventInputs[0]->With[0]->Name, "speed");
    ASSERT_EQ(controller->EventOutputs[1]->With.size(), 1u);
    EXPECT_EQ(controller->EventOutputs[1]->With[0]->Name, "rate");
    EXPECT_TRUE(controller->EventOutputs[2]->With.empty());
    const TFB_Type* pump = M().FindType("Pump");
    ASSERT_NE(pump, nullptr);
    EXPECT_EQ(names(pump->EventInputs), (std::vector<std::string>{"run", "stop"}));
    EXPECT_EQ(names(pump->DataInputs), (std::vector<std::string>{"rate", "mode"}));
    EXPECT_EQ(names(pump->DataOutputs), (std::vector<std::string>{"open"}));
    EXPECT_EQ(W().LibraryIndex.FolderListing("Pump")->Name, "imported");

    EXPECT_EQ(names(M().Instances), (std::vector<std::string>{"ctl", "pump", "fbPump"}));
    auto* tank = dynamic_cast<TslIPT*>(Layer().FindByName("tank"));
    ASSERT_NE(tank, nullptr);
    EXPECT_EQ(tank->Left, 50);
    std::vector<std::string> ipps;
    for (const auto& ipp : tank->IPPList)
        ipps.push_back(ipp->Name + (ipp->IsActuator() ? " actuator" : " sensor") + (ipp->IsEventIPP ? " event" : " data"));
    EXPECT_EQ(ipps, (std::vector<std::string>{"start sensor event", "getLevel sensor event", "setValve actuator event",
                                              "speed sensor data", "open actuator data"}));

    EXPECT_EQ(EventConns(), (std::vector<std::string>{
                                "ctl.run1->pump.run", "ctl.run2->fbPump.run", "ctl.stop1->pump.stop",
                                "ctl.rate->pump.rate", "ctl.rate->fbPump.rate", "pump.setValve3<->tank.setValve",
                                "ctl.start<->tank.start", "pump.open<->tank.open", "ctl.speed<->tank.speed"}));

    ASSERT_EQ(builder.Diagrams.size(), 1u);
    const TFB_Diagram* d = builder.Diagrams[0];
    EXPECT_EQ(d->Name, "filling");
    EXPECT_EQ(fs::path(d->FileName), Work / "filling.fbn");
    std::vector<std::string> placed;
    for (const auto& i : d->DrawnInstances)
        placed.push_back(i->Ref->Name + "@" + std::to_string(i->BaseX) + "," + std::to_string(i->BaseY));
    EXPECT_EQ(placed, (std::vector<std::string>{"ctl@100,10", "pump@100,260", "fbPump@300,260"}));
    std::vector<std::string> pictures;
    for (const auto& p : d->IPPPictures)
        pictures.push_back(p->Ipp->Name + "@" + std::to_string(p->BaseX) + "," + std::to_string(p->BaseY));
    EXPECT_EQ(pictures, (std::vector<std::string>{"start@10,10", "speed@10,50", "setValve@824,90", "open@824,130"}));
    EXPECT_EQ(d->EventLines.size(), 3u);
    EXPECT_EQ(d->DataLines.size(), 2u);
    EXPECT_EQ(d->IPPFBLines.size(), 4u);

    // The project keeps all of it over a save and a fresh start.
    const auto before = DescribeProject(W());
    SaveProject(W());
    Restart();
    OpenProject(W(), (Work / "demo.crf").string());
    EXPECT_EQ(DescribeProject(W()), before);
}

// As parsed, only the diagrams and connections are ticked: no class is
// built, so the diagram comes without instances and its IPPs are missing.
TEST_F(UmlImportTest, UntickedClassesBuildNothing)
{
    OpenEmptyProject();
    Parse();
    // Only Controller, and of it not its internal variables.
    T.SetTick(T.Root("Controller"), true);
    T.SetTick(T.Root("Controller")->Child("InternalVars"), false);
    TUmlImportBuilder builder(W());
    ASSERT_TRUE(builder.Build(T));
    EXPECT_EQ(M().FindType("Pump"), nullptr);
    ASSERT_NE(M().FindType("Controller"), nullptr);
    EXPECT_TRUE(M().FindType("Controller")->InternalVars.empty());
    EXPECT_EQ(names(M().Instances), std::vector<std::string>{"ctl"});
    EXPECT_TRUE(EventConns().empty());
    EXPECT_EQ(UI.Messages(), (std::vector<std::string>{"Error 101: Cannot create FB instance pump from type Pump",
                                                       "Error 101: Cannot create FB instance fbPump from type Pump",
                                                       "E20040911:An error occured on getIppByName(start)",
                                                       "E20040911:An error occured on getIppByName(speed)",
                                                       "E20040911:An error occured on getIppByName(setValve)",
                                                       "E20040911:An error occured on getIppByName(open)"}));
    ASSERT_EQ(builder.Diagrams.size(), 1u);
    EXPECT_EQ(builder.Diagrams[0]->DrawnInstances.size(), 1u);
}

TEST_F(UmlImportTest, ImportingAgainDoublesNothing)
{
    OpenEmptyProject();
    Parse();
    T.TickAll();
    TUmlImportBuilder builder(W());
    ASSERT_TRUE(builder.Build(T));
    ASSERT_TRUE(builder.Commit());
    const auto connections = EventConns();
    Parse();
    T.TickAll();
    ASSERT_TRUE(builder.Build(T));
    ASSERT_TRUE(builder.Commit());
    EXPECT_EQ(EventConns(), connections);
    EXPECT_EQ(names(M().Instances).size(), 3u);
    EXPECT_EQ(Layer().Objects.size(), 1u);
    EXPECT_EQ(dynamic_cast<TslIPT*>(Layer().Objects[0].get())->IPPList.size(), 5u);
    EXPECT_EQ(names(M().Diagrams), (std::vector<std::string>{"filling", "filling_2"}));
    // The records moved over to the types written again.
    EXPECT_EQ(M().FindInstance("ctl")->Type, M().FindType("Controller"));
}

// A type file that cannot be written half-way through: the types written
// before it, the records, the IPT and the diagram all go again, and an
// older file of an imported type comes back.
TEST_F(UmlImportTest, FailureHalfWayLeavesTheProjectAsItWas)
{
    BuildRichProject();
    Home.Write("library/imported/Controller.fbt", "an older import\n");
    fs::create_directories(Imported("Pump")); // a folder where the file goes
    const auto before = DescribeProject(W());
    const size_t types = M().Types.size();
    const size_t folders = W().LibraryIndex.Folders.size();

    Parse();
    T.TickAll();
    TUmlImportBuilder builder(W());
    EXPECT_FALSE(builder.Build(T));
    EXPECT_EQ(DescribeProject(W()), before);
    EXPECT_EQ(M().Types.size(), types);
    EXPECT_EQ(M().FindType("Controller"), nullptr);
    EXPECT_EQ(W().LibraryIndex.Folders.size(), folders);
    EXPECT_EQ(W().LibraryIndex.FolderListing("Controller"), nullptr);
    EXPECT_EQ(telvo::test::ReadFile(Imported("Controller")), "an older import\n");
    ASSERT_EQ(UI.Messages().size(), 1u);
    EXPECT_EQ(UI.Messages()[0].rfind("The UML import is taken back, nothing of it is kept: ", 0), 0u);
    EXPECT_TRUE(builder.Diagrams.empty());
}

TEST_F(UmlImportTest, ClassNamesThatCannotBeFilesOrClashWithTheLibraryAreRefused)
{
    OpenEmptyProject();
    const std::string text = R"(<XMI xmi.version="1.2"><XMI.header><XMI.documentation><XMI.exporter>umbrello</XMI.exporter>
</XMI.documentation></XMI.header><XMI.content><UML:Model xmlns:UML="u" xmi.id="m" name="M"><UML:Namespace.ownedElement>
<UML:Model xmi.id="Logical View" name="Logical View"><UML:Namespace.ownedElement>
<UML:Class xmi.id="a" name="../evil" stereotype="FunctionBlock"/>
<UML:Class xmi.id="b" name="E_CTU" stereotype="FunctionBlock"/>
</UML:Namespace.ownedElement><XMI.extension><diagrams><diagram xmi.id="d" name="D" type="3"><widgets>
<objectwidget localid="w1" xmi.id="a" instancename="x"/><objectwidget localid="w2" xmi.id="b" instancename="y"/>
</widgets><messages/></diagram></diagrams></XMI.extension></UML:Model></UML:Namespace.ownedElement></UML:Model>
</XMI.content></XMI>)";
    T.Parse(ReadUmlModel(text, "m.xmi"));
    T.TickAll();
    TUmlImportBuilder builder(W());
    ASSERT_TRUE(builder.Build(T));
    EXPECT_EQ(UI.Messages(), (std::vector<std::string>{
                                 "The class ../evil is not imported: its name cannot be a type file name",
                                 "Error 101: Cannot create FB instance x from type ../evil",
                                 "The class E_CTU is not imported: the library has a type E_CTU of its own"}));
    EXPECT_FALSE(fs::exists(Home / "library" / "evil.fbt"));
    // The library's own E_CTU is used for the instance.
    ASSERT_NE(M().FindInstance("y"), nullptr);
    EXPECT_FALSE(M().FindInstance("y")->Type->Imported);
}

// Names that cannot be file names of ours, for a class (its type file) or
// for a sequence diagram (its network file): each is left out with the
// reason, and nothing of it reaches the disk.
struct TUnusableName {
    const char* Case;
    bool Diagram; // the name is the diagram's, else the class's
    std::string Name;
    std::string Message;
};

void PrintTo(const TUnusableName& c, std::ostream* os) { *os << c.Case; }

class UnusableNames : public UmlImportTest, public ::testing::WithParamInterface<TUnusableName> {};

TEST_P(UnusableNames, AreLeftOutWithTheReason)
{
    const TUnusableName& c = GetParam();
    OpenEmptyProject();
    const std::string cls = c.Diagram ? "Pump" : c.Name;
    const std::string diagram = c.Diagram ? c.Name : "seq";
    T.Parse(ReadUmlModel(telvo::test::TXmiText()
                             .Class("c", cls, "FunctionBlock", {"run"})
                             .SequenceDiagram(diagram, {{"x", "c"}, {"y", "c"}}, "run")
                             .Text(),
                         "m.xmi"));
    T.TickAll();
    TUmlImportBuilder builder(W());
    ASSERT_TRUE(builder.Build(T));
    ASSERT_FALSE(UI.Messages().empty());
    EXPECT_EQ(UI.Messages()[0], c.Message);
    ASSERT_TRUE(builder.SaveAndCommit()) << ::testing::PrintToString(UI.Messages());
    if (c.Diagram) {
        EXPECT_TRUE(builder.Diagrams.empty());
        EXPECT_EQ(builder.TypeFiles, std::vector<std::string>{Imported("Pump").string()});
    } else {
        EXPECT_TRUE(builder.TypeFiles.empty());
        EXPECT_FALSE(fs::exists(Home / "library" / "imported"));
    }
    // Nothing beside the project file (a diagram without instances has no
    // network), nothing above it.
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(Work.Path()))
        files.push_back(fs::relative(e.path(), Work.Path()).string());
    EXPECT_EQ(files, std::vector<std::string>{"demo.crf"});
    EXPECT_FALSE(fs::exists(Work.Path().parent_path() / "OUTSIDE.fbn"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnusableNames,
    ::testing::Values(
        TUnusableName{"ClassWithPath", false, "../evil",
                      "The class ../evil is not imported: its name cannot be a type file name"},
        TUnusableName{"ClassWithLineBreak", false, "Pump\nX",
                      "The class Pump\\nX is not imported: its name cannot be a type file name (it holds a line break)"},
        TUnusableName{"ClassWithCarriageReturn", false, "Pump\rX",
                      "The class Pump\\rX is not imported: its name cannot be a type file name (it holds a line break)"},
        TUnusableName{"ClassWithTab", false, "Pump\tX",
                      "The class Pump\\tX is not imported: its name cannot be a type file name (it holds a control "
                      "character)"},
        TUnusableName{"ClassWithEscape", false, "Pump\x1b[2J",
                      "The class Pump\\x1B[2J is not imported: its name cannot be a type file name (it holds a "
                      "control character)"},
        TUnusableName{"ClassTooLong", false, std::string(252, 'A'),
                      "The class " + std::string(252, 'A') +
                          " is not imported: its name cannot be a type file name (it is longer than 251 bytes)"},
        TUnusableName{"DiagramWithPath", true, "../OUTSIDE",
                      "The sequence diagram ../OUTSIDE is not imported: its name cannot be a file name"},
        TUnusableName{"DiagramDotDot", true, "..",
                      "The sequence diagram .. is not imported: its name cannot be a file name"},
        TUnusableName{"DiagramWithoutName", true, "",
                      "A sequence diagram without a name is not imported: its name cannot be a file name"},
        TUnusableName{"DiagramWithLineBreak", true, "two\nlines",
                      "The sequence diagram two\\nlines is not imported: its name cannot be a file name (it holds a "
                      "line break)"},
        TUnusableName{"DiagramTooLong", true, std::string(252, 'd'),
                      "The sequence diagram " + std::string(252, 'd') +
                          " is not imported: its name cannot be a file name (it is longer than 251 bytes)"}),
    [](const auto& info) { return std::string(info.param.Case); });

// A new diagram's network goes to a file no diagram of the project uses and
// that is not there yet: "line" does not take line.fbn of "Filling line",
// "stray" does not write over a file that is no diagram's.
TEST_F(UmlImportTest, ANewDiagramTakesAFileOfItsOwn)
{
    for (const auto& e : fs::directory_iterator(telvo::test::ExampleDir()))
        if (e.is_regular_file())
            fs::copy(e.path(), Work / e.path().filename().string());
    Work.Write("stray.fbn", "not a network of the project\n");
    OpenProject(W(), (Work / "plant.crf").string());
    ASSERT_EQ(M().Diagrams.at(0)->Name, "Filling line");
    const size_t drawn = M().Diagrams[0]->DrawnInstances.size();
    ASSERT_GT(drawn, 0u);

    T.Parse(ReadUmlModel(telvo::test::TXmiText()
                             .Class("c", "Pump")
                             .SequenceDiagram("line", {{"a", "c"}, {"b", "c"}})
                             .SequenceDiagram("stray", {{"s", "c"}})
                             .SequenceDiagram("Filling line", {{"f", "c"}})
                             .Text(),
                         "m.xmi"));
    T.TickAll();
    TUmlImportBuilder builder(W());
    ASSERT_TRUE(builder.Build(T));
    ASSERT_TRUE(builder.SaveAndCommit()) << ::testing::PrintToString(UI.Messages());
    std::vector<std::string> made;
    for (const TFB_Diagram* d : builder.Diagrams)
        made.push_back(d->Name + " " + fs::path(d->FileName).lexically_relative(Work.Path()).string());
    EXPECT_EQ(made, (std::vector<std::string>{"line line_2.fbn", "stray stray_2.fbn",
                                              "Filling line_2 Filling line_2.fbn"}));
    EXPECT_EQ(telvo::test::ReadFile(Work / "stray.fbn"), "not a network of the project\n");

    Restart();
    OpenProject(W(), (Work / "plant.crf").string());
    ASSERT_EQ(M().Diagrams.at(0)->Name, "Filling line");
    EXPECT_EQ(fs::path(M().Diagrams[0]->FileName), Work / "line.fbn");
    EXPECT_EQ(M().Diagrams[0]->DrawnInstances.size(), drawn);
    const TFB_Diagram* imported = nullptr;
    for (const auto& d : M().Diagrams)
        if (d->Name == "line")
            imported = d.get();
    ASSERT_NE(imported, nullptr);
    EXPECT_EQ(imported->DrawnInstances.size(), 2u);
}

// A build that is neither committed nor saved is taken back whole when the
// builder goes: the staged type files with it.
TEST_F(UmlImportTest, ABuildLeftOpenIsTakenBack)
{
    OpenEmptyProject();
    const auto before = DescribeProject(W());
    const size_t types = M().Types.size();
    Parse();
    T.TickAll();
    {
        TUmlImportBuilder builder(W());
        ASSERT_TRUE(builder.Build(T));
        ASSERT_NE(M().FindType("Controller"), nullptr);
    }
    EXPECT_EQ(DescribeProject(W()), before);
    EXPECT_EQ(M().Types.size(), types);
    EXPECT_EQ(W().LibraryIndex.FolderListing("Controller"), nullptr);
    EXPECT_FALSE(fs::exists(Home / "library" / "imported"));
}

} // namespace
} // namespace telvo::uml
