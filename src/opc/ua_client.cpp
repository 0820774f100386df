#include "opc/ua_client.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace telvo::opc {

bool ParseEndpointUrl(const std::string& url, TEndpointUrl& out)
{
    constexpr std::string_view scheme = "opc.tcp://";
    if (url.size() <= scheme.size())
        return false;
    for (size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i])
            return false;
    std::string_view rest(url);
    rest.remove_prefix(scheme.size());
    const size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    TEndpointUrl u;
    u.Path = slash == std::string_view::npos ? std::string() : std::string(rest.substr(slash));
    std::string_view port;
    if (authority.starts_with('[')) {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        u.Host = std::string(authority.substr(1, close - 1));
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':')
                return false;
            port = after.substr(1);
        }
    } else {
        const size_t colon = authority.rfind(':');
        u.Host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos)
            port = authority.substr(colon + 1);
    }
    if (u.Host.empty())
        return false;
    if (!port.empty()) {
        unsigned p = 0;
        auto r = std::from_chars(port.data(), port.data() + port.size(), p);
        if (r.ec != std::errc() || r.ptr != port.data() + port.size() || p == 0 || p > 65535)
            return false;
        u.Port = uint16_t(p);
    }
    out = std::move(u);
    return true;
}

TOpcUaClient::TOpcUaClient(TClientOptions options) : Options(std::move(options)) {}

TOpcUaClient::~TOpcUaClient() { Close(); }

void TOpcUaClient::fail(const std::string& message, uint32_t status)
{
    closeSocket();
    throw EOpcError(message, status);
}

void TOpcUaClient::closeSocket()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    sessionActive_ = false;
    authenticationToken_ = {};
    inbox_.clear();
}

namespace {

int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

} // namespace

TRequestContext TOpcUaClient::context()
{
    TRequestContext c;
    c.AuthenticationToken = authenticationToken_;
    c.RequestHandle = ++requestHandle_;
    c.TimeoutHint = static_cast<uint32_t>(remainingMs(deadline()));
    return c;
}

uint32_t TOpcUaClient::chunkLimit() const
{
    return Options.MaxChunkCount ? Options.MaxChunkCount : Limit::ChunksPerMessage;
}

void TOpcUaClient::timedOut()
{
    fail("No answer from " + endpointUrl_ + " within " + std::to_string(Options.Timeout.count()) + " ms",
         Status::BadTimeout);
}

void TOpcUaClient::connectSocket(const TEndpointUrl& url, Clock::time_point deadline)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(url.Port);
    if (int rc = ::getaddrinfo(url.Host.c_str(), port.c_str(), &hints, &found); rc != 0)
        throw EOpcError("Cannot resolve host " + url.Host + ": " + gai_strerror(rc), Status::BadCommunicationError);
    std::string lastError = "no address";
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            lastError = std::strerror(errno);
            continue;
        }
        int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            rc = ::poll(&p, 1, remainingMs(deadline));
            if (rc == 0) {
                ::close(fd);
                ::freeaddrinfo(found);
                throw EOpcError("Connecting to " + url.Host + ":" + port + " timed out", Status::BadTimeout);
            }
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
            rc = err == 0 ? 0 : -1;
            errno = err;
        }
        if (rc == 0) {
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            fd_ = fd;
            ::freeaddrinfo(found);
            return;
        }
        lastError = std::strerror(errno);
        ::close(fd);
    }
    ::freeaddrinfo(found);
    throw EOpcError("Cannot connect to " + url.Host + ":" + port + ": " + lastError, Status::BadCommunicationError);
}

void TOpcUaClient::sendAll(std::string_view bytes, Clock::time_point deadline)
{
    while (!bytes.empty()) {
        if (Clock::now() >= deadline)
            fail("Sending to " + endpointUrl_ + " timed out", Status::BadTimeout);
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, remainingMs(deadline)) == 0)
                fail("Sending to " + endpointUrl_ + " timed out", Status::BadTimeout);
            continue;
        }
        fail("Sending to " + endpointUrl_ + " failed: " + std::strerror(errno), Status::BadConnectionClosed);
    }
}

