// telvo codegen FILE.fbt [--out DIR] [--compile]

#include "cli.h"

#include "codegen/pascal_compiler.h"
#include "codegen/pascal_generator.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "persistence/type_file.h"

#include <exception>
#include <memory>

namespace telvo::cli {

namespace {

// Writes the Pascal source of a basic type and prints its path; with
// --compile also runs the compiler on it, prints what the compiler printed
// and ends with the compiler's exit status.
int codegen(TCliContext& ctx)
{
    std::string file, outFolder;
    bool compile = false;
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--compile") {
            compile = true;
        } else if (a == "--out") {
            if (i + 1 >= ctx.Args.size())
                return UsageError(ctx, "codegen: --out needs a folder");
            outFolder = ctx.Args[++i];
        } else if (a.rfind("--", 0) == 0) {
            return UsageError(ctx, "codegen: unknown option " + a);
        } else if (file.empty()) {
            file = a;
        } else {
            return UsageError(ctx, "codegen takes one FILE");
        }
    }
    if (file.empty())
        return UsageError(ctx, "codegen needs a FILE");

    std::filesystem::path source;
    try {
        // A composite file names its inner types; they come from the library.
        ctx.Workbench.IndexLibrary();
        auto type = std::make_unique<TFB_Type>();
        if (!ReadFBType(ReadFileText(file), *type, &ctx.Workbench.FBManager(), file)) {
            ctx.Err << "telvo: " << file << ": Not an FB type file (the root element is not FBType)\n";
            return 1;
        }
        source = GeneratePascalFile(*type, outFolder.empty() ? ctx.Workbench.KaloFolder()
                                                             : std::filesystem::path(outFolder));
    } catch (const ECodeGenError& e) {
        ctx.Err << "telvo: " << file << ": " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        // File and XML errors name the file themselves.
        ctx.Err << "telvo: " << e.what() << "\n";
        return 1;
    }
    ctx.Out << source.string() << "\n";
    if (!compile)
        return 0;

    ctx.Out.flush();
    TCompileResult r = CompilePascalFile(PascalCompilerProgram(ctx.Workbench.Settings), source);
    if (!r.Started) {
        ctx.Err << "telvo: " << r.Error << "\n";
        return 1;
    }
    ctx.Out << r.Output;
    if (!r.Output.empty() && r.Output.back() != '\n')
        ctx.Out << "\n";
    if (r.Signal != 0) {
        ctx.Err << "telvo: the compiler was ended by signal " << r.Signal << "\n";
        return 128 + r.Signal;
    }
    return r.ExitCode;
}

TCliCommand reg{"codegen", "FILE.fbt [--out DIR] [--compile]", codegen,
                "Writes the Pascal source of a basic FB type's library and prints its path.\n"
                "  --out DIR    the folder for the source (default: the type file's folder)\n"
                "  --compile    also run the Pascal compiler on it, print its output and end with its exit status"};

} // namespace

} // namespace telvo::cli
