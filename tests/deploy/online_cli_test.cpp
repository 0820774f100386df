// telvo device watch, force and trigger on the example project, its line
// controller an in-test runtime on 127.0.0.1: the bytes each call sends,
// what is refused before anything is sent, and a watch ended by Ctrl-C.

#include "deploy/forte_responder.h"
#include "support/test_support.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace telvo::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// A program folder with the built library, and the example project with
// its line controller (IEC_Device0, where bottles, an E_CTU, runs) at the
// responder's port.
class OnlineCliTest : public ::testing::Test {
protected:
    OnlineCliTest()
    {
        fs::copy(BuiltProgramDir() / "library", Home / "library", fs::copy_options::recursive);
        for (const auto& entry : fs::directory_iterator(SourceDir() / "examples" / "plant"))
            if (entry.is_regular_file())
                fs::copy_file(entry.path(), Project / entry.path().filename().string());
        Crf = (Project / "plant.crf").string();
        std::string text = ReadFile(Crf);
        const std::string port = "DeviceAddressPort=\"61499\"";
        text.replace(text.find(port), port.size(), "DeviceAddressPort=\"" + Runtime.Port() + "\"");
        Project.Write("plant.crf", text);
        Runtime.SetEventPorts({"bottles.CU", "bottles.R"});
    }

    std::vector<std::string> Args(const std::vector<std::string>& words)
    {
        std::vector<std::string> all{"--home", Home.Path().string(), "device"};
        for (const std::string& w : words)
            all.push_back(w == "CRF" ? Crf : w);
        return all;
    }
    ProcessResult Telvo(const std::vector<std::string>& words) { return RunProcess(TELVO_CLI_PATH, Args(words)); }

    // DESTINATION: XML of every request the runtime took.
    std::vector<std::string> Sent()
    {
        std::vector<std::string> out;
        for (const auto& r : Runtime.Requests()) {
            EXPECT_EQ(r.Bytes, ManagementFrame(r.Destination, r.Xml));
            out.push_back(r.Destination + ": " + r.Xml);
        }
        return out;
    }

    TempDir Home, Project;
    std::string Crf;
    TForteResponder Runtime;
};

struct TCallCase {
    const char* Name;
    std::vector<std::string> Words; // CRF stands for the project file
    std::string Out;
    std::vector<std::string> Sent;
};

class OnlineCallTest : public OnlineCliTest, public ::testing::WithParamInterface<TCallCase> {};

TEST_P(OnlineCallTest, SendsExactlyTheseRequests)
{
    Runtime.SetWatchValue("bottles.CV", "20");
    Runtime.SetWatchValue("bottles.Q", "FALSE");
    auto r = Telvo(GetParam().Words);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out, GetParam().Out);
    EXPECT_EQ(Sent(), GetParam().Sent);
}

const std::string kWatchCU = R"(<Watch Source="bottles.CU" Destination="*"/></Request>)";
const std::string kWatchCV = R"(<Watch Source="bottles.CV" Destination="*"/></Request>)";

