#include "runtime/script/iec_functions.h"

#include "runtime/script/script_errors.h"
#include "runtime/script/script_object.h"
#include "runtime/script/script_runner.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>

namespace telvo {

namespace {

// The largest whole number a double holds exactly, with all below it.
constexpr double kExact = 9007199254740992.0; // 2^53

std::string upper(std::string_view s)
{
    std::string u(s);
    for (char& c : u)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

// A whole number as the engine holds it: a 32-bit integer, or a double.
TVariant whole(double value)
{
    if (value >= INT32_MIN && value <= INT32_MAX)
        return TVariant(static_cast<int32_t>(value));
    return TVariant(value);
}

[[noreturn]] void notExact(double value, const std::string& type)
{
    throw EScriptError(FormatScriptFloat(value) + " does not fit " + type +
                       " as the simulation computes it (exactly up to 2^53)");
}

// The number a value stands for; Booleans count 0 and 1.
double numberOf(const TVariant& value)
{
    const TVariant& v = value.Deref();
    if (v.Kind() == TVariantKind::Boolean)
        return v.AsBoolean() ? 1 : 0;
    if (v.Kind() == TVariantKind::Integer)
        return v.AsInteger();
    return v.ToFloat();
}

// Real to integer: to the nearest, half away from zero.
double roundedWhole(double d)
{
    if (!std::isfinite(d))
        throw EScriptError("Could not convert " + FormatScriptFloat(d) + " to an integer");
    return std::round(d);
}

// The value in the range of an integer type, wrapped as the type's bits
// wrap.
double wrapTo(double d, const TIecType& t)
{
    d = roundedWhole(d);
    if (t.Bits >= 64) {
        const double lo = t.Signed ? -kExact : 0;
        if (d < lo || d > kExact)
            notExact(d, t.Name);
        return d;
    }
    if (std::fabs(d) > kExact)
        notExact(d, t.Name);
    const int64_t span = int64_t(1) << t.Bits;
    int64_t v = static_cast<int64_t>(d) % span;
    if (v < 0)
        v += span;
    if (t.Signed && v >= span / 2)
        v -= span;
    return static_cast<double>(v);
}

// The 64 bits of a bit-string or integer operand (two's complement).
uint64_t bitsOf(const TVariant& value)
{
    const double d = std::trunc(numberOf(value));
    if (std::fabs(d) > kExact)
        notExact(d, "a bit string");
    return static_cast<uint64_t>(static_cast<int64_t>(d));
}

TVariant fromBits(uint64_t bits, int width)
{
    if (width < 64)
        bits &= (uint64_t(1) << width) - 1;
    if (bits > static_cast<uint64_t>(kExact))
        notExact(static_cast<double>(bits), "LWORD");
    return whole(static_cast<double>(bits));
}

int widthArg(const TVariant& v)
{
    const int w = static_cast<int>(numberOf(v));
    return w == 8 || w == 16 || w == 32 || w == 64 ? w : 32;
}

std::string textOf(const TVariant& value)
{
    const TVariant& v = value.Deref();
    if (v.Kind() == TVariantKind::Boolean)
        return v.AsBoolean() ? "TRUE" : "FALSE";
    return v.ToText();
}

// An IEC position or length argument: whole, not below 0.
size_t countOf(const TVariant& v, const char* what)
{
    const double d = numberOf(v);
    if (d < 0)
        throw EScriptError(std::string(what) + " below 0: " + FormatScriptFloat(d));
    return static_cast<size_t>(std::min(d, 1e9));
}

void needArgs(const TScriptCall& call, size_t n)
{
    if (call.Args.size() < n)
        throw EScriptError("Not enough actual parameters");
}

double realResult(double d)
{
    if (std::isnan(d))
        throw EScriptError("Invalid floating point operation");
    return d;
}

// "[1,2,3]" or "1,2,3": the element texts of an array value.
std::vector<std::string> elementsOf(const TVariant& value)
{
    std::vector<std::string> out;
    const TVariant& v = value.Deref();
    if (v.IsEmpty())
        return out;
    std::string t = v.ToText();
    size_t b = t.find_first_not_of(" \t");
    size_t e = t.find_last_not_of(" \t");
    if (b == std::string::npos)
        return out;
    t = t.substr(b, e - b + 1);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']')
        t = t.substr(1, t.size() - 2);
    if (t.find_first_not_of(" \t") == std::string::npos)
        return out;
    size_t from = 0;
    char quote = 0;
    for (size_t i = 0; i <= t.size(); ++i) {
        if (i < t.size() && quote) {
            if (t[i] == quote)
                quote = 0;
            continue;
        }
        if (i < t.size() && (t[i] == '\'' || t[i] == '"')) {
            quote = t[i];
            continue;
        }
        if (i == t.size() || t[i] == ',') {
            std::string part = t.substr(from, i - from);
            size_t pb = part.find_first_not_of(" \t");
            size_t pe = part.find_last_not_of(" \t");
            out.push_back(pb == std::string::npos ? std::string() : part.substr(pb, pe - pb + 1));
            from = i + 1;
        }
    }
    return out;
}

size_t elementIndex(const TScriptCall& call)
{
    const double i = std::trunc(numberOf(call.Arg(1)));
    const double lo = numberOf(call.Arg(2));
    const double hi = numberOf(call.Arg(3));
    if (i < lo || i > hi)
        throw EScriptError("Array index " + FormatScriptFloat(i) + " out of bounds " + FormatScriptFloat(lo) + ".." +
                           FormatScriptFloat(hi));
    return static_cast<size_t>(i - lo);
}

// An element text as a value: a Boolean, a quoted text, or a number when it
// reads as one; any other text as it is.
TVariant elementValue(const std::string& text)
{
    if (text.empty())
        return TVariant(0);
    if (SameScriptName(text, "TRUE") || SameScriptName(text, "FALSE"))
        return TVariant(SameScriptName(text, "TRUE"));
    if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') && text.back() == text.front())
        return TVariant(text.substr(1, text.size() - 2));
    try {
        const double d = TVariant(text).ToFloat();
        return d == std::trunc(d) ? whole(d) : TVariant(d);
    } catch (const EScriptError&) {
        return TVariant(text);
    }
}

void addConversion(TScriptObject& scope, const std::string& typeName)
{
    const auto t = IecElementaryType(typeName);
    if (!t)
        return;
    const TIecType type = *t;
    scope.AddMethod("IEC_" + type.Name, 1, [type](TScriptCall& call) -> TVariant {
        const TVariant& v = call.Arg(0);
        switch (type.Kind) {
        case TIecKind::Bool:
            if (v.Kind() == TVariantKind::Text) {
                const std::string& s = v.AsText();
                if (SameScriptName(s, "TRUE") || SameScriptName(s, "BOOL#TRUE"))
                    return TVariant(true);
                if (SameScriptName(s, "FALSE") || SameScriptName(s, "BOOL#FALSE"))
                    return TVariant(false);
            }
            return TVariant(numberOf(v) != 0);
        case TIecKind::Int:
            return whole(wrapTo(numberOf(v), type));
        case TIecKind::Real: {
            const double d = numberOf(v);
            return TVariant(type.Bits == 32 ? static_cast<double>(static_cast<float>(d)) : d);
        }
        case TIecKind::String:
            if (v.Kind() == TVariantKind::Float)
                return TVariant(FormatScriptFloat(v.AsFloat()));
            return TVariant(textOf(v));
        default:
            return v;
        }
    });
}

} // namespace

std::optional<TIecType> IecElementaryType(std::string_view name)
{
    struct TEntry {
        const char* Name;
        TIecKind Kind;
        int Bits;
        bool Signed;
        bool BitString;
    };
    static const TEntry table[] = {
        {"BOOL", TIecKind::Bool, 1, false, false},     {"SINT", TIecKind::Int, 8, true, false},
        {"INT", TIecKind::Int, 16, true, false},       {"DINT", TIecKind::Int, 32, true, false},
        {"LINT", TIecKind::Int, 64, true, false},      {"USINT", TIecKind::Int, 8, false, false},
        {"UINT", TIecKind::Int, 16, false, false},     {"UDINT", TIecKind::Int, 32, false, false},
        {"ULINT", TIecKind::Int, 64, false, false},    {"BYTE", TIecKind::Int, 8, false, true},
        {"WORD", TIecKind::Int, 16, false, true},      {"DWORD", TIecKind::Int, 32, false, true},
        {"LWORD", TIecKind::Int, 64, false, true},     {"REAL", TIecKind::Real, 32, true, false},
        {"LREAL", TIecKind::Real, 64, true, false},    {"STRING", TIecKind::String, 0, false, false},
        {"WSTRING", TIecKind::String, 0, false, false}, {"TIME", TIecKind::Time, 64, true, false},
        {"LTIME", TIecKind::Time, 64, true, false},
    };
    const std::string u = upper(name);
    for (const auto& e : table)
        if (u == e.Name)
            return TIecType{e.Kind, e.Bits, e.Signed, e.BitString, e.Name};
    return std::nullopt;
}

bool ParseIecDuration(std::string_view text, double& nanoseconds)
{
    std::string t = upper(text);
    t.erase(std::remove(t.begin(), t.end(), '_'), t.end());
    for (const char* prefix : {"LTIME#", "TIME#", "LT#", "T#"})
        if (t.rfind(prefix, 0) == 0) {
            t = t.substr(std::char_traits<char>::length(prefix));
            break;
        }
    bool negative = false;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        t = t.substr(1);
    }
    if (t.empty())
        return false;
    double total = 0;
    size_t i = 0;
    while (i < t.size()) {
        size_t j = i;
        while (j < t.size() && (std::isdigit(static_cast<unsigned char>(t[j])) || t[j] == '.'))
            ++j;
        if (j == i)
            return false;
        double number = 0;
        try {
            number = std::stod(t.substr(i, j - i));
        } catch (...) {
            return false;
        }
        size_t k = j;
        while (k < t.size() && std::isalpha(static_cast<unsigned char>(t[k])))
            ++k;
        const std::string unit = t.substr(j, k - j);
        double scale = 0;
        if (unit == "D")
            scale = 86400e9;
        else if (unit == "H")
            scale = 3600e9;
        else if (unit == "M")
            scale = 60e9;
        else if (unit == "S")
            scale = 1e9;
        else if (unit == "MS")
            scale = 1e6;
        else if (unit == "US")
            scale = 1e3;
        else if (unit == "NS")
            scale = 1;
        else
            return false;
        total += number * scale;
        i = k;
    }
    nanoseconds = negative ? -total : total;
    return true;
}

