#include "ua_scripted_peer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace telvo::test {

using namespace opc;

TUaWriter ResponseStart(uint32_t typeId, uint32_t requestHandle)
{
    TUaWriter w;
    w.NodeId(TNodeId::Num(typeId));
    w.Int64(UaNow());
    w.UInt32(requestHandle);
    w.UInt32(Status::Good);
    w.Byte(0);   // no diagnostics
    w.Int32(-1); // no string table
    w.EmptyExtensionObject();
    return w;
}

bool UaScriptedPeer::Link::Send(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (peer_.stop_)
            return false;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

std::string UaScriptedPeer::Link::Frame(char chunkType, uint32_t requestId, std::string_view body,
                                        std::string_view type)
{
    const uint32_t sequence = peer_.NextSequence.fetch_add(peer_.SequenceStep);
    return FrameChunk(type, chunkType, 1, 1, sequence, requestId, body);
}

bool UaScriptedPeer::Link::Answer(uint32_t requestId, std::string_view body)
{
    const size_t room = ChunkBodyRoom("MSG", 65536);
    do {
        const std::string_view part = body.substr(0, room);
        body.remove_prefix(part.size());
        if (!Chunk(body.empty() ? 'F' : 'C', requestId, part))
            return false;
    } while (!body.empty());
    return true;
}

void WriteReference(TUaWriter& w, const TNodeId& node, const std::string& name, TNodeClass nodeClass)
{
    w.NodeId(TNodeId::Num(35)); // Organizes
    w.Boolean(true);
    w.ExpandedNodeId({node, {}, 0});
    w.QualifiedName({node.Namespace, name});
    w.LocalizedText({"", name});
    w.Int32(static_cast<int32_t>(nodeClass));
    w.ExpandedNodeId({TNodeId::Num(61), {}, 0}); // FolderType
}

void WriteServer(TUaWriter& w, const std::string& name, const std::string& uri, const std::string& product,
                 const std::string& discoveryUrl)
{
    w.String(uri);
    w.String(product);
    w.LocalizedText({"", name});
    w.Int32(0); // a server
    w.NullString();
    w.NullString();
    w.StringArray({discoveryUrl});
}

std::string BrowseAnswer(const UaScriptedPeer::Request& request, uint32_t count,
                         const std::string& continuationPoint)
{
    TUaWriter w = ResponseStart(
        request.TypeId == MessageId::BrowseRequest ? MessageId::BrowseResponse : MessageId::BrowseNextResponse,
        request.RequestHandle);
    w.Int32(1);
    w.UInt32(Status::Good);
    if (continuationPoint.empty())
        w.NullString();
    else
        w.ByteString(continuationPoint);
    w.Int32(static_cast<int32_t>(count));
    for (uint32_t k = 0; k < count; ++k)
        WriteReference(w, TNodeId::Num(100000 + k, 1), "Item" + std::to_string(k), TNodeClass::Variable);
    w.Int32(-1); // diagnostics
    return w.Buffer;
}

void EndlessEmptyChunks(UaScriptedPeer::Link& link, const UaScriptedPeer::Request& request)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(ScriptSeconds);
    while (std::chrono::steady_clock::now() < until) {
        std::string burst;
        for (int i = 0; i < 500; ++i)
            burst += link.Frame('C', request.RequestId, {});
        if (!link.Send(burst))
            return;
    }
}

std::string ErrorMessage(uint32_t status, const std::string& reason)
{
    TUaWriter w;
    w.Buffer = "ERRF";
    w.UInt32(0);
    w.UInt32(status);
    w.String(reason);
    w.PatchUInt32(4, uint32_t(w.Buffer.size()));
    return w.Buffer;
}

UaScriptedPeer::UaScriptedPeer(Handler onRequest) : onRequest_(std::move(onRequest))
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
}

UaScriptedPeer::~UaScriptedPeer()
{
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void UaScriptedPeer::run()
{
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        serve(fd);
        ::close(fd);
    }
}

bool UaScriptedPeer::receive(int fd, std::string& chunk)
{
    chunk.clear();
    size_t want = MessageHeaderSize;
    while (chunk.size() < want) {
        if (stop_)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, want - chunk.size()), 0);
        if (n <= 0)
            return false;
        chunk.append(buf, size_t(n));
        if (chunk.size() == MessageHeaderSize) {
            try {
                want = ChunkSize(chunk);
            } catch (const EUaDecodeError&) {
                return false;
            }
            if (want > (1u << 20))
                return false;
        }
    }
    return true;
}

void UaScriptedPeer::serve(int fd)
{
    Link link(*this, fd);
    std::string bytes;
    while (receive(fd, bytes)) {
        try {
            if (!answer(link, bytes))
                return;
        } catch (const std::exception&) {
            return; // not a client of ours: hang up
        }
    }
}

bool UaScriptedPeer::answer(Link& link, const std::string& bytes)
{
    const TChunk c = DecodeChunk(bytes);
    if (c.MessageType == "HEL") {
        TUaWriter w;
        w.Buffer = "ACKF";
        w.UInt32(0);
        w.UInt32(0);       // protocol version
        w.UInt32(65536);   // receive buffer
        w.UInt32(65536);   // send buffer
        w.UInt32(0);       // any message size
        w.UInt32(0);       // any chunk count
        w.PatchUInt32(4, uint32_t(w.Buffer.size()));
        link.Send(w.Buffer);
        return true;
    }
    if (c.MessageType == "CLO")
        return false;
    TUaReader r(c.Body);
    Request request;
    request.TypeId = r.NodeId().Numeric;
    request.RequestId = c.RequestId;
    r.NodeId(); // authentication token
    r.Int64();
    request.RequestHandle = r.UInt32();
    switch (request.TypeId) {
    case MessageId::OpenSecureChannelRequest: {
        TUaWriter w = ResponseStart(MessageId::OpenSecureChannelResponse, request.RequestHandle);
        w.UInt32(0); // protocol version
        w.UInt32(1); // channel
        w.UInt32(1); // token
        w.Int64(UaNow());
        w.UInt32(3600000);
        w.NullString(); // nonce
        link.Chunk('F', c.RequestId, w.Buffer, "OPN");
        break;
    }
    case MessageId::CreateSessionRequest: {
        TUaWriter w = ResponseStart(MessageId::CreateSessionResponse, request.RequestHandle);
        w.NodeId(TNodeId::Num(7, 1)); // session
        w.NodeId(TNodeId::Num(8, 1)); // authentication token
        w.Double(60000);
        w.NullString(); // nonce
        w.NullString(); // certificate
        w.Int32(0);     // endpoints
        w.Int32(0);     // software certificates
        w.NullString();
        w.NullString(); // signature
        w.UInt32(0);
        link.Answer(c.RequestId, w.Buffer);
        break;
    }
    case MessageId::ActivateSessionRequest: {
        TUaWriter w = ResponseStart(MessageId::ActivateSessionResponse, request.RequestHandle);
        w.NullString(); // nonce
        w.Int32(0);     // results
        w.Int32(0);     // diagnostics
        link.Answer(c.RequestId, w.Buffer);
        break;
    }
    case MessageId::CloseSessionRequest:
        link.Answer(c.RequestId, ResponseStart(MessageId::CloseSessionResponse, request.RequestHandle).Buffer);
        break;
    default: onRequest_(link, request); break;
    }
    return true;
}

} // namespace telvo::test
