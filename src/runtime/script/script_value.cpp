#include "runtime/script/script_value.h"

#include "runtime/script/script_errors.h"
#include "runtime/script/script_object.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

// Conversions between value kinds
// ===============================
// The language fixes only part of what mixed operands do. For the rest the
// engine follows what a Pascal programmer expects from Variant arithmetic,
// and raises an error rather than produce silent garbage. These rules live
// here and nowhere else:
//
// * Empty (a variable never assigned) counts as 0 with numbers, as '' with
//   texts, and as False in conditions and logical operators.
// * Null propagates: an arithmetic or logical operator with a null operand
//   gives null. Null equals only null; in ordering it is below every other
//   value. As a condition it counts as False. Converting null to a number
//   raises "Could not convert null to a number".
// * Booleans in arithmetic and in comparisons with numbers are their
//   ordinal: False 0, True 1.
// * + on two texts (or a text and Empty) joins them. A text meeting a number
//   or a Boolean in arithmetic or a comparison is read as a number: optional
//   spaces and sign, then decimal digits with an optional fraction and
//   exponent, or "$" and hexadecimal digits. A text that does not read as a
//   number raises "Could not convert '<text>' to a number".
// * +, - and * on two integers stay integer while the exact result fits in
//   32 bits and become a float holding the exact result beyond (a Variant
//   widens; it does not wrap around). Negating -2147483648 widens the same
//   way. / always gives a float.
// * div and mod need whole numbers: a float operand is rounded half to even
//   (the Variant conversion to an integer). div truncates toward zero and mod
//   takes the sign of the left operand, as in Pascal. A zero divisor in /,
//   div or mod raises "Division by zero".
// * and, or, xor and not on integers are bitwise; with any other operands
//   they are logical on the operands' Boolean values.
// * The Boolean value of an integer or a float is "not zero"; of a text,
//   'True' or 'False' in any case, else the number it reads as.
// * The integer value of a float is rounded half to even; one outside 32
//   bits raises "Could not convert <value> to an integer".
// * Object references take part only in = and <> (same object or not);
//   anything else raises "Invalid variant operation".
// * A reference to a cell (var parameter, "@x") always acts as the cell's
//   value.

namespace telvo {

TVariant::TVariant(TScriptObject* object) noexcept : kind_(TVariantKind::Object)
{
    u_.obj = object;
    if (object)
        object->AddRef();
}

TVariant TVariant::AdoptObject(TScriptObject* object) noexcept
{
    TVariant v;
    v.kind_ = TVariantKind::Object;
    v.u_.obj = object;
    return v;
}

void TVariant::copyResource()
{
    if (kind_ == TVariantKind::Text) {
        // Allocation may throw: leave this value a valid Empty first.
        const std::string* source = u_.text;
        kind_ = TVariantKind::Empty;
        u_.text = new std::string(*source);
        kind_ = TVariantKind::Text;
    } else if (kind_ == TVariantKind::Object && u_.obj) {
        u_.obj->AddRef();
    }
}

void TVariant::assignSlow(const TVariant& other)
{
    TVariant copy(other);
    *this = std::move(copy);
}

void TVariant::release() noexcept
{
    if (kind_ == TVariantKind::Text)
        delete u_.text;
    else if (kind_ == TVariantKind::Object && u_.obj)
        u_.obj->Release();
    kind_ = TVariantKind::Empty;
}

bool SameScriptName(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) {
            if (x >= 'A' && x <= 'Z')
                x = static_cast<unsigned char>(x + 32);
            if (y >= 'A' && y <= 'Z')
                y = static_cast<unsigned char>(y + 32);
            if (x != y)
                return false;
        }
    }
    return true;
}

namespace {

[[noreturn]] void invalidOperation() { throw EScriptError("Invalid variant operation"); }

[[noreturn]] void notANumber(const std::string& text)
{
    throw EScriptError("Could not convert '" + text + "' to a number");
}

// Reads a text as a number (see the rules above); false when it is none.
bool parseNumericText(std::string_view s, TVariant& out)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty())
        return false;
    if (s.front() == '$') {
        s.remove_prefix(1);
        if (s.empty() || s.size() > 8)
            return false;
        uint32_t value = 0;
        for (char c : s) {
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else
                return false;
            value = value * 16 + static_cast<uint32_t>(d);
        }
        int32_t v = static_cast<int32_t>(value);
        out = TVariant(negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(v)) : v);
        return true;
    }
    size_t i = 0, digits = 0;
    bool isFloat = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        isFloat = true;
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        isFloat = true;
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        size_t expDigits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, ++expDigits;
        if (expDigits == 0)
            return false;
    }
    if (i != s.size())
        return false;
    if (!isFloat) {
        int64_t value = 0;
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (ec == std::errc() && p == s.data() + s.size()) {
            if (negative)
                value = -value;
            if (value >= INT32_MIN && value <= INT32_MAX) {
                out = TVariant(static_cast<int32_t>(value));
                return true;
            }
        }
    }
    double d = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (p != s.data() + s.size() || (ec != std::errc() && ec != std::errc::result_out_of_range))
        return false;
    out = TVariant(negative ? -d : d);
    return true;
}

