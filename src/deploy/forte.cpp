#include "deploy/forte.h"

#include "codegen/lua_form.h"
#include "deploy/command_set.h"
#include "deploy/device_connection.h"
#include "deploy/text_escape.h"
#include "model/field_escape.h"
#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/file_util.h"
#include "model/settings.h"
#include "model/value_text.h"
#include "systemlayer/system_layer.h"

#include <pugixml.hpp>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace telvo {

namespace {

constexpr char kFrameStart = 0x50;

using TClock = std::chrono::steady_clock;

// A peer's text inside a message of ours: escaped, and cut short, for a
// runtime may answer 64 KiB where a word was expected.
std::string peerText(std::string_view text)
{
    constexpr size_t kShown = 200;
    if (text.size() <= kShown)
        return FieldEscaped(text);
    size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut; // not inside a UTF-8 sequence
    return FieldEscaped(text.substr(0, cut)) + "...";
}

// "10 s", "0.25 s".
std::string seconds(int ms)
{
    std::string text = std::to_string(ms / 1000);
    if (int rest = ms % 1000; rest != 0) {
        std::string fraction = std::to_string(1000 + rest).substr(1);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        text += "." + fraction;
    }
    return text + " s";
}

// Milliseconds from now to `until` for poll, rounded up so that a wait
// never ends just before its deadline and is tried again for nothing.
int msLeft(TClock::time_point until)
{
    const auto now = TClock::now();
    if (until <= now)
        return 0;
    if (until - now > std::chrono::hours(24))
        return 24 * 3600 * 1000;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    return static_cast<int>(left);
}

// Sleeps `ms`, unless that would pass `until`: false then, without sleeping.
bool pause(int ms, TClock::time_point until)
{
    const auto wake = TClock::now() + std::chrono::milliseconds(ms);
    if (wake >= until)
        return false;
    std::this_thread::sleep_until(wake);
    return true;
}

// The ID of one of our requests: the text begins <Request ID="...".
std::string_view requestId(std::string_view xml)
{
    constexpr std::string_view open = "<Request ID=\"";
    if (xml.substr(0, open.size()) != open)
        return {};
    xml.remove_prefix(open.size());
    return xml.substr(0, xml.find('"'));
}

// ---- Requests --------------------------------------------------------------

class TRequestList {
public:
    TRequestList(const std::string& resource, std::vector<TForteRequest>& out) : resource_(resource), out_(out) {}

    void Device(const std::string& action, const std::string& body) { add("", action, body); }
    void Resource(const std::string& action, const std::string& body) { add(resource_, action, body); }
    // `type` is the name the FB's type has in the model; the runtime may
    // know it under `sentType`.
    void CreateFB(const std::string& name, const std::string& type, const std::string& sentType)
    {
        Resource("CREATE", "<FB Name=\"" + XmlEscaped(name) + "\" Type=\"" + XmlEscaped(sentType) + "\"/>");
        out_.back().FBType = type;
    }
    void LoadType(const std::string& type, const TForteTypeForm& form)
    {
        Device("CREATE", typeBody(form));
        out_.back().LoadsType = type;
    }
    static std::string typeBody(const TForteTypeForm& form);
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
        out_.push_back({destination, std::move(xml), {}, {}});
    }

    const std::string& resource_;
    std::vector<TForteRequest>& out_;
    int id_ = 0;
};

