#include "model/value_text.h"

#include "systemlayer/geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace telvo {

TDataTypeClass DataTypeClass(const std::string& t)
{
    if (t == "Boolean" || t == "BOOL")
        return TDataTypeClass::Boolean;
    if (t == "Integer" || t == "INT" || t == "BYTE")
        return TDataTypeClass::Integer;
    if (t == "COLOR" || t == "REAL" || t == "LREAL")
        return TDataTypeClass::Real;
    return TDataTypeClass::String;
}

std::string RuntimeTypeName(const std::string& t)
{
    switch (DataTypeClass(t)) {
    case TDataTypeClass::Boolean: return "Boolean";
    case TDataTypeClass::Integer: return "Integer";
    case TDataTypeClass::Real: return "Single";
    case TDataTypeClass::String: break;
    }
    return "String";
}

namespace {

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

template <typename F>
bool parseFloating(std::string_view text, F& out)
{
    std::string_view v = trimBlanks(text);
    // Either separator is accepted: the first "," becomes the point. Only
    // then is the text copied: positions in files are read by the thousand.
    std::string withPoint;
    if (auto comma = v.find(','); comma != std::string_view::npos) {
        withPoint.assign(v);
        withPoint[comma] = '.';
        v = withPoint;
    }
    if (!v.empty() && v.front() == '+')
        v.remove_prefix(1);
    if (v.empty())
        return false;
    F value{};
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    if (ec != std::errc() || end != v.data() + v.size())
        return false;
    if (!std::isfinite(value))
        return false;
    out = value;
    return true;
}

} // namespace

bool ParseBooleanText(const std::string& text)
{
    return text == "1" || upper(text) == "TRUE";
}

bool TryParseInteger(const std::string& text, int32_t& out)
{
    std::string_view v = trimBlanks(text);
    bool negative = false;
    if (!v.empty() && (v.front() == '+' || v.front() == '-')) {
        negative = v.front() == '-';
        v.remove_prefix(1);
    }
    int base = 10;
    if (!v.empty() && v.front() == '$') {
        base = 16;
        v.remove_prefix(1);
    }
    if (v.empty())
        return false;
    uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), magnitude, base);
    if (ec != std::errc() || end != v.data() + v.size())
        return false;
    if (base == 16 && !negative && magnitude <= 0xFFFFFFFFull) {
        // Hexadecimal literals cover the whole 32-bit pattern, as in Pascal.
        out = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
        return true;
    }
    if (negative ? magnitude > 2147483648ull : magnitude > 2147483647ull)
        return false;
    out = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
    return true;
}

namespace {

struct TIecIntegerName {
    const char* Name;
    TIecIntegerType Type;
};

constexpr TIecIntegerName kIecIntegerTypes[] = {
    {"SINT", {true, 8}},   {"INT", {true, 16}},   {"DINT", {true, 32}},  {"LINT", {true, 64}},
    {"USINT", {false, 8}}, {"UINT", {false, 16}}, {"UDINT", {false, 32}}, {"ULINT", {false, 64}},
    {"BYTE", {false, 8}},  {"WORD", {false, 16}}, {"DWORD", {false, 32}}, {"LWORD", {false, 64}},
};

// The largest magnitude of each side of a range.
uint64_t largestPositive(const TIecIntegerType& t)
{
    const int bits = t.Signed ? t.Bits - 1 : t.Bits;
    return bits >= 64 ? UINT64_MAX : (uint64_t(1) << bits) - 1;
}

uint64_t largestNegative(const TIecIntegerType& t) { return t.Signed ? uint64_t(1) << (t.Bits - 1) : 0; }

// Digits of the base with single "_" between them; false for anything else
// or a value beyond 64 bits.
bool readDigits(std::string_view v, unsigned base, uint64_t& out)
{
    if (v.empty() || v.front() == '_' || v.back() == '_')
        return false;
    uint64_t value = 0;
    char previous = 0;
    for (char c : v) {
        if (c == '_') {
            if (previous == '_')
                return false;
            previous = c;
            continue;
        }
        unsigned d = c >= '0' && c <= '9'   ? unsigned(c - '0')
                     : c >= 'A' && c <= 'F' ? unsigned(c - 'A' + 10)
                     : c >= 'a' && c <= 'f' ? unsigned(c - 'a' + 10)
                                            : 99;
        if (d >= base || value > (UINT64_MAX - d) / base)
            return false;
        value = value * base + d;
        previous = c;
    }
    out = value;
    return true;
}

} // namespace

bool TIecIntegerType::Holds(bool negative, uint64_t magnitude) const
{
    return negative ? magnitude <= largestNegative(*this) : magnitude <= largestPositive(*this);
}

