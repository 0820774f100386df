#include "persistence/project_file.h"

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/file_staging.h"
#include "model/file_util.h"
#include "model/project_manager.h"
#include "model/user_interface.h"
#include "model/value_text.h"
#include "persistence/network_file.h"
#include "systemlayer/geometry.h"
#include "systemlayer/system_layer.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <set>
#include <string_view>
#include <vector>

namespace telvo {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view IppSeparator = "+||+";
constexpr const char* DiagramExtension = ".fbn";

bool isRegularFile(const fs::path& p)
{
    std::error_code ec;
    return !p.empty() && fs::is_regular_file(p, ec);
}

fs::path folderOf(const std::string& file) { return fs::path(file).parent_path(); }

// Two folders are the same when the file system says so; folders that do not
// exist (yet) are compared by their normalised absolute names.
bool sameFolder(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    const fs::path ca = a.empty() ? fs::path(".") : a;
    const fs::path cb = b.empty() ? fs::path(".") : b;
    if (fs::exists(ca, ec) && fs::exists(cb, ec)) {
        bool same = fs::equivalent(ca, cb, ec);
        if (!ec)
            return same;
    }
    fs::path na = fs::absolute(ca, ec).lexically_normal();
    fs::path nb = fs::absolute(cb, ec).lexically_normal();
    return na.generic_string() == nb.generic_string() ||
           (na / "").generic_string() == (nb / "").generic_string();
}

// A diagram the project file lists: every diagram of the project that holds
// anything. A device's process-interface diagram belongs to its device, and
// inner networks to their composite.
bool isListedDiagram(const TFB_Diagram& d)
{
    if (d.IsInternalDeviceDiagram || d.InnerNetwork)
        return false;
    return !d.DrawnInstances.empty() || !d.IPPPictures.empty() || !d.Notes.empty();
}

// A diagram name as a file name of its own.
std::string fileNameOf(const std::string& diagramName)
{
    std::string name = diagramName;
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\\', '_');
    if (name.empty() || name == "." || name == "..")
        name = "FB_Diagram";
    return name;
}

// Where a diagram of the project is written: its file when that exists;
// otherwise its file name with ".fbn" added when the name has none. Relative
// names, and a diagram never saved, go to the project file's folder.
std::string diagramFile(const TFB_Diagram& d, const fs::path& projectFolder)
{
    fs::path p = d.FileName.empty() ? fs::path(fileNameOf(d.Name)) : fs::path(d.FileName);
    if (p.is_relative())
        p = projectFolder / p;
    if (isRegularFile(p))
        return p.string();
    std::string name = p.string();
    if (name.find(DiagramExtension) == std::string::npos)
        name += DiagramExtension;
    return name;
}

// A file name as stored: bare when the file lies in the project file's
// folder, full otherwise.
std::string storedFileName(const std::string& file, const fs::path& projectFolder)
{
    if (file.empty())
        return {};
    fs::path p(file);
    if (sameFolder(p.parent_path(), projectFolder))
        return p.filename().string();
    return file;
}

void set(pugi::xml_node node, const char* name, const std::string& value)
{
    node.append_attribute(name).set_value(value.c_str());
}

void set(pugi::xml_node node, const char* name, int32_t value) { set(node, name, std::to_string(value)); }

void setFlag(pugi::xml_node node, const char* name, bool value) { set(node, name, value ? "True" : "False"); }

class TStringWriter : public pugi::xml_writer {
public:
    std::string Text;
    void write(const void* data, size_t size) override { Text.append(static_cast<const char*>(data), size); }
};

// A child made the first time it is asked for: empty lists are not written.
class TLazyChild {
public:
    TLazyChild(pugi::xml_node parent, const char* name) : parent_(parent), name_(name) {}
    pugi::xml_node Get()
    {
        if (!node_)
            node_ = parent_.append_child(name_);
        return node_;
    }

private:
    pugi::xml_node parent_;
    const char* name_;
    pugi::xml_node node_;
};

// Project file side of the system layer ---------------------------------------

std::string endName(const TslObject* end)
{
    if (!end)
        return {};
    if (auto* ipp = dynamic_cast<const TslIPPRef*>(end))
        return (ipp->Owner ? ipp->Owner->Name : std::string()) + std::string(IppSeparator) + ipp->Name;
    return end->Name;
}

void writeCommon(pugi::xml_node e, const TslObject& o)
{
    set(e, "Name", o.Name);
    set(e, "TypeName", o.TypeName);
    set(e, "Description", o.Description);
    set(e, "Left", o.Left);
    set(e, "Top", o.Top);
    set(e, "Width", o.Width);
    set(e, "Height", o.Height);
}

void writeIO(pugi::xml_node e, const TslIODevice& device)
{
    auto list = [&](const char* name, const std::vector<std::unique_ptr<TslDeviceIO>>& entries) {
        if (entries.empty())
            return;
        pugi::xml_node l = e.append_child(name);
        for (const auto& io : entries) {
            pugi::xml_node n = l.append_child("TslDeviceIO");
            set(n, "IOName", io->IOName);
            set(n, "IOType", io->IOType);
            set(n, "IODescription", io->IODescription);
        }
    };
    list("InputList", device.InputList);
    list("OutputList", device.OutputList);
}

void writeIpps(pugi::xml_node e, const std::vector<std::unique_ptr<TslIPPRef>>& ipps)
{
    if (ipps.empty())
        return;
    pugi::xml_node l = e.append_child("IPPList");
    for (const auto& ipp : ipps) {
        pugi::xml_node n = l.append_child("TslIPPInstance");
        set(n, "Name", ipp->Name);
        set(n, "TypeName", ipp->TypeName);
        set(n, "Description", ipp->Description);
        setFlag(n, "IsEventIPP", ipp->IsEventIPP);
        set(n, "SensorActuator", int32_t{ipp->SensorActuator});
    }
}

// "images\" + name for a picture in the program's images folder, so that
// the project opens on any installation; the full name otherwise.
std::string storedImageName(const std::string& imageFile, const fs::path& programFolder)
{
    if (imageFile.empty())
        return {};
    fs::path p(imageFile);
    if (!programFolder.empty() && p.parent_path().generic_string() == (programFolder / "images").generic_string())
        return "images\\" + p.filename().string();
    return imageFile;
}

void writeSystemLayer(pugi::xml_node root, const TProjectParts& parts, const fs::path& projectFolder)
{
    TLazyChild layer(root, "SystemLayer");
    pugi::xml_node objects, ipts, connections;
    auto objectElement = [&](const char* name) {
        if (!objects)
            objects = layer.Get().append_child("SystemLayerObjectList");
        return objects.append_child(name);
    };

    for (const auto& owned : parts.SystemLayer.Objects) {
        const TslObject* o = owned.get();
        if (auto* ipt = dynamic_cast<const TslIPT*>(o)) {
            if (!ipts)
                ipts = layer.Get().append_child("SystemLayerIPTList");
            pugi::xml_node e = ipts.append_child("TslIPTInstance");
            writeCommon(e, *ipt);
            set(e, "ImageFileName", storedImageName(ipt->ImageFileName, parts.ProgramFolder));
            writeIpps(e, ipt->IPPList);
        } else if (auto* device = dynamic_cast<const TslDevice*>(o)) {
            // IEC and OPC devices share one element; the reader tells them
            // apart by the type name.
            pugi::xml_node e = objectElement("TslIECDeviceInstance");
            writeCommon(e, *device);
            set(e, "InternalDeviceDiagramFilename",
                storedFileName(device->InternalDeviceDiagramFilename, projectFolder));
            if (auto* iec = dynamic_cast<const TslIECDevice*>(device)) {
                set(e, "DeviceIPAddress", iec->DeviceIPAddress);
                set(e, "DeviceAddressPort", iec->DeviceAddressPort);
                // Written only when set: readers that do not know it skip an
                // attribute they do not ask for, and every other file stays
                // byte for byte as it was.
                if (!iec->ResourceName.empty())
                    set(e, "ResourceName", iec->ResourceName);
            } else if (auto* opc = dynamic_cast<const TslOPCDevice*>(device)) {
                set(e, "OPCServerName", opc->OPCServerName);
                set(e, "OPCMachineName", opc->OPCMachineName);
            }
            writeIO(e, *device);
            writeIpps(e, device->IPPList);
            if (!device->DownloadedFBInstanceList.empty()) {
                pugi::xml_node l = e.append_child("DownloadedFBInstanceList");
                for (const TFB_InstanceRef* r : device->DownloadedFBInstanceList)
                    if (r)
                        set(l.append_child("FBInstance"), "FBName", r->Name);
            }
        } else if (auto* nonIec = dynamic_cast<const TslNonIECDevice*>(o)) {
            pugi::xml_node e = objectElement("TslNonIECDeviceInstance");
            writeCommon(e, *nonIec);
            writeIO(e, *nonIec);
        } else if (auto* fieldbus = dynamic_cast<const TslIECFieldbus*>(o)) {
            pugi::xml_node e = objectElement("TslIECFieldbusInstance");
            writeCommon(e, *fieldbus);
            setFlag(e, "AllowNonIecDevices", fieldbus->AllowNonIecDevices);
        } else {
            const char* name = dynamic_cast<const TslNetBone*>(o)           ? "TslNetBoneInstance"
                               : dynamic_cast<const TslNonIECFieldbus*>(o) ? "TslNonIECFieldbusInstance"
                               : dynamic_cast<const TslComputer*>(o)       ? "TslComputerInstance"
                               : dynamic_cast<const TslInterunit*>(o)      ? "TslInterunitInstance"
                               : dynamic_cast<const TslSwitch*>(o)         ? "TslSwitchInstance"
                                                                           : nullptr;
            if (name)
                writeCommon(objectElement(name), *o);
        }
    }

    for (const auto& c : parts.SystemLayer.Connections) {
        if (!connections)
            connections = layer.Get().append_child("SystemLayerConnectionList");
        pugi::xml_node e = connections.append_child("SystemConnection");
        set(e, "Name", c->Name);
        set(e, "ConnectionType", int32_t{c->ConnectionType});
        set(e, "Description", c->Description);
        set(e, "SourceObject", endName(c->SourceObject));
        set(e, "TargetObject", endName(c->TargetObject));
    }
}

// Reading ---------------------------------------------------------------------

bool flagValue(const char* text)
{
    std::string upper = UpperCase(text ? text : "");
    return upper == "TRUE" || upper == "1";
}

std::string missingNetworkFile(const std::string& stored, const std::string& diagram)
{
    return "the FB network file \"" + stored + "\" of diagram " + diagram + " is not found";
}

std::string missingDeviceDiagram(const std::string& stored, const std::string& device)
{
    return "the process-interface diagram file \"" + stored + "\" of device " + device + " is not found";
}

class TProjectReader {
public:
    TProjectReader(const TProjectParts& parts, std::string path) : p_(parts), path_(std::move(path)) {}

