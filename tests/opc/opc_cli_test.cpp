// telvo opc servers / browse / read against the node-opcua test server.

#include "opc_test_server.h"
#include "support/test_support.h"
#include "ua_scripted_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace telvo {
namespace {

using test::OpcTestServer;

class OpcCli : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<OpcTestServer>(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override { TELVO_REQUIRE_OPC_SERVER(*server_); }

    static test::ProcessResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "opc");
        return test::RunProcess(TELVO_CLI_PATH, args);
    }

    static std::unique_ptr<OpcTestServer> server_;
};

std::unique_ptr<OpcTestServer> OpcCli::server_;

TEST_F(OpcCli, ServersOfAMachine)
{
    const auto r = Run({"servers", "127.0.0.1:" + server_->Port()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "Telvo Test Server\t" + server_->Endpoint() + "\turn:telvo:test:server\turn:telvo:test\n");
}

TEST_F(OpcCli, BrowseShowsTypesAndAccess)
{
    const auto r = Run({"browse", "127.0.0.1:" + server_->Port() + "/telvo", "Plant/Tank"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "Plant/Tank/Level\tns=1;s=Tank.Level\tVariable\tInteger\tREAD/WRITE\n"
                     "Plant/Tank/Running\tns=1;s=Tank.Running\tVariable\tBOOL\tREAD/WRITE\n"
                     "Plant/Tank/Temperature\tns=1;s=Tank.Temperature\tVariable\tReal8\tREAD/WRITE\n"
                     "Plant/Tank/Label\tns=1;s=Tank.Label\tVariable\tString\tREAD/WRITE\n"
                     "Plant/Tank/Serial\tns=1;s=Tank.Serial\tVariable\tString\tREAD ONLY\n"
                     "Plant/Tank/Pressure\tns=1;s=Tank.Pressure\tVariable\tReal4\tREAD/WRITE\n"
                     "Plant/Tank/Count\tns=1;s=Tank.Count\tVariable\tWORD\tREAD/WRITE\n"
                     "Plant/Tank/Report\tns=1;s=Tank.Report\tVariable\tString\tREAD/WRITE\n");
    const auto top = Run({"browse", server_->Endpoint()});
    ASSERT_EQ(top.ExitCode, 0) << top.Err;
    EXPECT_NE(top.Out.find("Plant\tns=1;s=Plant\tObject\t-\t-\n"), std::string::npos) << top.Out;
}

TEST_F(OpcCli, ReadByNodeIdAndByPath)
{
    server_->Set("Tank.Temperature", "21.5");
    struct Case {
        const char* Item;
        const char* Out;
    };
    for (const Case c : {Case{"ns=1;s=Tank.Level", "42\n"}, Case{"Plant/Tank/Temperature", "21.5\n"},
                         Case{"Plant/Tank/Running", "true\n"}, Case{"ns=1;s=Tank.Serial", "SN-0001\n"}}) {
        const auto r = Run({"read", server_->Endpoint(), c.Item});
        EXPECT_EQ(r.ExitCode, 0) << c.Item << r.Err;
        EXPECT_EQ(r.Out, c.Out) << c.Item;
    }
}

TEST_F(OpcCli, FailuresGoToStandardError)
{
    struct Case {
        const char* Name;
        std::vector<std::string> Args;
        int ExitCode;
        std::string Err;
    };
    const std::string closed = test::FreeLocalPort();
    const Case cases[] = {
        {"MissingItem", {"read", server_->Endpoint(), "ns=1;s=Tank.Nope"}, 1, "telvo: ns=1;s=Tank.Nope: BadNodeIdUnknown\n"},
        {"MissingPath", {"read", server_->Endpoint(), "Plant/Nope"}, 1,
         "telvo: No item Plant/Nope on " + server_->Endpoint() + "\n"},
        {"NothingListening", {"servers", "127.0.0.1:" + closed}, 1,
         "telvo: Cannot connect to 127.0.0.1:" + closed + ": Connection refused\n"},
        {"NoEndpoint", {"browse"}, 2, "telvo: opc browse needs an ENDPOINT and at most one PATH\n"},
        {"ReadWithoutItem", {"read", server_->Endpoint()}, 2, "telvo: opc read needs an ENDPOINT and an ITEM\n"},
        {"BadTimeout", {"read", server_->Endpoint(), "i=85", "--timeout", "soon"}, 2,
         "telvo: --timeout needs milliseconds, not 'soon'\n"},
        {"UnknownOption", {"servers", "--fast"}, 2,
         "telvo: opc servers: unknown option --fast\nusage: telvo [--home DIR] opc servers [HOST] [--timeout MS]\n"},
    };
    for (const auto& c : cases) {
        const auto r = Run(c.Args);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << c.Name;
        EXPECT_EQ(r.Err, c.Err) << c.Name;
        EXPECT_EQ(r.Out, "") << c.Name;
    }
}

// ---- servers of our own that answer with what a server should not ----

using test::UaScriptedPeer;
using namespace std::chrono_literals;

// Answers each request of a kind with a body of the test's making; other
// requests get no answer.
UaScriptedPeer::Handler answering(uint32_t requestType,
                                  std::function<opc::TUaWriter(const UaScriptedPeer::Request&)> body)
{
    return [=](UaScriptedPeer::Link& link, const UaScriptedPeer::Request& request) {
        if (request.TypeId == requestType)
            link.Answer(request.RequestId, body(request).Buffer);
    };
}

opc::TUaWriter oddServer(const UaScriptedPeer::Request& request)
{
    opc::TUaWriter w = test::ResponseStart(opc::MessageId::FindServersResponse, request.RequestHandle);
    w.Int32(1);
    test::WriteServer(w, "Evil\tServer\nforged\tline\x1b[2J", "urn:a\\b", "\xc2\x9b" "31m",
                      "opc.tcp://127.0.0.1:1/x\ty");
    return w;
}

opc::TUaWriter oddNode(const UaScriptedPeer::Request& request)
{
    opc::TUaWriter w = test::ResponseStart(opc::MessageId::BrowseResponse, request.RequestHandle);
    w.Int32(1);
    w.UInt32(opc::Status::Good);
    w.NullString();
    w.Int32(1);
    test::WriteReference(w, opc::TNodeId::Str("Odd\tId", 1), "Odd\tns=1;s=Forged\nPlant\x1b]0;owned\x07",
                         opc::TNodeClass::Object);
    w.Int32(-1);
    return w;
}

opc::TUaWriter oddValue(const UaScriptedPeer::Request& request)
{
    opc::TUaWriter w = test::ResponseStart(opc::MessageId::ReadResponse, request.RequestHandle);
    w.Int32(1);
    opc::TDataValue v;
    v.HasValue = true;
    v.Value = opc::TVariant::String("line 1\nline 2\t\x1b[31mred");
    w.DataValue(v);
    w.Int32(-1);
    return w;
}

void errorWithReason(UaScriptedPeer::Link& link, const UaScriptedPeer::Request&)
{
    link.Send(test::ErrorMessage(0x807E0000, "busy\nforged line\x1b[2J"));
}

void slowRound(UaScriptedPeer::Link& link, const UaScriptedPeer::Request& request, bool last)
{
    for (int i = 0; i < 30 && !link.Stopping(); ++i)
        std::this_thread::sleep_for(10ms);
    link.Answer(request.RequestId, test::BrowseAnswer(request, 0, last ? "" : "more"));
}

// Browse and every BrowseNext answered after 300 ms with a continuation
// point, for 26 rounds (8 s).
UaScriptedPeer::Handler slowRounds()
{
    auto rounds = std::make_shared<int>(0);
    return [rounds](UaScriptedPeer::Link& link, const UaScriptedPeer::Request& request) {
        if (request.TypeId == opc::MessageId::BrowseRequest || request.TypeId == opc::MessageId::BrowseNextRequest)
            slowRound(link, request, ++*rounds >= 26);
    };
}


struct HostileCase {
    const char* Name;
    // Makes the server's script, afresh for each run.
    std::function<UaScriptedPeer::Handler()> Script;
    // The arguments after "opc", given the peer's HOST:PORT.
    std::function<std::vector<std::string>(const std::string&)> Args;
    int ExitCode;
    // "@" stands for the peer's endpoint URL.
    std::string Out;
    std::string Err;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.Name; }

std::string withEndpoint(std::string text, const std::string& endpoint)
{
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + endpoint.size()))
        text.replace(at, 1, endpoint);
    return text;
}