// The Lua text inside the FBType element. The runtime takes everything up to
// the next "<" and unescapes these five entities, nothing else: line breaks
// stay as they are.
std::string luaElementText(std::string_view lua)
{
    std::string out;
    out.reserve(lua.size() + lua.size() / 8);
    for (char c : lua) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string TRequestList::typeBody(const TForteTypeForm& form)
{
    return "<FBType Name=\"" + XmlEscaped(form.Versioned) + "\">" + luaElementText(form.Lua) + "</FBType>";
}

// A name a runtime reads as a generic type's: cut at the first "_" before a
// digit, it looks for GEN_ and the part before.
size_t genericCut(const std::string& type)
{
    for (size_t i = 0; i + 1 < type.size(); ++i)
        if (type[i] == '_' && type[i + 1] >= '0' && type[i + 1] <= '9')
            return i;
    return std::string::npos;
}

// The type's name and a short hash of its Lua form, beginning with a letter:
// "_" and a digit would send the runtime looking for a generic type.
std::string versionedName(const std::string& name, const std::string& lua)
{
    uint64_t h = 14695981039346656037ull; // FNV-1a
    auto mix = [&h](std::string_view text) {
        for (unsigned char c : text) {
            h ^= c;
            h *= 1099511628211ull;
        }
    };
    mix(name);
    mix(std::string_view("\0", 1));
    mix(lua);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%07llx", static_cast<unsigned long long>(h >> 36));
    return name + "_v" + buf;
}

TForteTypeForm typeForm(const TFB_Type& type, const std::filesystem::path& programFolder)
{
    TForteTypeForm f;
    // The folders of the library the workbench ships; every other folder
    // (a project's own, imported types) holds the engineer's types.
    if (!type.FileName.empty() && !programFolder.empty()) {
        const auto relative = std::filesystem::path(type.FileName).lexically_normal().lexically_relative(
            (programFolder / "library").lexically_normal());
        const std::string folder = relative.empty() ? std::string() : relative.begin()->string();
        f.Shipped = folder == "events" || folder == "opc" || folder == "templates";
    }
    if (genericCut(type.Name) != std::string::npos) {
        f.Refusal = "a runtime reads a name with \"_\" before a digit as a generic type's";
        return f;
    }
    try {
        f.Lua = MakeLuaForm(type).Text;
    } catch (const ELuaFormError& e) {
        f.Refusal = e.what();
        return f;
    }
    f.Versioned = versionedName(type.Name, f.Lua);
    // The longest ID a request gets.
    f.RequestBytes = ForteFrame("", "<Request ID=\"9999999\" Action=\"CREATE\">" + TRequestList::typeBody(f) +
                                        "</Request>")
                         .size();
    return f;
}

// The types of the FBs the requests create, in the order they come.
std::vector<std::string> createdTypes(const std::vector<TForteBlock>& blocks, const std::set<std::string>& flattened)
{
    std::vector<std::string> types;
    std::function<void(const std::vector<TForteBlock>&)> walk = [&](const std::vector<TForteBlock>& list) {
        for (const TForteBlock& b : list) {
            if (b.Composite && flattened.count(b.Type))
                walk(b.Inner);
            else if (std::find(types.begin(), types.end(), b.Type) == types.end())
                types.push_back(b.Type);
        }
    };
    walk(blocks);
    return types;
}

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
    // A literal as typed keeps its own escapes; a line break or tab in it
    // still has to become one, or the runtime's XML reader makes it a blank.
    const bool quoted = text.size() >= 2 && text.front() == quote && text.back() == quote;
    const std::string_view inside =
        quoted ? std::string_view(text).substr(1, text.size() - 2) : std::string_view(text);
    std::string out(1, quote);
    for (char c : inside) {
        const auto u = static_cast<unsigned char>(c);
        if (!quoted && (c == quote || c == '$')) {
            out += '$';
            out += c;
        } else if (c == '\n') {
            out += "$N";
        } else if (c == '\r') {
            out += "$R";
        } else if (c == '\t') {
            out += "$T";
        } else if (u < 0x20 || u == 0x7F) {
            // A WSTRING's character codes have four digits.
            static const char hex[] = "0123456789ABCDEF";
            out += quote == '"' ? "$00" : "$";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
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
    // The runtime's IP layer takes a dotted IPv4 address, nothing it would
    // have to look up.
    in_addr parsed{};
    if (::inet_pton(AF_INET, host.c_str(), &parsed) != 1)
        throw std::runtime_error("The publish/subscribe base address " + base + " does not begin with an IPv4 address");
}

TForteBlock leaf(std::string name, std::string type)
{
    TForteBlock b;
    b.Name = std::move(name);
    b.Type = std::move(type);
    return b;
}

// The FB as the runtime gets it, with the inner network of a composite.
TForteBlock blockOf(const TFB_InstanceRef& record)
{
    TForteBlock b;
    b.Name = record.Name;
    b.Type = record.Type ? record.Type->Name : std::string();
    for (const auto& input : record.DataInputs)
        if (!input->ValueText.empty() && converts(*input))
            b.Writes.emplace_back(forteLiteral(*input), input->Name());
    if (!record.Composite || !record.InnerDiagram)
        return b;
    b.Composite = true;
    const TFB_Diagram& inner = *record.InnerDiagram;
    for (const auto& r : inner.InnerInstances)
        if (r && r->Type)
            b.Inner.push_back(blockOf(*r));
    for (const auto& e : inner.InnerEventConns)
        if (e->SourceInstance && e->DestInstance && e->SourcePort && e->DestPort)
            b.InnerEvents.emplace_back(e->SourceInstance->Name + "." + e->SourcePort->Name(),
                                       e->DestInstance->Name + "." + e->DestPort->Name());
    for (const auto& d : inner.InnerDataConns)
        if (d->SourceInstance && d->DestInstance && d->SourcePort && d->DestPort)
            b.InnerData.emplace_back(d->SourceInstance->Name + "." + d->SourcePort->Name(),
                                     d->DestInstance->Name + "." + d->DestPort->Name());
    for (const auto& k : inner.CompositeConns) {
        if (k->IsEvent()) {
            if (k->InterfaceEvent && k->InnerEvent->Owner)
                b.Ports.emplace(k->InterfaceEvent->Name, k->InnerEvent->Owner->Name + "." + k->InnerEvent->Name());
        } else if (k->InterfaceData && k->InnerData && k->InnerData->Owner) {
            b.Ports.emplace(k->InterfaceData->Name, k->InnerData->Owner->Name + "." + k->InnerData->Name());
        }
    }
    return b;
}

} // namespace

size_t ForteMaxRequestBytes(const TSettings& settings)
{
    const int bytes = settings.GetInt("ForteMaxRequestBytes", static_cast<int>(kForteMaxRequestBytes));
    return bytes >= 256 ? static_cast<size_t>(bytes) : kForteMaxRequestBytes;
}

std::string ParseResourceNames(const std::string& text, std::map<std::string, std::string>& names)
{
    std::map<std::string, std::string> found;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find_first_of(" \t,", at);
        const std::string entry = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (entry.empty())
            continue;
        const size_t eq = entry.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == entry.size() || entry.find('=', eq + 1) != std::string::npos)
            return entry + " is not DEVICE=NAME";
        found[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (auto& [device, name] : found)
        names[device] = name;
    return {};
}

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

    // Each pair takes the next port: the last must still be one.
    if (!pairs.empty() && basePort + (pairs.size() - 1) > 65535)
        throw std::runtime_error("The publish/subscribe base address " + options.IdBase + " leaves too few ports: the " +
                                 std::to_string(pairs.size()) + " pairs would need ports up to " +
                                 std::to_string(basePort + (pairs.size() - 1)));
    for (const auto& entry : options.Resources) {
        const std::string& named = entry.first;
        const bool known = std::any_of(layer->Objects.begin(), layer->Objects.end(), [&](const auto& object) {
            const auto* device = dynamic_cast<const TslIECDevice*>(object.get());
            return device && device->Name == named;
        });
        if (!known)
            throw std::runtime_error("The resource name " + FieldEscaped(named) + "=" + FieldEscaped(entry.second) +
                                     " is for " + FieldEscaped(named) + ", which is no IEC device of the project");
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
        plan.Resource = named != options.Resources.end()     ? named->second
                        : !device->ResourceName.empty() ? device->ResourceName
                                                        : device->Name;
        const auto& pi = run.ProcessInterface(*device);
        auto local = [&](const TFB_InstanceRef* r) { return r && r->Device == device; };

        // The FBs, with their types for the START links.
        struct TFB {
            std::string Name;
            const TFB_Type* Type = nullptr;
        };
        std::vector<TFB> fbs;
        for (const auto& i : pi.Instances) {
            plan.Blocks.push_back(leaf(i.Name, i.TypeName));
            fbs.push_back({i.Name, manager.FindType(i.TypeName)});
        }
        for (const TFB_InstanceRef* r : device->DownloadedFBInstanceList) {
            if (!r || !r->Type)
                continue;
            plan.Blocks.push_back(blockOf(*r));
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
            plan.Blocks.push_back(leaf("PUB_" + pairIndex(p), p->Event ? "PUBLISH_0" : "PUBLISH_1"));
        for (const TPair* p : subscribed)
            plan.Blocks.push_back(leaf("SUB_" + pairIndex(p), p->Event ? "SUBSCRIBE_0" : "SUBSCRIBE_1"));

        // The pairs' IDs.
        auto writeId = [&](const std::string& fb, const TPair* p) {
            plan.Writes.emplace_back(baseHost + ":" + std::to_string(basePort + (p - pairs.data())), fb + ".ID");
            plan.Writes.emplace_back("TRUE", fb + ".QI");
        };
        for (const TPair* p : published)
            writeId("PUB_" + pairIndex(p), p);
        for (const TPair* p : subscribed)
            writeId("SUB_" + pairIndex(p), p);

        // Connections inside the device.
        auto& events = plan.Events;
        auto& data = plan.Data;
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
        for (const TPair* p : published)
            plan.Starts.push_back("PUB_" + pairIndex(p) + ".INIT");
        for (const TPair* p : subscribed)
            plan.Starts.push_back("SUB_" + pairIndex(p) + ".INIT");
        for (const TFB& fb : fbs) {
            if (!fb.Type || reached.count(fb.Name))
                continue;
            for (const char* input : {"INIT", "START"})
                if (std::any_of(fb.Type->EventInputs.begin(), fb.Type->EventInputs.end(),
                                [&](const auto& e) { return e->Name == input; })) {
                    plan.Starts.push_back(fb.Name + "." + input);
                    break;
                }
        }
        plan.MaxRequestBytes = options.MaxRequestBytes;
        std::function<void(const std::vector<TForteBlock>&)> typesOf = [&](const std::vector<TForteBlock>& blocks) {
            for (const TForteBlock& b : blocks) {
                typesOf(b.Inner);
                if (plan.Types.count(b.Type))
                    continue;
                if (const TFB_Type* t = manager.FindType(b.Type); t && !t->Composite)
                    plan.Types.emplace(b.Type, typeForm(*t, manager.Context.ProgramFolder));
            }
        };
        typesOf(plan.Blocks);
        plan.Requests = ForteRequests(plan, {}, ForteOwnTypes(plan));
    }
    return plans;
}

std::set<std::string> ForteOwnTypes(const TForteDevicePlan& plan)
{
    std::set<std::string> own;
    for (const auto& [name, form] : plan.Types)
        if (!form.Shipped)
            own.insert(name);
    return own;
}

std::string ForteTypeRefusal(const TForteDevicePlan& plan, const std::set<std::string>& flattened,
                             const std::set<std::string>& lacking)
{
    for (const std::string& type : createdTypes(plan.Blocks, flattened)) {
        auto form = plan.Types.find(type);
        if (!lacking.count(type) || form == plan.Types.end())
            continue;
        std::string reason = form->second.Refusal;
        if (reason.empty() && form->second.RequestBytes > plan.MaxRequestBytes)
            reason = "its Lua form takes a request of " + std::to_string(form->second.RequestBytes) +
                     " bytes, more than the limit of " + std::to_string(plan.MaxRequestBytes) + " bytes";
        if (!reason.empty())
            return "Device " + FieldEscaped(plan.Device) + " cannot take FB type " + FieldEscaped(type) + ": " + reason +
                   ".";
    }
    return {};
}

TForteRequest ForteTypeQuery() { return {"", "<Request ID=\"0\" Action=\"QUERY\"><FBType Name=\"*\"/></Request>", {}, {}}; }

TForteRequest ForteTypeLoadProbe()
{
    return {"", "<Request ID=\"0\" Action=\"CREATE\"><FBType Name=\"TELVO_PROBE\">(</FBType></Request>", {}, {}};
}

bool ForteTypeList(const TForteResponse& answer, std::set<std::string>& names)
{
    if (!answer.Reason.empty())
        return false;
    pugi::xml_document doc;
    if (!doc.load_buffer(answer.Xml.data(), answer.Xml.size()))
        return false;
    const pugi::xml_node list = doc.find_node([](const pugi::xml_node& n) { return std::strcmp(n.name(), "NameList") == 0; });
    if (!list)
        return false;
    const std::string text = list.text().get();
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find(',', at);
        if (end == std::string::npos)
            end = text.size();
        const size_t first = text.find_first_not_of(" \t\r\n", at);
        if (first != std::string::npos && first < end) {
            const size_t last = text.find_last_not_of(" \t\r\n", end - 1);
            names.insert(text.substr(first, last - first + 1));
        }
        at = end + 1;
    }
    return true;
}

