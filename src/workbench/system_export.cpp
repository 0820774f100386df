#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/file_staging.h"
#include "model/file_util.h"
#include "persistence/sys_file.h"
#include "systemlayer/system_layer.h"
#include "workbench/system_import.h"
#include "workbench/workbench.h"

#include <algorithm>
#include <map>
#include <set>

namespace telvo {

namespace fs = std::filesystem;

namespace {

// Grid values to IEC 61499-2 units, as composite type networks store them.
double toUnits(int32_t grid)
{
    return grid * 5.882 + 11.7647;
}

bool isIdentifier(const std::string& name)
{
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])))
        return false;
    return std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

// A name 4diac takes as an element name: letters, digits and underscores,
// not starting with a digit.
std::string identifier(const std::string& name)
{
    std::string id;
    for (unsigned char c : name)
        id += std::isalnum(c) || c == '_' ? static_cast<char>(c) : '_';
    if (id.empty() || std::isdigit(static_cast<unsigned char>(id[0])))
        id = "_" + id;
    return id;
}

class TExporter {
public:
    TExporter(TWorkbench& wb, fs::path outDir) : wb_(wb), outDir_(std::move(outDir)) {}

    TSystemExport Run()
    {
        const TProject_Manager& project = wb_.ProjectManager();
        sys_.Name = identifier(project.Name.empty() ? std::string("System") : project.Name);
        if (sys_.Name != project.Name)
            message("The system is named " + sys_.Name + ": the project's title " + project.Name +
                    " is no IEC 61499 name");
        sys_.Comment = project.Comment == TProject_Manager::NewProjectComment ? std::string() : project.Comment;
        applications();
        devices();
        connections();
        segments();
        otherObjects();
        write();
        return std::move(result_);
    }

private:
    void message(std::string text) { result_.Messages.push_back(std::move(text)); }

    std::string uniqueName(std::string name, std::set<std::string>& taken)
    {
        const std::string base = name;
        for (int n = 2; taken.count(name); ++n)
            name = base + "_" + std::to_string(n);
        taken.insert(name);
        return name;
    }

    void applications()
    {
        std::set<std::string> names;
        for (const auto& d : wb_.FBManager().Diagrams) {
            if (d->IsInternalDeviceDiagram || d->InnerNetwork || d->DrawnInstances.empty())
                continue;
            if (isResourceDiagram(*d)) {
                for (const auto& drawn : d->DrawnInstances)
                    if (drawn->Ref && drawn->Ref->Type && !owner_.count(drawn->Ref)) {
                        owner_[drawn->Ref] = std::string();
                        position_[drawn->Ref] = {toUnits(drawn->BaseX), toUnits(drawn->BaseY)};
                        usedTypes_.insert(drawn->Ref->Type);
                    }
                continue;
            }
            std::string name = uniqueName(identifier(d->Name), names);
            if (name != d->Name)
                message("The diagram " + d->Name + " is the application " + name);
            TSysApplication* app = nullptr;
            for (const auto& drawn : d->DrawnInstances) {
                const TFB_InstanceRef* r = drawn->Ref;
                if (!r || !r->Type || owner_.count(r))
                    continue;
                if (!app) {
                    app = &sys_.Applications.emplace_back();
                    app->Name = name;
                    app->Comment = d->Comment;
                }
                owner_[r] = name;
                TSysFB& fb = app->Network.FBs.emplace_back();
                fb.Name = r->Name;
                fb.Type = r->Type->Name;
                fb.Comment = r->Comment;
                fb.X = toUnits(drawn->BaseX);
                fb.Y = toUnits(drawn->BaseY);
                for (const auto& in : r->DataInputs)
                    if (!in->ValueText.empty())
                        fb.Parameters.push_back({in->Name(), in->ValueText});
                position_[r] = {fb.X, fb.Y};
                usedTypes_.insert(r->Type);
            }
            for (size_t n = 0; n < d->Notes.size(); ++n)
                message("A note in the diagram " + d->Name + " is not carried over");
            for (const auto& ipp : d->IPPPictures)
                message("The IPP picture " + (ipp->Ipp ? ipp->Ipp->Name : std::string()) + " in the diagram " +
                        d->Name + " is not carried over");
        }
    }

