// Against a real IEC 61499 runtime: a 4diac FORTE built by hand, named by
// TELVO_FORTE. FORTE listens on every address whatever it is told, so the
// test runs only inside a network namespace that has loopback alone:
//
//   ip netns add telvo-forte && ip netns exec telvo-forte ip link set lo up
//   TELVO_FORTE=/path/to/forte ip netns exec telvo-forte
//       build/default/tests/deploy/test_deploy --gtest_filter='ForteRuntime.*'
//
// Otherwise it reports itself skipped.

#include "deploy/recording_listener.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <ifaddrs.h>
#include <net/if.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
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

TEST(ForteRuntime, ACounterOnOneDeviceSwitchesALatchOnAnother)
{
    const char* forte = std::getenv("TELVO_FORTE");
    if (!forte || !*forte)
        GTEST_SKIP() << "TELVO_FORTE does not name a 4diac FORTE executable";
    if (!onlyLoopback())
        GTEST_SKIP() << "FORTE listens on every address: run this inside a network namespace with loopback alone";

    TempDir home, project;
    fs::copy(BuiltProgramDir() / "library", home / "library", fs::copy_options::recursive);
    const std::string p1 = ClosedPort(), p2 = ClosedPort();
    project.Write("merged.fbn", R"(<?xml version="1.0" encoding="UTF-8"?>
<FBNetwork IsInternalDeviceDiagram="false">
  <FB Name="cyc" Type="E_CYCLE" x="100" y="100"/>
  <FB Name="ctu" Type="E_CTU" x="400" y="100"/>
  <FB Name="sr" Type="E_SR" x="700" y="100"/>
  <DataConnections>
    <Connection Source="T#100ms" Destination="cyc.DT"/>
    <Connection Source="100" Destination="ctu.PV"/>
  </DataConnections>
  <EventConnections>
    <Connection Source="cyc.EO" Destination="ctu.CU"/>
    <Connection Source="ctu.CUO" Destination="sr.S"/>
  </EventConnections>
</FBNetwork>
)");
    const std::string crf = project.Write("two.crf", R"(<?xml version="1.0" encoding="UTF-8"?>
<telvo_project Name="Two" Comment="|">
  <FBDiagrams><FBNetworkFile Name="Merged network" Filename="merged.fbn" Comment=""/></FBDiagrams>
  <ProjectFBInstances>
    <ProjFBInstance Name="cyc" FBType="E_CYCLE"/>
    <ProjFBInstance Name="ctu" FBType="E_CTU"/>
    <ProjFBInstance Name="sr" FBType="E_SR"/>
  </ProjectFBInstances>
  <SystemLayer>
    <SystemLayerObjectList>
      <TslIECDeviceInstance Name="D1" TypeName="IEC 61499 device" Description="" Left="40" Top="40" Width="72" Height="64" DeviceIPAddress="127.0.0.1" DeviceAddressPort=")" + p1 + R"(">
        <DownloadedFBInstanceList><FBInstance FBName="cyc"/><FBInstance FBName="ctu"/></DownloadedFBInstanceList>
      </TslIECDeviceInstance>
      <TslIECDeviceInstance Name="D2" TypeName="IEC 61499 device" Description="" Left="240" Top="40" Width="72" Height="64" DeviceIPAddress="127.0.0.1" DeviceAddressPort=")" + p2 + R"(">
        <DownloadedFBInstanceList><FBInstance FBName="sr"/></DownloadedFBInstanceList>
      </TslIECDeviceInstance>
    </SystemLayerObjectList>
  </SystemLayer>
</telvo_project>
)").string();

    TRuntimeProcess d1(forte, p1), d2(forte, p2);
    ASSERT_TRUE(d1.Started() && d2.Started()) << forte;
    ASSERT_TRUE(listening(p1) && listening(p2));
    const std::string h = home.Path().string();
    auto deployed = RunProcess(TELVO_CLI_PATH, {"--home", h, "deploy", crf, "--target", "forte", "--replace",
                                                "--id-base", "127.0.0.1:" + ClosedPort()});
    ASSERT_EQ(deployed.ExitCode, 0) << deployed.Out << deployed.Err;
    auto before = RunProcess(TELVO_CLI_PATH, {"--home", h, "device", "read", crf, "D1", "ctu.CV"});
    std::this_thread::sleep_for(std::chrono::seconds(1));
    auto cv = RunProcess(TELVO_CLI_PATH, {"--home", h, "device", "read", crf, "D1", "ctu.CV"});
    auto q = RunProcess(TELVO_CLI_PATH, {"--home", h, "device", "read", crf, "D2", "sr.Q"});
    ASSERT_EQ(cv.ExitCode, 0) << cv.Err;
    ASSERT_EQ(q.ExitCode, 0) << q.Err;
    std::cout << "[ FORTE    ] CV " << before.Out.substr(0, before.Out.find('\n')) << " then " << cv.Out
              << "[ FORTE    ] Q " << q.Out;
    EXPECT_GE(std::stoi(cv.Out), 8);
    EXPECT_EQ(q.Out, "TRUE\n");
}

} // namespace
} // namespace telvo::test
