// Against a real IEC 61499 runtime: a 4diac FORTE built by hand, named by
// TELVO_FORTE. FORTE listens on every address whatever it is told, so the
// test runs only inside a network namespace that has loopback alone:
//
//   ip netns add telvo-forte && ip netns exec telvo-forte ip link set lo up
//   TELVO_FORTE=/path/to/forte ip netns exec telvo-forte
//       build/default/tests/deploy/test_deploy --gtest_filter='ForteRuntime.*'
//
// The test starts two runtimes itself on free loopback ports of the
// namespace it runs in. Otherwise it reports itself skipped.
//
// The engineer's own types need a FORTE built with Lua types
// (-DFORTE_USE_LUATYPES=Lua), named by TELVO_FORTE_LUA the same way
// (ForteLuaRuntime.*).

#include "deploy/recording_listener.h"
#include "support/own_basic_types.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <ifaddrs.h>
#include <iostream>
#include <memory>
#include <sstream>
#include <net/if.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace telvo::test {
namespace {

namespace fs = std::filesystem;

// Interfaces other than loopback that are up: FORTE would be reachable there.
bool onlyLoopback()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool alone = true;
    for (ifaddrs* i = list; i; i = i->ifa_next)
        if ((i->ifa_flags & IFF_UP) && !(i->ifa_flags & IFF_LOOPBACK))
            alone = false;
    ::freeifaddrs(list);
    return alone;
}

class TRuntimeProcess {
public:
    TRuntimeProcess(const std::string& program, const std::string& port)
    {
        const std::string endpoint = "127.0.0.1:" + port;
        const char* argv[] = {program.c_str(), "-c", endpoint.c_str(), nullptr};
        if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            pid_ = -1;
    }
    ~TRuntimeProcess()
    {
        if (pid_ <= 0)
            return;
        // A runtime whose device manager has stopped answering was seen to
        // ignore SIGTERM as well: it gets two seconds, then SIGKILL.
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 40; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    bool Started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

bool listening(const std::string& port)
{
    for (int i = 0; i < 100; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(std::stoi(port)));
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (ok)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Two runtimes, D1 and D2, on free loopback ports, and the CLI deploying a
// project to them and reading ports back.
class ForteRuntime : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* forte = std::getenv(Variable());
        if (!forte || !*forte)
            GTEST_SKIP() << Variable() << " does not name a 4diac FORTE executable";
        if (!onlyLoopback())
            GTEST_SKIP() << "FORTE listens on every address: run this inside a network namespace with loopback alone";
        Forte = forte;
        fs::copy(BuiltProgramDir() / "library", Home / "library", fs::copy_options::recursive);
    }

    virtual const char* Variable() const { return "TELVO_FORTE"; }

    // A project of the merged network `network` whose instances (name,
    // type) are distributed to D1 or D2, deployed to two runtimes started
    // for it; the deployment's output.
    std::string Deploy(const std::string& network, const std::vector<std::pair<std::string, std::string>>& d1,
                       const std::vector<std::pair<std::string, std::string>>& d2, int exitCode = 0,
                       std::string* err = nullptr)
    {
        Project.Write("merged.fbn", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                    "<FBNetwork IsInternalDeviceDiagram=\"false\">\n" +
                                        network + "</FBNetwork>\n");
        std::string records, devices;
        int left = 40;
        for (const auto& [device, instances] : {std::pair{"D1", &d1}, std::pair{"D2", &d2}}) {
            const std::string port = Ports.emplace_back(ClosedPort());
            devices += std::string("      <TslIECDeviceInstance Name=\"") + device +
                       "\" TypeName=\"IEC 61499 device\" Description=\"\" Left=\"" + std::to_string(left) +
                       "\" Top=\"40\" Width=\"72\" Height=\"64\" DeviceIPAddress=\"127.0.0.1\" DeviceAddressPort=\"" +
                       port + "\">\n        <DownloadedFBInstanceList>";
            for (const auto& [name, type] : *instances) {
                records += "    <ProjFBInstance Name=\"" + name + "\" FBType=\"" + type + "\"/>\n";
                devices += "<FBInstance FBName=\"" + name + "\"/>";
            }
            devices += "</DownloadedFBInstanceList>\n      </TslIECDeviceInstance>\n";
            left += 200;
        }
        Crf = Project
                  .Write("two.crf", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<telvo_project Name=\"Two\" Comment=\"|\">\n"
                                    "  <FBDiagrams><FBNetworkFile Name=\"Merged network\" Filename=\"merged.fbn\" "
                                    "Comment=\"\"/></FBDiagrams>\n  <ProjectFBInstances>\n" +
                                        records +
                                        "  </ProjectFBInstances>\n  <SystemLayer>\n    <SystemLayerObjectList>\n" +
                                        devices + "    </SystemLayerObjectList>\n  </SystemLayer>\n</telvo_project>\n")
                  .string();
        for (const std::string& port : Ports) {
            Runtimes.push_back(std::make_unique<TRuntimeProcess>(Forte, port));
            EXPECT_TRUE(Runtimes.back()->Started()) << Forte;
            EXPECT_TRUE(listening(port)) << port;
        }
        return Redeploy(exitCode, err);
    }

    // The project deployed again to the same runtimes, replacing what is
    // there; the deployment's output, and the exit status expected.
    std::string Redeploy(int exitCode, std::string* err = nullptr)
    {
        if (IdBase.empty())
            IdBase = "127.0.0.1:" + ClosedPort();
        auto deployed = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "deploy", Crf, "--target",
                                                    "forte", "--replace", "--id-base", IdBase});
        EXPECT_EQ(deployed.ExitCode, exitCode) << deployed.Out << deployed.Err;
        if (err)
            *err = deployed.Err;
        return deployed.Out;
    }

    // One port's value as `telvo device read` prints it, shown in the log.
    std::string Read(const std::string& device, const std::string& port)
    {
        auto r = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "device", "read", Crf, device, port});
        EXPECT_EQ(r.ExitCode, 0) << device << " " << port << ": " << r.Err;
        std::cout << "[ FORTE    ] " << device << " " << port << " = " << r.Out;
        return r.Out;
    }

    // A device call (watch, force, trigger) through the CLI, shown in the
    // log; its output.
    std::string Online(const std::vector<std::string>& words)
    {
        std::vector<std::string> args{"--home", Home.Path().string(), "device"};
        args.insert(args.end(), words.begin(), words.end());
        args.insert(args.begin() + 4, Crf);
        auto r = RunProcess(TELVO_CLI_PATH, args);
        EXPECT_EQ(r.ExitCode, 0) << words[0] << ": " << r.Err;
        std::cout << "[ FORTE    ] device";
        for (const auto& w : words)
            std::cout << " " << w;
        std::cout << "\n" << r.Out;
        return r.Out;
    }

    std::string Forte, Crf, IdBase;
    TempDir Home, Project;
    std::vector<std::string> Ports;
    std::vector<std::unique_ptr<TRuntimeProcess>> Runtimes;
};

