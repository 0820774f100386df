#include "runtime/script/script_runner.h"

#include "runtime/script/script_errors.h"

#include <algorithm>
#include <climits>

namespace telvo {

namespace {

using Op = TScriptOpcode;

constexpr TScriptOp operatorOf(Op base) { return static_cast<TScriptOp>((static_cast<int>(base) - static_cast<int>(Op::PLUS)) / 4); }

// The common cases of a binary operator without leaving the dispatch loop:
// two integers, two numbers, two Booleans. False hands the case to
// ScriptBinary, which knows every rule. r may be the same value as a.
template <TScriptOp op>
inline bool fastBinary(const TVariant& a, const TVariant& b, TVariant& r) noexcept
{
    const TVariantKind ka = a.Kind(), kb = b.Kind();
    if (ka == TVariantKind::Integer && kb == TVariantKind::Integer) {
        const int32_t x = a.AsInteger(), y = b.AsInteger();
        int32_t z;
        if constexpr (op == TScriptOp::Plus) {
            if (__builtin_add_overflow(x, y, &z))
                return false;
            r.SetInteger(z);
        } else if constexpr (op == TScriptOp::Minus) {
            if (__builtin_sub_overflow(x, y, &z))
                return false;
            r.SetInteger(z);
        } else if constexpr (op == TScriptOp::Mul) {
            if (__builtin_mul_overflow(x, y, &z))
                return false;
            r.SetInteger(z);
        } else if constexpr (op == TScriptOp::Div) {
            if (y == 0)
                return false;
            r.SetFloat(static_cast<double>(x) / y);
        } else if constexpr (op == TScriptOp::IDiv) {
            if (y == 0 || (x == INT32_MIN && y == -1))
                return false;
            r.SetInteger(x / y);
        } else if constexpr (op == TScriptOp::Mod) {
            if (y == 0)
                return false;
            r.SetInteger(y == -1 ? 0 : x % y);
        } else if constexpr (op == TScriptOp::Eq) {
            r.SetBoolean(x == y);
        } else if constexpr (op == TScriptOp::Ne) {
            r.SetBoolean(x != y);
        } else if constexpr (op == TScriptOp::Lt) {
            r.SetBoolean(x < y);
        } else if constexpr (op == TScriptOp::Gt) {
            r.SetBoolean(x > y);
        } else if constexpr (op == TScriptOp::Le) {
            r.SetBoolean(x <= y);
        } else if constexpr (op == TScriptOp::Ge) {
            r.SetBoolean(x >= y);
        } else if constexpr (op == TScriptOp::And) {
            r.SetInteger(x & y);
        } else if constexpr (op == TScriptOp::Or) {
            r.SetInteger(x | y);
        } else {
            r.SetInteger(x ^ y);
        }
        return true;
    }
    if constexpr (op == TScriptOp::And || op == TScriptOp::Or || op == TScriptOp::Xor || op == TScriptOp::Eq ||
                  op == TScriptOp::Ne) {
        if (ka == TVariantKind::Boolean && kb == TVariantKind::Boolean) {
            const bool x = a.AsBoolean(), y = b.AsBoolean();
            if constexpr (op == TScriptOp::And)
                r.SetBoolean(x && y);
            else if constexpr (op == TScriptOp::Or)
                r.SetBoolean(x || y);
            else if constexpr (op == TScriptOp::Xor || op == TScriptOp::Ne)
                r.SetBoolean(x != y);
            else
                r.SetBoolean(x == y);
            return true;
        }
    }
    if constexpr (op == TScriptOp::IDiv || op == TScriptOp::Mod || op == TScriptOp::And || op == TScriptOp::Or ||
                  op == TScriptOp::Xor) {
        return false;
    } else {
        double x, y;
        if (ka == TVariantKind::Float)
            x = a.AsFloat();
        else if (ka == TVariantKind::Integer)
            x = a.AsInteger();
        else
            return false;
        if (kb == TVariantKind::Float)
            y = b.AsFloat();
        else if (kb == TVariantKind::Integer)
            y = b.AsInteger();
        else
            return false;
        if constexpr (op == TScriptOp::Plus)
            r.SetFloat(x + y);
        else if constexpr (op == TScriptOp::Minus)
            r.SetFloat(x - y);
        else if constexpr (op == TScriptOp::Mul)
            r.SetFloat(x * y);
        else if constexpr (op == TScriptOp::Div) {
            if (y == 0)
                return false;
            r.SetFloat(x / y);
        } else if constexpr (op == TScriptOp::Eq)
            r.SetBoolean(x == y);
        else if constexpr (op == TScriptOp::Ne)
            r.SetBoolean(x != y);
        else if constexpr (op == TScriptOp::Lt)
            r.SetBoolean(x < y);
        else if constexpr (op == TScriptOp::Gt)
            r.SetBoolean(x > y);
        else if constexpr (op == TScriptOp::Le)
            r.SetBoolean(x <= y);
        else
            r.SetBoolean(x >= y);
        return true;
    }
}

int32_t textIndex(const TVariant& text, const TVariant* indices, int count)
{
    if (count != 1)
        throw EScriptError("Multidimensional arrays are not supported");
    if (text.Kind() != TVariantKind::Text)
        throw EScriptError("Variable is not an array");
    const int32_t i = indices[0].Deref().ToInteger();
    if (i < 1 || static_cast<size_t>(i) > text.AsText().size())
        throw EScriptError("Index out of range: " + std::to_string(i));
    return i;
}

TVariant elementOf(const TVariant& value, const TVariant* indices, int count)
{
    const TVariant& text = value.Deref();
    const int32_t i = textIndex(text, indices, count);
    return TVariant(std::string(1, text.AsText()[static_cast<size_t>(i - 1)]));
}

void setElement(TVariant& target, const TVariant* indices, int count, const TVariant& value)
{
    TVariant& text = target.Deref();
    const int32_t i = textIndex(text, indices, count);
    const std::string c = value.Deref().ToText();
    if (c.size() != 1)
        throw EScriptError("Not a single character: '" + c + "'");
    text.MutableText()[static_cast<size_t>(i - 1)] = c[0];
}

} // namespace

TScriptRunner::TScriptRunner() : stack_(std::make_unique<TVariant[]>(kMaxStack)) { blocks_.reserve(16); }

TScriptRunner::~TScriptRunner() = default;

void TScriptRunner::Push(const TVariant& value)
{
    if (sp_ >= kMaxStack)
        throw EScriptError("Stack overflow");
    stack_[sp_++] = value;
}

void TScriptRunner::clearStack(size_t from, size_t to) noexcept
{
    to = std::min(to, kMaxStack);
    for (size_t i = from; i < to; ++i)
        stack_[i].Clear();
}

TVariant TScriptRunner::Execute(std::string_view text, TScriptObject* scope)
{
    if (text.find_first_not_of(" \t\r\n\b") == std::string_view::npos) {
        clearStack(argBase_, sp_);
        sp_ = argBase_;
        return {};
    }
    TScriptCode code{std::string(text)};
    try {
        code.SetCompiled(true);
    } catch (...) {
        clearStack(argBase_, sp_);
        sp_ = argBase_;
        throw;
    }
    return Run(code, scope);
}

TVariant TScriptRunner::Run(const TScriptCode& code, TScriptObject* scope)
{
    const size_t base = argBase_;
    auto fail = [&](const char* message) {
        clearStack(base, sp_);
        sp_ = base;
        throw EScriptError(message);
    };
    if (!code.Compiled())
        fail("Script not compiled");
    for (const TScriptInstr& i : code.Instructions)
        if (i.Op > Op::EXIT)
            fail("Unsupported instruction");
    if (code.IsExpression) {
        if (code.Context)
            fail("Parent process not found");
        if (sp_ != base)
            fail("Too many actual parameters");
        if (base + static_cast<size_t>(code.MaxStack) > kMaxStack)
            fail("Stack overflow");
        return runLevel(code, scope, base, base, base + static_cast<size_t>(code.MaxStack));
    }
    const size_t end = std::max(sp_, base + code.Symbols.size() + static_cast<size_t>(code.MaxStack));
    return runLevel(code, scope, base, sp_, end);
}

TVariant TScriptRunner::Evaluate(const std::string& expression)
{
    if (level_ == 0 || !code_)
        throw EScriptError("Parent process not found");
    // The expression sees the variables of the script that runs it, also
    // when that is itself an evaluated expression.
    const TScriptCode* script = code_->Context ? code_->Context : code_;
    TScriptCode expr{expression};
    expr.IsExpression = true;
    expr.CompileInContext(script);
    const size_t top = sp_;
    if (top + static_cast<size_t>(expr.MaxStack) > kMaxStack)
        throw EScriptError("Stack overflow");
    TVariant result = runLevel(expr, scope_, fp_, top, top + static_cast<size_t>(expr.MaxStack));
    if (sp_ != top)
        throw EScriptError("Incorrect stack restoration after execute. SPRT = " + std::to_string(sp_) +
                           ", saved_SPTR = " + std::to_string(top) + ".");
    return result;
}

// Runs one level: a routine over its arguments at fp (the values from fp to
// spStart), or an expression in the frame at fp. Whatever happens, the
// runner's state is as before when this returns or throws, and the stack
// from the level's first value up to clearEnd holds nothing any more.
TVariant TScriptRunner::runLevel(const TScriptCode& code, TScriptObject* scope, size_t fp, size_t spStart,
                                 size_t clearEnd)
{
    const size_t clearFrom = code.IsExpression ? spStart : fp;
    if (level_ >= kMaxNestedRuns) {
        clearStack(clearFrom, sp_);
        sp_ = clearFrom;
        throw EScriptError("Stack overflow");
    }
    const TState saved{code_, fp_, argBase_, blockBase_, scope_};
    TVariant savedException = std::move(exception_);
    exception_.Clear();
    if (level_ == 0)
        budgetLeft_ = InstructionBudget;
    code_ = &code;
    fp_ = fp;
    scope_ = scope;
    blockBase_ = blocks_.size();
    ++level_;
    auto finish = [&]() noexcept {
        --level_;
        blocks_.resize(blockBase_);
        clearStack(clearFrom, std::max(clearEnd, sp_));
        sp_ = clearFrom;
        code_ = saved.Code;
        fp_ = saved.Fp;
        argBase_ = saved.ArgBase;
        blockBase_ = saved.BlockBase;
        scope_ = saved.Scope;
        exception_ = std::move(savedException);
    };
    try {
        TVariant result = runLoop(code, fp, spStart);
        finish();
        return result;
    } catch (...) {
        finish();
        throw;
    }
}

TVariant TScriptRunner::runLoop(const TScriptCode& code, size_t fp, size_t sp)
{
    int pc = 0;
    for (;;) {
        try {
            return dispatch(code, pc, fp, sp);
        } catch (const EScriptAbort&) {
            throw;
        } catch (...) {
            if (!unwind(std::current_exception(), pc))
                throw;
            // Handlers start at a statement: nothing above the frame's slots.
            sp = fp + code.Symbols.size();
        }
    }
}

namespace {
TVariant valueOfError(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EVariantException& e) {
        return e.Value();
    } catch (const std::exception& e) {
        return TVariant(e.what());
    } catch (...) {
        return TVariant("Unknown exception");
    }
}
} // namespace

