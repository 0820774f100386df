// The scripts a runtime FB generates for its transition tests and
// algorithms, to the character, and which variables they declare.

#include "runtime/script_generation.h"

#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/fb_type.h"
#include "runtime/script/script_errors.h"
#include "runtime/simulation_host.h"

#include <gtest/gtest.h>

#include <memory>

using namespace telvo;

namespace {

std::string crlf(std::initializer_list<const char*> lines)
{
    std::string s;
    for (const char* l : lines)
        s += (s.empty() ? "" : "\r\n") + std::string(l);
    return s;
}

// One instance record of a type made in place: event inputs REQ, RE, INIT;
// data inputs X (INT, 7), IN (STRING holding a text that is no Pascal),
// IN1 (INT, 3); data output OUT (REAL); internal variable CNT (INT, 0).
class ScriptText : public ::testing::Test {
protected:
    ScriptText()
    {
        auto t = std::make_unique<TFB_Type>();
        t->Name = "T";
        t->AddEventInput("REQ", "EVENT", "");
        t->AddEventInput("RE", "EVENT", "");
        t->AddEventInput("INIT", "EVENT", "");
        t->AddDataInput("X", "INT", "", "7", "");
        t->AddDataInput("IN", "STRING", "", "", "");
        t->AddDataInput("IN1", "INT", "", "3", "");
        t->AddDataOutput("OUT", "REAL", "", "", "");
        t->AddInternalVar("CNT", "INT", "", "", "0");
        M.Types.push_back(std::move(t));
        R = M.CreateInstance("F", "T", true);
        R->FindDataInput("IN")->SetValueFromText("two words");
    }
    TFB_Manager M;
    TFB_InstanceRef* R = nullptr;
};

TEST_F(ScriptText, TransitionScriptOfTheExample)
{
    EXPECT_EQ(BuildTransitionScript(*R, "REQ AND (X > 5)", "REQ"),
              crlf({"procedure chkTransition( var theResult:Boolean);", "var REQ:Boolean;", "var X:Integer;", "begin",
                    "REQ:=True;", "X:=7;", "theResult:= REQ AND (X > 5);", "end;"}));
}

TEST_F(ScriptText, AlgorithmScriptOfTheExampleRunsAndWritesBack)
{
    const std::vector<std::string> lines{"DO_OUT := IN1 * 2.5;", "CNT := CNT + 1;"};
    TAlgorithmScript a = BuildAlgorithmScript(*R, lines, "INIT");
    EXPECT_EQ(a.Text, crlf({"procedure execAlg(", "var DO_OUT:Single;", "var CNT:Integer;", "            );",
                            "var IN1:Integer;", "begin", "IN1:=3;", "CNT:=0;", "//The FB Algorithm",
                            "DO_OUT := IN1 * 2.5;", "CNT := CNT + 1;", "end;"}));
    ASSERT_EQ(a.Outputs.size(), 1u);
    ASSERT_EQ(a.Variables.size(), 1u);

    THeadlessSimulationHost host;
    host.ExecuteAlgorithmScript(a.Text, a.Outputs, a.Variables);
    EXPECT_EQ(R->FindDataOutput("OUT")->RealValue, 7.5);
    EXPECT_EQ(R->InternalVars[0]->IntValue, 1);
    EXPECT_EQ(R->FindDataOutput("OUT")->FormatValue(), "7.5000000");
}

TEST_F(ScriptText, WhichVariablesATransitionDeclares)
{
    struct Case {
        const char* condition;
        const char* event;
        std::vector<const char*> body; // lines between the header and "end;"
    };
    const Case cases[] = {
        // "1" fires on anything, also without an event.
        {"1", "-", {"begin", "theResult:= True;"}},
        {"1", "REQ", {"var REQ:Boolean;", "begin", "REQ:=True;", "theResult:= True;"}},
        // An event input that is not the event is False.
        {"INIT", "REQ", {"var REQ:Boolean;", "var INIT:Boolean;", "begin", "REQ:=True;", "INIT:=False;", "theResult:= INIT;"}},
        // Names are whole identifiers in any case: REQ does not bring RE
        // along, IN1 does not bring IN (whose text would break the script).
        {"req AND (IN1 > 2)", "REQ", {"var REQ:Boolean;", "var IN1:Integer;", "begin", "REQ:=True;", "IN1:=3;", "theResult:= req AND (IN1 > 2);"}},
        // The event's own name is compared exactly for the True line.
        {"1", "req", {"var REQ:Boolean;", "begin", "REQ:=False;", "theResult:= True;"}},
        // Internal variables come last; data outputs never appear.
        {"(CNT = 0) AND (OUT > 1)", "-", {"var CNT:Integer;", "begin", "CNT:=0;", "theResult:= (CNT = 0) AND (OUT > 1);"}},
        // Text literals do not name variables.
        {"'X' = 'X'", "-", {"begin", "theResult:= 'X' = 'X';"}},
    };
    for (const auto& c : cases) {
        std::vector<const char*> lines{"procedure chkTransition( var theResult:Boolean);"};
        lines.insert(lines.end(), c.body.begin(), c.body.end());
        lines.push_back("end;");
        std::string want;
        for (const char* l : lines)
            want += (want.empty() ? "" : "\r\n") + std::string(l);
        EXPECT_EQ(BuildTransitionScript(*R, c.condition, c.event), want) << c.condition << " / " << c.event;
    }
}

TEST_F(ScriptText, WhichVariablesAnAlgorithmDeclares)
{
    // Event inputs that the algorithm names; comments name nothing; an
    // output is a parameter when the algorithm names it with or without DO_.
    TAlgorithmScript a = BuildAlgorithmScript(*R, {"// X and IN are not used", "if REQ then OUT := IN1;"}, "REQ");
    EXPECT_EQ(a.Text, crlf({"procedure execAlg(", "var DO_OUT:Single;", "            );", "var REQ:Boolean;",
                            "var IN1:Integer;", "begin", "REQ:=True;", "IN1:=3;", "//The FB Algorithm",
                            "// X and IN are not used", "if REQ then OUT := IN1;", "end;"}));
}

TEST_F(ScriptText, AlgorithmWithoutParametersHasNoParameterListAndRuns)
{
    // An algorithm that changes no output and no internal variable: "()"
    // would not compile, so the routine has no parameter list at all.
    TAlgorithmScript a = BuildAlgorithmScript(*R, {"X := X + 1;"}, "REQ");
    EXPECT_EQ(a.Text, crlf({"procedure execAlg;", "var X:Integer;", "begin", "X:=7;", "//The FB Algorithm",
                            "X := X + 1;", "end;"}));
    EXPECT_TRUE(a.Outputs.empty());
    EXPECT_TRUE(a.Variables.empty());
    THeadlessSimulationHost host;
    EXPECT_NO_THROW(host.ExecuteAlgorithmScript(a.Text, a.Outputs, a.Variables));
    // Its body really runs.
    a = BuildAlgorithmScript(*R, {"if X = 7 then raise 'ran';"}, "REQ");
    try {
        host.ExecuteAlgorithmScript(a.Text, a.Outputs, a.Variables);
        FAIL() << "did not run";
    } catch (const EScriptError& e) {
        EXPECT_STREQ(e.what(), "ran");
    }
}

TEST_F(ScriptText, ValueTextsOfEachTypeClass)
{
    auto t = std::make_unique<TFB_Type>();
    t->Name = "V";
    t->AddDataInput("B", "BOOL", "", "TRUE", "");
    t->AddDataInput("R", "LREAL", "", "0.1", "");
    t->AddDataInput("C", "COLOR", "", "2", "");
    t->AddDataInput("S", "WSTRING", "", "'quoted'", "");
    t->AddDataInput("Y", "BYTE", "", "255", "");
    M.Types.push_back(std::move(t));
    TFB_InstanceRef* v = M.CreateInstance("V1", "V", true);
    EXPECT_EQ(BuildTransitionScript(*v, "B AND (R < C) AND (S <> '') AND (Y > 0)", "-"),
              crlf({"procedure chkTransition( var theResult:Boolean);", "var B:Boolean;", "var R:Single;",
                    "var C:Single;", "var S:String;", "var Y:Integer;", "begin", "B:=TRUE;", "R:=0.1000000;",
                    "C:=2.0000000;", "S:='quoted';", "Y:=255;", "theResult:= B AND (R < C) AND (S <> '') AND (Y > 0);",
                    "end;"}));
}

TEST(ScriptTypeName, IntegersAndBitStringsAreIntegersRealsFloatsTheRestTexts)
{
    struct Case {
        const char* Type;
        const char* Script;
    } cases[] = {
        {"BOOL", "Boolean"},   {"Boolean", "Boolean"}, {"INT", "Integer"},    {"BYTE", "Integer"},
        {"Integer", "Integer"}, {"SINT", "Integer"},   {"DINT", "Integer"},   {"LINT", "Integer"},
        {"USINT", "Integer"},  {"UINT", "Integer"},    {"UDINT", "Integer"},  {"ULINT", "Integer"},
        {"WORD", "Integer"},   {"DWORD", "Integer"},   {"LWORD", "Integer"},  {"REAL", "Single"},
        {"LREAL", "Single"},   {"COLOR", "Single"},    {"STRING", "String"},  {"WSTRING", "String"},
        {"TIME", "String"},    {"dint", "String"},     {"", "String"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScriptTypeName(c.Type), c.Script) << c.Type;
}

// Variables of the IEC integer types the model holds as texts: declared
// Integer, and their texts read as integers for the start values; the
// texts of other types go in unchanged.
class TextIntegers : public ::testing::Test {
protected:
    TFB_InstanceRef* Make(const std::vector<std::pair<std::string, std::string>>& inputs)
    {
        auto t = std::make_unique<TFB_Type>();
        t->Name = "I" + std::to_string(M.Types.size());
        t->AddEventInput("REQ", "EVENT", "");
        for (const auto& [type, value] : inputs)
            t->AddDataInput("V" + std::to_string(t->DataInputs.size()), type, "", value, "");
        const std::string name = t->Name;
        M.Types.push_back(std::move(t));
        return M.CreateInstance(name + "_1", name, true);
    }
    TFB_Manager M;
};

TEST_F(TextIntegers, AreDeclaredAsIntegersAndStartAsTheirValues)
{
    TFB_InstanceRef* r = Make({{"DINT", "5"},
                               {"DINT", ""},
                               {"UDINT", "4000000000"},
                               {"WORD", "16#FF"},
                               {"SINT", "-128"},
                               {"LINT", "-2147483648"},
                               {"TIME", "T#5s"}});
    EXPECT_EQ(BuildTransitionScript(*r, "V0 + V1 + V2 + V3 + V4 + V5 + V6", "-"),
              crlf({"procedure chkTransition( var theResult:Boolean);", "var V0:Integer;", "var V1:Integer;",
                    "var V2:Integer;", "var V3:Integer;", "var V4:Integer;", "var V5:Integer;", "var V6:String;",
                    "begin", "V0:=5;", "V1:=0;", "V2:=4000000000.0;", "V3:=255;", "V4:=-128;",
                    "V5:=-2147483648.0;", "V6:=T#5s;", "theResult:= V0 + V1 + V2 + V3 + V4 + V5 + V6;", "end;"}));
}

TEST_F(TextIntegers, AValueThatDoesNotFitFailsTheScript)
{
    struct Case {
        const char* Type;
        const char* Text;
        const char* Message;
    } cases[] = {
        {"USINT", "300", "V0: 300 does not fit USINT (0 to 255)"},
        {"UDINT", "-1", "V0: -1 does not fit UDINT (0 to 4294967295)"},
        {"SINT", "16#80", "V0: 128 does not fit SINT (-128 to 127)"},
        {"DINT", "abc", "V0: 'abc' is no DINT value"},
        {"LINT", "9007199254740993", "V0: 9007199254740993 is larger than the simulation computes exactly (2^53)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        TFB_InstanceRef* r = Make({{c.Type, c.Text}});
        try {
            BuildAlgorithmScript(*r, {"V0 := V0;"}, "REQ");
            ADD_FAILURE() << "a script was made";
        } catch (const EScriptError& e) {
            EXPECT_STREQ(e.what(), c.Message);
        }
    }
}

} // namespace