    // A diagram an import made of a resource's own FBs: named after an IEC
    // device, with every FB on it. Its FBs go back into the resource's
    // network under their own names, in no application.
    bool isResourceDiagram(const TFB_Diagram& d) const
    {
        const TslObject* device = wb_.SystemLayer().FindByName(d.Name);
        if (!device || device->Kind != slIECDevice)
            return false;
        return std::all_of(d.DrawnInstances.begin(), d.DrawnInstances.end(),
                           [&](const auto& drawn) { return drawn->Ref && drawn->Ref->Device == device; });
    }

    // How the resource's network names an FB: App.FB, or its own name.
    std::string inResource(const TFB_InstanceRef* r) const
    {
        auto it = owner_.find(r);
        return it == owner_.end() || it->second.empty() ? r->Name : it->second + "." + r->Name;
    }

    // The device of the system an IEC device stands for, and its resource:
    // DEVICE.RESOURCE when the device keeps that resource name.
    static std::pair<std::string, std::string> deviceAndResource(const TslIECDevice& d)
    {
        const std::string resource = d.ResourceName.empty() ? d.Name : d.ResourceName;
        const size_t dot = d.Name.rfind('.');
        if (dot != std::string::npos && !d.ResourceName.empty() && d.Name.substr(dot + 1) == d.ResourceName)
            return {d.Name.substr(0, dot), resource};
        return {d.Name, resource};
    }

    void devices()
    {
        std::map<std::string, size_t> byName;
        for (const auto& o : wb_.SystemLayer().Objects) {
            auto* iec = dynamic_cast<const TslIECDevice*>(o.get());
            if (!iec)
                continue;
            auto [devName, resName] = deviceAndResource(*iec);
            devName = identifier(devName);
            resName = identifier(resName);
            auto at = byName.find(devName);
            if (at == byName.end()) {
                at = byName.emplace(devName, sys_.Devices.size()).first;
                TSysDevice& d = sys_.Devices.emplace_back();
                d.Name = devName;
                d.Type = isIdentifier(iec->TypeName) ? iec->TypeName : "FORTE_PC";
                d.Comment = iec->Description;
                d.X = toUnits(iec->Left);
                d.Y = toUnits(iec->Top);
                if (!iec->DeviceIPAddress.empty() || !iec->DeviceAddressPort.empty())
                    d.Parameters.push_back(
                        {"MGR_ID", "\"" + iec->DeviceIPAddress + ":" + iec->DeviceAddressPort + "\""});
            }
            TSysDevice& d = sys_.Devices[at->second];
            TSysResource& r = d.Resources.emplace_back();
            r.Name = resName;
            r.X = toUnits(iec->Left);
            r.Y = toUnits(iec->Top);
            const std::string to = devName + "." + resName;
            systemDevice_[iec] = devName;
            resourceOf_[iec] = {at->second, d.Resources.size() - 1};
            for (const TFB_InstanceRef* rec : iec->DownloadedFBInstanceList) {
                auto app = owner_.find(rec);
                if (app == owner_.end()) {
                    message("The FB " + rec->Name + " on " + iec->Name + " is drawn in no diagram: not carried over");
                    continue;
                }
                TSysFB& fb = r.Network.FBs.emplace_back();
                fb.Name = inResource(rec);
                fb.Type = rec->Type ? rec->Type->Name : std::string();
                fb.X = position_[rec].first;
                fb.Y = position_[rec].second;
                if (!app->second.empty()) {
                    sys_.Mappings.push_back({fb.Name, to});
                    continue;
                }
                fb.Comment = rec->Comment;
                for (const auto& in : rec->DataInputs)
                    if (!in->ValueText.empty())
                        fb.Parameters.push_back({in->Name(), in->ValueText});
            }
            if (!iec->InternalDeviceDiagramFilename.empty())
                message("The process-interface diagram of " + iec->Name + " is not carried over");
            for (const auto& ipp : iec->IPPList)
                message("The IPP " + ipp->Name + " of " + iec->Name + " is not carried over");
        }
    }

