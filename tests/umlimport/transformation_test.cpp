// The transformation tree: the fixture model's tree node by node, receiver
// numbering, instance naming and the parse messages.

#include "model/user_interface.h"
#include "support/test_support.h"
#include "umlimport/transformation.h"

#include <gtest/gtest.h>

namespace telvo::uml {
namespace {

std::filesystem::path fixture(const std::string& name) { return telvo::test::TestDataDir() / "uml" / name; }

TEST(Transformation, FixtureTreeMatchesTheExpectedDump)
{
    TRecordingUserInterface ui;
    TTransformation t(ui);
    t.Parse(ReadUmlModelFile(fixture("filling.xmi")));
    EXPECT_EQ(t.Dump(), telvo::test::ReadFile(fixture("filling.tree")));
    EXPECT_TRUE(ui.Messages().empty());
    const auto log = ui.LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "Parsing ROSE project started!");
    EXPECT_EQ(log.back(), "Parsing ROSE project finished!");
    // The message text walks the model in parse order.
    const std::vector<std::string> head(t.Messages.begin(), t.Messages.begin() + 4);
    EXPECT_EQ(head, (std::vector<std::string>{"Parsing Sequence/Interaction Diagrams", "Parsing Sequence: filling",
                                              "Parsing object: tank :Tank",
                                              "Parsing object: ctl :Controller"}));
    const auto has = [&](const std::string& line) {
        return std::find(t.Messages.begin(), t.Messages.end(), line) != t.Messages.end();
    };
    EXPECT_TRUE(has("Parsing message: run(rate : INT) (Controller -> Pump)"));
    EXPECT_TRUE(has("Parsing Class diagram: classes"));
    EXPECT_TRUE(has("Get attribute: limit:INT=10"));
    EXPECT_TRUE(has("Export Control Value: 2"));
    EXPECT_TRUE(has("Containment Value: 1"));
    EXPECT_TRUE(has("Get parameter: speed:INT=5"));
}

// Receivers are numbered in the order they are first met, without regard to
// case, and the list outlives a parse: a second parse of a model whose
// receivers come in another order keeps the numbers given first.
TEST(Transformation, ReceiverNumbersKeepGrowingOverParses)
{
    TRecordingUserInterface ui;
    TTransformation t(ui);
    EXPECT_EQ(t.ReceiverNumber("other"), 1);
    t.Parse(ReadUmlModelFile(fixture("filling.xmi")));
    EXPECT_EQ(t.Receivers(), (std::vector<std::string>{"other", "pump", "fbPump", "tank"}));
    EXPECT_EQ(t.ReceiverNumber("PUMP"), 2);
    t.Parse(ReadUmlModelFile(fixture("filling.xmi")));
    EXPECT_EQ(t.Receivers().size(), 4u);
    const TTransNode* events = t.Root("Connections")->Child("Event");
    ASSERT_NE(events, nullptr);
    ASSERT_EQ(events->Children.size(), 3u);
    EXPECT_EQ(events->Children[0]->Text, "ctl.run2->pump.run");
    EXPECT_EQ(events->Children[1]->Text, "ctl.run3->fbPump.run");
    EXPECT_NE(t.Root("Pump")->Child("EventOutputs")->Child("setValve4"), nullptr);
}

// A small model written for one rule at a time.
std::string model(const std::string& classes, const std::string& objects, const std::string& messages)
{
    return R"(<XMI xmi.version="1.2"><XMI.header><XMI.documentation><XMI.exporter>umbrello</XMI.exporter>
</XMI.documentation></XMI.header><XMI.content><UML:Model xmlns:UML="u" xmi.id="m" name="M"><UML:Namespace.ownedElement>
<UML:Model xmi.id="Logical View" name="Logical View"><UML:Namespace.ownedElement>)" +
           classes + R"(</UML:Namespace.ownedElement><XMI.extension><diagrams>
<diagram xmi.id="d" name="D" type="3"><widgets>)" +
           objects + "</widgets><messages>" + messages + R"(</messages></diagram>
</diagrams></XMI.extension></UML:Model></UML:Namespace.ownedElement></UML:Model></XMI.content></XMI>)";
}

