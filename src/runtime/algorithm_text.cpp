#include "runtime/algorithm_text.h"

#include "model/fb_type.h"
#include "runtime/script/script_errors.h"
#include "runtime/script/script_value.h"
#include "runtime/script/st_translator.h"
#include "runtime/script_generation.h"

#include <cctype>

namespace telvo {

namespace {

bool isIdentifier(const std::string& s)
{
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_'))
        return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_'))
            return false;
    return true;
}

std::string trimmed(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string joinedLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += '\n';
        text += lines[i];
    }
    return text;
}

} // namespace

std::string AlgorithmLanguage(const TFBAlgorithm& algorithm)
{
    if (algorithm.Language == "DelphiScript")
        return algorithm.Language;
    if (!algorithm.STText.empty())
        return "ST";
    if (!algorithm.OtherText.empty())
        return algorithm.Language.empty() ? std::string("Other") : algorithm.Language;
    if (!algorithm.Rungs.empty())
        return "LD";
    if (algorithm.HasFBD)
        return "FBD";
    return {};
}

bool EngineRunsLanguage(const std::string& language)
{
    // The reader keeps no Language for an ST body: an empty one is ST.
    return language.empty() || language == "DelphiScript" || SameScriptName(language, "ST");
}

std::vector<TStVariable> StVariablesOf(const TFB_Type& type)
{
    std::vector<TStVariable> vars;
    vars.reserve(type.DataInputs.size() + type.DataOutputs.size() + type.InternalVars.size() +
                 type.EventInputs.size());
    for (const auto& d : type.DataInputs)
        vars.push_back({d->Name, d->Type, TStVarKind::Input, d->ArraySize, ScriptInputName(d->Name)});
    for (const auto& d : type.DataOutputs)
        vars.push_back({d->Name, d->Type, TStVarKind::Output, d->ArraySize, "DO_" + d->Name});
    for (const auto& v : type.InternalVars)
        vars.push_back({v->Name, v->Type, TStVarKind::Internal, v->ArraySize, ScriptInternalName(v->Name)});
    for (const auto& e : type.EventInputs)
        vars.push_back({e->Name, "BOOL", TStVarKind::Event, "", ScriptEventName(e->Name)});
    return vars;
}

std::vector<std::string> AlgorithmScriptLines(const TFBAlgorithm& algorithm, const TFB_Type& type)
{
    const std::string language = AlgorithmLanguage(algorithm);
    if (language == "DelphiScript")
        return algorithm.OtherText;
    if (language == "ST")
        return TranslateStAlgorithm(joinedLines(algorithm.STText), StVariablesOf(type));
    if (language.empty())
        return {}; // no body: nothing to run
    throw EScriptError("Algorithm " + algorithm.Name + " is written in " +
                       (language.empty() ? std::string("no language") : language) +
                       ", which the script engine does not run");
}

std::string ConditionScriptText(const std::string& condition, const TFB_Type& type)
{
    // The standard form names the event and puts the guard in brackets; any
    // other condition is the script form and stays as it is.
    const size_t open = condition.find('[');
    if (open == std::string::npos)
        return condition;
    const std::string event = trimmed(condition.substr(0, open));
    const size_t close = condition.rfind(']');
    if ((!event.empty() && !isIdentifier(event)) || close == std::string::npos || close < open ||
        !trimmed(condition.substr(close + 1)).empty())
        return condition;
    const std::string guard = condition.substr(open + 1, close - open - 1);
    std::string text;
    try {
        text = TranslateStExpression(guard, StVariablesOf(type));
    } catch (const EScriptCompileError& e) {
        // Positions in the whole condition, not in the guard alone.
        const int column = e.Line() == 1 ? e.Position() + static_cast<int>(open) + 1 : e.Position();
        throw EScriptCompileError(e.Number(), e.Line(), column, "condition", e.Extra());
    }
    if (event.empty())
        return text;
    const TFB_EventInput* input = nullptr;
    for (const auto& e : type.EventInputs)
        if (SameScriptName(e->Name, event))
            input = e.get();
    if (!input)
        throw EScriptCompileError(sceSyntax, 1, static_cast<int>(condition.find_first_not_of(" \t")) + 1, "condition",
                                  "no event input " + event);
    return "(" + ScriptEventName(input->Name) + " and " + text + ")";
}

} // namespace telvo