// Finds the innermost handler of the running level: a finally part runs
// with the exception pending, an except part runs with it as `exception`.
bool TScriptRunner::unwind(const std::exception_ptr& error, int& pc)
{
    if ((DebugOptions & sdoStopOnException) && OnDebugHook)
        OnDebugHook(*this, valueOfError(error).ToText());
    while (blocks_.size() > blockBase_) {
        TBlock& b = blocks_.back();
        switch (b.Kind) {
        case TBlockKind::TryFinally:
            b.Kind = TBlockKind::InFinally;
            b.Pending = TPending::Exception;
            b.Error = error;
            pc = b.Pc;
            return true;
        case TBlockKind::TryExcept:
            b.Kind = TBlockKind::InExcept;
            b.Pending = TPending::None;
            b.Saved = std::move(exception_);
            exception_ = valueOfError(error);
            pc = b.Pc;
            return true;
        case TBlockKind::InFinally:
            blocks_.pop_back();
            break;
        case TBlockKind::InExcept:
            exception_ = std::move(b.Saved);
            blocks_.pop_back();
            break;
        }
    }
    return false;
}

// Leaves blocks down to depth on the way to target; the first finally part
// on the way runs first, with the jump pending.
int TScriptRunner::leave(int target, int depth)
{
    const size_t keep = blockBase_ + static_cast<size_t>(depth);
    while (blocks_.size() > keep) {
        TBlock& b = blocks_.back();
        switch (b.Kind) {
        case TBlockKind::TryFinally:
            b.Kind = TBlockKind::InFinally;
            b.Pending = TPending::Jump;
            b.Target = target;
            b.Depth = depth;
            return b.Pc;
        case TBlockKind::InExcept:
            exception_ = std::move(b.Saved);
            blocks_.pop_back();
            break;
        default:
            blocks_.pop_back();
            break;
        }
    }
    return target;
}

