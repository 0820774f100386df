#include "opc/ua_services.h"

#include <cstdio>

namespace telvo::opc {

std::string StatusText(uint32_t status)
{
    struct Named { uint32_t Code; const char* Name; };
    static const Named names[] = {
        {Status::Good, "Good"},
        {Status::BadUnexpectedError, "BadUnexpectedError"},
        {0x80020000, "BadInternalError"},
        {0x80030000, "BadOutOfMemory"},
        {Status::BadCommunicationError, "BadCommunicationError"},
        {Status::BadDecodingError, "BadDecodingError"},
        {0x80080000, "BadEncodingLimitsExceeded"},
        {Status::BadTimeout, "BadTimeout"},
        {Status::BadServiceUnsupported, "BadServiceUnsupported"},
        {0x800D0000, "BadServerNotConnected"},
        {0x800E0000, "BadServerHalted"},
        {0x800F0000, "BadNothingToDo"},
        {0x80100000, "BadTooManyOperations"},
        {0x80130000, "BadSecurityChecksFailed"},
        {Status::BadUserAccessDenied, "BadUserAccessDenied"},
        {0x80200000, "BadIdentityTokenInvalid"},
        {0x80210000, "BadIdentityTokenRejected"},
        {0x80220000, "BadSecureChannelIdInvalid"},
        {Status::BadSessionIdInvalid, "BadSessionIdInvalid"},
        {Status::BadSessionClosed, "BadSessionClosed"},
        {0x80270000, "BadSessionNotActivated"},
        {0x80330000, "BadNodeIdInvalid"},
        {Status::BadNodeIdUnknown, "BadNodeIdUnknown"},
        {0x80350000, "BadAttributeIdInvalid"},
        {0x80360000, "BadIndexRangeInvalid"},
        {Status::BadNotReadable, "BadNotReadable"},
        {Status::BadNotWritable, "BadNotWritable"},
        {0x803C0000, "BadOutOfRange"},
        {0x804A0000, "BadContinuationPointInvalid"},
        {Status::BadNoMatch, "BadNoMatch"},
        {Status::BadTypeMismatch, "BadTypeMismatch"},
        {0x80730000, "BadWriteNotSupported"},
        {0x807E0000, "BadTcpServerTooBusy"},
        {0x807F0000, "BadTcpMessageTypeInvalid"},
        {0x80800000, "BadTcpSecureChannelUnknown"},
        {Status::BadTcpMessageTooLarge, "BadTcpMessageTooLarge"},
        {0x80830000, "BadTcpEndpointUrlInvalid"},
        {0x80840000, "BadRequestInterrupted"},
        {0x80850000, "BadRequestTimeout"},
        {0x80860000, "BadSecureChannelClosed"},
        {0x80870000, "BadSecureChannelTokenUnknown"},
        {Status::BadConnectionClosed, "BadConnectionClosed"},
        {0x80B80000, "BadRequestTooLarge"},
        {Status::BadResponseTooLarge, "BadResponseTooLarge"},
    };
    for (const auto& n : names)
        if (n.Code == status)
            return n.Name;
    // The low 16 bits carry flags; the code itself is the high half.
    for (const auto& n : names)
        if (n.Code == (status & 0xFFFF0000u))
            return n.Name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", status);
    return buf;
}

// ---- Chunk framing ----

uint32_t ChunkSize(std::string_view header)
{
    if (header.size() < MessageHeaderSize)
        throw EUaDecodeError("message header too short");
    TUaReader r(header.substr(4, 4));
    const uint32_t size = r.UInt32();
    if (size < MessageHeaderSize)
        throw EUaDecodeError("message size " + std::to_string(size) + " smaller than its header");
    return size;
}

TChunk DecodeChunk(std::string_view bytes)
{
    TUaReader r(bytes);
    TChunk c;
    r.Skip(3);
    c.MessageType = std::string(bytes.substr(0, 3));
    c.ChunkType = static_cast<char>(r.Byte());
    const uint32_t size = r.UInt32();
    if (size != bytes.size())
        throw EUaDecodeError("message size " + std::to_string(size) + " does not match the " +
                             std::to_string(bytes.size()) + " bytes received");
    if (c.ChunkType != 'F' && c.ChunkType != 'C' && c.ChunkType != 'A')
        throw EUaDecodeError("unknown chunk type");
    if (c.MessageType == "ACK" || c.MessageType == "ERR" || c.MessageType == "HEL" || c.MessageType == "RHE") {
        if (c.ChunkType != 'F')
            throw EUaDecodeError(c.MessageType + " message must be final");
        c.Body = bytes.substr(r.Position());
        return c;
    }
    if (c.MessageType != "OPN" && c.MessageType != "MSG" && c.MessageType != "CLO")
        throw EUaDecodeError("unknown message type");
    c.ChannelId = r.UInt32();
    if (c.MessageType == "OPN") {
        c.SecurityPolicyUri = r.String();
        r.ByteString(); // sender certificate
        r.ByteString(); // receiver certificate thumbprint
    } else {
        c.TokenId = r.UInt32();
    }
    c.SequenceNumber = r.UInt32();
    c.RequestId = r.UInt32();
    c.Body = bytes.substr(r.Position());
    return c;
}

std::string EncodeHello(const THello& h)
{
    TUaWriter w;
    w.Buffer = "HELF";
    w.UInt32(0);
    w.UInt32(h.ProtocolVersion);
    w.UInt32(h.ReceiveBufferSize);
    w.UInt32(h.SendBufferSize);
    w.UInt32(h.MaxMessageSize);
    w.UInt32(h.MaxChunkCount);
    w.String(h.EndpointUrl);
    w.PatchUInt32(4, static_cast<uint32_t>(w.Buffer.size()));
    return std::move(w.Buffer);
}

TAcknowledge DecodeAcknowledge(std::string_view body)
{
    TUaReader r(body);
    TAcknowledge a;
    a.ProtocolVersion = r.UInt32();
    a.ReceiveBufferSize = r.UInt32();
    a.SendBufferSize = r.UInt32();
    a.MaxMessageSize = r.UInt32();
    a.MaxChunkCount = r.UInt32();
    return a;
}

EOpcError DecodeError(std::string_view body, const std::string& context)
{
    try {
        TUaReader r(body);
        const uint32_t status = r.UInt32();
        const std::string reason = r.String();
        return EOpcError(context + ": " + StatusText(status) + (reason.empty() ? "" : " (" + reason + ")"), status);
    } catch (const EUaDecodeError&) {
        return EOpcError(context + ": malformed error message", Status::BadDecodingError);
    }
}

size_t ChunkBodyRoom(std::string_view messageType, size_t chunkSize)
{
    size_t headers = MessageHeaderSize + 4 + 8; // channel id, sequence header
    if (messageType == "OPN")
        headers += 4 + SecurityPolicyNone.size() + 4 + 4;
    else
        headers += 4; // token id
    return chunkSize > headers ? chunkSize - headers : 0;
}

std::string FrameChunk(std::string_view messageType, char chunkType, uint32_t channelId, uint32_t tokenId,
                       uint32_t sequenceNumber, uint32_t requestId, std::string_view body)
{
    TUaWriter w;
    w.Buffer.reserve(body.size() + 96);
    w.Buffer.append(messageType);
    w.Byte(static_cast<uint8_t>(chunkType));
    w.UInt32(0);
    w.UInt32(channelId);
    if (messageType == "OPN") {
        w.String(SecurityPolicyNone);
        w.NullString(); // no certificate
        w.NullString(); // no thumbprint
    } else {
        w.UInt32(tokenId);
    }
    w.UInt32(sequenceNumber);
    w.UInt32(requestId);
    w.Buffer.append(body);
    w.PatchUInt32(4, static_cast<uint32_t>(w.Buffer.size()));
    return std::move(w.Buffer);
}

// ---- Requests ----

namespace {

void requestHeader(TUaWriter& w, uint32_t typeId, const TRequestContext& ctx)
{
    w.NodeId(TNodeId::Num(typeId));
    w.NodeId(ctx.AuthenticationToken);
    w.Int64(UaNow());
    w.UInt32(ctx.RequestHandle);
    w.UInt32(0); // no diagnostics
    w.NullString(); // audit entry
    w.UInt32(ctx.TimeoutHint);
    w.EmptyExtensionObject();
}

void nullSignature(TUaWriter& w)
{
    w.NullString(); // algorithm
    w.NullString(); // signature
}

} // namespace

std::string EncodeOpenSecureChannel(const TRequestContext& ctx, uint32_t requestedLifetime)
{
    TUaWriter w;
    requestHeader(w, MessageId::OpenSecureChannelRequest, ctx);
    w.UInt32(0);    // protocol version
    w.Int32(0);     // issue a new token
    w.Int32(1);     // security mode None
    w.NullString(); // no client nonce without security
    w.UInt32(requestedLifetime);
    return std::move(w.Buffer);
}

std::string EncodeCloseSecureChannel(const TRequestContext& ctx)
{
    TUaWriter w;
    requestHeader(w, MessageId::CloseSecureChannelRequest, ctx);
    return std::move(w.Buffer);
}

std::string EncodeCreateSession(const TRequestContext& ctx, const std::string& endpointUrl,
                                const std::string& sessionName, const std::string& clientNonce,
                                double requestedTimeout)
{
    TUaWriter w;
    requestHeader(w, MessageId::CreateSessionRequest, ctx);
    // Client description.
    w.String("urn:telvo:zoze:client");
    w.String("urn:telvo:zoze");
    w.LocalizedText({"", "TELVO ZOZE"});
    w.Int32(1); // client
    w.NullString();
    w.NullString();
    w.Int32(-1); // discovery URLs
    w.NullString(); // server URI
    w.String(endpointUrl);
    w.String(sessionName);
    w.ByteString(clientNonce);
    w.NullString(); // client certificate
    w.Double(requestedTimeout);
    w.UInt32(0); // no limit on the response size
    return std::move(w.Buffer);
}

std::string EncodeActivateSession(const TRequestContext& ctx, const std::string& policyId)
{
    TUaWriter w;
    requestHeader(w, MessageId::ActivateSessionRequest, ctx);
    nullSignature(w);
    w.Int32(-1); // software certificates
    w.StringArray({"en"});
    // Anonymous identity token in an ExtensionObject with a binary body.
    w.NodeId(TNodeId::Num(MessageId::AnonymousIdentityToken));
    w.Byte(1);
    TUaWriter token;
    token.String(policyId);
    w.ByteString(token.Buffer);
    nullSignature(w);
    return std::move(w.Buffer);
}

std::string EncodeCloseSession(const TRequestContext& ctx)
{
    TUaWriter w;
    requestHeader(w, MessageId::CloseSessionRequest, ctx);
    w.Boolean(true); // delete subscriptions
    return std::move(w.Buffer);
}

std::string EncodeFindServers(const TRequestContext& ctx, const std::string& endpointUrl)
{
    TUaWriter w;
    requestHeader(w, MessageId::FindServersRequest, ctx);
    w.String(endpointUrl);
    w.Int32(-1); // locales
    w.Int32(-1); // server URIs: all
    return std::move(w.Buffer);
}

std::string EncodeGetEndpoints(const TRequestContext& ctx, const std::string& endpointUrl)
{
    TUaWriter w;
    requestHeader(w, MessageId::GetEndpointsRequest, ctx);
    w.String(endpointUrl);
    w.Int32(-1);
    w.Int32(-1);
    return std::move(w.Buffer);
}

std::string EncodeBrowse(const TRequestContext& ctx, const std::vector<TNodeId>& nodes, uint32_t maxReferences)
{
    TUaWriter w;
    requestHeader(w, MessageId::BrowseRequest, ctx);
    w.NodeId(TNodeId{}); // the whole address space, no view
    w.Int64(0);
    w.UInt32(0);
    w.UInt32(maxReferences);
    w.Int32(static_cast<int32_t>(nodes.size()));
    for (const auto& n : nodes) {
        w.NodeId(n);
        w.Int32(0); // forward
        w.NodeId(TNodeId::Num(Node::HierarchicalReferences));
        w.Boolean(true); // with subtypes
        w.UInt32(0);     // every node class
        w.UInt32(0x3F);  // result mask: every field of each ReferenceDescription
    }
    return std::move(w.Buffer);
}

std::string EncodeBrowseNext(const TRequestContext& ctx, const std::vector<std::string>& continuationPoints,
                             bool release)
{
    TUaWriter w;
    requestHeader(w, MessageId::BrowseNextRequest, ctx);
    w.Boolean(release);
    w.Int32(static_cast<int32_t>(continuationPoints.size()));
    for (const auto& cp : continuationPoints)
        w.ByteString(cp);
    return std::move(w.Buffer);
}

std::string EncodeRead(const TRequestContext& ctx, const std::vector<TReadValueId>& items)
{
    TUaWriter w;
    requestHeader(w, MessageId::ReadRequest, ctx);
    w.Double(0); // max age: a fresh value
    w.Int32(3);  // no timestamps
    w.Int32(static_cast<int32_t>(items.size()));
    for (const auto& it : items) {
        w.NodeId(it.Node);
        w.UInt32(it.AttributeId);
        w.NullString(); // index range
        w.UInt16(0);    // data encoding: none (a null name, not an empty one)
        w.NullString();
    }
    return std::move(w.Buffer);
}

std::string EncodeWrite(const TRequestContext& ctx, const TNodeId& node, const TVariant& value)
{
    TUaWriter w;
    requestHeader(w, MessageId::WriteRequest, ctx);
    w.Int32(1);
    w.NodeId(node);
    w.UInt32(Attribute::Value);
    w.NullString();
    TDataValue dv;
    dv.HasValue = true;
    dv.Value = value;
    w.DataValue(dv);
    return std::move(w.Buffer);
}

// ---- Responses ----

namespace {

TResponseHeader responseHeader(TUaReader& r)
{
    TResponseHeader h;
    h.Timestamp = r.Int64();
    h.RequestHandle = r.UInt32();
    h.ServiceResult = r.UInt32();
    r.SkipDiagnosticInfo();
    r.SkipStringArray();
    r.SkipExtensionObject();
    return h;
}

// The element count of an array the answer keeps, within one of our limits.
uint32_t countWithin(TUaReader& r, size_t minElementSize, uint32_t limit, const char* service, const char* what)
{
    const uint32_t n = r.ArrayLength(minElementSize);
    if (n > limit)
        throw EOpcError(std::string(service) + " answered with " + std::to_string(n) + " " + what + ", more than the " +
                            std::to_string(limit) + " taken",
                        Status::BadResponseTooLarge);
    return n;
}

// The element count of an array that answers the elements of the request
// one for one.
uint32_t countAsked(TUaReader& r, size_t minElementSize, size_t asked, const char* service, const char* what)
{
    const uint32_t n = r.ArrayLength(minElementSize);
    if (n != asked)
        throw EUaDecodeError(std::string(service) + " answered " + std::to_string(n) + " " + what + " for " +
                             std::to_string(asked) + " asked");
    return n;
}

// Smallest encodings: every string null, every NodeId in two bytes.
constexpr size_t MinApplicationDescription = 4 + 4 + 1 + 4 + 4 + 4 + 4;
constexpr size_t MinEndpointDescription = 4 + MinApplicationDescription + 4 + 4 + 4 + 4 + 4 + 1;
constexpr size_t MinUserTokenPolicy = 4 + 4 + 4 + 4 + 4;
constexpr size_t MinBrowseResult = 4 + 4 + 4;
constexpr size_t MinReferenceDescription = 2 + 1 + 2 + 2 + 4 + 1 + 4 + 2;

// Reads the type id and the header; a fault or a bad result throws.
TUaReader beginResponse(std::string_view body, uint32_t expected, const char* service)
{
    TUaReader r(body);
    const TNodeId type = r.NodeId();
    if (type.Kind != TNodeIdKind::Numeric || type.Namespace != 0)
        throw EUaDecodeError(std::string(service) + ": unexpected response type " + type.ToText());
    if (type.Numeric == MessageId::ServiceFault) {
        const TResponseHeader h = responseHeader(r);
        throw EOpcError(std::string(service) + " failed: " + StatusText(h.ServiceResult),
                        h.ServiceResult ? h.ServiceResult : Status::BadUnexpectedError);
    }
    if (type.Numeric != expected)
        throw EUaDecodeError(std::string(service) + ": unexpected response type " + type.ToText());
    const TResponseHeader h = responseHeader(r);
    if (IsBad(h.ServiceResult))
        throw EOpcError(std::string(service) + " failed: " + StatusText(h.ServiceResult), h.ServiceResult);
    return r;
}

TApplicationDescription applicationDescription(TUaReader& r, const char* service)
{
    TApplicationDescription a;
    a.ApplicationUri = r.String();
    a.ProductUri = r.String();
    a.ApplicationName = r.LocalizedText();
    a.ApplicationType = r.Int32();
    a.GatewayServerUri = r.String();
    a.DiscoveryProfileUri = r.String();
    const uint32_t urls = countWithin(r, 4, Limit::DiscoveryUrls, service, "discovery URLs for one server");
    a.DiscoveryUrls.reserve(urls);
    for (uint32_t i = 0; i < urls; ++i)
        a.DiscoveryUrls.push_back(r.String());
    return a;
}

TEndpointDescription endpointDescription(TUaReader& r, const char* service)
{
    TEndpointDescription e;
    e.EndpointUrl = r.String();
    e.Server = applicationDescription(r, service);
    e.ServerCertificate = r.ByteString();
    e.SecurityMode = r.Int32();
    e.SecurityPolicyUri = r.String();
    const uint32_t n =
        countWithin(r, MinUserTokenPolicy, Limit::TokenPolicies, service, "token policies for one endpoint");
    e.UserIdentityTokens.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        TUserTokenPolicy p;
        p.PolicyId = r.String();
        p.TokenType = r.Int32();
        p.IssuedTokenType = r.String();
        p.IssuerEndpointUrl = r.String();
        p.SecurityPolicyUri = r.String();
        e.UserIdentityTokens.push_back(std::move(p));
    }
    e.TransportProfileUri = r.String();
    e.SecurityLevel = r.Byte();
    return e;
}

std::vector<TEndpointDescription> endpointList(TUaReader& r, const char* service)
{
    const uint32_t n = countWithin(r, MinEndpointDescription, Limit::Endpoints, service, "endpoints");
    std::vector<TEndpointDescription> list;
    list.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        list.push_back(endpointDescription(r, service));
    return list;
}

} // namespace

