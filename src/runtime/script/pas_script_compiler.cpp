#include "runtime/script/pas_script_compiler.h"

#include "runtime/script/script_errors.h"
#include "runtime/script/script_object.h"

#include <charconv>
#include <cstring>

namespace telvo {

namespace {

enum class TTok : uint8_t {
    End,
    Ident,
    Integer,
    Float,
    Text,
    // keywords
    Procedure, Function, Begin, EndKw, Exit, Break, Continue, If, Then, Else, While, Do, Repeat, Until, For, To,
    Downto, Try, Finally, Except, Raise, Const, In, Out, Var, And, Not, Or, Xor, Mod, Div, Goto, True, False, Null,
    Exception,
    // symbols
    Assign, Ge, Le, Ne, Plus, Minus, Star, Slash, Eq, Lt, Gt, LParen, RParen, LBracket, RBracket, Comma, Semicolon,
    Colon, Dot, At,
};

struct TKeyword {
    std::string_view Text;
    TTok Tok;
};

// "with" stands in the table without a token of its own: it reads as an
// ordinary identifier.
constexpr TKeyword kKeywords[] = {
    {"procedure", TTok::Procedure}, {"function", TTok::Function}, {"begin", TTok::Begin},
    {"end", TTok::EndKw},           {"exit", TTok::Exit},         {"break", TTok::Break},
    {"continue", TTok::Continue},   {"if", TTok::If},             {"then", TTok::Then},
    {"else", TTok::Else},           {"while", TTok::While},       {"do", TTok::Do},
    {"repeat", TTok::Repeat},       {"until", TTok::Until},       {"for", TTok::For},
    {"to", TTok::To},               {"downto", TTok::Downto},     {"try", TTok::Try},
    {"finally", TTok::Finally},     {"except", TTok::Except},     {"raise", TTok::Raise},
    {"const", TTok::Const},         {"in", TTok::In},             {"out", TTok::Out},
    {"var", TTok::Var},             {"and", TTok::And},           {"not", TTok::Not},
    {"or", TTok::Or},               {"xor", TTok::Xor},           {"mod", TTok::Mod},
    {"div", TTok::Div},             {"goto", TTok::Goto},         {"true", TTok::True},
    {"false", TTok::False},         {"null", TTok::Null},         {"exception", TTok::Exception},
    {"with", TTok::Ident},
};

TTok keywordOf(std::string_view word) noexcept
{
    if (word.size() < 2 || word.size() > 9)
        return TTok::Ident;
    char lower[9];
    for (size_t i = 0; i < word.size(); ++i) {
        char c = word[i];
        lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
    std::string_view w(lower, word.size());
    for (const auto& k : kKeywords)
        if (k.Text.size() == w.size() && k.Text[0] == w[0] && k.Text == w)
            return k.Tok;
    return TTok::Ident;
}

bool isIdentStart(unsigned char c) noexcept
{
    // Bytes from 128 on are the letters of a UTF-8 text.
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 128;
}

bool isDigit(unsigned char c) noexcept { return c >= '0' && c <= '9'; }

int hexDigit(unsigned char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F') // upper case only: "$1f" is $1 followed by f
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

struct TToken {
    TTok Kind = TTok::End;
    int Line = 1;
    int Col = 0; // zero-based column of the first character
    std::string_view Name; // an identifier as written
    int32_t Int = 0;
    double Float = 0;
    std::string Text;
};

[[noreturn]] void compileError(int number, int line, int col, const std::string& scriptName, std::string extra = {})
{
    throw EScriptCompileError(number, line, col + 1, scriptName, std::move(extra));
}

class TLexer {
public:
    TLexer(std::string_view source, const std::string& scriptName) : s_(source), scriptName_(scriptName) {}

    std::string_view LastComment;

    void Next(TToken& t)
    {
        skipBlanks();
        t.Line = line_;
        t.Col = static_cast<int>(pos_ - lineStart_);
        if (pos_ >= s_.size()) {
            t.Kind = TTok::End;
            return;
        }
        const unsigned char c = static_cast<unsigned char>(s_[pos_]);
        if (isIdentStart(c)) {
            size_t start = pos_++;
            while (pos_ < s_.size() &&
                   (isIdentStart(static_cast<unsigned char>(s_[pos_])) || isDigit(static_cast<unsigned char>(s_[pos_]))))
                ++pos_;
            t.Name = s_.substr(start, pos_ - start);
            if (t.Name == "_")
                fail(sceSyntax, t);
            t.Kind = keywordOf(t.Name);
            return;
        }
        if (isDigit(c)) {
            readNumber(t);
            return;
        }
        if (c == '$') {
            readHex(t);
            return;
        }
        if (c == '\'' || c == '#') {
            readText(t);
            return;
        }
        const char next = pos_ + 1 < s_.size() ? s_[pos_ + 1] : '\0';
        ++pos_;
        switch (c) {
        case ':':
            if (next == '=') {
                ++pos_;
                t.Kind = TTok::Assign;
            } else {
                t.Kind = TTok::Colon;
            }
            return;
        case '>':
            if (next == '=') {
                ++pos_;
                t.Kind = TTok::Ge;
            } else {
                t.Kind = TTok::Gt;
            }
            return;
        case '<':
            if (next == '=') {
                ++pos_;
                t.Kind = TTok::Le;
            } else if (next == '>') {
                ++pos_;
                t.Kind = TTok::Ne;
            } else {
                t.Kind = TTok::Lt;
            }
            return;
        case '+': t.Kind = TTok::Plus; return;
        case '-': t.Kind = TTok::Minus; return;
        case '*': t.Kind = TTok::Star; return;
        case '/': t.Kind = TTok::Slash; return;
        case '=': t.Kind = TTok::Eq; return;
        case '(': t.Kind = TTok::LParen; return;
        case ')': t.Kind = TTok::RParen; return;
        case '[': t.Kind = TTok::LBracket; return;
        case ']': t.Kind = TTok::RBracket; return;
        case ',': t.Kind = TTok::Comma; return;
        case ';': t.Kind = TTok::Semicolon; return;
        case '.': t.Kind = TTok::Dot; return;
        case '@': t.Kind = TTok::At; return;
        default:
            // Anything else, the tab among them, is not part of the language.
            fail(sceSyntax, t);
        }
    }

private:
    [[noreturn]] void fail(int number, const TToken& t) { compileError(number, t.Line, t.Col, scriptName_); }

    void skipBlanks()
    {
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            if (c == ' ' || c == '\b') {
                ++pos_;
            } else if (c == '\n') {
                ++pos_;
                ++line_;
                lineStart_ = pos_;
            } else if (c == '{') {
                skipComment(1, "}");
            } else if (c == '(' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '*') {
                skipComment(2, "*)");
            } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/') {
                size_t end = s_.find('\n', pos_);
                if (end == std::string_view::npos)
                    end = s_.size();
                LastComment = s_.substr(pos_ + 2, end - pos_ - 2);
                pos_ = end;
            } else {
                return;
            }
        }
    }

    void skipComment(size_t openLength, std::string_view close)
    {
        const int line = line_;
        const int col = static_cast<int>(pos_ - lineStart_);
        size_t end = s_.find(close, pos_ + openLength);
        if (end == std::string_view::npos)
            compileError(sceUnexpectedEnd, line, col, scriptName_);
        LastComment = s_.substr(pos_ + openLength, end - pos_ - openLength);
        for (size_t i = pos_; i < end; ++i)
            if (s_[i] == '\n') {
                ++line_;
                lineStart_ = i + 1;
            }
        pos_ = end + close.size();
    }

    void readNumber(TToken& t)
    {
        const size_t start = pos_;
        bool dot = false;
        while (pos_ < s_.size() && (isDigit(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '.')) {
            if (s_[pos_] == '.') {
                if (dot)
                    fail(sceNumberFormat, t);
                dot = true;
            }
            ++pos_;
        }
        const char* first = s_.data() + start;
        const char* last = s_.data() + pos_;
        if (dot) {
            // Always "." as the separator, whatever the locale.
            double value = 0;
            auto [p, ec] = std::from_chars(first, last, value);
            if (ec != std::errc() || p != last)
                fail(sceNumberFormat, t);
            t.Kind = TTok::Float;
            t.Float = value;
            return;
        }
        int64_t value = 0;
        for (const char* p = first; p != last; ++p) {
            value = value * 10 + (*p - '0');
            if (value > INT32_MAX)
                fail(sceNumberFormat, t);
        }
        t.Kind = TTok::Integer;
        t.Int = static_cast<int32_t>(value);
    }

    // $hex: up to 32 bits, read as a signed integer ($FFFFFFFF is -1).
    void readHex(TToken& t)
    {
        ++pos_;
        uint64_t value = 0;
        size_t digits = 0;
        int d;
        while (pos_ < s_.size() && (d = hexDigit(static_cast<unsigned char>(s_[pos_]))) >= 0) {
            value = value * 16 + static_cast<uint64_t>(d);
            if (value > 0xFFFFFFFFu)
                fail(sceNumberFormat, t);
            ++digits;
            ++pos_;
        }
        if (digits == 0)
            fail(sceNumberFormat, t);
        t.Kind = TTok::Integer;
        t.Int = static_cast<int32_t>(static_cast<uint32_t>(value));
    }

    // Quoted pieces and #codes written next to each other form one text.
    void readText(TToken& t)
    {
        t.Text.clear();
        while (pos_ < s_.size() && (s_[pos_] == '\'' || s_[pos_] == '#')) {
            if (s_[pos_] == '\'') {
                ++pos_;
                for (;;) {
                    if (pos_ >= s_.size())
                        fail(sceUnterminatedString, t);
                    const char ch = s_[pos_];
                    if (ch == '\'') {
                        if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '\'') {
                            t.Text += '\'';
                            pos_ += 2;
                            continue;
                        }
                        ++pos_;
                        break;
                    }
                    if (static_cast<unsigned char>(ch) < 32)
                        fail(sceUnterminatedString, t);
                    t.Text += ch;
                    ++pos_;
                }
            } else {
                ++pos_;
                uint32_t code = 0;
                size_t digits = 0;
                if (pos_ < s_.size() && s_[pos_] == '$') {
                    ++pos_;
                    int d;
                    while (pos_ < s_.size() && (d = hexDigit(static_cast<unsigned char>(s_[pos_]))) >= 0) {
                        code = code * 16 + static_cast<uint32_t>(d);
                        if (code > 0x10FFFF)
                            fail(sceNumberFormat, t);
                        ++digits;
                        ++pos_;
                    }
                } else {
                    while (pos_ < s_.size() && isDigit(static_cast<unsigned char>(s_[pos_]))) {
                        code = code * 10 + static_cast<uint32_t>(s_[pos_] - '0');
                        if (code > 0x10FFFF)
                            fail(sceNumberFormat, t);
                        ++digits;
                        ++pos_;
                    }
                }
                if (digits == 0)
                    fail(sceNumberFormat, t);
                appendUtf8(t.Text, code);
            }
        }
        t.Kind = TTok::Text;
    }

    std::string_view s_;
    const std::string& scriptName_;
    size_t pos_ = 0;
    size_t lineStart_ = 0;
    int line_ = 1;
};

using Op = TScriptOpcode;

Op offset(Op base, int by) { return static_cast<Op>(static_cast<int>(base) + by); }

class TParser {
public:
    TParser(TScriptCode& code, const TScriptCode* context, std::string_view source)
        : code_(code), context_(context), lex_(source, code.ScriptName), out_(code.Instructions)
    {
        regions_.push_back({-1, 0});
    }

