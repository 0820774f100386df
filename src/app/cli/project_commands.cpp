// telvo project info: what a project file holds, as the workbench reads it.

#include "cli.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "systemlayer/system_layer.h"
#include "workbench/project_lifecycle.h"

#include <string>

namespace telvo::cli {

namespace {

// The device input or output the IPP is bound to, or empty.
std::string boundTo(const TSystemLayerManager& layer, const TslIPPRef* ipp)
{
    for (const auto& object : layer.Objects)
        if (auto* device = dynamic_cast<const TslIODevice*>(object.get())) {
            for (const auto& io : device->InputList)
                if (io->BoundObject == ipp)
                    return io->IOName;
            for (const auto& io : device->OutputList)
                if (io->BoundObject == ipp)
                    return io->IOName;
        }
    return {};
}

std::string endName(const TslObject* end)
{
    if (!end)
        return {};
    if (auto* ipp = dynamic_cast<const TslIPPRef*>(end))
        return (ipp->Owner ? ipp->Owner->Name : std::string()) + "+||+" + ipp->Name;
    return end->Name;
}

// One record per line, tab-separated: the project, its UML model, each
// diagram with the counts an editor opening it shows, each instance record
// with its device, each system object, each IPP with its binding, each
// system connection.
int projectInfo(TCliContext& ctx)
{
    if (ctx.Args.size() != 1)
        return UsageError(ctx, "project info takes one project file");
    TWorkbench& wb = ctx.Workbench;
    wb.IndexLibrary();
    OpenProject(wb, ctx.Args[0]);

    const TProject_Manager& project = wb.ProjectManager();
    std::ostream& out = ctx.Out;
    out << "project\t" << project.Name << '\t' << project.FileName << '\n';
    out << "uml\t" << project.UmlModelFile << '\n';
    for (const auto& d : wb.FBManager().Diagrams) {
        d->RebuildLines();
        out << "diagram\t" << d->Name << '\t' << d->FileName << "\tinstances=" << d->DrawnInstances.size()
            << "\tevents=" << d->EventLines.size() << "\tdata=" << d->DataLines.size()
            << "\tippfb=" << d->IPPFBLines.size() << "\tipp2ipp=" << d->IPPtoIPPLines.size()
            << "\tnotes=" << d->Notes.size() << "\tipps=" << d->IPPPictures.size() << '\n';
    }
    for (const auto& r : wb.FBManager().Instances)
        out << "instance\t" << r->Name << '\t' << (r->Type ? r->Type->Name : std::string()) << '\t'
            << (r->Device ? r->Device->Name : std::string()) << '\n';
    const TSystemLayerManager& layer = wb.SystemLayer();
    for (const auto& o : layer.Objects)
        out << "object\t" << int{o->Kind} << '\t' << o->Name << '\t' << o->TypeName << '\n';
    for (const auto& o : layer.Objects)
        if (const auto* ipps = o->IppList())
            for (const auto& ipp : *ipps)
                out << "ipp\t" << o->Name << '\t' << ipp->Name << '\t' << ipp->TypeName << '\t'
                    << (ipp->IsActuator() ? "actuator" : "sensor") << '\t' << (ipp->IsEventIPP ? "event" : "data")
                    << '\t' << boundTo(layer, ipp.get()) << '\n';
    for (const auto& c : layer.Connections)
        out << "connection\t" << c->Name << '\t' << int{c->ConnectionType} << '\t' << endName(c->SourceObject)
            << '\t' << endName(c->TargetObject) << '\n';
    return 0;
}

const TCliCommand reg{"project info", "FILE.crf", projectInfo,
                      "Reads a project and lists its title, diagrams, instances, system layer objects and connections."};

} // namespace

} // namespace telvo::cli
