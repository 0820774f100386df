#pragma once
// What a name or a data type text of an FB type may be. The editors refuse
// port names that are not identifiers (every tool that reads the file, the
// script engine and the Pascal generator take them as identifiers), and mark
// data types that neither IEC 61499 nor the library knows; `telvo type check`
// names those.

#include <string>
#include <string_view>
#include <vector>

namespace telvo {

class TFB_Type;

// A letter or "_", then letters, digits and "_" (ASCII).
bool IsIecIdentifier(std::string_view name);
// Why `name` cannot be a name of the type's interface, or empty when it can.
std::string IdentifierRefusal(std::string_view name);

// An IEC 61499 elementary or generic data type (exact, case-sensitive, as the
// model classifies type texts), or one of the editor's own list (ARRAY,
// COLOR, MATRIX) and the model's class names (Boolean, Integer, String).
bool IsKnownDataType(std::string_view type);
// Known, empty (not chosen yet), or the name of a type of the library
// (`libraryTypeNames` holds upper-case names).
bool IsAcceptedDataType(const std::string& type, const std::vector<std::string>& libraryTypeNames);
// The tool tip and message for a data type that is not accepted.
std::string UnknownDataTypeText(const std::string& type);

struct TUnknownDataType {
    std::string What; // "data input D1", "data output Q", "internal variable CNT"
    std::string Type;
};
// The data inputs, data outputs and internal variables of a type, in that
// order, whose data type is not accepted.
std::vector<TUnknownDataType> UnknownDataTypes(const TFB_Type& type,
                                               const std::vector<std::string>& libraryTypeNames);

} // namespace telvo