bool ForteHasType(const std::set<std::string>& names, const std::string& type)
{
    if (names.count(type))
        return true;
    const size_t cut = genericCut(type);
    return cut != std::string::npos && names.count("GEN_" + type.substr(0, cut));
}

std::vector<TForteRequest> ForteRequests(const TForteDevicePlan& plan, const std::set<std::string>& flattened,
                                         const std::set<std::string>& lacking, const std::set<std::string>& has)
{
    // A type the runtime lacks goes under its versioned name, when it has one.
    auto sent = [&](const std::string& type) -> const TForteTypeForm* {
        auto form = plan.Types.find(type);
        if (!lacking.count(type) || form == plan.Types.end() || form->second.Lua.empty())
            return nullptr;
        return &form->second;
    };
    std::map<std::string, const TForteBlock*> byName;
    std::function<void(const std::vector<TForteBlock>&)> index = [&](const std::vector<TForteBlock>& blocks) {
        for (const TForteBlock& b : blocks) {
            byName.emplace(b.Name, &b);
            index(b.Inner);
        }
    };
    index(plan.Blocks);
    auto flat = [&](const TForteBlock& b) { return b.Composite && flattened.count(b.Type) > 0; };
    // INSTANCE.PORT as the runtime has it: a port of a flattened composite
    // is the inner ports behind it, or none when nothing inside uses it.
    std::function<void(const std::string&, std::vector<std::string>&)> resolve =
        [&](const std::string& end, std::vector<std::string>& ends) {
            const size_t dot = end.find('.');
            auto found = dot == std::string::npos ? byName.end() : byName.find(end.substr(0, dot));
            if (found == byName.end() || !flat(*found->second)) {
                ends.push_back(end);
                return;
            }
            auto [from, to] = found->second->Ports.equal_range(end.substr(dot + 1));
            for (auto it = from; it != to; ++it)
                resolve(it->second, ends);
        };
    auto ends = [&](const std::string& end) {
        std::vector<std::string> list;
        resolve(end, list);
        return list;
    };

    std::vector<TForteRequest> requests;
    TRequestList out(plan.Resource, requests);
    out.Device("CREATE", "<FB Name=\"" + XmlEscaped(plan.Resource) + "\" Type=\"EMB_RES\"/>");
    for (const std::string& type : createdTypes(plan.Blocks, flattened))
        if (const TForteTypeForm* form = sent(type); form && !has.count(form->Versioned))
            out.LoadType(type, *form);
    std::function<void(const std::vector<TForteBlock>&)> create = [&](const std::vector<TForteBlock>& blocks) {
        for (const TForteBlock& b : blocks) {
            if (flat(b))
                create(b.Inner);
            else if (const TForteTypeForm* form = sent(b.Type))
                out.CreateFB(b.Name, b.Type, form->Versioned);
            else
                out.CreateFB(b.Name, b.Type, b.Type);
        }
    };
    create(plan.Blocks);
    // An inner FB's own constants, then the instance's: an inner input fed
    // from a port of the composite takes what the port gets, never a value
    // of its own.
    std::function<void(const std::vector<TForteBlock>&, const std::set<std::string>&)> write =
        [&](const std::vector<TForteBlock>& blocks, const std::set<std::string>& fed) {
            for (const TForteBlock& b : blocks) {
                if (flat(b)) {
                    std::set<std::string> inside;
                    for (const auto& [port, to] : b.Ports)
                        inside.insert(to);
                    write(b.Inner, inside);
                }
                for (const auto& [value, port] : b.Writes)
                    if (!fed.count(b.Name + "." + port))
                        for (const std::string& to : ends(b.Name + "." + port))
                            out.Write(value, to);
            }
        };
    write(plan.Blocks, {});
    for (const auto& [value, to] : plan.Writes)
        out.Write(value, to);
    auto connect = [&](const std::vector<TFortePair>& list) {
        for (const auto& [source, dest] : list)
            for (const std::string& from : ends(source))
                for (const std::string& to : ends(dest))
                    out.Connect(from, to);
    };
    std::function<void(const std::vector<TForteBlock>&, bool)> inner = [&](const std::vector<TForteBlock>& blocks,
                                                                          bool event) {
        for (const TForteBlock& b : blocks)
            if (flat(b)) {
                connect(event ? b.InnerEvents : b.InnerData);
                inner(b.Inner, event);
            }
    };
    connect(plan.Events);
    inner(plan.Blocks, true);
    connect(plan.Data);
    inner(plan.Blocks, false);
    for (const std::string& start : plan.Starts)
        for (const std::string& to : ends(start)) {
            out.Connect("START.COLD", to);
            out.Connect("START.WARM", to);
        }
    out.Resource("START", "");
    return requests;
}