    TSysResource* resourceOf(const TslDevice* device)
    {
        auto it = resourceOf_.find(device);
        if (it == resourceOf_.end())
            return nullptr;
        return &sys_.Devices[it->second.first].Resources[it->second.second];
    }

    template <typename Record> void place(const Record& c, bool event)
    {
        const TFB_InstanceRef* s = c.SourceInstance;
        const TFB_InstanceRef* d = c.DestInstance;
        if (!s || !d || !c.SourcePort || !c.DestPort)
            return;
        const std::string text = s->Name + "." + c.SourcePort->Name() + " -> " + d->Name + "." + c.DestPort->Name();
        auto sa = owner_.find(s), da = owner_.find(d);
        if (sa == owner_.end() || da == owner_.end()) {
            message("The connection " + text + " joins an FB drawn in no diagram: not carried over");
            return;
        }
        if (sa->second == da->second && !sa->second.empty()) {
            for (auto& app : sys_.Applications)
                if (app.Name == sa->second)
                    (event ? app.Network.Events : app.Network.Data)
                        .push_back({s->Name + "." + c.SourcePort->Name(), d->Name + "." + c.DestPort->Name()});
            if (event && s->Device && d->Device)
                reached_.insert(d);
            return;
        }
        // Across applications 4diac keeps a connection only inside one
        // resource.
        if (s->Device && s->Device == d->Device)
            if (TSysResource* r = resourceOf(s->Device)) {
                (event ? r->Network.Events : r->Network.Data)
                    .push_back({inResource(s) + "." + c.SourcePort->Name(), inResource(d) + "." + c.DestPort->Name()});
                if (event)
                    reached_.insert(d);
                return;
            }
        message("The connection " + text + " joins FBs of " + (sa->second.empty() ? s->Name : sa->second) + " and " +
                (da->second.empty() ? d->Name : da->second) + " on different devices: not carried over");
    }

    void connections()
    {
        TFB_Manager& fbm = wb_.FBManager();
        for (const auto& c : fbm.EventConns)
            place(*c, true);
        for (const auto& c : fbm.DataConns)
            place(*c, false);
        for (const auto& c : fbm.IPPFBConns)
            message("The IPP connection " + (c->IPP ? c->IPP->Name : std::string()) + " - " +
                    (c->Instance ? c->Instance->Name : std::string()) + " is not carried over");
        for (const auto& c : fbm.IPPtoIPPConns)
            message("The IPP connection " + (c->SourceIPP ? c->SourceIPP->Name : std::string()) + " - " +
                    (c->DestIPP ? c->DestIPP->Name : std::string()) + " is not carried over");
        // The resource's START to every FB no event reaches, as a deployment
        // joins them.
        for (const auto& [device, index] : resourceOf_) {
            TSysResource& r = sys_.Devices[index.first].Resources[index.second];
            for (const TFB_InstanceRef* rec : device->DownloadedFBInstanceList) {
                auto app = owner_.find(rec);
                if (app == owner_.end() || reached_.count(rec))
                    continue;
                for (const char* input : {"INIT", "START"})
                    if (rec->FindEventInput(input)) {
                        const std::string to = inResource(rec) + "." + input;
                        r.Network.Events.push_back({"START.COLD", to});
                        r.Network.Events.push_back({"START.WARM", to});
                        break;
                    }
            }
        }
    }

