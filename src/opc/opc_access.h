#pragma once
// What the workbench does with OPC servers, on top of the protocol client:
// turn an FB's server name and machine into an endpoint, an item text into
// a node, list the servers of a machine, and browse items with their type
// and access texts.

#include "opc/ua_client.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace telvo::opc {

// The discovery port a machine's servers are found on.
constexpr uint16_t DiscoveryPort = 4840;

// "" and "localhost" name this computer; it is reached as 127.0.0.1 so that
// nothing asks a resolver for a name.
std::string MachineHost(const std::string& machine);

// The endpoint for an OPC FB's OPCMachine and OPCServerName parameters:
// a full opc.tcp URL is used as it is; a server name that starts with ":" or
// "/" carries a port and/or a path on that machine; any other name is
// looked up by discovery on the machine (FindServers at port 4840) by its
// application name or URI. Throws EOpcError when no endpoint is found.
std::string ResolveOpcEndpoint(const std::string& machine, const std::string& serverName,
                               const TClientOptions& options = {});

// The node an item text names: a NodeId text ("ns=1;s=Tank.Level",
// "i=2258") or a browse path from the Objects folder ("Plant/Tank/Level",
// each step matched by browse name or display name). Throws EOpcError with
// BadNoMatch when a step is not found.
TNodeId ResolveOpcItem(TOpcUaClient& client, const std::string& item);

// One server found on a machine.
struct TOPCServerInfo {
    std::string ServerName;  // the application name
    std::string Description; // the application URI
    std::string Vendor;      // the product URI
    std::string Endpoint;    // the first opc.tcp discovery URL
    int32_t ApplicationType = 0;
};

// The servers a machine's discovery endpoint knows. HOST is a machine name
// (port 4840), "host:port", or an opc.tcp URL.
class TOPCServerList {
public:
    explicit TOPCServerList(TClientOptions options = {}) : options_(std::move(options)) {}
    // Throws EOpcError when the machine cannot be asked.
    void Enumerate(const std::string& host);
    // A server already listed under the same name and URI is not added
    // again. Constant time: a machine may list very many servers.
    bool AddServer(TOPCServerInfo info);
    const std::vector<TOPCServerInfo>& Servers() const { return servers_; }

private:
    TClientOptions options_;
    std::vector<TOPCServerInfo> servers_;
    std::unordered_set<std::string> keys_; // the name and URI of each listed server
};

// One node under a browsed node, as the item list shows it.
struct TOPCItemInfo {
    std::string Name;     // browse name
    std::string ItemID;   // NodeId text
    std::string Path;     // browse path from the Objects folder
    TNodeClass NodeClass = TNodeClass::Unspecified;
    std::string TypeText;   // "Integer", "BOOL", "(ARRAY) Real8", … for variables
    std::string AccessText; // "READ ONLY", "WRITE ONLY", "READ/WRITE" or "-"
    TUaType BuiltInType = TUaType::Null;
    bool IsArray = false;
};

// The type text of a built-in data type, in the words of the item list.
std::string OpcTypeText(TUaType type, bool isArray);
// "READ ONLY", "WRITE ONLY", "READ/WRITE" or "-" for an AccessLevel byte.
std::string OpcAccessText(uint32_t accessLevel);

// The children of the node at PATH ("" = the Objects folder; a NodeId
// text or a browse path as ResolveOpcItem takes), variables with their type
// and access.
std::vector<TOPCItemInfo> BrowseOpcItems(TOpcUaClient& client, const std::string& path);

// Every variable of the server's own namespaces below the Objects folder,
// the flat item list an OPC device offers for "Add OPC FB:". Nodes of the
// standard namespace (the Server object and its diagnostics) are left out;
// each node is visited once, and at most maxNodes are browsed. More than
// Limit::References nodes in all end with EOpcError (BadResponseTooLarge).
std::vector<TOPCItemInfo> ListOpcItems(TOpcUaClient& client, size_t maxNodes = 20000);
// "ns=1;s=Tank.Level | Integer (READ/WRITE)".
std::string OpcItemEntryText(const TOPCItemInfo& item);

// The value converted to a requested type, as the OPC FBs read it.
bool VariantToBool(const TVariant& v);
int64_t VariantToInt(const TVariant& v);
double VariantToReal(const TVariant& v);

// Converts a value to the built-in type of the target variable so that a
// server that insists on its exact type (Float, UInt16, …) takes it.
// Returns false when the value does not fit that type.
bool ConvertVariant(const TVariant& in, TUaType target, TVariant& out);

} // namespace telvo::opc
