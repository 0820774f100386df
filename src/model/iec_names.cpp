#include "model/iec_names.h"

#include "model/fb_type.h"

#include <algorithm>
#include <array>

namespace telvo {

namespace {

bool letter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool digit(unsigned char c) { return c >= '0' && c <= '9'; }

// Elementary and generic types of IEC 61131-3 as IEC 61499 uses them, the
// long date and time forms included; then the editor's own list and the
// model's class names, which files of this workbench carry.
constexpr std::array<std::string_view, 53> kKnownTypes = {
    "BOOL",       "SINT",        "INT",          "DINT",        "LINT",          "USINT",          "UINT",
    "UDINT",      "ULINT",       "REAL",         "LREAL",       "TIME",          "LTIME",          "DATE",
    "LDATE",      "TIME_OF_DAY", "TOD",          "LTIME_OF_DAY", "LTOD",         "DATE_AND_TIME",  "DT",
    "LDATE_AND_TIME", "LDT",     "STRING",       "WSTRING",     "CHAR",          "WCHAR",          "BYTE",
    "WORD",       "DWORD",       "LWORD",        "ANY",         "ANY_DERIVED",   "ANY_ELEMENTARY", "ANY_MAGNITUDE",
    "ANY_NUM",    "ANY_REAL",    "ANY_INT",      "ANY_SIGNED",  "ANY_UNSIGNED",  "ANY_DURATION",   "ANY_BIT",
    "ANY_CHARS",  "ANY_STRING",  "ANY_CHAR",     "ANY_DATE",    "ANY_STRUCT",    "ARRAY",          "COLOR",
    "MATRIX",     "Boolean",     "Integer",      "String",
};

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

} // namespace

bool IsIecIdentifier(std::string_view name)
{
    if (name.empty() || !letter(static_cast<unsigned char>(name.front())))
        return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return letter(static_cast<unsigned char>(c)) || digit(static_cast<unsigned char>(c)); });
}

std::string IdentifierRefusal(std::string_view name)
{
    if (IsIecIdentifier(name))
        return {};
    if (name.empty())
        return "A name is needed.";
    return "The name " + std::string(name) +
           " cannot be used: a name starts with a letter or \"_\" and holds only letters, digits and \"_\".";
}

bool IsKnownDataType(std::string_view type)
{
    return std::find(kKnownTypes.begin(), kKnownTypes.end(), type) != kKnownTypes.end();
}

bool IsAcceptedDataType(const std::string& type, const std::vector<std::string>& libraryTypeNames)
{
    if (type.empty() || IsKnownDataType(type))
        return true;
    const std::string u = upper(type);
    return std::find(libraryTypeNames.begin(), libraryTypeNames.end(), u) != libraryTypeNames.end();
}

std::string UnknownDataTypeText(const std::string& type)
{
    return type + " is neither an IEC 61499 elementary type nor a type of the library.";
}

std::vector<TUnknownDataType> UnknownDataTypes(const TFB_Type& type, const std::vector<std::string>& libraryTypeNames)
{
    std::vector<TUnknownDataType> found;
    auto scan = [&](const auto& list, const char* what) {
        for (const auto& v : list)
            if (!IsAcceptedDataType(v->Type, libraryTypeNames))
                found.push_back({std::string(what) + " " + v->Name, v->Type});
    };
    scan(type.DataInputs, "data input");
    scan(type.DataOutputs, "data output");
    scan(type.InternalVars, "internal variable");
    return found;
}

} // namespace telvo