std::string TOpcUaClient::receiveChunk(Clock::time_point deadline)
{
    size_t want = MessageHeaderSize;
    bool haveSize = false;
    for (;;) {
        if (!haveSize && inbox_.size() >= MessageHeaderSize) {
            try {
                want = ChunkSize(inbox_);
            } catch (const EUaDecodeError& e) {
                fail(std::string("Malformed message from ") + endpointUrl_ + ": " + e.what(), Status::BadDecodingError);
            }
            if (want > Options.ReceiveBufferSize)
                fail("Message chunk of " + std::to_string(want) + " bytes from " + endpointUrl_ +
                         " exceeds the receive buffer",
                     Status::BadTcpMessageTooLarge);
            haveSize = true;
        }
        if (haveSize && inbox_.size() >= want) {
            std::string chunk = inbox_.substr(0, want);
            inbox_.erase(0, want);
            return chunk;
        }
        // The deadline holds for a peer that never lets recv block, too.
        if (Clock::now() >= deadline)
            timedOut();
        // Simulation threads have small stacks: a modest buffer.
        char buf[16384];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n > 0) {
            inbox_.append(buf, size_t(n));
            continue;
        }
        if (n == 0)
            fail("Connection to " + endpointUrl_ + " closed by the server", Status::BadConnectionClosed);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, remainingMs(deadline)) == 0)
                timedOut();
            continue;
        }
        fail("Receiving from " + endpointUrl_ + " failed: " + std::strerror(errno), Status::BadConnectionClosed);
    }
}

void TOpcUaClient::sendMessage(std::string_view messageType, const std::string& body, uint32_t requestId,
                               Clock::time_point deadline)
{
    const uint32_t chunkSize = std::min(Options.SendBufferSize, peerReceiveBuffer_ ? peerReceiveBuffer_ : 8192u);
    const size_t room = ChunkBodyRoom(messageType, chunkSize);
    if (room == 0)
        fail("The server's receive buffer is too small", Status::BadCommunicationError);
    const size_t chunks = body.empty() ? 1 : (body.size() + room - 1) / room;
    if ((peerMaxChunks_ && chunks > peerMaxChunks_) || (peerMaxMessage_ && body.size() > peerMaxMessage_) ||
        (messageType != "MSG" && chunks > 1))
        throw EOpcError("Request too large for the server (" + std::to_string(body.size()) + " bytes)",
                        0x80B80000 /* BadRequestTooLarge */);
    for (size_t i = 0; i < chunks; ++i) {
        const std::string_view part = std::string_view(body).substr(i * room, room);
        const char type = i + 1 == chunks ? 'F' : 'C';
        sendAll(FrameChunk(messageType, type, channelId_, tokenId_, ++sequenceNumber_, requestId, part), deadline);
    }
}

std::string TOpcUaClient::call(std::string_view messageType, const std::string& body, Clock::time_point deadline)
{
    if (fd_ < 0)
        throw EOpcError("Not connected", Status::BadConnectionClosed);
    const uint32_t requestId = ++requestId_;
    sendMessage(messageType, body, requestId, deadline);
    std::string message;
    uint32_t chunks = 0;
    for (;;) {
        const std::string bytes = receiveChunk(deadline);
        TChunk c;
        try {
            c = DecodeChunk(bytes);
        } catch (const EUaDecodeError& e) {
            fail(std::string("Malformed message from ") + endpointUrl_ + ": " + e.what(), Status::BadDecodingError);
        }
        if (c.MessageType == "ERR") {
            EOpcError err = DecodeError(c.Body, "Server " + endpointUrl_ + " reported an error");
            closeSocket();
            throw err;
        }
        if (c.MessageType != (messageType == "OPN" ? "OPN" : "MSG"))
            fail("Unexpected " + c.MessageType + " message from " + endpointUrl_, Status::BadDecodingError);
        if (sequenceStarted_ && c.SequenceNumber != lastSequence_ + 1 &&
            !(c.SequenceNumber < 1024 && lastSequence_ > 0xFFFFFFFFu - 1024))
            fail("Chunks from " + endpointUrl_ + " arrived out of sequence", Status::BadDecodingError);
        sequenceStarted_ = true;
        lastSequence_ = c.SequenceNumber;
        if (c.RequestId != requestId)
            fail("Answer from " + endpointUrl_ + " to another request (" + std::to_string(c.RequestId) + ")",
                 Status::BadDecodingError);
        if (c.ChunkType == 'A') {
            EOpcError err = DecodeError(c.Body, "Server " + endpointUrl_ + " aborted the answer");
            throw err; // the channel itself is still sound
        }
        if (++chunks > chunkLimit())
            fail("Answer from " + endpointUrl_ + " comes in more than " + std::to_string(chunkLimit()) + " chunks",
                 Status::BadResponseTooLarge);
        if (message.size() + c.Body.size() > Options.MaxMessageSize)
            fail("Answer from " + endpointUrl_ + " is larger than " + std::to_string(Options.MaxMessageSize) + " bytes",
                 Status::BadResponseTooLarge);
        message.append(c.Body);
        if (c.ChunkType == 'F')
            return message;
    }
}

