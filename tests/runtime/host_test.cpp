// The headless simulation host: schedule tables, the log, and running the
// generated scripts in the script engine.

#include "runtime/simulation_host.h"

#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "runtime/script/script_errors.h"
#include "runtime/script_generation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace telvo;

namespace {

TEST(ScheduleTable, FreshTableAndTheDaemonsFirstEntry)
{
    THeadlessSimulationHost host;
    EXPECT_EQ(host.EventsTable().Lines(), (std::vector<std::string>{"FB.Event(Algorithm)\t", "\t"}));
    EXPECT_EQ(host.FBTable().Lines(), (std::vector<std::string>{"FB Name\t", "\t"}));

    host.ShowScheduleEntry("Daemon", "Resumed", 0);
    const TScheduleTable ev = host.EventsTable();
    EXPECT_EQ(ev.Lines(), (std::vector<std::string>{"FB.Event(Algorithm)\tt1", "Daemon.Resumed()\t--"}));
    EXPECT_EQ(ev.CurrentCol(), 1);
    EXPECT_EQ(ev.CurrentRow(), 1);
    EXPECT_EQ(host.FBTable().Lines(), (std::vector<std::string>{"FB Name\tt1", "Daemon\t--"}));
}

TEST(ScheduleTable, OneRowPerLabelWithAMarkInEachStepOfIt)
{
    THeadlessSimulationHost host;
    host.ShowScheduleEntry("Daemon", "Resumed", 0);
    host.ShowScheduleEntry("F1", "REQ", 0);
    host.ShowScheduleEntry("Daemon", "Resumed", 1);
    host.ShowScheduleEntry("F1", "INIT", 1);
    host.ShowScheduleEntry("Daemon", "Resumed", 2);
    host.ShowScheduleEntry("F1", "REQ", 2);
    EXPECT_EQ(host.EventsTable().Lines(), (std::vector<std::string>{
                                              "FB.Event(Algorithm)\tt1\tt2\tt3",
                                              "Daemon.Resumed()\t--\t--\t--",
                                              "F1.REQ()\t--\t\t--",
                                              "F1.INIT()\t\t--\t",
                                          }));
    EXPECT_EQ(host.FBTable().Lines(),
              (std::vector<std::string>{"FB Name\tt1\tt2\tt3", "Daemon\t--\t--\t--", "F1\t--\t--\t--"}));
    const TScheduleTable ev = host.EventsTable();
    EXPECT_EQ(ev.CurrentCol(), 3);
    EXPECT_EQ(ev.CurrentRow(), 2);
    EXPECT_EQ(ev.Cell(2, 2), "");
    EXPECT_EQ(ev.Cell(9, 9), ""); // outside the table

    host.ResetSchedule();
    EXPECT_EQ(host.EventsTable().Lines(), (std::vector<std::string>{"FB.Event(Algorithm)\t", "\t"}));
}

TEST(HostScripts, TransitionResultIsTheCellAsBoolean)
{
    THeadlessSimulationHost host;
    const std::string head = "procedure chkTransition( var theResult:Boolean);\r\nbegin\r\n";
    EXPECT_TRUE(host.EvaluateTransitionScript(head + "theResult:= True;\r\nend;"));
    EXPECT_FALSE(host.EvaluateTransitionScript(head + "theResult:= 1 > 2;\r\nend;"));
    // A script that leaves its result empty says false.
    EXPECT_FALSE(host.EvaluateTransitionScript(head + "end;"));
    // Failures come out as the engine's errors, and the runner goes on.
    EXPECT_THROW(host.EvaluateTransitionScript(head + "theResult:= ;\r\nend;"), EScriptCompileError);
    EXPECT_THROW(host.EvaluateTransitionScript(head + "raise 'x';\r\nend;"), EScriptError);
    EXPECT_TRUE(host.EvaluateTransitionScript(head + "theResult:= True;\r\nend;"));
}

TEST(HostScripts, EachDistinctTextIsCompiledOnce)
{
    THeadlessSimulationHost host;
    const std::string a = "procedure chkTransition( var theResult:Boolean);\r\nbegin\r\ntheResult:= True;\r\nend;";
    const std::string b = "procedure chkTransition( var theResult:Boolean);\r\nbegin\r\ntheResult:= False;\r\nend;";
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(host.EvaluateTransitionScript(a));
        EXPECT_FALSE(host.EvaluateTransitionScript(b));
    }
    EXPECT_EQ(host.Scripts().Compilations(), 2u);
    EXPECT_EQ(host.Scripts().CompiledScripts(), 2u);
}