// The numeric form of an operand: integer or float.
struct TNumber {
    bool IsFloat;
    int32_t I;
    double F;
    double AsDouble() const { return IsFloat ? F : I; }
};

TNumber numberOf(const TVariant& v)
{
    switch (v.Kind()) {
    case TVariantKind::Empty:
        return {false, 0, 0};
    case TVariantKind::Boolean:
        return {false, v.AsBoolean() ? 1 : 0, 0};
    case TVariantKind::Integer:
        return {false, v.AsInteger(), 0};
    case TVariantKind::Float:
        return {true, 0, v.AsFloat()};
    case TVariantKind::Text: {
        TVariant n;
        if (!parseNumericText(v.AsText(), n))
            notANumber(v.AsText());
        return numberOf(n);
    }
    case TVariantKind::Null:
        throw EScriptError("Could not convert null to a number");
    case TVariantKind::Reference:
        return numberOf(v.Deref());
    default:
        invalidOperation();
    }
}

int32_t integerOfFloat(double d)
{
    double r = std::nearbyint(d); // the default rounding mode: half to even
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        throw EScriptError("Could not convert " + FormatScriptFloat(d) + " to an integer");
    return static_cast<int32_t>(r);
}

int32_t integerOf(const TNumber& n) { return n.IsFloat ? integerOfFloat(n.F) : n.I; }

TVariant fromWide(int64_t value)
{
    if (value >= INT32_MIN && value <= INT32_MAX)
        return TVariant(static_cast<int32_t>(value));
    return TVariant(static_cast<double>(value));
}

bool isTextLike(const TVariant& v) { return v.Kind() == TVariantKind::Text || v.Kind() == TVariantKind::Empty; }

TVariant arithmetic(TScriptOp op, const TVariant& a, const TVariant& b, size_t maxTextLength)
{
    if (a.IsNull() || b.IsNull())
        return TVariant::Null();
    if (op == TScriptOp::Plus && isTextLike(a) && isTextLike(b) &&
        (a.Kind() == TVariantKind::Text || b.Kind() == TVariantKind::Text)) {
        static const std::string none;
        const std::string& x = a.Kind() == TVariantKind::Text ? a.AsText() : none;
        const std::string& y = b.Kind() == TVariantKind::Text ? b.AsText() : none;
        if (x.size() + y.size() > maxTextLength)
            throw EScriptError("Text too long");
        std::string joined;
        joined.reserve(x.size() + y.size());
        joined.append(x).append(y);
        return TVariant(std::move(joined));
    }
    TNumber x = numberOf(a), y = numberOf(b);
    switch (op) {
    case TScriptOp::Plus:
        if (!x.IsFloat && !y.IsFloat)
            return fromWide(int64_t(x.I) + y.I);
        return TVariant(x.AsDouble() + y.AsDouble());
    case TScriptOp::Minus:
        if (!x.IsFloat && !y.IsFloat)
            return fromWide(int64_t(x.I) - y.I);
        return TVariant(x.AsDouble() - y.AsDouble());
    case TScriptOp::Mul:
        if (!x.IsFloat && !y.IsFloat)
            return fromWide(int64_t(x.I) * y.I);
        return TVariant(x.AsDouble() * y.AsDouble());
    case TScriptOp::Div:
        if (y.AsDouble() == 0)
            throw EScriptError("Division by zero");
        return TVariant(x.AsDouble() / y.AsDouble());
    case TScriptOp::IDiv:
    case TScriptOp::Mod: {
        int32_t l = integerOf(x), r = integerOf(y);
        if (r == 0)
            throw EScriptError("Division by zero");
        if (op == TScriptOp::IDiv)
            return fromWide(int64_t(l) / r);
        return TVariant(static_cast<int32_t>(int64_t(l) % r));
    }
    default:
        invalidOperation();
    }
}

// -1, 0, 1, or 2 for "unordered" (NaN).
int compareValues(const TVariant& a, const TVariant& b, bool forEquality)
{
    if (a.IsNull() || b.IsNull())
        return a.IsNull() == b.IsNull() ? 0 : (a.IsNull() ? -1 : 1);
    if (a.Kind() == TVariantKind::Object || b.Kind() == TVariantKind::Object) {
        if (!forEquality)
            invalidOperation();
        return a.Kind() == b.Kind() && a.AsObject() == b.AsObject() ? 0 : 1;
    }
    if (isTextLike(a) && isTextLike(b)) {
        static const std::string none;
        const std::string& x = a.Kind() == TVariantKind::Text ? a.AsText() : none;
        const std::string& y = b.Kind() == TVariantKind::Text ? b.AsText() : none;
        int c = x.compare(y);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    TNumber x = numberOf(a), y = numberOf(b);
    if (!x.IsFloat && !y.IsFloat)
        return x.I < y.I ? -1 : (x.I > y.I ? 1 : 0);
    double l = x.AsDouble(), r = y.AsDouble();
    if (l < r)
        return -1;
    if (l > r)
        return 1;
    return l == r ? 0 : 2;
}

TVariant logical(TScriptOp op, const TVariant& a, const TVariant& b)
{
    if (a.IsNull() || b.IsNull())
        return TVariant::Null();
    if (a.Kind() == TVariantKind::Integer && b.Kind() == TVariantKind::Integer) {
        int32_t x = a.AsInteger(), y = b.AsInteger();
        return TVariant(op == TScriptOp::And ? (x & y) : op == TScriptOp::Or ? (x | y) : (x ^ y));
    }
    bool x = a.ToBoolean(), y = b.ToBoolean();
    return TVariant(op == TScriptOp::And ? (x && y) : op == TScriptOp::Or ? (x || y) : (x != y));
}

} // namespace