std::set<std::string> ForteCompositeTypes(const TForteDevicePlan& plan)
{
    std::set<std::string> types;
    std::function<void(const std::vector<TForteBlock>&)> walk = [&](const std::vector<TForteBlock>& blocks) {
        for (const TForteBlock& b : blocks) {
            if (b.Composite)
                types.insert(b.Type);
            walk(b.Inner);
        }
    };
    walk(plan.Blocks);
    return types;
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
    // The request itself holds no control character (names and values in it
    // are escaped already), but for a type's Lua text, whose line breaks go
    // raw: shown as \n, it stays one line.
    return FieldEscaped(plan.Device) + (request.Destination.empty() ? "" : "/" + FieldEscaped(request.Destination)) +
           ": " + (request.LoadsType.empty() ? request.Xml : FieldEscaped(request.Xml));
}

// ---- Answers ---------------------------------------------------------------

int ForteAnswerLength(std::string_view head)
{
    if (head.size() < 3 || head[0] != kFrameStart)
        return -1;
    return static_cast<unsigned char>(head[1]) << 8 | static_cast<unsigned char>(head[2]);
}

bool ParseForteAnswer(std::string_view text, std::string_view id, TForteResponse& response, std::string& error)
{
    response = {};
    response.Xml = text;
    pugi::xml_document doc;
    pugi::xml_node root;
    // A NUL would end the text early for the reader and hide what follows.
    if (text.find('\0') != std::string_view::npos || !doc.load_buffer(text.data(), text.size()) ||
        (root = doc.document_element()).name() != std::string_view("Response")) {
        error = "the answer is no Response: " + peerText(text);
        return false;
    }
    const pugi::xml_attribute answered = root.attribute("ID");
    response.Id = answered.value();
    if (!answered || response.Id != id) {
        error = answered ? "the answer is to request " + peerText(response.Id) + ", not to request " + std::string(id)
                         : "the answer names no request";
        return false;
    }
    response.Reason = root.attribute("Reason").value();
    const pugi::xml_attribute value = root.child("Connection").attribute("Destination");
    response.Value = value.value();
    response.HasValue = !response.Value.empty();
    return true;
}

