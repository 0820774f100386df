// telvo library index: the type library as the workbench lists it.

#include "cli.h"

namespace telvo::cli {

namespace {

// One line per listed type, in index order: folder entry, tab, listed name
// (with the duplicate warning where the library holds the name twice).
int libraryIndex(TCliContext& ctx)
{
    if (!ctx.Args.empty())
        return UsageError(ctx, "library index takes no arguments");
    ctx.Workbench.IndexLibrary();
    for (const auto& folder : ctx.Workbench.LibraryIndex.Folders)
        for (const auto& name : folder.TypeNames)
            ctx.Out << folder.Name << '\t' << name << '\n';
    return 0;
}

const TCliCommand reg{"library index", "", libraryIndex,
                      "Lists every type of the type library: folder, tab, type name, one per line."};

} // namespace

} // namespace telvo::cli
