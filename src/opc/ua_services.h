#pragma once
// The OPC UA services this client calls, as structures with their binary
// encoders (requests) and decoders (responses), and the framing of a
// message chunk. Nothing here touches a socket: the decoders take bytes,
// which is what the fuzzer feeds them.

#include "opc/ua_binary.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace telvo::opc {

// Status codes this client names in its messages.
namespace Status {
constexpr uint32_t Good = 0;
constexpr uint32_t BadUnexpectedError = 0x80010000;
constexpr uint32_t BadCommunicationError = 0x80050000;
constexpr uint32_t BadDecodingError = 0x80070000;
constexpr uint32_t BadTimeout = 0x800A0000;
constexpr uint32_t BadServiceUnsupported = 0x800B0000;
constexpr uint32_t BadSessionIdInvalid = 0x80250000;
constexpr uint32_t BadSessionClosed = 0x80260000;
constexpr uint32_t BadNodeIdUnknown = 0x80340000;
constexpr uint32_t BadNotReadable = 0x803A0000;
constexpr uint32_t BadNotWritable = 0x803B0000;
constexpr uint32_t BadTypeMismatch = 0x80740000;
constexpr uint32_t BadUserAccessDenied = 0x801F0000;
constexpr uint32_t BadConnectionClosed = 0x80AE0000;
constexpr uint32_t BadNoMatch = 0x806F0000;
constexpr uint32_t BadTcpMessageTooLarge = 0x80810000;
constexpr uint32_t BadResponseTooLarge = 0x80B90000;
} // namespace Status

inline bool IsBad(uint32_t status) { return (status & 0x80000000u) != 0; }
// "BadNodeIdUnknown", or "0x80340000" for a code without a name here.
std::string StatusText(uint32_t status);

// A failed call: the transport, the server's answer, or a time-out. Status
// carries the OPC UA status code when there is one.
class EOpcError : public std::runtime_error {
public:
    EOpcError(const std::string& message, uint32_t status = Status::BadCommunicationError)
        : std::runtime_error(message), Status(status) {}
    uint32_t Status;
};

// Limits of our own on what one answer may hold, whatever a server
// announces or sends: beyond them a call ends with EOpcError
// (BadResponseTooLarge) before anything is made for the excess.
namespace Limit {
constexpr uint32_t Servers = 100000;          // one FindServers answer
constexpr uint32_t DiscoveryUrls = 100;       // of one server
constexpr uint32_t Endpoints = 1000;          // one GetEndpoints or CreateSession answer
constexpr uint32_t TokenPolicies = 100;       // of one endpoint
constexpr uint32_t References = 100000;       // one node's browse, every round together
constexpr uint32_t ChunksPerMessage = 4096;   // one answer (messages: TClientOptions::MaxMessageSize)
} // namespace Limit

// Encoding ids (DefaultBinary) of the messages used.
namespace MessageId {
constexpr uint32_t ServiceFault = 397;
constexpr uint32_t FindServersRequest = 422, FindServersResponse = 425;
constexpr uint32_t GetEndpointsRequest = 428, GetEndpointsResponse = 431;
constexpr uint32_t OpenSecureChannelRequest = 446, OpenSecureChannelResponse = 449;
constexpr uint32_t CloseSecureChannelRequest = 452;
constexpr uint32_t CreateSessionRequest = 461, CreateSessionResponse = 464;
constexpr uint32_t ActivateSessionRequest = 467, ActivateSessionResponse = 470;
constexpr uint32_t CloseSessionRequest = 473, CloseSessionResponse = 476;
constexpr uint32_t BrowseRequest = 527, BrowseResponse = 530;
constexpr uint32_t BrowseNextRequest = 533, BrowseNextResponse = 536;
constexpr uint32_t ReadRequest = 631, ReadResponse = 634;
constexpr uint32_t WriteRequest = 673, WriteResponse = 676;
constexpr uint32_t AnonymousIdentityToken = 321;
} // namespace MessageId

// Attribute ids used.
namespace Attribute {
constexpr uint32_t NodeClass = 2, BrowseName = 3, DisplayName = 4, Description = 5, Value = 13,
                   DataType = 14, ValueRank = 15, AccessLevel = 17, UserAccessLevel = 18;
}

// Well-known nodes.
namespace Node {
constexpr uint32_t ObjectsFolder = 85;
constexpr uint32_t HierarchicalReferences = 33;
}

enum class TNodeClass : int32_t { Unspecified = 0, Object = 1, Variable = 2, Method = 4, ObjectType = 8,
                                  VariableType = 16, ReferenceType = 32, DataType = 64, View = 128 };

struct TApplicationDescription {
    std::string ApplicationUri;
    std::string ProductUri;
    TLocalizedText ApplicationName;
    int32_t ApplicationType = 0; // 0 server, 1 client, 2 both, 3 discovery server
    std::string GatewayServerUri;
    std::string DiscoveryProfileUri;
    std::vector<std::string> DiscoveryUrls;
};

struct TUserTokenPolicy {
    std::string PolicyId;
    int32_t TokenType = 0; // 0 anonymous
    std::string IssuedTokenType;
    std::string IssuerEndpointUrl;
    std::string SecurityPolicyUri;
};

struct TEndpointDescription {
    std::string EndpointUrl;
    TApplicationDescription Server;
    std::string ServerCertificate;
    int32_t SecurityMode = 0; // 1 None, 2 Sign, 3 SignAndEncrypt
    std::string SecurityPolicyUri;
    std::vector<TUserTokenPolicy> UserIdentityTokens;
    std::string TransportProfileUri;
    uint8_t SecurityLevel = 0;
};

struct TResponseHeader {
    int64_t Timestamp = 0;
    uint32_t RequestHandle = 0;
    uint32_t ServiceResult = 0;
};

