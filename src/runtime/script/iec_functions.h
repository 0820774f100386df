#pragma once
// The IEC 61131-3 routines of the engine: what Structured Text needs beyond
// the script language's own operators (conversions to a type's range and
// width, truncating integer division, bit strings of a given width, the
// standard numeric, selection and string functions). They live in the
// system scope under "IEC_" names, so the ST front end calls them as host
// routines and every other form of the compiled code (the Lua form
// included) finds them by the same names.
//
// Integers are the engine's: 32-bit, and whole doubles beyond that. A
// 64-bit type (LINT, ULINT, LWORD) therefore computes exactly up to 2^53;
// a result beyond raises an error instead of computing a wrong value.

#include <optional>
#include <string>
#include <string_view>

namespace telvo {

class TScriptObject;

// Registers the routines on the scope.
void AddIecFunctions(TScriptObject& scope);

// The IEC elementary types the front end and the routines know.
enum class TIecKind : unsigned char { Bool, Int, Real, String, Time, Other };
struct TIecType {
    TIecKind Kind = TIecKind::Other;
    int Bits = 0;        // integers and bit strings: the width; reals: 32 or 64
    bool Signed = false; // integers
    bool BitString = false; // BYTE, WORD, DWORD, LWORD
    std::string Name;    // upper case
};
// None for a name that is no elementary type ("MyStruct").
std::optional<TIecType> IecElementaryType(std::string_view name);

// Nanoseconds of an IEC duration text ("T#1s500ms", "TIME#-2h", "1.5s");
// false when the text is none.
bool ParseIecDuration(std::string_view text, double& nanoseconds);

} // namespace telvo
