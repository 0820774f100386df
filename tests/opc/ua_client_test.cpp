// The client against a real node-opcua server on 127.0.0.1, and against
// sockets of our own that answer badly or not at all.

#include "opc/opc_access.h"
#include "opc/ua_client.h"
#include "opc_test_server.h"

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

TEST(OpcDiscovery, ServersRegisteredWithTheMachinesDiscoveryServerAreFoundByName)
{
    test::OpcTestServer lds({"--discovery"});
    TELVO_REQUIRE_OPC_SERVER(lds);
    test::OpcTestServer server({"--register", lds.Endpoint()});
    TELVO_REQUIRE_OPC_SERVER(server);
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
