#include "runtime/script/script_object.h"

#include "runtime/script/iec_functions.h"
#include "runtime/script/script_errors.h"
#include "runtime/script/script_runner.h"

namespace telvo {

TScriptObject::TScriptObject(std::string className) : className_(std::move(className)) {}

bool TScriptObject::AddMethod(std::string name, int paramCount, TMethod method)
{
    if (FindMember(name))
        return false;
    members_.push_back({std::move(name), TMemberKind::Method, paramCount, std::move(method), nullptr});
    return true;
}

bool TScriptObject::AddProperty(std::string name, TMethod get, TSetter set)
{
    if (FindMember(name))
        return false;
    members_.push_back({std::move(name), TMemberKind::Property, 0, std::move(get), std::move(set)});
    return true;
}

bool TScriptObject::AddArrayProperty(std::string name, int indexCount, TMethod get, TSetter set)
{
    if (FindMember(name))
        return false;
    members_.push_back({std::move(name), TMemberKind::ArrayProperty, indexCount, std::move(get), std::move(set)});
    return true;
}

const TScriptObject::TMember* TScriptObject::FindMember(std::string_view name) const noexcept
{
    for (const auto& m : members_)
        if (SameScriptName(m.Name, name))
            return &m;
    return nullptr;
}

void TScriptObject::Free()
{
    if (freed_.exchange(true, std::memory_order_acq_rel))
        return;
    OnFree();
}

void TScriptObject::Release() const noexcept
{
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

namespace {

[[noreturn]] void nilObject(std::string_view name)
{
    throw EScriptError("Error accessing a field or method " + std::string(name) + " of nil object");
}

[[noreturn]] void notAnArray(const TScriptObject* self, std::string_view name)
{
    throw EScriptError((self ? self->ClassName() : std::string("System")) + "." + std::string(name) +
                       " cannot be references as an array");
}

[[noreturn]] void wrongManner(std::string_view name)
{
    throw EScriptError("Unable to invoke method or property " + std::string(name) + " in this manner");
}

void checkCount(int expected, size_t actual)
{
    if (expected < 0)
        return;
    if (actual < static_cast<size_t>(expected))
        throw EScriptError("Not enough actual parameters");
    if (actual > static_cast<size_t>(expected))
        throw EScriptError("Too many actual parameters");
}

} // namespace

bool IsBuiltinScriptMember(std::string_view name) noexcept
{
    return SameScriptName(name, "Free") || SameScriptName(name, "Invoke") || SameScriptName(name, "Self");
}

TVariant InvokeRegisteredMember(TScriptRunner& runner, TScriptObject* self, const TScriptObject::TMember& member,
                                std::string_view name, TMemberAccess access, std::span<TVariant> args)
{
    TScriptCall call{runner, self, args};
    switch (member.Kind) {
    case TScriptObject::TMemberKind::Method:
        if (access == TMemberAccess::Index)
            notAnArray(self, name);
        checkCount(member.Count, args.size());
        return member.Get(call);
    case TScriptObject::TMemberKind::Property:
        if (access == TMemberAccess::Index)
            notAnArray(self, name);
        if (!args.empty())
            wrongManner(name);
        return member.Get(call);
    case TScriptObject::TMemberKind::ArrayProperty:
        if (access != TMemberAccess::Index)
            wrongManner(name);
        checkCount(member.Count, args.size());
        return member.Get(call);
    }
    wrongManner(name);
}

void AssignRegisteredMember(TScriptRunner& runner, TScriptObject* self, const TScriptObject::TMember& member,
                            std::string_view name, TMemberAccess access, std::span<TVariant> indices,
                            const TVariant& value)
{
    TScriptCall call{runner, self, indices};
    switch (member.Kind) {
    case TScriptObject::TMemberKind::Method:
        throw EScriptError("Error assigning property: " + std::string(name));
    case TScriptObject::TMemberKind::Property:
        if (access == TMemberAccess::Index)
            notAnArray(self, name);
        break;
    case TScriptObject::TMemberKind::ArrayProperty:
        if (access != TMemberAccess::Index)
            wrongManner(name);
        checkCount(member.Count, indices.size());
        break;
    }
    if (!member.Set)
        throw EScriptError("Error assigning property: " + std::string(name));
    member.Set(call, value.Deref());
}

TVariant InvokeScriptMember(TScriptRunner& runner, TScriptObject* self, std::string_view name, TMemberAccess access,
                            std::span<TVariant> args)
{
    bool isFree = SameScriptName(name, "Free");
    if (!self || self->Freed()) {
        // Free on nil does nothing, as in Pascal; so freeing twice is harmless.
        if (isFree && access != TMemberAccess::Index && args.empty() && (!self || !self->FindMember(name)))
            return {};
        nilObject(name);
    }
    if (const auto* m = self->FindMember(name))
        return InvokeRegisteredMember(runner, self, *m, name, access, args);
    if (isFree || SameScriptName(name, "Self")) {
        if (access == TMemberAccess::Index)
            notAnArray(self, name);
        if (!args.empty())
            throw EScriptError("Too many actual parameters");
        if (isFree) {
            self->Free();
            return {};
        }
        return TVariant(self);
    }
    if (SameScriptName(name, "Invoke")) {
        // Invoke(name, args...): the member named by the text, with the rest
        // of the arguments (the indices of an array property).
        if (access == TMemberAccess::Index)
            notAnArray(self, name);
        if (args.empty())
            throw EScriptError("Not enough actual parameters");
        std::string target = args[0].Deref().ToText();
        auto rest = args.subspan(1);
        const auto* m = self->FindMember(target);
        TMemberAccess inner = rest.empty() ? TMemberAccess::Plain
                              : (m && m->Kind == TScriptObject::TMemberKind::ArrayProperty) ? TMemberAccess::Index
                                                                                            : TMemberAccess::Call;
        if (m && m->Kind == TScriptObject::TMemberKind::ArrayProperty)
            inner = TMemberAccess::Index;
        return InvokeScriptMember(runner, self, target, inner, rest);
    }
    throw EScriptError("Method not found. Method: " + std::string(name));
}

void AssignScriptMember(TScriptRunner& runner, TScriptObject* self, std::string_view name, TMemberAccess access,
                        std::span<TVariant> indices, const TVariant& value)
{
    if (!self || self->Freed())
        nilObject(name);
    if (const auto* m = self->FindMember(name))
        return AssignRegisteredMember(runner, self, *m, name, access, indices, value);
    if (IsBuiltinScriptMember(name))
        throw EScriptError("Error assigning property: " + std::string(name));
    throw EScriptError("Method not found. Method: " + std::string(name));
}

TScriptObject* ScriptObjectOf(const TVariant& value, std::string_view memberName)
{
    const TVariant& v = value.Deref();
    if (v.Kind() != TVariantKind::Object)
        throw EScriptError("Variant is not an object");
    return v.AsObject();
}

namespace {
class TSystemScope : public TScriptObject {
public:
    TSystemScope() : TScriptObject("TSystemScope")
    {
        AddMethod("Evaluate", 1, [](TScriptCall& call) { return call.Runner.Evaluate(call.Arg(0).ToText()); });
        AddIecFunctions(*this);
    }
};
} // namespace

const TScriptObject& ScriptSystemScope()
{
    static const TSystemScope scope;
    return scope;
}

} // namespace telvo