    void Read(pugi::xml_node root)
    {
        TProject_Manager& project = p_.Project;
        const std::string name = root.attribute("Name").value();
        const std::string comment = root.attribute("Comment").value();
        if (project.Windows.SetCaption)
            project.Windows.SetCaption("TELVO Engineering Support System [" + name + "] ");
        if (project.Windows.SetTreeStatus)
            project.Windows.SetTreeStatus("[" + comment + "]");

        // An empty name would mean "no project" while the project's parts
        // are loaded: the file's own name stands in for it.
        project.Name = name;
        if (project.Name.empty()) {
            project.Name = fs::path(path_).stem().string();
            if (project.Name.empty())
                project.Name = "Project";
        }
        const size_t bar = comment.find('|');
        project.UmlModelFile = bar == std::string::npos ? std::string() : comment.substr(0, bar);
        project.Comment = bar == std::string::npos ? comment : comment.substr(bar + 1);
        project.FileName = path_;

        const std::string model = ResolveProjectRelative(path_, project.UmlModelFile);
        project.HasUmlModel = !model.empty();
        TUmlToolLink& uml = project.EnsureUmlTool(p_.UI, p_.StereotypesPath);
        if (project.HasUmlModel) {
            project.UmlModelFile = model;
            if (p_.UI.AskYesNo("The project needs a connection to Rational Rose. Continue with connecting to Rose?")) {
                uml.Connect();
                if (isRegularFile(model))
                    uml.OpenModel(model);
            }
        }

        p_.SystemLayer.ProjectFile = path_;
        pugi::xml_node layer = root.child("SystemLayer");
        readObjects(layer.child("SystemLayerObjectList"), layer.child("SystemLayerIPTList"));
        for (pugi::xml_node c : layer.child("SystemLayerConnectionList").children("SystemConnection"))
            readConnection(c);
        for (pugi::xml_node i : root.child("ProjectFBInstances").children("ProjFBInstance"))
            readInstance(i);
        for (pugi::xml_node d : root.child("FBDiagrams").children("FBNetworkFile"))
            readDiagram(d);
        // All files as one: an instance of a file further down the list is
        // there when a connection of an earlier file names it.
        LoadFromFiles(networks_);
        for (const auto& [element, device] : devices_)
            readDistribution(element, device);

        if (project.Windows.ProjectShown)
            project.Windows.ProjectShown();
        if (project.Windows.ProjectFileRead)
            project.Windows.ProjectFileRead(path_);
    }

private:
    void tell(const std::string& text) const { p_.UI.ShowMessage(path_ + ": " + text); }

