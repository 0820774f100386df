#pragma once
// The Structured Text front end of the script engine. It reads an IEC
// 61131-3 ST algorithm body (or a guard expression) against the variables
// the FB declares and writes the same program in the script language, so
// that the one engine compiles and runs it with its values, limits and
// errors. IEC meaning the script language lacks (an INT wraps as an INT,
// integer "/" truncates, bit strings of a width, the standard functions)
// becomes calls of the engine's IEC_ routines (iec_functions.h).
//
// The translation keeps the user's lines: the script statements of an ST
// line stand on the same line of the result, so an engine error's line is
// the line in the user's text. Faults the front end finds itself raise
// EScriptCompileError with the line and column in the user's text.

#include <string>
#include <string_view>
#include <vector>

namespace telvo {

enum class TStVarKind : unsigned char { Input, Output, Internal, Event };

struct TStVariable {
    std::string Name;      // as declared
    std::string Type;      // the declared type text ("INT", "BOOL", ...)
    TStVarKind Kind = TStVarKind::Internal;
    std::string ArraySize; // empty: no array; "4" (0..3) or "1..4"
    std::string ScriptName; // the name in the script ("DO_Q" for an output Q)
};

// Nesting of statements and expressions the front end accepts.
inline constexpr int kMaxStNesting = 200;

// The algorithm as script lines (one for each line of the text).
// "ALGORITHM name ... END_ALGORITHM" around the body is optional.
std::vector<std::string> TranslateStAlgorithm(std::string_view text, const std::vector<TStVariable>& variables);
// A Boolean ST expression as a script expression.
std::string TranslateStExpression(std::string_view text, const std::vector<TStVariable>& variables);

} // namespace telvo
