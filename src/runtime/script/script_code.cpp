#include "runtime/script/script_code.h"

#include "runtime/script/pas_script_compiler.h"
#include "runtime/script/script_errors.h"

namespace telvo {

void TScriptCode::Clear()
{
    Symbols.clear();
    Instructions.clear();
    Constants.clear();
    Names.clear();
    ParamCount = 0;
    ResultSlot = -1;
    MaxStack = 0;
    Context = nullptr;
    compiled_ = false;
}

void TScriptCode::SetCompiled(bool compiled)
{
    if (!compiled) {
        Clear();
        return;
    }
    CompileInContext(nullptr);
}

void TScriptCode::CompileInContext(const TScriptCode* context)
{
    Clear();
    const TScriptCompiler& compiler = FindScriptCompiler(Language);
    try {
        compiler.Compile(*this, context);
    } catch (...) {
        Clear();
        throw;
    }
    Context = context;
    compiled_ = true;
}

const TScriptCompiler& FindScriptCompiler(std::string_view language)
{
    // Built once on first use and only read afterwards, so runners on any
    // thread may look compilers up.
    static const TPasScriptCompiler pascal;
    static const TScriptCompiler* const compilers[] = {&pascal};
    if (language.empty())
        return pascal;
    for (const TScriptCompiler* c : compilers)
        if (SameScriptName(c->Name(), language))
            return *c;
    throw EScriptError("Compiler not found for " + std::string(language));
}

} // namespace telvo