    void CompileRoutine()
    {
        next();
        if (tok_.Kind == TTok::Procedure || tok_.Kind == TTok::Function)
            parseHeader();
        parseDeclarations();
        code_.Instructions.push_back({Op::ENTER, 0, 0, 0}); // patched below
        expect(TTok::Begin);
        next();
        parseStatementList();
        expect(TTok::EndKw);
        next();
        expect(TTok::Semicolon);
        next();
        if (tok_.Kind != TTok::End)
            fail(sceSyntax);
        resolveGotos();
        const int exitPc = pc();
        for (int at : exits_)
            out_[at].A = exitPc;
        emit(Op::EXIT, code_.ResultSlot, 0, code_.ReturnsValue ? 1 : 0);
        // ENTER belongs at pc 0, but the declarations are only known now.
        TScriptInstr enter{Op::ENTER, 0, static_cast<uint16_t>(code_.Symbols.size()), code_.ParamCount};
        out_.front() = enter;
        code_.MaxStack = maxStack_;
    }

    void CompileExpression()
    {
        next();
        parseExpression();
        if (tok_.Kind != TTok::End)
            fail(sceSyntax);
        emit(Op::EXIT, -1, 0, 2);
        code_.MaxStack = maxStack_;
    }

private:
    struct TPending {
        enum Kind : uint8_t { Var, Elem, Host, Member } K = Var;
        int Slot = 0;
        int Name = 0;
        int Count = 0;
        TMemberAccess Access = TMemberAccess::Plain;
    };
    struct TRegion {
        int Parent;
        int Depth;
    };
    struct TLoop {
        int Region;
        int ContinuePc; // -1: not known yet, see Continues
        std::vector<int> Breaks;
        std::vector<int> Continues;
    };
    struct TLabel {
        std::string_view Name;
        int Pc;
        int Region;
    };
    struct TGoto {
        std::string_view Name;
        int At;
        int Region;
        int Line, Col;
    };

