#pragma once
// The scripts a runtime FB runs: one for each transition test, one for each
// algorithm run. Each is a fresh text that declares the instance's ports and
// variables the condition or algorithm uses, sets them to their present
// values, and ends with the condition or the algorithm's own lines.

#include <string>
#include <string_view>
#include <vector>

namespace telvo {

class TFB_InstanceRef;
class TFBDataMember;
class TFBInstance_InternalVar;

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
// joined by CR LF.
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