std::string TIecIntegerType::RangeText() const
{
    const uint64_t low = largestNegative(*this);
    return (low ? "-" + std::to_string(low) : std::string("0")) + " to " + std::to_string(largestPositive(*this));
}

std::optional<TIecIntegerType> IecIntegerType(const std::string& typeText)
{
    for (const auto& t : kIecIntegerTypes)
        if (typeText == t.Name)
            return t.Type;
    return std::nullopt;
}

bool TryParseIecInteger(std::string_view text, bool& negative, uint64_t& magnitude)
{
    std::string_view v = trimBlanks(text);
    if (const size_t hash = v.find('#'); hash != std::string_view::npos && hash > 0 &&
                                         !(v[0] >= '0' && v[0] <= '9') && IecIntegerType(std::string(v.substr(0, hash))))
        v.remove_prefix(hash + 1);
    bool minus = false;
    if (!v.empty() && (v.front() == '+' || v.front() == '-')) {
        minus = v.front() == '-';
        v.remove_prefix(1);
    }
    unsigned base = 10;
    if (!v.empty() && v.front() == '$') {
        base = 16;
        v.remove_prefix(1);
    } else if (v.rfind("2#", 0) == 0 || v.rfind("8#", 0) == 0) {
        base = v[0] == '2' ? 2 : 8;
        v.remove_prefix(2);
    } else if (v.rfind("16#", 0) == 0) {
        base = 16;
        v.remove_prefix(3);
    }
    uint64_t value = 0;
    if (!readDigits(v, base, value))
        return false;
    negative = minus && value != 0;
    magnitude = value;
    return true;
}

bool TryParseReal(const std::string& text, long double& out) { return parseFloating(text, out); }
bool TryParseReal(const std::string& text, double& out) { return parseFloating(text, out); }

std::string FormatRealValue(long double value)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    char buf[128];
    // Round to 10 significant digits first, as the fixed format does.
    auto r1 = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 9);
    long double rounded = 0;
    std::from_chars(buf, r1.ptr, rounded);
    if (std::fabs(rounded) >= 1e10L) {
        std::string s(buf, r1.ptr);
        for (char& c : s)
            if (c == 'e')
                c = 'E';
        return s;
    }
    auto r2 = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, 7);
    std::string s(buf, r2.ptr);
    if (s.rfind("-0.", 0) == 0 && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1); // no negative zero
    return s;
}

std::string FormatShortReal(double value)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string s(buf, r.ptr);
    // to_chars keeps trailing zeros of the fraction in general format only
    // when needed; strip any that remain so the text is the shortest.
    if (s.find('.') != std::string::npos && s.find('e') == std::string::npos) {
        while (!s.empty() && s.back() == '0')
            s.pop_back();
        if (!s.empty() && s.back() == '.')
            s.pop_back();
    }
    for (char& c : s)
        if (c == 'e')
            c = 'E';
    if (s == "-0")
        s = "0";
    return s;
}

void TValueHolder::Parse(const std::string& text)
{
    switch (Class) {
    case TDataTypeClass::Boolean:
        BoolValue = ParseBooleanText(text);
        break;
    case TDataTypeClass::Integer: {
        if (text.empty())
            return;
        int32_t v = 0;
        if (!TryParseInteger(text, v))
            throw EConvertError("'" + text + "' is not a valid integer value");
        IntValue = v;
        break;
    }
    case TDataTypeClass::Real: {
        if (text.empty())
            return;
        long double v = 0;
        if (!TryParseReal(text, v))
            throw EConvertError("'" + text + "' is not a valid floating point value");
        RealValue = Extended ? v : static_cast<long double>(static_cast<double>(v));
        break;
    }
    case TDataTypeClass::String:
        StringValue = text;
        break;
    }
}

std::string TValueHolder::Format() const
{
    switch (Class) {
    case TDataTypeClass::Boolean: return BoolValue ? "TRUE" : "FALSE";
    case TDataTypeClass::Integer: return std::to_string(IntValue);
    case TDataTypeClass::Real: return FormatRealValue(RealValue);
    case TDataTypeClass::String: break;
    }
    return StringValue;
}

int32_t FileToGridValue(double fileValue)
{
    return RoundHalfEven((fileValue - 11.7647) / 5.882);
}

void FileToGrid(const char* xText, const char* yText, int32_t& x, int32_t& y)
{
    double v = 0;
    if (xText && parseFloating(std::string_view(xText), v))
        x = FileToGridValue(v);
    if (yText && parseFloating(std::string_view(yText), v))
        y = FileToGridValue(v);
}

std::string GridToFileText(double modelValue)
{
    return FormatShortReal(modelValue * 5.882 + 11.7647);
}

void GridToFile(int32_t x, int32_t y, std::string& xText, std::string& yText)
{
    xText = GridToFileText(x);
    yText = GridToFileText(y);
}

} // namespace telvo