    void segments()
    {
        const TSystemLayerManager& layer = wb_.SystemLayer();
        std::set<std::pair<std::string, std::string>> links;
        for (const auto& o : layer.Objects) {
            if (o->Kind != slIECFieldbus)
                continue;
            TSysSegment& g = sys_.Segments.emplace_back();
            g.Name = identifier(o->Name);
            g.Type = isIdentifier(o->TypeName) ? o->TypeName : "Ethernet";
            g.Comment = o->Description;
            g.X = toUnits(o->Left);
            g.Y = toUnits(o->Top);
            g.Width = o->Width * 5.882;
        }
        for (const auto& c : layer.Connections) {
            const TslObject* bus = c->SourceObject;
            const TslObject* dev = c->TargetObject;
            if (bus && bus->Kind != slIECFieldbus)
                std::swap(bus, dev);
            auto sysDevice = systemDevice_.find(dynamic_cast<const TslIECDevice*>(dev));
            if (!bus || bus->Kind != slIECFieldbus || sysDevice == systemDevice_.end()) {
                message("The system connection " + c->Name +
                        " is not carried over: 4diac links only segments "
                        "and devices");
                continue;
            }
            if (links.insert({identifier(bus->Name), sysDevice->second}).second)
                sys_.Links.push_back({identifier(bus->Name), sysDevice->second});
        }
    }

    void otherObjects()
    {
        for (const auto& o : wb_.SystemLayer().Objects)
            if (o->Kind != slIECFieldbus && o->Kind != slIECDevice)
                message("The system layer object " + o->Name + " is not carried over: a system file has no " +
                        "place for it");
    }

    // The types the exported FBs use and the inner types of those, except
    // the standard event FBs every IEC 61499 tool has.
    void collectTypes(const TFB_Type* type, std::vector<const TFB_Type*>& into, std::set<const TFB_Type*>& seen)
    {
        if (!type || !seen.insert(type).second)
            return;
        if (type->Network)
            for (const auto& inner : type->Network->InnerInstances)
                collectTypes(inner->Type, into, seen);
        into.push_back(type);
    }

    void write()
    {
        std::vector<const TFB_Type*> types;
        std::set<const TFB_Type*> seen;
        for (const TFB_Type* t : usedTypes_)
            collectTypes(t, types, seen);
        // The shipped event types every runtime has (an installed program's
        // library, not the user's own).
        const fs::path standard = (wb_.ProgramFolder() / "library" / "events").lexically_normal();
        TFileStaging staging;
        try {
            result_.SystemFile = outDir_ / (sys_.Name + ".sys");
            staging.Write(result_.SystemFile, SystemToText(sys_));
            std::set<std::string> names;
            for (const TFB_Type* t : types) {
                const fs::path file = fs::path(t->FileName).lexically_normal();
                if (file.parent_path() == standard)
                    continue;
                if (!IsPlainEntryName(t->Name) || !names.insert(t->Name).second) {
                    message("The type " + t->Name + " is not written: its name is no file name of its own");
                    continue;
                }
                std::string text;
                try {
                    text = ReadFileText(file);
                } catch (const std::exception& e) {
                    message("The type " + t->Name + " is not written: " + e.what());
                    continue;
                }
                staging.Write(outDir_ / (t->Name + ".fbt"), text);
            }
            staging.Commit();
        } catch (const std::exception& e) {
            staging.Discard();
            throw ESystemExchangeError(std::string("The system is not exported: ") + e.what());
        }
        result_.Written = staging.Targets();
    }

    TWorkbench& wb_;
    fs::path outDir_;
    TSystem sys_;
    TSystemExport result_;
    std::map<const TFB_InstanceRef*, std::string> owner_;
    std::map<const TFB_InstanceRef*, std::pair<double, double>> position_;
    std::map<const TslDevice*, std::pair<size_t, size_t>> resourceOf_;
    std::map<const TslIECDevice*, std::string> systemDevice_;
    std::set<const TFB_InstanceRef*> reached_;
    std::set<const TFB_Type*> usedTypes_;
};

} // namespace

TSystemExport ExportSystem(TWorkbench& workbench, const fs::path& outDir)
{
    return TExporter(workbench, outDir).Run();
}

} // namespace telvo