void AddIecFunctions(TScriptObject& scope)
{
    for (const char* name : {"BOOL", "SINT", "INT", "DINT", "LINT", "USINT", "UINT", "UDINT", "ULINT", "BYTE", "WORD",
                             "DWORD", "LWORD", "REAL", "LREAL", "STRING", "WSTRING"})
        addConversion(scope, name);

    // Integer division and remainder as IEC defines them (truncating, the
    // remainder takes the dividend's sign) over the engine's whole range.
    scope.AddMethod("IEC_DIV", 2, [](TScriptCall& call) {
        const double a = std::trunc(numberOf(call.Arg(0))), b = std::trunc(numberOf(call.Arg(1)));
        if (b == 0)
            throw EScriptError("Division by zero");
        return whole(std::trunc(a / b));
    });
    scope.AddMethod("IEC_MOD", 2, [](TScriptCall& call) {
        const double a = std::trunc(numberOf(call.Arg(0))), b = std::trunc(numberOf(call.Arg(1)));
        if (b == 0)
            throw EScriptError("Division by zero");
        return whole(std::fmod(a, b));
    });
    scope.AddMethod("IEC_TRUNC", 1, [](TScriptCall& call) { return whole(std::trunc(numberOf(call.Arg(0)))); });
    scope.AddMethod("IEC_EXPT", 2, [](TScriptCall& call) {
        return TVariant(realResult(std::pow(numberOf(call.Arg(0)), numberOf(call.Arg(1)))));
    });

    // Bit strings: the operands' two's-complement bits, cut to a width.
    scope.AddMethod("IEC_BITAND", 3, [](TScriptCall& call) {
        return fromBits(bitsOf(call.Arg(0)) & bitsOf(call.Arg(1)), widthArg(call.Arg(2)));
    });
    scope.AddMethod("IEC_BITOR", 3, [](TScriptCall& call) {
        return fromBits(bitsOf(call.Arg(0)) | bitsOf(call.Arg(1)), widthArg(call.Arg(2)));
    });
    scope.AddMethod("IEC_BITXOR", 3, [](TScriptCall& call) {
        return fromBits(bitsOf(call.Arg(0)) ^ bitsOf(call.Arg(1)), widthArg(call.Arg(2)));
    });
    scope.AddMethod("IEC_BITNOT", 2,
                    [](TScriptCall& call) { return fromBits(~bitsOf(call.Arg(0)), widthArg(call.Arg(1))); });
    auto shift = [](TScriptCall& call, bool left, bool rotate) {
        const int w = widthArg(call.Arg(2));
        const uint64_t mask = w == 64 ? ~uint64_t(0) : (uint64_t(1) << w) - 1;
        const uint64_t x = bitsOf(call.Arg(0)) & mask;
        const double nd = numberOf(call.Arg(1));
        if (nd < 0)
            throw EScriptError("Shift count below 0");
        int n = nd > 1000 ? 1000 : static_cast<int>(nd);
        if (rotate) {
            n %= w;
            if (n == 0)
                return fromBits(x, w);
            const uint64_t r = left ? (x << n) | (x >> (w - n)) : (x >> n) | (x << (w - n));
            return fromBits(r & mask, w);
        }
        if (n >= w)
            return fromBits(0, w);
        return fromBits(left ? (x << n) & mask : x >> n, w);
    };
    scope.AddMethod("IEC_SHL", 3, [shift](TScriptCall& call) { return shift(call, true, false); });
    scope.AddMethod("IEC_SHR", 3, [shift](TScriptCall& call) { return shift(call, false, false); });
    scope.AddMethod("IEC_ROL", 3, [shift](TScriptCall& call) { return shift(call, true, true); });
    scope.AddMethod("IEC_ROR", 3, [shift](TScriptCall& call) { return shift(call, false, true); });

    // Numeric functions. ABS keeps an integer an integer.
    scope.AddMethod("IEC_ABS", 1, [](TScriptCall& call) -> TVariant {
        const TVariant& v = call.Arg(0);
        if (v.Kind() == TVariantKind::Float)
            return TVariant(std::fabs(v.AsFloat()));
        return whole(std::fabs(numberOf(v)));
    });
    struct TUnary {
        const char* Name;
        double (*F)(double);
    };
    static const TUnary unary[] = {
        {"IEC_SQRT", [](double x) { return std::sqrt(x); }}, {"IEC_LN", [](double x) { return std::log(x); }},
        {"IEC_LOG", [](double x) { return std::log10(x); }}, {"IEC_EXP", [](double x) { return std::exp(x); }},
        {"IEC_SIN", [](double x) { return std::sin(x); }},   {"IEC_COS", [](double x) { return std::cos(x); }},
        {"IEC_TAN", [](double x) { return std::tan(x); }},   {"IEC_ASIN", [](double x) { return std::asin(x); }},
        {"IEC_ACOS", [](double x) { return std::acos(x); }}, {"IEC_ATAN", [](double x) { return std::atan(x); }},
    };
    for (const auto& u : unary) {
        auto f = u.F;
        scope.AddMethod(u.Name, 1, [f](TScriptCall& call) { return TVariant(realResult(f(numberOf(call.Arg(0))))); });
    }

    // Selection.
    scope.AddMethod("IEC_SEL", 3, [](TScriptCall& call) -> TVariant {
        return call.Arg(0).ToBoolean() ? call.Arg(2) : call.Arg(1);
    });
    auto extreme = [](TScriptCall& call, bool max) -> TVariant {
        needArgs(call, 1);
        size_t best = 0;
        for (size_t i = 1; i < call.Args.size(); ++i) {
            const TVariant c = ScriptBinary(max ? TScriptOp::Gt : TScriptOp::Lt, call.Arg(i), call.Arg(best), 0);
            if (c.ToBoolean())
                best = i;
        }
        return call.Arg(best);
    };
    scope.AddMethod("IEC_MAX", -1, [extreme](TScriptCall& call) { return extreme(call, true); });
    scope.AddMethod("IEC_MIN", -1, [extreme](TScriptCall& call) { return extreme(call, false); });
    scope.AddMethod("IEC_LIMIT", 3, [](TScriptCall& call) -> TVariant {
        if (ScriptBinary(TScriptOp::Lt, call.Arg(1), call.Arg(0), 0).ToBoolean())
            return call.Arg(0);
        if (ScriptBinary(TScriptOp::Gt, call.Arg(1), call.Arg(2), 0).ToBoolean())
            return call.Arg(2);
        return call.Arg(1);
    });
    scope.AddMethod("IEC_MUX", -1, [](TScriptCall& call) -> TVariant {
        needArgs(call, 2);
        const double k = std::trunc(numberOf(call.Arg(0)));
        if (k < 0 || k >= static_cast<double>(call.Args.size() - 1))
            throw EScriptError("MUX selector " + FormatScriptFloat(k) + " out of range 0.." +
                               std::to_string(call.Args.size() - 2));
        return call.Arg(static_cast<size_t>(k) + 1);
    });

    // Strings; positions count from 1.
    scope.AddMethod("IEC_LEN", 1, [](TScriptCall& call) { return whole(static_cast<double>(textOf(call.Arg(0)).size())); });
    scope.AddMethod("IEC_LEFT", 2, [](TScriptCall& call) {
        return TVariant(textOf(call.Arg(0)).substr(0, countOf(call.Arg(1), "LEFT length")));
    });
    scope.AddMethod("IEC_RIGHT", 2, [](TScriptCall& call) {
        const std::string s = textOf(call.Arg(0));
        const size_t n = std::min(countOf(call.Arg(1), "RIGHT length"), s.size());
        return TVariant(s.substr(s.size() - n));
    });
    scope.AddMethod("IEC_MID", 3, [](TScriptCall& call) {
        const std::string s = textOf(call.Arg(0));
        const size_t l = countOf(call.Arg(1), "MID length");
        const size_t p = countOf(call.Arg(2), "MID position");
        if (p < 1 || p > s.size())
            return TVariant(std::string());
        return TVariant(s.substr(p - 1, l));
    });
    scope.AddMethod("IEC_CONCAT", -1, [](TScriptCall& call) {
        std::string s;
        for (size_t i = 0; i < call.Args.size(); ++i) {
            s += textOf(call.Arg(i));
            if (s.size() > call.Runner.MaxTextLength)
                throw EScriptError("Text too long");
        }
        return TVariant(std::move(s));
    });
    scope.AddMethod("IEC_INSERT", 3, [](TScriptCall& call) {
        std::string s = textOf(call.Arg(0));
        const std::string in = textOf(call.Arg(1));
        const size_t p = std::min(countOf(call.Arg(2), "INSERT position"), s.size());
        if (s.size() + in.size() > call.Runner.MaxTextLength)
            throw EScriptError("Text too long");
        s.insert(p, in);
        return TVariant(std::move(s));
    });
    scope.AddMethod("IEC_DELETE", 3, [](TScriptCall& call) {
        std::string s = textOf(call.Arg(0));
        const size_t l = countOf(call.Arg(1), "DELETE length");
        const size_t p = countOf(call.Arg(2), "DELETE position");
        if (p >= 1 && p <= s.size())
            s.erase(p - 1, l);
        return TVariant(std::move(s));
    });
    scope.AddMethod("IEC_REPLACE", 4, [](TScriptCall& call) {
        std::string s = textOf(call.Arg(0));
        const std::string in = textOf(call.Arg(1));
        const size_t l = countOf(call.Arg(2), "REPLACE length");
        const size_t p = countOf(call.Arg(3), "REPLACE position");
        if (s.size() + in.size() > call.Runner.MaxTextLength)
            throw EScriptError("Text too long");
        const size_t at = p >= 1 ? std::min(p - 1, s.size()) : 0;
        s.replace(at, l, in);
        return TVariant(std::move(s));
    });
    scope.AddMethod("IEC_FIND", 2, [](TScriptCall& call) {
        const std::string s = textOf(call.Arg(0));
        const std::string what = textOf(call.Arg(1));
        const size_t at = what.empty() ? std::string::npos : s.find(what);
        return TVariant(static_cast<int32_t>(at == std::string::npos ? 0 : at + 1));
    });

    // Binary-coded decimals: four bits a digit.
    scope.AddMethod("IEC_TOBCD", 2, [](TScriptCall& call) {
        double d = std::trunc(numberOf(call.Arg(0)));
        const int w = widthArg(call.Arg(1));
        if (d < 0)
            throw EScriptError("No BCD form for " + FormatScriptFloat(d));
        uint64_t out = 0;
        int shift = 0;
        uint64_t v = static_cast<uint64_t>(d);
        do {
            if (shift >= w)
                throw EScriptError(FormatScriptFloat(d) + " has more digits than " + std::to_string(w / 4));
            out |= (v % 10) << shift;
            v /= 10;
            shift += 4;
        } while (v);
        return fromBits(out, w);
    });
    scope.AddMethod("IEC_FROMBCD", 1, [](TScriptCall& call) {
        uint64_t v = bitsOf(call.Arg(0));
        double out = 0, scale = 1;
        while (v) {
            const uint64_t digit = v & 0xF;
            if (digit > 9)
                throw EScriptError("Not a BCD value: " + FormatScriptFloat(numberOf(call.Arg(0))));
            out += static_cast<double>(digit) * scale;
            scale *= 10;
            v >>= 4;
        }
        return whole(out);
    });

    // A duration in a unit (nanoseconds a unit), whole units towards zero.
    scope.AddMethod("IEC_TIME_IN", 2, [](TScriptCall& call) {
        double ns = 0;
        const TVariant& v = call.Arg(0);
        if (v.Kind() == TVariantKind::Text) {
            if (!ParseIecDuration(v.AsText(), ns))
                throw EScriptError("Not a duration: '" + v.AsText() + "'");
        } else {
            ns = numberOf(v);
        }
        return whole(std::trunc(ns / numberOf(call.Arg(1))));
    });

    // Arrays are held as their value text ("[1,2,3]"); an element is read
    // and written by its index within the declared bounds.
    scope.AddMethod("IEC_ELEM", 4, [](TScriptCall& call) {
        const size_t i = elementIndex(call);
        const auto elements = elementsOf(call.Arg(0));
        return i < elements.size() ? elementValue(elements[i]) : TVariant(0);
    });
    scope.AddMethod("IEC_SETELEM", 5, [](TScriptCall& call) {
        const size_t i = elementIndex(call);
        auto elements = elementsOf(call.Arg(0));
        const size_t size = static_cast<size_t>(numberOf(call.Arg(3)) - numberOf(call.Arg(2))) + 1;
        if (elements.size() < size)
            elements.resize(size, "0");
        const TVariant& v = call.Arg(4);
        std::string e;
        if (v.Kind() == TVariantKind::Text) {
            e = "'";
            for (char c : v.AsText())
                e += c == '\'' ? std::string("$'") : std::string(1, c);
            e += "'";
        } else {
            e = textOf(v);
        }
        elements[i] = e;
        std::string out = "[";
        for (size_t k = 0; k < elements.size(); ++k)
            out += (k ? "," : "") + elements[k];
        out += "]";
        return TVariant(std::move(out));
    });
}

} // namespace telvo
