#include "runtime/script/st_translator.h"

#include "runtime/script/iec_functions.h"
#include "runtime/script/script_errors.h"
#include "runtime/script/script_value.h"

#include <charconv>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>

namespace telvo {

namespace {

std::string upper(std::string_view s)
{
    std::string u(s);
    for (char& c : u)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

bool identStart(unsigned char c) { return std::isalpha(c) || c == '_'; }
bool identPart(unsigned char c) { return std::isalnum(c) || c == '_'; }

enum class TK : unsigned char { End, Ident, Int, Real, Text, Time, Sym };

struct TStToken {
    TK Kind = TK::End;
    std::string Text;  // identifiers and symbols upper case; a text literal's value
    int Line = 1;
    int Col = 1;
    uint64_t Magnitude = 0; // integers
    double Real = 0;
    std::string LitType;    // "INT" for INT#5, empty for a plain literal
    bool Wide = false;      // "text"
};

[[noreturn]] void fail(int number, int line, int col, const std::string& extra)
{
    throw EScriptCompileError(number, line, col, "ST", extra);
}
[[noreturn]] void fail(const TStToken& t, const std::string& extra) { fail(sceSyntax, t.Line, t.Col, extra); }

// ---- the lexer ----

class TStLexer {
public:
    explicit TStLexer(std::string_view s) : s_(s) {}

    std::vector<TStToken> All()
    {
        std::vector<TStToken> out;
        for (;;) {
            out.push_back(next());
            if (out.back().Kind == TK::End)
                return out;
        }
    }

private:
    char at(size_t i) const { return i < s_.size() ? s_[i] : '\0'; }
    void advance()
    {
        if (at(pos_) == '\n') {
            ++line_;
            lineStart_ = pos_ + 1;
        }
        ++pos_;
    }
    int col() const { return static_cast<int>(pos_ - lineStart_) + 1; }

    void skipBlank()
    {
        for (;;) {
            const char c = at(pos_);
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
                advance();
            } else if (c == '(' && at(pos_ + 1) == '*') {
                skipComment("*)");
            } else if (c == '/' && at(pos_ + 1) == '*') {
                skipComment("*/");
            } else if (c == '/' && at(pos_ + 1) == '/') {
                while (pos_ < s_.size() && at(pos_) != '\n')
                    advance();
            } else {
                return;
            }
        }
    }

    void skipComment(std::string_view close)
    {
        const int line = line_, c = col();
        advance();
        advance();
        while (pos_ < s_.size()) {
            if (s_.substr(pos_, 2) == close) {
                advance();
                advance();
                return;
            }
            advance();
        }
        fail(sceUnexpectedEnd, line, c, "comment not closed");
    }

    TStToken next()
    {
        skipBlank();
        TStToken t;
        t.Line = line_;
        t.Col = col();
        if (pos_ >= s_.size())
            return t;
        const unsigned char c = static_cast<unsigned char>(s_[pos_]);
        if (identStart(c)) {
            const size_t start = pos_;
            while (identPart(static_cast<unsigned char>(at(pos_))))
                advance();
            t.Kind = TK::Ident;
            t.Text = upper(s_.substr(start, pos_ - start));
            if (at(pos_) == '#')
                typedLiteral(t);
            return t;
        }
        if (std::isdigit(c)) {
            number(t);
            return t;
        }
        if (c == '\'' || c == '"') {
            text(t, static_cast<char>(c));
            return t;
        }
        static const char* const twoChar[] = {":=", "<=", ">=", "<>", "**", "..", "=>"};
        for (const char* s : twoChar)
            if (s_.substr(pos_, 2) == s) {
                t.Kind = TK::Sym;
                t.Text = s;
                advance();
                advance();
                return t;
            }
        if (std::string_view("+-*/()[],;:=<>&.").find(static_cast<char>(c)) != std::string_view::npos) {
            t.Kind = TK::Sym;
            t.Text = std::string(1, static_cast<char>(c));
            advance();
            return t;
        }
        fail(t, std::string("unexpected character '") + static_cast<char>(c) + "'");
    }

    // TYPE#literal: a duration, a typed number, Boolean or text.
    void typedLiteral(TStToken& t)
    {
        const std::string prefix = t.Text;
        advance(); // '#'
        if (prefix == "T" || prefix == "TIME" || prefix == "LT" || prefix == "LTIME") {
            const size_t start = pos_;
            while (identPart(static_cast<unsigned char>(at(pos_))) || at(pos_) == '.' || at(pos_) == '-' ||
                   at(pos_) == '+')
                advance();
            const std::string body(s_.substr(start, pos_ - start));
            double ns = 0;
            if (!ParseIecDuration(body, ns))
                fail(sceNumberFormat, t.Line, t.Col, "not a duration: " + prefix + "#" + body);
            t.Kind = TK::Time;
            t.Text = "T#" + body;
            return;
        }
        if (prefix == "D" || prefix == "DATE" || prefix == "TOD" || prefix == "TIME_OF_DAY" || prefix == "DT" ||
            prefix == "DATE_AND_TIME")
            fail(t, prefix + "# literals are not available in the simulation");
        const auto type = IecElementaryType(prefix);
        if (!type || type->Kind == TIecKind::Other || type->Kind == TIecKind::Time)
            fail(t, "unknown literal type " + prefix);
        TStToken inner;
        inner.Line = line_;
        inner.Col = col();
        if (type && type->Kind == TIecKind::Bool && identStart(static_cast<unsigned char>(at(pos_)))) {
            const size_t start = pos_;
            while (identPart(static_cast<unsigned char>(at(pos_))))
                advance();
            const std::string word = upper(s_.substr(start, pos_ - start));
            if (word != "TRUE" && word != "FALSE")
                fail(inner, "BOOL# takes TRUE or FALSE");
            t.Kind = TK::Ident;
            t.Text = word;
            return;
        }
        if (at(pos_) == '\'' || at(pos_) == '"') {
            text(inner, at(pos_));
        } else if (at(pos_) == '-' || at(pos_) == '+') {
            // INT#-5: the sign belongs to the literal.
            const bool minus = at(pos_) == '-';
            advance();
            number(inner);
            if (minus)
                inner.LitType = "-";
        } else if (std::isdigit(static_cast<unsigned char>(at(pos_)))) {
            number(inner);
        } else {
            fail(inner, "literal expected after " + prefix + "#");
        }
        const bool negative = inner.LitType == "-";
        t.Kind = inner.Kind;
        t.Magnitude = inner.Magnitude;
        t.Real = inner.Real;
        t.Text = inner.Text;
        t.Wide = inner.Wide;
        t.LitType = type->Name + (negative ? "-" : "");
        if (type->Kind == TIecKind::Bool) {
            if (t.Kind != TK::Int || t.Magnitude > 1 || negative)
                fail(t, "BOOL# takes 0, 1, TRUE or FALSE");
            t.Kind = TK::Ident;
            t.Text = t.Magnitude ? "TRUE" : "FALSE";
            t.LitType.clear();
        }
    }

    void number(TStToken& t)
    {
        const size_t start = pos_;
        std::string digits;
        while (std::isdigit(static_cast<unsigned char>(at(pos_))) || at(pos_) == '_') {
            if (at(pos_) != '_')
                digits += at(pos_);
            advance();
        }
        if (at(pos_) == '#') {
            // A based integer: 2#1010, 8#17, 16#FF.
            int radix = 0;
            if (digits == "2" || digits == "8" || digits == "16")
                radix = std::stoi(digits);
            else
                fail(sceNumberFormat, t.Line, t.Col, "no such base: " + digits);
            advance();
            uint64_t value = 0;
            size_t count = 0;
            for (;;) {
                const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(at(pos_))));
                int d = -1;
                if (c >= '0' && c <= '9')
                    d = c - '0';
                else if (c >= 'A' && c <= 'F')
                    d = c - 'A' + 10;
                else if (c == '_') {
                    advance();
                    continue;
                }
                if (d < 0 || d >= radix)
                    break;
                if (value > (UINT64_MAX - static_cast<uint64_t>(d)) / static_cast<uint64_t>(radix))
                    fail(sceNumberFormat, t.Line, t.Col, "number too large");
                value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(d);
                ++count;
                advance();
            }
            if (count == 0 || identPart(static_cast<unsigned char>(at(pos_))))
                fail(sceNumberFormat, t.Line, t.Col, std::string(s_.substr(start, pos_ - start + 1)));
            t.Kind = TK::Int;
            t.Magnitude = value;
            t.Real = static_cast<double>(value);
            return;
        }
        bool real = false;
        // "1..5" is a range, not the real "1." followed by ".5".
        if (at(pos_) == '.' && at(pos_ + 1) != '.' && std::isdigit(static_cast<unsigned char>(at(pos_ + 1)))) {
            real = true;
            digits += '.';
            advance();
            while (std::isdigit(static_cast<unsigned char>(at(pos_))) || at(pos_) == '_') {
                if (at(pos_) != '_')
                    digits += at(pos_);
                advance();
            }
        }
        if ((at(pos_) == 'E' || at(pos_) == 'e') &&
            (std::isdigit(static_cast<unsigned char>(at(pos_ + 1))) ||
             ((at(pos_ + 1) == '+' || at(pos_ + 1) == '-') && std::isdigit(static_cast<unsigned char>(at(pos_ + 2)))))) {
            real = true;
            digits += 'e';
            advance();
            if (at(pos_) == '+' || at(pos_) == '-') {
                digits += at(pos_);
                advance();
            }
            while (std::isdigit(static_cast<unsigned char>(at(pos_)))) {
                digits += at(pos_);
                advance();
            }
        }
        if (identPart(static_cast<unsigned char>(at(pos_))))
            fail(sceNumberFormat, t.Line, t.Col, std::string(s_.substr(start, pos_ - start + 1)));
        if (real) {
            double value = 0;
            auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
            if (ec != std::errc() || p != digits.data() + digits.size() || !std::isfinite(value))
                fail(sceNumberFormat, t.Line, t.Col, digits);
            t.Kind = TK::Real;
            t.Real = value;
            return;
        }
        uint64_t value = 0;
        auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (ec != std::errc() || p != digits.data() + digits.size())
            fail(sceNumberFormat, t.Line, t.Col, digits);
        t.Kind = TK::Int;
        t.Magnitude = value;
        t.Real = static_cast<double>(value);
    }