class OpcCliHostileServer : public ::testing::TestWithParam<HostileCase> {};

TEST_P(OpcCliHostileServer, GetsOneClearRecordInBoundedTime)
{
    UaScriptedPeer peer(GetParam().Script());
    auto args = GetParam().Args(peer.HostPort());
    args.insert(args.begin(), "opc");
    const auto start = std::chrono::steady_clock::now();
    const auto r = test::RunProcess(TELVO_CLI_PATH, args);
    EXPECT_EQ(r.ExitCode, GetParam().ExitCode) << r.Err;
    EXPECT_EQ(r.Out, withEndpoint(GetParam().Out, peer.Endpoint()));
    EXPECT_EQ(r.Err, withEndpoint(GetParam().Err, peer.Endpoint()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpcCliHostileServer,
    ::testing::Values(
        HostileCase{"ServerNamesAreEscaped", [] { return answering(opc::MessageId::FindServersRequest, oddServer); },
                    [](const std::string& host) { return std::vector<std::string>{"servers", host}; }, 0,
                    "Evil\\tServer\\nforged\\tline\\x1B[2J\topc.tcp://127.0.0.1:1/x\\ty\turn:a\\\\b\t"
                    "\\xC2\\x9B31m\n",
                    ""},
        HostileCase{"BrowseNamesAreEscaped", [] { return answering(opc::MessageId::BrowseRequest, oddNode); },
                    [](const std::string& host) { return std::vector<std::string>{"browse", host}; }, 0,
                    "Odd\\tns=1;s=Forged\\nPlant\\x1B]0;owned\\x07\tns=1;s=Odd\\tId\tObject\t-\t-\n", ""},
        HostileCase{"ValuesAreEscaped", [] { return answering(opc::MessageId::ReadRequest, oddValue); },
                    [](const std::string& host) {
                        return std::vector<std::string>{"read", host, "ns=1;s=Tank.Label"};
                    },
                    0, "line 1\\nline 2\\t\\x1B[31mred\n", ""},
        HostileCase{"ReasonsAreEscaped", [] { return UaScriptedPeer::Handler(errorWithReason); },
                    [](const std::string& host) {
                        return std::vector<std::string>{"read", host, "ns=1;s=Tank.Label"};
                    },
                    1, "",
                    "telvo: Server @ reported an error: BadTcpServerTooBusy (busy\\nforged line\\x1B[2J)\n"},
        HostileCase{"TimeoutBoundsTheWholeCommand", slowRounds,
                    [](const std::string& host) {
                        return std::vector<std::string>{"browse", host, "--timeout", "1000"};
                    },
                    1, "", "telvo: No answer from @ within 1000 ms\n"},
        HostileCase{"EndlessEmptyChunksEnd", [] { return UaScriptedPeer::Handler(test::EndlessEmptyChunks); },
                    [](const std::string& host) {
                        return std::vector<std::string>{"read", host, "ns=1;s=Tank.Label", "--timeout", "1000"};
                    },
                    1, "", "telvo: Answer from @ comes in more than 4096 chunks\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace telvo
