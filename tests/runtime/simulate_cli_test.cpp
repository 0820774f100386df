// telvo simulate: a network file run headless, its tables, states and
// values printed.

#include "runtime/sim_fixture.h"

#include <algorithm>
#include <sstream>

using namespace telvo;
using namespace telvo::test;

namespace {

std::vector<std::string> outputLines(const std::string& out)
{
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

class SimulateCli : public SimTest {
protected:
    SimulateCli()
    {
        Net = Home.Write("pair.fbn", Network(R"(<FB Name="A" Type="PULSE" x="0" y="0"/>
            <FB Name="B" Type="PULSE" x="0" y="0"/>
            <EventConnections><Connection Source="A.CNF" Destination="B.REQ"/></EventConnections>
            <DataConnections><Connection Source="A.OUT" Destination="B.IN1"/></DataConnections>)"))
                  .string();
    }
    ProcessResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--home", Home.Path().string(), "simulate"});
        return RunProcess(TELVO_CLI_PATH, args);
    }
    std::string Net;
};

TEST_F(SimulateCli, PrintsTablesStatesAndValues)
{
    const ProcessResult r = Run({Net, "--event", "A.REQ", "--set", "A.IN1=10", "--steps", "2"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    std::vector<std::string> lines = outputLines(r.Out);
    ASSERT_EQ(lines.size(), 18u) << r.Out;
    // The two DESTROY rows come in the order the two threads took DESTROY.
    if (lines[4] > lines[5])
        std::swap(lines[4], lines[5]);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         // The last column is the closing pass, not a step.
                         "FB.Event(Algorithm)\tt1\tt2\tt3 (stop)",
                         "Daemon.Resumed()\t--\t--\t--",
                         "A.REQ()\t--\t\t",
                         "B.REQ()\t\t--\t",
                         "A.DESTROY()\t\t\t--",
                         "B.DESTROY()\t\t\t--",
                         "FB Name\tt1\tt2\tt3 (stop)",
                         "Daemon\t--\t--\t--",
                         "A\t--\t\t--",
                         "B\t\t--\t--",
                         "state\tA\tSTART",
                         "state\tB\tSTART",
                         "value\tA.IN1\t10",
                         "value\tA.OUT\t11",
                         "var\tA.CNT\t1",
                         "value\tB.IN1\t11",
                         "value\tB.OUT\t12",
                         "var\tB.CNT\t1",
                     }))
        << r.Out;
    EXPECT_EQ(r.Err, "");
}

TEST_F(SimulateCli, MonitorLimitsTheValueLinesToTheNamedPorts)
{
    struct Case {
        const char* what;
        std::vector<std::string> monitors;
        std::vector<std::string> values;
    };
    const Case cases[] = {
        {"one output", {"B.OUT"}, {"value\tB.OUT\t12"}},
        // In the order of the instances and their ports, not of the options.
        {"an output, an input and a variable",
         {"B.OUT", "--monitor", "A.IN1", "--monitor", "A.CNT"},
         {"value\tA.IN1\t10", "var\tA.CNT\t1", "value\tB.OUT\t12"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args{Net, "--event", "A.REQ", "--set", "A.IN1=10", "--steps", "2", "--monitor"};
        args.insert(args.end(), c.monitors.begin(), c.monitors.end());
        const ProcessResult r = Run(args);
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        std::vector<std::string> values;
        for (const auto& l : outputLines(r.Out))
            if (l.rfind("value\t", 0) == 0 || l.rfind("var\t", 0) == 0)
                values.push_back(l);
        EXPECT_EQ(values, c.values) << r.Out;
        // States and tables are printed as without --monitor.
        EXPECT_NE(r.Out.find("state\tA\tSTART\nstate\tB\tSTART\n"), std::string::npos) << r.Out;
    }
}

TEST_F(SimulateCli, LogShowsTheDebugMessages)
{
    const ProcessResult r = Run({Net, "--steps=0", "--log"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const auto lines = outputLines(r.Out);
    const auto log = WithoutTime(LinesContaining(lines, "Daemon "));
    EXPECT_EQ(log, (std::vector<std::string>{"Daemon Started!", "Daemon Suspended!", "Daemon destroyed!"}));
    EXPECT_EQ(LinesContaining(lines, "SetFBInfo.I am: ").size(), 2u);
}

TEST_F(SimulateCli, ABusyFBIsReportedAndTheRunStillEnds)
{
    const std::string net = Home.Write("loop.fbn", Network(R"(<FB Name="L" Type="LOOPER" x="0" y="0"/>)")).string();
    const ProcessResult r = Run({net, "--event", "L.REQ", "--steps", "1", "--pause", "1"});
    // The step waits up to 10 s for L; then the run is stopped.
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, "telvo: step 1 did not come to rest: busy L\n");
    EXPECT_NE(r.Out.find("state\tL\t"), std::string::npos) << r.Out;
}

TEST_F(SimulateCli, FailedScriptsGoToStderrAndExitThreeAfterTheTables)
{
    // BROKEN's first condition does not compile (twice: on REQ and on the
    // event-less pass after it) and its algorithm raises.
    const std::string net = Home.Write("broken.fbn", Network(R"(<FB Name="F" Type="BROKEN" x="0" y="0"/>)")).string();
    const ProcessResult r = Run({net, "--event", "F.REQ", "--steps", "1"});
    EXPECT_EQ(r.ExitCode, 3) << r.Err;
    const auto err = outputLines(r.Err);
    ASSERT_EQ(err.size(), 3u) << r.Err;
    for (size_t i : {0u, 2u})
        EXPECT_EQ(err[i].rfind("telvo: F:: Script failed: Error compiling chkTransition. ", 0), 0u) << err[i];
    EXPECT_EQ(err[1], "telvo: F:: Script failed: no luck in \"procedure execAlg(\"");
    // The run was still reported in full.
    const auto lines = outputLines(r.Out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("FB.Event(Algorithm)\t", 0), 0u) << r.Out;
    EXPECT_NE(r.Out.find("value\tF.OUT\t0\n"), std::string::npos) << r.Out;
}

TEST_F(SimulateCli, InstancesThatCouldNotBeMadeAreNamedAndTheRestStillRuns)
{
    const std::string net = Home.Write("ghost.fbn", Network(R"(<FB Name="A" Type="PULSE" x="0" y="0"/>
            <FB Name="G" Type="GHOST" x="0" y="0"/>
            <FB Name="H" Type="PHANTOM" x="0" y="0"/>
            <EventConnections><Connection Source="G.CNF" Destination="A.REQ"/></EventConnections>)"))
                                  .string();
    const ProcessResult r = Run({net, "--event", "A.REQ", "--steps", "1"});
    EXPECT_EQ(r.ExitCode, 1) << r.Err;
    const auto err = outputLines(r.Err);
    ASSERT_GE(err.size(), 2u) << r.Err;
    EXPECT_EQ(std::vector<std::string>(err.end() - 2, err.end()),
              (std::vector<std::string>{"telvo: instance G (type GHOST) could not be created",
                                        "telvo: instance H (type PHANTOM) could not be created"}))
        << r.Err;
    // A ran all the same.
    EXPECT_NE(r.Out.find("A.REQ()\t--\t\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("var\tA.CNT\t1\n"), std::string::npos) << r.Out;
}

// ACC: IEC integer and real ports. REQ adds (DO_SUM := DO_SUM + X * 2 and
// more); OVER takes a SINT past 127; BIG copies the USINT input to an
// output.
const char* const kAccType = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="ACC">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/><Event Name="OVER"/><Event Name="BIG"/></EventInputs>
    <EventOutputs><Event Name="CNF"/></EventOutputs>
    <InputVars>
      <VarDeclaration Name="X" Type="DINT"/><VarDeclaration Name="W" Type="WORD"/>
      <VarDeclaration Name="SMALL" Type="USINT"/>
    </InputVars>
    <OutputVars>
      <VarDeclaration Name="SUM" Type="DINT"/><VarDeclaration Name="U" Type="UDINT"/>
      <VarDeclaration Name="L" Type="LREAL"/><VarDeclaration Name="S8" Type="SINT"/>
    </OutputVars>
  </InterfaceList>
  <BasicFB>
    <InternalVars><VarDeclaration Name="N" Type="DINT"/></InternalVars>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="ADD"><ECAction Algorithm="Add" Output="CNF"/></ECState>
      <ECState Name="OVER"><ECAction Algorithm="Over" Output="CNF"/></ECState>
      <ECState Name="BIG"><ECAction Algorithm="Big" Output="CNF"/></ECState>
      <ECTransition Source="START" Destination="ADD" Condition="REQ"/>
      <ECTransition Source="START" Destination="OVER" Condition="OVER"/>
      <ECTransition Source="START" Destination="BIG" Condition="BIG"/>
      <ECTransition Source="ADD" Destination="START" Condition="1"/>
      <ECTransition Source="OVER" Destination="START" Condition="1"/>
      <ECTransition Source="BIG" Destination="START" Condition="1"/>
    </ECC>
    <Algorithm Name="Add"><Other Language="DelphiScript"
      Text="DO_SUM := DO_SUM + X * 2;&#10;DO_U := DO_U + W * 65536;&#10;DO_L := DO_L + X / 4;&#10;N := N + 1;"/></Algorithm>
    <Algorithm Name="Over"><Other Language="DelphiScript" Text="DO_S8 := 127;&#10;DO_S8 := DO_S8 + 1;"/></Algorithm>
    <Algorithm Name="Big"><Other Language="DelphiScript" Text="DO_U := SMALL;"/></Algorithm>
  </BasicFB>
</FBType>
)";

TEST_F(SimulateCli, IecIntegerTypesComputeAsIntegersAndRefuseWhatDoesNotFit)
{
    Home.Write("library/test/ACC.fbt", kAccType);
    const std::string net = Home.Write("acc.fbn", Network(R"(<FB Name="A" Type="ACC" x="0" y="0"/>)")).string();
    struct Case {
        const char* Name;
        std::vector<std::string> Args;
        int Code;
        std::vector<std::string> Values; // the lines of these ports
        const char* Err;
    };
    const Case cases[] = {
        // The input texts stay as they were set; UDINT goes past 2^31.
        {"arithmetic",
         {"--event", "A.REQ", "--set", "A.X=5", "--set", "A.W=16#FFFF"},
         0,
         {"value\tA.X\t5", "value\tA.W\t16#FFFF", "value\tA.SUM\t10", "value\tA.U\t4294901760",
          "value\tA.L\t1.2500000", "var\tA.N\t1"},
         ""},
        {"SINT past its range",
         {"--event", "A.OVER"},
         3,
         {"value\tA.S8\t"},
         "telvo: A:: Script failed: S8: 128 does not fit SINT (-128 to 127) in \"procedure execAlg(\"\n"},
        {"USINT given 300",
         {"--event", "A.BIG", "--set", "A.SMALL=300"},
         3,
         {"value\tA.SMALL\t300", "value\tA.U\t"},
         "telvo: A:: Script failed: SMALL: 300 does not fit USINT (0 to 255) in \"procedure execAlg(\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> args{net, "--steps", "2"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const ProcessResult r = Run(args);
        EXPECT_EQ(r.ExitCode, c.Code) << r.Err;
        EXPECT_EQ(r.Err, c.Err);
        const auto lines = outputLines(r.Out);
        for (const auto& v : c.Values)
            EXPECT_NE(std::find(lines.begin(), lines.end(), v), lines.end()) << v << "\n" << r.Out;
    }
}

TEST_F(SimulateCli, WrongUseIsRefused)
{
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* err;
    };
    const std::string missing = (Home / "none.fbn").string();
    const Case cases[] = {
        {{Net}, 2, "telvo: simulate needs --steps N\n"},
        {{Net, "--steps", "x"}, 2, "telvo: --steps needs a whole number, not 'x'\n"},
        {{Net, "--steps", "-1"}, 2, "telvo: --steps needs a whole number, not '-1'\n"},
        {{Net, "--steps", "1", "--event", "Z.REQ"}, 2, "telvo: no instance Z in diagram pair\n"},
        {{Net, "--steps", "1", "--event", "A.NOPE"}, 2, "telvo: instance A has no event input NOPE\n"},
        {{Net, "--steps", "1", "--event", "A"}, 2, "telvo: --event needs INST.EVENT, not 'A'\n"},
        {{Net, "--steps", "1", "--set", "A.IN1=ten"}, 2, "telvo: 'ten' is no value of A.IN1 (INT)\n"},
        {{Net, "--steps", "1", "--monitor", "A.NOPE"}, 2, "telvo: no data port A.NOPE in diagram pair\n"},
        {{Net, "--steps", "1", "--bogus"}, 2, "telvo: simulate: unknown option --bogus\nusage: telvo [--home DIR] simulate "
         "FILE [--diagram NAME] [--event INST.EV|IPT.IPP]... [--set INST.PORT=VALUE]... [--monitor INST.PORT]... --steps N "
         "[--log] [--pause MS]\n"},
        {{Net, "--steps"}, 2, "telvo: --steps needs a value\n"},
        {{missing, "--steps", "1"}, 1, nullptr},
    };
    for (const auto& c : cases) {
        const ProcessResult r = Run(c.args);
        std::string all;
        for (const auto& a : c.args)
            all += a + " ";
        EXPECT_EQ(r.ExitCode, c.code) << all << r.Err;
        if (c.err)
            EXPECT_EQ(r.Err, c.err) << all;
        else
            EXPECT_NE(r.Err.find("none.fbn"), std::string::npos) << r.Err;
        EXPECT_EQ(r.Out, "") << all;
    }
}

TEST_F(SimulateCli, AMalformedNetworkFileIsReported)
{
    const std::string bad = Home.Write("bad.fbn", "<FBNetwork><FB").string();
    const ProcessResult r = Run({bad, "--steps", "1"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("bad.fbn"), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
}

} // namespace

namespace {

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(SimulateProject, ADiagramOfTheExampleProjectByName)
{
    // The example plant's filling line: the motor is switched on, and a
    // bottle goes into the composite fill station (its inner GATE, then its
    // CTRL) and into the bottle counter.
    const std::string crf = (SourceDir() / "examples" / "plant" / "plant.crf").string();
    const ProcessResult r = RunProcess(TELVO_CLI_PATH, {"simulate", crf, "--diagram", "Filling line", "--event",
                                                        "motor.S", "--event", "bottle_split.EI", "--steps", "3"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const auto lines = outputLines(r.Out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "FB.Event(Algorithm)\tt1\tt2\tt3\tt4 (stop)");
    for (const char* want : {"Daemon.Resumed()\t--\t--\t--\t--", "motor.S()\t--\t\t\t", "bottle_split.EI()\t--\t\t\t",
                             "station-GATE.EI()\t\t--\t\t", "bottles.CU()\t\t--\t\t", "station-CTRL.REQ()\t\t\t--\t",
                             "state\tmotor\tSET", "value\tmotor.Q\tTRUE", "value\tstation.ENABLE\tTRUE",
                             "value\tbottles.PV\t1000", "value\tbottles.CV\t1"})
        EXPECT_TRUE(contains(lines, want)) << want << "\n" << r.Out;
}

TEST(SimulateProject, AnEventIPPFiresTheEventInputsItIsWiredTo)
{
    // conveyer0.BottleIn is wired to bottle_split.EI; conveyer0.Motor is a
    // data IPP.
    const std::string crf = (SourceDir() / "examples" / "plant" / "plant.crf").string();
    ProcessResult r = RunProcess(TELVO_CLI_PATH, {"simulate", crf, "--diagram", "Filling line", "--event",
                                                  "conveyer0.BottleIn", "--steps", "2"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const auto lines = outputLines(r.Out);
    for (const char* want : {"bottle_split.EI()\t--\t\t", "bottles.CU()\t\t--\t", "value\tbottles.CV\t1"})
        EXPECT_TRUE(contains(lines, want)) << want << "\n" << r.Out;

    r = RunProcess(TELVO_CLI_PATH, {"simulate", crf, "--diagram", "Filling line", "--event", "conveyer0.Motor",
                                    "--steps", "1"});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(r.Err, "telvo: IPP conveyer0.Motor is wired to no event input in diagram Filling line\n");
    r = RunProcess(TELVO_CLI_PATH, {"simulate", crf, "--diagram", "Filling line", "--event", "conveyer0.Nothing",
                                    "--steps", "1"});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(r.Err, "telvo: no instance conveyer0 in diagram Filling line\n");
    EXPECT_EQ(r.Out, "");
}

TEST(SimulateProject, TheDiagramMustBeNamedAndExistAndTheNamesAreListed)
{
    const std::string crf = (SourceDir() / "examples" / "plant" / "plant.crf").string();
    const std::string list = "the project's diagrams are:\n  Filling line\n  Operator panel\n  Merged network\n";
    ProcessResult r = RunProcess(TELVO_CLI_PATH, {"simulate", crf, "--steps", "1"});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(r.Err, "telvo: a project needs --diagram NAME\n" + list);
    r = RunProcess(TELVO_CLI_PATH, {"simulate", crf, "--diagram", "Nowhere", "--steps", "1"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, "telvo: no diagram Nowhere in project " + crf + "\n" + list);
    EXPECT_EQ(r.Out, "");
}

} // namespace