    // 'text $N $'' and "wide": $-escapes as IEC writes them.
    void text(TStToken& t, char quote)
    {
        const int line = line_, c0 = col();
        advance();
        std::string value;
        for (;;) {
            if (pos_ >= s_.size() || at(pos_) == '\n')
                fail(sceUnterminatedString, line, c0, "");
            const char c = at(pos_);
            if (c == quote) {
                advance();
                break;
            }
            if (c == '$') {
                advance();
                const char e = static_cast<char>(std::toupper(static_cast<unsigned char>(at(pos_))));
                if (e == 'N' || e == 'L') {
                    value += '\n';
                    advance();
                } else if (e == 'R') {
                    value += '\r';
                    advance();
                } else if (e == 'T') {
                    value += '\t';
                    advance();
                } else if (e == 'P') {
                    value += '\f';
                    advance();
                } else if (e == '$' || e == '\'' || e == '"') {
                    value += e;
                    advance();
                } else if (std::isxdigit(static_cast<unsigned char>(e)) &&
                           std::isxdigit(static_cast<unsigned char>(at(pos_ + 1)))) {
                    value += static_cast<char>(std::stoi(std::string(s_.substr(pos_, 2)), nullptr, 16));
                    advance();
                    advance();
                } else {
                    fail(sceSyntax, line_, col(), "unknown $ escape in a text");
                }
                continue;
            }
            value += c;
            advance();
        }
        t.Kind = TK::Text;
        t.Text = std::move(value);
        t.Wide = quote == '"';
    }

    std::string_view s_;
    size_t pos_ = 0;
    int line_ = 1;
    size_t lineStart_ = 0;
};

// ---- types of expressions ----

// The type of an expression: an elementary type, or a literal's open kind.
struct TStType {
    TIecKind Kind = TIecKind::Other;
    int Bits = 0;
    bool Signed = true;
    bool BitString = false;
    bool Literal = false; // an untyped literal: takes the other operand's type
    std::string Name;     // "INT"; empty for a literal or an unknown type