void TOpcUaClient::OpenChannel(const std::string& endpointUrl)
{
    Close();
    TEndpointUrl url;
    if (!ParseEndpointUrl(endpointUrl, url))
        throw EOpcError("Not an OPC UA endpoint: " + endpointUrl, 0x80830000 /* BadTcpEndpointUrlInvalid */);
    endpointUrl_ = endpointUrl;
    const auto until = deadline();
    connectSocket(url, until);
    channelId_ = tokenId_ = sequenceNumber_ = lastSequence_ = 0;
    sequenceStarted_ = false;
    peerReceiveBuffer_ = peerMaxMessage_ = peerMaxChunks_ = 0;

    THello hello;
    hello.ReceiveBufferSize = std::max<uint32_t>(Options.ReceiveBufferSize, 8192);
    hello.SendBufferSize = std::max<uint32_t>(Options.SendBufferSize, 8192);
    hello.MaxMessageSize = Options.MaxMessageSize;
    hello.MaxChunkCount = chunkLimit();
    hello.EndpointUrl = endpointUrl;
    Options.ReceiveBufferSize = hello.ReceiveBufferSize;
    Options.SendBufferSize = hello.SendBufferSize;
    sendAll(EncodeHello(hello), until);
    const std::string ack = receiveChunk(until);
    try {
        const TChunk c = DecodeChunk(ack);
        if (c.MessageType == "ERR") {
            EOpcError err = DecodeError(c.Body, "Server " + endpointUrl + " refused the connection");
            closeSocket();
            throw err;
        }
        if (c.MessageType != "ACK")
            fail("Unexpected " + c.MessageType + " message from " + endpointUrl + " instead of ACK",
                 Status::BadDecodingError);
        const TAcknowledge a = DecodeAcknowledge(c.Body);
        peerReceiveBuffer_ = a.ReceiveBufferSize;
        peerMaxMessage_ = a.MaxMessageSize;
        peerMaxChunks_ = a.MaxChunkCount;
        if (peerReceiveBuffer_ < 8192)
            fail("Server " + endpointUrl + " offers a receive buffer of only " + std::to_string(peerReceiveBuffer_) +
                 " bytes", Status::BadCommunicationError);
    } catch (const EUaDecodeError& e) {
        fail(std::string("Malformed acknowledge from ") + endpointUrl + ": " + e.what(), Status::BadDecodingError);
    }

    try {
        const std::string body = call("OPN", EncodeOpenSecureChannel(context(), Options.ChannelLifetimeMs), until);
        const TChannelToken token = DecodeOpenSecureChannel(body);
        channelId_ = token.ChannelId;
        tokenId_ = token.TokenId;
    } catch (const EUaDecodeError& e) {
        fail(std::string("Malformed answer from ") + endpointUrl + ": " + e.what(), Status::BadDecodingError);
    } catch (const EOpcError&) {
        closeSocket();
        throw;
    }
}

void TOpcUaClient::Connect(const std::string& endpointUrl)
{
    OpenChannel(endpointUrl);
    try {
        std::string nonce(32, '\0');
        std::random_device rd;
        for (auto& ch : nonce)
            ch = static_cast<char>(rd() & 0xFF);
        const TCreateSessionResult s = DecodeCreateSession(
            call("MSG", EncodeCreateSession(context(), endpointUrl, Options.SessionName, nonce, Options.SessionTimeoutMs),
                 deadline()));
        authenticationToken_ = s.AuthenticationToken;
        // The anonymous policy of an endpoint without security; servers
        // name it as they like.
        std::string policyId = "anonymous";
        for (const auto& e : s.Endpoints) {
            if (e.SecurityPolicyUri != SecurityPolicyNone)
                continue;
            for (const auto& p : e.UserIdentityTokens)
                if (p.TokenType == 0) {
                    policyId = p.PolicyId;
                    break;
                }
        }
        DecodeActivateSession(call("MSG", EncodeActivateSession(context(), policyId), deadline()));
        sessionActive_ = true;
    } catch (const EUaDecodeError& e) {
        fail(std::string("Malformed answer from ") + endpointUrl + ": " + e.what(), Status::BadDecodingError);
    } catch (const EOpcError&) {
        Close();
        throw;
    }
}

void TOpcUaClient::Close()
{
    if (fd_ < 0)
        return;
    const auto until =
        std::min(Clock::now() + std::min<std::chrono::milliseconds>(Options.Timeout, std::chrono::seconds(2)),
                 Options.Deadline);
    try {
        if (sessionActive_)
            DecodeCloseSession(call("MSG", EncodeCloseSession(context()), until));
    } catch (const std::exception&) {
        // Closing a session on a server that is gone is not an error.
    }
    if (fd_ >= 0) {
        try {
            sendMessage("CLO", EncodeCloseSecureChannel(context()), ++requestId_, until);
        } catch (const std::exception&) {
        }
    }
    closeSocket();
}