TEST_F(ForteRuntime, ACounterOnOneDeviceSwitchesALatchOnAnother)
{
    Deploy(R"(  <FB Name="cyc" Type="E_CYCLE" x="100" y="100"/>
  <FB Name="ctu" Type="E_CTU" x="400" y="100"/>
  <FB Name="sr" Type="E_SR" x="700" y="100"/>
  <FB Name="mirror" Type="E_CTU" x="700" y="300"/>
  <DataConnections>
    <Connection Source="T#100ms" Destination="cyc.DT"/>
    <Connection Source="100" Destination="ctu.PV"/>
    <Connection Source="ctu.CV" Destination="mirror.PV"/>
  </DataConnections>
  <EventConnections>
    <Connection Source="cyc.EO" Destination="ctu.CU"/>
    <Connection Source="ctu.CUO" Destination="sr.S"/>
    <Connection Source="ctu.CUO" Destination="mirror.CU"/>
  </EventConnections>
)",
           {{"cyc", "E_CYCLE"}, {"ctu", "E_CTU"}}, {{"sr", "E_SR"}, {"mirror", "E_CTU"}});
    ASSERT_FALSE(HasFailure());
    const std::string cvFirst = Read("D1", "ctu.CV");
    Read("D2", "sr.Q"); // most often still FALSE: shown, not checked
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::string cv = Read("D1", "ctu.CV");
    // E_SR starts reset: TRUE means the counter's events crossed to D2.
    const std::string q = Read("D2", "sr.Q");
    // The mirror counts the same events and takes the count, a data
    // output, from D1 through a publish/subscribe pair of its own. FORTE
    // watches a new subscriber's socket only from the next turn of its
    // select loop (a second at most): what arrives before then comes as one
    // burst, and its queue of ten external events drops the rest. So the
    // mirror is measured over the second after that.
    const std::string mirrorPv = Read("D2", "mirror.PV");
    const std::string mirrorFirst = Read("D2", "mirror.CV");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::string mirrorThen = Read("D2", "mirror.CV");
    ASSERT_FALSE(HasFailure()) << "a read failed";
    EXPECT_GE(std::stoi(cv), 8);
    EXPECT_GT(std::stoi(cv), std::stoi(cvFirst));
    EXPECT_EQ(q, "TRUE\n");
    EXPECT_GE(std::stoi(mirrorPv), 1);
    EXPECT_GE(std::stoi(mirrorThen) - std::stoi(mirrorFirst), 8);
}

