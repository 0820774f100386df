#include "deploy/forte.h"

#include "deploy/command_set.h"
#include "deploy/device_connection.h"
#include "deploy/text_escape.h"
#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/file_util.h"
#include "model/value_text.h"
#include "systemlayer/system_layer.h"

#include <pugixml.hpp>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace telvo {

namespace {

constexpr char kFrameStart = 0x50;

// ---- Requests --------------------------------------------------------------

class TRequestList {
public:
    explicit TRequestList(TForteDevicePlan& plan) : plan_(plan) {}

    void Device(const std::string& action, const std::string& body) { add("", action, body); }
    void Resource(const std::string& action, const std::string& body) { add(plan_.Resource, action, body); }
    void CreateFB(const std::string& name, const std::string& type)
    {
        Resource("CREATE", "<FB Name=\"" + XmlEscaped(name) + "\" Type=\"" + XmlEscaped(type) + "\"/>");
    }
    void Connect(const std::string& source, const std::string& destination)
    {
        Resource("CREATE", connection(source, destination));
    }
    void Write(const std::string& value, const std::string& destination)
    {
        Resource("WRITE", connection(value, destination));
    }

    static std::string connection(const std::string& source, const std::string& destination)
    {
        return "<Connection Source=\"" + XmlEscaped(source) + "\" Destination=\"" + XmlEscaped(destination) + "\"/>";
    }

private:
    void add(const std::string& destination, const std::string& action, const std::string& body)
    {
        // IDs stay short: the runtime takes no more than seven characters.
        std::string xml = "<Request ID=\"" + std::to_string(++id_) + "\" Action=\"" + action + "\"";
        xml += body.empty() ? "/>" : ">" + body + "</Request>";
        plan_.Requests.push_back({destination, std::move(xml)});
    }