    // Guards every recursion of the parser.
    struct TDepth {
        TParser& P;
        explicit TDepth(TParser& p) : P(p)
        {
            if (++P.depth_ > kMaxScriptNesting)
                P.fail(sceSyntax, "Nesting too deep");
        }
        ~TDepth() { --P.depth_; }
    };

    // ---- tokens and errors

    void next() { lex_.Next(tok_); }

    [[noreturn]] void failAt(int number, int line, int col, std::string extra = {})
    {
        compileError(number, line, col, code_.ScriptName, std::move(extra));
    }
    [[noreturn]] void fail(int number, std::string extra = {})
    {
        // Running out of text where more was needed is its own error.
        if (number == sceSyntax && tok_.Kind == TTok::End && extra.empty())
            number = sceUnexpectedEnd;
        failAt(number, tok_.Line, tok_.Col, std::move(extra));
    }
    void expect(TTok kind)
    {
        if (tok_.Kind != kind)
            fail(sceSyntax);
    }

    // ---- symbols

    const std::vector<TScriptSymbol>& symbols() const { return context_ ? context_->Symbols : code_.Symbols; }

    int findSymbol(std::string_view name) const
    {
        const auto& syms = symbols();
        for (size_t i = 0; i < syms.size(); ++i)
            if (SameScriptName(syms[i].Name, name))
                return static_cast<int>(i);
        // Inside a function its own name stands for `result`.
        const TScriptCode& owner = context_ ? *context_ : code_;
        if (owner.ResultSlot >= 0 && !owner.ScriptName.empty() && SameScriptName(owner.ScriptName, name))
            return owner.ResultSlot;
        return -1;
    }

    void declare(std::string_view name, uint8_t kind, bool isParam, int line, int col, TVariant value = {})
    {
        for (const auto& s : code_.Symbols)
            if (SameScriptName(s.Name, name))
                failAt(sceRedeclared, line, col, std::string(name));
        if (code_.Symbols.size() >= kMaxScriptSymbols)
            failAt(sceParserInternal, line, col, "Too many identifiers");
        code_.Symbols.push_back({std::string(name), kind, isParam, std::move(value)});
    }