    static TStType Of(const std::optional<TIecType>& t)
    {
        TStType s;
        if (!t)
            return s;
        s.Kind = t->Kind;
        s.Bits = t->Bits;
        s.Signed = t->Signed;
        s.BitString = t->BitString;
        s.Name = t->Name;
        return s;
    }
    static TStType Bool() { return Of(IecElementaryType("BOOL")); }
    static TStType AnyInt() { TStType s; s.Kind = TIecKind::Int; s.Bits = 64; s.Literal = true; return s; }
    static TStType AnyReal() { TStType s; s.Kind = TIecKind::Real; s.Bits = 64; s.Literal = true; return s; }
    bool IsInt() const { return Kind == TIecKind::Int; }
    bool IsReal() const { return Kind == TIecKind::Real; }
    bool IsNumber() const { return IsInt() || IsReal(); }
    // Whether every value of the type is an integer of the engine (32 bits).
    bool EngineInteger() const { return IsInt() && !Literal && (Bits < 32 || (Bits == 32 && Signed)); }
};

TStType combine(const TStType& a, const TStType& b)
{
    if (a.IsReal() || b.IsReal()) {
        if (a.IsReal() && b.IsReal()) {
            if (a.Literal)
                return b;
            if (b.Literal)
                return a;
            return a.Bits >= b.Bits ? a : b;
        }
        return a.IsReal() ? a : b;
    }
    if (a.IsInt() && b.IsInt()) {
        if (a.Literal)
            return b;
        if (b.Literal)
            return a;
        return a.Bits >= b.Bits ? a : b;
    }
    if (a.Kind == TIecKind::Other)
        return b;
    return a;
}

struct TExpr {
    std::string Text;
    TStType Type;
    bool Constant = false; // an integer literal, its value in Value
    double Value = 0;
    bool Plain = false;    // a variable or a conversion: its value lies in its type's range
};

// A real as the script writes it: digits and a "." (it reads no exponent).
std::string realText(double value)
{
    char buf[400];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    std::string s = ec == std::errc() ? std::string(buf, p) : std::string("0");
    if (s.find('.') == std::string::npos)
        s += ".0";
    return s;
}

// A whole number as the script reads it: beyond 32 bits a float.
std::string wholeText(double value)
{
    if (value >= INT32_MIN && value <= INT32_MAX) {
        // The script reads "-" and a literal of at most 2^31 - 1.
        if (value == INT32_MIN)
            return "(-2147483647 - 1)";
        if (value < 0)
            return "(" + std::to_string(static_cast<int64_t>(value)) + ")";
        return std::to_string(static_cast<int64_t>(value));
    }
    return value < 0 ? "(" + realText(value) + ")" : realText(value);
}

std::string quoted(const std::string& value)
{
    // Control characters become #n outside the quotes.
    std::string out;
    bool open = false;
    for (unsigned char c : value) {
        if (c < 32) {
            if (open) {
                out += '\'';
                open = false;
            }
            out += '#' + std::to_string(c);
            continue;
        }
        if (!open) {
            out += '\'';
            open = true;
        }
        if (c == '\'')
            out += "''";
        else
            out += static_cast<char>(c);
    }
    if (open)
        out += '\'';
    if (out.empty())
        out = "''";
    return "(" + out + ")";
}

// An expression without the parentheses around the whole of it, where a
// statement holds it alone: every token less is less to compile per run.
std::string bare(const std::string& text)
{
    if (text.size() < 2 || text.front() != '(' || text.back() != ')')
        return text;
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'')
            quoted = !quoted;
        if (quoted)
            continue;
        if (c == '(')
            ++depth;
        else if (c == ')' && --depth == 0 && i + 1 < text.size())
            return text; // "(a) + (b)": the first group closes early
    }
    return text.substr(1, text.size() - 2);
}

// ---- the parser and writer ----

struct TArrayBounds {
    int64_t Lower = 0;
    int64_t Upper = -1;
};

class TStTranslator {
public:
    TStTranslator(std::string_view text, const std::vector<TStVariable>& variables)
        : tokens_(TStLexer(text).All()), variables_(variables)
    {
        int lines = 1;
        for (char c : text)
            if (c == '\n')
                ++lines;
        lines_.resize(static_cast<size_t>(lines));
    }

    std::vector<std::string> Algorithm()
    {
        bool wrapped = false;
        if (is("ALGORITHM")) {
            wrapped = true;
            next();
            if (cur().Kind != TK::Ident)
                fail(cur(), "algorithm name expected");
            next();
        }
        statements({wrapped ? "END_ALGORITHM" : ""});
        if (wrapped) {
            expect("END_ALGORITHM");
            if (is(";"))
                next();
        }
        if (cur().Kind != TK::End)
            fail(cur(), "'" + shown(cur()) + "' where a statement was expected");
        return std::move(lines_);
    }

    std::string Expression()
    {
        TExpr e = expression();
        if (cur().Kind != TK::End)
            fail(cur(), "'" + shown(cur()) + "' after the end of the expression");
        return e.Text;
    }

private:
    // -- tokens --
    const TStToken& cur() const { return tokens_[pos_]; }
    const TStToken& peek(size_t n = 1) const { return tokens_[std::min(pos_ + n, tokens_.size() - 1)]; }
    void next()
    {
        if (pos_ + 1 < tokens_.size())
            ++pos_;
    }
    bool is(std::string_view word) const
    {
        const TStToken& t = cur();
        return (t.Kind == TK::Ident || t.Kind == TK::Sym) && t.Text == word;
    }
    static std::string shown(const TStToken& t)
    {
        switch (t.Kind) {
        case TK::End: return "end of text";
        case TK::Int: return std::to_string(t.Magnitude);
        case TK::Real: return realText(t.Real);
        case TK::Text: return "'" + t.Text + "'";
        default: return t.Text;
        }
    }
    void expect(std::string_view word)
    {
        if (!is(word)) {
            if (cur().Kind == TK::End)
                fail(sceUnexpectedEnd, cur().Line, cur().Col, std::string(word) + " expected");
            fail(cur(), std::string(word) + " expected but '" + shown(cur()) + "' found");
        }
        next();
    }
    void endStatement()
    {
        if (!is(";"))
            fail(cur(), "';' expected but '" + shown(cur()) + "' found");
        next();
    }

    void emit(int line, const std::string& text)
    {
        std::string& l = lines_[static_cast<size_t>(line - 1)];
        if (!l.empty())
            l += ' ';
        l += text;
    }

    struct TNest {
        TStTranslator& T;
        explicit TNest(TStTranslator& t, const TStToken& at) : T(t)
        {
            if (++T.depth_ > kMaxStNesting)
                fail(at, "nested too deeply");
        }
        ~TNest() { --T.depth_; }
    };

