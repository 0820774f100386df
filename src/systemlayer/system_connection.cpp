#include "systemlayer/system_layer.h"

#include <algorithm>
#include <array>

namespace telvo {

namespace {

constexpr std::array<std::string_view, slConnectionTypeCount> ConnectionTypeNames{
    "Switch to Netbone",
    "Switch to Switch",
    "Switch to TELVO Interworking Unit",
    "IEC Fieldbus to TELVO Interworking Unit",
    "non-IEC Fieldbus to TELVO Interworking Unit",
    "Switch to Computer",
    "Computer to Netbone",
    "IEC Fieldbus to IEC Device",
    "IEC Fieldbus to non-IEC Device",
    "non-IEC Fieldbus to non-IEC Device",
    "Device to IPT",
};

bool IsDeviceKind(uint8_t kind)
{
    return kind == slIECDevice || kind == slOPCDevice || kind == slNonIECDevice;
}

void Unlink(TslObject* end, const TSystemConnection* connection)
{
    if (!end)
        return;
    auto& list = end->Connections;
    list.erase(std::remove(list.begin(), list.end(), connection), list.end());
}

} // namespace

std::string_view ConnectionTypeName(uint8_t connectionType)
{
    return connectionType < ConnectionTypeNames.size() ? ConnectionTypeNames[connectionType] : std::string_view();
}

uint8_t ConnectionTypeOf(uint8_t kindA, uint8_t kindB)
{
    auto pair = [&](uint8_t x, uint8_t y) { return (kindA == x && kindB == y) || (kindA == y && kindB == x); };
    if (pair(slSwitch, slNetBone))
        return 0;
    if (pair(slSwitch, slSwitch))
        return 1;
    if (pair(slSwitch, slInterunit))
        return 2;
    if (pair(slIECFieldbus, slInterunit))
        return 3;
    if (pair(slNonIECFieldbus, slInterunit))
        return 4;
    if (pair(slSwitch, slComputer))
        return 5;
    if (pair(slComputer, slNetBone))
        return 6;
    if (pair(slIECFieldbus, slIECDevice) || pair(slIECFieldbus, slOPCDevice))
        return 7;
    if (pair(slIECFieldbus, slNonIECDevice))
        return 8;
    if (pair(slNonIECFieldbus, slNonIECDevice))
        return 9;
    if (pair(slIPPRef, slIECDevice) || pair(slIPPRef, slOPCDevice) || pair(slIPPRef, slNonIECDevice))
        return 10;
    return 0;
}

TSystemConnection::TSystemConnection(TslObject* source, TslObject* target)
    : SourceObject(source), TargetObject(target)
{
    if (SourceObject)
        SourceObject->Connections.push_back(this);
    if (TargetObject)
        TargetObject->Connections.push_back(this);
}

TSystemConnection::~TSystemConnection()
{
    Unlink(SourceObject, this);
    if (TargetObject != SourceObject)
        Unlink(TargetObject, this);
}

TslIODevice* TSystemConnection::BoundDevice() const
{
    if (!SourceObject || !TargetObject)
        return nullptr;
    if (SourceObject->Kind == slIPPRef && IsDeviceKind(TargetObject->Kind))
        return dynamic_cast<TslIODevice*>(TargetObject);
    if (TargetObject->Kind == slIPPRef && IsDeviceKind(SourceObject->Kind))
        return dynamic_cast<TslIODevice*>(SourceObject);
    return nullptr;
}

TslIPPRef* TSystemConnection::BoundIpp() const
{
    if (!BoundDevice())
        return nullptr;
    TslObject* end = SourceObject->Kind == slIPPRef ? SourceObject : TargetObject;
    return dynamic_cast<TslIPPRef*>(end);
}

} // namespace telvo