// The end of a finally part: re-raises the pending exception, or returns
// where a pending jump goes on (-1: nothing pending).
int TScriptRunner::endFinally()
{
    if (blocks_.size() <= blockBase_)
        throw EScriptError("Stack underflow");
    TBlock& b = blocks_.back();
    const TPending pending = b.Pending;
    const int target = b.Target, depth = b.Depth;
    std::exception_ptr error = std::move(b.Error);
    blocks_.pop_back();
    if (pending == TPending::Exception)
        std::rethrow_exception(error);
    if (pending == TPending::Jump)
        return leave(target, depth);
    return -1;
}

void TScriptRunner::checkLoop()
{
    if (terminated_.exchange(false, std::memory_order_relaxed))
        throw EScriptAbort("Process terminated by user");
    if (InstructionBudget > 0 && budgetLeft_ <= 0)
        throw EScriptAbort("Instruction limit reached");
}

namespace {
// During a host call the runner's idea of the stack top is the top of the
// call's arguments, so a script the host runs meanwhile goes above them.
struct THostCallFrame {
    size_t& Sp;
    size_t& ArgBase;
    size_t SavedSp, SavedArgBase;
    THostCallFrame(size_t& sp, size_t& argBase, size_t top) : Sp(sp), ArgBase(argBase), SavedSp(sp), SavedArgBase(argBase)
    {
        Sp = ArgBase = top;
    }
    ~THostCallFrame()
    {
        Sp = SavedSp;
        ArgBase = SavedArgBase;
    }
};
} // namespace

