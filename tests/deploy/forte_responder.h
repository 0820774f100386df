#pragma once
// An IEC 61499 runtime as far as deployment sees it: a listener on
// 127.0.0.1 that takes management frames one at a time, keeps each frame's
// bytes, and answers as a runtime does, refusing what the test says.
//
// Online work too: it keeps the watches made per resource and answers
// READ <Watches/> with them (data ports first, then events, per FB), holds
// forced values until cleared, counts each triggered event and resets the
// count on $er. Values of data ports are what the test sets. Like the
// runtime it breaks the connection rather than send an answer longer than
// 65,534 bytes.

#include "recording_listener.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
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

    // The value a watched data port shows (INSTANCE.PORT), "0" unless set.
    void SetWatchValue(const std::string& port, std::string value)
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        watchValues_[port] = std::move(value);
    }
    // The ports that are events: their watches show a count and a time.
    void SetEventPorts(std::vector<std::string> ports)
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        eventPorts_ = std::move(ports);
    }
    // The watches there are now, as RESOURCE/INSTANCE.PORT.
    std::vector<std::string> Watches()
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        std::vector<std::string> out;
        for (const auto& w : watches_)
            out.push_back(w.Resource + "/" + w.Port);
        return out;
    }
    // Values held by force, by INSTANCE.PORT.
    std::map<std::string, std::string> Forced()
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        return forced_;
    }
    int Count(const std::string& event)
    {
        std::lock_guard<std::mutex> lock(settingsMutex_);
        return counts_[event];
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
                    else if (online(r, m[1].str(), m[2].str(), m[3].str(), answer))
                        ; // answered
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
                if (answer.size() > 65534) {
                    requests_.push_back(std::move(r));
                    break; // the length would not fit its two bytes
                }
                const std::string bytes = reply(r, AnswerFrame(answer));
                requests_.push_back(std::move(r));
                if (!send(c, bytes))
                    break;
            }
            ::close(c);
        }
    }

    struct TWatch {
        std::string Resource, Port;
    };

    static std::string unescaped(const std::string& text)
    {
        static const std::pair<const char*, char> named[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
        std::string out;
        for (size_t i = 0; i < text.size();) {
            bool done = false;
            for (const auto& [entity, c] : named)
                if (text.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
                    out += c;
                    i += std::char_traits<char>::length(entity);
                    done = true;
                    break;
                }
            if (!done)
                out += text[i++];
        }
        return out;
    }
    static std::string escaped(const std::string& text)
    {
        std::string out;
        for (char c : text)
            out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '"' ? "&quot;" : std::string(1, c);
        return out;
    }

    // The answer to a watch, a poll, a force, a clear, a trigger or a reset;
    // false for any other request.
    bool online(const TRequest& r, const std::string& id, const std::string& action, const std::string& rest,
                std::string& answer)
    {
        static const std::regex watch(R"re(><Watch Source="([^"]*)" Destination="\*"/></Request>)re");
        static const std::regex write(
            R"re(><Connection Source="([^"]*)" Destination="([^"]*)"( force="(true|false)")?/></Request>)re");
        std::smatch m;
        std::lock_guard<std::mutex> lock(settingsMutex_);
        if ((action == "CREATE" || action == "DELETE") && std::regex_match(rest, m, watch)) {
            const std::string port = unescaped(m[1].str());
            auto at = std::find_if(watches_.begin(), watches_.end(),
                                   [&](const TWatch& w) { return w.Resource == r.Destination && w.Port == port; });
            if (action == "DELETE" && at == watches_.end()) {
                answer = "<Response ID=\"" + id + "\" Reason=\"NO_SUCH_OBJECT\"/>";
                return true;
            }
            if (action == "DELETE")
                watches_.erase(at);
            else if (at == watches_.end())
                watches_.push_back({r.Destination, port});
            answer = "<Response ID=\"" + id + "\"/>";
            return true;
        }
        if (action == "READ" && rest == "><Watches/></Request>") {
            answer = pollAnswer(id, r.Destination);
            return true;
        }
        if (action != "WRITE" || !std::regex_match(rest, m, write))
            return false;
        const std::string source = unescaped(m[1].str()), port = unescaped(m[2].str());
        if (m[3].matched && m[4] == "true")
            forced_[port] = source;
        else if (m[3].matched && source == "*")
            forced_.erase(port);
        else if (source == "$e")
            ++counts_[port], times_[port] = ++ticks_;
        else if (source == "$er")
            counts_[port] = 0;
        else
            return false;
        // The long form, with nothing but blanks inside, as the runtime has it.
        answer = "<Response ID=\"" + id + "\">\n  \n</Response>";
        return true;
    }

    std::string pollAnswer(const std::string& id, const std::string& resource)
    {
        auto isEvent = [&](const std::string& port) {
            return std::find(eventPorts_.begin(), eventPorts_.end(), port) != eventPorts_.end();
        };
        std::vector<std::string> resources;
        for (const TWatch& w : watches_)
            if ((resource.empty() || w.Resource == resource) &&
                std::find(resources.begin(), resources.end(), w.Resource) == resources.end())
                resources.push_back(w.Resource);
        if (resources.empty())
            return "<Response ID=\"" + id + "\" />";
        // Laid out with line breaks and blanks as the runtime lays it out.
        std::string out = "<Response ID=\"" + id + "\">\n  <Watches>\n    ";
        for (const std::string& res : resources) {
            out += "<Resource name=\"" + escaped(res) + "\">";
            std::vector<std::string> fbs;
            for (const TWatch& w : watches_) {
                const std::string fb = w.Port.substr(0, w.Port.find('.'));
                if (w.Resource == res && std::find(fbs.begin(), fbs.end(), fb) == fbs.end())
                    fbs.push_back(fb);
            }
            for (const std::string& fb : fbs) {
                out += "<FB name=\"" + escaped(fb) + "\">";
                for (bool events : {false, true})
                    for (const TWatch& w : watches_) {
                        if (w.Resource != res || w.Port.substr(0, w.Port.find('.')) != fb || isEvent(w.Port) != events)
                            continue;
                        out += "<Port name=\"" + escaped(w.Port.substr(w.Port.find('.') + 1)) + "\"><Data value=\"";
                        if (events) {
                            out += std::to_string(counts_[w.Port]) + "\" time=\"" + std::to_string(times_[w.Port]);
                        } else {
                            auto forced = forced_.find(w.Port);
                            auto value = watchValues_.find(w.Port);
                            out += escaped(forced != forced_.end()  ? forced->second
                                           : value != watchValues_.end() ? value->second
                                                                         : "0");
                            out += std::string("\" forced=\"") + (forced != forced_.end() ? "true" : "false");
                        }
                        out += events ? "\"/>\n</Port>" : "\"/></Port>";
                    }
                out += "</FB>";
            }
            out += "</Resource>\n  ";
        }
        return out + "</Watches>\n</Response>";
    }

    std::vector<TWatch> watches_;
    std::map<std::string, std::string> watchValues_, forced_;
    std::vector<std::string> eventPorts_;
    std::map<std::string, int> counts_;
    std::map<std::string, long> times_;
    long ticks_ = 50000;

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
