// telvo script run FILE [VALUE...]: runs a script's routine with one cell
// per parameter and prints the cells afterwards.

#include "cli.h"

#include "model/file_util.h"
#include "runtime/script/script_errors.h"
#include "runtime/script/script_runner.h"

#include <vector>

namespace telvo::cli {

namespace {

// A VALUE is a literal of the language: 42, -3, 2.5, 'text', true, false,
// null. It is read by the engine itself so that it means what it would in a
// script.
bool parseValue(const std::string& text, TVariant& value)
{
    TScriptCode code{text};
    code.IsExpression = true;
    try {
        code.SetCompiled(true);
    } catch (const EScriptError&) {
        return false;
    }
    // Only literals (and a sign): no names, so nothing reaches a host.
    for (const auto& i : code.Instructions)
        if (i.Op != TScriptOpcode::LOADK && i.Op != TScriptOpcode::UMINUS && i.Op != TScriptOpcode::UPLUS &&
            i.Op != TScriptOpcode::EXIT)
            return false;
    try {
        TScriptRunner runner;
        value = runner.Run(code);
    } catch (const EScriptError&) {
        return false;
    }
    return true;
}

int scriptRun(TCliContext& ctx)
{
    if (ctx.Args.empty())
        return UsageError(ctx, "script run needs a FILE");
    std::string text;
    try {
        text = ReadFileText(ctx.Args[0]);
    } catch (const std::exception& e) {
        ctx.Err << "telvo: " << e.what() << "\n";
        return 1;
    }

    TScriptCode code{std::move(text)};
    try {
        code.SetCompiled(true);
    } catch (const EScriptError& e) {
        ctx.Err << e.what() << "\n";
        return 2;
    }

    const size_t params = static_cast<size_t>(code.ParamCount);
    if (ctx.Args.size() - 1 > params)
        return UsageError(ctx, "the script takes " + std::to_string(params) + " parameter(s), " +
                                   std::to_string(ctx.Args.size() - 1) + " value(s) given");
    std::vector<TVariant> cells(params);
    for (size_t i = 1; i < ctx.Args.size(); ++i)
        if (!parseValue(ctx.Args[i], cells[i - 1]))
            return UsageError(ctx, "not a value: " + ctx.Args[i]);

    TScriptRunner runner;
    TVariant result;
    try {
        for (auto& cell : cells)
            runner.PushReference(cell);
        result = runner.Run(code);
    } catch (const EScriptError& e) {
        ctx.Err << e.what() << "\n";
        return 3;
    }
    for (size_t i = 0; i < params; ++i)
        ctx.Out << code.Symbols[i].Name << "=" << DescribeScriptValue(cells[i]) << "\n";
    if (code.ReturnsValue)
        ctx.Out << "result=" << DescribeScriptValue(result) << "\n";
    return 0;
}

TCliCommand reg{"script run", "FILE [VALUE...]", scriptRun,
                "Runs the script's routine with one cell per parameter and prints the cells afterwards.\n"
                "  VALUE    a literal of the script language: 42, -3, 2.5, 'text', true, false, null"};

} // namespace

} // namespace telvo::cli
