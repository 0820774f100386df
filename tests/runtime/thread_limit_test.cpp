// A run that the system refuses a thread ends what it started, at once, and
// says so, instead of hanging; inside a process with a real thread limit.

#include "runtime/sim_fixture.h"

#include "runtime/script/pas_script_compiler.h"
#include "runtime/script/script_runner.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace telvo;
using namespace telvo::test;

namespace {

using Clock = std::chrono::steady_clock;

size_t threadsOfThisProcess()
{
    size_t n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

// Runs body in a child process that may make `extraThreads` threads beside
// those it has, and returns what body returned; "skip: ..." when no limit
// can be set here. RLIMIT_NPROC counts every thread of a user and binds
// no one with CAP_SYS_RESOURCE: a child of root first becomes a user of its
// own (one no other process has, so that it counts alone).
std::string underThreadLimit(size_t extraThreads, const std::function<std::string()>& body)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "skip: no pipe";
    const pid_t pid = ::fork();
    if (pid < 0)
        return "skip: no fork";
    if (pid == 0) {
        ::close(fds[0]);
        std::string report;
        bool limited = true;
        if (::geteuid() == 0) {
            const uid_t user = 200000 + static_cast<uid_t>(::getpid());
            limited = ::setgroups(0, nullptr) == 0 && ::setgid(user) == 0 && ::setuid(user) == 0;
            if (!limited)
                report = "skip: cannot become a user of its own";
        }
        if (limited) {
            const rlim_t n = threadsOfThisProcess() + extraThreads;
            const rlimit limit{n, n};
            if (::setrlimit(RLIMIT_NPROC, &limit) != 0)
                report = "skip: cannot set RLIMIT_NPROC";
            else
                report = body();
        }
        for (size_t done = 0; done < report.size();) {
            const ssize_t w = ::write(fds[1], report.data() + done, report.size() - done);
            if (w <= 0)
                break;
            done += static_cast<size_t>(w);
        }
        // No exit handlers: they are the parent's (and a leak check would
        // want a thread of its own).
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string report;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    bool hung = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            hung = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[512];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        report.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (hung)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return hung ? "hung" : report;
}

TEST_F(SimTest, ARefusedThreadEndsTheRunItBeganWithinASecond)
{
    constexpr int kFBs = 40;
    std::string net;
    for (int i = 0; i < kFBs; ++i)
        net += "<FB Name=\"P" + std::to_string(i) + "\" Type=\"PULSE\" x=\"0\" y=\"0\"/>";
    Load(net);

    struct Case {
        const char* what;
        size_t threads; // the child may make this many
        const char* message;
    };
    const Case cases[] = {
        {"an FB is refused its thread", 12, "Cannot simulate: the system refused a thread after 12 FBs"},
        {"the daemon is refused its thread", kFBs, "Cannot simulate: the system refused a thread after 40 FBs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string report = underThreadLimit(c.threads, [&] {
            std::string message = "nothing refused";
            const auto t0 = Clock::now();
            size_t listed = 0;
            {
                THeadlessSimulation sim(*Diagram);
                try {
                    sim.Start({EventIn("P0.REQ")});
                } catch (const ESimulationRefused& e) {
                    message = e.what();
                }
                listed = sim.Environment.RuntimeFBs().size();
            }
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
            return message + "\n" + std::to_string(listed) + " listed\n" + std::to_string(SimulationThreads()) +
                   " threads\n" + (ms < 1000 ? "within a second" : std::to_string(ms) + " ms") + "\n";
        });
        if (report.rfind("skip: ", 0) == 0)
            GTEST_SKIP() << report.substr(6);
        EXPECT_EQ(report, std::string(c.message) + "\n0 listed\n0 threads\nwithin a second\n");
    }
}

TEST_F(SimTest, TheDeepestScriptRunsOnTheSmallStackOfAnFB)
{
    // FB threads have small stacks; the compiler's nesting limit and the
    // runner's limit on nested runs are what keep a script within them. The
    // deepest script there is: an expression nested almost to the limit,
    // evaluated at the bottom of a chain of nested Evaluate calls as long
    // as the runner allows (each link a text in an internal variable).
    const int depth = kMaxScriptNesting - 5;
    const int links = TScriptRunner::kMaxNestedRuns - 2;
    // Text variables start as '' (a text's value goes into the script as it
    // is written).
    std::string vars = R"(<VarDeclaration Name="S" Type="STRING" InitialValue="''"/>)";
    std::string text = "S := '" + std::string(depth, '(') + "1" + std::string(depth, ')') + "';&#10;";
    for (int i = 1; i <= links; ++i) {
        const std::string v = "V" + std::to_string(i);
        vars += "<VarDeclaration Name=\"" + v + "\" Type=\"STRING\" InitialValue=\"''\"/>";
        text += v + " := 'Evaluate(" + (i == 1 ? std::string("S") : "V" + std::to_string(i - 1)) + ")';&#10;";
    }
    text += "DO_OUT := Evaluate(V" + std::to_string(links) + ");";
    Home.Write("library/test/DEEP.fbt", R"(<FBType Name="DEEP">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/></EventInputs>
    <OutputVars><VarDeclaration Name="OUT" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB>
    <InternalVars>)" + vars + R"(</InternalVars>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="RUN"><ECAction Algorithm="Deep" Output=""/></ECState>
      <ECTransition Source="START" Destination="RUN" Condition="REQ"/>
    </ECC>
    <Algorithm Name="Deep"><Other Language="DelphiScript" Text=")" + text + R"("/></Algorithm>
  </BasicFB>
</FBType>)");
    Bench->IndexLibrary();
    Load(R"(<FB Name="D" Type="DEEP" x="0" y="0"/>)");
    THeadlessSimulation sim(*Diagram);
    sim.Start({EventIn("D.REQ")});
    ASSERT_TRUE(sim.Step());
    sim.Stop();
    EXPECT_EQ(sim.Environment.ScriptFailures(), std::vector<std::string>{});
    EXPECT_EQ(DataOut("D.OUT")->IntValue, 1);
}

} // namespace