TVariant TScriptRunner::callHost(const std::string& name, TMemberAccess access, TVariant* args, size_t count)
{
    THostCallFrame frame(sp_, argBase_, static_cast<size_t>(args + count - stack_.get()));
    std::span<TVariant> span(args, count);
    if (scope_ && (scope_->FindMember(name) || IsBuiltinScriptMember(name)))
        return InvokeScriptMember(*this, scope_, name, access, span);
    if (const auto* m = ScriptSystemScope().FindMember(name))
        return InvokeRegisteredMember(*this, nullptr, *m, name, access, span);
    throw EScriptError("Method not found. Method: " + name);
}

void TScriptRunner::assignHost(const std::string& name, TMemberAccess access, TVariant* indices, size_t count,
                               const TVariant& value)
{
    THostCallFrame frame(sp_, argBase_, static_cast<size_t>(indices + count - stack_.get()));
    std::span<TVariant> span(indices, count);
    if (scope_ && (scope_->FindMember(name) || IsBuiltinScriptMember(name)))
        return AssignScriptMember(*this, scope_, name, access, span, value);
    if (const auto* m = ScriptSystemScope().FindMember(name))
        return AssignRegisteredMember(*this, nullptr, *m, name, access, span, value);
    throw EScriptError("Method not found. Method: " + name);
}

