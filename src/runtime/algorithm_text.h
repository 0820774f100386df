#pragma once
// The text the script engine runs for an algorithm or a transition
// condition of a basic type, whatever language the type stores it in. The
// simulation's own scripts and every translation of a type (the Lua form)
// take their texts from here, so that they all compute the same.

#include "model/fb_type.h"

#include <string>
#include <vector>

namespace telvo {

// The algorithm's statements in the script language (script algorithms as
// they are). Throws EScriptError for a language the engine does not run.
std::vector<std::string> AlgorithmScriptLines(const TFBAlgorithm& algorithm, const TFB_Type& type);
// A transition condition in the script language's form.
std::string ConditionScriptText(const std::string& condition, const TFB_Type& type);
// Whether the engine runs algorithms of this language.
bool EngineRunsLanguage(const std::string& language);

} // namespace telvo
