#pragma once
// What the type editor tells the user about a transition condition or an
// algorithm before a simulation runs it: whether the script the simulation
// builds from it compiles, and whether it names only what that script
// declares. The script engine leaves an unknown name to the run (where it
// fails with "Method not found"), so the check looks at the names the
// compiled script would ask the host for.
//
// Positions are in the user's own text, line and column from 1, never in
// the generated script around it.

#include <string>
#include <vector>

namespace telvo {

class TFB_Type;
class TFBAlgorithm;

struct TScriptCheck {
    bool Ok = true;
    // The engine's error text without its script position ("Syntax Error"),
    // or "Unknown name in the condition: A, B"; empty when Ok.
    std::string Message;
    // Where the fault lies in the user's text (the first unknown name);
    // 0 when it lies in no place of it.
    int Line = 0;
    int Column = 0;
};

// The condition as the simulation tests it on an instance of the type.
TScriptCheck CheckConditionScript(TFB_Type& type, const std::string& condition);
// The algorithm's lines as the simulation runs them on an instance of the
// type.
TScriptCheck CheckAlgorithmScript(TFB_Type& type, const std::vector<std::string>& lines);
// An algorithm of the type in whatever language the engine runs (script or
// ST); positions in the algorithm's own text. A language the engine does
// not run is a fault without a place.
TScriptCheck CheckAlgorithm(TFB_Type& type, const TFBAlgorithm& algorithm);

} // namespace telvo
