#pragma once
// Small helpers for the script engine tests: run a script the way a host
// does and get its outcome as one comparable text.

#include "runtime/script/script_errors.h"
#include "runtime/script/script_runner.h"

#include <string>
#include <vector>

namespace telvo::test {

// The outcome of a run: the result as DescribeScriptValue writes it, or
// "error: " followed by the message of what the run raised.
inline std::string Outcome(TScriptRunner& runner, const std::string& script, std::vector<TVariant>* cells = nullptr,
                           TScriptObject* scope = nullptr)
{
    try {
        if (cells)
            for (auto& c : *cells)
                runner.PushReference(c);
        return DescribeScriptValue(runner.Execute(script, scope));
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
}

inline std::string Outcome(const std::string& script, std::vector<TVariant>* cells = nullptr,
                           TScriptObject* scope = nullptr)
{
    TScriptRunner runner;
    return Outcome(runner, script, cells, scope);
}

// The value of an expression, computed by a function that returns it.
inline std::string Eval(const std::string& expression)
{
    return Outcome("function F;\nbegin\n  result := " + expression + ";\nend;");
}

} // namespace telvo::test
