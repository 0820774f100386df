// telvo type check FILE... / telvo type rewrite IN OUT / telvo type lua FILE.fbt [--out FILE]

#include "cli.h"

#include "codegen/lua_form.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "model/iec_names.h"
#include "persistence/type_file.h"
#include "runtime/algorithm_text.h"
#include "runtime/script_check.h"

#include <exception>
#include <memory>

namespace telvo::cli {

namespace {

// Messages go on one output line.
std::string oneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    return text;
}

// Reads a type file into a fresh type; on failure returns null and the
// reason in `error`.
std::unique_ptr<TFB_Type> loadType(TCliContext& ctx, const std::string& path, std::string& error,
                                   std::string* textOut = nullptr)
{
    try {
        auto type = std::make_unique<TFB_Type>();
        std::string text = ReadFileText(path);
        const bool read = ReadFBType(text, *type, &ctx.Workbench.FBManager(), path);
        if (textOut)
            *textOut = std::move(text);
        if (!read) {
            error = "Not an FB type file (the root element is not FBType)";
            return nullptr;
        }
        type->FileName = path;
        return type;
    } catch (const std::exception& e) {
        error = oneLine(e.what());
        return nullptr;
    }
}

std::string counts(const TFB_Type& t)
{
    size_t sequences = 0, primitives = 0;
    for (const auto& svc : t.Services)
        for (const auto& seq : svc->Sequences) {
            ++sequences;
            primitives += seq->Primitives.size();
        }
    auto n = [](size_t v) { return std::to_string(v); };
    return "ei=" + n(t.EventInputs.size()) + " eo=" + n(t.EventOutputs.size()) + " di=" + n(t.DataInputs.size()) +
           " do=" + n(t.DataOutputs.size()) + " iv=" + n(t.InternalVars.size()) + " plugs=" + n(t.Plugs.size()) +
           " sockets=" + n(t.Sockets.size()) + " states=" + n(t.States.size()) +
           " transitions=" + n(t.Transitions.size()) + " algorithms=" + n(t.Algorithms.size()) +
           " sequences=" + n(sequences) + " primitives=" + n(primitives);
}

int typeCheck(TCliContext& ctx)
{
    if (ctx.Args.empty())
        return UsageError(ctx, "type check needs at least one FILE");
    // The inner types of a composite are looked for in the library by its
    // index, as the workbench does.
    ctx.Workbench.IndexLibrary();
    int rc = 0;
    for (const auto& path : ctx.Args) {
        std::string error, text;
        auto type = loadType(ctx, path, error, &text);
        if (!type) {
            ctx.Out << "ERROR\t" << path << "\t" << error << "\n";
            rc = 1;
            continue;
        }
        // A composite whose inner types were not found is not a sound type.
        const auto unresolved = UnresolvedInnerInstances(text, *type);
        for (const auto& inner : unresolved)
            ctx.Out << "ERROR\t" << path << "\tinner FB instance " << inner.Instance << ": its type "
                    << inner.TypeName << " is not in the library or cannot be loaded\n";
        if (!unresolved.empty()) {
            rc = 1;
            continue;
        }
        // Kept and readable, but nothing knows what such a port holds.
        for (const auto& unknown : UnknownDataTypes(*type, ctx.Workbench.LibraryTypeNames))
            ctx.Out << "WARNING\t" << path << "\t" << unknown.What << ": " << UnknownDataTypeText(unknown.Type)
                    << "\n";
        // Structured Text the simulation could not compile, placed in the
        // algorithm's own text.
        for (const auto& a : type->Algorithms) {
            if (AlgorithmLanguage(*a) != "ST")
                continue;
            const TScriptCheck check = CheckAlgorithm(*type, *a);
            if (!check.Ok)
                ctx.Out << "WARNING\t" << path << "\talgorithm " << a->Name << " line " << check.Line << ", column "
                        << check.Column << ": " << oneLine(check.Message) << "\n";
        }
        ctx.Out << "OK\t" << path << "\t" << type->Name << "\t" << (type->Composite ? "composite" : "basic") << "\t"
                << counts(*type) << "\n";
    }
    return rc;
}

// Reads IN and writes it to OUT with IN as its base and the clear flag set:
// what the model holds is regenerated, everything else is kept.
int typeRewrite(TCliContext& ctx)
{
    if (ctx.Args.size() != 2)
        return UsageError(ctx, "type rewrite needs IN and OUT");
    const std::string& in = ctx.Args[0];
    const std::string& out = ctx.Args[1];
    std::string error;
    auto type = loadType(ctx, in, error);
    if (!type) {
        ctx.Err << "telvo: " << in << ": " << error << "\n";
        return 1;
    }
    try {
        if (!WriteFBType(out, *type, type.get(), true, type->Network.get(), &ctx.UI))
            return 1;
    } catch (const std::exception& e) {
        ctx.Err << "telvo: " << oneLine(e.what()) << "\n";
        return 1;
    }
    return 0;
}

// Prints (or writes) the Lua form a runtime with Lua types takes the type in.
int typeLua(TCliContext& ctx)
{
    std::string file, out;
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--out") {
            if (i + 1 >= ctx.Args.size())
                return UsageError(ctx, "--out needs a FILE");
            out = ctx.Args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError(ctx, "unknown option " + a);
        } else if (file.empty()) {
            file = a;
        } else {
            return UsageError(ctx, "type lua takes one FILE.fbt");
        }
    }
    if (file.empty())
        return UsageError(ctx, "type lua needs a FILE.fbt");
    std::string error;
    auto type = loadType(ctx, file, error);
    if (!type) {
        ctx.Err << "telvo: " << file << ": " << error << "\n";
        return 1;
    }
    try {
        const TLuaForm form = MakeLuaForm(*type);
        if (out.empty())
            ctx.Out << form.Text;
        else
            WriteFileAtomic(out, form.Text);
    } catch (const ELuaFormError& e) {
        ctx.Err << "telvo: " << type->Name << " has no Lua form: " << oneLine(e.what()) << "\n";
        return 1;
    } catch (const std::exception& e) {
        ctx.Err << "telvo: " << oneLine(e.what()) << "\n";
        return 1;
    }
    return 0;
}

TCliCommand checkCommand{"type check", "FILE...", typeCheck,
                         "Reads each type file and prints OK with its counts, or the reason it cannot be read.\n"
                         "A composite's inner types are looked for in the indexed library; each one that is not\n"
                         "found is an ERROR line of its own. Before the OK line, a WARNING line names each data\n"
                         "input, data output and internal variable whose data type is neither an IEC 61499\n"
                         "elementary type nor a type of the library. A WARNING line names each Structured Text\n"
                         "algorithm that does not compile, with the line and column in the algorithm."};
TCliCommand rewriteCommand{"type rewrite", "IN OUT", typeRewrite,
                           "Reads the type file IN and writes it to OUT as the workbench saves types, keeping\n"
                           "what the workbench does not understand."};
TCliCommand luaCommand{"type lua", "FILE.fbt [--out FILE]", typeLua,
                       "Prints the Lua form of a basic type: the chunk a runtime built with Lua types (4diac\n"
                       "FORTE) takes as a new type, with the interface, the internal variables and their initial\n"
                       "values, the ECC, and the algorithms and conditions as the simulation runs them. --out\n"
                       "writes it to FILE instead. A type without a Lua form (a composite, no ECC, an algorithm\n"
                       "in a language the simulation does not run, a data type the form does not carry) is\n"
                       "refused with the reason, exit status 1."};

} // namespace

} // namespace telvo::cli