// Members of every type class through an algorithm, and a failing
// algorithm that changes none of them.
class HostAlgorithm : public ::testing::Test {
protected:
    HostAlgorithm()
    {
        auto t = std::make_unique<TFB_Type>();
        t->Name = "T";
        t->AddDataOutput("B", "BOOL", "", "", "");
        t->AddDataOutput("I", "INT", "", "", "");
        t->AddDataOutput("R", "REAL", "", "", "");
        t->AddDataOutput("S", "STRING", "", "", "");
        t->AddInternalVar("V", "LREAL", "", "", "1.5");
        M.Types.push_back(std::move(t));
        R = M.CreateInstance("F", "T", true);
        for (const auto& o : R->DataOutputs)
            outputs.push_back(o.get());
        variables.push_back(R->InternalVars[0].get());
    }
    std::string script(const std::string& body) const
    {
        return "procedure execAlg(\r\nvar DO_B:Boolean;\r\nvar DO_I:Integer;\r\nvar DO_R:Single;\r\nvar DO_S:String;\r\n"
               "var V:Single;\r\n            );\r\nbegin\r\nV:=1.5000000;\r\n" +
               body + "\r\nend;";
    }
    TFB_Manager M;
    TFB_InstanceRef* R = nullptr;
    std::vector<TFBDataMember*> outputs;
    std::vector<TFBInstance_InternalVar*> variables;
    THeadlessSimulationHost host;
};

TEST_F(HostAlgorithm, CellsFollowTheMembersTypes)
{
    host.ExecuteAlgorithmScript(script("DO_B := not DO_B; DO_I := DO_I + 41 + 1; DO_R := 7 / 2; DO_S := DO_S + 'ab'; V := V * 2;"),
                                outputs, variables);
    EXPECT_TRUE(R->DataOutputs[0]->BoolValue);
    EXPECT_EQ(R->DataOutputs[1]->IntValue, 42);
    EXPECT_EQ(R->DataOutputs[2]->RealValue, 3.5);
    EXPECT_EQ(R->DataOutputs[3]->StrValue, "ab");
    EXPECT_EQ(R->InternalVars[0]->RealValue, 3.0L);
}

TEST_F(HostAlgorithm, AFailingAlgorithmChangesNothing)
{
    // Raised after assigning; and a value that does not convert back.
    EXPECT_THROW(host.ExecuteAlgorithmScript(script("DO_I := 5; V := 9; raise 'stop';"), outputs, variables),
                 EScriptError);
    EXPECT_THROW(host.ExecuteAlgorithmScript(script("DO_I := 5; DO_R := 'not a number';"), outputs, variables),
                 EScriptError);
    EXPECT_EQ(R->DataOutputs[1]->IntValue, 0);
    EXPECT_EQ(R->DataOutputs[2]->RealValue, 0.0);
    EXPECT_EQ(R->InternalVars[0]->RealValue, 1.5L);
}