INSTANTIATE_TEST_SUITE_P(
    Calls, OnlineCallTest,
    ::testing::Values(
        TCallCase{"WatchTwoPolls",
                  {"watch", "CRF", "IEC_Device0", "bottles.CU", "bottles.CV", "--count", "2", "--interval", "10"},
                  "bottles.CU\t0\nbottles.CV\t20\nbottles.CU\t0\nbottles.CV\t20\n",
                  {"IEC_Device0: <Request ID=\"1\" Action=\"CREATE\">" + kWatchCU,
                   "IEC_Device0: <Request ID=\"2\" Action=\"CREATE\">" + kWatchCV,
                   R"(IEC_Device0: <Request ID="3" Action="READ"><Watches/></Request>)",
                   R"(IEC_Device0: <Request ID="4" Action="READ"><Watches/></Request>)",
                   "IEC_Device0: <Request ID=\"5\" Action=\"DELETE\">" + kWatchCU,
                   "IEC_Device0: <Request ID=\"6\" Action=\"DELETE\">" + kWatchCV}},
        TCallCase{"WatchOfAnotherResourceNamingAPortTwice",
                  {"watch", "CRF", "IEC_Device0", "bottles.CV", "bottles.CV", "--count", "1", "--resource", "LINE"},
                  "bottles.CV\t20\nbottles.CV\t20\n",
                  {"LINE: <Request ID=\"1\" Action=\"CREATE\">" + kWatchCV,
                   R"(LINE: <Request ID="2" Action="READ"><Watches/></Request>)",
                   "LINE: <Request ID=\"3\" Action=\"DELETE\">" + kWatchCV}},
        TCallCase{"Force",
                  {"force", "CRF", "IEC_Device0", "bottles.PV", "3"},
                  "",
                  {R"(IEC_Device0: <Request ID="1" Action="WRITE"><Connection Source="3" Destination="bottles.PV" force="true"/></Request>)"}},
        TCallCase{"ForceAnOutput",
                  {"force", "CRF", "IEC_Device0", "bottles.Q", "true", "--resource", "LINE"},
                  "",
                  {R"(LINE: <Request ID="1" Action="WRITE"><Connection Source="TRUE" Destination="bottles.Q" force="true"/></Request>)"}},
        TCallCase{"ClearForceOfAnInputWithAConstantWritesItAgain",
                  {"force", "CRF", "IEC_Device0", "bottles.PV", "--clear"},
                  "",
                  {R"(IEC_Device0: <Request ID="1" Action="WRITE"><Connection Source="*" Destination="bottles.PV" force="false"/></Request>)",
                   R"(IEC_Device0: <Request ID="2" Action="WRITE"><Connection Source="1000" Destination="bottles.PV"/></Request>)"}},
        TCallCase{"ClearForce",
                  {"force", "CRF", "IEC_Device0", "bottles.Q", "--clear"},
                  "",
                  {R"(IEC_Device0: <Request ID="1" Action="WRITE"><Connection Source="*" Destination="bottles.Q" force="false"/></Request>)"}},
        TCallCase{"Trigger",
                  {"trigger", "CRF", "IEC_Device0", "bottles.R"},
                  "",
                  {R"(IEC_Device0: <Request ID="1" Action="WRITE"><Connection Source="$e" Destination="bottles.R"/></Request>)"}},
        TCallCase{"ResetACount",
                  {"trigger", "CRF", "IEC_Device0", "bottles.CU", "--reset"},
                  "",
                  {R"(IEC_Device0: <Request ID="1" Action="WRITE"><Connection Source="$er" Destination="bottles.CU"/></Request>)"}}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TRefusedCase {
    const char* Name;
    std::vector<std::string> Words;
    int ExitCode;
    std::string Err; // a part of it
};

class RefusedBeforeSendingTest : public OnlineCliTest, public ::testing::WithParamInterface<TRefusedCase> {};

// Wrong use, and values or ports the project shows to be wrong: the
// runtime is never asked.
TEST_P(RefusedBeforeSendingTest, NothingIsSent)
{
    auto r = Telvo(GetParam().Words);
    EXPECT_EQ(r.ExitCode, GetParam().ExitCode);
    EXPECT_THAT(r.Err, HasSubstr(GetParam().Err));
    EXPECT_EQ(r.Out, "");
    EXPECT_THAT(Sent(), IsEmpty());
    EXPECT_EQ(Runtime.Connections(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedBeforeSendingTest,
    ::testing::Values(
        TRefusedCase{"ValueNotOfTheType", {"force", "CRF", "IEC_Device0", "bottles.PV", "many"}, 1,
                     "telvo: IEC_Device0: bottles.PV: 'many' is no INT value\n"},
        TRefusedCase{"ValueOutOfRange", {"force", "CRF", "IEC_Device0", "bottles.PV", "40000"}, 1,
                     "bottles.PV: 40000 does not fit INT (-32768 to 32767)"},
        TRefusedCase{"ForceOfAnEvent", {"force", "CRF", "IEC_Device0", "bottles.CU", "1"}, 1,
                     "bottles.CU is no data port of an FB on the device"},
        TRefusedCase{"ForceOfAnFBOfAnotherDevice", {"force", "CRF", "IEC_Device0", "nothing.IN", "1"}, 1,
                     "nothing.IN is no data port"},
        TRefusedCase{"TriggerOfData", {"trigger", "CRF", "IEC_Device0", "bottles.PV"}, 1,
                     "bottles.PV is no event of E_CTU"},
        TRefusedCase{"ForceWithoutValue", {"force", "CRF", "IEC_Device0", "bottles.PV"}, 2,
                     "device force needs FILE.crf DEVICE INSTANCE.PORT VALUE"},
        TRefusedCase{"WatchWithoutPort", {"watch", "CRF", "IEC_Device0"}, 2, "device watch needs"},
        TRefusedCase{"WatchOfNoPort", {"watch", "CRF", "IEC_Device0", "bottles"}, 2, "bottles is not INSTANCE.PORT"},
        TRefusedCase{"ZeroInterval", {"watch", "CRF", "IEC_Device0", "bottles.CV", "--interval", "0"}, 2,
                     "--interval takes milliseconds"},
        TRefusedCase{"NoCount", {"watch", "CRF", "IEC_Device0", "bottles.CV", "--count", "none"}, 2,
                     "--count takes a number"},
        TRefusedCase{"UnknownDevice", {"trigger", "CRF", "IEC_Device9", "bottles.R"}, 1,
                     "has no IEC device IEC_Device9"}),
    [](const auto& info) { return std::string(info.param.Name); });

// Ports whose poll could answer more than a frame's length holds: the
// runtime would break the connection, so the watch is not begun, and the
// message says how many fit.
TEST_F(OnlineCliTest, AWatchTooLargeForOneAnswerIsRefusedSayingHowManyFit)
{
    std::vector<std::string> words{"watch", "CRF", "IEC_Device0", "--count", "1"};
    for (int i = 0; i < 400; ++i)
        words.push_back("sub" + std::to_string(i / 4) + ".OUTPUT_VALUE_" + std::to_string(i % 4));
    auto r = Telvo(words);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_THAT(r.Err, HasSubstr("telvo: IEC_Device0: one poll of 400 ports may answer up to "));
    EXPECT_THAT(r.Err, HasSubstr("more than the 65534 a runtime answer holds; the first 199 fit\n"));
    EXPECT_EQ(Runtime.Connections(), 0);

    // As many as fit are watched.
    words.resize(5 + 199);
    auto fits = Telvo(words);
    EXPECT_EQ(fits.ExitCode, 0) << fits.Err;
    EXPECT_EQ(Runtime.Requests().size(), 199u * 2 + 1);
}

// A force seen by the next watch, and a refused request named with the
// runtime's reason; a watch that cannot be made takes back the ones made.
TEST_F(OnlineCliTest, AForceShowsInTheWatchAndRefusalsGiveTheirReason)
{
    ASSERT_EQ(Telvo({"force", "CRF", "IEC_Device0", "bottles.Q", "TRUE"}).ExitCode, 0);
    ASSERT_EQ(Telvo({"trigger", "CRF", "IEC_Device0", "bottles.CU"}).ExitCode, 0);
    ASSERT_EQ(Telvo({"trigger", "CRF", "IEC_Device0", "bottles.CU"}).ExitCode, 0);
    auto forced = Telvo({"watch", "CRF", "IEC_Device0", "bottles.Q", "bottles.CU", "--count", "1"});
    EXPECT_EQ(forced.Out, "bottles.Q\tTRUE\tforced\nbottles.CU\t2\n");
    ASSERT_EQ(Telvo({"force", "CRF", "IEC_Device0", "bottles.Q", "--clear"}).ExitCode, 0);
    auto cleared = Telvo({"watch", "CRF", "IEC_Device0", "bottles.Q", "--count", "1"});
    EXPECT_EQ(cleared.Out, "bottles.Q\t0\n");
    EXPECT_THAT(Runtime.Watches(), IsEmpty());

    Runtime.SetRefuse([](const TForteResponder::TRequest& r) {
        return r.Xml.find("bottles.R") != std::string::npos ? "NO_SUCH_OBJECT" : "";
    });
    auto watch = Telvo({"watch", "CRF", "IEC_Device0", "bottles.CV", "bottles.R", "--count", "1"});
    EXPECT_EQ(watch.ExitCode, 1);
    EXPECT_EQ(watch.Err, "telvo: IEC_Device0: bottles.R cannot be watched: NO_SUCH_OBJECT\n");
    EXPECT_EQ(watch.Out, "");
    EXPECT_THAT(Runtime.Watches(), IsEmpty());
    auto trigger = Telvo({"trigger", "CRF", "IEC_Device0", "bottles.R"});
    EXPECT_EQ(trigger.ExitCode, 1);
    EXPECT_EQ(trigger.Err, "telvo: IEC_Device0: bottles.R cannot be triggered: NO_SUCH_OBJECT\n");
}

// A runtime that is gone: the call ends with the reason, not a hang.
TEST_F(OnlineCliTest, ARuntimeThatIsNotThereEndsTheCall)
{
    Runtime.Stop();
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"watch", "CRF", "IEC_Device0", "bottles.CV"},
          std::vector<std::string>{"force", "CRF", "IEC_Device0", "bottles.PV", "3"},
          std::vector<std::string>{"trigger", "CRF", "IEC_Device0", "bottles.R"}}) {
        auto r = Telvo(words);
        EXPECT_EQ(r.ExitCode, 1) << words[0];
        EXPECT_THAT(r.Err, HasSubstr("Connection refused")) << words[0];
    }
}

// Ctrl-C during a watch without --count: the polls stop, the watches are
// deleted, and the program ends normally.
TEST_F(OnlineCliTest, AnInterruptedWatchDeletesItsWatches)
{
    Runtime.SetWatchValue("bottles.CV", "5");
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const std::vector<std::string> args =
        Args({"watch", "CRF", "IEC_Device0", "bottles.CV", "bottles.CU", "--interval", "20"});
    const std::string program = TELVO_CLI_PATH;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    // Three polls seen, then the interrupt.
    std::string text;
    char buf[4096];
    while (std::count(text.begin(), text.end(), '\n') < 6) {
        pollfd p{out[0], POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 10000), 0) << "no polls: " << text;
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        ASSERT_GT(n, 0) << text;
        text.append(buf, static_cast<size_t>(n));
    }
    EXPECT_THAT(Runtime.Watches(), ElementsAre("IEC_Device0/bottles.CV", "IEC_Device0/bottles.CU"));
    ::kill(pid, SIGINT);
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_THAT(text, ::testing::StartsWith("bottles.CV\t5\nbottles.CU\t0\nbottles.CV\t5\n"));
    EXPECT_THAT(Runtime.Watches(), IsEmpty());
    const auto sent = Sent();
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(sent.end()[-2].substr(sent.end()[-2].find("Action")), "Action=\"DELETE\">" + kWatchCV);
    EXPECT_EQ(sent.end()[-1].substr(sent.end()[-1].find("Action")), "Action=\"DELETE\">" + kWatchCU);
}

} // namespace
} // namespace telvo::test