    // -- variables --
    const TStVariable* variable(const std::string& name) const
    {
        for (const auto& v : variables_)
            if (SameScriptName(v.Name, name))
                return &v;
        return nullptr;
    }

    TArrayBounds bounds(const TStVariable& v, const TStToken& at) const
    {
        TArrayBounds b;
        const std::string& s = v.ArraySize;
        const size_t dots = s.find("..");
        try {
            if (dots == std::string::npos) {
                b.Lower = 0;
                b.Upper = std::stoll(s) - 1;
            } else {
                b.Lower = std::stoll(s.substr(0, dots));
                b.Upper = std::stoll(s.substr(dots + 2));
            }
        } catch (const std::exception&) {
            fail(at, v.Name + ": array size '" + s + "' not understood");
        }
        return b;
    }

    // -- statements --
    void statements(std::initializer_list<std::string_view> ends)
    {
        for (;;) {
            if (cur().Kind == TK::End)
                return;
            for (std::string_view e : ends)
                if (!e.empty() && is(e))
                    return;
            if (caseLabels_ > 0 && startsCaseLabel())
                return;
            statement();
        }
    }

    bool startsCaseLabel() const
    {
        const TStToken& t = cur();
        if (t.Kind == TK::Int)
            return true;
        if (t.Kind == TK::Sym && (t.Text == "-" || t.Text == "+") && peek().Kind == TK::Int)
            return true;
        return false;
    }

    void statement()
    {
        const TStToken& t = cur();
        TNest nest(*this, t);
        if (t.Kind == TK::Sym && t.Text == ";") {
            next();
            return;
        }
        if (t.Kind != TK::Ident)
            fail(t, "'" + shown(t) + "' where a statement was expected");
        const std::string& w = t.Text;
        if (w == "IF")
            return ifStatement();
        if (w == "CASE")
            return caseStatement();
        if (w == "FOR")
            return forStatement();
        if (w == "WHILE")
            return whileStatement();
        if (w == "REPEAT")
            return repeatStatement();
        if (w == "EXIT") {
            if (loops_ == 0)
                fail(t, "EXIT outside a loop");
            emit(t.Line, "break;");
            next();
            return endStatement();
        }
        if (w == "RETURN") {
            emit(t.Line, "exit;");
            next();
            return endStatement();
        }
        if (w == "CONTINUE") {
            if (loops_ == 0)
                fail(t, "CONTINUE outside a loop");
            fail(t, "CONTINUE is not available");
        }
        assignment();
    }

    void assignment()
    {
        const TStToken at = cur();
        const TStVariable* v = variable(at.Text);
        if (!v) {
            if (peek().Kind == TK::Sym && peek().Text == "(")
                fail(at, "a function call is no statement: " + at.Text);
            fail(at, "unknown variable " + at.Text);
        }
        next();
        const TStType type = TStType::Of(IecElementaryType(v->Type));
        if (is("[")) {
            if (v->ArraySize.empty())
                fail(cur(), v->Name + " is no array");
            const TArrayBounds b = bounds(*v, at);
            next();
            TExpr index = expression();
            expect("]");
            expect(":=");
            TExpr value = expression();
            emit(at.Line, v->ScriptName + " := IEC_SETELEM(" + v->ScriptName + ", " + index.Text + ", " +
                              std::to_string(b.Lower) + ", " + std::to_string(b.Upper) + ", " +
                              converted(value, type) + ");");
            return endStatement();
        }
        if (!v->ArraySize.empty())
            fail(at, v->Name + " is an array: assign its elements");
        if (is("."))
            fail(cur(), "members of structured variables are not available");
        expect(":=");
        TExpr value = expression();
        emit(at.Line, assignText(v->ScriptName, type, value));
        endStatement();
    }

    // A value of the target's type: a real to an integer converts (rounds),
    // an integer out of a narrower type's range wraps as the type does.
    std::string converted(const TExpr& value, const TStType& type)
    {
        if (type.IsInt() && (value.Type.IsReal() || needsWrap(value, type)))
            return "IEC_" + type.Name + "(" + value.Text + ")";
        return value.Text;
    }

    // A type's range; a 64-bit type's as far as the engine holds it exactly.
    static double lowest(const TStType& type)
    {
        if (type.Bits >= 64)
            return type.Signed ? -9007199254740992.0 : 0;
        return type.Signed ? -std::ldexp(1.0, type.Bits - 1) : 0;
    }
    static double highest(const TStType& type)
    {
        if (type.Bits >= 64)
            return 9007199254740992.0;
        return type.Signed ? std::ldexp(1.0, type.Bits - 1) - 1 : std::ldexp(1.0, type.Bits) - 1;
    }
    static bool fits(double v, const TStType& type) { return v >= lowest(type) && v <= highest(type); }

    // Whether a value may lie outside the type's range.
    static bool needsWrap(const TExpr& value, const TStType& type)
    {
        if (value.Constant)
            return !fits(value.Value, type);
        const TStType& s = value.Type;
        if (!value.Plain || !s.IsInt() || s.Literal)
            return true;
        const bool within = s.Name == type.Name || (s.Signed == type.Signed && s.Bits <= type.Bits) ||
                            (!s.Signed && type.Signed && s.Bits < type.Bits);
        return !within;
    }

    std::string assignText(const std::string& target, const TStType& type, const TExpr& value)
    {
        if (type.IsInt() && value.Type.IsNumber() && !value.Type.IsInt())
            return target + " := IEC_" + type.Name + "(" + value.Text + ");";
        // The simulation compiles a fresh script for every run, so the
        // shortest text is the fastest: one routine call rather than an
        // inline range test that would cost more to compile than the call
        // costs to run.
        if (type.IsInt() && needsWrap(value, type))
            return target + " := IEC_" + type.Name + "(" + value.Text + ");";
        if (type.Kind == TIecKind::Real && type.Bits == 32 && value.Type.IsReal() && value.Type.Bits == 64 &&
            !value.Type.Literal)
            return target + " := IEC_REAL(" + value.Text + ");";
        return target + " := " + bare(value.Text) + ";";
    }