TEST(Transformation, EdgeCasesOfNamesAndMessages)
{
    const std::string classes = R"(<UML:Class xmi.id="ctl" name="Ctl" stereotype="FunctionBlock">
<UML:Classifier.feature><UML:Operation xmi.id="s" name="start"/></UML:Classifier.feature></UML:Class>
<UML:Class xmi.id="pump" name="Pump" stereotype="FunctionBlock"><UML:Classifier.feature>
<UML:Operation xmi.id="start" name="start"/></UML:Classifier.feature></UML:Class>
<UML:Class xmi.id="tank" name="Tank" stereotype="IndustrialProcessTerminator"/>
<UML:Class xmi.id="start" name="start" stereotype="FunctionBlock"/>)";
    const std::string objects = R"(<objectwidget localid="a" xmi.id="ctl" instancename="a"/>
<objectwidget localid="b" xmi.id="pump" instancename="b"/>
<objectwidget localid="p" xmi.id="pump"/><objectwidget localid="t" xmi.id="tank"/>
<objectwidget localid="s" xmi.id="start" instancename="Pump"/>
<objectwidget localid="n" xmi.id="nothing" instancename="ghost"/>)";
    const std::string messages = R"(<messagewidget widgetaid="a" widgetbid="b" operation="start" y="1"/>
<messagewidget widgetaid="a" widgetbid="b" operation="noparen" y="2"/>
<messagewidget widgetaid="a" widgetbid="b" operation="" y="3"/>
<messagewidget widgetaid="a" widgetbid="n" operation="start" y="4"/>)";
    TRecordingUserInterface ui;
    TTransformation t(ui);
    t.Parse(ReadUmlModel(model(classes, objects, messages), "m.xmi"));

    // Unnamed objects are named after their class.
    const TTransNode* instances = t.Root("Diagrams")->Child("D")->Child("Function Block Instances");
    ASSERT_EQ(instances->Children.size(), 4u);
    EXPECT_EQ(instances->Children[1]->Text, "b:Pump");
    EXPECT_EQ(instances->Children[2]->Text, "fbPump:Pump");
    EXPECT_EQ(t.Root("Tank")->Child("Imported Instances")->Children[0]->Text, "iptTank");
    // An instance named like a class does not hide that class's root.
    EXPECT_EQ(instances->Children[3]->Text, "Pump:start");
    ASSERT_NE(t.Root("start"), nullptr);
    EXPECT_EQ(t.Root("start")->Child("Imported Instances")->Children[0]->Text, "Pump");

    // start() from a of Ctl to b of Pump, b the first receiver.
    EXPECT_EQ(t.Root("Pump")->Child("EventInputs")->Children[0]->Text, "start");
    EXPECT_EQ(t.Root("Ctl")->Child("EventOutputs")->Children[0]->Text, "start1");
    const TTransNode* events = t.Root("Connections")->Child("Event");
    EXPECT_EQ(events->Children[0]->Text, "a.start1->b.start");
    // A name without "(" gives an empty event name; an empty name is shown.
    EXPECT_EQ(t.Root("Pump")->Child("EventInputs")->Children[1]->Text, "");
    EXPECT_EQ(events->Children[1]->Text, "a.1->b.");
    EXPECT_EQ(ui.Messages(), (std::vector<std::string>{"Message with No name found on D between Ctl -> Pump. Please "
                                                       "correct it and re-apply the transformation"}));
    const auto has = [&](const std::string& line) {
        return std::find(t.Messages.begin(), t.Messages.end(), line) != t.Messages.end();
    };
    EXPECT_TRUE(has("The object ghost on D has no class: it is not imported"));
    EXPECT_TRUE(has("The message start() on D joins the object ghost :, which has no class: it is not imported"));
}

TEST(Transformation, TicksPropagateDownAndShowUp)
{
    TRecordingUserInterface ui;
    TTransformation t(ui);
    t.Parse(ReadUmlModelFile(fixture("filling.xmi")));
    TTransNode* pump = t.Root("Pump");
    t.SetTick(pump->Child("EventInputs")->Child("stop"), true);
    EXPECT_EQ(pump->Child("EventInputs")->Tick, TTick::Mixed);
    EXPECT_EQ(pump->Tick, TTick::Mixed);
    t.SetTick(pump, true);
    EXPECT_EQ(pump->Child("WITHs")->Children[1]->Tick, TTick::Ticked);
    t.SetTick(pump->Child("EventInputs"), false);
    EXPECT_EQ(pump->Tick, TTick::Mixed);
    t.SetTick(t.Root("Connections")->Child("Event"), false);
    EXPECT_EQ(t.Root("Connections")->Tick, TTick::Mixed);
    t.TickAll();
    EXPECT_EQ(t.Dump().find("[ ]"), std::string::npos);
    EXPECT_EQ(t.Dump().find("[-]"), std::string::npos);
}

} // namespace
} // namespace telvo::uml