TVariant TScriptRunner::dispatch(const TScriptCode& code, int pc, size_t fpIndex, size_t spIndex)
{
    TVariant* const stack = stack_.get();
    TVariant* const frame = stack + fpIndex;
    TVariant* sp = stack + spIndex;
    const TVariant* const K = code.Constants.data();
    const TScriptInstr* const base = code.Instructions.data();
    const TScriptInstr* ip = base + pc;
    const size_t maxText = MaxTextLength;
    const bool budgeted = InstructionBudget > 0;
    TVariant R;

    // Threaded dispatch: one indirect jump per instruction, from the table
    // in the order of TScriptOpcode.
#define TELVO_LABELS(name) &&L_##name, &&L_##name##_V, &&L_##name##_K, &&L_##name##_L,
    static const void* const labels[] = {
        &&L_NOP,
        &&L_BREAKPOINT,
        TELVO_SCRIPT_BINARY_OPS(TELVO_LABELS)
        &&L_UPLUS, &&L_UMINUS, &&L_NOT, &&L_LOADK, &&L_LOADVAR, &&L_LOADREF, &&L_LOADELEM, &&L_LOADELEMREF,
        &&L_LOADADDR, &&L_LOADHOST, &&L_LOADMEMBER, &&L_STOREVAR, &&L_STOREREF, &&L_STOREELEM, &&L_STOREELEMREF,
        &&L_STOREHOST, &&L_STOREMEMBER, &&L_INC, &&L_DEC, &&L_PUSH, &&L_POP, &&L_WITHBEGIN, &&L_WITHEND, &&L_JUMP,
        &&L_JUMPFALSE, &&L_JUMPTRUE, &&L_JUMPSHORT, &&L_JUMPCMP_V, &&L_JUMPCMP_K, &&L_LOOP, &&L_FORTEST, &&L_FORSTEP, &&L_FORNEXT, &&L_FORNEXTDOWN, &&L_LEAVE, &&L_TRYFINALLY,
        &&L_TRYEXCEPT, &&L_ENDTRYFINALLY, &&L_ENDTRYEXCEPT, &&L_ENDFINALLY, &&L_ENDEXCEPT, &&L_RAISE, &&L_LOADEXC,
        &&L_ENTER, &&L_EXIT,
    };
#undef TELVO_LABELS
    static_assert(sizeof(labels) / sizeof(labels[0]) == static_cast<size_t>(Op::EXIT) + 1);

#define DISPATCH() goto* labels[static_cast<int>(ip->Op)]
#define NEXT()                                                                                                  \
    do {                                                                                                        \
        ++ip;                                                                                                   \
        DISPATCH();                                                                                             \
    } while (0)
#define JUMP_TO(target)                                                                                         \
    do {                                                                                                        \
        ip = base + (target);                                                                                   \
        DISPATCH();                                                                                             \
    } while (0)
#define LOOP_CHECK()                                                                                            \
    do {                                                                                                        \
        if (terminated_.load(std::memory_order_relaxed) || (budgeted && --budgetLeft_ <= 0))                  \
            checkLoop();                                                                                        \
    } while (0)

    DISPATCH();

#define TELVO_BINARY(name)                                                                                      \
    L_##name : {                                                                                                \
        constexpr TScriptOp op = operatorOf(Op::name);                                                          \
        TVariant& left = *--sp;                                                                                 \
        if (!fastBinary<op>(left, R, R))                                                                        \
            R = ScriptBinary(op, left, R, maxText);                                                             \
        NEXT();                                                                                                 \
    }                                                                                                           \
    L_##name##_V : {                                                                                            \
        constexpr TScriptOp op = operatorOf(Op::name);                                                          \
        const TVariant& right = frame[ip->A];                                                                   \
        if (!fastBinary<op>(R, right, R))                                                                       \
            R = ScriptBinary(op, R, right, maxText);                                                            \
        NEXT();                                                                                                 \
    }                                                                                                           \
    L_##name##_K : {                                                                                            \
        constexpr TScriptOp op = operatorOf(Op::name);                                                          \
        const TVariant& right = K[ip->A];                                                                       \
        if (!fastBinary<op>(R, right, R))                                                                       \
            R = ScriptBinary(op, R, right, maxText);                                                            \
        NEXT();                                                                                                 \
    }                                                                                                           \
    L_##name##_L : {                                                                                            \
        constexpr TScriptOp op = operatorOf(Op::name);                                                          \
        const TVariant& left = frame[ip->A];                                                                    \
        if (!fastBinary<op>(left, R, R))                                                                        \
            R = ScriptBinary(op, left, R, maxText);                                                             \
        NEXT();                                                                                                 \
    }
    TELVO_SCRIPT_BINARY_OPS(TELVO_BINARY)
