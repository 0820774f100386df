// telvo project info: what a project file holds, as the workbench reads it.

#include "cli.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "persistence/project_file.h"
#include "systemlayer/system_layer.h"
#include "workbench/project_lifecycle.h"

#include <iterator>
#include <string>
#include <vector>

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
// The system layer's object kinds as the user knows them, by kind number.
std::string kindName(uint8_t kind)
{
    static const char* const names[] = {"network backbone",
                                        "IEC-compliant fieldbus",
                                        "non-IEC-compliant fieldbus",
                                        "IEC-compliant device",
                                        "OPC device",
                                        "non-IEC-compliant device",
                                        "computer",
                                        "interworking unit",
                                        "switch",
                                        "industrial process terminator",
                                        "industrial process parameter"};
    return kind < std::size(names) ? names[kind] : std::to_string(kind);
}

std::string connectionTypeName(uint8_t type)
{
    std::string_view name = ConnectionTypeName(type);
    return name.empty() ? std::to_string(type) : std::string(name);
}

int projectInfo(TCliContext& ctx)
{
    // --names: kinds and connection types by their display names.
    bool names = false;
    std::vector<std::string> files;
    for (const auto& a : ctx.Args) {
        if (a == "--names")
            names = true;
        else if (a.rfind("--", 0) == 0)
            return UsageError(ctx, "project info: unknown option " + a);
        else
            files.push_back(a);
    }
    if (files.size() != 1)
        return UsageError(ctx, "project info takes one project file");
    const std::string& file = files[0];
    TWorkbench& wb = ctx.Workbench;
    wb.IndexLibrary();
    OpenProject(wb, file);

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
        out << "object\t" << (names ? kindName(o->Kind) : std::to_string(o->Kind)) << '\t' << o->Name << '\t'
            << o->TypeName << '\n';
    for (const auto& o : layer.Objects)
        if (const auto* ipps = o->IppList())
            for (const auto& ipp : *ipps)
                out << "ipp\t" << o->Name << '\t' << ipp->Name << '\t' << ipp->TypeName << '\t'
                    << (ipp->IsActuator() ? "actuator" : "sensor") << '\t' << (ipp->IsEventIPP ? "event" : "data")
                    << '\t' << boundTo(layer, ipp.get()) << '\n';
    for (const auto& c : layer.Connections)
        out << "connection\t" << c->Name << '\t'
            << (names ? connectionTypeName(c->ConnectionType) : std::to_string(c->ConnectionType)) << '\t'
            << endName(c->SourceObject)
            << '\t' << endName(c->TargetObject) << '\n';
    // What the project names and cannot be found was told on stderr while
    // reading; it makes the run a failure all the same.
    return MissingProjectFiles(file).empty() ? 0 : 1;
}

const TCliCommand reg{"project info", "[--names] FILE.crf", projectInfo,
                      "Reads a project and lists its title, diagrams, instances, system layer objects and connections.\n"
                      "A network file or process-interface diagram file that cannot be found is told on\n"
                      "standard error, and the exit status is 1 after the listing.\n"
                      "--names  object kinds and connection types by their display names, not numbers"};

} // namespace

} // namespace telvo::cli
