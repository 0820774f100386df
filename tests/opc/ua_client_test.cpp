// The client against a real node-opcua server on 127.0.0.1, and against
// sockets of our own that answer badly or not at all.

#include "opc/opc_access.h"
#include "opc/ua_client.h"
#include "opc_test_server.h"
#include "support/test_support.h"
#include "ua_scripted_peer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace telvo::opc {
namespace {

using test::OpcTestServer;
using namespace std::chrono_literals;

// One server for the suite: node-opcua takes seconds to start.
class OpcServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<OpcTestServer>(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override { TELVO_REQUIRE_OPC_SERVER(*server_); }

    static TNodeId node(const std::string& name) { return TNodeId::Str(name, 1); }

    static std::unique_ptr<OpcTestServer> server_;
};

std::unique_ptr<OpcTestServer> OpcServerTest::server_;

struct ReadCase {
    const char* Name;
    TUaType Type;
    const char* Text;
};

class ReadEachType : public OpcServerTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadEachType, ValueComesWithItsType)
{
    TOpcUaClient client;
    client.Connect(server_->Endpoint());
    const TDataValue v = client.ReadValue(node(std::string("Tank.") + GetParam().Name));
    EXPECT_FALSE(IsBad(v.Status)) << StatusText(v.Status);
    ASSERT_TRUE(v.HasValue);
    EXPECT_EQ(v.Value.Type, GetParam().Type);
    EXPECT_EQ(v.Value.ToText(), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Tank, ReadEachType,
                         ::testing::Values(ReadCase{"Level", TUaType::Int32, "42"},
                                           ReadCase{"Running", TUaType::Boolean, "true"},
                                           ReadCase{"Temperature", TUaType::Double, "21.5"},
                                           ReadCase{"Label", TUaType::String, "Main tank"},
                                           ReadCase{"Serial", TUaType::String, "SN-0001"},
                                           ReadCase{"Pressure", TUaType::Float, "1.25"},
                                           ReadCase{"Count", TUaType::UInt16, "7"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(OpcServerTest, WritesReachTheServer)
{
    struct Case {
        const char* Name;
        TVariant Value;
        const char* ServerSees;
    };
    const Case cases[] = {{"Tank.Level", TVariant::Int32(-17), "-17"},
                          {"Tank.Running", TVariant::Boolean(false), "false"},
                          {"Tank.Temperature", TVariant::Double(2.5), "2.5"},
                          {"Tank.Label", TVariant::String("Spare tank"), "Spare tank"}};
    TOpcUaClient client;
    client.Connect(server_->Endpoint());
    for (const auto& c : cases) {
        EXPECT_EQ(StatusText(client.Write(node(c.Name), c.Value)), "Good") << c.Name;
        EXPECT_EQ(server_->Get(c.Name), c.ServerSees) << c.Name;
        EXPECT_EQ(client.ReadValue(node(c.Name)).Value.ToText(), c.ServerSees) << c.Name;
    }
}

TEST_F(OpcServerTest, FailuresOfSingleItemsLeaveTheSessionUsable)
{
    TOpcUaClient client;
    client.Connect(server_->Endpoint());
    const uint32_t readOnly = client.Write(node("Tank.Serial"), TVariant::String("forged"));
    EXPECT_TRUE(readOnly == Status::BadNotWritable || readOnly == Status::BadUserAccessDenied)
        << StatusText(readOnly);
    EXPECT_EQ(server_->Get("Tank.Serial"), "SN-0001");
    EXPECT_EQ(client.ReadValue(node("Tank.Missing")).Status, Status::BadNodeIdUnknown);
    EXPECT_EQ(client.Write(node("Tank.Missing"), TVariant::Int32(1)), Status::BadNodeIdUnknown);
    EXPECT_EQ(client.Write(node("Tank.Level"), TVariant::String("not a number")), Status::BadTypeMismatch);
    EXPECT_TRUE(client.SessionActive());
    EXPECT_FALSE(IsBad(client.ReadValue(node("Tank.Level")).Status));
}

TEST_F(OpcServerTest, LargeValuesTravelInChunks)
{
    TClientOptions small;
    small.ReceiveBufferSize = 8192;
    small.SendBufferSize = 8192;
    TOpcUaClient client(small);
    client.Connect(server_->Endpoint());
    const TDataValue big = client.ReadValue(node("Tank.Report"));
    ASSERT_EQ(big.Value.Type, TUaType::String);
    EXPECT_EQ(big.Value.Text, std::string(100000, 'x'));

    const std::string text(50000, 'y');
    EXPECT_EQ(client.Write(node("Tank.Label"), TVariant::String(text)), Status::Good);
    EXPECT_EQ(server_->Get("Tank.Label"), "<50000 chars>");
    EXPECT_EQ(client.ReadValue(node("Tank.Label")).Value.Text, text);
    client.Write(node("Tank.Label"), TVariant::String("Main tank"));
}

TEST_F(OpcServerTest, MessageLargerThanWeAcceptIsRefused)
{
    TClientOptions tight;
    tight.ReceiveBufferSize = 8192;
    tight.MaxMessageSize = 20000;
    TOpcUaClient client(tight);
    client.Connect(server_->Endpoint());
    EXPECT_THROW(client.ReadValue(node("Tank.Report")), EOpcError);
    // Refused by us or by the server: either way no session is left in an
    // unknown state; a new connection works.
    client.Connect(server_->Endpoint());
    EXPECT_EQ(client.ReadValue(node("Tank.Level")).Value.Type, TUaType::Int32);
}

TEST_F(OpcServerTest, BrowseFollowsContinuationPoints)
{
    TOpcUaClient client;
    client.Connect(server_->Endpoint());
    const auto first = client.Browse({node("Many")}, 50);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].References.size(), 50u);
    EXPECT_FALSE(first[0].ContinuationPoint.empty());

    const auto all = client.BrowseAll(node("Many"), 50);
    ASSERT_EQ(all.size(), 300u);
    for (size_t i = 0; i < all.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Item%03zu", i);
        EXPECT_EQ(all[i].BrowseName.Name, name);
        EXPECT_EQ(all[i].NodeClass, TNodeClass::Variable);
    }
}

TEST_F(OpcServerTest, ItemsByPathWithTypeAndAccess)
{
    TOpcUaClient client;
    client.Connect(server_->Endpoint());
    EXPECT_EQ(ResolveOpcItem(client, "Plant/Tank/Level"), node("Tank.Level"));
    EXPECT_EQ(ResolveOpcItem(client, "ns=1;s=Tank.Level"), node("Tank.Level"));
    try {
        ResolveOpcItem(client, "Plant/Pump/Level");
        FAIL() << "no error";
    } catch (const EOpcError& e) {
        EXPECT_EQ(e.Status, Status::BadNoMatch);
        EXPECT_EQ(std::string(e.what()), "No item Plant/Pump on " + server_->Endpoint());
    }

    const auto objects = BrowseOpcItems(client, "");
    EXPECT_TRUE(std::any_of(objects.begin(), objects.end(), [](const TOPCItemInfo& i) { return i.Name == "Plant"; }));

    const auto items = BrowseOpcItems(client, "Plant/Tank");
    struct Expect {
        const char* Name;
        const char* Type;
        const char* Access;
    };
    const Expect expect[] = {{"Level", "Integer", "READ/WRITE"}, {"Running", "BOOL", "READ/WRITE"},
                             {"Temperature", "Real8", "READ/WRITE"}, {"Label", "String", "READ/WRITE"},
                             {"Serial", "String", "READ ONLY"}, {"Pressure", "Real4", "READ/WRITE"},
                             {"Count", "WORD", "READ/WRITE"}};
    for (const auto& e : expect) {
        auto it = std::find_if(items.begin(), items.end(), [&](const TOPCItemInfo& i) { return i.Name == e.Name; });
        ASSERT_NE(it, items.end()) << e.Name;
        EXPECT_EQ(it->TypeText, e.Type) << e.Name;
        EXPECT_EQ(it->AccessText, e.Access) << e.Name;
        EXPECT_EQ(it->ItemID, std::string("ns=1;s=Tank.") + e.Name);
        EXPECT_EQ(it->Path, std::string("Plant/Tank/") + e.Name);
    }
}

TEST_F(OpcServerTest, FlatItemListOfTheServersOwnVariables)
{
    TOpcUaClient client;
    client.Connect(server_->Endpoint());
    const auto items = ListOpcItems(client);
    std::vector<std::string> entries;
    for (const auto& i : items)
        entries.push_back(OpcItemEntryText(i));
    ASSERT_EQ(entries.size(), 308u);
    EXPECT_EQ(entries[0], "ns=1;s=Tank.Level | Integer (READ/WRITE)");
    EXPECT_EQ(entries[4], "ns=1;s=Tank.Serial | String (READ ONLY)");
    EXPECT_EQ(entries[5], "ns=1;s=Tank.Pressure | Real4 (READ/WRITE)");
    EXPECT_EQ(entries[8], "ns=1;s=Many.Item000 | Integer (READ/WRITE)");
    EXPECT_EQ(items[5].Path, "Plant/Tank/Pressure");
    // A bound on the nodes browsed bounds the work on a huge server.
    EXPECT_LT(ListOpcItems(client, 2).size(), 308u);
}

TEST_F(OpcServerTest, DiscoveryWithoutSession)
{
    TOpcUaClient client;
    client.OpenChannel(server_->Endpoint());
    const auto servers = client.FindServers();
    ASSERT_FALSE(servers.empty());
    EXPECT_EQ(servers[0].ApplicationName.Text, "Telvo Test Server");
    EXPECT_EQ(servers[0].ApplicationUri, "urn:telvo:test:server");
    const auto endpoints = client.GetEndpoints();
    EXPECT_TRUE(std::any_of(endpoints.begin(), endpoints.end(), [](const TEndpointDescription& e) {
        return e.SecurityMode == 1 && e.SecurityPolicyUri == SecurityPolicyNone;
    }));

    TOPCServerList list;
    list.Enumerate("127.0.0.1:" + server_->Port());
    ASSERT_EQ(list.Servers().size(), 1u);
    EXPECT_EQ(list.Servers()[0].ServerName, "Telvo Test Server");
    EXPECT_EQ(list.Servers()[0].Vendor, "urn:telvo:test");
    // A server found by its name on a machine (here: the machine's
    // discovery endpoint is the test server itself).
    EXPECT_FALSE(list.AddServer(list.Servers()[0]));
}

TEST_F(OpcServerTest, SessionsCloseCleanlyAndReopen)
{
    TOpcUaClient client;
    for (int i = 0; i < 3; ++i) {
        client.Connect(server_->Endpoint());
        EXPECT_TRUE(client.SessionActive());
        EXPECT_EQ(client.ReadValue(node("Tank.Level")).Value.Type, TUaType::Int32);
        client.Close();
        EXPECT_FALSE(client.ChannelOpen());
    }
    EXPECT_THROW(client.ReadValue(node("Tank.Level")), EOpcError);
}

// ---- peers that fail ----

// A listener on 127.0.0.1 that accepts and then does what the test says.
class RawPeer {
public:
    explicit RawPeer(std::function<void(int)> onClient) : onClient_(std::move(onClient))
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 4);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c >= 0) {
                onClient_(c);
                ::close(c);
            }
        });
    }
    ~RawPeer()
    {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    std::string Endpoint() const { return "opc.tcp://127.0.0.1:" + std::to_string(port_); }

private:
    std::function<void(int)> onClient_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

std::string readSome(int fd)
{
    char buf[4096];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

TEST(OpcFailingPeer, SilentServerTimesOut)
{
    std::atomic<bool> release{false};
    RawPeer peer([&](int fd) {
        readSome(fd);
        while (!release)
            std::this_thread::sleep_for(10ms);
    });
    TClientOptions options;
    options.Timeout = 300ms;
    TOpcUaClient client(options);
    const auto start = std::chrono::steady_clock::now();
    try {
        client.Connect(peer.Endpoint());
        FAIL() << "no error";
    } catch (const EOpcError& e) {
        EXPECT_EQ(e.Status, Status::BadTimeout) << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_FALSE(client.ChannelOpen());
    release = true;
}

TEST(OpcFailingPeer, NothingListening)
{
    TOpcUaClient client;
    try {
        client.Connect("opc.tcp://127.0.0.1:" + test::FreeLocalPort());
        FAIL() << "no error";
    } catch (const EOpcError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot connect to 127.0.0.1:"), std::string::npos) << e.what();
    }
    EXPECT_THROW(client.Connect("http://127.0.0.1:80"), EOpcError);
}

struct BadAnswerCase {
    const char* Name;
    std::string Answer;
    uint32_t Status;
};

class OpcBadAnswer : public ::testing::TestWithParam<BadAnswerCase> {};

TEST_P(OpcBadAnswer, IsRefusedAndTheConnectionDropped)
{
    RawPeer peer([&](int fd) {
        readSome(fd);
        if (GetParam().Answer.empty())
            return;
        ::send(fd, GetParam().Answer.data(), GetParam().Answer.size(), MSG_NOSIGNAL);
        readSome(fd);
    });
    TClientOptions options;
    options.Timeout = 1000ms;
    TOpcUaClient client(options);
    try {
        client.Connect(peer.Endpoint());
        FAIL() << "no error";
    } catch (const EOpcError& e) {
        EXPECT_EQ(StatusText(e.Status), StatusText(GetParam().Status)) << e.what();
    }
    EXPECT_FALSE(client.ChannelOpen());
}

std::string errMessage()
{
    TUaWriter w;
    w.Buffer = "ERRF";
    w.UInt32(0);
    w.UInt32(0x807E0000); // BadTcpServerTooBusy
    w.String("busy");
    w.PatchUInt32(4, uint32_t(w.Buffer.size()));
    return w.Buffer;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpcBadAnswer,
    ::testing::Values(BadAnswerCase{"Garbage", std::string("XYZF\x10\x00\x00\x00garbage!", 16), Status::BadDecodingError},
                      BadAnswerCase{"HugeChunk", std::string("ACKF\xff\xff\xff\x7f", 8), 0x80810000},
                      BadAnswerCase{"ShortAck", std::string("ACKF\x0c\x00\x00\x00\x00\x00\x00\x00", 12),
                                    Status::BadDecodingError},
                      BadAnswerCase{"ErrorMessage", errMessage(), 0x807E0000},
                      BadAnswerCase{"ClosedAtOnce", std::string(), Status::BadConnectionClosed}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(OpcStoppedServer, CallsFailFastAfterTheServerDies)
{
    OpcTestServer server;
    TELVO_REQUIRE_OPC_SERVER(server);
    TClientOptions options;
    options.Timeout = 2000ms;
    TOpcUaClient client(options);
    client.Connect(server.Endpoint());
    EXPECT_EQ(client.ReadValue(TNodeId::Str("Tank.Level", 1)).Value.Int, 42);
    server.Kill();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(client.ReadValue(TNodeId::Str("Tank.Level", 1)), EOpcError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_FALSE(client.ChannelOpen());
    EXPECT_THROW(client.Connect(server.Endpoint()), EOpcError);
}

} // namespace
} // namespace telvo::opc

namespace telvo::opc {
namespace {

// Whatever a test server of ours opens can be reached from this computer
// only: its endpoint, and the discovery server's multicast DNS as well.
void expectLoopbackOnly(const test::OpcTestServer& server)
{
    const auto sockets = test::ListeningSockets(server.Pid());
    EXPECT_TRUE(std::any_of(sockets.begin(), sockets.end(),
                            [&](const test::ListeningSocket& s) { return std::to_string(s.Port) == server.Port(); }))
        << "no socket of the server on its port " << server.Port();
    for (const auto& s : sockets)
        EXPECT_TRUE(s.Loopback) << "listens on " << s.Text();
}

// A discovery server and a server registered with it, for the suite.
class OpcDiscovery : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        lds_ = std::make_unique<test::OpcTestServer>(std::vector<std::string>{"--discovery"});
        if (lds_->Running())
            server_ = std::make_unique<test::OpcTestServer>(std::vector<std::string>{"--register", lds_->Endpoint()});
    }
    static void TearDownTestSuite()
    {
        server_.reset();
        lds_.reset();
    }
    void SetUp() override
    {
        TELVO_REQUIRE_OPC_SERVER(*lds_);
        TELVO_REQUIRE_OPC_SERVER(*server_);
    }

    static std::unique_ptr<test::OpcTestServer> lds_;
    static std::unique_ptr<test::OpcTestServer> server_;
};

std::unique_ptr<test::OpcTestServer> OpcDiscovery::lds_;
std::unique_ptr<test::OpcTestServer> OpcDiscovery::server_;

TEST_F(OpcServerTest, ListensOnLoopbackOnly)
{
    expectLoopbackOnly(*server_);
}

TEST_F(OpcDiscovery, BothListenOnLoopbackOnly)
{
    for (const auto* server : {lds_.get(), server_.get()}) {
        SCOPED_TRACE("server on port " + server->Port());
        expectLoopbackOnly(*server);
    }
}

TEST_F(OpcDiscovery, ServersRegisteredWithTheMachinesDiscoveryServerAreFoundByName)
{
    const test::OpcTestServer& lds = *lds_;
    const test::OpcTestServer& server = *server_;
    const std::string machine = "127.0.0.1:" + lds.Port();

    TOPCServerList list;
    list.Enumerate(machine);
    std::vector<std::string> names;
    for (const auto& s : list.Servers())
        names.push_back(s.ServerName);
    ASSERT_NE(std::find(names.begin(), names.end(), "Telvo Test Server"), names.end());

    // An OPC FB that names the server and its machine reaches it.
    const std::string endpoint = ResolveOpcEndpoint(machine, "Telvo Test Server");
    EXPECT_EQ(endpoint, server.Endpoint());
    TOpcUaClient client;
    client.Connect(endpoint);
    EXPECT_EQ(client.ReadValue(TNodeId::Str("Tank.Level", 1)).Value.Int, 42);
    try {
        ResolveOpcEndpoint(machine, "Boiler Server");
        FAIL() << "no error";
    } catch (const EOpcError& e) {
        EXPECT_STREQ(e.what(), "Cannot find OPC Server Boiler Server");
    }
}

} // namespace
} // namespace telvo::opc

// ---- servers that send too much, too slowly, or without end ----

namespace telvo::opc {
namespace {

using test::UaScriptedPeer;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool isBrowse(const UaScriptedPeer::Request& r)
{
    return r.TypeId == MessageId::BrowseRequest || r.TypeId == MessageId::BrowseNextRequest;
}

// Waits as a slow server does, or until the test is over.
void pause(const UaScriptedPeer::Link& link, std::chrono::milliseconds delay)
{
    for (const auto until = Clock::now() + delay; Clock::now() < until && !link.Stopping();)
        std::this_thread::sleep_for(10ms);
}


// Hands out `perRound` references and a continuation point after `delay`,
// for `rounds` rounds.
UaScriptedPeer::Handler continuationWithoutEnd(uint32_t perRound, std::chrono::milliseconds delay, int rounds)
{
    auto done = std::make_shared<int>(0);
    return [=](UaScriptedPeer::Link& link, const UaScriptedPeer::Request& request) {
        if (!isBrowse(request))
            return;
        pause(link, delay);
        ++*done;
        const bool last = *done >= rounds;
        const std::string continuation = last ? "" : "round " + std::to_string(*done);
        link.Answer(request.RequestId, test::BrowseAnswer(request, perRound, continuation));
    };
}

void expectFailure(const std::function<void()>& call, uint32_t status, const std::string& says)
{
    try {
        call();
        ADD_FAILURE() << "no error";
    } catch (const EOpcError& e) {
        EXPECT_EQ(StatusText(e.Status), StatusText(status)) << e.what();
        EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
    }
}

struct EndlessCase {
    const char* Name;
    uint32_t MaxChunkCount;
    std::chrono::milliseconds Timeout;
    uint32_t Status;
    const char* Says;
};

void PrintTo(const EndlessCase& c, std::ostream* os) { *os << c.Name; }

class OpcEndlessAnswer : public ::testing::TestWithParam<EndlessCase> {};

TEST_P(OpcEndlessAnswer, EndsTheCallInTime)
{
    UaScriptedPeer peer(test::EndlessEmptyChunks);
    TClientOptions options;
    options.Timeout = GetParam().Timeout;
    options.MaxChunkCount = GetParam().MaxChunkCount;
    TOpcUaClient client(options);
    client.Connect(peer.Endpoint());
    const auto start = Clock::now();
    expectFailure([&] { client.ReadValue(TNodeId::Str("Tank.Level", 1)); }, GetParam().Status, GetParam().Says);
    EXPECT_LT(Clock::now() - start, GetParam().Timeout + 2s);
    EXPECT_FALSE(client.ChannelOpen());
}

INSTANTIATE_TEST_SUITE_P(
    EmptyChunks, OpcEndlessAnswer,
    ::testing::Values(
        // However many chunks a caller allows, a stream of them ends at the deadline.
        EndlessCase{"AtTheDeadline", UINT32_MAX, 500ms, Status::BadTimeout, "No answer from"},
        // And by default their number is bounded, "no limit" included.
        EndlessCase{"AtTheChunkLimit", 0, 5000ms, Status::BadResponseTooLarge, "comes in more than 4096 chunks"}),
    [](const auto& info) { return std::string(info.param.Name); });

struct SequenceCase {
    const char* Name;
    uint32_t First;
    uint32_t Step;
    bool Accepted;
};

void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.Name; }

class OpcChunkSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(OpcChunkSequence, IsCheckedFromTheFirstChunkOn)
{
    UaScriptedPeer peer([](UaScriptedPeer::Link&, const UaScriptedPeer::Request&) {});
    peer.NextSequence = GetParam().First;
    peer.SequenceStep = GetParam().Step;
    TClientOptions options;
    options.Timeout = 1000ms;
    TOpcUaClient client(options);
    if (GetParam().Accepted) {
        client.Connect(peer.Endpoint());
        EXPECT_TRUE(client.SessionActive());
    } else {
        expectFailure([&] { client.Connect(peer.Endpoint()); }, Status::BadDecodingError, "out of sequence");
        EXPECT_FALSE(client.ChannelOpen());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OpcChunkSequence,
                         ::testing::Values(SequenceCase{"StartingAtZero", 0, 1, true},
                                           SequenceCase{"StartingHigh", 4000000000u, 1, true},
                                           SequenceCase{"AllZero", 0, 0, false},
                                           SequenceCase{"AllTheSame", 5, 0, false},
                                           SequenceCase{"Skipping", 1, 2, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(OpcBrowseWithoutEnd, SlowRoundsEndAtOneDeadlineForTheWholeBrowse)
{
    // Each round comes well within a call's time-out; together they do not.
    UaScriptedPeer peer(continuationWithoutEnd(1, 200ms, 40));
    TClientOptions options;
    options.Timeout = 600ms;
    TOpcUaClient client(options);
    client.Connect(peer.Endpoint());
    const auto start = Clock::now();
    expectFailure([&] { client.BrowseAll(TNodeId::Str("Many", 1)); }, Status::BadTimeout, "No answer from");
    EXPECT_LT(Clock::now() - start, 3s);
}

TEST(OpcBrowseWithoutEnd, ReferencesBeyondOurLimitEndTheBrowse)
{
    UaScriptedPeer peer(continuationWithoutEnd(1000, 0ms, 150));
    TClientOptions options;
    options.Timeout = 60s; // the limit is what ends it, not the time
    TOpcUaClient client(options);
    client.Connect(peer.Endpoint());
    expectFailure([&] { client.BrowseAll(TNodeId::Str("Many", 1)); }, Status::BadResponseTooLarge,
                  "Browse of ns=1;s=Many holds more than 100000 references");
    // The answer was read whole: the session goes on.
    EXPECT_TRUE(client.SessionActive());
}

// ---- answers larger than what was asked ----

struct TooMuchCase {
    const char* Name;
    std::function<std::string(const UaScriptedPeer::Request&)> Answer;
    std::function<void(TOpcUaClient&)> Call;
    uint32_t Status;
    const char* Says;
};

void PrintTo(const TooMuchCase& c, std::ostream* os) { *os << c.Name; }

class OpcAnswerBeyondTheRequest : public ::testing::TestWithParam<TooMuchCase> {};

TEST_P(OpcAnswerBeyondTheRequest, IsRefusedBeforeItIsDecoded)
{
    UaScriptedPeer peer([](UaScriptedPeer::Link& link, const UaScriptedPeer::Request& request) {
        link.Answer(request.RequestId, GetParam().Answer(request));
    });
    TOpcUaClient client;
    client.Connect(peer.Endpoint());
    expectFailure([&] { GetParam().Call(client); }, GetParam().Status, GetParam().Says);
}

// A Read answer: `count` empty values, the last of them malformed, so that a
// decoder that goes through them says so instead of the count.
std::string readAnswer(const UaScriptedPeer::Request& request, uint32_t count)
{
    TUaWriter w = test::ResponseStart(MessageId::ReadResponse, request.RequestHandle);
    w.Int32(static_cast<int32_t>(count));
    w.Buffer.append(count - 1, '\0');
    w.Byte(0x01); // a value follows,
    w.Byte(0x3F); // of no type there is
    w.Int32(-1);
    return w.Buffer;
}

std::string serversAnswer(const UaScriptedPeer::Request& request, uint32_t count)
{
    TUaWriter w = test::ResponseStart(MessageId::FindServersResponse, request.RequestHandle);
    w.Int32(static_cast<int32_t>(count));
    for (uint32_t i = 0; i < count; ++i)
        test::WriteServer(w, "S", "urn:s:" + std::to_string(i), "", "opc.tcp://127.0.0.1:1");
    return w.Buffer;
}

std::string endpointsAnswer(const UaScriptedPeer::Request& request, uint32_t count)
{
    TUaWriter w = test::ResponseStart(MessageId::GetEndpointsResponse, request.RequestHandle);
    w.Int32(static_cast<int32_t>(count));
    for (uint32_t i = 0; i < count; ++i) {
        w.String("opc.tcp://127.0.0.1:1");
        test::WriteServer(w, "S", "urn:s", "", "opc.tcp://127.0.0.1:1");
        w.NullString(); // certificate
        w.Int32(1);     // security mode None
        w.String(SecurityPolicyNone);
        w.Int32(0); // token policies
        w.NullString();
        w.Byte(0);
    }
    return w.Buffer;
}

std::string writeAnswer(const UaScriptedPeer::Request& request, uint32_t count)
{
    TUaWriter w = test::ResponseStart(MessageId::WriteResponse, request.RequestHandle);
    w.Int32(static_cast<int32_t>(count));
    for (uint32_t i = 0; i < count; ++i)
        w.UInt32(Status::Good);
    w.Int32(-1);
    return w.Buffer;
}

std::string twoBrowseResults(const UaScriptedPeer::Request& request)
{
    std::string one = test::BrowseAnswer(request, 1, "");
    // The same result once more, behind the first.
    TUaWriter w = test::ResponseStart(MessageId::BrowseResponse, request.RequestHandle);
    const size_t header = w.Buffer.size();
    std::string result = one.substr(header + 4, one.size() - header - 4 - 4);
    w.Int32(2);
    w.Buffer += result + result;
    w.Int32(-1);
    return w.Buffer;
}

const TNodeId ManyNode = TNodeId::Str("Many", 1);

INSTANTIATE_TEST_SUITE_P(
    Cases, OpcAnswerBeyondTheRequest,
    ::testing::Values(
        TooMuchCase{"ReadOfOneItemAnsweredWithAMillionValues", [](const auto& r) { return readAnswer(r, 1000000); },
                    [](TOpcUaClient& c) { c.ReadValue(ManyNode); }, Status::BadDecodingError,
                    "Read answered 1000000 values for 1 asked"},
        TooMuchCase{"WriteOfOneItemAnsweredWithTwoResults", [](const auto& r) { return writeAnswer(r, 2); },
                    [](TOpcUaClient& c) { c.Write(ManyNode, TVariant::Int32(1)); }, Status::BadDecodingError,
                    "Write answered 2 results for 1 asked"},
        TooMuchCase{"BrowseOfOneNodeAnsweredWithTwoResults", twoBrowseResults,
                    [](TOpcUaClient& c) { c.Browse({ManyNode}); }, Status::BadDecodingError,
                    "Browse answered 2 results for 1 asked"},
        TooMuchCase{"BrowseAnsweredWithMoreReferencesThanWeTake",
                    [](const auto& r) { return test::BrowseAnswer(r, Limit::References + 1, ""); },
                    [](TOpcUaClient& c) { c.Browse({ManyNode}); }, Status::BadResponseTooLarge,
                    "Browse answered with 100001 references, more than the 100000 taken"},
        TooMuchCase{"FindServersAnsweredWithMoreServersThanWeTake",
                    [](const auto& r) { return serversAnswer(r, Limit::Servers + 1); },
                    [](TOpcUaClient& c) { c.FindServers(); }, Status::BadResponseTooLarge,
                    "FindServers answered with 100001 servers, more than the 100000 taken"},
        TooMuchCase{"GetEndpointsAnsweredWithMoreEndpointsThanWeTake",
                    [](const auto& r) { return endpointsAnswer(r, Limit::Endpoints + 1); },
                    [](TOpcUaClient& c) { c.GetEndpoints(); }, Status::BadResponseTooLarge,
                    "GetEndpoints answered with 1001 endpoints, more than the 1000 taken"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace telvo::opc