TChannelToken DecodeOpenSecureChannel(std::string_view body)
{
    TUaReader r = beginResponse(body, MessageId::OpenSecureChannelResponse, "OpenSecureChannel");
    r.UInt32(); // server protocol version
    TChannelToken t;
    t.ChannelId = r.UInt32();
    t.TokenId = r.UInt32();
    r.Int64(); // created at
    t.RevisedLifetime = r.UInt32();
    r.ByteString(); // server nonce
    return t;
}

TCreateSessionResult DecodeCreateSession(std::string_view body)
{
    TUaReader r = beginResponse(body, MessageId::CreateSessionResponse, "CreateSession");
    TCreateSessionResult s;
    s.SessionId = r.NodeId();
    s.AuthenticationToken = r.NodeId();
    s.RevisedSessionTimeout = r.Double();
    r.ByteString(); // server nonce
    r.ByteString(); // server certificate
    s.Endpoints = endpointList(r, "CreateSession");
    const uint32_t certs = r.ArrayLength(8);
    for (uint32_t i = 0; i < certs; ++i) {
        r.ByteString();
        r.ByteString();
    }
    r.String();     // signature algorithm
    r.ByteString(); // signature
    s.MaxRequestMessageSize = r.UInt32();
    return s;
}

void DecodeActivateSession(std::string_view body)
{
    TUaReader r = beginResponse(body, MessageId::ActivateSessionResponse, "ActivateSession");
    r.ByteString(); // server nonce
    const uint32_t n = r.ArrayLength(4);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t status = r.UInt32();
        if (IsBad(status))
            throw EOpcError("ActivateSession failed: " + StatusText(status), status);
    }
    r.SkipDiagnosticInfos();
}

