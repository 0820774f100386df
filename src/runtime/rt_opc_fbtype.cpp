#include "runtime/rt_opc_fbtype.h"

#include "model/fb_instance.h"
#include "model/value_text.h"
#include "opc/opc_access.h"
#include "runtime/rt_environment.h"

#include <algorithm>
#include <limits>

namespace telvo {

TtelvoRT_FBtype_OPC::~TtelvoRT_FBtype_OPC()
{
    // The thread must be over before the session it uses goes.
    Finish();
}

bool TtelvoRT_FBtype_OPC::IsOPCType(const std::string& typeName)
{
    return typeName == "OPCInteger" || typeName == "OPCBool" || typeName == "OPCReal" || typeName == "OPCString";
}

void TtelvoRT_FBtype_OPC::setState(const std::string& state)
{
    State = state;
    if (Instance)
        Instance->StateText = state;
    if (Logging())
        Log(InstanceName + " :: Go to State= " + state);
}

std::string TtelvoRT_FBtype_OPC::parameter(const char* port) const
{
    const TFBDataMember* m = Instance && Instance->Ref ? Instance->Ref->FindDataInput(port) : nullptr;
    return m ? m->ValueText : std::string();
}

void TtelvoRT_FBtype_OPC::callFailed(const std::string& what, const opc::EOpcError& e)
{
    Env.LogAlways(InstanceName + " :: " + what + ": " + e.what());
    if (server_ && (!server_->SessionActive() || e.Status == opc::Status::BadSessionIdInvalid ||
                    e.Status == opc::Status::BadSessionClosed || e.Status == opc::Status::BadTimeout))
        server_.reset();
}

bool TtelvoRT_FBtype_OPC::connect()
{
    if (server_ && server_->SessionActive())
        return true;
    server_.reset();
    opc::TClientOptions options;
    options.Timeout = CallTimeout;
    options.SessionName = "TELVO ZOZE " + InstanceName;
    const std::string serverName = parameter("OPCServerName");
    const std::string machine = parameter("OPCMachine");
    try {
        if (endpoint_.empty())
            endpoint_ = opc::ResolveOpcEndpoint(machine, serverName, options);
        auto client = std::make_unique<opc::TOpcUaClient>(options);
        client->Connect(endpoint_);
        server_ = std::move(client);
        return true;
    } catch (const opc::EOpcError& e) {
        Env.LogAlways(InstanceName + " :: Cannot connect to OPC server " +
                      (endpoint_.empty() ? serverName : endpoint_) + ": " + e.what());
        return false;
    }
}

bool TtelvoRT_FBtype_OPC::addItem(TItem& item, const std::string& itemText)
{
    if (item.Added)
        return true;
    try {
        const opc::TNodeId node = opc::ResolveOpcItem(*server_, itemText);
        const opc::TDataValue v = server_->ReadValue(node);
        if (v.Status == opc::Status::BadNodeIdUnknown) {
            Env.LogAlways(InstanceName + " :: OPC item " + itemText + " not found: " + opc::StatusText(v.Status));
            return false;
        }
        item.Node = node;
        item.Type = v.HasValue && !v.Value.IsArray ? v.Value.Type : opc::TUaType::Null;
        item.Added = true;
        return true;
    } catch (const opc::EOpcError& e) {
        callFailed("OPC item " + itemText + " not added", e);
        return false;
    }
}

void TtelvoRT_FBtype_OPC::writeItem(const std::string& itemText)
{
    const TFBDataMember* in = Instance->Ref->FindDataInput("OPCWriteVal");
    if (!in || !in->Decl)
        return;
    // The requested type follows OPCWriteVal's data type.
    opc::TVariant value;
    switch (DataTypeClass(in->Decl->Type)) {
    case TDataTypeClass::Boolean: value = opc::TVariant::Boolean(in->BoolValue); break;
    case TDataTypeClass::Integer: value = opc::TVariant::Int32(in->IntValue); break;
    case TDataTypeClass::Real: value = opc::TVariant::Double(in->RealValue); break;
    case TDataTypeClass::String: value = opc::TVariant::String(in->StrValue); break;
    }
    if (!addItem(writeItem_, itemText))
        return;
    // The server keeps its variable's own type; an OPC DA server converted
    // the requested type itself, here the client does it.
    opc::TVariant sent = value;
    if (writeItem_.Type != opc::TUaType::Null && writeItem_.Type != value.Type)
        opc::ConvertVariant(value, writeItem_.Type, sent);
    try {
        const uint32_t status = server_->Write(writeItem_.Node, sent);
        if (opc::IsBad(status))
            Env.LogAlways(InstanceName + " :: OPC write of " + itemText + " failed: " + opc::StatusText(status));
    } catch (const opc::EOpcError& e) {
        callFailed("OPC write of " + itemText + " failed", e);
    }
}

void TtelvoRT_FBtype_OPC::readItem(const std::string& itemText)
{
    TFBDataMember* out = Instance->Ref->FindDataOutput("OPCReadVal");
    if (!out || !out->Decl)
        return;
    const TDataTypeClass kind = DataTypeClass(out->Decl->Type);
    if (kind == TDataTypeClass::Real)
        out->RealValue = 0;
    if (!addItem(readItem_, itemText))
        return;
    opc::TDataValue v;
    try {
        v = server_->ReadValue(readItem_.Node);
    } catch (const opc::EOpcError& e) {
        callFailed("OPC read of " + itemText + " failed", e);
        return;
    }
    if (opc::IsBad(v.Status) || !v.HasValue) {
        Env.LogAlways(InstanceName + " :: OPC read of " + itemText + " failed: " + opc::StatusText(v.Status));
        return;
    }
    switch (kind) {
    case TDataTypeClass::Boolean: out->BoolValue = opc::VariantToBool(v.Value); break;
    case TDataTypeClass::Integer:
        out->IntValue = static_cast<int32_t>(std::clamp<int64_t>(opc::VariantToInt(v.Value),
                                                                 std::numeric_limits<int32_t>::min(),
                                                                 std::numeric_limits<int32_t>::max()));
        break;
    case TDataTypeClass::Real: out->RealValue = opc::VariantToReal(v.Value); break;
    case TDataTypeClass::String:
        out->StrValue = v.Value.Type == opc::TUaType::String ? v.Value.Text : v.Value.ToText();
        break;
    }
}

void TtelvoRT_FBtype_OPC::ProcessEvent()
{
    const std::string& N = InstanceName;
    if (CurrentEvent == "-" && !Pause())
        return;
    const std::string E = CurrentEvent;
    if (Logging())
        Log(N + " :: Got Event: " + E);
    if (E != "-")
        Env.RecordSchedule(N, E);
    if (E == "DESTROY") {
        State = "DESTROYFB";
        if (Instance)
            Instance->StateText = State;
        server_.reset(); // closes the session and the channel
        return;
    }
    if (!Instance || !Instance->Ref)
        return;

    setState("ConnectToOPCserver");
    if (!connect())
        return; // logged; the FB waits for its next event
    setState("ConnectedToOPCServer");

    if (E == "REQ") {
        setState("WRITE_OPC_VALUE");
        writeItem(parameter("OPCItem"));
    } else if (E == "ReqREAD") {
        setState("READ_OPC_VALUE");
        readItem(parameter("OPCItem"));
    }
    if (State == "READ_OPC_VALUE" || State == "WRITE_OPC_VALUE")
        if (TFBEvent* cnf = Instance->Ref->FindEventOutput("CNF"))
            Env.QueueEvent(cnf);
}

} // namespace telvo
