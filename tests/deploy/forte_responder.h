#pragma once
// An IEC 61499 runtime as far as deployment sees it: a listener on
// 127.0.0.1 that takes management frames one at a time, keeps each frame's
// bytes, and answers as a runtime does, refusing what the test says.

#include "recording_listener.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace telvo::test {

// A frame as the protocol spells it, written out here on its own so that
// the client's encoder is checked against it.
inline std::string ManagementFrame(const std::string& destination, const std::string& xml)
{
    auto part = [](const std::string& text) {
        return std::string(1, '\x50') + static_cast<char>(text.size() / 256) + static_cast<char>(text.size() % 256) +
               text;
    };
    return part(destination) + part(xml);
}

// The question a deployment opens every device with: the types it has.
inline std::string TypeQueryFrame()
{
    return ManagementFrame("", R"(<Request ID="0" Action="QUERY"><FBType Name="*"/></Request>)");
}

class TForteResponder {
public:
    struct TRequest {
        std::string Destination;
        std::string Xml;
        std::string Bytes; // the whole frame as it arrived
    };
    // The test sets these while the responder already listens, so they are
    // kept under a lock its thread takes too.
    //
    // The reason to refuse a request with, or empty to do it. Called on the
    // responder's thread.
    void SetRefuse(std::function<std::string(const TRequest&)> refuse)
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        refuse_ = std::move(refuse);
    }
    // The value a READ answers with.
    void SetReadValue(std::string value)
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        readValue_ = std::move(value);
    }
    // What goes back for a request in place of its answer frame: the bytes
    // to send, given the request and the answer a runtime would give
    // (framed). Lets a test answer out of turn, twice, or not at all.
    void SetReply(std::function<std::string(const TRequest&, const std::string& frame)> reply)
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        reply_ = std::move(reply);
    }
    // The types the runtime tells it has, as a runtime with type loading
    // does; each type it is sent joins them. Without, it answers the
    // question with a bare Response, telling nothing.
    void SetTypes(std::vector<std::string> types)
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        types_ = std::move(types);
        tellsTypes_ = true;
    }
    std::vector<std::string> Types()
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        return types_;
    }
    // Each byte of an answer is sent on its own, this long after the last.
    void SetBytePause(int ms)
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        bytePauseMs_ = ms;
    }
    // This many connections are closed as soon as they are accepted, unread,
    // the way FORTE turns one away while it still serves another.
    void SetTurnAway(int connections)
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        turnAway_ = connections;
    }

    // One answer frame around `text`.
    static std::string AnswerFrame(const std::string& text)
    {
        return std::string(1, '\x50') + static_cast<char>(text.size() / 256) + static_cast<char>(text.size() % 256) +
               text;
    }

    TForteResponder()
    {
        fd_ = ListenOnLoopback(4, port_);
        thread_ = std::thread([this] { serve(); });
    }
    ~TForteResponder() { Stop(); }
    TForteResponder(const TForteResponder&) = delete;
    TForteResponder& operator=(const TForteResponder&) = delete;

    std::string Port() const { return std::to_string(port_); }
    // Stops and returns every request taken, in order.
    std::vector<TRequest> Requests()
    {
        Stop();
        return requests_;
    }
    int Connections() const { return connections_; }
    // Frames that broke the protocol, described.
    std::vector<std::string> Errors()
    {
        Stop();
        return errors_;
    }

    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    std::string readValue()
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        return readValue_;
    }
    std::string refusal(const TRequest& r)
    {
        std::function<std::string(const TRequest&)> refuse;
        {
            std::lock_guard<std::mutex> lock(settingsMutex_);
            refuse = refuse_;
        }
        return refuse ? refuse(r) : std::string();
    }
    std::string reply(const TRequest& r, const std::string& frame)
    {
        std::function<std::string(const TRequest&, const std::string&)> reply;
        {
            std::lock_guard<std::mutex> lock(settingsMutex_);
            reply = reply_;
        }
        return reply ? reply(r, frame) : frame;
    }
    int bytePause()
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        return bytePauseMs_;
    }
    // As the runtime answers: the names between commas, on lines of their own.
    std::string typeList(const std::string& id)
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        if (!tellsTypes_)
            return "<Response ID=\"" + id + "\"/>";
        std::string names;
        for (const auto& t : types_)
            names += (names.empty() ? "" : ",") + t;
        return "<Response ID=\"" + id + "\">\n  <NameList>\n    " + names + "\n  </NameList>\n</Response>";
    }
    // A type it has already is left as it is; the answer is the same. A
    // text that returns no table is refused, and nothing kept.
    std::string loadType(const std::string& id, const std::string& xml)
    {
        const size_t from = xml.find("<FBType Name=\"") + 14;
        const std::string name = xml.substr(from, xml.find('"', from) - from);
        if (xml.find("\nreturn {") == std::string::npos)
            return "<Response ID=\"" + id + "\" Reason=\"INVALID_OPERATION\"/>";
        std::lock_guard<std::mutex> lock(settingsMutex_);
        if (std::find(types_.begin(), types_.end(), name) == types_.end())
            types_.push_back(name);
        return "<Response ID=\"" + id + "\"/>";
    }

    // False when the client is gone (or the test is over).
    bool send(int c, const std::string& bytes)
    {
        const int pauseMs = bytePause();
        if (pauseMs <= 0)
            return ::send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
        for (char b : bytes) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            if (stop_ || ::send(c, &b, 1, MSG_NOSIGNAL) != 1)
                return false;
        }
        return true;
    }

    bool turnAway()
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        if (turnedAway_ >= turnAway_)
            return false;
        ++turnedAway_;
        return true;
    }

    bool readExact(int c, char* to, size_t size)
    {
        size_t done = 0;
        while (done < size) {
            pollfd p{c, POLLIN, 0};
            if (::poll(&p, 1, 100) == 0) {
                if (stop_)
                    return false;
                continue;
            }
            ssize_t n = ::read(c, to + done, size - done);
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    bool readPart(int c, std::string& bytes, std::string& text)
    {
        char head[3];
        if (!readExact(c, head, 3))
            return false;
        bytes.append(head, 3);
        if (head[0] != '\x50') {
            errors_.push_back("a part does not start with 0x50");
            return false;
        }
        text.assign(static_cast<size_t>(static_cast<unsigned char>(head[1])) * 256 + static_cast<unsigned char>(head[2]),
                    '\0');
        if (!readExact(c, text.data(), text.size()))
            return false;
        bytes += text;
        return true;
    }

    void serve()
    {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                continue;
            ++connections_;
            if (turnAway()) {
                ::close(c);
                continue;
            }
            for (;;) {
                TRequest r;
                if (!readPart(c, r.Bytes, r.Destination) || !readPart(c, r.Bytes, r.Xml))
                    break;
                static const std::regex request(R"re(<Request ID="([0-9a-zA-Z]{1,7})" Action="([A-Z]+)"(/>|>[\s\S]*</Request>))re");
                std::smatch m;
                std::string answer;
                if (!std::regex_match(r.Xml, m, request)) {
                    errors_.push_back("not a request: " + r.Xml);
                    answer = "<Response ID=\"0\" Reason=\"UNSUPPORTED_CMD\"/>";
                } else {
                    const std::string reason = refusal(r);
                    if (!reason.empty())
                        answer = "<Response ID=\"" + m[1].str() + "\" Reason=\"" + reason + "\"/>";
                    else if (m[2] == "QUERY" && r.Xml.find("<FBType Name=\"*\"/>") != std::string::npos)
                        answer = typeList(m[1].str());
                    else if (m[2] == "CREATE" && r.Destination.empty() && r.Xml.find("<FBType Name=\"") != std::string::npos)
                        answer = loadType(m[1].str(), r.Xml);
                    else if (m[2] == "READ")
                        answer = "<Response ID=\"" + m[1].str() + "\"><Connection Source=\"x\" Destination=\"" +
                                 readValue() + "\"/></Response>";
                    else
                        answer = "<Response ID=\"" + m[1].str() + "\"/>";
                }
                const std::string bytes = reply(r, AnswerFrame(answer));
                requests_.push_back(std::move(r));
                if (!send(c, bytes))
                    break;
            }
            ::close(c);
        }
    }

    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    int turnedAway_ = 0;
    std::mutex settingsMutex_;
    std::function<std::string(const TRequest&)> refuse_;
    std::string readValue_ = "0";
    int turnAway_ = 0;
    std::function<std::string(const TRequest&, const std::string&)> reply_;
    int bytePauseMs_ = 0;
    std::vector<std::string> types_;
    bool tellsTypes_ = false;
    std::vector<TRequest> requests_;
    std::vector<std::string> errors_;
};

} // namespace telvo::test