    void ifStatement()
    {
        const TStToken at = cur();
        next();
        TExpr c = expression();
        expect("THEN");
        emit(at.Line, "if " + bare(c.Text) + " then begin");
        statements({"ELSIF", "ELSE", "END_IF"});
        while (is("ELSIF")) {
            const TStToken el = cur();
            next();
            TExpr c2 = expression();
            expect("THEN");
            emit(el.Line, "end else if " + bare(c2.Text) + " then begin");
            statements({"ELSIF", "ELSE", "END_IF"});
        }
        if (is("ELSE")) {
            emit(cur().Line, "end else begin");
            next();
            statements({"END_IF"});
        }
        const TStToken end = cur();
        expect("END_IF");
        emit(end.Line, "end;");
        if (is(";"))
            next();
    }

    TExpr caseValue()
    {
        const TStToken at = cur();
        bool negative = false;
        if (is("-") || is("+")) {
            negative = is("-");
            next();
        }
        if (cur().Kind != TK::Int)
            fail(cur(), "case label expected");
        TExpr e;
        e.Value = negative ? -cur().Real : cur().Real;
        e.Constant = true;
        e.Text = wholeText(e.Value);
        e.Type = TStType::AnyInt();
        next();
        (void)at;
        return e;
    }

    void caseStatement()
    {
        const TStToken at = cur();
        next();
        TExpr selector = expression();
        expect("OF");
        bool first = true;
        ++caseLabels_;
        while (startsCaseLabel()) {
            const TStToken label = cur();
            std::string cond;
            for (;;) {
                TExpr lo = caseValue();
                std::string part;
                if (is("..")) {
                    next();
                    TExpr hi = caseValue();
                    part = "((" + selector.Text + " >= " + lo.Text + ") and (" + selector.Text + " <= " + hi.Text +
                           "))";
                } else {
                    part = "(" + selector.Text + " = " + lo.Text + ")";
                }
                cond += (cond.empty() ? "" : " or ") + part;
                if (!is(","))
                    break;
                next();
            }
            expect(":");
            emit(label.Line, std::string(first ? "" : "end else ") + "if " + cond + " then begin");
            first = false;
            statements({"ELSE", "END_CASE"});
        }
        --caseLabels_;
        if (is("ELSE")) {
            emit(cur().Line, first ? "begin" : "end else begin");
            first = false;
            next();
            statements({"END_CASE"});
        }
        const TStToken end = cur();
        expect("END_CASE");
        if (!first)
            emit(end.Line, "end;");
        if (is(";"))
            next();
        (void)at;
    }

    void forStatement()
    {
        const TStToken at = cur();
        next();
        const TStToken name = cur();
        const TStVariable* v = cur().Kind == TK::Ident ? variable(cur().Text) : nullptr;
        if (!v)
            fail(name, "a variable must follow FOR");
        const TStType type = TStType::Of(IecElementaryType(v->Type));
        if (!type.IsInt() || !v->ArraySize.empty())
            fail(name, "the control variable of FOR must be an integer: " + v->Name);
        next();
        expect(":=");
        TExpr from = expression();
        expect("TO");
        TExpr to = expression();
        TExpr by;
        by.Text = "1";
        by.Constant = true;
        by.Value = 1;
        by.Type = TStType::AnyInt();
        if (is("BY")) {
            next();
            by = expression();
        }
        expect("DO");
        const std::string& i = v->ScriptName;
        std::string cond;
        if (by.Constant)
            cond = "(" + i + (by.Value >= 0 ? " <= " : " >= ") + to.Text + ")";
        else
            cond = "(((" + by.Text + " >= 0) and (" + i + " <= " + to.Text + ")) or ((" + by.Text + " < 0) and (" + i +
                   " >= " + to.Text + ")))";
        emit(at.Line, i + " := " + converted(from, type) + "; while " + cond + " do begin");
        ++loops_;
        statements({"END_FOR"});
        --loops_;
        const TStToken end = cur();
        expect("END_FOR");
        emit(end.Line, i + " := " + i + " + " + by.Text + "; end;");
        if (is(";"))
            next();
    }

    void whileStatement()
    {
        const TStToken at = cur();
        next();
        TExpr c = expression();
        expect("DO");
        emit(at.Line, "while " + bare(c.Text) + " do begin");
        ++loops_;
        statements({"END_WHILE"});
        --loops_;
        const TStToken end = cur();
        expect("END_WHILE");
        emit(end.Line, "end;");
        if (is(";"))
            next();
    }

    void repeatStatement()
    {
        const TStToken at = cur();
        next();
        emit(at.Line, "repeat");
        ++loops_;
        statements({"UNTIL"});
        --loops_;
        const TStToken u = cur();
        expect("UNTIL");
        TExpr c = expression();
        emit(u.Line, "until " + bare(c.Text) + ";");
        expect("END_REPEAT");
        if (is(";"))
            next();
    }

    // -- expressions, lowest precedence first --
    TExpr expression()
    {
        TNest nest(*this, cur());
        return orExpr();
    }

    TExpr logical(const TExpr& a, const TExpr& b, const char* op, const char* bitRoutine)
    {
        TExpr r;
        r.Type = combine(a.Type, b.Type);
        if (a.Type.Kind == TIecKind::Bool || b.Type.Kind == TIecKind::Bool || !r.Type.IsInt() ||
            r.Type.EngineInteger() || (a.Type.Literal && b.Type.Literal)) {
            if (a.Type.Kind == TIecKind::Bool || b.Type.Kind == TIecKind::Bool)
                r.Type = TStType::Bool();
            r.Text = "(" + a.Text + " " + op + " " + b.Text + ")";
        } else {
            r.Text = std::string(bitRoutine) + "(" + a.Text + ", " + b.Text + ", " + std::to_string(r.Type.Bits) + ")";
        }
        return r;
    }