    // A whole number where the file has one; a fraction from another writer
    // is rounded; anything else keeps the current value and is told.
    void number(pugi::xml_node e, const char* attr, int32_t& target) const
    {
        pugi::xml_attribute a = e.attribute(attr);
        if (!a)
            return;
        const std::string text = a.value();
        int32_t i = 0;
        double r = 0;
        if (TryParseInteger(text, i)) {
            target = i;
        } else if (TryParseReal(text, r) && std::isfinite(r) && std::fabs(r) < 2147483647.0) {
            target = static_cast<int32_t>(RoundHalfEven(r));
        } else {
            tell(std::string(e.name()) + " " + e.attribute("Name").value() + ": " + attr + " \"" + text +
                 "\" is no number");
        }
    }

    void readCommon(pugi::xml_node e, TslObject& o) const
    {
        o.TypeName = e.attribute("TypeName").value();
        o.Description = e.attribute("Description").value();
        number(e, "Left", o.Left);
        number(e, "Top", o.Top);
        number(e, "Width", o.Width);
        number(e, "Height", o.Height);
    }

    void readIO(pugi::xml_node e, TslIODevice& device) const
    {
        device.ClearIO();
        for (pugi::xml_node io : e.child("InputList").children("TslDeviceIO")) {
            TslDeviceIO* entry = device.AddInput(io.attribute("IOName").value());
            entry->IOType = io.attribute("IOType").value();
            entry->IODescription = io.attribute("IODescription").value();
        }
        for (pugi::xml_node io : e.child("OutputList").children("TslDeviceIO")) {
            TslDeviceIO* entry = device.AddOutput(io.attribute("IOName").value());
            entry->IOType = io.attribute("IOType").value();
            entry->IODescription = io.attribute("IODescription").value();
        }
    }