// ---- The client ------------------------------------------------------------

TForteClient::~TForteClient() { Close(); }

void TForteClient::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    in_.clear();
    inAt_ = 0;
}

std::string TForteClient::expired(TClock::time_point until, std::string otherwise) const
{
    return until >= Deadline ? DeadlineText : otherwise;
}

TForteClient::TClock::time_point TForteClient::replyDeadline() const
{
    return std::min(Deadline, TClock::now() + std::chrono::milliseconds(ReplyTimeoutMs));
}

std::string TForteClient::Connect(const std::string& address, const std::string& port)
{
    return connect(address, port, std::min(Deadline, TClock::now() + std::chrono::milliseconds(ConnectTimeoutMs)));
}

std::string TForteClient::connect(const std::string& address, const std::string& port, TClock::time_point until)
{
    // A runtime still serving another connection turns this one away: it
    // may come back reset. It is tried again, as a request is.
    int pauseMs = 20;
    for (int attempt = 0;; ++attempt) {
        std::string why = connectOnce(address, port, until);
        if (why.empty() || !dropped_ || attempt == kAttempts - 1)
            return why;
        if (!pause(pauseMs, until))
            return why;
        pauseMs *= 2;
    }
}

std::string TForteClient::connectOnce(const std::string& address, const std::string& port, TClock::time_point until)
{
    Close();
    dropped_ = false;
    address_ = address;
    port_ = port;
    answered_ = false;
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
            n = ::poll(&p, 1, msLeft(until));
        while (n < 0 && errno == EINTR);
        socklen_t len = sizeof err;
        if (n == 0) {
            Close();
            return expired(until, std::strerror(ETIMEDOUT));
        }
        if (n < 0 || ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            err = errno;
    }
    if (err != 0) {
        Close();
        dropped_ = err == ECONNRESET;
        return std::strerror(err);
    }
    // From here on every call waits with poll; the socket stays
    // non-blocking so that a write can never hang past the time-out.
    return {};
}

