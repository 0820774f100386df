#pragma once
// Data type classes and value texts: how the workbench sorts the type text of
// a variable and how it turns values into text and back. Every value holder
// (instance data ports, instance internal variables) goes through these two
// conversions, and they never depend on the process locale: "1,5" and "1.5"
// both read as one and a half, and formatting always writes ".".

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace telvo {

enum class TDataTypeClass { Boolean, Integer, Real, String };

// Sorts a type text into its class; the comparison is exact and case-sensitive.
TDataTypeClass DataTypeClass(const std::string& typeText);
// "Boolean", "Integer", "Single" or "String": the type that scripts and the
// generated source declare for a variable of that type text.
std::string RuntimeTypeName(const std::string& typeText);

// The IEC 61131-3 integer and bit-string types by their range: SINT, INT,
// DINT, LINT, USINT, UINT, UDINT, ULINT, BYTE, WORD, DWORD, LWORD. The
// class a type's values are held in does not follow from it: INT and BYTE
// are held as 32-bit integers, the others as texts (DataTypeClass), and
// their value texts stay as they are written.
struct TIecIntegerType {
    bool Signed = true;
    int Bits = 32;

    // Whether the value, given as a sign and a magnitude, lies in the range.
    bool Holds(bool negative, uint64_t magnitude) const;
    // "-128 to 127", "0 to 255".
    std::string RangeText() const;
};
// The range of an IEC integer or bit-string type text (exact and
// case-sensitive, as DataTypeClass); none for any other type text.
std::optional<TIecIntegerType> IecIntegerType(const std::string& typeText);
// An integer as IEC 61131-3 writes it: an optional sign, then decimal
// digits, or a base (2#, 8#, 16#) and its digits, with single "_" between
// digits, optionally behind the name of an integer type ("DINT#16#FF");
// Pascal's "$FF" too. Surrounding blanks are allowed.
bool TryParseIecInteger(std::string_view text, bool& negative, uint64_t& magnitude);

// A value text that does not convert to a number of the holder's class.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One value of one of the four classes. Reals of data ports are held at
// double precision; internal variables use extended precision.
struct TValueHolder {
    TDataTypeClass Class = TDataTypeClass::String;
    bool Extended = false;
    bool BoolValue = false;
    int32_t IntValue = 0;
    long double RealValue = 0;
    std::string StringValue;

    TValueHolder() = default;
    explicit TValueHolder(const std::string& typeText, bool extended = false)
        : Class(DataTypeClass(typeText)), Extended(extended) {}

    // Parses a value text into the holder. Integer and Real: an empty text
    // leaves the value unchanged; a text that is not a number throws
    // EConvertError and leaves the value unchanged.
    void Parse(const std::string& text);
    std::string Format() const;
};

// Parsing and formatting helpers shared by the readers.
bool ParseBooleanText(const std::string& text);
// Decimal (or "$" hexadecimal) 32-bit integer, surrounding blanks allowed.
bool TryParseInteger(const std::string& text, int32_t& out);
// Floating-point number; the first "," counts as the decimal separator.
bool TryParseReal(const std::string& text, long double& out);
bool TryParseReal(const std::string& text, double& out);
// Fixed notation with 7 decimals after rounding to 10 significant digits;
// scientific notation when more than 10 digits stand before the point.
std::string FormatRealValue(long double value);
// Shortest text with up to 15 significant digits ("11.7647", "17.6467").
std::string FormatShortReal(double value);

// File coordinates: file value = model value * 5.882 + 11.7647.
// FileToGrid leaves a target unchanged when its text is absent (nullptr) or
// not a number.
void FileToGrid(const char* xText, const char* yText, int32_t& x, int32_t& y);
int32_t FileToGridValue(double fileValue);
void GridToFile(int32_t x, int32_t y, std::string& xText, std::string& yText);
std::string GridToFileText(double modelValue);

} // namespace telvo