    int internName(std::string_view name)
    {
        for (size_t i = 0; i < code_.Names.size(); ++i)
            if (SameScriptName(code_.Names[i], name))
                return static_cast<int>(i);
        code_.Names.emplace_back(name);
        return static_cast<int>(code_.Names.size() - 1);
    }

    int addConstant(TVariant value)
    {
        code_.Constants.push_back(std::move(value));
        return static_cast<int>(code_.Constants.size() - 1);
    }

    // ---- emitting

    int pc() const { return static_cast<int>(out_.size()); }
    int emit(Op op, int a = 0, int b = 0, int c = 0)
    {
        out_.push_back({op, static_cast<uint8_t>(c), static_cast<uint16_t>(b), a});
        return pc() - 1;
    }
    int push()
    {
        int at = emit(Op::PUSH);
        if (++stack_ > maxStack_) {
            maxStack_ = stack_;
            if (maxStack_ > 60000)
                fail(sceParserInternal, "Expression too large");
        }
        return at;
    }
    void popped(int n) { stack_ -= n; }

    // The right operand of a binary operator is compiled after a PUSH of the
    // left one. When it came out as a single load of a frame slot or a
    // constant, the three instructions become one that takes the left
    // operand from R and the right one directly (_V, _K). When instead the
    // left operand is a single load of a frame slot and the right one calls
    // nothing that could change that slot, the left load and the PUSH go
    // and the operator reads the slot itself after the right operand (_L).
    void emitBinary(Op base, int pushAt, int leftStart)
    {
        if (pc() == pushAt + 2) {
            const TScriptInstr last = out_.back();
            if (last.Op == Op::LOADK || last.Op == Op::LOADVAR) {
                out_.pop_back();
                out_.pop_back();
                emit(offset(base, last.Op == Op::LOADVAR ? 1 : 2), last.A);
                popped(1);
                return;
            }
        }
        if (pushAt == leftStart + 1 && out_[leftStart].Op == Op::LOADVAR && callsNothing(pushAt + 1)) {
            const int slot = out_[leftStart].A;
            out_.erase(out_.begin() + leftStart, out_.begin() + pushAt + 1);
            for (int i = leftStart; i < pc(); ++i)
                if (out_[i].Op == Op::JUMPSHORT)
                    out_[i].A -= 2;
            emit(offset(base, 3), slot);
            popped(1);
            return;
        }
        emit(base);
        popped(1);
    }

    bool callsNothing(int from) const
    {
        for (int i = from; i < pc(); ++i) {
            const Op op = out_[i].Op;
            if (op == Op::LOADHOST || op == Op::LOADMEMBER || op == Op::LOADADDR)
                return false;
        }
        return true;
    }

    // The conditional jump of if and while; a comparison with a slot or a
    // constant right before it becomes part of the jump.
    int emitJumpFalse(int conditionStart)
    {
        if (pc() > conditionStart) {
            const TScriptInstr last = out_.back();
            const int rel = static_cast<int>(last.Op) - static_cast<int>(Op::PLUS);
            const int family = rel / 4, form = rel % 4;
            const int firstComparison = (static_cast<int>(Op::EQ) - static_cast<int>(Op::PLUS)) / 4;
            if (rel >= 0 && family >= firstComparison && family < firstComparison + 6 && (form == 1 || form == 2) &&
                last.A >= 0 && last.A <= 0xFFFF) {
                out_.back() = {form == 1 ? Op::JUMPCMP_V : Op::JUMPCMP_K, static_cast<uint8_t>(family - firstComparison),
                               static_cast<uint16_t>(last.A), 0};
                return pc() - 1;
            }
        }
        return emit(Op::JUMPFALSE);
    }

    void emitLoadSymbol(int slot)
    {
        const TScriptSymbol& s = symbols()[slot];
        if (s.Kind == sskConst && !s.IsParam)
            emit(Op::LOADK, addConstant(s.Value));
        else if (s.Kind == sskLocal || s.Kind == sskValueParam)
            emit(Op::LOADVAR, slot);
        else
            emit(Op::LOADREF, slot);
    }

    bool byReference(int slot) const
    {
        const TScriptSymbol& s = symbols()[slot];
        return s.Kind == sskOutParam || s.Kind == sskVarParam || (s.Kind == sskConst && s.IsParam);
    }

    void materialize(const TPending& p)
    {
        switch (p.K) {
        case TPending::Var:
            emitLoadSymbol(p.Slot);
            break;
        case TPending::Elem:
            emit(byReference(p.Slot) ? Op::LOADELEMREF : Op::LOADELEM, p.Slot, p.Count);
            popped(p.Count);
            break;
        case TPending::Host:
            emit(Op::LOADHOST, p.Name, p.Count, static_cast<int>(p.Access));
            popped(p.Count);
            break;
        case TPending::Member:
            emit(Op::LOADMEMBER, p.Name, p.Count, static_cast<int>(p.Access));
            popped(p.Count + 1);
            break;
        }
    }