    TExpr orExpr()
    {
        TExpr a = xorExpr();
        while (is("OR")) {
            next();
            a = logical(a, xorExpr(), "or", "IEC_BITOR");
        }
        return a;
    }
    TExpr xorExpr()
    {
        TExpr a = andExpr();
        while (is("XOR")) {
            next();
            a = logical(a, andExpr(), "xor", "IEC_BITXOR");
        }
        return a;
    }
    TExpr andExpr()
    {
        TExpr a = eqExpr();
        while (is("AND") || is("&")) {
            next();
            a = logical(a, eqExpr(), "and", "IEC_BITAND");
        }
        return a;
    }
    TExpr compare(const TExpr& a, const TExpr& b, const std::string& op)
    {
        TExpr r;
        r.Type = TStType::Bool();
        r.Text = "(" + a.Text + " " + op + " " + b.Text + ")";
        return r;
    }
    TExpr eqExpr()
    {
        TExpr a = cmpExpr();
        while (is("=") || is("<>")) {
            const std::string op = cur().Text;
            next();
            a = compare(a, cmpExpr(), op);
        }
        return a;
    }
    TExpr cmpExpr()
    {
        TExpr a = addExpr();
        while (is("<") || is(">") || is("<=") || is(">=")) {
            const std::string op = cur().Text;
            next();
            a = compare(a, addExpr(), op);
        }
        return a;
    }
    TExpr arithmetic(const TExpr& a, const TExpr& b, const std::string& op)
    {
        TExpr r;
        r.Type = combine(a.Type, b.Type);
        if (a.Constant && b.Constant && (op == "+" || op == "-" || op == "*")) {
            r.Constant = true;
            r.Value = op == "+" ? a.Value + b.Value : op == "-" ? a.Value - b.Value : a.Value * b.Value;
            if (std::fabs(r.Value) <= 9007199254740992.0) {
                r.Text = wholeText(r.Value);
                return r;
            }
            r.Constant = false;
        }
        r.Text = "(" + a.Text + " " + op + " " + b.Text + ")";
        return r;
    }
    TExpr addExpr()
    {
        TExpr a = mulExpr();
        while (is("+") || is("-")) {
            const std::string op = cur().Text;
            next();
            a = arithmetic(a, mulExpr(), op);
        }
        return a;
    }
    TExpr divide(const TExpr& a, const TExpr& b, bool mod)
    {
        TExpr r;
        r.Type = combine(a.Type, b.Type);
        if (r.Type.IsInt() || (a.Type.IsInt() && b.Type.IsInt())) {
            if (r.Type.EngineInteger() || (a.Type.Literal && b.Type.Literal))
                r.Text = "(" + a.Text + (mod ? " mod " : " div ") + b.Text + ")";
            else
                r.Text = std::string(mod ? "IEC_MOD(" : "IEC_DIV(") + a.Text + ", " + b.Text + ")";
        } else if (mod) {
            r.Text = "IEC_MOD(" + a.Text + ", " + b.Text + ")";
        } else {
            r.Text = "(" + a.Text + " / " + b.Text + ")";
        }
        return r;
    }
    TExpr mulExpr()
    {
        TExpr a = unaryExpr();
        for (;;) {
            if (is("*")) {
                next();
                a = arithmetic(a, unaryExpr(), "*");
            } else if (is("/")) {
                next();
                a = divide(a, unaryExpr(), false);
            } else if (is("MOD")) {
                next();
                a = divide(a, unaryExpr(), true);
            } else {
                return a;
            }
        }
    }
    TExpr negate(const TExpr& a)
    {
        TExpr r = a;
        if (a.Constant) {
            r.Value = -a.Value;
            r.Text = wholeText(r.Value);
            return r;
        }
        r.Constant = false;
        r.Text = "(-" + a.Text + ")";
        return r;
    }
    TExpr notOf(const TExpr& a)
    {
        TExpr r;
        r.Type = a.Type;
        if (a.Type.IsInt() && !a.Type.Signed)
            r.Text = "IEC_BITNOT(" + a.Text + ", " + std::to_string(a.Type.Bits) + ")";
        else if (a.Type.IsInt() && a.Type.Bits >= 64)
            r.Text = "IEC_BITNOT(" + a.Text + ", 64)";
        else
            r.Text = "(not " + a.Text + ")";
        if (!a.Type.IsInt())
            r.Type = TStType::Bool();
        return r;
    }
    TExpr unaryExpr()
    {
        TNest nest(*this, cur());
        if (is("-")) {
            next();
            return negate(unaryExpr());
        }
        if (is("+")) {
            next();
            return unaryExpr();
        }
        if (is("NOT")) {
            next();
            return notOf(unaryExpr());
        }
        return powExpr();
    }
    TExpr powExpr()
    {
        TExpr a = primary();
        while (is("**")) {
            next();
            TExpr b = is("-") || is("+") || is("NOT") ? unaryExpr() : primary();
            TExpr r;
            r.Type = a.Type.IsReal() ? a.Type : TStType::Of(IecElementaryType("LREAL"));
            r.Text = "IEC_EXPT(" + a.Text + ", " + b.Text + ")";
            a = r;
        }
        return a;
    }

    TExpr primary()
    {
        const TStToken t = cur();
        TExpr e;
        switch (t.Kind) {
        case TK::Int: {
            next();
            e.Constant = true;
            e.Value = t.Real;
            if (!t.LitType.empty()) {
                const bool negative = t.LitType.back() == '-';
                const std::string typeName = negative ? t.LitType.substr(0, t.LitType.size() - 1) : t.LitType;
                e.Type = TStType::Of(IecElementaryType(typeName));
                if (negative)
                    e.Value = -e.Value;
                if (e.Type.IsReal()) {
                    e.Constant = false;
                    e.Text = realText(e.Value);
                    return e;
                }
                if (e.Type.Kind == TIecKind::String)
                    fail(t, "a text literal expected after " + typeName + "#");
                if (e.Type.IsInt() && !fits(e.Value, e.Type))
                    fail(sceNumberFormat, t.Line, t.Col, shown(t) + " does not fit " + typeName);
            } else {
                e.Type = TStType::AnyInt();
            }
            if (std::fabs(e.Value) > 9007199254740992.0)
                e.Constant = false; // kept as the nearest double: comparisons still work
            e.Text = wholeText(e.Value);
            return e;
        }
        case TK::Real: {
            next();
            double v = t.Real;
            if (!t.LitType.empty() && t.LitType.back() == '-')
                v = -v;
            e.Type = t.LitType.empty() ? TStType::AnyReal() : TStType::Of(IecElementaryType(
                                                                    t.LitType.back() == '-' ? t.LitType.substr(0, t.LitType.size() - 1) : t.LitType));
            if (!e.Type.IsReal())
                fail(t, "a real literal does not fit " + e.Type.Name);
            e.Text = v < 0 ? "(" + realText(v) + ")" : realText(v);
            return e;
        }
        case TK::Text:
            next();
            e.Type = TStType::Of(IecElementaryType(t.Wide ? "WSTRING" : "STRING"));
            e.Text = quoted(t.Text);
            return e;
        case TK::Time:
            next();
            e.Type = TStType::Of(IecElementaryType("TIME"));
            e.Text = quoted(t.Text);
            return e;
        case TK::Sym:
            if (t.Text == "(") {
                next();
                TNest nest(*this, t);
                e = expression();
                expect(")");
                return e;
            }
            if (t.Kind == TK::Sym && t.Text == "=>")
                fail(t, "output arguments (=>) are not available");
            if (cur().Kind == TK::End)
                fail(sceUnexpectedEnd, t.Line, t.Col, "an operand expected");
            fail(t, "'" + t.Text + "' where an operand was expected");
        case TK::End:
            fail(sceUnexpectedEnd, t.Line, t.Col, "an operand expected");
        case TK::Ident:
            break;
        }
        if (t.Text == "TRUE" || t.Text == "FALSE") {
            next();
            e.Type = TStType::Bool();
            e.Text = t.Text == "TRUE" ? "True" : "False";
            return e;
        }
        if (peek().Kind == TK::Sym && peek().Text == "(")
            return call();
        const TStVariable* v = variable(t.Text);
        if (!v)
            fail(t, "unknown variable " + t.Text);
        next();
        e.Type = TStType::Of(IecElementaryType(v->Type));
        if (v->Kind == TStVarKind::Event)
            e.Type = TStType::Bool();
        if (is("[")) {
            if (v->ArraySize.empty())
                fail(cur(), v->Name + " is no array");
            const TArrayBounds b = bounds(*v, t);
            next();
            TExpr index = expression();
            expect("]");
            e.Plain = true;
            e.Text = "IEC_ELEM(" + v->ScriptName + ", " + index.Text + ", " + std::to_string(b.Lower) + ", " +
                     std::to_string(b.Upper) + ")";
            return e;
        }
        if (is("."))
            fail(cur(), "members of structured variables are not available");
        e.Plain = true;
        e.Text = v->ScriptName;
        return e;
    }

