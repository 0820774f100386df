#include "opc/opc_fb_items.h"

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/value_text.h"
#include "systemlayer/system_layer.h"

namespace telvo {

std::string OpcFBTypeForItem(const std::string& typeText)
{
    static const char* const integers[] = {"Integer", "Unsigned Short(Byte)", "DWORD", "Shortint", "Smallint", "WORD"};
    for (const char* t : integers)
        if (typeText == t)
            return "OPCInteger";
    if (typeText == "BOOL")
        return "OPCBool";
    if (typeText == "Currency" || typeText == "Real8" || typeText == "Real4")
        return "OPCReal";
    if (typeText == "String" || typeText == "Binary String")
        return "OPCString";
    return {};
}

namespace {

void setParameter(TFB_Instance* instance, const char* port, const std::string& value)
{
    if (TFBDataMember* m = instance->Ref->FindDataInput(port)) {
        m->ValueText = value;
        try {
            m->SetValueFromText(value);
        } catch (const EConvertError&) {
            // A text port takes any text; nothing else is set here.
        }
    }
}

TFB_Instance* addWith(TFB_Diagram& diagram, const std::string& type, const std::string& server,
                      const std::string& machine, const std::string& item, TCanvas* surface)
{
    TFB_Instance* instance = diagram.AddInstance("", type, true, surface);
    if (!instance || !instance->Ref)
        return nullptr;
    setParameter(instance, "OPCServerName", server);
    setParameter(instance, "OPCMachine", machine);
    setParameter(instance, "OPCItem", item);
    return instance;
}

} // namespace

TFB_Instance* AddOpcFBInstance(TFB_Diagram& diagram, const TslOPCDevice& device, const std::string& typeText,
                               const std::string& itemId, TCanvas* surface)
{
    const std::string type = OpcFBTypeForItem(typeText);
    if (type.empty())
        return nullptr;
    return addWith(diagram, type, device.OPCServerName, device.OPCMachineName, itemId, surface);
}

TFB_Instance* AddKaloOpcFBInstance(TFB_Diagram& diagram, const std::string& entry, TCanvas* surface)
{
    std::string type;
    if (entry == "IntegerFB")
        type = "OPCInteger";
    else if (entry == "RealFB")
        type = "OPCReal";
    else if (entry == "BooleanFB")
        type = "OPCBool";
    else if (entry == "StringFB")
        type = "OPCString";
    else
        return nullptr;
    return addWith(diagram, type, "KALO_OPC_SERVER", "", "[ENTER ITEM NAME HERE]", surface);
}

} // namespace telvo