#undef TELVO_BINARY

L_NOP:
L_WITHBEGIN:
L_WITHEND:
    NEXT();
L_BREAKPOINT:
    if ((DebugOptions & sdoStopOnBreakpoint) && OnDebugHook)
        OnDebugHook(*this, "Breakpoint");
    NEXT();
L_UPLUS:
    if (R.IsReference())
        R = TVariant(R.Deref());
    NEXT();
L_UMINUS:
    if (R.Kind() == TVariantKind::Integer && R.AsInteger() != INT32_MIN)
        R.SetInteger(-R.AsInteger());
    else if (R.Kind() == TVariantKind::Float)
        R.SetFloat(-R.AsFloat());
    else
        R = ScriptNegate(R);
    NEXT();
L_NOT:
    if (R.Kind() == TVariantKind::Boolean)
        R.SetBoolean(!R.AsBoolean());
    else
        R = ScriptNot(R);
    NEXT();
L_LOADK:
    R = K[ip->A];
    NEXT();
L_LOADVAR:
    R = frame[ip->A];
    NEXT();
L_LOADREF:
    R = frame[ip->A].Deref();
    NEXT();
L_LOADELEM:
L_LOADELEMREF: {
    TVariant* indices = sp - ip->B;
    sp = indices;
    R = elementOf(frame[ip->A], indices, ip->B);
    NEXT();
}
L_LOADADDR: {
    TVariant& slot = frame[ip->A];
    if (slot.IsReference())
        R = slot;
    else
        R = TVariant::Reference(&slot);
    NEXT();
}
L_LOADHOST: {
    TVariant* args = sp - ip->B;
    sp = args;
    R = callHost(code.Names[static_cast<size_t>(ip->A)], static_cast<TMemberAccess>(ip->C), args, ip->B);
    NEXT();
}
L_LOADMEMBER: {
    // Objects with destructors live in an inner block: a computed goto out
    // of their scope would skip them.
    {
        TVariant* args = sp - ip->B;
        TVariant* object = args - 1;
        sp = object;
        const std::string& name = code.Names[static_cast<size_t>(ip->A)];
        TScriptObject* self = ScriptObjectOf(*object, name);
        THostCallFrame hostFrame(sp_, argBase_, static_cast<size_t>(args + ip->B - stack));
        R = InvokeScriptMember(*this, self, name, static_cast<TMemberAccess>(ip->C), std::span<TVariant>(args, ip->B));
    }
    NEXT();
}
L_STOREVAR:
    if (R.IsReference())
        frame[ip->A] = R.Deref();
    else
        frame[ip->A] = R;
    NEXT();
L_STOREREF:
    frame[ip->A].Deref() = R.Deref();
    NEXT();
