#pragma once
// A code unit: the source of one script and, once compiled, its symbol table
// and its instructions for the runner's stack machine (one result register,
// R; a value stack whose frame holds the routine's parameters and locals).

#include "runtime/script/script_value.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

// Symbol kinds, as numbered in the symbol table.
enum : uint8_t {
    sskLocal = 0,
    sskValueParam = 1,
    sskOutParam = 2,
    sskVarParam = 3,
    sskConst = 4, // a constant, or a const parameter (IsParam)
};

struct TScriptSymbol {
    std::string Name;
    uint8_t Kind = sskLocal;
    bool IsParam = false;
    TVariant Value; // a constant's value
};

// The instruction set. A binary operator comes in four forms: the plain one
// pops its left operand and takes its right one from R; when an operand is
// that simple, the compiler fuses it in: _V takes the right operand from a
// frame slot, _K from a constant, _L the left operand from a frame slot
// (and the right one from R). The result always goes to R.
#define TELVO_SCRIPT_BINARY_OPS(X) X(PLUS) X(MINUS) X(MUL) X(DIV) X(IDIV) X(MOD) \
    X(EQ) X(NE) X(LT) X(GT) X(LE) X(GE) X(AND) X(OR) X(XOR)

enum class TScriptOpcode : uint8_t {
    NOP,
    BREAKPOINT,
#define TELVO_OPS_ENUM(name) name, name##_V, name##_K, name##_L,
    TELVO_SCRIPT_BINARY_OPS(TELVO_OPS_ENUM)
#undef TELVO_OPS_ENUM
    UPLUS,
    UMINUS,
    NOT,
    LOADK,         // R := K[a] (text, integer, float, Boolean or null literal)
    LOADVAR,       // R := frame[a]
    LOADREF,       // R := the cell frame[a] refers to
    LOADELEM,      // pops b indices; R := frame[a][index]
    LOADELEMREF,   // the same through a reference
    LOADADDR,      // R := reference to frame[a] (or the reference it holds)
    LOADHOST,      // pops b arguments; R := host name Names[a], access c
    LOADMEMBER,    // pops b arguments and the object; R := object.Names[a], access c
    STOREVAR,      // frame[a] := R
    STOREREF,      // the cell frame[a] refers to := R
    STOREELEM,     // pops b indices; frame[a][index] := R
    STOREELEMREF,  // the same through a reference
    STOREHOST,     // pops b indices; host Names[a] := R
    STOREMEMBER,   // pops b indices and the object; object.Names[a] := R
    INC,           // frame[a] := frame[a] + 1
    DEC,           // frame[a] := frame[a] - 1
    PUSH,          // push R
    POP,           // R := pop
    WITHBEGIN,     // reserved: the language has no with statement
    WITHEND,
    JUMP,          // pc := a
    JUMPFALSE,     // pc := a when R counts as false
    JUMPTRUE,      // pc := a when R counts as true
    JUMPSHORT,     // and/or: pc := a when R alone decides (c: 0 and, 1 or)
    JUMPCMP_V,     // pc := a unless R compares (c: 0 =, 1 <>, 2 <, 3 >, 4 <=, 5 >=) true with frame[b]
    JUMPCMP_K,     // the same with constant b
    LOOP,          // backward jump: pc := a, after checking for termination
    FORTEST,       // frame[b] compared with R (c: 0 to, 1 downto); pc := a when the loop is done
    FORSTEP,       // frame[b] := frame[b] +/- 1 (c: 0 to, 1 downto), then LOOP a
    FORNEXT,       // a for loop up to a constant: frame[c] := frame[c] + 1, and when it is
                   // still <= K[b], LOOP a (the body)
    FORNEXTDOWN,   // the same down to a constant
    LEAVE,         // jump to a, leaving try blocks down to depth b (finally parts run)
    TRYFINALLY,    // enter a try block whose finally part starts at a
    TRYEXCEPT,     // enter a try block whose except part starts at a
    ENDTRYFINALLY, // the try part ended normally: on into the finally part
    ENDTRYEXCEPT,  // the try part ended normally: pc := a, past the except part
    ENDFINALLY,    // end of a finally part: re-raise the pending exception or finish a pending jump
    ENDEXCEPT,     // end of an except part: the exception is cleared
    RAISE,         // raise R
    LOADEXC,       // R := the exception being handled
    ENTER,         // begin of routine
    EXIT,          // end of routine (a function's R is its result)
};

struct TScriptInstr {
    TScriptOpcode Op = TScriptOpcode::NOP;
    uint8_t C = 0;
    uint16_t B = 0;
    int32_t A = 0;
};
static_assert(sizeof(TScriptInstr) == 8);

class TScriptCode {
public:
    TScriptCode() = default;
    explicit TScriptCode(std::string code) : Code(std::move(code)) {}

    std::string ScriptName;  // the name in the procedure or function header
    std::string Language;    // empty: the default compiler
    std::string Description; // the last comment before the header, trimmed
    std::string Code;
    bool IsExpression = false;
    bool ReturnsValue = false; // a function

    bool Compiled() const noexcept { return compiled_; }
    // true compiles the code (throws EScriptCompileError and leaves the unit
    // uncompiled on error); false drops the compiled form.
    void SetCompiled(bool compiled);
    // Compiles an expression against the symbols of a running script, whose
    // frame it then shares (Evaluate).
    void CompileInContext(const TScriptCode* context);

    // The compiled form.
    std::vector<TScriptSymbol> Symbols; // parameters first, in declaration order
    std::vector<TScriptInstr> Instructions;
    std::vector<TVariant> Constants;
    std::vector<std::string> Names; // names resolved on the host at run time
    int ParamCount = 0;
    int ResultSlot = -1;   // a function's `result`
    int MaxStack = 0;      // values the instructions push at most
    const TScriptCode* Context = nullptr; // the script an expression runs in

    // Drops the compiled form.
    void Clear();

private:
    bool compiled_ = false;
};

// The symbol table holds at most this many entries.
inline constexpr size_t kMaxScriptSymbols = 255;

class TScriptCompiler {
public:
    virtual ~TScriptCompiler() = default;
    virtual std::string_view Name() const noexcept = 0;
    // Fills the compiled form of code (context: see CompileInContext).
    virtual void Compile(TScriptCode& code, const TScriptCode* context) const = 0;
};

// The compiler registered under the language name (any case); empty gives
// the default, Pascal. Raises "Compiler not found for <language>".
const TScriptCompiler& FindScriptCompiler(std::string_view language);

} // namespace telvo
