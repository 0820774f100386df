#pragma once
// The Lua form of a basic FB type: the chunk a runtime built with Lua types
// takes as a new type at run time. It returns the interface, the internal
// variables and an ECC function; the algorithms and transition conditions
// in it are translated from the instructions the simulation's script
// compiler makes of them, so that the runtime computes what the simulation
// computes.
//
// Nothing a user typed reaches the chunk as code: names and texts appear
// only as escaped string literals, comments are dropped, and ports are
// reached by number, never by name.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

class TFB_Type;

// Loop passes, backward jumps and transitions one event may take before the
// chunk gives up with "Instruction limit reached" instead of holding the
// runtime.
inline constexpr int64_t kLuaStepBudget = 1000000;

// A type that has no Lua form; what() is the reason ("it has no ECC").
class ELuaFormError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TLuaForm {
    std::string Text;
    // The ECC state each value of the chunk's state variable stands for.
    // 0 is a block that has not had an event yet: it is in START, with its
    // internal variables still to be set to their initial values.
    std::vector<std::string> States;
};

// Throws ELuaFormError naming the reason.
TLuaForm MakeLuaForm(const TFB_Type& type);

// Whether the Lua form carries variables of this data type.
bool LuaFormCarriesType(const std::string& typeText);

// A Lua string literal holding exactly these bytes: printable ASCII as it
// is, everything else (and quotes, backslashes) as decimal escapes.
std::string LuaStringLiteral(std::string_view text);

} // namespace telvo