    void emitStore(const TPending& p)
    {
        switch (p.K) {
        case TPending::Var:
            emit(byReference(p.Slot) ? Op::STOREREF : Op::STOREVAR, p.Slot);
            break;
        case TPending::Elem:
            emit(byReference(p.Slot) ? Op::STOREELEMREF : Op::STOREELEM, p.Slot, p.Count);
            popped(p.Count);
            break;
        case TPending::Host:
            emit(Op::STOREHOST, p.Name, p.Count, static_cast<int>(p.Access));
            popped(p.Count);
            break;
        case TPending::Member:
            emit(Op::STOREMEMBER, p.Name, p.Count, static_cast<int>(p.Access));
            popped(p.Count + 1);
            break;
        }
    }

    // Jumps that may leave try blocks: a plain jump inside one block, LEAVE
    // (which runs the finally parts on the way) out of nested ones.
    int emitJumpTo(int target, int targetRegion)
    {
        if (targetRegion == region_)
            return emit(target >= 0 && target <= pc() ? Op::LOOP : Op::JUMP, target);
        return emit(Op::LEAVE, target, regions_[targetRegion].Depth);
    }

    void patchHere(int at) { out_[at].A = pc(); }

    int enterRegion()
    {
        regions_.push_back({region_, regions_[region_].Depth + 1});
        int saved = region_;
        region_ = static_cast<int>(regions_.size() - 1);
        return saved;
    }

    bool regionEncloses(int outer, int inner) const
    {
        for (int r = inner; r >= 0; r = regions_[r].Parent)
            if (r == outer)
                return true;
        return false;
    }

    // ---- header and declarations

    void parseHeader()
    {
        code_.Description = trimmed(lex_.LastComment);
        const bool isFunction = tok_.Kind == TTok::Function;
        next();
        if (tok_.Kind == TTok::Ident) {
            code_.ScriptName = std::string(tok_.Name);
            next();
        }
        if (tok_.Kind == TTok::LParen)
            parseParameters();
        if (isFunction) {
            // A result type, as Pascal programmers write it, is read and ignored.
            if (tok_.Kind == TTok::Colon) {
                next();
                expect(TTok::Ident);
                next();
            }
            code_.ReturnsValue = true;
            code_.ResultSlot = static_cast<int>(code_.Symbols.size());
            declare("result", sskLocal, false, tok_.Line, tok_.Col);
        }
        expect(TTok::Semicolon);
        next();
    }

    void parseParameters()
    {
        next(); // (
        for (;;) {
            uint8_t kind = sskValueParam;
            switch (tok_.Kind) {
            case TTok::In: kind = sskValueParam; next(); break;
            case TTok::Out: kind = sskOutParam; next(); break;
            case TTok::Var: kind = sskVarParam; next(); break;
            case TTok::Const: kind = sskConst; next(); break;
            default: break;
            }
            for (;;) {
                if (tok_.Kind != TTok::Ident)
                    fail(sceInvalidParameter);
                declare(tok_.Name, kind, true, tok_.Line, tok_.Col);
                ++code_.ParamCount;
                next();
                if (tok_.Kind != TTok::Comma)
                    break;
                next();
            }
            if (tok_.Kind == TTok::Colon) {
                next();
                if (tok_.Kind != TTok::Ident)
                    fail(sceInvalidParameter);
                next();
            }
            if (tok_.Kind == TTok::Semicolon) {
                next();
                if (tok_.Kind == TTok::RParen)
                    break;
                continue;
            }
            if (tok_.Kind == TTok::RParen)
                break;
            fail(sceSyntax);
        }
        next(); // )
    }

    void parseDeclarations()
    {
        for (;;) {
            if (tok_.Kind == TTok::Var) {
                // One group per `var`: a second group needs its own `var`.
                next();
                for (;;) {
                    expect(TTok::Ident);
                    declare(tok_.Name, sskLocal, false, tok_.Line, tok_.Col);
                    next();
                    if (tok_.Kind != TTok::Comma)
                        break;
                    next();
                }
                if (tok_.Kind == TTok::Colon) {
                    next();
                    expect(TTok::Ident);
                    next();
                }
                expect(TTok::Semicolon);
                next();
            } else if (tok_.Kind == TTok::Const) {
                next();
                do {
                    expect(TTok::Ident);
                    const std::string_view name = tok_.Name;
                    const int line = tok_.Line, col = tok_.Col;
                    next();
                    expect(TTok::Eq);
                    next();
                    TVariant value = parseConstant();
                    declare(name, sskConst, false, line, col, std::move(value));
                    expect(TTok::Semicolon);
                    next();
                } while (tok_.Kind == TTok::Ident);
            } else {
                return;
            }
        }
    }

    TVariant parseConstant()
    {
        TVariant value;
        switch (tok_.Kind) {
        case TTok::Text: value = TVariant(tok_.Text); break;
        case TTok::Integer: value = TVariant(tok_.Int); break;
        case TTok::Float: value = TVariant(tok_.Float); break;
        case TTok::True: value = TVariant(true); break;
        case TTok::False: value = TVariant(false); break;
        case TTok::Null: value = TVariant::Null(); break;
        default: fail(sceConstantExpected);
        }
        next();
        return value;
    }

    // ---- statements