    std::vector<TExpr> arguments(const TStToken& name)
    {
        std::vector<TExpr> args;
        expect("(");
        if (is(")")) {
            next();
            return args;
        }
        for (;;) {
            if (cur().Kind == TK::Ident && peek().Kind == TK::Sym && (peek().Text == ":=" || peek().Text == "=>"))
                fail(cur(), "named arguments are not available in calls of " + name.Text);
            args.push_back(expression());
            if (is(",")) {
                next();
                continue;
            }
            expect(")");
            return args;
        }
    }

    static std::string joined(const std::vector<TExpr>& args)
    {
        std::string s;
        for (size_t i = 0; i < args.size(); ++i)
            s += (i ? ", " : "") + args[i].Text;
        return s;
    }

    void arity(const TStToken& name, const std::vector<TExpr>& args, size_t least, size_t most)
    {
        if (args.size() < least || args.size() > most)
            fail(name, name.Text + " takes " +
                           (least == most ? std::to_string(least)
                                          : most == SIZE_MAX ? std::to_string(least) + " or more"
                                                             : std::to_string(least) + " to " + std::to_string(most)) +
                           " arguments, not " + std::to_string(args.size()));
    }

    // X_TO_Y and its relatives.
    std::optional<TExpr> conversion(const TStToken& name, const std::vector<TExpr>& args)
    {
        const std::string& n = name.Text;
        std::string from, to;
        std::string kind; // TO, AS, BCD_TO, TO_BCD, TIME_IN
        std::string unit;
        size_t p = std::string::npos;
        if (n.rfind("TIME_IN_", 0) == 0 && (p = n.find("_TO_", 8)) != std::string::npos) {
            unit = n.substr(8, p - 8);
            to = n.substr(p + 4);
            kind = "TIME_IN";
        } else if ((p = n.find("_BCD_TO_")) != std::string::npos) {
            from = n.substr(0, p);
            to = n.substr(p + 8);
            kind = "BCD_TO";
        } else if ((p = n.find("_TO_BCD_")) != std::string::npos) {
            from = n.substr(0, p);
            to = n.substr(p + 8);
            kind = "TO_BCD";
        } else if (n.rfind("TO_", 0) == 0) {
            to = n.substr(3);
            kind = "TO";
        } else if ((p = n.find("_TO_")) != std::string::npos) {
            from = n.substr(0, p);
            to = n.substr(p + 4);
            kind = "TO";
        } else if ((p = n.find("_AS_")) != std::string::npos) {
            from = n.substr(0, p);
            to = n.substr(p + 4);
            kind = "TO";
        } else if ((p = n.find("_TRUNC_")) != std::string::npos) {
            from = n.substr(0, p);
            to = n.substr(p + 7);
            kind = "TRUNC";
        } else {
            return std::nullopt;
        }
        const auto target = IecElementaryType(to);
        const auto source = from.empty() ? std::optional<TIecType>(TIecType{}) : IecElementaryType(from);
        if (!target || !source)
            return std::nullopt;
        arity(name, args, 1, 1);
        const TExpr& a = args[0];
        TExpr r;
        r.Type = TStType::Of(target);
        r.Plain = true;
        if (kind == "TIME_IN") {
            const double scale = unit == "NS" ? 1 : unit == "US" ? 1e3 : unit == "MS" ? 1e6 : unit == "S" ? 1e9 : 0;
            if (scale == 0 || (target->Kind != TIecKind::Int && target->Kind != TIecKind::Real))
                return std::nullopt;
            r.Text = "IEC_" + target->Name + "(IEC_TIME_IN(" + a.Text + ", " + wholeText(scale) + "))";
            return r;
        }
        if (target->Kind == TIecKind::Time || source->Kind == TIecKind::Time) {
            if ((source->Kind == TIecKind::Time || source->Kind == TIecKind::String) &&
                target->Kind == TIecKind::Time) {
                r.Text = a.Text;
                return r;
            }
            if (source->Kind == TIecKind::Time && target->Kind == TIecKind::String) {
                r.Text = "IEC_STRING(" + a.Text + ")";
                return r;
            }
            fail(name, n + " is not available in the simulation (durations are held as texts)");
        }
        if (target->Kind == TIecKind::Other || (source->Kind == TIecKind::Other && !from.empty()))
            return std::nullopt;
        if (kind == "BCD_TO") {
            r.Text = "IEC_" + target->Name + "(IEC_FROMBCD(" + a.Text + "))";
            return r;
        }
        if (kind == "TO_BCD") {
            r.Text = "IEC_TOBCD(" + a.Text + ", " + std::to_string(target->Bits) + ")";
            return r;
        }
        if (kind == "TRUNC") {
            r.Text = "IEC_" + target->Name + "(IEC_TRUNC(" + a.Text + "))";
            return r;
        }
        r.Text = "IEC_" + target->Name + "(" + a.Text + ")";
        return r;
    }

