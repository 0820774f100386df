#pragma once
// The compiler of the Pascal dialect: one pass over the text, straight from
// tokens to instructions, with names resolved to frame slots as they are
// read. Recursion is bounded (kMaxScriptNesting), so no script can exhaust
// the process stack however deeply it nests.

#include "runtime/script/script_code.h"

namespace telvo {

// Nesting of statements and expression operands that the compiler accepts.
inline constexpr int kMaxScriptNesting = 200;

// Whether a word (any case) is a keyword of the language: a variable of
// that name must be called differently in a script.
bool IsScriptKeyword(std::string_view word) noexcept;

class TPasScriptCompiler : public TScriptCompiler {
public:
    std::string_view Name() const noexcept override { return "Pascal"; }
    void Compile(TScriptCode& code, const TScriptCode* context) const override;
};

} // namespace telvo