// Types of our own the runtime cannot know: TICKS holds a TICK (itself
// holding an E_CYCLE) and an E_CTU. Both are flattened, the inner FBs
// named after their records (ticks-T-CYC), and the counter still counts.
TEST_F(ForteRuntime, NestedCompositesTheRuntimeLacksRunAsTheirInnerNetworks)
{
    Home.Write("library/own/TICK.fbt", R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="TICK">
  <InterfaceList>
    <EventInputs><Event Name="START"><With Var="DT"/></Event><Event Name="STOP"/></EventInputs>
    <EventOutputs><Event Name="EO"/></EventOutputs>
    <InputVars><VarDeclaration Name="DT" Type="TIME"/></InputVars>
  </InterfaceList>
  <FBNetwork>
    <FB Name="CYC" Type="E_CYCLE" x="100" y="100"/>
    <EventConnections>
      <Connection Source="START" Destination="CYC.START"/>
      <Connection Source="STOP" Destination="CYC.STOP"/>
      <Connection Source="CYC.EO" Destination="EO"/>
    </EventConnections>
    <DataConnections><Connection Source="DT" Destination="CYC.DT"/></DataConnections>
  </FBNetwork>
</FBType>
)");
    Home.Write("library/own/TICKS.fbt", R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="TICKS">
  <InterfaceList>
    <EventInputs><Event Name="START"><With Var="DT"/></Event></EventInputs>
    <EventOutputs><Event Name="CNF"><With Var="CV"/></Event></EventOutputs>
    <InputVars><VarDeclaration Name="DT" Type="TIME"/></InputVars>
    <OutputVars><VarDeclaration Name="CV" Type="INT"/></OutputVars>
  </InterfaceList>
  <FBNetwork>
    <FB Name="T" Type="TICK" x="100" y="100"/>
    <FB Name="C" Type="E_CTU" x="400" y="100"/>
    <EventConnections>
      <Connection Source="START" Destination="T.START"/>
      <Connection Source="T.EO" Destination="C.CU"/>
      <Connection Source="C.CUO" Destination="CNF"/>
    </EventConnections>
    <DataConnections>
      <Connection Source="DT" Destination="T.DT"/>
      <Connection Source="100" Destination="C.PV"/>
      <Connection Source="C.CV" Destination="CV"/>
    </DataConnections>
  </FBNetwork>
</FBType>
)");
    const std::string out = Deploy(R"(  <FB Name="ticks" Type="TICKS" x="100" y="100"/>
  <FB Name="sr" Type="E_SR" x="700" y="100"/>
  <DataConnections><Connection Source="T#100ms" Destination="ticks.DT"/></DataConnections>
  <EventConnections><Connection Source="ticks.CNF" Destination="sr.S"/></EventConnections>
)",
                                   {{"ticks", "TICKS"}}, {{"sr", "E_SR"}});
    ASSERT_FALSE(HasFailure());
    EXPECT_THAT(out, ::testing::HasSubstr("Device D1 does not know the composite type TICKS: its instances "
                                          "are sent as their inner networks.\n"));
    EXPECT_THAT(out, ::testing::HasSubstr("Device D1 does not know the composite type TICK: its instances "
                                          "are sent as their inner networks.\n"));
    EXPECT_THAT(out, ::testing::HasSubstr("<Connection Source=\"START.COLD\" Destination=\"ticks-T-CYC.START\"/>"));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::string cv = Read("D1", "ticks-C.CV");
    const std::string q = Read("D2", "sr.Q");
    ASSERT_FALSE(HasFailure()) << "a read failed";
    EXPECT_GE(std::stoi(cv), 8);
    EXPECT_EQ(q, "TRUE\n");
}

