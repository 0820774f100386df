#include "opc/opc_access.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <cmath>
#include <limits>

namespace telvo::opc {

std::string MachineHost(const std::string& machine)
{
    if (machine.empty() || machine == "localhost")
        return "127.0.0.1";
    return machine;
}

namespace {

std::string hostPart(const std::string& host)
{
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

bool startsWithScheme(const std::string& s)
{
    constexpr std::string_view scheme = "opc.tcp://";
    if (s.size() < scheme.size())
        return false;
    for (size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != scheme[i])
            return false;
    return true;
}

// "host", "host:port" or a URL → the URL of a discovery endpoint.
std::string discoveryUrl(const std::string& host)
{
    if (startsWithScheme(host))
        return host;
    const std::string h = host.empty() ? std::string("localhost") : host;
    // "host:port" (one colon) keeps its port; a bare IPv6 address has more.
    const size_t colon = h.rfind(':');
    if (colon != std::string::npos && h.find(':') == colon)
        return "opc.tcp://" + MachineHost(h.substr(0, colon)) + h.substr(colon);
    if (h.starts_with('[') && h.find("]:") != std::string::npos)
        return "opc.tcp://" + h;
    return "opc.tcp://" + hostPart(MachineHost(h)) + ":" + std::to_string(DiscoveryPort);
}

std::string firstTcpUrl(const std::vector<std::string>& urls)
{
    for (const auto& u : urls)
        if (startsWithScheme(u))
            return u;
    return {};
}

} // namespace

std::string ResolveOpcEndpoint(const std::string& machine, const std::string& serverName,
                               const TClientOptions& options)
{
    if (startsWithScheme(serverName))
        return serverName;
    const std::string host = hostPart(MachineHost(machine));
    if (serverName.starts_with(':'))
        return "opc.tcp://" + host + serverName;
    if (serverName.starts_with('/'))
        return "opc.tcp://" + host + ":" + std::to_string(DiscoveryPort) + serverName;
    TOPCServerList list(options);
    list.Enumerate(machine);
    for (const auto& s : list.Servers())
        if ((s.ServerName == serverName || s.Description == serverName) && !s.Endpoint.empty())
            return s.Endpoint;
    throw EOpcError("Cannot find OPC Server " + serverName, Status::BadNoMatch);
}

void TOPCServerList::Enumerate(const std::string& host)
{
    TOpcUaClient client(options_);
    client.OpenChannel(discoveryUrl(host));
    for (const auto& app : client.FindServers()) {
        TOPCServerInfo info;
        info.ServerName = app.ApplicationName.Text.empty() ? app.ApplicationUri : app.ApplicationName.Text;
        info.Description = app.ApplicationUri;
        info.Vendor = app.ProductUri;
        info.Endpoint = firstTcpUrl(app.DiscoveryUrls);
        info.ApplicationType = app.ApplicationType;
        AddServer(std::move(info));
    }
}

bool TOPCServerList::AddServer(TOPCServerInfo info)
{
    // The length keeps the two parts apart whatever bytes they hold.
    std::string key = std::to_string(info.Description.size()) + ":" + info.Description + info.ServerName;
    if (!keys_.insert(std::move(key)).second)
        return false;
    servers_.push_back(std::move(info));
    return true;
}

// ---- items ----

namespace {

std::vector<std::string> splitPath(const std::string& path)
{
    std::vector<std::string> steps;
    std::string cur;
    for (char c : path) {
        if (c == '/') {
            if (!cur.empty())
                steps.push_back(std::move(cur));
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty())
        steps.push_back(std::move(cur));
    return steps;
}

} // namespace

TNodeId ResolveOpcItem(TOpcUaClient& client, const std::string& item)
{
    TNodeId id;
    if (TNodeId::FromText(item, id))
        return id;
    TNodeId node = TNodeId::Num(Node::ObjectsFolder);
    std::string walked;
    for (const auto& step : splitPath(item)) {
        bool found = false;
        for (const auto& ref : client.BrowseAll(node)) {
            if (ref.BrowseName.Name == step || ref.DisplayName.Text == step) {
                node = ref.NodeId.Node;
                found = true;
                break;
            }
        }
        walked += (walked.empty() ? "" : "/") + step;
        if (!found)
            throw EOpcError("No item " + walked + " on " + client.EndpointUrl(), Status::BadNoMatch);
    }
    return node;
}

std::string OpcTypeText(TUaType type, bool isArray)
{
    // The variant type codes of the item list, with their texts.
    const char* text = nullptr;
    switch (type) {
    case TUaType::Boolean: text = "BOOL"; break;
    case TUaType::SByte: text = "Shortint"; break;
    case TUaType::Byte: text = "Unsigned Short(Byte)"; break;
    case TUaType::Int16: text = "Smallint"; break;
    case TUaType::UInt16: text = "WORD"; break;
    case TUaType::Int32: text = "Integer"; break;
    case TUaType::UInt32: text = "DWORD"; break;
    case TUaType::Float: text = "Real4"; break;
    case TUaType::Double: text = "Real8"; break;
    case TUaType::String: text = "String"; break;
    case TUaType::ByteString: text = "Binary String"; break;
    case TUaType::DateTime: text = "Date"; break;
    case TUaType::Null: text = "Variant"; break;
    default: text = UaTypeName(type); break;
    }
    return (isArray ? std::string("(ARRAY) ") : std::string()) + text;
}

std::string OpcAccessText(uint32_t accessLevel)
{
    switch (accessLevel & 3) {
    case 1: return "READ ONLY";
    case 2: return "WRITE ONLY";
    case 3: return "READ/WRITE";
    default: return "-";
    }
}

namespace {

// The built-in type behind a DataType node; the common subtypes of the
// base namespace are followed by hand rather than by browsing the type tree.
TUaType builtInOf(const TVariant& dataType)
{
    TNodeId id;
    if (dataType.Type != TUaType::NodeId || !TNodeId::FromText(dataType.Text, id) || id.Namespace != 0 ||
        id.Kind != TNodeIdKind::Numeric)
        return TUaType::Null;
    if (id.Numeric >= 1 && id.Numeric <= 25)
        return static_cast<TUaType>(id.Numeric);
    switch (id.Numeric) {
    case 290: return TUaType::Double;   // Duration
    case 294: return TUaType::DateTime; // UtcTime
    case 288: case 289: return TUaType::UInt32; // IntegerId, Counter
    case 29: return TUaType::Int32;     // Enumeration
    default: return TUaType::Null;
    }
}

uint32_t toUInt(const TDataValue& dv)
{
    if (!dv.HasValue || IsBad(dv.Status))
        return 0;
    return static_cast<uint32_t>(dv.Value.UInt ? dv.Value.UInt : static_cast<uint64_t>(dv.Value.Int));
}

} // namespace

namespace {

std::vector<TOPCItemInfo> browseItemsOf(TOpcUaClient& client, const TNodeId& start, const std::string& prefix)
{
    std::vector<TOPCItemInfo> items;
    for (const auto& ref : client.BrowseAll(start)) {
        TOPCItemInfo info;
        info.Name = ref.BrowseName.Name;
        info.ItemID = ref.NodeId.Node.ToText();
        info.Path = prefix + ref.BrowseName.Name;
        info.NodeClass = ref.NodeClass;
        info.AccessText = "-";
        items.push_back(std::move(info));
    }
    // The variables' types and access rights, read in batches.
    constexpr size_t Batch = 100;
    std::vector<size_t> vars;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].NodeClass == TNodeClass::Variable)
            vars.push_back(i);
    for (size_t from = 0; from < vars.size(); from += Batch) {
        const size_t to = std::min(vars.size(), from + Batch);
        std::vector<TReadValueId> ask;
        for (size_t k = from; k < to; ++k) {
            TNodeId id;
            TNodeId::FromText(items[vars[k]].ItemID, id);
            for (uint32_t a : {Attribute::DataType, Attribute::ValueRank, Attribute::AccessLevel,
                               Attribute::UserAccessLevel})
                ask.push_back({id, a});
        }
        const std::vector<TDataValue> got = client.Read(ask);
        for (size_t k = from; k < to; ++k) {
            TOPCItemInfo& info = items[vars[k]];
            const TDataValue* v = &got[(k - from) * 4];
            info.BuiltInType = v[0].HasValue ? builtInOf(v[0].Value) : TUaType::Null;
            info.IsArray = v[1].HasValue && !IsBad(v[1].Status) && v[1].Value.Int >= 0;
            info.TypeText = OpcTypeText(info.BuiltInType, info.IsArray);
            // What this client may do: the node's rights limited by the user's.
            uint32_t access = toUInt(v[2]);
            if (v[3].HasValue && !IsBad(v[3].Status))
                access &= toUInt(v[3]);
            info.AccessText = OpcAccessText(access);
        }
    }
    return items;
}

} // namespace

std::vector<TOPCItemInfo> BrowseOpcItems(TOpcUaClient& client, const std::string& path)
{
    const TNodeId start = path.empty() ? TNodeId::Num(Node::ObjectsFolder) : ResolveOpcItem(client, path);
    std::string prefix;
    TNodeId probe;
    if (!path.empty() && !TNodeId::FromText(path, probe))
        for (const auto& s : splitPath(path))
            prefix += s + "/";
    return browseItemsOf(client, start, prefix);
}

std::vector<TOPCItemInfo> ListOpcItems(TOpcUaClient& client, size_t maxNodes)
{
    std::vector<TOPCItemInfo> variables;
    std::unordered_set<std::string> visited; // NodeId texts
    // Breadth first: (node, its browse path + "/").
    std::deque<std::pair<TNodeId, std::string>> pending = {{TNodeId::Num(Node::ObjectsFolder), ""}};
    size_t browsed = 0;
    while (!pending.empty() && browsed < maxNodes) {
        const auto [node, prefix] = std::move(pending.front());
        pending.pop_front();
        ++browsed;
        for (auto& item : browseItemsOf(client, node, prefix)) {
            TNodeId id;
            if (!TNodeId::FromText(item.ItemID, id) || id.Namespace == 0)
                continue;
            if (!visited.insert(item.ItemID).second)
                continue;
            if (visited.size() > Limit::References)
                throw EOpcError("The items of " + client.EndpointUrl() + " are more than " +
                                    std::to_string(Limit::References) + " nodes",
                                Status::BadResponseTooLarge);
            if (item.NodeClass == TNodeClass::Variable)
                variables.push_back(item);
            // Objects hold items; variables may hold properties that are
            // items too.
            if (item.NodeClass == TNodeClass::Object || item.NodeClass == TNodeClass::Variable)
                pending.emplace_back(id, item.Path + "/");
        }
    }
    return variables;
}

std::string OpcItemEntryText(const TOPCItemInfo& item)
{
    return item.ItemID + " | " + item.TypeText + " (" + item.AccessText + ")";
}

// ---- conversions ----

bool VariantToBool(const TVariant& v)
{
    switch (v.Type) {
    case TUaType::Boolean: return v.Bool;
    case TUaType::Float: case TUaType::Double: return v.Real != 0;
    case TUaType::String: return v.Text == "true" || v.Text == "TRUE" || v.Text == "True" || v.Text == "1";
    default: return v.Int != 0 || v.UInt != 0;
    }
}

int64_t VariantToInt(const TVariant& v)
{
    switch (v.Type) {
    case TUaType::Boolean: return v.Bool ? 1 : 0;
    case TUaType::Float: case TUaType::Double:
        if (!std::isfinite(v.Real))
            return 0;
        if (v.Real >= 9.2e18 || v.Real <= -9.2e18)
            return v.Real > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
        return static_cast<int64_t>(std::llround(v.Real));
    case TUaType::String: {
        int64_t x = 0;
        std::from_chars(v.Text.data(), v.Text.data() + v.Text.size(), x);
        return x;
    }
    case TUaType::Byte: case TUaType::UInt16: case TUaType::UInt32: case TUaType::UInt64: case TUaType::StatusCode:
        return v.UInt > uint64_t(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                                      : int64_t(v.UInt);
    default: return v.Int;
    }
}

double VariantToReal(const TVariant& v)
{
    switch (v.Type) {
    case TUaType::Boolean: return v.Bool ? 1 : 0;
    case TUaType::Float: case TUaType::Double: return v.Real;
    case TUaType::String: {
        double x = 0;
        std::from_chars(v.Text.data(), v.Text.data() + v.Text.size(), x);
        return x;
    }
    case TUaType::Byte: case TUaType::UInt16: case TUaType::UInt32: case TUaType::UInt64: case TUaType::StatusCode:
        return double(v.UInt);
    default: return double(v.Int);
    }
}

bool ConvertVariant(const TVariant& in, TUaType target, TVariant& out)
{
    TVariant v;
    v.Type = target;
    auto intIn = [&](int64_t lo, uint64_t hi) {
        const bool real = in.Type == TUaType::Float || in.Type == TUaType::Double;
        if (real && (!std::isfinite(in.Real) || in.Real != std::trunc(in.Real)))
            return false;
        const int64_t x = VariantToInt(in);
        if (x < lo || (x > 0 && uint64_t(x) > hi))
            return false;
        if (lo < 0)
            v.Int = x;
        else
            v.UInt = uint64_t(x);
        return true;
    };
    switch (target) {
    case TUaType::Boolean: v.Bool = VariantToBool(in); break;
    case TUaType::SByte: if (!intIn(-128, 127)) return false; break;
    case TUaType::Byte: if (!intIn(0, 255)) return false; break;
    case TUaType::Int16: if (!intIn(-32768, 32767)) return false; break;
    case TUaType::UInt16: if (!intIn(0, 65535)) return false; break;
    case TUaType::Int32: if (!intIn(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())) return false; break;
    case TUaType::UInt32: if (!intIn(0, std::numeric_limits<uint32_t>::max())) return false; break;
    case TUaType::Int64: if (!intIn(std::numeric_limits<int64_t>::min(), uint64_t(std::numeric_limits<int64_t>::max()))) return false; break;
    case TUaType::UInt64: if (!intIn(0, uint64_t(std::numeric_limits<int64_t>::max()))) return false; break;
    case TUaType::Float: case TUaType::Double: v.Real = VariantToReal(in); break;
    case TUaType::String:
        v.Text = in.Type == TUaType::String ? in.Text : in.ToText();
        break;
    default: return false;
    }
    out = std::move(v);
    return true;
}

} // namespace telvo::opc
