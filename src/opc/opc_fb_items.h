#pragma once
// OPC FB instances for the items of an OPC device: the type that fits an
// item's type text, and the instance with its three parameters placed in
// the device's process-interface diagram.

#include <string>

namespace telvo {

class TCanvas;
class TFB_Diagram;
class TFB_Instance;
class TslOPCDevice;

// "OPCInteger", "OPCBool", "OPCReal", "OPCString", or "" for a type text
// none of them takes (an array, a date, …).
std::string OpcFBTypeForItem(const std::string& typeText);

// Adds an instance of the item's OPC FB type with OPCServerName and
// OPCMachine from the device and OPCItem = the item identifier. None when
// the type text has no OPC FB type or the type cannot be loaded.
TFB_Instance* AddOpcFBInstance(TFB_Diagram& diagram, const TslOPCDevice& device, const std::string& typeText,
                               const std::string& itemId, TCanvas* surface = nullptr);

// The "Add KALO OPC FB:" entries "IntegerFB", "RealFB", "BooleanFB",
// "StringFB": an instance for the KALO server whose item is still to be
// entered. None for another entry.
TFB_Instance* AddKaloOpcFBInstance(TFB_Diagram& diagram, const std::string& entry, TCanvas* surface = nullptr);

} // namespace telvo