    uint8_t sensorActuator(pugi::xml_node e) const
    {
        int32_t value = 0;
        number(e, "SensorActuator", value);
        return value == 0 ? TslIPPRef::Sensor : TslIPPRef::Actuator;
    }

    TslObject* add(pugi::xml_node e, uint8_t kind)
    {
        TslObject* o = p_.SystemLayer.AddObject(e.attribute("Name").value(), kind);
        if (o)
            readCommon(e, *o);
        return o;
    }

    void readObjects(pugi::xml_node objects, pugi::xml_node ipts)
    {
        for (pugi::xml_node e : objects.children("TslIECFieldbusInstance"))
            if (auto* bus = dynamic_cast<TslIECFieldbus*>(add(e, slIECFieldbus)))
                bus->AllowNonIecDevices = flagValue(e.attribute("AllowNonIecDevices").value());
        for (pugi::xml_node e : objects.children("TslIECDeviceInstance"))
            readDevice(e);
        for (pugi::xml_node e : objects.children("TslComputerInstance"))
            add(e, slComputer);
        for (pugi::xml_node e : objects.children("TslNetBoneInstance"))
            add(e, slNetBone);
        for (pugi::xml_node e : objects.children("TslNonIECFieldbusInstance"))
            add(e, slNonIECFieldbus);
        for (pugi::xml_node e : objects.children("TslNonIECDeviceInstance"))
            if (auto* device = dynamic_cast<TslNonIECDevice*>(add(e, slNonIECDevice)))
                readIO(e, *device);
        for (pugi::xml_node e : objects.children("TslInterunitInstance"))
            add(e, slInterunit);
        for (pugi::xml_node e : objects.children("TslSwitchInstance"))
            add(e, slSwitch);
        for (pugi::xml_node e : ipts.children("TslIPTInstance"))
            readIpt(e);
    }

