#pragma once
// The scripts a runtime FB runs: one for each transition test, one for each
// algorithm run. Each is a fresh text that declares the instance's ports and
// variables the condition or algorithm uses, sets them to their present
// values, and ends with the condition or the algorithm's own lines.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

class TFB_InstanceRef;
class TFBDataMember;
class TFBInstance_InternalVar;
class TVariant;

// The type a script declares for a variable of a data type: "Boolean",
// "Integer", "Single" or "String". Every IEC integer and bit-string type is
// an Integer, whatever class the model holds its values in, every real type
// a Single; texts (STRING, WSTRING, TIME and any other type) stay Strings.
std::string ScriptTypeName(const std::string& typeText);

// The name a script gives a data input, an internal variable or an event
// input: its own, unless that is a keyword of the script language (an input
// IN, an internal variable OUT); then the name behind DI_, IV_ or EI_, as
// data outputs always stand behind DO_.
std::string ScriptInputName(const std::string& name);
std::string ScriptInternalName(const std::string& name);
std::string ScriptEventName(const std::string& name);

// The IEC integer types the model holds as texts (DINT, UDINT, WORD ...)
// are integers to a script. The engine computes with 32-bit integers and
// double floats, so a value of such a type takes part in a script while it
// fits its type and is at most 2^53 in size (what a double holds exactly).
//
// The value of a variable of such a type for a script: its text read as an
// integer (IEC literal forms included), 0 for an empty text. False when the
// type is no such type. Throws EScriptError naming the variable when the
// text is no integer or the value does not fit.
bool TextIntegerForScript(const std::string& name, const std::string& typeText, const std::string& text,
                          int64_t& value);
// The value a script left in a variable of such a type, as its text: the
// decimal integer (a float is rounded half to even). False when the type is
// no such type. Throws EScriptError naming the variable when the value is no
// number or does not fit.
bool TextIntegerFromScript(const std::string& name, const std::string& typeText, const TVariant& value,
                           std::string& text);

// The identifiers a script text uses, for choosing which variables to
// declare. A name is used when it stands in the text as a whole identifier,
// in any case: IN is not used by a text that mentions only IN1, and names in
// comments and text literals do not count. (Matching parts of words would
// paste a text variable that a script merely seems to mention into the
// script as raw text and break it.)
class TScriptNameSet {
public:
    TScriptNameSet() = default;
    explicit TScriptNameSet(std::string_view text) { Add(text); }
    explicit TScriptNameSet(const std::vector<std::string>& lines)
    {
        for (const auto& l : lines)
            Add(l);
    }
    void Add(std::string_view text);
    bool Uses(std::string_view name) const;
    // Used directly, or as the DO_ name of a data output.
    bool UsesOutput(std::string_view name) const;

private:
    std::vector<std::string> names_; // upper case, each once
};

// "procedure chkTransition( var theResult:Boolean);" ... "end;", lines
// joined by CR LF. A data output is declared when the condition names it
// as DO_<name> (the standard form's guard reads outputs).
std::string BuildTransitionScript(const TFB_InstanceRef& instance, const std::string& condition,
                                  const std::string& event);
// The same with the condition's names already gathered (a runtime FB keeps
// them for each transition).
std::string BuildTransitionScript(const TFB_InstanceRef& instance, const std::string& condition,
                                  const TScriptNameSet& conditionNames, const std::string& event);

struct TAlgorithmScript {
    std::string Text;
    // The parameters in order: the DO_ outputs, then the internal variables.
    std::vector<TFBDataMember*> Outputs;
    std::vector<TFBInstance_InternalVar*> Variables;
};
TAlgorithmScript BuildAlgorithmScript(const TFB_InstanceRef& instance, const std::vector<std::string>& lines,
                                      const std::string& event);
TAlgorithmScript BuildAlgorithmScript(const TFB_InstanceRef& instance, const std::vector<std::string>& lines,
                                      const TScriptNameSet& algorithmNames, const std::string& event);

} // namespace telvo