// Online work on a running counter: a forced preset switches its output
// on, a triggered reset starts the count again, watched counts rise from
// poll to poll, and clearing the force lets the preset go.
TEST_F(ForteRuntime, ACounterIsForcedTriggeredAndWatched)
{
    Deploy(R"(  <FB Name="cyc" Type="E_CYCLE" x="100" y="100"/>
  <FB Name="ctu" Type="E_CTU" x="400" y="100"/>
  <DataConnections>
    <Connection Source="T#50ms" Destination="cyc.DT"/>
    <Connection Source="1000" Destination="ctu.PV"/>
  </DataConnections>
  <EventConnections><Connection Source="cyc.EO" Destination="ctu.CU"/></EventConnections>
)",
           {{"cyc", "E_CYCLE"}, {"ctu", "E_CTU"}}, {});
    ASSERT_FALSE(HasFailure());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Online({"force", "D1", "ctu.PV", "3"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string forced = Online({"watch", "D1", "ctu.PV", "ctu.Q", "ctu.CV", "--count", "1"});
    Online({"trigger", "D1", "ctu.R"});
    const std::string reset = Online({"watch", "D1", "ctu.CV", "--count", "1"});
    const std::string polls = Online({"watch", "D1", "ctu.CV", "ctu.CU", "--count", "3", "--interval", "200"});
    Online({"force", "D1", "ctu.PV", "--clear"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string cleared = Online({"watch", "D1", "ctu.PV", "ctu.Q", "ctu.CV", "--count", "1"});
    ASSERT_FALSE(HasFailure()) << "a call failed";

    EXPECT_THAT(forced, ::testing::HasSubstr("ctu.PV\t3\tforced\nctu.Q\tTRUE\n"));
    // Counted from naught again: a few cycles at most since the reset.
    const auto field = [](const std::string& text, size_t line) {
        std::istringstream in(text);
        std::string l;
        for (size_t i = 0; i <= line; ++i)
            std::getline(in, l);
        return std::stoi(l.substr(l.find('\t') + 1));
    };
    EXPECT_LT(field(reset, 0), field(forced, 2));
    EXPECT_LT(field(polls, 0), field(polls, 2));
    EXPECT_LT(field(polls, 2), field(polls, 4));
    EXPECT_LT(field(polls, 1), field(polls, 3));
    EXPECT_LT(field(polls, 3), field(polls, 5));
    EXPECT_THAT(cleared, ::testing::HasSubstr("ctu.Q\tFALSE\n"));
}

// THRESH: an own type beside COUNTER. REQ with X at LIMIT or above counts
// a hit in HITS and passes CNF with N, the hits; below it, nothing.
const char* const kThreshType = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="THRESH">
  <InterfaceList>
    <EventInputs><Event Name="REQ"><With Var="X"/></Event></EventInputs>
    <EventOutputs><Event Name="CNF"><With Var="N"/><With Var="HIGH"/></Event></EventOutputs>
    <InputVars><VarDeclaration Name="X" Type="INT"/></InputVars>
    <OutputVars><VarDeclaration Name="N" Type="INT"/><VarDeclaration Name="HIGH" Type="BOOL"/></OutputVars>
  </InterfaceList>
  <BasicFB>
    <InternalVars>
      <VarDeclaration Name="HITS" Type="INT" InitialValue="0"/>
      <VarDeclaration Name="LIMIT" Type="INT" InitialValue="10"/>
    </InternalVars>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="HIT"><ECAction Algorithm="Hit" Output="CNF"/></ECState>
      <ECTransition Source="START" Destination="HIT" Condition="REQ AND (X &gt;= LIMIT)"/>
      <ECTransition Source="HIT" Destination="START" Condition="1"/>
    </ECC>
    <Algorithm Name="Hit"><Other Language="DelphiScript" Text="HITS := HITS + 1;&#10;if HITS mod 2 = 0 then&#10;  DO_HIGH := TRUE&#10;else&#10;  DO_HIGH := FALSE;&#10;DO_N := HITS;"/></Algorithm>
  </BasicFB>
</FBType>
)xml";

// A cycle drives the own COUNTER, whose count feeds the own THRESH; THRESH's
// hits set a latch on the other device.
const char* const kOwnNetwork = R"(  <FB Name="cyc" Type="E_CYCLE" x="100" y="100"/>
  <FB Name="cnt" Type="COUNTER" x="400" y="100"/>
  <FB Name="th" Type="THRESH" x="700" y="100"/>
  <FB Name="sr" Type="E_SR" x="1000" y="100"/>
  <DataConnections>
    <Connection Source="T#50ms" Destination="cyc.DT"/>
    <Connection Source="cnt.CV" Destination="th.X"/>
  </DataConnections>
  <EventConnections>
    <Connection Source="cyc.EO" Destination="cnt.CU"/>
    <Connection Source="cnt.CUO" Destination="th.REQ"/>
    <Connection Source="th.CNF" Destination="sr.S"/>
  </EventConnections>
)";

// A plain runtime, without type loading, refuses the project's own types
// by name before anything is created.
TEST_F(ForteRuntime, APlainRuntimeRefusesOwnTypesNamingThem)
{
    Home.Write("library/own/COUNTER.fbt", kCounterType);
    Home.Write("library/own/THRESH.fbt", kThreshType);
    std::string err;
    const std::string out =
        Deploy(kOwnNetwork, {{"cyc", "E_CYCLE"}, {"cnt", "COUNTER"}, {"th", "THRESH"}}, {{"sr", "E_SR"}}, 1, &err);
    std::cout << "[ FORTE    ] " << err;
    EXPECT_EQ(err, "telvo: Device D1 cannot load FB types: COUNTER is not among its types.\n");
    EXPECT_THAT(out, ::testing::Not(::testing::HasSubstr("<FB Name=\"cnt\"")));
}

class ForteLuaRuntime : public ForteRuntime {
protected:
    const char* Variable() const override { return "TELVO_FORTE_LUA"; }
};

// Two own basic types beside E_CYCLE run on the runtime: the counter
// counts, the threshold type hits, the latch on the other device is set;
// after a change to the counter's algorithm and a redeploy the new
// behaviour runs, under a new type name.
TEST_F(ForteLuaRuntime, OwnTypesRunAndAChangeTakesEffectAfterARedeploy)
{
    Home.Write("library/own/COUNTER.fbt", kCounterType);
    Home.Write("library/own/THRESH.fbt", kThreshType);
    const std::string out =
        Deploy(kOwnNetwork, {{"cyc", "E_CYCLE"}, {"cnt", "COUNTER"}, {"th", "THRESH"}}, {{"sr", "E_SR"}});
    ASSERT_FALSE(HasFailure());
    EXPECT_THAT(out, ::testing::HasSubstr("Action=\"CREATE\"><FBType Name=\"COUNTER_v"));
    EXPECT_THAT(out, ::testing::HasSubstr("Action=\"CREATE\"><FBType Name=\"THRESH_v"));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::string cv = Read("D1", "cnt.CV");
    const std::string n = Read("D1", "th.N");
    const std::string q = Read("D2", "sr.Q");
    ASSERT_FALSE(HasFailure()) << "a read failed";
    // 1 a tick up to 5, then 2 a tick: about 20 ticks in a second.
    EXPECT_GE(std::stoi(cv), 12);
    EXPECT_GE(std::stoi(n), 1);
    EXPECT_EQ(q, "TRUE\n");

    std::string changed = kCounterType;
    const std::string step = "CNT := CNT + STEP * 2;";
    changed.replace(changed.find(step), step.size(), "CNT := CNT + STEP * 100;");
    Home.Write("library/own/COUNTER.fbt", changed);
    const std::string again = Redeploy(0);
    EXPECT_THAT(again, ::testing::HasSubstr("Action=\"CREATE\"><FBType Name=\"COUNTER_v"));
    EXPECT_THAT(again, ::testing::Not(::testing::HasSubstr("<FBType Name=\"THRESH_v")));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::string faster = Read("D1", "cnt.CV");
    ASSERT_FALSE(HasFailure()) << "a read failed";
    EXPECT_GE(std::stoi(faster), 1000);
}

} // namespace
} // namespace telvo::test