    static bool endsStatement(TTok k)
    {
        return k == TTok::Semicolon || k == TTok::EndKw || k == TTok::Until || k == TTok::Finally ||
               k == TTok::Except || k == TTok::Else || k == TTok::End;
    }

    void parseStatementList()
    {
        for (;;) {
            parseStatement();
            if (tok_.Kind != TTok::Semicolon)
                return;
            next();
        }
    }

    void parseStatement()
    {
        TDepth depth(*this);
        if (stack_ != 0)
            fail(sceParserInternal);
        switch (tok_.Kind) {
        case TTok::Ident: {
            const std::string_view name = tok_.Name;
            const int line = tok_.Line, col = tok_.Col;
            next();
            if (tok_.Kind == TTok::Colon) {
                defineLabel(name, line, col);
                next();
                parseStatement();
            } else {
                designatorStatement(name, line, col);
            }
            return;
        }
        case TTok::Begin:
            next();
            parseStatementList();
            expect(TTok::EndKw);
            next();
            return;
        case TTok::If: parseIf(); return;
        case TTok::While: parseWhile(); return;
        case TTok::Repeat: parseRepeat(); return;
        case TTok::For: parseFor(); return;
        case TTok::Try: parseTry(); return;
        case TTok::Raise:
            next();
            parseExpression();
            emit(Op::RAISE);
            return;
        case TTok::Goto: {
            next();
            expect(TTok::Ident);
            gotos_.push_back({tok_.Name, emit(Op::JUMP), region_, tok_.Line, tok_.Col});
            next();
            return;
        }
        case TTok::Break:
        case TTok::Continue: {
            if (loops_.empty())
                fail(sceSyntax);
            const bool isBreak = tok_.Kind == TTok::Break;
            next();
            TLoop& loop = loops_.back();
            if (isBreak)
                loop.Breaks.push_back(emitJumpTo(-1, loop.Region));
            else if (loop.ContinuePc >= 0)
                emitJumpTo(loop.ContinuePc, loop.Region);
            else
                loop.Continues.push_back(emitJumpTo(-1, loop.Region));
            return;
        }
        case TTok::Exit:
            next();
            exits_.push_back(emitJumpTo(-1, 0));
            return;
        default:
            if (endsStatement(tok_.Kind))
                return; // the empty statement
            fail(sceSyntax);
        }
    }

    void defineLabel(std::string_view name, int line, int col)
    {
        for (const auto& l : labels_)
            if (SameScriptName(l.Name, name))
                failAt(sceLabelRedeclared, line, col, std::string(name));
        labels_.push_back({name, pc(), region_});
    }

    void resolveGotos()
    {
        for (const auto& g : gotos_) {
            const TLabel* label = nullptr;
            for (const auto& l : labels_)
                if (SameScriptName(l.Name, g.Name))
                    label = &l;
            if (!label)
                failAt(sceLabelNotFound, g.Line, g.Col, std::string(g.Name));
            // Out of try blocks is fine (their finally parts run); into one
            // would skip its start.
            if (!regionEncloses(label->Region, g.Region))
                failAt(sceSyntax, g.Line, g.Col, std::string(g.Name));
            TScriptInstr& j = out_[g.At];
            if (label->Region == g.Region) {
                j.Op = label->Pc <= g.At ? Op::LOOP : Op::JUMP;
            } else {
                j.Op = Op::LEAVE;
                j.B = static_cast<uint16_t>(regions_[label->Region].Depth);
            }
            j.A = label->Pc;
        }
    }

    void designatorStatement(std::string_view name, int line, int col)
    {
        TPending p = parseDesignator(name, line, col);
        if (tok_.Kind != TTok::Assign) {
            materialize(p); // a call; its value is dropped
            return;
        }
        if ((p.K == TPending::Host || p.K == TPending::Member) && p.Access == TMemberAccess::Call)
            fail(sceAssignableExpected);
        if ((p.K == TPending::Var || p.K == TPending::Elem) && symbols()[p.Slot].Kind == sskConst)
            failAt(sceNotAssignable, line, col, std::string(name));
        next();
        parseExpression();
        emitStore(p);
    }

    void parseIf()
    {
        next();
        const int condition = pc();
        parseExpression();
        expect(TTok::Then);
        next();
        const int jumpFalse = emitJumpFalse(condition);
        parseStatement();
        if (tok_.Kind == TTok::Else) {
            const int jumpEnd = emit(Op::JUMP);
            patchHere(jumpFalse);
            next();
            parseStatement();
            patchHere(jumpEnd);
        } else {
            patchHere(jumpFalse);
        }
    }

    void parseWhile()
    {
        next();
        const int top = pc();
        parseExpression();
        expect(TTok::Do);
        next();
        const int jumpFalse = emitJumpFalse(top);
        loops_.push_back({region_, top, {}, {}});
        parseStatement();
        emit(Op::LOOP, top);
        patchHere(jumpFalse);
        closeLoop();
    }

    void parseRepeat()
    {
        next();
        const int top = pc();
        loops_.push_back({region_, -1, {}, {}});
        parseStatementList();
        expect(TTok::Until);
        next();
        for (int at : loops_.back().Continues)
            patchHere(at);
        loops_.back().Continues.clear();
        parseExpression();
        const int jumpTrue = emit(Op::JUMPTRUE);
        emit(Op::LOOP, top);
        patchHere(jumpTrue);
        closeLoop();
    }