    void readDevice(pugi::xml_node e)
    {
        const std::string typeName = e.attribute("TypeName").value();
        const bool opc = typeName.find("OPC Data Access") != std::string::npos;
        auto* device = dynamic_cast<TslDevice*>(add(e, opc ? slOPCDevice : slIECDevice));
        if (!device)
            return;
        const std::string storedDiagram = e.attribute("InternalDeviceDiagramFilename").value();
        device->InternalDeviceDiagramFilename = ResolveProjectRelative(path_, storedDiagram);
        if (!storedDiagram.empty() && device->InternalDeviceDiagramFilename.empty())
            tell(missingDeviceDiagram(storedDiagram, device->Name));
        if (auto* iec = dynamic_cast<TslIECDevice*>(device)) {
            iec->DeviceIPAddress = e.attribute("DeviceIPAddress").value();
            iec->DeviceAddressPort = e.attribute("DeviceAddressPort").value();
            iec->ResourceName = e.attribute("ResourceName").value();
        } else if (auto* opcDevice = dynamic_cast<TslOPCDevice*>(device)) {
            opcDevice->OPCServerName = e.attribute("OPCServerName").value();
            opcDevice->OPCMachineName = e.attribute("OPCMachineName").value();
        }
        readIO(e, *device);
        for (pugi::xml_node i : e.child("IPPList").children("TslIPPInstance")) {
            TslIPPRef* ipp = device->AddIppRef(std::make_unique<TslIPPRef>(&p_.SystemLayer));
            ipp->Name = i.attribute("Name").value();
            ipp->TypeName = i.attribute("TypeName").value();
            ipp->SensorActuator = sensorActuator(i);
            ipp->Description = i.attribute("Description").value();
            ipp->IsEventIPP = flagValue(i.attribute("IsEventIPP").value());
        }
        devices_.emplace_back(e, device);
    }

    void readIpt(pugi::xml_node e)
    {
        const std::string name = e.attribute("Name").value();
        const std::string typeName = e.attribute("TypeName").value();
        const int subtype = IptSubtypeOfTypeName(typeName);
        if (subtype < 0) {
            tell("IPT " + name + " is not read: \"" + typeName + "\" is no IPT type");
            return;
        }
        auto* ipt = dynamic_cast<TslIPT*>(
            p_.SystemLayer.AddObject(name, slIPT, subtype, e.attribute("ImageFileName").value()));
        if (!ipt)
            return;
        ipt->Description = e.attribute("Description").value();
        number(e, "Left", ipt->Left);
        number(e, "Top", ipt->Top);
        number(e, "Width", ipt->Width);
        number(e, "Height", ipt->Height);
        for (pugi::xml_node i : e.child("IPPList").children("TslIPPInstance")) {
            TslIPPRef* ipp =
                ipt->AddIpp(i.attribute("Name").value(), i.attribute("TypeName").value(), sensorActuator(i));
            ipp->Description = i.attribute("Description").value();
            ipp->IsEventIPP = flagValue(i.attribute("IsEventIPP").value());
        }
    }

