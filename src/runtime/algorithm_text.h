#pragma once
// What the script engine runs for an FB type's algorithms and transition
// conditions, whatever language the type is written in: the workbench's
// own script algorithms as they are, Structured Text translated into the
// script language (runtime/script/st_translator.h). The simulation and the
// Lua form of a type both start from here.

#include <string>
#include <vector>

namespace telvo {

class TFB_Type;
class TFBAlgorithm;
struct TStVariable;

// The algorithm's statements in the script language (script algorithms as they are, ST translated).
// Throws EScriptError for a language the engine does not run.
std::vector<std::string> AlgorithmScriptLines(const TFBAlgorithm& algorithm, const TFB_Type& type);
// A transition condition in the script language's form (the standard form `EI[guard]` translated).
std::string ConditionScriptText(const std::string& condition, const TFB_Type& type);
// Whether the engine runs algorithms of this language ("DelphiScript" or ST).
bool EngineRunsLanguage(const std::string& language);
// (An algorithm's Language field is empty for an ST body, so an empty
// language counts as ST here; AlgorithmLanguage names the language a body
// is written in, and AlgorithmScriptLines gives no lines for no body.)

// The language an algorithm is written in: "DelphiScript" for a script
// algorithm, "ST", the Language of another text ("AnyText", "C"), "LD" or
// "FBD"; empty for an algorithm with no body at all.
std::string AlgorithmLanguage(const TFBAlgorithm& algorithm);
// The type's variables as ST sees them, each with its name in a script.
std::vector<TStVariable> StVariablesOf(const TFB_Type& type);

} // namespace telvo
