#pragma once
// The script runner: runs compiled code units on its value stack.
//
// A host pushes one value per parameter of the script's routine (a
// reference to a cell it owns for a var or out parameter), calls Execute
// with the script text and a scope object, and reads its cells afterwards.
// A runner is not re-entrant across threads: one thread uses it at a time.
// Separate runners share nothing mutable, so each thread may have its own.

#include "runtime/script/script_code.h"
#include "runtime/script/script_object.h"
#include "runtime/script/script_value.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

enum TScriptDebugOption : unsigned {
    sdoStopOnException = 1u << 0,
    sdoStopOnBreakpoint = 1u << 1,
};

class TScriptRunner {
public:
    // The value stack never holds more than this many values.
    static constexpr size_t kMaxStack = 1024;
    // Nested runs (Evaluate, or a host method running a script) at most.
    static constexpr int kMaxNestedRuns = 32;

    TScriptRunner();
    ~TScriptRunner();
    TScriptRunner(const TScriptRunner&) = delete;
    TScriptRunner& operator=(const TScriptRunner&) = delete;

    // Pushes one argument of the next run; beyond kMaxStack values raises
    // "Stack overflow".
    void Push(const TVariant& value);
    // Binds a var or out parameter to a cell the caller owns.
    void PushReference(TVariant& cell) { Push(TVariant::Reference(&cell)); }
    // Values pushed and not yet taken by a run.
    size_t PendingArguments() const noexcept { return sp_ - argBase_; }

    // Compiles the text with the default compiler and runs its routine with
    // the pushed values as arguments; the value stack is empty afterwards,
    // whatever happened. Returns the result register: a function's result,
    // an expression's value, Empty for a procedure. An empty text returns
    // at once. Raises EScriptCompileError, EScriptError, EVariantException.
    TVariant Execute(std::string_view code, TScriptObject* scope = nullptr);
    // The same for a unit the caller compiled (and may run again).
    TVariant Run(const TScriptCode& code, TScriptObject* scope = nullptr);

    // The system scope's Evaluate: compiles the text as an expression over
    // the variables of the running script and returns its value.
    TVariant Evaluate(const std::string& expression);

    // Ends the running script at its next loop pass or jump back with
    // "Process terminated by user"; callable from any thread. A request that
    // arrives while nothing runs ends the next run. The request is used up
    // when a run ends that way.
    void Terminate() noexcept { terminated_.store(true, std::memory_order_relaxed); }
    bool Terminated() const noexcept { return terminated_.load(std::memory_order_relaxed); }

    // Limits for scripts nobody vouches for. InstructionBudget (0: none)
    // counts loop passes and backward jumps of one top-level run; when used
    // up the run ends with "Instruction limit reached". MaxTextLength bounds
    // every text a script builds ("Text too long").
    int64_t InstructionBudget = 0;
    size_t MaxTextLength = size_t(1) << 28;

    // For a debugger; the simulation leaves tracing off and the options empty.
    bool TraceInto = false;
    bool TraceMode = false;
    unsigned DebugOptions = 0;
    // Called with the message of an exception as it is raised, when
    // DebugOptions has sdoStopOnException.
    std::function<void(TScriptRunner&, const std::string&)> OnDebugHook;

private:
    enum class TBlockKind : uint8_t { TryFinally, TryExcept, InFinally, InExcept };
    enum class TPending : uint8_t { None, Exception, Jump };
    struct TBlock {
        TBlockKind Kind = TBlockKind::TryFinally;
        TPending Pending = TPending::None;
        int Pc = 0;     // finally or except part (try blocks)
        int Target = 0; // a pending jump
        int Depth = 0;
        std::exception_ptr Error; // a pending exception
        TVariant Saved;           // the exception value outside an except part
    };
    struct TState {
        const TScriptCode* Code;
        size_t Fp;
        size_t ArgBase;
        size_t BlockBase;
        TScriptObject* Scope;
    };

    TVariant runLevel(const TScriptCode& code, TScriptObject* scope, size_t fp, size_t spStart, size_t clearEnd);
    TVariant runLoop(const TScriptCode& code, size_t fp, size_t sp);
    TVariant dispatch(const TScriptCode& code, int pc, size_t fp, size_t sp);
    int leave(int target, int depth);
    int endFinally();
    void pushBlock(TBlockKind kind, int pc)
    {
        TBlock b;
        b.Kind = kind;
        b.Pc = pc;
        blocks_.push_back(std::move(b));
    }
    bool unwind(const std::exception_ptr& error, int& pc);
    void clearStack(size_t from, size_t to) noexcept;
    void checkLoop();

    TVariant callHost(const std::string& name, TMemberAccess access, TVariant* args, size_t count);
    void assignHost(const std::string& name, TMemberAccess access, TVariant* indices, size_t count,
                    const TVariant& value);

    std::unique_ptr<TVariant[]> stack_;
    size_t sp_ = 0;       // the top of the stack at host calls and between runs
    size_t argBase_ = 0;  // where the arguments of the next run begin
    int level_ = 0;
    const TScriptCode* code_ = nullptr; // the innermost running code
    size_t fp_ = 0;
    size_t blockBase_ = 0;
    TScriptObject* scope_ = nullptr;
    std::vector<TBlock> blocks_;
    TVariant exception_;
    std::atomic<bool> terminated_{false};
    int64_t budgetLeft_ = 0;
};

} // namespace telvo
