// telvo script run FILE [VALUE...] [--timeout SECONDS] [--max-steps N]:
// runs a script's routine with one cell per parameter and prints the cells
// afterwards.
//
// A script nobody vouches for may loop for good: --timeout ends it after
// SECONDS (a decimal number), --max-steps after N loop passes and backward
// jumps (the engine's instruction budget). Either ends the run with exit
// status 3, as any other run-time error.

#include "cli.h"

#include "model/file_util.h"
#include "runtime/script/script_errors.h"
#include "runtime/script/script_runner.h"

#include <chrono>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
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

struct TRunOptions {
    std::string File;
    std::vector<std::string> Values;
    double TimeoutSeconds = 0; // 0: none
    std::string TimeoutText;
    int64_t MaxSteps = 0; // 0: none
};

// Options may stand anywhere after the command words, as "--name VALUE" or
// "--name=VALUE"; everything else is FILE, then the VALUEs.
int parseRunOptions(TCliContext& ctx, TRunOptions& o)
{
    const auto& a = ctx.Args;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].rfind("--", 0) != 0) {
            if (o.File.empty())
                o.File = a[i];
            else
                o.Values.push_back(a[i]);
            continue;
        }
        std::string name = a[i], value;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        } else if (name == "--timeout" || name == "--max-steps") {
            if (i + 1 >= a.size())
                return UsageError(ctx, name + " needs a value");
            value = a[++i];
        }
        if (name == "--timeout") {
            char* end = nullptr;
            const double v = value.empty() ? 0 : std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(v) || v <= 0 || v > 1e6)
                return UsageError(ctx, "--timeout needs seconds greater than 0, not '" + value + "'");
            o.TimeoutSeconds = v;
            o.TimeoutText = value;
        } else if (name == "--max-steps") {
            char* end = nullptr;
            errno = 0;
            const long long v = value.empty() ? 0 : std::strtoll(value.c_str(), &end, 10);
            if (value.empty() || value[0] == '-' || value[0] == '+' || *end != '\0' || errno == ERANGE || v <= 0)
                return UsageError(ctx, "--max-steps needs a whole number greater than 0, not '" + value + "'");
            o.MaxSteps = v;
        } else {
            return UsageError(ctx, "unknown option " + name);
        }
    }
    if (o.File.empty())
        return UsageError(ctx, "script run needs a FILE");
    return 0;
}

// Ends the runner's script once the time is up, unless the run ended first.
class TWatchdog {
public:
    TWatchdog(TScriptRunner& runner, double seconds)
    {
        if (seconds <= 0)
            return;
        thread_ = std::thread([this, &runner, seconds] {
            std::unique_lock lock(mutex_);
            if (!cv_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return done_; })) {
                fired_ = true;
                runner.Terminate();
            }
        });
    }
    ~TWatchdog() { Disarm(); }
    // After the run: the watchdog fires no more. True when it had fired.
    bool Disarm()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
            cv_.notify_one();
        }
        if (thread_.joinable())
            thread_.join();
        return fired_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    bool fired_ = false;
    std::thread thread_;
};

int scriptRun(TCliContext& ctx)
{
    TRunOptions o;
    if (int rc = parseRunOptions(ctx, o))
        return rc;
    std::string text;
    try {
        text = ReadFileText(o.File);
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
    if (o.Values.size() > params)
        return UsageError(ctx, "the script takes " + std::to_string(params) + " parameter(s), " +
                                   std::to_string(o.Values.size()) + " value(s) given");
    std::vector<TVariant> cells(params);
    for (size_t i = 0; i < o.Values.size(); ++i)
        if (!parseValue(o.Values[i], cells[i]))
            return UsageError(ctx, "not a value: " + o.Values[i]);

    TScriptRunner runner;
    runner.InstructionBudget = o.MaxSteps;
    TVariant result;
    TWatchdog watchdog(runner, o.TimeoutSeconds);
    try {
        for (auto& cell : cells)
            runner.PushReference(cell);
        result = runner.Run(code);
        watchdog.Disarm();
    } catch (const EScriptError& e) {
        if (watchdog.Disarm())
            ctx.Err << "telvo: the script ran longer than " << o.TimeoutText << " seconds\n";
        else
            ctx.Err << e.what() << "\n";
        return 3;
    }
    for (size_t i = 0; i < params; ++i)
        ctx.Out << code.Symbols[i].Name << "=" << DescribeScriptValue(cells[i]) << "\n";
    if (code.ReturnsValue)
        ctx.Out << "result=" << DescribeScriptValue(result) << "\n";
    return 0;
}

TCliCommand reg{"script run", "FILE [VALUE...] [--timeout SECONDS] [--max-steps N]", scriptRun,
                "Runs the script's routine with one cell per parameter and prints the cells afterwards.\n"
                "  VALUE                a literal of the script language: 42, -3, 2.5, 'text', true, false, null\n"
                "  --timeout SECONDS    end the run after this long (exit 3)\n"
                "  --max-steps N        end the run after N instructions of the script engine (exit 3)"};

} // namespace

} // namespace telvo::cli