    TExpr call()
    {
        const TStToken name = cur();
        next();
        const std::vector<TExpr> args = arguments(name);
        const std::string& n = name.Text;
        TExpr r;
        // The operators in function form.
        struct TOperator {
            const char* Name;
            const char* Op;
            bool Variadic;
        };
        static const TOperator ops[] = {{"ADD", "+", true}, {"MUL", "*", true},  {"SUB", "-", false},
                                        {"GT", ">", false}, {"GE", ">=", false}, {"LT", "<", false},
                                        {"LE", "<=", false}, {"EQ", "=", false}, {"NE", "<>", false},
                                        {"AND", "and", true}, {"OR", "or", true}, {"XOR", "xor", true}};
        for (const auto& o : ops)
            if (n == o.Name) {
                arity(name, args, 2, o.Variadic ? SIZE_MAX : 2);
                r = args[0];
                for (size_t i = 1; i < args.size(); ++i) {
                    const std::string op = o.Op;
                    if (op == "and")
                        r = logical(r, args[i], "and", "IEC_BITAND");
                    else if (op == "or")
                        r = logical(r, args[i], "or", "IEC_BITOR");
                    else if (op == "xor")
                        r = logical(r, args[i], "xor", "IEC_BITXOR");
                    else if (op == "+" || op == "-" || op == "*")
                        r = arithmetic(r, args[i], op);
                    else
                        r = compare(r, args[i], op);
                }
                return r;
            }
        if (n == "DIV" || n == "MOD") {
            arity(name, args, 2, 2);
            return divide(args[0], args[1], n == "MOD");
        }
        if (n == "NOT") {
            arity(name, args, 1, 1);
            return notOf(args[0]);
        }
        if (n == "MOVE") {
            arity(name, args, 1, 1);
            return args[0];
        }
        if (n == "EXPT") {
            arity(name, args, 2, 2);
            r.Type = args[0].Type.IsReal() ? args[0].Type : TStType::Of(IecElementaryType("LREAL"));
            r.Text = "IEC_EXPT(" + joined(args) + ")";
            return r;
        }
        if (n == "TRUNC") {
            arity(name, args, 1, 1);
            r.Type = TStType::Of(IecElementaryType("DINT"));
            r.Text = "IEC_TRUNC(" + args[0].Text + ")";
            return r;
        }
        if (n == "ABS") {
            arity(name, args, 1, 1);
            r.Type = args[0].Type;
            r.Text = "IEC_ABS(" + args[0].Text + ")";
            return r;
        }
        for (const char* f : {"SQRT", "LN", "LOG", "EXP", "SIN", "COS", "TAN", "ASIN", "ACOS", "ATAN"})
            if (n == f) {
                arity(name, args, 1, 1);
                r.Type = args[0].Type.IsReal() ? args[0].Type : TStType::Of(IecElementaryType("LREAL"));
                r.Text = "IEC_" + n + "(" + args[0].Text + ")";
                return r;
            }
        if (n == "SEL") {
            arity(name, args, 3, 3);
            r.Type = combine(args[1].Type, args[2].Type);
            r.Text = "IEC_SEL(" + joined(args) + ")";
            return r;
        }
        if (n == "MAX" || n == "MIN") {
            arity(name, args, 1, SIZE_MAX);
            r.Type = args[0].Type;
            for (size_t i = 1; i < args.size(); ++i)
                r.Type = combine(r.Type, args[i].Type);
            r.Text = "IEC_" + n + "(" + joined(args) + ")";
            return r;
        }
        if (n == "LIMIT") {
            arity(name, args, 3, 3);
            r.Type = combine(combine(args[0].Type, args[1].Type), args[2].Type);
            r.Text = "IEC_LIMIT(" + joined(args) + ")";
            return r;
        }
        if (n == "MUX") {
            arity(name, args, 2, SIZE_MAX);
            r.Type = args[1].Type;
            for (size_t i = 2; i < args.size(); ++i)
                r.Type = combine(r.Type, args[i].Type);
            r.Text = "IEC_MUX(" + joined(args) + ")";
            return r;
        }
        if (n == "SHL" || n == "SHR" || n == "ROL" || n == "ROR") {
            arity(name, args, 2, 2);
            r.Type = args[0].Type;
            const int bits = args[0].Type.IsInt() && !args[0].Type.Literal ? args[0].Type.Bits : 32;
            r.Text = "IEC_" + n + "(" + joined(args) + ", " + std::to_string(bits) + ")";
            return r;
        }
        struct TStringFunction {
            const char* Name;
            size_t Least, Most;
            bool Integer;
        };
        static const TStringFunction strings[] = {
            {"LEN", 1, 1, true},     {"LEFT", 2, 2, false},   {"RIGHT", 2, 2, false},
            {"MID", 3, 3, false},    {"CONCAT", 1, SIZE_MAX, false}, {"INSERT", 3, 3, false},
            {"DELETE", 3, 3, false}, {"REPLACE", 4, 4, false}, {"FIND", 2, 2, true},
        };
        for (const auto& f : strings)
            if (n == f.Name) {
                arity(name, args, f.Least, f.Most);
                r.Type = f.Integer ? TStType::Of(IecElementaryType("INT")) : TStType::Of(IecElementaryType("STRING"));
                r.Text = "IEC_" + n + "(" + joined(args) + ")";
                return r;
            }
        if (auto c = conversion(name, args))
            return *c;
        fail(name, "unknown function " + n);
    }

    std::vector<TStToken> tokens_;
    size_t pos_ = 0;
    const std::vector<TStVariable>& variables_;
    std::vector<std::string> lines_;
    int depth_ = 0;
    int loops_ = 0;
    int caseLabels_ = 0;
};

} // namespace

std::vector<std::string> TranslateStAlgorithm(std::string_view text, const std::vector<TStVariable>& variables)
{
    TStTranslator t(text, variables);
    return t.Algorithm();
}

std::string TranslateStExpression(std::string_view text, const std::vector<TStVariable>& variables)
{
    TStTranslator t(text, variables);
    return t.Expression();
}

} // namespace telvo
