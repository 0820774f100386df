// telvo project check FILE.crf: what the diagram editor warns about, for a
// build pipeline.

#include "cli.h"

#include "model/network_check.h"
#include "workbench/project_lifecycle.h"

#include <string>
#include <vector>

namespace telvo::cli {

namespace {

int projectCheck(TCliContext& ctx)
{
    std::vector<std::string> files;
    for (const auto& a : ctx.Args) {
        if (a.rfind("--", 0) == 0)
            return UsageError(ctx, "project check: unknown option " + a);
        files.push_back(a);
    }
    if (files.size() != 1)
        return UsageError(ctx, "project check takes one project file");
    TWorkbench& wb = ctx.Workbench;
    wb.IndexLibrary();
    OpenProject(wb, files[0]);
    const std::vector<TNetworkFinding> findings = CheckNetworks(wb.FBManager());
    for (const TNetworkFinding& f : findings)
        ctx.Out << f.Line << '\n';
    return findings.empty() ? 0 : 1;
}

const TCliCommand reg{
    "project check", "FILE.crf", projectCheck,
    "Reads a project and lists what its diagrams warn about, one finding per line, tab-separated,\n"
    "diagram by diagram; the exit status is 1 when anything is listed, 0 otherwise.\n"
    "  mismatch     DIAGRAM  SOURCE.PORT TYPE  DEST.PORT TYPE: a data connection between ports\n"
    "               whose types are of different classes (Boolean, Integer, Real, String)\n"
    "  unconnected  DIAGRAM  INSTANCE.EVENT: the event inputs of an instance with an ECC that\n"
    "               no event or IPP connection reaches at all\n"
    "  notloaded    DIAGRAM  INSTANCE TYPE: an instance of the network file whose type did not load"};

} // namespace

} // namespace telvo::cli