TVariant ScriptBinary(TScriptOp op, const TVariant& left, const TVariant& right, size_t maxTextLength)
{
    const TVariant& a = left.Deref();
    const TVariant& b = right.Deref();
    switch (op) {
    case TScriptOp::Eq:
    case TScriptOp::Ne: {
        int c = compareValues(a, b, true);
        return TVariant((c == 0) == (op == TScriptOp::Eq));
    }
    case TScriptOp::Lt:
        return TVariant(compareValues(a, b, false) == -1);
    case TScriptOp::Gt:
        return TVariant(compareValues(a, b, false) == 1);
    case TScriptOp::Le: {
        int c = compareValues(a, b, false);
        return TVariant(c == -1 || c == 0);
    }
    case TScriptOp::Ge: {
        int c = compareValues(a, b, false);
        return TVariant(c == 1 || c == 0);
    }
    case TScriptOp::And:
    case TScriptOp::Or:
    case TScriptOp::Xor:
        return logical(op, a, b);
    default:
        return arithmetic(op, a, b, maxTextLength);
    }
}

TVariant ScriptNegate(const TVariant& value)
{
    const TVariant& v = value.Deref();
    if (v.IsNull())
        return TVariant::Null();
    TNumber n = numberOf(v);
    if (n.IsFloat)
        return TVariant(-n.F);
    return fromWide(-int64_t(n.I));
}

TVariant ScriptNot(const TVariant& value)
{
    const TVariant& v = value.Deref();
    if (v.IsNull())
        return TVariant::Null();
    if (v.Kind() == TVariantKind::Integer)
        return TVariant(~v.AsInteger());
    return TVariant(!v.ToBoolean());
}

bool TVariant::ToBoolean() const
{
    switch (kind_) {
    case TVariantKind::Empty:
    case TVariantKind::Null:
        return false;
    case TVariantKind::Boolean:
        return u_.b;
    case TVariantKind::Integer:
        return u_.i != 0;
    case TVariantKind::Float:
        return u_.f != 0;
    case TVariantKind::Reference:
        return u_.ref->ToBoolean();
    case TVariantKind::Text: {
        std::string_view s = *u_.text;
        while (!s.empty() && s.front() == ' ')
            s.remove_prefix(1);
        while (!s.empty() && s.back() == ' ')
            s.remove_suffix(1);
        if (SameScriptName(s, "true"))
            return true;
        if (SameScriptName(s, "false"))
            return false;
        TVariant n;
        if (!parseNumericText(s, n))
            throw EScriptError("Could not convert '" + *u_.text + "' to a Boolean");
        return n.ToBoolean();
    }
    default:
        invalidOperation();
    }
}

int32_t TVariant::ToInteger() const { return integerOf(numberOf(*this)); }

double TVariant::ToFloat() const { return numberOf(*this).AsDouble(); }

std::string TVariant::ToText() const
{
    switch (kind_) {
    case TVariantKind::Empty:
    case TVariantKind::Null:
        return {};
    case TVariantKind::Boolean:
        return u_.b ? "True" : "False";
    case TVariantKind::Integer:
        return std::to_string(u_.i);
    case TVariantKind::Float:
        return FormatScriptFloat(u_.f);
    case TVariantKind::Text:
        return *u_.text;
    case TVariantKind::Reference:
        return u_.ref->ToText();
    case TVariantKind::Object:
        return u_.obj ? u_.obj->ClassName() : std::string("nil");
    }
    return {};
}

std::string FormatScriptFloat(double value)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string s(buf, end);
    // "1e+20" is written "1E20", "1e-05" "1E-5".
    size_t e = s.find('e');
    if (e != std::string::npos) {
        std::string mantissa = s.substr(0, e);
        std::string exponent = s.substr(e + 1);
        bool negative = !exponent.empty() && exponent[0] == '-';
        size_t start = exponent.find_first_not_of("+-0");
        s = mantissa + "E" + (negative ? "-" : "") + (start == std::string::npos ? "0" : exponent.substr(start));
    }
    return s;
}

std::string DescribeScriptValue(const TVariant& value)
{
    const TVariant& v = value.Deref();
    switch (v.Kind()) {
    case TVariantKind::Empty:
        return "<empty>";
    case TVariantKind::Null:
        return "<null>";
    case TVariantKind::Object:
        if (!v.AsObject() || v.AsObject()->Freed())
            return "<nil>";
        return "<object " + v.AsObject()->ClassName() + ">";
    default:
        return v.ToText();
    }
}

} // namespace telvo
