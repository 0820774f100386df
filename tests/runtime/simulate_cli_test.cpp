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
    const ProcessResult r = Run({Net, "--event", "A.REQ", "--set", "A.IN1=10", "--monitor", "B.OUT", "--steps", "2"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    std::vector<std::string> lines = outputLines(r.Out);
    ASSERT_EQ(lines.size(), 18u) << r.Out;
    // The two DESTROY rows come in the order the two threads took DESTROY.
    if (lines[4] > lines[5])
        std::swap(lines[4], lines[5]);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "FB.Event(Algorithm)\tt1\tt2\tt3",
                         "Daemon.Resumed()\t--\t--\t--",
                         "A.REQ()\t--\t\t",
                         "B.REQ()\t\t--\t",
                         "A.DESTROY()\t\t\t--",
                         "B.DESTROY()\t\t\t--",
                         "FB Name\tt1\tt2\tt3",
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
         "FILE [--diagram NAME] [--event INST.EV]... [--set INST.PORT=VALUE]... [--monitor INST.PORT]... --steps N "
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
    EXPECT_EQ(lines[0], "FB.Event(Algorithm)\tt1\tt2\tt3\tt4");
    for (const char* want : {"Daemon.Resumed()\t--\t--\t--\t--", "motor.S()\t--\t\t\t", "bottle_split.EI()\t--\t\t\t",
                             "station-GATE.EI()\t\t--\t\t", "bottles.CU()\t\t--\t\t", "station-CTRL.REQ()\t\t\t--\t",
                             "state\tmotor\tSET", "value\tmotor.Q\tTRUE", "value\tstation.ENABLE\tTRUE",
                             "value\tbottles.PV\t1000", "value\tbottles.CV\t1"})
        EXPECT_TRUE(contains(lines, want)) << want << "\n" << r.Out;
}

TEST(SimulateProject, TheDiagramMustBeNamedAndExist)
{
    const std::string crf = (SourceDir() / "examples" / "plant" / "plant.crf").string();
    ProcessResult r = RunProcess(TELVO_CLI_PATH, {"simulate", crf, "--steps", "1"});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(r.Err, "telvo: a project needs --diagram NAME\n");
    r = RunProcess(TELVO_CLI_PATH, {"simulate", crf, "--diagram", "Nowhere", "--steps", "1"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, "telvo: no diagram Nowhere in project " + crf + "\n");
    EXPECT_EQ(r.Out, "");
}

} // namespace