L_STOREELEM:
L_STOREELEMREF: {
    TVariant* indices = sp - ip->B;
    sp = indices;
    setElement(frame[ip->A], indices, ip->B, R);
    NEXT();
}
L_STOREHOST: {
    TVariant* indices = sp - ip->B;
    sp = indices;
    assignHost(code.Names[static_cast<size_t>(ip->A)], static_cast<TMemberAccess>(ip->C), indices, ip->B, R);
    NEXT();
}
L_STOREMEMBER: {
    {
        TVariant* indices = sp - ip->B;
        TVariant* object = indices - 1;
        sp = object;
        const std::string& name = code.Names[static_cast<size_t>(ip->A)];
        TScriptObject* self = ScriptObjectOf(*object, name);
        THostCallFrame hostFrame(sp_, argBase_, static_cast<size_t>(indices + ip->B - stack));
        AssignScriptMember(*this, self, name, static_cast<TMemberAccess>(ip->C), std::span<TVariant>(indices, ip->B),
                           R);
    }
    NEXT();
}
L_INC:
L_DEC: {
    TVariant& v = frame[ip->A];
    const int32_t step = ip->Op == Op::INC ? 1 : -1;
    int32_t z;
    if (v.Kind() == TVariantKind::Integer && !__builtin_add_overflow(v.AsInteger(), step, &z))
        v.SetInteger(z);
    else
        v = ScriptBinary(TScriptOp::Plus, v, TVariant(step), maxText);
    NEXT();
}
L_PUSH:
    // R is always loaded afresh after a push, so its value can move.
    *sp++ = std::move(R);
    NEXT();
L_POP:
    R = std::move(*--sp);
    NEXT();
L_JUMP:
    JUMP_TO(ip->A);
L_JUMPFALSE:
    if (!(R.Kind() == TVariantKind::Boolean ? R.AsBoolean() : R.ToBoolean()))
        JUMP_TO(ip->A);
    NEXT();
L_JUMPTRUE:
    if (R.Kind() == TVariantKind::Boolean ? R.AsBoolean() : R.ToBoolean())
        JUMP_TO(ip->A);
    NEXT();
L_JUMPSHORT:
    if (ScriptShortCircuits(ip->C ? TScriptOp::Or : TScriptOp::And, R))
        JUMP_TO(ip->A);
    NEXT();
L_JUMPCMP_V:
L_JUMPCMP_K: {
    const TVariant& right = ip->Op == Op::JUMPCMP_V ? frame[ip->B] : K[ip->B];
    bool holds;
    if (R.Kind() == TVariantKind::Integer && right.Kind() == TVariantKind::Integer) {
        const int32_t x = R.AsInteger(), y = right.AsInteger();
        switch (ip->C) {
        case 0: holds = x == y; break;
        case 1: holds = x != y; break;
        case 2: holds = x < y; break;
        case 3: holds = x > y; break;
        case 4: holds = x <= y; break;
        default: holds = x >= y; break;
        }
    } else {
        holds = ScriptBinary(static_cast<TScriptOp>(static_cast<int>(TScriptOp::Eq) + ip->C), R, right, maxText)
                    .ToBoolean();
    }
    if (!holds)
        JUMP_TO(ip->A);
    NEXT();
}
L_FORNEXT:
L_FORNEXTDOWN: {
    TVariant& v = frame[ip->C];
    const TVariant& last = K[ip->B];
    const bool up = ip->Op == Op::FORNEXT;
    int32_t z;
    if (v.Kind() == TVariantKind::Integer && !__builtin_add_overflow(v.AsInteger(), up ? 1 : -1, &z))
        v.SetInteger(z);
    else
        v = ScriptBinary(TScriptOp::Plus, v, TVariant(up ? 1 : -1), maxText);
    LOOP_CHECK();
    bool more;
    if (v.Kind() == TVariantKind::Integer && last.Kind() == TVariantKind::Integer)
        more = up ? v.AsInteger() <= last.AsInteger() : v.AsInteger() >= last.AsInteger();
    else
        more = ScriptBinary(up ? TScriptOp::Le : TScriptOp::Ge, v, last, maxText).ToBoolean();
    if (more)
        JUMP_TO(ip->A);
    NEXT();
}
L_LOOP:
    LOOP_CHECK();
    JUMP_TO(ip->A);
