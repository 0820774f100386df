// Translates arbitrary text as a Structured Text algorithm and as a guard,
// then compiles and runs what came out. ST comes from type files anyone can
// write: the front end must end with a translation or a compile error that
// names a place in the text, and every translation must be a script the
// engine compiles (or refuses with its error) and runs within its limits.

#include "runtime/script/script_errors.h"
#include "runtime/script/script_runner.h"
#include "runtime/script/st_translator.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace telvo;

namespace {

const std::vector<TStVariable>& variables()
{
    static const std::vector<TStVariable> vars = {
        {"I", "INT", TStVarKind::Input, "", "I"},          {"IN", "DINT", TStVarKind::Input, "", "DI_IN"},
        {"Q", "BOOL", TStVarKind::Output, "", "DO_Q"},     {"CV", "UINT", TStVarKind::Output, "", "DO_CV"},
        {"R", "LREAL", TStVarKind::Internal, "", "R"},     {"S", "STRING", TStVarKind::Internal, "", "S"},
        {"W", "DWORD", TStVarKind::Internal, "", "W"},     {"L", "ULINT", TStVarKind::Internal, "", "L"},
        {"A", "SINT", TStVarKind::Internal, "0..3", "A"},  {"EV", "BOOL", TStVarKind::Event, "", "EV"},
    };
    return vars;
}

std::string frame()
{
    std::string s = "procedure P(";
    for (size_t i = 0; i < variables().size(); ++i)
        s += (i ? "; var " : "var ") + variables()[i].ScriptName;
    return s + ");\nbegin\n";
}

void checkPlace(const EScriptCompileError& e, const std::string& text)
{
    int lines = 1;
    for (char c : text)
        lines += c == '\n';
    if (e.Line() < 1 || e.Line() > lines || e.Position() < 1)
        __builtin_trap(); // a fault must lie in the user's text
}

void run(TScriptRunner& runner, const std::string& script)
{
    TScriptCode code{script};
    try {
        code.SetCompiled(true);
    } catch (const EScriptError&) {
        return;
    }
    std::vector<TVariant> cells(variables().size());
    try {
        for (auto& c : cells)
            runner.PushReference(c);
        runner.Run(code);
    } catch (const std::exception&) {
    }
    for (const auto& c : cells)
        (void)DescribeScriptValue(c);
    if (runner.PendingArguments() != 0)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 16 * 1024)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    TScriptRunner runner;
    runner.InstructionBudget = 5000;
    runner.MaxTextLength = 4096;
    try {
        std::string script = frame();
        for (const auto& l : TranslateStAlgorithm(text, variables()))
            script += l + "\n";
        run(runner, script + "end;");
    } catch (const EScriptCompileError& e) {
        checkPlace(e, text);
    }
    try {
        const std::string guard = TranslateStExpression(text, variables());
        run(runner, frame() + "DO_Q := " + guard + ";\nend;");
    } catch (const EScriptCompileError& e) {
        checkPlace(e, text);
    }
    return 0;
}