void DecodeCloseSession(std::string_view body)
{
    beginResponse(body, MessageId::CloseSessionResponse, "CloseSession");
}

std::vector<TApplicationDescription> DecodeFindServers(std::string_view body)
{
    TUaReader r = beginResponse(body, MessageId::FindServersResponse, "FindServers");
    const uint32_t n = countWithin(r, MinApplicationDescription, Limit::Servers, "FindServers", "servers");
    std::vector<TApplicationDescription> list;
    list.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        list.push_back(applicationDescription(r, "FindServers"));
    return list;
}

std::vector<TEndpointDescription> DecodeGetEndpoints(std::string_view body)
{
    TUaReader r = beginResponse(body, MessageId::GetEndpointsResponse, "GetEndpoints");
    return endpointList(r, "GetEndpoints");
}

std::vector<TBrowseResult> DecodeBrowse(std::string_view body, bool next, size_t nodesAsked,
                                        uint32_t maxReferences)
{
    const char* const service = next ? "BrowseNext" : "Browse";
    TUaReader r = beginResponse(body, next ? MessageId::BrowseNextResponse : MessageId::BrowseResponse, service);
    const uint32_t n = countAsked(r, MinBrowseResult, nodesAsked, service, "results");
    std::vector<TBrowseResult> results;
    results.reserve(n);
    uint32_t referencesLeft = maxReferences;
    for (uint32_t i = 0; i < n; ++i) {
        TBrowseResult b;
        b.Status = r.UInt32();
        b.ContinuationPoint = r.ByteString();
        const uint32_t refs = countWithin(r, MinReferenceDescription, referencesLeft, service, "references");
        referencesLeft -= refs;
        b.References.reserve(refs);
        for (uint32_t k = 0; k < refs; ++k) {
            TReferenceDescription d;
            d.ReferenceTypeId = r.NodeId();
            d.IsForward = r.Boolean();
            d.NodeId = r.ExpandedNodeId();
            d.BrowseName = r.QualifiedName();
            d.DisplayName = r.LocalizedText();
            d.NodeClass = static_cast<TNodeClass>(r.Int32());
            d.TypeDefinition = r.ExpandedNodeId();
            b.References.push_back(std::move(d));
        }
        results.push_back(std::move(b));
    }
    r.SkipDiagnosticInfos();
    return results;
}

std::vector<TDataValue> DecodeRead(std::string_view body, size_t itemsAsked)
{
    TUaReader r = beginResponse(body, MessageId::ReadResponse, "Read");
    const uint32_t n = countAsked(r, 1, itemsAsked, "Read", "values");
    std::vector<TDataValue> values;
    values.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        values.push_back(r.DataValue());
    r.SkipDiagnosticInfos();
    return values;
}

std::vector<uint32_t> DecodeWrite(std::string_view body, size_t itemsAsked)
{
    TUaReader r = beginResponse(body, MessageId::WriteResponse, "Write");
    const uint32_t n = countAsked(r, 4, itemsAsked, "Write", "results");
    std::vector<uint32_t> results;
    results.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        results.push_back(r.UInt32());
    r.SkipDiagnosticInfos();
    return results;
}

} // namespace telvo::opc
