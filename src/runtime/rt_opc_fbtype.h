#pragma once
// The runtime FB of the OPC item types (OPCInteger, OPCBool, OPCReal,
// OPCString): no chart runs; REQ writes OPCWriteVal to the item, ReqREAD
// reads the item into OPCReadVal, and both answer with CNF. The server is
// an OPC UA server reached through the FB's own session, made at the first
// event and kept for the run.

#include "opc/ua_client.h"
#include "runtime/rt_fbtype.h"

#include <memory>
#include <string>

namespace telvo {

class TFBDataMember;

class TtelvoRT_FBtype_OPC : public TTELVO_RTtype {
public:
    using TTELVO_RTtype::TTELVO_RTtype;
    ~TtelvoRT_FBtype_OPC() override;

    // The type names that get this runtime FB.
    static bool IsOPCType(const std::string& typeName);

    void ProcessEvent() override;

    // Every call to the server ends within this time; a simulation step
    // never waits longer on a server that does not answer.
    std::chrono::milliseconds CallTimeout{3000};

private:
    // An item as added on the server: its node and the built-in type of
    // its value (Null when the server would not tell).
    struct TItem {
        bool Added = false; // the DA item handle was 0 until then
        opc::TNodeId Node;
        opc::TUaType Type = opc::TUaType::Null;
    };

    void setState(const std::string& state);
    std::string parameter(const char* port) const;
    // Makes the session when there is none; false (logged) when the server
    // cannot be reached.
    bool connect();
    // Resolves the item and learns its type; false (logged) when the server
    // does not know it.
    bool addItem(TItem& item, const std::string& itemText);
    void writeItem(const std::string& itemText);
    void readItem(const std::string& itemText);
    // A failure of the connection itself drops the session, so that the
    // next event makes a new one.
    void callFailed(const std::string& what, const opc::EOpcError& e);

    std::unique_ptr<opc::TOpcUaClient> server_;
    std::string endpoint_;
    TItem readItem_;
    TItem writeItem_;
};

} // namespace telvo