namespace {

template <class F>
auto decoded(F&& f, const std::string& url) -> decltype(f())
{
    try {
        return f();
    } catch (const EUaDecodeError& e) {
        throw EOpcError(std::string("Malformed answer from ") + url + ": " + e.what(), Status::BadDecodingError);
    }
}

} // namespace

std::vector<TApplicationDescription> TOpcUaClient::FindServers()
{
    const std::string body = call("MSG", EncodeFindServers(context(), endpointUrl_), deadline());
    return decoded([&] { return DecodeFindServers(body); }, endpointUrl_);
}

std::vector<TEndpointDescription> TOpcUaClient::GetEndpoints()
{
    const std::string body = call("MSG", EncodeGetEndpoints(context(), endpointUrl_), deadline());
    return decoded([&] { return DecodeGetEndpoints(body); }, endpointUrl_);
}

std::vector<TBrowseResult> TOpcUaClient::browse(const std::vector<TNodeId>& nodes, uint32_t maxReferences,
                                                 uint32_t referencesTaken, Clock::time_point until)
{
    const std::string body = call("MSG", EncodeBrowse(context(), nodes, maxReferences), until);
    return decoded([&] { return DecodeBrowse(body, false, nodes.size(), Limit::References - referencesTaken); },
                   endpointUrl_);
}

std::vector<TBrowseResult> TOpcUaClient::browseNext(const std::vector<std::string>& continuationPoints, bool release,
                                                     uint32_t referencesTaken, Clock::time_point until)
{
    const std::string body = call("MSG", EncodeBrowseNext(context(), continuationPoints, release), until);
    return decoded(
        [&] { return DecodeBrowse(body, true, continuationPoints.size(), Limit::References - referencesTaken); },
        endpointUrl_);
}

std::vector<TBrowseResult> TOpcUaClient::Browse(const std::vector<TNodeId>& nodes, uint32_t maxReferences)
{
    return browse(nodes, maxReferences, 0, deadline());
}

std::vector<TBrowseResult> TOpcUaClient::BrowseNext(const std::vector<std::string>& continuationPoints, bool release)
{
    return browseNext(continuationPoints, release, 0, deadline());
}

std::vector<TReferenceDescription> TOpcUaClient::BrowseAll(const TNodeId& node, uint32_t maxReferencesPerCall)
{
    // One deadline for every round: a server that hands out continuation
    // points without end, each just within a call's time, is not followed
    // for ever; the count of references bounds what we keep.
    const Clock::time_point until = deadline();
    std::vector<TReferenceDescription> all;
    const auto limited = [&](auto&& round) {
        try {
            return round();
        } catch (const EOpcError& e) {
            // Our own limit, met in a decoded answer: the channel is sound.
            if (e.Status != Status::BadResponseTooLarge || !ChannelOpen())
                throw;
            throw EOpcError("Browse of " + node.ToText() + " holds more than " + std::to_string(Limit::References) +
                                " references",
                            Status::BadResponseTooLarge);
        }
    };
    std::vector<TBrowseResult> results = limited([&] { return browse({node}, maxReferencesPerCall, 0, until); });
    for (;;) {
        TBrowseResult& r = results.front(); // one result per node asked, as the decoder checked
        if (IsBad(r.Status))
            throw EOpcError("Browse of " + node.ToText() + " failed: " + StatusText(r.Status), r.Status);
        std::move(r.References.begin(), r.References.end(), std::back_inserter(all));
        if (r.ContinuationPoint.empty())
            return all;
        const auto taken = static_cast<uint32_t>(all.size());
        results = limited([&] { return browseNext({r.ContinuationPoint}, false, taken, until); });
    }
}

std::vector<TDataValue> TOpcUaClient::Read(const std::vector<TReadValueId>& items)
{
    const std::string body = call("MSG", EncodeRead(context(), items), deadline());
    return decoded([&] { return DecodeRead(body, items.size()); }, endpointUrl_);
}

TDataValue TOpcUaClient::ReadValue(const TNodeId& node) { return Read({{node, Attribute::Value}}).front(); }

uint32_t TOpcUaClient::Write(const TNodeId& node, const TVariant& value)
{
    const std::string body = call("MSG", EncodeWrite(context(), node, value), deadline());
    return decoded([&] { return DecodeWrite(body, 1); }, endpointUrl_).front();
}

} // namespace telvo::opc
