// Compiles and runs arbitrary text as a script. Scripts come from type files
// anyone can write: whatever the text, the engine must end with a result or
// one of its errors, within its limits, and leave the runner usable.

#include "runtime/script/script_errors.h"
#include "runtime/script/script_runner.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

using namespace telvo;

namespace {

// A scope with one of each kind of member, so host paths are reached too.
class TFuzzScope : public TScriptObject {
public:
    TFuzzScope() : TScriptObject("TFuzzScope")
    {
        AddMethod("Add", 2, [](TScriptCall& c) { return ScriptBinary(TScriptOp::Plus, c.Arg(0), c.Arg(1), 4096); });
        AddMethod("Any", -1, [](TScriptCall& c) { return TVariant(static_cast<int32_t>(c.Args.size())); });
        AddMethod("Make", 0, [](TScriptCall&) { return TVariant::AdoptObject(new TFuzzScope()); });
        AddMethod("Store", 1, [](TScriptCall& c) {
            c.Args[0].Deref() = TVariant("stored");
            return TVariant();
        });
        AddMethod("Fail", 0, [](TScriptCall&) -> TVariant { throw std::runtime_error("host failed"); });
        AddProperty(
            "Value", [this](TScriptCall&) { return value_; }, [this](TScriptCall&, const TVariant& v) { value_ = v; });
        AddArrayProperty(
            "Item", 1, [this](TScriptCall& c) { return items_[static_cast<size_t>(c.Arg(0).ToInteger()) % 4]; },
            [this](TScriptCall& c, const TVariant& v) { items_[static_cast<size_t>(c.Arg(0).ToInteger()) % 4] = v; });
    }

private:
    TVariant value_;
    TVariant items_[4];
};

void runOnce(TScriptRunner& runner, TScriptObject& scope, const std::string& text, bool asExpression)
{
    TScriptCode code{text};
    code.IsExpression = asExpression;
    try {
        code.SetCompiled(true);
    } catch (const EScriptError&) {
        return;
    }
    std::vector<TVariant> cells(static_cast<size_t>(code.ParamCount));
    for (size_t i = 0; i < cells.size(); ++i)
        cells[i] = TVariant(static_cast<int32_t>(i));
    try {
        for (auto& c : cells)
            runner.PushReference(c);
        TVariant result = runner.Run(code, &scope);
        (void)DescribeScriptValue(result);
    } catch (const std::exception&) {
    }
    for (const auto& c : cells)
        (void)DescribeScriptValue(c);
    if (runner.PendingArguments() != 0)
        __builtin_trap(); // a run must always leave the stack empty
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    TScriptRunner runner;
    runner.InstructionBudget = 5000;
    runner.MaxTextLength = 4096;
    TFuzzScope scope;
    runOnce(runner, scope, text, false);
    runOnce(runner, scope, text, true);
    // The runner still works.
    TVariant cell;
    runner.PushReference(cell);
    runner.Execute("procedure P(var C);\nbegin\n  C := 1 + 1;\nend;");
    if (cell.Kind() != TVariantKind::Integer || cell.AsInteger() != 2)
        __builtin_trap();
    return 0;
}