    void parseFor()
    {
        next();
        expect(TTok::Ident);
        const int slot = findSymbol(tok_.Name);
        if (slot < 0 || (symbols()[slot].Kind != sskLocal && symbols()[slot].Kind != sskValueParam))
            fail(sceLoopVariable, std::string(tok_.Name));
        next();
        expect(TTok::Assign);
        next();
        parseExpression();
        emit(Op::STOREVAR, slot);
        int dir;
        if (tok_.Kind == TTok::To)
            dir = 0;
        else if (tok_.Kind == TTok::Downto)
            dir = 1;
        else
            fail(sceToDowntoExpected);
        next();
        // The end value is evaluated again before every pass; a constant
        // one is tested by the instruction that steps the variable.
        const int test = pc();
        parseExpression();
        const bool constantEnd = pc() == test + 1 && out_[test].Op == Op::LOADK && out_[test].A <= 0xFFFF;
        const int endConstant = out_[test].A;
        expect(TTok::Do);
        next();
        const int forTest = emit(Op::FORTEST, 0, slot, dir);
        const int body = pc();
        loops_.push_back({region_, -1, {}, {}});
        parseStatement();
        for (int at : loops_.back().Continues)
            patchHere(at);
        loops_.back().Continues.clear();
        if (constantEnd)
            emit(dir == 0 ? Op::FORNEXT : Op::FORNEXTDOWN, body, endConstant, slot);
        else
            emit(Op::FORSTEP, test, slot, dir);
        patchHere(forTest);
        closeLoop();
    }

    void closeLoop()
    {
        for (int at : loops_.back().Breaks)
            patchHere(at);
        loops_.pop_back();
    }

    void parseTry()
    {
        next();
        const int tryAt = emit(Op::TRYFINALLY);
        int saved = enterRegion();
        parseStatementList();
        region_ = saved;
        if (tok_.Kind == TTok::Finally) {
            emit(Op::ENDTRYFINALLY);
            patchHere(tryAt);
            next();
            saved = enterRegion();
            parseStatementList();
            region_ = saved;
            emit(Op::ENDFINALLY);
        } else if (tok_.Kind == TTok::Except) {
            out_[tryAt].Op = Op::TRYEXCEPT;
            const int skip = emit(Op::ENDTRYEXCEPT);
            patchHere(tryAt);
            next();
            saved = enterRegion();
            parseStatementList();
            region_ = saved;
            emit(Op::ENDEXCEPT);
            patchHere(skip);
        } else {
            fail(sceSyntax);
        }
        expect(TTok::EndKw);
        next();
    }

    // ---- designators and expressions

    int parseArguments(TTok close)
    {
        int count = 0;
        for (;;) {
            parseExpression();
            push();
            ++count;
            if (tok_.Kind != TTok::Comma)
                break;
            next();
        }
        expect(close);
        next();
        return count;
    }

    // name [ (args) | [indices] ] { . name [ (args) | [indices] ] }; the
    // last part is left pending so the caller can load or store it.
    TPending parseDesignator(std::string_view name, int line, int col)
    {
        TPending p;
        const int slot = findSymbol(name);
        if (slot >= 0) {
            p.K = TPending::Var;
            p.Slot = slot;
            if (tok_.Kind == TTok::LParen)
                fail(sceSyntax);
            if (tok_.Kind == TTok::LBracket) {
                next();
                p.K = TPending::Elem;
                p.Count = parseArguments(TTok::RBracket);
            }
        } else {
            p.K = TPending::Host;
            p.Name = internName(name);
            parseAccess(p);
        }
        while (tok_.Kind == TTok::Dot) {
            next();
            materialize(p);
            push();
            expect(TTok::Ident);
            p = TPending{};
            p.K = TPending::Member;
            p.Name = internName(tok_.Name);
            next();
            parseAccess(p);
        }
        return p;
    }

    void parseAccess(TPending& p)
    {
        if (tok_.Kind == TTok::LParen) {
            next();
            p.Access = TMemberAccess::Call;
            p.Count = parseArguments(TTok::RParen);
        } else if (tok_.Kind == TTok::LBracket) {
            next();
            p.Access = TMemberAccess::Index;
            p.Count = parseArguments(TTok::RBracket);
        }
    }

    static bool binaryOf(TTok k, int level, Op& op)
    {
        switch (level) {
        case 0:
            switch (k) {
            case TTok::Eq: op = Op::EQ; return true;
            case TTok::Ne: op = Op::NE; return true;
            case TTok::Lt: op = Op::LT; return true;
            case TTok::Gt: op = Op::GT; return true;
            case TTok::Le: op = Op::LE; return true;
            case TTok::Ge: op = Op::GE; return true;
            default: return false;
            }
        case 1:
            switch (k) {
            case TTok::Plus: op = Op::PLUS; return true;
            case TTok::Minus: op = Op::MINUS; return true;
            case TTok::Or: op = Op::OR; return true;
            case TTok::Xor: op = Op::XOR; return true;
            default: return false;
            }
        default:
            switch (k) {
            case TTok::Star: op = Op::MUL; return true;
            case TTok::Slash: op = Op::DIV; return true;
            case TTok::Div: op = Op::IDIV; return true;
            case TTok::Mod: op = Op::MOD; return true;
            case TTok::And: op = Op::AND; return true;
            default: return false;
            }
        }
    }