// Outputs and variables of the IEC integer types the model holds as texts
// compute as integers and come back as decimal texts; a value that does not
// fit its type fails the script and changes nothing.
class HostTextIntegers : public ::testing::Test {
protected:
    HostTextIntegers()
    {
        auto t = std::make_unique<TFB_Type>();
        t->Name = "T";
        for (const char* type : {"DINT", "UDINT", "WORD", "SINT", "USINT", "LINT"})
            t->AddDataOutput(std::string("O_") + type, type, "", "", "");
        t->AddInternalVar("N", "DINT", "", "", "7");
        M.Types.push_back(std::move(t));
        R = M.CreateInstance("F", "T", true);
        for (const auto& o : R->DataOutputs)
            outputs.push_back(o.get());
        variables.push_back(R->InternalVars[0].get());
    }
    std::string script(const std::string& body) const
    {
        std::string s = "procedure execAlg(\r\n";
        for (const auto* o : outputs)
            s += "var DO_" + o->Name() + ":Integer;\r\n";
        return s + "var N:Integer;\r\n            );\r\nbegin\r\n" + body + "\r\nend;";
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> t;
        for (const auto* o : outputs)
            t.push_back(o->StrValue);
        t.push_back(R->InternalVars[0]->StrValue);
        return t;
    }
    TFB_Manager M;
    TFB_InstanceRef* R = nullptr;
    std::vector<TFBDataMember*> outputs;
    std::vector<TFBInstance_InternalVar*> variables;
    THeadlessSimulationHost host;
};

TEST_F(HostTextIntegers, ComputeAsIntegersAndComeBackAsDecimalTexts)
{
    host.ExecuteAlgorithmScript(script("DO_O_DINT := DO_O_DINT + 21 * 2;\r\n"
                                       "DO_O_UDINT := 65535 * 65536;\r\n"
                                       "DO_O_WORD := $FFFF;\r\n"
                                       "DO_O_SINT := 5 / 2;\r\n"
                                       "DO_O_USINT := '200';\r\n"
                                       "DO_O_LINT := -65536 * 65536;\r\n"
                                       "N := N + 1;"),
                                outputs, variables);
    EXPECT_EQ(texts(), (std::vector<std::string>{"42", "4294901760", "65535", "2", "200", "-4294967296", "8"}));
    // And they go in as the numbers they hold.
    host.ExecuteAlgorithmScript(script("DO_O_UDINT := DO_O_UDINT + 1; N := N * 2;"), outputs, variables);
    EXPECT_EQ(texts(), (std::vector<std::string>{"42", "4294901761", "65535", "2", "200", "-4294967296", "16"}));
}

