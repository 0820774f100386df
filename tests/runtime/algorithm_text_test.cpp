// Conditions in the standard form beside the script form, and what the
// simulation does with algorithms in languages it does not run.

#include "runtime/sim_fixture.h"

#include "model/fb_instance.h"
#include "model/fb_type.h"
#include "runtime/algorithm_text.h"
#include "runtime/script_check.h"

using namespace telvo;
using namespace telvo::test;

namespace {

// Event inputs EI and IN (a keyword of the script language), a data input
// X, an output CV and an internal variable K.
void declare(TFB_Type& t)
{
    t.Name = "G";
    t.AddEventInput("EI", "Event", "");
    t.AddEventInput("IN", "Event", "");
    t.AddDataInput("X", "INT", "", "", "");
    t.AddDataOutput("CV", "UINT", "", "", "");
    t.AddInternalVar("K", "INT", "", "", "");
}

// "c3_EI_X___5_": readable and unique.
template <typename Case>
std::string conditionName(const ::testing::TestParamInfo<Case>& info)
{
    std::string n = "c" + std::to_string(info.index) + "_";
    for (const char* p = info.param.Condition; *p; ++p)
        n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return n;
}

struct ConditionCase {
    const char* Condition;
    const char* Script;
};

void PrintTo(const ConditionCase& c, std::ostream* os) { *os << c.Condition; }

class ConditionForm : public ::testing::TestWithParam<ConditionCase> {};

TEST_P(ConditionForm, BecomesTheScriptCondition)
{
    TFB_Type t;
    declare(t);
    EXPECT_EQ(ConditionScriptText(GetParam().Condition, t), GetParam().Script);
    EXPECT_TRUE(CheckConditionScript(t, GetParam().Condition).Ok) << CheckConditionScript(t, GetParam().Condition).Message;
}

INSTANTIATE_TEST_SUITE_P(Forms, ConditionForm, ::testing::Values(
    ConditionCase{"EI", "EI"},
    ConditionCase{"1", "1"},
    ConditionCase{"EI AND (X > 5)", "EI AND (X > 5)"},
    ConditionCase{"EI[X > 5]", "(EI and (X > 5))"},
    ConditionCase{"[K = 3]", "(K = 3)"},
    ConditionCase{"IN[CV < 65535]", "(EI_IN and (DO_CV < 65535))"},
    ConditionCase{" ei [ NOT (x > 1) ]", "(EI and (not (X > 1)))"},
    ConditionCase{"EI[MIN(3, K - 1) < X]", "(EI and (IEC_MIN(3, (K - 1)) < X))"}),
    conditionName<ConditionCase>);

struct FaultCase {
    const char* Condition;
    const char* Message;
    int Column;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.Condition; }

class ConditionFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ConditionFault, IsPlacedInTheCondition)
{
    TFB_Type t;
    declare(t);
    const TScriptCheck check = CheckConditionScript(t, GetParam().Condition);
    EXPECT_FALSE(check.Ok);
    EXPECT_NE(check.Message.find(GetParam().Message), std::string::npos) << check.Message;
    EXPECT_EQ(check.Line, 1);
    EXPECT_EQ(check.Column, GetParam().Column);
}

INSTANTIATE_TEST_SUITE_P(Faults, ConditionFault, ::testing::Values(
    FaultCase{"EI[X >]", "operand", 7},
    FaultCase{"[Y > 1]", "unknown variable Y", 2},
    FaultCase{"FOO[X > 1]", "no event input FOO", 1},
    FaultCase{"EI[X > 1 1]", "after the end of the expression", 10}),
    conditionName<FaultCase>);

// FOREIGN: REQ runs an algorithm in C, one in ST and one in ladder logic.
const char* const kForeignType = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="FOREIGN">
  <InterfaceList>
    <EventInputs><Event Name="REQ" Type="Event"/></EventInputs>
    <EventOutputs><Event Name="CNF" Type="Event"/></EventOutputs>
    <OutputVars><VarDeclaration Name="Q" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB>
    <ECC>
      <ECState Name="START" x="0" y="0"/>
      <ECState Name="RUN" x="0" y="0">
        <ECAction Algorithm="InC"/>
        <ECAction Algorithm="InST"/>
        <ECAction Algorithm="InLD" Output="CNF"/>
      </ECState>
      <ECTransition Source="START" Destination="RUN" Condition="REQ"/>
      <ECTransition Source="RUN" Destination="START" Condition="1"/>
    </ECC>
    <Algorithm Name="InC"><Other Language="C" Text="Q = 1;"/></Algorithm>
    <Algorithm Name="InST"><ST><![CDATA[Q := Q + 10;]]></ST></Algorithm>
    <Algorithm Name="InLD"><LD><Rung Output="Q" Expression="TRUE"/></LD></Algorithm>
  </BasicFB>
</FBType>
)";

TEST_F(SimTest, AlgorithmsTheEngineDoesNotRunAreLoggedOncePerType)
{
    Home.Write("library/test/FOREIGN.fbt", kForeignType);
    Bench->IndexLibrary();
    Load(R"(<FB Name="A" Type="FOREIGN" x="0" y="0"/><FB Name="B" Type="FOREIGN" x="0" y="0"/>)");
    THeadlessSimulation sim(*Diagram);
    sim.Start({EventIn("A.REQ"), EventIn("B.REQ")});
    ASSERT_TRUE(sim.Step());
    sim.Environment.QueueEvent(EventIn("A.REQ"));
    ASSERT_TRUE(sim.Step());
    ASSERT_TRUE(sim.Step());
    // The ST algorithm ran each time; the others did nothing, and the log
    // said so once for the type, whatever the instances and events.
    EXPECT_EQ(DataOut("A.Q")->IntValue, 20);
    EXPECT_EQ(DataOut("B.Q")->IntValue, 10);
    sim.Stop();
    const auto lines = LinesContaining(WithoutTime(sim.Host.LogLines()), "unsimulated");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "FOREIGN:: algorithms in a language the simulation does not run stay unsimulated: InC (C), InLD (LD)");
    EXPECT_TRUE(sim.Environment.ScriptFailures().empty());
}

} // namespace
