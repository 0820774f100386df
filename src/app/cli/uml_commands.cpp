// telvo uml import: the transformation facility without its window. The
// model is parsed into the transformation tree, which is printed with the
// parse messages; then every class of the tree is built into the project
// and the project is saved. With --dry-run nothing is built or written.

#include "cli.h"

#include "model/fb_diagram.h"
#include "umlimport/import_builder.h"
#include "umlimport/transformation.h"
#include "umlimport/uml_model.h"
#include "workbench/project_lifecycle.h"

#include <filesystem>
#include <string>

namespace telvo::cli {

namespace {

int umlImport(TCliContext& ctx)
{
    std::string model, project;
    bool dryRun = false;
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--project" && i + 1 < ctx.Args.size())
            project = ctx.Args[++i];
        else if (a == "--dry-run")
            dryRun = true;
        else if (!a.empty() && a[0] != '-' && model.empty())
            model = a;
        else
            return UsageError(ctx, "uml import: unexpected argument " + a);
    }
    if (model.empty() || project.empty())
        return UsageError(ctx, "uml import takes a model file and --project FILE.crf");
    // Made absolute once, here: the project's own files are named from its
    // folder, and a relative folder would be taken twice.
    project = std::filesystem::absolute(project).lexically_normal().string();

    uml::TUmlModel uml;
    try {
        uml = uml::ReadUmlModelFile(model);
    } catch (const uml::EXmiError& e) {
        ctx.Err << "telvo: " << e.what() << '\n';
        return 1;
    }
    TWorkbench& wb = ctx.Workbench;
    wb.IndexLibrary();
    OpenProject(wb, project);

    uml::TTransformation transformation(ctx.UI);
    transformation.Parse(uml);
    ctx.Out << transformation.Dump();
    for (const std::string& m : transformation.Messages)
        ctx.Out << "parse\t" << m << '\n';
    if (dryRun)
        return 0;

    // No tick boxes here: every class of the model is built.
    transformation.TickAll();
    uml::TUmlImportBuilder builder(wb);
    if (!builder.Build(transformation) || !builder.SaveAndCommit())
        return 1;
    for (const std::string& file : builder.TypeFiles)
        ctx.Out << "type\t" << file << '\n';
    for (const TFB_Diagram* d : builder.Diagrams)
        ctx.Out << "diagram\t" << d->Name << '\t' << d->FileName << '\n';
    ctx.Out << "saved\t" << wb.ProjectManager().FileName << '\n';
    return 0;
}

const TCliCommand reg{
    "uml import", "MODEL.xmi --project FILE.crf [--dry-run]", umlImport,
    "Parses an Umbrello model (XMI) into the transformation tree and prints it with the parse messages\n"
    "(\"parse\" lines), then builds every class of it into the project: FB types in library/imported,\n"
    "IPTs with IPPs, instances, connections and one diagram per sequence diagram; prints the type\n"
    "files and diagrams made and saves the project. All or nothing: type files and networks are written\n"
    "into hidden staging folders and moved in only once the project is saved; when building or saving\n"
    "fails, or the command is killed, nothing of the import is kept (a later import removes what a\n"
    "killed one staged). Classes and sequence diagrams whose names cannot be file names are left out\n"
    "with the reason; a new diagram's network never takes the file of another.\n"
    "  --project FILE.crf  the project to build into (required)\n"
    "  --dry-run           print the tree and the messages only; nothing is built or written"};

} // namespace

} // namespace telvo::cli
