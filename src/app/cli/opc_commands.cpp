// telvo opc servers [HOST] [--timeout MS]
//   One line per server the machine's discovery endpoint knows:
//   name, endpoint, application URI, product URI (tab-separated).
// telvo opc browse ENDPOINT [PATH] [--timeout MS]
//   One line per node below PATH (the Objects folder by default):
//   browse path, item id, node class, type text, access text.
// telvo opc read ENDPOINT ITEM [--timeout MS]
//   The item's value alone, for pipelines.
//
// HOST: a machine (its discovery port 4840), "host:port" or an opc.tcp URL;
// empty or "localhost" is this computer. ENDPOINT: an opc.tcp URL, or
// "host:port[/path]". ITEM and PATH: a NodeId text ("ns=1;s=Tank.Level")
// or a browse path from the Objects folder ("Plant/Tank/Level").
// --timeout MS bounds the whole command, every call of it together.
//
// Names, values and reasons come from the server: every field is printed
// escaped (FieldEscaped), so none of them can end a field or a line, or
// reach the terminal as a control character.

#include "cli.h"

#include "model/field_escape.h"
#include "opc/opc_access.h"

#include <algorithm>
#include <charconv>

namespace telvo::cli {

namespace {

// Takes "--timeout MS" out of the arguments; false on a bad value. The
// time-out is that of the whole command, which starts now.
bool takeTimeout(TCliContext& ctx, opc::TClientOptions& options, int& rc)
{
    auto& a = ctx.Args;
    for (size_t i = 0; i < a.size(); ++i) {
        std::string value;
        size_t drop = 0;
        if (a[i] == "--timeout") {
            if (i + 1 >= a.size()) {
                rc = UsageError(ctx, "--timeout needs milliseconds");
                return false;
            }
            value = a[i + 1];
            drop = 2;
        } else if (a[i].rfind("--timeout=", 0) == 0) {
            value = a[i].substr(10);
            drop = 1;
        } else if (a[i].rfind("--", 0) == 0) {
            rc = UsageError(ctx, "unknown option " + a[i]);
            return false;
        } else {
            continue;
        }
        unsigned ms = 0;
        auto r = std::from_chars(value.data(), value.data() + value.size(), ms);
        if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() || ms == 0) {
            rc = UsageError(ctx, "--timeout needs milliseconds, not '" + value + "'");
            return false;
        }
        options.Timeout = std::chrono::milliseconds(ms);
        a.erase(a.begin() + static_cast<long>(i), a.begin() + static_cast<long>(i + drop));
        --i;
    }
    options.Deadline = std::chrono::steady_clock::now() + options.Timeout;
    return true;
}

std::string endpointOf(const std::string& text)
{
    if (text.rfind("opc.tcp://", 0) == 0 || text.rfind("OPC.TCP://", 0) == 0)
        return text;
    return "opc.tcp://" + text;
}

const char* nodeClassText(opc::TNodeClass c)
{
    switch (c) {
    case opc::TNodeClass::Object: return "Object";
    case opc::TNodeClass::Variable: return "Variable";
    case opc::TNodeClass::Method: return "Method";
    case opc::TNodeClass::ObjectType: return "ObjectType";
    case opc::TNodeClass::VariableType: return "VariableType";
    case opc::TNodeClass::ReferenceType: return "ReferenceType";
    case opc::TNodeClass::DataType: return "DataType";
    case opc::TNodeClass::View: return "View";
    default: return "Unspecified";
    }
}

// The message may quote the server (a reason, a node it named).
int failed(TCliContext& ctx, const std::exception& e)
{
    ctx.Err << "telvo: " << FieldEscaped(e.what()) << "\n";
    return 1;
}

int opcServers(TCliContext& ctx)
{
    opc::TClientOptions options;
    if (int rc = 0; !takeTimeout(ctx, options, rc))
        return rc;
    if (ctx.Args.size() > 1)
        return UsageError(ctx, "opc servers takes one HOST at most");
    try {
        opc::TOPCServerList list(options);
        list.Enumerate(ctx.Args.empty() ? std::string() : ctx.Args[0]);
        for (const auto& s : list.Servers())
            ctx.Out << FieldEscaped(s.ServerName) << "\t" << FieldEscaped(s.Endpoint) << "\t"
                    << FieldEscaped(s.Description) << "\t" << FieldEscaped(s.Vendor) << "\n";
    } catch (const opc::EOpcError& e) {
        return failed(ctx, e);
    }
    return 0;
}

int opcBrowse(TCliContext& ctx)
{
    opc::TClientOptions options;
    if (int rc = 0; !takeTimeout(ctx, options, rc))
        return rc;
    if (ctx.Args.empty() || ctx.Args.size() > 2)
        return UsageError(ctx, "opc browse needs an ENDPOINT and at most one PATH");
    try {
        opc::TOpcUaClient client(options);
        client.Connect(endpointOf(ctx.Args[0]));
        for (const auto& i : opc::BrowseOpcItems(client, ctx.Args.size() > 1 ? ctx.Args[1] : std::string()))
            ctx.Out << FieldEscaped(i.Path) << "\t" << FieldEscaped(i.ItemID) << "\t" << nodeClassText(i.NodeClass)
                    << "\t" << (i.TypeText.empty() ? "-" : FieldEscaped(i.TypeText)) << "\t" << i.AccessText << "\n";
        client.Close();
    } catch (const opc::EOpcError& e) {
        return failed(ctx, e);
    }
    return 0;
}

int opcRead(TCliContext& ctx)
{
    opc::TClientOptions options;
    if (int rc = 0; !takeTimeout(ctx, options, rc))
        return rc;
    if (ctx.Args.size() != 2)
        return UsageError(ctx, "opc read needs an ENDPOINT and an ITEM");
    try {
        opc::TOpcUaClient client(options);
        client.Connect(endpointOf(ctx.Args[0]));
        const opc::TDataValue v = client.ReadValue(opc::ResolveOpcItem(client, ctx.Args[1]));
        client.Close();
        if (opc::IsBad(v.Status) || !v.HasValue) {
            ctx.Err << "telvo: " << FieldEscaped(ctx.Args[1]) << ": " << opc::StatusText(v.Status) << "\n";
            return 1;
        }
        ctx.Out << FieldEscaped(v.Value.ToText()) << "\n";
    } catch (const opc::EOpcError& e) {
        return failed(ctx, e);
    }
    return 0;
}

// Said by every command's help: how texts from the server are printed.
#define TELVO_OPC_ESCAPE_NOTE                                                                   \
    "Texts from the server (names, values, reasons) are printed with \\\\, \\t, \\n, \\r and\n" \
    "\\xHH for backslashes, tabs, line breaks and other control or non-UTF-8 bytes."

TCliCommand regServers{"opc servers", "[HOST] [--timeout MS]", opcServers,
                       "Lists the OPC UA servers a machine's discovery endpoint knows, one a line:\n"
                       "name, endpoint, application URI, product URI (tab-separated).\n"
                       "  HOST            a machine (discovery port 4840), HOST:PORT or an opc.tcp URL;\n"
                       "                  empty or localhost is this computer\n"
                       "  --timeout MS    time-out of the whole command (default 5000)\n" TELVO_OPC_ESCAPE_NOTE};
TCliCommand regBrowse{"opc browse", "ENDPOINT [PATH] [--timeout MS]", opcBrowse,
                      "Lists the nodes below PATH (the Objects folder by default), one a line:\n"
                      "browse path, item id, node class, type, access (tab-separated).\n"
                      "  ENDPOINT        an opc.tcp URL or HOST:PORT[/PATH]\n"
                      "  PATH            a NodeId (ns=1;s=Plant) or a browse path (Plant/Tank)\n"
                      "  --timeout MS    time-out of the whole command (default 5000)\n" TELVO_OPC_ESCAPE_NOTE};
TCliCommand regRead{"opc read", "ENDPOINT ITEM [--timeout MS]", opcRead,
                    "Prints the value of one item.\n"
                    "  ENDPOINT        an opc.tcp URL or HOST:PORT[/PATH]\n"
                    "  ITEM            a NodeId (ns=1;s=Tank.Level) or a browse path (Plant/Tank/Level)\n"
                    "  --timeout MS    time-out of the whole command (default 5000)\n" TELVO_OPC_ESCAPE_NOTE};

#undef TELVO_OPC_ESCAPE_NOTE

} // namespace

} // namespace telvo::cli
