#include "runtime/algorithm_text.h"

#include "runtime/script/script_errors.h"

namespace telvo {

std::vector<std::string> AlgorithmScriptLines(const TFBAlgorithm& algorithm, const TFB_Type&)
{
    if (!EngineRunsLanguage(algorithm.Language))
        throw EScriptError("the simulation does not run algorithms in " +
                           (algorithm.Language.empty() ? std::string("no language") : algorithm.Language));
    return algorithm.OtherText;
}

std::string ConditionScriptText(const std::string& condition, const TFB_Type&) { return condition; }

bool EngineRunsLanguage(const std::string& language) { return language == "DelphiScript"; }

} // namespace telvo
