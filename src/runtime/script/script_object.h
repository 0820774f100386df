#pragma once
// How a host exposes itself to scripts: an object with a small registry of
// named methods and properties. A script reaches the members of the scope
// object passed to TScriptRunner::Execute by their bare names, and the
// members of any object value by "value.Name". Every object also answers
// Free, Invoke and Self.
//
// The registry is filled while the host sets the object up and only read
// while scripts run, so one object may serve runners on several threads.

#include "runtime/script/script_value.h"

#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

class TScriptRunner;
class TScriptObject;

// What a host method or property accessor gets. Args are the arguments (or
// the indices of an array property) as pushed: a "@Name" argument is a
// reference through which the host may write a script variable.
struct TScriptCall {
    TScriptRunner& Runner;
    TScriptObject* Self; // nullptr for the system scope
    std::span<TVariant> Args;

    const TVariant& Arg(size_t i) const { return Args[i].Deref(); }
};

class TScriptObject {
public:
    using TMethod = std::function<TVariant(TScriptCall&)>;
    using TSetter = std::function<void(TScriptCall&, const TVariant&)>;

    enum class TMemberKind : uint8_t { Method, Property, ArrayProperty };
    struct TMember {
        std::string Name;
        TMemberKind Kind;
        int Count; // parameters of a method (-1: any number), indices of an array property
        TMethod Get; // the method itself, or the property's reader
        TSetter Set; // empty for a read-only property
    };

    // The creator holds the first reference: an object on the stack or owned
    // by the host is never deleted by the engine; one handed to a script
    // with TVariant::AdoptObject goes when its last value goes.
    explicit TScriptObject(std::string className = "TObject");
    virtual ~TScriptObject() = default;
    TScriptObject(const TScriptObject&) = delete;
    TScriptObject& operator=(const TScriptObject&) = delete;

    // Each returns false and changes nothing when the name (any case) is
    // already a member.
    bool AddMethod(std::string name, int paramCount, TMethod method);
    bool AddProperty(std::string name, TMethod get, TSetter set = nullptr);
    bool AddArrayProperty(std::string name, int indexCount, TMethod get, TSetter set = nullptr);
    const TMember* FindMember(std::string_view name) const noexcept;

    const std::string& ClassName() const noexcept { return className_; }

    // What "X.Free" does: the object counts as nil from then on (any member
    // but Free raises the nil-object error) and OnFree lets the host let go
    // of what it holds. The memory itself goes with the last reference, so a
    // script that frees twice or keeps using a freed object gets an error
    // instead of touching freed memory.
    void Free();
    bool Freed() const noexcept { return freed_.load(std::memory_order_acquire); }

    void AddRef() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release() const noexcept;

protected:
    virtual void OnFree() {}

private:
    std::string className_;
    std::vector<TMember> members_;
    mutable std::atomic<int> refs_{1};
    std::atomic<bool> freed_{false};
};

// How a member is reached: "X.Name" or "X.Name(args)" (Call, HasParens says
// which), or "X.Name[indices]" (Index).
enum class TMemberAccess : uint8_t { Plain, Call, Index };

// Reads or calls a member of an object; the built-ins Free, Invoke and Self
// come after the registry. Raises the engine's errors ("Method not found.
// Method: <name>", "Not enough actual parameters", ...).
TVariant InvokeScriptMember(TScriptRunner& runner, TScriptObject* self, std::string_view name, TMemberAccess access,
                            std::span<TVariant> args);
// Assigns a property (indices empty unless access is Index).
void AssignScriptMember(TScriptRunner& runner, TScriptObject* self, std::string_view name, TMemberAccess access,
                        std::span<TVariant> indices, const TVariant& value);
// The registry part of the above, for a member already found (the system
// scope's members are called with a null self).
TVariant InvokeRegisteredMember(TScriptRunner& runner, TScriptObject* self, const TScriptObject::TMember& member,
                                std::string_view name, TMemberAccess access, std::span<TVariant> args);
void AssignRegisteredMember(TScriptRunner& runner, TScriptObject* self, const TScriptObject::TMember& member,
                            std::string_view name, TMemberAccess access, std::span<TVariant> indices,
                            const TVariant& value);
// Free, Invoke and Self.
bool IsBuiltinScriptMember(std::string_view name) noexcept;
// The member of an object value (not a reference to one): the value must be
// an object ("Variant is not an object") that is not nil.
TScriptObject* ScriptObjectOf(const TVariant& value, std::string_view memberName);

// The process-wide system scope: Evaluate(text). Built once, read only.
const TScriptObject& ScriptSystemScope();

} // namespace telvo
