// The binary encoding: what we write reads back the same, the text forms of
// NodeIds, and malformed bytes from a peer are refused without reading past
// the end or allocating what the message does not carry.

#include "opc/opc_access.h"
#include "opc/ua_binary.h"
#include "opc/ua_services.h"

#include <gtest/gtest.h>

namespace telvo::opc {
namespace {

struct NodeIdTextCase {
    const char* Name;
    const char* Text;
    bool Valid;
    const char* Canonical; // what ToText gives back (when valid)
};

class NodeIdText : public ::testing::TestWithParam<NodeIdTextCase> {};

TEST_P(NodeIdText, ParsesAndFormats)
{
    const auto& c = GetParam();
    TNodeId id;
    ASSERT_EQ(TNodeId::FromText(c.Text, id), c.Valid);
    if (!c.Valid)
        return;
    EXPECT_EQ(id.ToText(), c.Canonical);
    // The binary form carries it unchanged.
    TUaWriter w;
    w.NodeId(id);
    TUaReader r(w.Buffer);
    EXPECT_EQ(r.NodeId(), id);
    EXPECT_EQ(r.Remaining(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NodeIdText,
    ::testing::Values(NodeIdTextCase{"TwoByte", "i=85", true, "i=85"},
                      NodeIdTextCase{"FourByte", "ns=2;i=1001", true, "ns=2;i=1001"},
                      NodeIdTextCase{"FullNumeric", "ns=300;i=4000000000", true, "ns=300;i=4000000000"},
                      NodeIdTextCase{"String", "ns=1;s=Tank.Level", true, "ns=1;s=Tank.Level"},
                      NodeIdTextCase{"StringWithSemicolon", "ns=1;s=a;b=c", true, "ns=1;s=a;b=c"},
                      NodeIdTextCase{"Guid", "ns=1;g=09087e75-8e5e-499b-954f-f2a9603db28a", true,
                                     "ns=1;g=09087e75-8e5e-499b-954f-f2a9603db28a"},
                      NodeIdTextCase{"Opaque", "ns=1;b=AQID", true, "ns=1;b=AQID"},
                      NodeIdTextCase{"BrowsePath", "Plant/Tank/Level", false, ""},
                      NodeIdTextCase{"NoIdentifier", "ns=1;", false, ""},
                      NodeIdTextCase{"NamespaceTooBig", "ns=70000;i=1", false, ""},
                      NodeIdTextCase{"NumericWithText", "i=12x", false, ""},
                      NodeIdTextCase{"BadGuid", "g=1234", false, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(UaBinary, ScalarVariantsReadBackUnchanged)
{
    std::vector<TVariant> values = {TVariant::Boolean(true), TVariant::Int32(-123456), TVariant::Double(2.5),
                                    TVariant::String("Grüße")};
    TVariant u16;
    u16.Type = TUaType::UInt16;
    u16.UInt = 65535;
    values.push_back(u16);
    TVariant f;
    f.Type = TUaType::Float;
    f.Real = 1.25;
    values.push_back(f);
    for (const auto& v : values) {
        TUaWriter w;
        w.Variant(v);
        TUaReader r(w.Buffer);
        const TVariant back = r.Variant();
        EXPECT_EQ(back.Type, v.Type) << UaTypeName(v.Type);
        EXPECT_EQ(back.ToText(), v.ToText()) << UaTypeName(v.Type);
        EXPECT_EQ(r.Remaining(), 0u);
    }
}

TEST(UaBinary, ArrayVariantIsSkippedWhole)
{
    TUaWriter w;
    w.Byte(0x80 | 6); // Int32 array
    w.Int32(3);
    for (int i : {1, 2, 3})
        w.Int32(i);
    w.Byte(0x42); // and something after it
    TUaReader r(w.Buffer);
    const TVariant v = r.Variant();
    EXPECT_TRUE(v.IsArray);
    EXPECT_EQ(v.ArrayLength, 3u);
    EXPECT_EQ(v.ToText(), "Int32[3]");
    EXPECT_EQ(r.Byte(), 0x42);
}

struct MalformedCase {
    const char* Name;
    std::string Bytes;
};

class MalformedVariant : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedVariant, IsRefused)
{
    TUaReader r(GetParam().Bytes);
    EXPECT_THROW(r.Variant(), EUaDecodeError);
}

std::string nestedVariants(int depth)
{
    std::string s(size_t(depth), char(24)); // Variant in Variant in …
    s.push_back(0);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedVariant,
    ::testing::Values(MalformedCase{"Empty", ""}, MalformedCase{"TruncatedInt32", std::string("\x06\x01\x02", 3)},
                      MalformedCase{"StringLongerThanMessage", std::string("\x0c\xff\xff\x00\x00", 5) + "ab"},
                      MalformedCase{"HugeArray", std::string("\x86\xff\xff\xff\x7f", 5)},
                      MalformedCase{"UnknownType", std::string("\x3f", 1)},
                      MalformedCase{"UnknownNodeIdEncoding", std::string("\x11\x07", 2)},
                      MalformedCase{"DeepNesting", nestedVariants(1000)}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(UaServices, ChunkFrameReadsBack)
{
    const std::string body(100, 'x');
    const std::string chunk = FrameChunk("MSG", 'C', 7, 9, 42, 5, body);
    EXPECT_EQ(ChunkSize(chunk), chunk.size());
    const TChunk c = DecodeChunk(chunk);
    EXPECT_EQ(c.MessageType, "MSG");
    EXPECT_EQ(c.ChunkType, 'C');
    EXPECT_EQ(c.ChannelId, 7u);
    EXPECT_EQ(c.TokenId, 9u);
    EXPECT_EQ(c.SequenceNumber, 42u);
    EXPECT_EQ(c.RequestId, 5u);
    EXPECT_EQ(c.Body, body);
    EXPECT_EQ(ChunkBodyRoom("MSG", chunk.size()), body.size());

    const std::string opn = FrameChunk("OPN", 'F', 0, 0, 1, 1, "abc");
    const TChunk o = DecodeChunk(opn);
    EXPECT_EQ(o.SecurityPolicyUri, SecurityPolicyNone);
    EXPECT_EQ(o.Body, "abc");
    EXPECT_EQ(ChunkBodyRoom("OPN", opn.size()), 3u);
}

TEST(UaServices, BadChunksAreRefused)
{
    std::string chunk = FrameChunk("MSG", 'F', 1, 1, 1, 1, "body");
    std::string wrongSize = chunk;
    wrongSize[4] = char(wrongSize[4] + 1);
    EXPECT_THROW(DecodeChunk(wrongSize), EUaDecodeError);
    std::string wrongType = chunk;
    wrongType[0] = 'X';
    EXPECT_THROW(DecodeChunk(wrongType), EUaDecodeError);
    std::string wrongChunkType = chunk;
    wrongChunkType[3] = 'Q';
    EXPECT_THROW(DecodeChunk(wrongChunkType), EUaDecodeError);
    EXPECT_THROW(ChunkSize(std::string("MSGF\x03\x00\x00\x00", 8)), EUaDecodeError);
    EXPECT_THROW(DecodeChunk(chunk.substr(0, 12)), EUaDecodeError);
}

TEST(UaServices, ServiceFaultBecomesTheServersStatus)
{
    TUaWriter w;
    w.NodeId(TNodeId::Num(MessageId::ServiceFault));
    w.Int64(0);
    w.UInt32(1);
    w.UInt32(Status::BadSessionIdInvalid);
    w.Byte(0);   // diagnostics
    w.Int32(-1); // string table
    w.EmptyExtensionObject();
    try {
        DecodeRead(w.Buffer, 1);
        FAIL() << "no error";
    } catch (const EOpcError& e) {
        EXPECT_EQ(e.Status, Status::BadSessionIdInvalid);
        EXPECT_STREQ(e.what(), "Read failed: BadSessionIdInvalid");
    }
}

TEST(UaServices, StatusTexts)
{
    EXPECT_EQ(StatusText(Status::BadNodeIdUnknown), "BadNodeIdUnknown");
    EXPECT_EQ(StatusText(Status::BadNotWritable | 0x1), "BadNotWritable");
    EXPECT_EQ(StatusText(0x80FF0000), "0x80FF0000");
}

struct EndpointCase {
    const char* Name;
    const char* Url;
    bool Valid;
    const char* Host;
    uint16_t Port;
    const char* Path;
};

class EndpointUrl : public ::testing::TestWithParam<EndpointCase> {};

TEST_P(EndpointUrl, Splits)
{
    const auto& c = GetParam();
    TEndpointUrl u;
    ASSERT_EQ(ParseEndpointUrl(c.Url, u), c.Valid);
    if (!c.Valid)
        return;
    EXPECT_EQ(u.Host, c.Host);
    EXPECT_EQ(u.Port, c.Port);
    EXPECT_EQ(u.Path, c.Path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EndpointUrl,
    ::testing::Values(EndpointCase{"Full", "opc.tcp://127.0.0.1:4841/freeopcua/server/", true, "127.0.0.1", 4841,
                                   "/freeopcua/server/"},
                      EndpointCase{"DefaultPort", "opc.tcp://plant", true, "plant", 4840, ""},
                      EndpointCase{"Ipv6", "opc.tcp://[::1]:4850/x", true, "::1", 4850, "/x"},
                      EndpointCase{"UpperCaseScheme", "OPC.TCP://host:1/", true, "host", 1, "/"},
                      EndpointCase{"OtherScheme", "http://host:1/", false, "", 0, ""},
                      EndpointCase{"PortZero", "opc.tcp://host:0", false, "", 0, ""},
                      EndpointCase{"PortTooBig", "opc.tcp://host:70000", false, "", 0, ""},
                      EndpointCase{"NoHost", "opc.tcp://:4840", false, "", 0, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

struct MappingCase {
    const char* Name;
    const char* Machine;
    const char* Server;
    const char* Endpoint;
};

class EndpointMapping : public ::testing::TestWithParam<MappingCase> {};

TEST_P(EndpointMapping, WithoutDiscovery)
{
    const auto& c = GetParam();
    EXPECT_EQ(ResolveOpcEndpoint(c.Machine, c.Server), c.Endpoint);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EndpointMapping,
    ::testing::Values(
        MappingCase{"EmptyMachinePortAndPath", "", ":4840/freeopcua/server/", "opc.tcp://127.0.0.1:4840/freeopcua/server/"},
        MappingCase{"LocalhostPort", "localhost", ":4855", "opc.tcp://127.0.0.1:4855"},
        MappingCase{"OtherMachinePath", "plc7", "/ua/server", "opc.tcp://plc7:4840/ua/server"},
        MappingCase{"Ipv6Machine", "::1", ":4841", "opc.tcp://[::1]:4841"},
        MappingCase{"FullUrlAsItIs", "ignored", "opc.tcp://10.1.2.3:4840/x", "opc.tcp://10.1.2.3:4840/x"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(OpcAccess, TypeAndAccessTexts)
{
    EXPECT_EQ(OpcTypeText(TUaType::Int32, false), "Integer");
    EXPECT_EQ(OpcTypeText(TUaType::Int32, true), "(ARRAY) Integer");
    EXPECT_EQ(OpcTypeText(TUaType::Boolean, false), "BOOL");
    EXPECT_EQ(OpcTypeText(TUaType::Float, false), "Real4");
    EXPECT_EQ(OpcTypeText(TUaType::Double, false), "Real8");
    EXPECT_EQ(OpcTypeText(TUaType::UInt16, false), "WORD");
    EXPECT_EQ(OpcAccessText(1), "READ ONLY");
    EXPECT_EQ(OpcAccessText(2), "WRITE ONLY");
    EXPECT_EQ(OpcAccessText(3), "READ/WRITE");
    EXPECT_EQ(OpcAccessText(0), "-");
}

TEST(OpcAccess, ServerListKeepsTheFirstOfEachNameAndUri)
{
    TOPCServerList list;
    auto server = [](std::string name, std::string uri, std::string endpoint) {
        TOPCServerInfo i;
        i.ServerName = std::move(name);
        i.Description = std::move(uri);
        i.Endpoint = std::move(endpoint);
        return i;
    };
    EXPECT_TRUE(list.AddServer(server("Line", "urn:a", "opc.tcp://first")));
    EXPECT_FALSE(list.AddServer(server("Line", "urn:a", "opc.tcp://second")));
    // Where one field ends and the other begins matters, whatever they hold.
    EXPECT_TRUE(list.AddServer(server("a", "urn:aLine", "opc.tcp://third")));
    EXPECT_TRUE(list.AddServer(server("ine", "urn:aL", "opc.tcp://fourth")));
    EXPECT_TRUE(list.AddServer(server(std::string("x\0", 2), "urn:", "opc.tcp://fifth")));
    EXPECT_TRUE(list.AddServer(server("x", std::string("urn:\0", 5), "opc.tcp://sixth")));
    std::vector<std::string> endpoints;
    for (const auto& s : list.Servers())
        endpoints.push_back(s.Endpoint);
    EXPECT_EQ(endpoints, (std::vector<std::string>{"opc.tcp://first", "opc.tcp://third", "opc.tcp://fourth",
                                                   "opc.tcp://fifth", "opc.tcp://sixth"}));
}

TEST(OpcAccess, ConversionsToTheVariablesType)
{
    TVariant out;
    ASSERT_TRUE(ConvertVariant(TVariant::Int32(7), TUaType::UInt16, out));
    EXPECT_EQ(out.UInt, 7u);
    EXPECT_FALSE(ConvertVariant(TVariant::Int32(-1), TUaType::UInt16, out));
    EXPECT_FALSE(ConvertVariant(TVariant::Int32(70000), TUaType::Int16, out));
    EXPECT_FALSE(ConvertVariant(TVariant::Double(2.5), TUaType::Int32, out));
    ASSERT_TRUE(ConvertVariant(TVariant::Double(2.0), TUaType::Int32, out));
    EXPECT_EQ(out.Int, 2);
    ASSERT_TRUE(ConvertVariant(TVariant::Double(2.5), TUaType::Float, out));
    EXPECT_EQ(out.Real, 2.5);
    ASSERT_TRUE(ConvertVariant(TVariant::Int32(5), TUaType::String, out));
    EXPECT_EQ(out.Text, "5");
    EXPECT_FALSE(ConvertVariant(TVariant::Int32(5), TUaType::NodeId, out));
    EXPECT_EQ(VariantToInt(TVariant::Double(1e300)), std::numeric_limits<int64_t>::max());
}

} // namespace
} // namespace telvo::opc
