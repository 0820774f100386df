// telvo sys import / sys export: IEC 61499 system files (.sys) of 4diac IDE
// into a new project and out of one.

#include "cli.h"

#include "workbench/project_lifecycle.h"
#include "workbench/system_import.h"

#include <filesystem>
#include <string>

namespace telvo::cli {

namespace {

int sysImport(TCliContext& ctx)
{
    std::string system, project;
    bool dryRun = false;
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--project" && i + 1 < ctx.Args.size())
            project = ctx.Args[++i];
        else if (a == "--dry-run")
            dryRun = true;
        else if (!a.empty() && a[0] != '-' && system.empty())
            system = a;
        else
            return UsageError(ctx, "sys import: unexpected argument " + a);
    }
    if (system.empty() || project.empty())
        return UsageError(ctx, "sys import takes a system file and --project FILE.crf");
    TSystemImport result;
    try {
        result = ImportSystem(ctx.Workbench.ProgramFolder(), system, project, dryRun);
    } catch (const ESystemExchangeError& e) {
        ctx.Err << "telvo: " << e.what() << '\n';
        return 1;
    }
    for (const auto& line : result.Listing)
        ctx.Out << line << '\n';
    for (const auto& m : result.Messages)
        ctx.Out << "message\t" << m << '\n';
    return 0;
}

int sysExport(TCliContext& ctx)
{
    std::string file, out;
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--out" && i + 1 < ctx.Args.size())
            out = ctx.Args[++i];
        else if (!a.empty() && a[0] != '-' && file.empty())
            file = a;
        else
            return UsageError(ctx, "sys export: unexpected argument " + a);
    }
    if (file.empty() || out.empty())
        return UsageError(ctx, "sys export takes a project file and --out DIR");
    TWorkbench& wb = ctx.Workbench;
    wb.IndexLibrary();
    OpenProject(wb, file);
    TSystemExport result;
    try {
        result = ExportSystem(wb, out);
    } catch (const ESystemExchangeError& e) {
        ctx.Err << "telvo: " << e.what() << '\n';
        return 1;
    }
    for (const auto& w : result.Written)
        ctx.Out << "written\t" << w.string() << '\n';
    for (const auto& m : result.Messages)
        ctx.Out << "message\t" << m << '\n';
    return 0;
}

const TCliCommand regImport{"sys import", "SYSTEM.sys --project OUT.crf [--dry-run]", sysImport,
                            "Makes a new project from an IEC 61499 system file (4diac IDE, either "
                            "generation): a diagram per\n"
                            "application, an IEC device per resource (named after the device, or "
                            "DEVICE.RESOURCE when it has\n"
                            "several; the resource's name is kept for deployment), segments as "
                            "fieldbuses, links as system\n"
                            "connections, the mapping as distribution, parameters as constants. "
                            "Untyped subapps are drawn\n"
                            "flattened (inner FBs named SUBAPP_FB), typed ones become composite types. "
                            "Types come from the\n"
                            "library, else from the system file's folder tree (.fbt, .sub); those the "
                            "library lacks are copied\n"
                            "into library/SYSTEM. Prints what is made (system, project, diagram, "
                            "device, fieldbus, link, type,\n"
                            "written lines) and a \"message\" line for every element not carried over. "
                            "All or nothing: the\n"
                            "files are staged and moved in only when all are written; OUT.crf must not "
                            "exist yet.\n"
                            "  --project OUT.crf  the new project (required)\n"
                            "  --dry-run          print what would be made; nothing is written"};

const TCliCommand regExport{"sys export", "FILE.crf --out DIR", sysExport,
                            "Writes the project as DIR/NAME.sys, an IEC 61499 system file 4diac IDE "
                            "imports, and the project's\n"
                            "own types beside it (all but the standard event FBs of library/events). "
                            "An application per\n"
                            "diagram (an FB drawn in several belongs to the first), a device per IEC "
                            "device (DEVICE.RESOURCE\n"
                            "devices of one import come back as one device), MGR_ID from address and "
                            "port, segments, links,\n"
                            "mapping, and resource networks with the mapped FBs and their START "
                            "connections. Prints the files\n"
                            "written and a \"message\" line for every element a system file has no "
                            "place for.\n"
                            "  --out DIR  the folder for the files (required)"};

} // namespace

} // namespace telvo::cli