    TForteDevicePlan& plan_;
    int id_ = 0;
};

// A constant as the runtime reads it: IEC 61131 literals.
std::string forteLiteral(const TFBDataMember& input)
{
    const std::string type = input.Decl ? input.Decl->Type : std::string();
    const std::string& text = input.ValueText;
    switch (DataTypeClass(type)) {
    case TDataTypeClass::Boolean: {
        TFBDataMember trial;
        trial.Decl = input.Decl;
        trial.SetValueFromText(text);
        return trial.BoolValue ? "TRUE" : "FALSE";
    }
    case TDataTypeClass::Integer:
    case TDataTypeClass::Real:
        return text;
    case TDataTypeClass::String:
        break;
    }
    if (type != "STRING" && type != "WSTRING")
        return text; // TIME, DINT, ...: written as typed
    const char quote = type == "STRING" ? '\'' : '"';
    if (text.size() >= 2 && text.front() == quote && text.back() == quote)
        return text;
    std::string out(1, quote);
    for (char c : text) {
        if (c == quote || c == '$')
            out += '$';
        out += c;
    }
    out += quote;
    return out;
}

bool converts(const TFBDataMember& input)
{
    TFBDataMember trial;
    trial.Decl = input.Decl;
    try {
        trial.SetValueFromText(input.ValueText);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

struct TPair {
    bool Event = false;
    const TFB_InstanceRef* Source = nullptr;
    std::string SourcePort;
    const TFB_InstanceRef* Dest = nullptr;
    std::string DestPort;
    const TFBDataMemberType* SourceData = nullptr;
};

// The event output that carries a data output: the first whose WITH names
// it, else the first there is.
std::string carryingEvent(const TFB_InstanceRef& record, const TFBDataMemberType* output)
{
    if (!record.Type)
        return {};
    for (const auto& e : record.Type->EventOutputs)
        for (const TFBDataMemberType* w : e->With)
            if (w == output)
                return e->Name;
    return record.Type->EventOutputs.empty() ? std::string() : record.Type->EventOutputs.front()->Name;
}

void splitBase(const std::string& base, std::string& host, int& port)
{
    const size_t colon = base.rfind(':');
    int32_t p = 0;
    if (colon == std::string::npos || colon == 0 || !TryParseInteger(base.substr(colon + 1), p) || p < 1 ||
        p > 65535)
        throw std::runtime_error("The publish/subscribe base address " + base +
                                 " is not host:port with a port from 1 to 65535");
    host = base.substr(0, colon);
    port = p;
}

} // namespace

// ---- The plan --------------------------------------------------------------

std::vector<TForteDevicePlan> PlanForteDeployment(TFB_Manager& manager, const TForteOptions& options)
{
    std::string baseHost;
    int basePort = 0;
    splitBase(options.IdBase, baseHost, basePort);

    std::vector<TForteDevicePlan> plans;
    TSystemLayerManager* layer = manager.SystemLayer;
    if (!layer)
        return plans;
    TCommandSetGenerator run(manager);

    std::vector<const TFB_Diagram*> merged;
    for (const auto& d : manager.Diagrams)
        if (!d->IsInternalDeviceDiagram && BareFileName(d->FileName) == TCommandSetGenerator::MergedNetworkFile)
            merged.push_back(d.get());

    auto iecDevice = [](const TFB_InstanceRef* r) -> const TslIECDevice* {
        return r ? dynamic_cast<const TslIECDevice*>(r->Device) : nullptr;
    };
    // The connections between two devices, numbered across the project so
    // that both ends of a pair find the same ID.
    std::vector<TPair> pairs;
    for (const TFB_Diagram* d : merged) {
        for (const auto& line : d->EventLines) {
            const auto* r = line->Ref;
            if (r && r->SourcePort && r->DestPort && iecDevice(r->SourceInstance) && iecDevice(r->DestInstance) &&
                r->SourceInstance->Device != r->DestInstance->Device)
                pairs.push_back({true, r->SourceInstance, r->SourcePort->Name(), r->DestInstance, r->DestPort->Name()});
        }
        for (const auto& line : d->DataLines) {
            const auto* r = line->Ref;
            if (r && r->SourcePort && r->DestPort && iecDevice(r->SourceInstance) && iecDevice(r->DestInstance) &&
                r->SourceInstance->Device != r->DestInstance->Device)
                pairs.push_back({false, r->SourceInstance, r->SourcePort->Name(), r->DestInstance,
                                 r->DestPort->Name(), r->SourcePort->Decl});
        }
    }

    for (const auto& object : layer->Objects) {
        const auto* device = dynamic_cast<const TslIECDevice*>(object.get());
        if (!device)
            continue;
        TForteDevicePlan& plan = plans.emplace_back();
        plan.Device = device->Name;
        plan.Address = device->DeviceIPAddress;
        plan.Port = device->DeviceAddressPort;
        auto named = options.Resources.find(device->Name);
        plan.Resource = named != options.Resources.end() ? named->second : device->Name;
        TRequestList out(plan);
        out.Device("CREATE", "<FB Name=\"" + XmlEscaped(plan.Resource) + "\" Type=\"EMB_RES\"/>");

        const auto& pi = run.ProcessInterface(*device);
        auto local = [&](const TFB_InstanceRef* r) { return r && r->Device == device; };

        // The FBs, with their types for the START links.
        struct TFB {
            std::string Name;
            const TFB_Type* Type = nullptr;
        };
        std::vector<TFB> fbs;
        for (const auto& i : pi.Instances) {
            out.CreateFB(i.Name, i.TypeName);
            fbs.push_back({i.Name, manager.FindType(i.TypeName)});
        }
        for (const TFB_InstanceRef* r : device->DownloadedFBInstanceList) {
            if (!r || !r->Type)
                continue;
            out.CreateFB(r->Name, r->Type->Name);
            fbs.push_back({r->Name, r->Type});
        }
        std::vector<const TPair*> published, subscribed;
        for (const TPair& p : pairs) {
            if (local(p.Source))
                published.push_back(&p);
            if (local(p.Dest))
                subscribed.push_back(&p);
        }
        auto pairIndex = [&](const TPair* p) { return std::to_string(p - pairs.data()); };
        for (const TPair* p : published)
            out.CreateFB("PUB_" + pairIndex(p), p->Event ? "PUBLISH_0" : "PUBLISH_1");
        for (const TPair* p : subscribed)
            out.CreateFB("SUB_" + pairIndex(p), p->Event ? "SUBSCRIBE_0" : "SUBSCRIBE_1");

        // Parameters: the constants, then the pairs' IDs.
        for (const TFB_InstanceRef* r : device->DownloadedFBInstanceList) {
            if (!r || !r->Type)
                continue;
            for (const auto& input : r->DataInputs)
                if (!input->ValueText.empty() && converts(*input))
                    out.Write(forteLiteral(*input), r->Name + "." + input->Name());
        }
        auto writeId = [&](const std::string& fb, const TPair* p) {
            out.Write(baseHost + ":" + std::to_string(basePort + (p - pairs.data())), fb + ".ID");
            out.Write("TRUE", fb + ".QI");
        };
        for (const TPair* p : published)
            writeId("PUB_" + pairIndex(p), p);
        for (const TPair* p : subscribed)
            writeId("SUB_" + pairIndex(p), p);

        // Connections inside the device.
        std::vector<std::pair<std::string, std::string>> events, data;
        for (const auto& c : pi.EventConns)
            events.emplace_back(c.Source.Instance + "." + c.Source.Port, c.Dest.Instance + "." + c.Dest.Port);
        for (const auto& c : pi.DataConns)
            data.emplace_back(c.Source.Instance + "." + c.Source.Port, c.Dest.Instance + "." + c.Dest.Port);
        for (const auto& end : pi.IppEnds) {
            TFB_Manager::TIPPBinding use = manager.FindIPPBinding(device, end.Ipp);
            if (use.Path.empty() || use.Path == "EXPORT")
                continue;
            const std::string app = use.InstanceName + "." + (end.Ipp->IsEventIPP ? use.EventPort : use.DataPort);
            const std::string own = end.Port.Instance + "." + end.Port.Port;
            auto& list = end.Ipp->IsEventIPP ? events : data;
            if (end.Ipp->IsActuator())
                list.emplace_back(app, own);
            else
                list.emplace_back(own, app);
        }
        for (const TFB_Diagram* d : merged) {
            for (const auto& line : d->EventLines) {
                const auto* r = line->Ref;
                if (r && r->SourcePort && r->DestPort && local(r->SourceInstance) && local(r->DestInstance))
                    events.emplace_back(r->SourceInstance->Name + "." + r->SourcePort->Name(),
                                        r->DestInstance->Name + "." + r->DestPort->Name());
            }
            for (const auto& line : d->DataLines) {
                const auto* r = line->Ref;
                if (r && r->SourcePort && r->DestPort && local(r->SourceInstance) && local(r->DestInstance))
                    data.emplace_back(r->SourceInstance->Name + "." + r->SourcePort->Name(),
                                      r->DestInstance->Name + "." + r->DestPort->Name());
            }
        }
        // The pairs: the publisher sends when its source fires, the
        // subscriber passes on what it receives.
        for (const TPair* p : published) {
            const std::string fb = "PUB_" + pairIndex(p);
            if (p->Event) {
                events.emplace_back(p->Source->Name + "." + p->SourcePort, fb + ".REQ");
            } else {
                const std::string carrier = carryingEvent(*p->Source, p->SourceData);
                if (!carrier.empty())
                    events.emplace_back(p->Source->Name + "." + carrier, fb + ".REQ");
                data.emplace_back(p->Source->Name + "." + p->SourcePort, fb + ".SD_1");
            }
        }
        for (const TPair* p : subscribed) {
            const std::string fb = "SUB_" + pairIndex(p);
            if (p->Event)
                events.emplace_back(fb + ".IND", p->Dest->Name + "." + p->DestPort);
            else
                data.emplace_back(fb + ".RD_1", p->Dest->Name + "." + p->DestPort);
        }

        // The resource's START reaches the FBs that no event reaches: their
        // INIT, or START, input. Other inputs are left alone: a cold start
        // must not count or switch anything.
        std::set<std::string> reached;
        for (const auto& [source, dest] : events)
            reached.insert(dest.substr(0, dest.find('.')));
        std::vector<std::string> starts;
        for (const TPair* p : published)
            starts.push_back("PUB_" + pairIndex(p) + ".INIT");
        for (const TPair* p : subscribed)
            starts.push_back("SUB_" + pairIndex(p) + ".INIT");
        for (const TFB& fb : fbs) {
            if (!fb.Type || reached.count(fb.Name))
                continue;
            for (const char* input : {"INIT", "START"})
                if (std::any_of(fb.Type->EventInputs.begin(), fb.Type->EventInputs.end(),
                                [&](const auto& e) { return e->Name == input; })) {
                    starts.push_back(fb.Name + "." + input);
                    break;
                }
        }

        for (const auto& [source, dest] : events)
            out.Connect(source, dest);
        for (const auto& [source, dest] : data)
            out.Connect(source, dest);
        for (const auto& target : starts) {
            out.Connect("START.COLD", target);
            out.Connect("START.WARM", target);
        }
        out.Resource("START", "");
    }
    return plans;
}

std::string ForteFrame(std::string_view destination, std::string_view xml)
{
    std::string frame;
    frame.reserve(destination.size() + xml.size() + 6);
    auto part = [&](std::string_view text) {
        frame += kFrameStart;
        frame += static_cast<char>((text.size() >> 8) & 0xFF);
        frame += static_cast<char>(text.size() & 0xFF);
        frame.append(text);
    };
    part(destination);
    part(xml);
    return frame;
}

std::string ForteRequestLine(const TForteDevicePlan& plan, const TForteRequest& request)
{
    return plan.Device + (request.Destination.empty() ? "" : "/" + request.Destination) + ": " + request.Xml;
}

// ---- The client ------------------------------------------------------------

TForteClient::~TForteClient() { Close(); }

void TForteClient::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::string TForteClient::Connect(const std::string& address, const std::string& port)
{
    Close();
    const std::string wrong = TDeviceConnection::CheckEndpoint(address, port);
    if (!wrong.empty())
        return wrong;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return "the address " + address + " cannot be resolved";
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        ::freeaddrinfo(found);
        return std::strerror(errno);
    }
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    int rc = ::connect(fd_, found->ai_addr, found->ai_addrlen);
    ::freeaddrinfo(found);
    int err = 0;
    if (rc != 0 && errno != EINPROGRESS) {
        err = errno;
    } else if (rc != 0) {
        pollfd p{fd_, POLLOUT, 0};
        int n;
        do
            n = ::poll(&p, 1, ConnectTimeoutMs);
        while (n < 0 && errno == EINTR);
        socklen_t len = sizeof err;
        if (n == 0)
            err = ETIMEDOUT;
        else if (n < 0 || ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            err = errno;
    }
    if (err != 0) {
        Close();
        return std::strerror(err);
    }
    // From here on every call waits with poll; the socket stays
    // non-blocking so that a write can never hang past the time-out.
    return {};
}

bool TForteClient::readExact(char* to, size_t size, std::string& error)
{
    size_t done = 0;
    while (done < size) {
        pollfd p{fd_, POLLIN, 0};
        int n = ::poll(&p, 1, ReplyTimeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0) {
            error = "no answer within " + std::to_string(ReplyTimeoutMs / 1000.0).substr(0, 4) + " s";
            return false;
        }
        ssize_t got = ::recv(fd_, to + done, size - done, 0);
        if (got > 0) {
            done += static_cast<size_t>(got);
            continue;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        error = got == 0 ? "the device closed the connection" : std::strerror(errno);
        return false;
    }
    return true;
}

bool TForteClient::Request(std::string_view destination, std::string_view xml, TForteResponse& response,
                           std::string& error)
{
    response = {};
    if (fd_ < 0) {
        error = "not connected";
        return false;
    }
    if (destination.size() > 0xFFFF || xml.size() > 0xFFFF) {
        error = "the request is longer than a frame holds";
        return false;
    }
    // One write per frame: the runtime reads a request from one packet.
    const std::string frame = ForteFrame(destination, xml);
    size_t done = 0;
    while (done < frame.size()) {
        ssize_t n = ::send(fd_, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, ReplyTimeoutMs) == 0) {
                error = "the device stopped reading";
                return false;
            }
            continue;
        }
        error = std::strerror(errno);
        return false;
    }
    unsigned char head[3];
    if (!readExact(reinterpret_cast<char*>(head), 3, error))
        return false;
    if (head[0] != static_cast<unsigned char>(kFrameStart)) {
        error = "the answer is not a frame";
        return false;
    }
    std::string text(static_cast<size_t>(head[1]) << 8 | head[2], '\0');
    if (!readExact(text.data(), text.size(), error))
        return false;
    response.Xml = text;
    pugi::xml_document doc;
    pugi::xml_node root;
    if (!doc.load_string(text.c_str()) || !(root = doc.child("Response"))) {
        error = "the answer is no Response: " + text;
        return false;
    }
    response.Id = root.attribute("ID").value();
    response.Reason = root.attribute("Reason").value();
    response.Value = root.child("Connection").attribute("Destination").value();
    return true;
}

// ---- A deployment run ------------------------------------------------------

void TForteDeployment::line(const std::string& text)
{
    if (OnLine)
        OnLine(text);
}

std::string TForteDeployment::Run(const std::vector<TForteDevicePlan>& plans)
{
    for (const auto& plan : plans) {
        std::string stopped = runDevice(plan);
        if (!stopped.empty())
            return stopped;
    }
    return {};
}

std::string TForteDeployment::runDevice(const TForteDevicePlan& plan)
{
    line("Establishing communication with device :" + plan.Device);
    const std::string wrong = TDeviceConnection::CheckEndpoint(plan.Address, plan.Port);
    if (!wrong.empty())
        return "Device " + plan.Device + " cannot be reached: " + wrong + ".";
    TForteClient client;
    client.ConnectTimeoutMs = ConnectTimeoutMs;
    client.ReplyTimeoutMs = ReplyTimeoutMs;
    if (!client.Connect(plan.Address, plan.Port).empty())
        return "Device " + plan.Device + " not found in specified address and port.";
    line("Communication with " + plan.Device + " is established!");

    auto send = [&](const TForteRequest& r, TForteResponse& answer) -> std::string {
        line(" >" + ForteRequestLine(plan, r));
        std::string error;
        if (!client.Request(r.Destination, r.Xml, answer, error))
            return "Device " + plan.Device + " did not answer " + r.Xml + ": " + error + ".";
        return {};
    };
    bool replaced = false;
    for (size_t i = 0; i < plan.Requests.size(); ++i) {
        const TForteRequest& r = plan.Requests[i];
        TForteResponse answer;
        if (std::string failed = send(r, answer); !failed.empty())
            return failed;
        if (answer.Reason.empty())
            continue;
        // The resource is there already: an earlier deployment left it.
        if (i == 0 && !replaced && AllowReplace && AllowReplace(plan.Device, plan.Resource)) {
            replaced = true;
            const std::string fb = "<FB Name=\"" + XmlEscaped(plan.Resource) + "\" Type=\"EMB_RES\"/>";
            for (const char* action : {"KILL", "DELETE"}) {
                TForteRequest clear{"", std::string("<Request ID=\"0\" Action=\"") + action + "\">" + fb + "</Request>"};
                TForteResponse cleared;
                if (std::string failed = send(clear, cleared); !failed.empty())
                    return failed;
                // A resource that was never started cannot be killed.
                if (!cleared.Reason.empty() && cleared.Reason != "INVALID_STATE")
                    return "Device " + plan.Device + " refused " + clear.Xml + ": " + cleared.Reason + ".";
            }
            --i;
            continue;
        }
        return "Device " + plan.Device + " refused " + r.Xml + ": " + answer.Reason + ".";
    }
    return {};
}

TForteReadResult ForteRead(const std::string& address, const std::string& port, const std::string& resource,
                           const std::string& instancePort, int timeoutMs)
{
    TForteReadResult result;
    TForteClient client;
    client.ConnectTimeoutMs = timeoutMs;
    client.ReplyTimeoutMs = timeoutMs;
    if (std::string why = client.Connect(address, port); !why.empty()) {
        result.Error = why;
        return result;
    }
    const std::string xml = "<Request ID=\"1\" Action=\"READ\">" + TRequestList::connection(instancePort, "") +
                            "</Request>";
    TForteResponse answer;
    if (!client.Request(resource, xml, answer, result.Error))
        return result;
    if (!answer.Reason.empty()) {
        result.Error = answer.Reason;
        return result;
    }
    result.Ok = true;
    result.Value = answer.Value;
    return result;
}

} // namespace telvo