L_FORTEST: {
    const TVariant& v = frame[ip->B];
    bool more;
    if (v.Kind() == TVariantKind::Integer && R.Kind() == TVariantKind::Integer)
        more = ip->C == 0 ? v.AsInteger() <= R.AsInteger() : v.AsInteger() >= R.AsInteger();
    else
        more = ScriptBinary(ip->C == 0 ? TScriptOp::Le : TScriptOp::Ge, v, R, maxText).ToBoolean();
    if (!more)
        JUMP_TO(ip->A);
    NEXT();
}
L_FORSTEP: {
    TVariant& v = frame[ip->B];
    const int32_t step = ip->C == 0 ? 1 : -1;
    int32_t z;
    if (v.Kind() == TVariantKind::Integer && !__builtin_add_overflow(v.AsInteger(), step, &z))
        v.SetInteger(z);
    else
        v = ScriptBinary(TScriptOp::Plus, v, TVariant(step), maxText);
    LOOP_CHECK();
    JUMP_TO(ip->A);
}
L_LEAVE:
    LOOP_CHECK();
    JUMP_TO(leave(ip->A, ip->B));
L_TRYFINALLY:
    pushBlock(TBlockKind::TryFinally, ip->A);
    NEXT();
L_TRYEXCEPT:
    pushBlock(TBlockKind::TryExcept, ip->A);
    NEXT();
L_ENDTRYFINALLY:
    if (blocks_.size() <= blockBase_)
        throw EScriptError("Stack underflow");
    blocks_.back().Kind = TBlockKind::InFinally;
    blocks_.back().Pending = TPending::None;
    NEXT();
L_ENDTRYEXCEPT:
    if (blocks_.size() <= blockBase_)
        throw EScriptError("Stack underflow");
    blocks_.pop_back();
    JUMP_TO(ip->A);
L_ENDFINALLY: {
    const int target = endFinally();
    if (target >= 0) {
        LOOP_CHECK();
        JUMP_TO(target);
    }
    NEXT();
}
L_ENDEXCEPT:
    if (blocks_.size() <= blockBase_)
        throw EScriptError("Stack underflow");
    exception_ = std::move(blocks_.back().Saved);
    blocks_.pop_back();
    NEXT();
L_RAISE:
    throw EVariantException(R.Deref());
L_LOADEXC:
    R = exception_;
    NEXT();
L_ENTER: {
    const size_t params = static_cast<size_t>(ip->A);
    const size_t slots = ip->B;
    const size_t given = static_cast<size_t>(sp - frame);
    if (given < params)
        throw EScriptError("Not enough actual parameters");
    if (given > params)
        throw EScriptError("Too many actual parameters");
    if (fpIndex + slots + static_cast<size_t>(code.MaxStack) > kMaxStack)
        throw EScriptError("Stack overflow");
    const auto& symbols = code.Symbols;
    for (size_t i = 0; i < params; ++i) {
        if (symbols[i].Kind == sskValueParam) {
            if (frame[i].IsReference())
                frame[i] = TVariant(frame[i].Deref()); // a value parameter gets a copy
        } else if (symbols[i].Kind == sskOutParam) {
            frame[i].Deref() = TVariant::Null();
        }
    }
    for (size_t i = params; i < slots; ++i) {
        if (symbols[i].Kind == sskConst)
            frame[i] = symbols[i].Value;
        else
            frame[i].Clear();
    }
    sp = frame + slots;
    NEXT();
}
L_EXIT:
    switch (ip->C) {
    case 1:
        return TVariant(frame[ip->A].Deref());
    case 2:
        if (R.IsReference())
            return TVariant(R.Deref());
        return R;
    default:
        return {};
    }

#undef DISPATCH
#undef NEXT
#undef JUMP_TO
#undef LOOP_CHECK
}

} // namespace telvo
