// telvo type check FILE... / telvo type rewrite IN OUT

#include "cli.h"

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

} // namespace

} // namespace telvo::cli