bool TForteClient::readExact(char* to, size_t size, TClock::time_point until, std::string& error)
{
    size_t done = 0;
    while (done < size) {
        // What the last read brought first: an answer mostly comes in one
        // segment, and one read takes all of it.
        if (inAt_ < in_.size()) {
            const size_t n = std::min(size - done, in_.size() - inAt_);
            std::memcpy(to + done, in_.data() + inAt_, n);
            inAt_ += n;
            done += n;
            continue;
        }
        // The answer is rarely there yet when the request has just gone:
        // wait first, then read. The wait ends at the request's deadline,
        // not a time-out after the last byte: a runtime dripping its answer
        // must not hold the request for ever.
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, msLeft(until));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            error = expired(until, "no answer within " + seconds(ReplyTimeoutMs));
            return false;
        }
        char chunk[4096];
        ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got > 0) {
            in_.assign(chunk, static_cast<size_t>(got));
            inAt_ = 0;
            continue;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        dropped_ = done == 0 && (got == 0 || errno == ECONNRESET);
        error = got == 0 ? "the device closed the connection" : std::strerror(errno);
        return false;
    }
    return true;
}

bool TForteClient::Request(std::string_view destination, std::string_view xml, TForteResponse& response,
                           std::string& error)
{
    // One deadline for the request, whatever happens on the way.
    const TClock::time_point until = replyDeadline();
    // FORTE serves one management connection at a time: one that arrives
    // before it has seen the last one close is accepted and closed at once,
    // unread. So a connection dropped before its first answer is made
    // again, a few times, and the request sent again.
    int pauseMs = 20;
    for (int attempt = 0;; ++attempt) {
        if (exchange(destination, xml, until, response, error)) {
            answered_ = true;
            error.clear(); // what a turned-away try said
            return true;
        }
        if (!dropped_ || answered_ || attempt == kAttempts - 1 || address_.empty())
            return false;
        if (!pause(pauseMs, until)) {
            error = expired(until, "no answer within " + seconds(ReplyTimeoutMs));
            return false;
        }
        pauseMs *= 2;
        // Copies: connecting again sets them.
        const std::string address = address_, port = port_;
        if (std::string why =
                connect(address, port, std::min(until, TClock::now() + std::chrono::milliseconds(ConnectTimeoutMs)));
            !why.empty()) {
            error = why;
            return false;
        }
    }
}

