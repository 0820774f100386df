#pragma once
// An OPC UA server of our own on 127.0.0.1 for tests of a client facing a
// server that misbehaves. It answers Hello, OpenSecureChannel and the
// session services as a server does, and hands every other request to the
// test, which answers as it likes: too much, too slowly, without end.
// Clients are served one after another on one thread.

#include "opc/ua_services.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace telvo::test {

class UaScriptedPeer {
public:
    struct Request {
        uint32_t TypeId = 0;
        uint32_t RequestId = 0;
        uint32_t RequestHandle = 0;
    };

    // The connection a request came on.
    class Link {
    public:
        Link(UaScriptedPeer& peer, int fd) : peer_(peer), fd_(fd) {}
        // One chunk of an answer with the next sequence number.
        std::string Frame(char chunkType, uint32_t requestId, std::string_view body, std::string_view type = "MSG");
        // These are false once the client is gone.
        bool Chunk(char chunkType, uint32_t requestId, std::string_view body, std::string_view type = "MSG")
        {
            return Send(Frame(chunkType, requestId, body, type));
        }
        // A whole answer, in as many chunks as the client's 64 KiB take.
        bool Answer(uint32_t requestId, std::string_view body);
        bool Send(std::string_view bytes);
        // The test is over: a script that goes on for ever stops here.
        bool Stopping() const { return peer_.stop_; }

    private:
        UaScriptedPeer& peer_;
        int fd_;
    };

    using Handler = std::function<void(Link&, const Request&)>;

    explicit UaScriptedPeer(Handler onRequest);
    ~UaScriptedPeer();
    UaScriptedPeer(const UaScriptedPeer&) = delete;
    UaScriptedPeer& operator=(const UaScriptedPeer&) = delete;

    std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string Endpoint() const { return "opc.tcp://" + HostPort(); }

    // The sequence numbers of the chunks sent: the first, and the step from
    // one to the next (0: every chunk has the same number).
    std::atomic<uint32_t> NextSequence{1};
    std::atomic<uint32_t> SequenceStep{1};

private:
    void run();
    void serve(int fd);
    bool answer(Link& link, const std::string& bytes);
    bool receive(int fd, std::string& chunk);

    Handler onRequest_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The start of an answer: its type id and a response header with a Good
// service result.
opc::TUaWriter ResponseStart(uint32_t typeId, uint32_t requestHandle = 0);
// One ReferenceDescription of a Browse answer.
void WriteReference(opc::TUaWriter& w, const opc::TNodeId& node, const std::string& name, opc::TNodeClass nodeClass);
// One ApplicationDescription of a FindServers answer (a server).
void WriteServer(opc::TUaWriter& w, const std::string& name, const std::string& uri, const std::string& product,
                 const std::string& discoveryUrl);
// An ERR message: the server gives up on the connection with a reason.
std::string ErrorMessage(uint32_t status, const std::string& reason);
// The answer to a Browse or BrowseNext request: one result with `count`
// variables and the continuation point (none when empty).
std::string BrowseAnswer(const UaScriptedPeer::Request& request, uint32_t count,
                         const std::string& continuationPoint);

// The longest a script goes on when the client does not end it: a client
// still waiting then has lost its deadline.
constexpr int ScriptSeconds = 8;
// Answers a request with empty chunks that never end the answer, many to a
// write, so that the client's socket is never empty.
void EndlessEmptyChunks(UaScriptedPeer::Link& link, const UaScriptedPeer::Request& request);

} // namespace telvo::test