    void readConnection(pugi::xml_node e)
    {
        const std::string name = e.attribute("Name").value();
        const std::string sourceName = e.attribute("SourceObject").value();
        const std::string targetName = e.attribute("TargetObject").value();
        TslObject* target = p_.SystemLayer.FindByName(targetName);
        TslObject* source = p_.SystemLayer.FindByName(sourceName);
        if (!source || !target) {
            tell("system connection " + name + " from " + sourceName + " to " + targetName +
                 " is not made: there is no object " + (source ? targetName : sourceName));
            return;
        }
        TSystemConnection* c = p_.SystemLayer.Connect(source, target);
        if (!c)
            return;
        c->Name = name;
        c->Description = e.attribute("Description").value();
    }

    void readInstance(pugi::xml_node e)
    {
        const std::string name = e.attribute("Name").value();
        const std::string typeName = e.attribute("FBType").value();
        TFB_Manager& m = p_.FBManager;
        if (m.FindInstance(name))
            return; // listed twice: the record is there
        TFB_Manager::TNeededBy neededBy(m, "project file " + path_);
        try {
            if (!m.FindType(typeName) && !typeName.empty())
                m.LoadTypeFromLibrary("", typeName);
            if (m.FindType(typeName) && m.CreateInstance(name, typeName, false))
                return;
            tell("FB instance " + name + " is not read: its type \"" + typeName + "\" cannot be loaded");
        } catch (const std::exception& ex) {
            // A library type file that does not read, or an initial value
            // that is no number of its type: this record is lost, the
            // project is not.
            tell("FB instance " + name + " of type " + typeName + " is not read: " + ex.what());
        }
    }

    void readDiagram(pugi::xml_node e)
    {
        const std::string stored = e.attribute("Filename").value();
        TFB_Diagram* d = p_.FBManager.CreateDiagram(e.attribute("Name").value(), 1.0);
        d->FileName = ResolveProjectRelative(path_, stored);
        if (d->Name.empty())
            d->Name = BareFileName(stored);
        d->Comment = e.attribute("Comment").value();
        if (d->FileName.empty()) {
            tell(missingNetworkFile(stored, d->Name));
            return;
        }
        networks_.push_back({d, d->FileName});
    }

    void readDistribution(pugi::xml_node e, TslDevice* device)
    {
        for (pugi::xml_node i : e.child("DownloadedFBInstanceList").children("FBInstance")) {
            const std::string name = i.attribute("FBName").value();
            TFB_InstanceRef* record = nullptr;
            for (const auto& d : p_.FBManager.Diagrams)
                if (TFB_Instance* drawn = d->FindDrawn(name)) {
                    record = drawn->Ref;
                    break;
                }
            if (!record) {
                tell("FB instance " + name + " is not distributed to " + device->Name + ": it is in no diagram");
                continue;
            }
            AssignInstance(device, record);
        }
    }

    const TProjectParts& p_;
    std::string path_;
    // Each device element with the device made from it: the distribution is
    // read once every diagram is, and goes to that very device even where
    // two devices share a name.
    std::vector<std::pair<pugi::xml_node, TslDevice*>> devices_;
    // The diagrams' network files, read together once every diagram is made.
    std::vector<TNetworkFileLoad> networks_;
};

std::string parseError(const std::string& text, const pugi::xml_parse_result& result, const std::string& fileName)
{
    size_t end = result.offset < 0 ? 0 : std::min(static_cast<size_t>(result.offset), text.size());
    size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<long>(end), '\n'));
    return "Malformed XML in " + fileName + ", line " + std::to_string(line) + ": " + result.description();
}

} // namespace

std::string ResolveProjectRelative(const std::string& projectFile, const std::string& storedName)
{
    if (storedName.empty())
        return {};
    const fs::path folder = folderOf(projectFile);
    fs::path given(storedName);
    if (given.is_relative())
        given = folder / given;
    if (isRegularFile(given))
        return given.string();
    const std::string bare = BareFileName(storedName);
    if (!bare.empty() && bare != "." && bare != "..") {
        fs::path beside = folder / bare;
        if (isRegularFile(beside))
            return beside.string();
    }
    return {};
}