    // Precedence levels: 0 relational, 1 additive, 2 multiplicative; all
    // associate to the left, so "X > 5 and Y < 3" is X > (5 and Y) < 3.
    void parseLevel(int level)
    {
        if (level == 3) {
            parseFactor();
            return;
        }
        const int leftStart = pc();
        parseLevel(level + 1);
        Op op;
        while (binaryOf(tok_.Kind, level, op)) {
            next();
            int shortCut = -1;
            if (op == Op::AND || op == Op::OR)
                shortCut = emit(Op::JUMPSHORT, 0, 0, op == Op::OR ? 1 : 0);
            const int pushAt = push();
            parseLevel(level + 1);
            emitBinary(op, pushAt, leftStart);
            if (shortCut >= 0)
                patchHere(shortCut);
        }
    }

    void parseExpression() { parseLevel(0); }

    void parseFactor()
    {
        TDepth depth(*this);
        switch (tok_.Kind) {
        case TTok::Plus:
            next();
            parseFactor();
            emit(Op::UPLUS);
            return;
        case TTok::Minus: {
            next();
            const int start = pc();
            parseFactor();
            if (pc() == start + 1 && out_.back().Op == Op::LOADK && code_.Constants[out_.back().A].IsNumber()) {
                TVariant& k = code_.Constants[out_.back().A];
                k = ScriptNegate(k); // a negative literal
                return;
            }
            emit(Op::UMINUS);
            return;
        }
        case TTok::Not:
            next();
            parseFactor();
            emit(Op::NOT);
            return;
        default:
            parsePrimary();
        }
    }

    void parsePrimary()
    {
        switch (tok_.Kind) {
        case TTok::LParen:
            next();
            parseExpression();
            expect(TTok::RParen);
            next();
            return;
        case TTok::Integer: emit(Op::LOADK, addConstant(TVariant(tok_.Int))); next(); return;
        case TTok::Float: emit(Op::LOADK, addConstant(TVariant(tok_.Float))); next(); return;
        case TTok::Text: emit(Op::LOADK, addConstant(TVariant(tok_.Text))); next(); return;
        case TTok::True: emit(Op::LOADK, addConstant(TVariant(true))); next(); return;
        case TTok::False: emit(Op::LOADK, addConstant(TVariant(false))); next(); return;
        case TTok::Null: emit(Op::LOADK, addConstant(TVariant::Null())); next(); return;
        case TTok::Exception: emit(Op::LOADEXC); next(); return;
        case TTok::At: {
            next();
            expect(TTok::Ident);
            const int slot = findSymbol(tok_.Name);
            // Only a script variable has an address.
            if (slot < 0)
                fail(sceMethodCallForm, std::string(tok_.Name));
            next();
            if (tok_.Kind == TTok::LParen || tok_.Kind == TTok::LBracket || tok_.Kind == TTok::Dot)
                fail(sceMethodCallForm);
            emit(Op::LOADADDR, slot);
            return;
        }
        case TTok::Ident: {
            const std::string_view name = tok_.Name;
            const int line = tok_.Line, col = tok_.Col;
            next();
            materialize(parseDesignator(name, line, col));
            if (tok_.Kind == TTok::Assign)
                fail(sceAssignmentInExpression);
            return;
        }
        case TTok::Assign:
            fail(sceAssignmentInExpression);
        default:
            fail(sceSyntax);
        }
    }

    static std::string trimmed(std::string_view s)
    {
        auto blank = [](char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\b' || c == '\r'; };
        while (!s.empty() && blank(s.front()))
            s.remove_prefix(1);
        while (!s.empty() && blank(s.back()))
            s.remove_suffix(1);
        return std::string(s);
    }

    TScriptCode& code_;
    const TScriptCode* context_;
    TLexer lex_;
    TToken tok_;
    std::vector<TScriptInstr>& out_;
    int depth_ = 0;
    int stack_ = 0;
    int maxStack_ = 0;
    int region_ = 0;
    std::vector<TRegion> regions_;
    std::vector<TLoop> loops_;
    std::vector<TLabel> labels_;
    std::vector<TGoto> gotos_;
    std::vector<int> exits_;
};

} // namespace

bool IsScriptKeyword(std::string_view word) noexcept { return keywordOf(word) != TTok::Ident; }

void TPasScriptCompiler::Compile(TScriptCode& code, const TScriptCode* context) const
{
    // Carriage returns are dropped wherever they occur.
    std::string filtered;
    std::string_view source = code.Code;
    if (source.find('\r') != std::string_view::npos) {
        filtered.reserve(source.size());
        for (char c : source)
            if (c != '\r')
                filtered += c;
        source = filtered;
    }
    code.Instructions.reserve(source.size() / 4 + 8);
    TParser parser(code, code.IsExpression ? context : nullptr, source);
    if (code.IsExpression)
        parser.CompileExpression();
    else
        parser.CompileRoutine();
}

} // namespace telvo

