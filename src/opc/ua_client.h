#pragma once
// A small OPC UA client over opc.tcp: security policy None, anonymous
// sign-in, one request at a time. Every call has a deadline; a call that
// runs past it, or any transport failure, closes the connection (a late
// answer could otherwise be taken for the next one) and throws EOpcError.
// One client belongs to one thread.

#include "opc/ua_services.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace telvo::opc {

struct TEndpointUrl {
    std::string Host; // without brackets for IPv6
    uint16_t Port = 4840;
    std::string Path;  // "/..." or empty
};

// Splits "opc.tcp://host:port/path"; false when it is not such a URL.
bool ParseEndpointUrl(const std::string& url, TEndpointUrl& out);

struct TClientOptions {
    // Each call ends within Timeout, however the server sends its answer
    // (slowly, or as an endless stream of chunks).
    std::chrono::milliseconds Timeout{5000};
    // No call runs past this moment either: the time of a whole task of
    // many calls (a command, a browse of many rounds).
    std::chrono::steady_clock::time_point Deadline = std::chrono::steady_clock::time_point::max();
    // What we accept per chunk and per message; small values make the
    // server send a large answer in many chunks.
    uint32_t ReceiveBufferSize = 65536;
    uint32_t MaxMessageSize = 64u << 20;
    // 0 takes Limit::ChunksPerMessage: an answer always has a bounded
    // number of chunks, empty ones included.
    uint32_t MaxChunkCount = Limit::ChunksPerMessage;
    // The largest chunk we send (further capped by the server's own
    // receive buffer from its Acknowledge).
    uint32_t SendBufferSize = 65536;
    std::string SessionName = "TELVO ZOZE";
    double SessionTimeoutMs = 20 * 60 * 1000.0;
    uint32_t ChannelLifetimeMs = 60 * 60 * 1000;
};

class TOpcUaClient {
public:
    explicit TOpcUaClient(TClientOptions options = {});
    ~TOpcUaClient();
    TOpcUaClient(const TOpcUaClient&) = delete;
    TOpcUaClient& operator=(const TOpcUaClient&) = delete;

    // Hello/Acknowledge and OpenSecureChannel: enough for discovery.
    void OpenChannel(const std::string& endpointUrl);
    // OpenChannel, then CreateSession and ActivateSession.
    void Connect(const std::string& endpointUrl);
    // CloseSession (when one is open) and CloseSecureChannel, then the
    // socket is closed. Never throws: a peer that is gone is simply gone.
    void Close();

    bool ChannelOpen() const { return fd_ >= 0; }
    bool SessionActive() const { return fd_ >= 0 && sessionActive_; }
    const std::string& EndpointUrl() const { return endpointUrl_; }

    std::vector<TApplicationDescription> FindServers();
    std::vector<TEndpointDescription> GetEndpoints();
    std::vector<TBrowseResult> Browse(const std::vector<TNodeId>& nodes, uint32_t maxReferences = 0);
    std::vector<TBrowseResult> BrowseNext(const std::vector<std::string>& continuationPoints, bool release = false);
    // Every hierarchical child of a node, following continuation points:
    // every round within the one time-out of a call, and at most
    // Limit::References references in all.
    std::vector<TReferenceDescription> BrowseAll(const TNodeId& node, uint32_t maxReferencesPerCall = 0);
    std::vector<TDataValue> Read(const std::vector<TReadValueId>& items);
    TDataValue ReadValue(const TNodeId& node);
    // The status code of the write of the Value attribute.
    uint32_t Write(const TNodeId& node, const TVariant& value);

    TClientOptions Options;

private:
    using Clock = std::chrono::steady_clock;
    // Sends a service request and returns the body of its response.
    std::string call(std::string_view messageType, const std::string& body, Clock::time_point deadline);
    void sendMessage(std::string_view messageType, const std::string& body, uint32_t requestId,
                     Clock::time_point deadline);
    std::string receiveChunk(Clock::time_point deadline);
    void sendAll(std::string_view bytes, Clock::time_point deadline);
    void connectSocket(const TEndpointUrl& url, Clock::time_point deadline);
    void closeSocket();
    [[noreturn]] void fail(const std::string& message, uint32_t status = Status::BadCommunicationError);
    TRequestContext context();
    // The end of a call that starts now.
    Clock::time_point deadline() const { return std::min(Clock::now() + Options.Timeout, Options.Deadline); }
    uint32_t chunkLimit() const;
    [[noreturn]] void timedOut();
    std::vector<TBrowseResult> browse(const std::vector<TNodeId>& nodes, uint32_t maxReferences,
                                      uint32_t referencesTaken, Clock::time_point until);
    std::vector<TBrowseResult> browseNext(const std::vector<std::string>& continuationPoints, bool release,
                                          uint32_t referencesTaken, Clock::time_point until);

    int fd_ = -1;
    std::string endpointUrl_;
    uint32_t channelId_ = 0;
    uint32_t tokenId_ = 0;
    uint32_t sequenceNumber_ = 0;
    uint32_t requestId_ = 0;
    uint32_t requestHandle_ = 0;
    uint32_t peerReceiveBuffer_ = 0;
    uint32_t peerMaxMessage_ = 0;
    uint32_t peerMaxChunks_ = 0;
    uint32_t lastSequence_ = 0;
    bool sequenceStarted_ = false; // any number, 0 too, may begin the sequence
    bool sessionActive_ = false;
    TNodeId authenticationToken_;
    std::string inbox_; // bytes received beyond the chunk being read
};

} // namespace telvo::opc