std::string ProjectToText(const TProjectParts& parts, const std::string& path)
{
    const fs::path projectFolder = folderOf(path);
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version").set_value("1.0");
    decl.append_attribute("encoding").set_value("UTF-8");
    pugi::xml_node root = doc.append_child("telvo_project");
    set(root, "Name", parts.Project.Name);
    set(root, "Comment", parts.Project.UmlModelFile + "|" + parts.Project.Comment);

    TLazyChild diagrams(root, "FBDiagrams");
    for (const auto& d : parts.FBManager.Diagrams) {
        if (!isListedDiagram(*d))
            continue;
        pugi::xml_node e = diagrams.Get().append_child("FBNetworkFile");
        set(e, "Name", d->Name);
        set(e, "Filename", storedFileName(diagramFile(*d, projectFolder), projectFolder));
        set(e, "Comment", d->Comment);
    }
    TLazyChild instances(root, "ProjectFBInstances");
    for (const auto& r : parts.FBManager.Instances) {
        pugi::xml_node e = instances.Get().append_child("ProjFBInstance");
        set(e, "Name", r->Name);
        set(e, "FBType", r->Type ? r->Type->Name : std::string());
    }
    writeSystemLayer(root, parts, projectFolder);

    TStringWriter out;
    doc.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    return std::move(out.Text);
}

std::string ProjectDiagramFile(const TFB_Diagram& diagram, const std::string& projectFile)
{
    return diagramFile(diagram, folderOf(projectFile));
}

void WriteProjectFile(const TProjectParts& parts, const std::string& path, TFileStaging* networks)
{
    parts.UI.Log("Save file " + path);
    const fs::path projectFolder = folderOf(path);
    std::set<std::string> written;
    for (const auto& d : parts.FBManager.Diagrams) {
        if (!isListedDiagram(*d))
            continue;
        std::string file = diagramFile(*d, projectFolder);
        // Two diagrams of one name that were never saved must not end up in
        // one file.
        for (int n = 2; d->FileName.empty() && written.count(file); ++n)
            file = (projectFolder / (fileNameOf(d->Name) + "_" + std::to_string(n) + DiagramExtension)).string();
        written.insert(file);
        if (networks) {
            networks->Write(file, NetworkToText(*d));
            d->FileName = file;
        } else {
            SaveToFile(*d, file);
        }
    }
    WriteFileAtomic(path, ProjectToText(parts, path));
}

void ReadProjectText(const TProjectParts& parts, const std::string& xmlText, const std::string& path)
{
    pugi::xml_document doc;
    pugi::xml_parse_result parsed =
        doc.load_buffer(xmlText.data(), xmlText.size(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed)
        throw EProjectFileError(parseError(xmlText, parsed, path));
    pugi::xml_node root = doc.document_element();
    if (std::string_view(root.name()) != "telvo_project")
        throw EProjectFileError("Not a TELVO project file (the root element is not telvo_project): " + path);
    TProjectReader(parts, path).Read(root);
}

void ReadProjectFile(const TProjectParts& parts, const std::string& path)
{
    parts.UI.Log("Open file " + path);
    std::string text;
    try {
        text = ReadFileText(path);
    } catch (const std::exception& e) {
        throw EProjectFileError(e.what());
    }
    ReadProjectText(parts, text, path);
}

std::vector<std::string> MissingProjectFiles(const std::string& path)
{
    std::vector<std::string> missing;
    pugi::xml_document doc;
    std::string text;
    try {
        text = ReadFileText(path);
    } catch (const std::exception&) {
        return missing;
    }
    if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto))
        return missing;
    pugi::xml_node root = doc.child("telvo_project");
    for (pugi::xml_node d : root.child("FBDiagrams").children("FBNetworkFile")) {
        const std::string stored = d.attribute("Filename").value();
        if (ResolveProjectRelative(path, stored).empty()) {
            std::string name = d.attribute("Name").value();
            missing.push_back(missingNetworkFile(stored, name.empty() ? BareFileName(stored) : name));
        }
    }
    for (pugi::xml_node e :
         root.child("SystemLayer").child("SystemLayerObjectList").children("TslIECDeviceInstance")) {
        const std::string stored = e.attribute("InternalDeviceDiagramFilename").value();
        if (!stored.empty() && ResolveProjectRelative(path, stored).empty())
            missing.push_back(missingDeviceDiagram(stored, e.attribute("Name").value()));
    }
    return missing;
}

} // namespace telvo