struct TReferenceDescription {
    TNodeId ReferenceTypeId;
    bool IsForward = true;
    TExpandedNodeId NodeId;
    TQualifiedName BrowseName;
    TLocalizedText DisplayName;
    TNodeClass NodeClass = TNodeClass::Unspecified;
    TExpandedNodeId TypeDefinition;
};

struct TBrowseResult {
    uint32_t Status = 0;
    std::string ContinuationPoint;
    std::vector<TReferenceDescription> References;
};

struct TReadValueId {
    TNodeId Node;
    uint32_t AttributeId = Attribute::Value;
};

struct TChannelToken {
    uint32_t ChannelId = 0;
    uint32_t TokenId = 0;
    uint32_t RevisedLifetime = 0;
};

struct TCreateSessionResult {
    TNodeId SessionId;
    TNodeId AuthenticationToken;
    double RevisedSessionTimeout = 0;
    std::vector<TEndpointDescription> Endpoints;
    uint32_t MaxRequestMessageSize = 0;
};

// ---- The frame of one chunk ----

constexpr size_t MessageHeaderSize = 8;
constexpr std::string_view SecurityPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";

struct THello {
    uint32_t ProtocolVersion = 0;
    uint32_t ReceiveBufferSize = 65536;
    uint32_t SendBufferSize = 65536;
    uint32_t MaxMessageSize = 0;
    uint32_t MaxChunkCount = 0;
    std::string EndpointUrl;
};

struct TAcknowledge {
    uint32_t ProtocolVersion = 0;
    uint32_t ReceiveBufferSize = 0;
    uint32_t SendBufferSize = 0;
    uint32_t MaxMessageSize = 0;
    uint32_t MaxChunkCount = 0;
};

// One chunk as it came off the wire, its headers taken apart.
struct TChunk {
    std::string MessageType; // "ACK", "ERR", "OPN", "MSG", "CLO", "HEL", "RHE"
    char ChunkType = 'F';    // 'F' final, 'C' more follow, 'A' abort
    uint32_t ChannelId = 0;
    uint32_t TokenId = 0;          // MSG and CLO
    std::string SecurityPolicyUri; // OPN
    uint32_t SequenceNumber = 0;
    uint32_t RequestId = 0;
    std::string_view Body;         // after the sequence header (or the whole body of ACK/ERR)
};

// Reads the size field of a message header; throws when it is not one.
uint32_t ChunkSize(std::string_view header8);
// Takes one complete chunk apart. Body points into the given bytes.
TChunk DecodeChunk(std::string_view bytes);

std::string EncodeHello(const THello& hello);
TAcknowledge DecodeAcknowledge(std::string_view body);
// The status and reason of an ERR message or an aborted chunk.
EOpcError DecodeError(std::string_view body, const std::string& context);

// Frames one chunk of a secure-channel message: the message header, the
// security header (asymmetric for OPN, the token for MSG/CLO) and the
// sequence header, then the body part.
std::string FrameChunk(std::string_view messageType, char chunkType, uint32_t channelId, uint32_t tokenId,
                       uint32_t sequenceNumber, uint32_t requestId, std::string_view body);
// Room for body bytes in a chunk of the given size.
size_t ChunkBodyRoom(std::string_view messageType, size_t chunkSize);

// ---- Requests ----

struct TRequestContext {
    TNodeId AuthenticationToken;
    uint32_t RequestHandle = 0;
    uint32_t TimeoutHint = 0; // ms
};

std::string EncodeOpenSecureChannel(const TRequestContext& ctx, uint32_t requestedLifetime);
std::string EncodeCloseSecureChannel(const TRequestContext& ctx);
std::string EncodeCreateSession(const TRequestContext& ctx, const std::string& endpointUrl,
                                const std::string& sessionName, const std::string& clientNonce,
                                double requestedTimeout);
std::string EncodeActivateSession(const TRequestContext& ctx, const std::string& policyId);
std::string EncodeCloseSession(const TRequestContext& ctx);
std::string EncodeFindServers(const TRequestContext& ctx, const std::string& endpointUrl);
std::string EncodeGetEndpoints(const TRequestContext& ctx, const std::string& endpointUrl);
std::string EncodeBrowse(const TRequestContext& ctx, const std::vector<TNodeId>& nodes, uint32_t maxReferences);
std::string EncodeBrowseNext(const TRequestContext& ctx, const std::vector<std::string>& continuationPoints,
                             bool release);
std::string EncodeRead(const TRequestContext& ctx, const std::vector<TReadValueId>& items);
std::string EncodeWrite(const TRequestContext& ctx, const TNodeId& node, const TVariant& value);

// ---- Responses ----
// Each checks the message's type id, turns a ServiceFault or a bad service
// result into EOpcError, and throws EUaDecodeError on malformed bytes. A
// count is checked against what was asked, the limits above and what is
// left in the message before room is made for it.

TChannelToken DecodeOpenSecureChannel(std::string_view body);
TCreateSessionResult DecodeCreateSession(std::string_view body);
void DecodeActivateSession(std::string_view body);
void DecodeCloseSession(std::string_view body);
std::vector<TApplicationDescription> DecodeFindServers(std::string_view body);
std::vector<TEndpointDescription> DecodeGetEndpoints(std::string_view body);
// One result per node (or continuation point) asked; at most maxReferences
// references in all.
std::vector<TBrowseResult> DecodeBrowse(std::string_view body, bool next, size_t nodesAsked,
                                        uint32_t maxReferences);
// One value, or one status, per item asked.
std::vector<TDataValue> DecodeRead(std::string_view body, size_t itemsAsked);
std::vector<uint32_t> DecodeWrite(std::string_view body, size_t itemsAsked);

} // namespace telvo::opc