bool TForteClient::exchange(std::string_view destination, std::string_view xml, TClock::time_point until,
                            TForteResponse& response, std::string& error)
{
    dropped_ = false;
    response = {};
    if (fd_ < 0) {
        error = "not connected";
        return false;
    }
    if (destination.size() > 0xFFFF || xml.size() > 0xFFFF) {
        error = "the request is longer than a frame holds";
        return false;
    }
    // Bytes that came with the last answer answer nothing yet asked: the
    // runtime is out of step, and what it says next would be taken as the
    // answer to this request.
    if (inAt_ < in_.size()) {
        error = "the device sent more than the answer to the last request";
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
            if (::poll(&p, 1, msLeft(until)) == 0) {
                error = expired(until, "the device stopped reading");
                return false;
            }
            continue;
        }
        dropped_ = errno == EPIPE || errno == ECONNRESET;
        error = std::strerror(errno);
        return false;
    }
    char head[3];
    if (!readExact(head, 3, until, error))
        return false;
    const int length = ForteAnswerLength(std::string_view(head, 3));
    if (length < 0) {
        error = "the answer is not a frame";
        return false;
    }
    std::string text(static_cast<size_t>(length), '\0');
    if (!readExact(text.data(), text.size(), until, error)) {
        dropped_ = false; // it had begun to answer
        return false;
    }
    return ParseForteAnswer(text, requestId(xml), response, error);
}

// ---- A deployment run ------------------------------------------------------

void TForteDeployment::line(const std::string& text)
{
    if (OnLine)
        OnLine(text);
}

std::string TForteDeployment::Run(const std::vector<TForteDevicePlan>& plans)
{
    const auto deadline = TClock::now() + std::chrono::milliseconds(RunTimeoutMs);
    for (const auto& plan : plans) {
        std::string stopped = runDevice(plan, deadline);
        if (!stopped.empty())
            return stopped;
    }
    return {};
}