TEST_F(HostTextIntegers, AValueThatDoesNotFitFailsAndChangesNothing)
{
    struct Case {
        const char* Body;
        const char* Message;
    } cases[] = {
        {"DO_O_USINT := 300;", "O_USINT: 300 does not fit USINT (0 to 255)"},
        {"DO_O_SINT := 127; DO_O_SINT := DO_O_SINT + 1;", "O_SINT: 128 does not fit SINT (-128 to 127)"},
        {"DO_O_UDINT := -1;", "O_UDINT: -1 does not fit UDINT (0 to 4294967295)"},
        {"DO_O_DINT := 65536 * 32768;", "O_DINT: 2147483648 does not fit DINT (-2147483648 to 2147483647)"},
        {"DO_O_WORD := 'many';", "O_WORD: Could not convert 'many' to a number"},
        {"N := 65536.0 * 65536 * 65536 * 65536;",
         "N: 1.84467440737096E19 is larger than the simulation computes exactly (2^53)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Body);
        try {
            host.ExecuteAlgorithmScript(script(std::string("DO_O_DINT := 1; N := 2; ") + c.Body), outputs, variables);
            ADD_FAILURE() << "the script did not fail";
        } catch (const EScriptError& e) {
            EXPECT_STREQ(e.what(), c.Message);
        }
        EXPECT_EQ(texts(), (std::vector<std::string>{"", "", "", "", "", "", "7"}));
    }
}

TEST(HostScripts, TerminateEndsARunningScriptAndSparesTheNext)
{
    THeadlessSimulationHost host;
    const std::string spin = "procedure chkTransition( var theResult:Boolean);\r\nbegin\r\nwhile True do ;\r\nend;";
    std::thread t([&] { EXPECT_THROW(host.EvaluateTransitionScript(spin), EScriptError); });
    // Terminate until it lands: it only acts on a script that runs.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::atomic<bool> done{false};
    std::thread waiter([&] { t.join(); done = true; });
    while (!done && std::chrono::steady_clock::now() < until) {
        host.TerminateScript();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    waiter.join();
    EXPECT_TRUE(done);
    // A terminate with nothing running is not kept for the next script.
    host.TerminateScript();
    EXPECT_TRUE(host.EvaluateTransitionScript(
        "procedure chkTransition( var theResult:Boolean);\r\nvar I:Integer;\r\nbegin\r\nfor I := 1 to 10 do ;\r\ntheResult:= True;\r\nend;"));
}

} // namespace

namespace {

// The generated scripts of one instance with different start values: each
// must give what the engine gives for the very text, compiled afresh.
TEST(HostScripts, ScriptsThatDifferOnlyInStartValuesAreCompiledOnce)
{
    auto t = std::make_unique<TFB_Type>();
    t->Name = "T";
    t->AddEventInput("REQ", "EVENT", "");
    t->AddDataInput("X", "INT", "", "", "");
    t->AddDataInput("R", "REAL", "", "", "");
    t->AddDataInput("B", "BOOL", "", "", "");
    t->AddDataInput("S", "STRING", "", "", "");
    t->AddDataOutput("OUT", "LREAL", "", "", "");
    t->AddInternalVar("CNT", "INT", "", "", "0");
    TFB_Manager m;
    m.Types.push_back(std::move(t));
    TFB_InstanceRef* r = m.CreateInstance("F", "T", true);
    THeadlessSimulationHost host;

    struct Values {
        const char *x, *r, *b, *cnt;
    };
    const Values table[] = {{"7", "2.5", "TRUE", "0"},          {"-3", "-0.1", "FALSE", "41"},
                            {"2147483647", "1e-3", "TRUE", "-2147483647"}, {"0", "0", "FALSE", "5"},
                            {"5", "123456.75", "TRUE", "-1"}};
    const std::string condition = "REQ AND (X > 5) OR B";
    const std::vector<std::string> algorithm{"CNT := CNT + X;", "DO_OUT := R * 2 + CNT;", "if B then DO_OUT := -DO_OUT;"};
    for (const auto& v : table) {
        SCOPED_TRACE(std::string(v.x) + " " + v.r + " " + v.b + " " + v.cnt);
        r->FindDataInput("X")->SetValueFromText(v.x);
        r->FindDataInput("R")->SetValueFromText(v.r);
        r->FindDataInput("B")->SetValueFromText(v.b);
        r->InternalVars[0]->SetValueFromText(v.cnt);
        for (const char* e : {"REQ", "-"}) {
            const std::string script = BuildTransitionScript(*r, condition, e);
            TVariant want;
            TScriptRunner fresh;
            fresh.PushReference(want);
            fresh.Execute(script);
            EXPECT_EQ(host.EvaluateTransitionScript(script), want.ToBoolean()) << script;
        }
        TAlgorithmScript a = BuildAlgorithmScript(*r, algorithm, "REQ");
        std::vector<TVariant> cells{TVariant(r->FindDataOutput("OUT")->RealValue), TVariant(r->InternalVars[0]->IntValue)};
        TScriptRunner fresh;
        for (auto& c : cells)
            fresh.PushReference(c);
        fresh.Execute(a.Text);
        host.ExecuteAlgorithmScript(a.Text, a.Outputs, a.Variables);
        EXPECT_EQ(r->FindDataOutput("OUT")->RealValue, cells[0].ToFloat()) << a.Text;
        EXPECT_EQ(r->InternalVars[0]->IntValue, cells[1].ToInteger()) << a.Text;
    }
    // One transition script (with the event or without, REQ is True or
    // False) and one algorithm.
    EXPECT_EQ(host.Scripts().Compilations(), 2u);

    // A text value is pasted in as it is: such scripts are compiled by text.
    for (const char* s : {"'a'", "'b'", "'a'"}) {
        r->FindDataInput("S")->SetValueFromText(s);
        EXPECT_TRUE(host.EvaluateTransitionScript(BuildTransitionScript(*r, "S <> ''", "-")));
    }
    EXPECT_EQ(host.Scripts().Compilations(), 4u);
}

} // namespace