std::string TForteDeployment::runDevice(const TForteDevicePlan& plan, TClock::time_point deadline)
{
    // The name as the user typed it goes to the runtime; in a line of
    // ours it is shown escaped, one line still.
    const std::string device = FieldEscaped(plan.Device);
    const std::string late = "the deployment took longer than " + seconds(RunTimeoutMs);
    line("Establishing communication with device :" + device);
    const std::string wrong = TDeviceConnection::CheckEndpoint(plan.Address, plan.Port);
    if (!wrong.empty())
        return "Device " + device + " cannot be reached: " + wrong + ".";
    TForteClient client;
    client.ConnectTimeoutMs = ConnectTimeoutMs;
    client.ReplyTimeoutMs = ReplyTimeoutMs;
    client.Deadline = deadline;
    client.DeadlineText = late;
    if (TClock::now() >= deadline)
        return "Device " + device + " was not tried: " + late + ".";
    if (!client.Connect(plan.Address, plan.Port).empty())
        return TClock::now() >= deadline ? "Device " + device + " was not reached: " + late + "."
                                         : "Device " + device + " not found in specified address and port.";
    line("Communication with " + device + " is established!");

    // A type's request is named by its opening: the Lua text is long.
    auto named = [](const TForteRequest& r) {
        return r.LoadsType.empty() ? r.Xml : r.Xml.substr(0, r.Xml.find('>', r.Xml.find("<FBType")) + 1) + "...";
    };
    auto send = [&](const TForteRequest& r, TForteResponse& answer) -> std::string {
        if (OnLine)
            line(" >" + ForteRequestLine(plan, r));
        std::string error;
        if (!client.Request(r.Destination, r.Xml, answer, error))
            return "Device " + device + " did not answer " + named(r) + ": " + error + ".";
        return {};
    };
    auto refused = [&](const TForteRequest& r, const TForteResponse& answer) {
        return "Device " + device + " refused " + named(r) + ": " + peerText(answer.Reason) + ".";
    };
    // Clears the resource: what an earlier deployment left, or what this
    // run made before a flattening.
    auto clear = [&]() -> std::string {
        const std::string fb = "<FB Name=\"" + XmlEscaped(plan.Resource) + "\" Type=\"EMB_RES\"/>";
        for (const char* action : {"KILL", "DELETE"}) {
            TForteRequest request{"", std::string("<Request ID=\"0\" Action=\"") + action + "\">" + fb + "</Request>",
                                  {}, {}};
            TForteResponse cleared;
            if (std::string failed = send(request, cleared); !failed.empty())
                return failed;
            // A resource that was never started cannot be killed.
            if (!cleared.Reason.empty() && cleared.Reason != "INVALID_STATE")
                return refused(request, cleared);
        }
        return {};
    };
    const std::set<std::string> composites = ForteCompositeTypes(plan);
    std::set<std::string> flattened;

    // What the runtime has: the basic types it lacks go to it as Lua forms,
    // the composite types it lacks as their inner networks. A runtime that
    // does not tell gets every type by name, as before.
    std::set<std::string> has, lacking;
    {
        const TForteRequest query = ForteTypeQuery();
        TForteResponse listed;
        if (std::string failed = send(query, listed); !failed.empty())
            return failed;
        if (ForteTypeList(listed, has)) {
            for (const auto& [type, form] : plan.Types)
                if (!ForteHasType(has, type))
                    lacking.insert(type);
            for (const std::string& type : composites)
                if (!ForteHasType(has, type)) {
                    line("Device " + device + " does not know the composite type " + FieldEscaped(type) +
                         ": its instances are sent as their inner networks.");
                    flattened.insert(type);
                }
        }
    }
    auto notLoadable = [&](const std::string& type) {
        return "Device " + device + " cannot load FB types: " + FieldEscaped(type) + " is not among its types.";
    };
    if (std::string refusal = ForteTypeRefusal(plan, flattened, lacking); !refusal.empty())
        return refusal;
    std::vector<TForteRequest> requests = ForteRequests(plan, flattened, lacking, has);
    if (auto loads = std::find_if(requests.begin(), requests.end(), [](const TForteRequest& r) { return !r.LoadsType.empty(); });
        loads != requests.end()) {
        TForteResponse probed;
        if (std::string failed = send(ForteTypeLoadProbe(), probed); !failed.empty())
            return failed;
        // Only a runtime that parsed the text can load types.
        if (!probed.Reason.empty() && probed.Reason != "INVALID_OPERATION")
            return notLoadable(loads->LoadsType);
    }
    bool replaced = false;
    for (size_t i = 0; i < requests.size(); ++i) {
        const TForteRequest& r = requests[i];
        TForteResponse answer;
        if (std::string failed = send(r, answer); !failed.empty())
            return failed;
        if (answer.Reason.empty())
            continue;
        // The resource is there already: an earlier deployment left it.
        if (i == 0 && !replaced && AllowReplace && AllowReplace(plan.Device, plan.Resource)) {
            replaced = true;
            if (std::string failed = clear(); !failed.empty())
                return failed;
            --i;
            continue;
        }
        // The device lacks a composite type: its instances go as their
        // inner networks, from a clean resource.
        if (answer.Reason == "UNSUPPORTED_TYPE" && composites.count(r.FBType) && !flattened.count(r.FBType)) {
            const std::string type = r.FBType;
            line("Device " + device + " does not know the composite type " + FieldEscaped(type) +
                 ": its instances are sent as their inner networks.");
            flattened.insert(type);
            if (std::string refusal = ForteTypeRefusal(plan, flattened, lacking); !refusal.empty())
                return refusal;
            if (std::string failed = clear(); !failed.empty())
                return failed;
            requests = ForteRequests(plan, flattened, lacking, has);
            i = static_cast<size_t>(-1);
            continue;
        }
        // A runtime that takes no types: one that cannot load them, or one
        // that did not say which it has and lacks one of ours.
        if (!r.LoadsType.empty() && answer.Reason == "UNSUPPORTED_CMD")
            return notLoadable(r.LoadsType);
        if (answer.Reason == "UNSUPPORTED_TYPE" && plan.Types.count(r.FBType))
            return notLoadable(r.FBType);
        return refused(r, answer);
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
    client.Deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    client.DeadlineText = "no answer within " + seconds(timeoutMs);
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
        result.Error = peerText(answer.Reason);
        return result;
    }
    if (!answer.HasValue) {
        result.Error = "no value";
        return result;
    }
    result.Ok = true;
    result.Value = answer.Value;
    return result;
}

// What the online client shares with the deployment (see forte_p.h).
namespace forte_detail {

std::string PeerText(std::string_view text) { return peerText(text); }
std::string ConnectionXml(const std::string& source, const std::string& destination)
{
    return TRequestList::connection(source, destination);
}
std::string Literal(const TFBDataMember& input) { return forteLiteral(input); }
bool Converts(const TFBDataMember& input) { return converts(input); }

} // namespace forte_detail

} // namespace telvo
