#include "workbench/system_import.h"

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/file_staging.h"
#include "model/file_util.h"
#include "model/user_interface.h"
#include "model/value_text.h"
#include "persistence/network_file.h"
#include "persistence/project_file.h"
#include "persistence/sys_file.h"
#include "persistence/type_file.h"
#include "systemlayer/geometry.h"
#include "systemlayer/system_layer.h"
#include "workbench/project_lifecycle.h"
#include "workbench/workbench.h"

#include <pugixml.hpp>

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <unordered_map>

namespace telvo {

namespace fs = std::filesystem;

bool IsPlainEntryName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos;
}

namespace {

// A type folder tree is searched this deep and this far: a .sys file left
// at the top of a home folder must not make the import walk the disk.
constexpr int MaxFolderDepth = 12;
constexpr size_t MaxFolderEntries = 200000;

std::string shortTypeName(const std::string& name)
{
    const size_t colons = name.rfind("::");
    return colons == std::string::npos ? name : name.substr(colons + 2);
}

std::string lowerExtension(const fs::path& p)
{
    std::string e = p.extension().string();
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e;
}

int32_t toGrid(double iecUnits)
{
    return FileToGridValue(iecUnits);
}

struct TEndpoint {
    TFB_InstanceRef* Record = nullptr;
    std::string Port;
};

// What one network's names stand for once flattened: its FBs, its untyped
// subapps, and (for a subapp) where its own ports lead inside.
struct TScope {
    std::unordered_map<std::string, TFB_InstanceRef*> FBs;
    std::unordered_map<std::string, TScope> SubApps;
    std::unordered_map<std::string, std::vector<TEndpoint>> InputFeeds, OutputDrivers;
    std::vector<TFB_InstanceRef*> All; // every record made inside, nested ones too
};

class TImporter {
public:
    TImporter(const fs::path& programFolder, std::string sysFile, std::string projectFile, bool dryRun)
        : wb_(programFolder, ui_), sysFile_(std::move(sysFile)), projectFile_(std::move(projectFile)), dryRun_(dryRun)
    {
        ui_.KeepLog = false;
    }

    TSystemImport Run()
    {
        std::string text;
        try {
            text = ReadFileText(sysFile_);
        } catch (const std::exception& e) {
            throw ESystemExchangeError(e.what());
        }
        std::vector<std::string> notCarried;
        try {
            sys_ = ReadSystemText(text, sysFile_, notCarried);
        } catch (const ESystemFileError& e) {
            throw ESystemExchangeError(e.what());
        }
        for (auto& m : notCarried)
            message(std::move(m));
        if (!IsPlainEntryName(sys_.Name))
            throw ESystemExchangeError(sysFile_ + ": the system name " + sys_.Name + " cannot name a library folder");
        std::error_code ec;
        if (fs::exists(projectFile_, ec))
            throw ESystemExchangeError(projectFile_ + " exists already: the import makes a new project");
        projectFile_ = fs::absolute(projectFile_).lexically_normal().string();
        libraryFolder_ = wb_.LibraryFolder() / sys_.Name;

        wb_.IndexLibrary();
        indexFolderTypes(fs::absolute(sysFile_).parent_path());
        TProject_Manager& project = wb_.ProjectManager();
        project.Name = sys_.Name;
        project.FileName = projectFile_;
        project.Comment = sys_.Comment;

        for (const auto& app : sys_.Applications)
            buildApplication(app);
        buildDevices();
        buildSegments();
        buildMapping();
        buildResourceNetworks();
        checkStarts();

        // The type loader's own words (a composite's inner type missing ...).
        for (const auto& m : ui_.Messages())
            result_.Messages.push_back(m);
        list();
        if (!dryRun_)
            write();
        return std::move(result_);
    }

private:
    void message(std::string text) { result_.Messages.push_back(std::move(text)); }

    // Type files below the system's folder, by the name their file gives.
    void indexFolderTypes(const fs::path& folder)
    {
        std::error_code ec;
        fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
        size_t seen = 0;
        for (; !ec && it != end; it.increment(ec)) {
            if (++seen > MaxFolderEntries) {
                message(folder.string() + ": only the first " + std::to_string(MaxFolderEntries) +
                        " entries are searched for types");
                break;
            }
            const fs::path& p = it->path();
            const std::string name = p.filename().string();
            if (it->is_directory(ec)) {
                if (it.depth() >= MaxFolderDepth || name.empty() || name[0] == '.')
                    it.disable_recursion_pending();
                continue;
            }
            const std::string ext = lowerExtension(p);
            if ((ext == ".fbt" || ext == ".sub" || ext == ".adp") && it->is_regular_file(ec))
                folderTypes_.emplace(p.stem().string(), p);
        }
    }

    // Every FB type an FBNetwork or SubAppNetwork of the document uses.
    static void innerTypes(pugi::xml_node node, std::vector<pugi::xml_attribute>& into)
    {
        for (pugi::xml_node c : node.children()) {
            if (c.type() != pugi::node_element)
                continue;
            if (std::string_view(c.name()) == "FB" || std::string_view(c.name()) == "SubApp") {
                if (pugi::xml_attribute t = c.attribute("Type"))
                    into.push_back(t);
            } else {
                innerTypes(c, into);
            }
        }
    }

    static void rename(pugi::xml_node node, const char* from, const char* to)
    {
        for (pugi::xml_node c : node.children(from))
            c.set_name(to);
    }

    // A subapp type as the composite type it is drawn as here.
    void subAppToComposite(pugi::xml_node root, const std::string& typeName)
    {
        root.set_name("FBType");
        pugi::xml_node il = root.child("SubAppInterfaceList");
        il.set_name("InterfaceList");
        rename(il, "SubAppEventInputs", "EventInputs");
        rename(il, "SubAppEventOutputs", "EventOutputs");
        for (pugi::xml_node list : il.children())
            rename(list, "SubAppEvent", "Event");
        pugi::xml_node net = root.child("SubAppNetwork");
        net.set_name("FBNetwork");
        for (pugi::xml_node s = net.child("SubApp"); s;) {
            pugi::xml_node next = s.next_sibling("SubApp");
            if (!s.attribute("Type")) {
                message(sysFile_ + ": untyped SubApp " + std::string(s.attribute("Name").value()) +
                        " inside the subapp type " + typeName + " is not carried over");
                net.remove_child(s);
            } else {
                s.set_name("FB");
            }
            s = next;
        }
    }

    // Loads the type for an FB; false with the reason when it cannot be had.
    bool ensureType(const std::string& qualified, std::string& why)
    {
        const std::string name = shortTypeName(qualified);
        TFB_Manager& fbm = wb_.FBManager();
        if (name.empty()) {
            why = "it has no type";
            return false;
        }
        if (fbm.FindType(name))
            return true;
        if (auto failed = failedTypes_.find(name); failed != failedTypes_.end()) {
            why = failed->second;
            return false;
        }
        const bool ok = loadType(name, why);
        if (!ok)
            failedTypes_[name] = why;
        return ok;
    }

    bool loadType(const std::string& name, std::string& why)
    {
        TFB_Manager& fbm = wb_.FBManager();
        if (wb_.LibraryIndex.FolderListing(name)) {
            if (fbm.LoadTypeFromLibrary("", name) && fbm.FindType(name))
                return true;
            why = "the library's type " + name + " cannot be loaded";
            return false;
        }
        auto found = folderTypes_.find(name);
        if (found == folderTypes_.end()) {
            why = "neither the system's folder nor the library has the type " + name;
            return false;
        }
        if (!IsPlainEntryName(name)) {
            why = "the type name " + name + " cannot be a file name";
            return false;
        }
        if (std::find(loading_.begin(), loading_.end(), name) != loading_.end()) {
            why = "the type " + name + " holds an instance of itself";
            return false;
        }
        const fs::path& file = found->second;
        std::string text;
        try {
            text = ReadFileText(file);
        } catch (const std::exception& e) {
            why = e.what();
            return false;
        }
        pugi::xml_document doc;
        if (!doc.load_buffer(text.data(), text.size())) {
            why = file.string() + " is not well-formed XML";
            return false;
        }
        pugi::xml_node root = doc.document_element();
        const std::string_view rootName = root.name();
        if (rootName == "AdapterType") {
            why = "the adapter type " + name + " is not carried over";
            return false;
        }
        if (rootName != "FBType" && rootName != "SubAppType") {
            why = file.string() + " holds no FB type";
            return false;
        }
        bool changed = false;
        if (rootName == "SubAppType") {
            subAppToComposite(root, name);
            changed = true;
        }
        // Inner types first, so that the composite finds them loaded.
        std::vector<pugi::xml_attribute> inner;
        innerTypes(root, inner);
        loading_.push_back(name);
        for (pugi::xml_attribute t : inner) {
            const std::string full = t.value();
            const std::string bare = shortTypeName(full);
            if (bare != full) {
                t.set_value(bare.c_str());
                changed = true;
            }
            std::string innerWhy;
            if (!ensureType(bare, innerWhy))
                message(file.string() + ": " + innerWhy);
        }
        loading_.pop_back();
        if (changed) {
            TStringWriter out;
            doc.save(out, "\t", pugi::format_indent, pugi::encoding_utf8);
            text = std::move(out.Text);
        }
        auto type = std::make_unique<TFB_Type>();
        try {
            if (!ReadFBType(text, *type, &fbm, file.string())) {
                why = file.string() + " holds no FB type";
                return false;
            }
        } catch (const std::exception& e) {
            why = e.what();
            return false;
        }
        if (type->Name != name) {
            why = file.string() + " declares the type " + type->Name + ", not " + name;
            return false;
        }
        const fs::path target = libraryFolder_ / (name + ".fbt");
        type->FileName = target.string();
        fbm.Types.push_back(std::move(type));
        copies_.push_back({target, std::move(text), file});
        return true;
    }

    class TStringWriter : public pugi::xml_writer {
    public:
        std::string Text;
        void write(const void* data, size_t size) override { Text.append(static_cast<const char*>(data), size); }
    };

    // A project-wide name for an FB: its own when free, else prefixed with
    // its application's name, else numbered.
    std::string uniqueName(const std::string& wanted, const std::string& app, const std::string& path)
    {
        TFB_Manager& fbm = wb_.FBManager();
        auto taken = [&](const std::string& n) { return fbm.FindInstance(n) != nullptr; };
        // A dot would split the name where a connection names INSTANCE.PORT.
        auto plain = [](std::string n) {
            std::replace_if(
                n.begin(), n.end(), [](char c) { return c == '.' || c == '/' || c == '\\'; }, '_');
            return n;
        };
        std::string name = plain(wanted);
        if (name != wanted)
            message(sysFile_ + ": FB " + path + " is named " + name + " here: an FB name holds no dot");
        if (taken(name)) {
            const std::string base = plain(app) + "_" + name;
            name = base;
            for (int n = 2; taken(name); ++n)
                name = base + "_" + std::to_string(n);
            message(sysFile_ + ": FB " + path + " is named " + name + " here: another FB has the name " + wanted);
        }
        return name;
    }

    void setParameters(TFB_InstanceRef* r, const std::vector<TSysParameter>& params, const std::string& path)
    {
        for (const auto& p : params) {
            TFBDataMember* in = r->FindDataInput(p.Name);
            if (!in) {
                message(sysFile_ + ": parameter " + p.Name + " of " + path + " is not carried over: the type " +
                        (r->Type ? r->Type->Name : std::string()) + " has no data input " + p.Name);
                continue;
            }
            // The text is kept as written; the export writes it back.
            in->ValueText = p.Value;
            try {
                in->SetValueFromText(p.Value);
            } catch (const std::exception&) {
            }
        }
    }

    TFB_InstanceRef* makeFB(TFB_Diagram& d, const std::string& app, const std::string& path, const std::string& name,
                            const std::string& type, const std::string& comment, double x, double y)
    {
        std::string why;
        if (!ensureType(type, why)) {
            message(sysFile_ + ": FB " + path + " is not carried over: " + why);
            return nullptr;
        }
        TFB_Instance* drawn = nullptr;
        try {
            drawn = d.AddInstance(uniqueName(name, app, path), shortTypeName(type), false, nullptr);
        } catch (const std::exception& e) {
            message(sysFile_ + ": FB " + path + " is not carried over: " + e.what());
            return nullptr;
        }
        if (!drawn) {
            message(sysFile_ + ": FB " + path + " is not carried over");
            return nullptr;
        }
        drawn->PlaceAt(toGrid(x), toGrid(y));
        drawn->Ref->Comment = comment;
        byPath_[path] = drawn->Ref;
        ++result_.FBs;
        return drawn->Ref;
    }

    // The outputs an end names as a connection's source, and the inputs it
    // names as a destination. `interfacePort` is set for an end that names
    // the network's own interface (no dot).
    std::vector<TEndpoint> ends(TScope& scope, const std::string& end, bool source, std::string& interfacePort)
    {
        std::string inst, port;
        SplitSysEnd(end, inst, port);
        interfacePort.clear();
        if (inst.empty()) {
            interfacePort = port;
            return {};
        }
        if (auto fb = scope.FBs.find(inst); fb != scope.FBs.end())
            return {{fb->second, port}};
        if (auto sub = scope.SubApps.find(inst); sub != scope.SubApps.end()) {
            auto& m = source ? sub->second.OutputDrivers : sub->second.InputFeeds;
            if (auto it = m.find(port); it != m.end())
                return it->second;
        }
        return {};
    }

    void connect(bool event, const TEndpoint& s, const TEndpoint& d, const std::string& what)
    {
        TFB_Manager& fbm = wb_.FBManager();
        const std::string& sn = s.Record->Name;
        const std::string& dn = d.Record->Name;
        if (event) {
            TFBEvent* out = s.Record->FindEventOutput(s.Port);
            TFBEvent* in = d.Record->FindEventInput(d.Port);
            if (!out || !in)
                return message(what + " is not carried over: " +
                               (!out ? "FB " + sn + " has no event output " + s.Port
                                     : "FB " + dn + " has no event input " + d.Port));
            if (fbm.FindEventConn(d.Port, s.Port, dn, sn))
                return;
            auto r = fbm.Pool.Make<TFB_EventAssocRef>();
            r->SourcePort = out;
            r->DestPort = in;
            r->SourceInstance = s.Record;
            r->DestInstance = d.Record;
            fbm.AddEventConn(std::move(r));
        } else {
            TFBDataMember* out = s.Record->FindDataOutput(s.Port);
            TFBDataMember* in = d.Record->FindDataInput(d.Port);
            if (!out || !in)
                return message(what + " is not carried over: " +
                               (!out ? "FB " + sn + " has no data output " + s.Port
                                     : "FB " + dn + " has no data input " + d.Port));
            if (fbm.FindDataConn(d.Port, s.Port, dn, sn))
                return;
            auto r = fbm.Pool.Make<TFB_DataAssocRef>();
            r->SourcePort = out;
            r->DestPort = in;
            r->SourceInstance = s.Record;
            r->DestInstance = d.Record;
            fbm.AddDataConn(std::move(r));
        }
        ++result_.Connections;
    }

    // Makes the network's FBs (subapps flattened) in the diagram and joins
    // them; connections to the network's own interface fill the scope's maps.
    void buildNetwork(TFB_Diagram& d, const TSysNetwork& net, TScope& scope, const std::string& app,
                      const std::string& path, const std::string& prefix, double dx, double dy)
    {
        for (const auto& fb : net.FBs)
            if (TFB_InstanceRef* r =
                    makeFB(d, app, path + "." + fb.Name, prefix + fb.Name, fb.Type, fb.Comment, dx + fb.X, dy + fb.Y)) {
                setParameters(r, fb.Parameters, path + "." + fb.Name);
                scope.FBs[fb.Name] = r;
                scope.All.push_back(r);
            }
        for (const auto& s : net.SubApps) {
            const std::string subPath = path + "." + s.Name;
            if (!s.Type.empty()) {
                if (TFB_InstanceRef* r =
                        makeFB(d, app, subPath, prefix + s.Name, s.Type, s.Comment, dx + s.X, dy + s.Y)) {
                    setParameters(r, s.Parameters, subPath);
                    scope.FBs[s.Name] = r;
                    scope.All.push_back(r);
                }
                continue;
            }
            TScope& inner = scope.SubApps[s.Name];
            buildNetwork(d, *s.Network, inner, app, subPath, prefix + s.Name + "_", dx + s.X, dy + s.Y);
            subappRecords_[subPath] = inner.All;
            subScopes_[subPath] = &inner;
            scope.All.insert(scope.All.end(), inner.All.begin(), inner.All.end());
            for (const auto& p : s.Parameters) {
                auto feeds = inner.InputFeeds.find(p.Name);
                if (feeds == inner.InputFeeds.end()) {
                    message(sysFile_ + ": parameter " + p.Name + " of " + subPath +
                            " is not carried over: no FB inside takes it");
                    continue;
                }
                for (const auto& e : feeds->second)
                    setParameters(e.Record, {{e.Port, p.Value}}, subPath);
            }
        }
        auto join = [&](const std::vector<TSysConnection>& list, bool event) {
            for (const auto& c : list) {
                const std::string what = sysFile_ + ": " + (event ? "event" : "data") + " connection " + c.Source +
                                         " -> " + c.Destination + " in " + path;
                std::string fromInterface, toInterface;
                auto sources = ends(scope, c.Source, true, fromInterface);
                auto dests = ends(scope, c.Destination, false, toInterface);
                if (!fromInterface.empty() && !toInterface.empty()) {
                    message(what + " is not carried over: it joins the subapp's own ports");
                } else if (!fromInterface.empty()) {
                    auto& feeds = scope.InputFeeds[fromInterface];
                    feeds.insert(feeds.end(), dests.begin(), dests.end());
                } else if (!toInterface.empty()) {
                    auto& drivers = scope.OutputDrivers[toInterface];
                    drivers.insert(drivers.end(), sources.begin(), sources.end());
                } else if (sources.empty() || dests.empty()) {
                    message(what + " is not carried over: an end names no FB that came in");
                } else {
                    for (const auto& s : sources)
                        for (const auto& t : dests)
                            connect(event, s, t, what);
                }
            }
        };
        join(net.Events, true);
        join(net.Data, false);
        for (const auto& c : net.Adapters)
            message(sysFile_ + ": adapter connection " + c.Source + " -> " + c.Destination + " in " + path +
                    " is not carried over");
    }

    void buildApplication(const TSysApplication& app)
    {
        TFB_Manager& fbm = wb_.FBManager();
        TFB_Diagram* d = fbm.CreateDiagram(app.Name, 1.0);
        d->Comment = app.Comment;
        TScope& scope = rootScopes_.emplace_back();
        buildNetwork(*d, app.Network, scope, app.Name, app.Name, "", 0, 0);
        ++result_.Applications;
        if (d->DrawnInstances.empty())
            message(sysFile_ + ": application " + app.Name +
                    " brings no FB: a project keeps no empty diagram, so it is not "
                    "carried over");
        applicationDiagrams_.push_back(d);
    }

    TslIECDevice* addDevice(const std::string& wanted)
    {
        TSystemLayerManager& layer = wb_.SystemLayer();
        std::string name = wanted;
        for (int n = 2; layer.FindByName(name); ++n)
            name = wanted + "_" + std::to_string(n);
        if (name != wanted)
            message(sysFile_ + ": device " + wanted + " is named " + name + " here: the name is taken");
        return static_cast<TslIECDevice*>(layer.AddObject(name, slIECDevice));
    }

    void buildDevices()
    {
        for (const auto& d : sys_.Devices) {
            ++result_.Devices;
            std::string address, port;
            for (const auto& p : d.Parameters) {
                if (p.Name == "MGR_ID") {
                    const std::string id = UnquoteSysValue(p.Value);
                    const size_t colon = id.rfind(':');
                    address = colon == std::string::npos ? id : id.substr(0, colon);
                    port = colon == std::string::npos ? std::string() : id.substr(colon + 1);
                } else {
                    message(sysFile_ + ": parameter " + p.Name + " of device " + d.Name + " is not carried over");
                }
            }
            if (d.Resources.empty())
                message(sysFile_ + ": device " + d.Name +
                        " has no resource: its FBs would run in a resource named after "
                        "the device");
            const size_t count = std::max<size_t>(1, d.Resources.size());
            for (size_t i = 0; i < count; ++i) {
                const TSysResource* r = d.Resources.empty() ? nullptr : &d.Resources[i];
                TslIECDevice* dev = addDevice(d.Resources.size() > 1 ? d.Name + "." + r->Name : d.Name);
                // The type the export writes for a device without one.
                dev->TypeName = d.Type.empty() ? "FORTE_PC" : d.Type;
                dev->Description = d.Comment;
                dev->Left = toGrid(d.X) + static_cast<int32_t>(i) * 90;
                dev->Top = toGrid(d.Y);
                dev->DeviceIPAddress = address;
                dev->DeviceAddressPort = port;
                devicesOf_[d.Name].push_back(dev);
                if (!r)
                    continue;
                ++result_.Resources;
                dev->ResourceName = r->Name;
                resources_[d.Name + "." + r->Name] = dev;
                if (!r->Type.empty() && r->Type != "EMB_RES")
                    message(sysFile_ + ": the type " + r->Type + " of resource " + d.Name + "." + r->Name +
                            " is not kept: the runtime makes an EMB_RES");
                for (const auto& p : r->Parameters)
                    message(sysFile_ + ": parameter " + p.Name + " of resource " + d.Name + "." + r->Name +
                            " is not carried over");
            }
        }
    }

    void buildSegments()
    {
        TSystemLayerManager& layer = wb_.SystemLayer();
        for (const auto& g : sys_.Segments) {
            if (layer.FindByName(g.Name)) {
                message(sysFile_ + ": segment " + g.Name + " is not carried over: the name is taken");
                continue;
            }
            TslObject* bus = layer.AddObject(g.Name, slIECFieldbus);
            bus->TypeName = g.Type.empty() ? "Ethernet" : g.Type;
            bus->Description = g.Comment;
            bus->Left = toGrid(g.X);
            bus->Top = toGrid(g.Y);
            bus->Width = std::max<int32_t>(40, RoundHalfEven(g.Width / 5.882));
        }
        for (const auto& l : sys_.Links) {
            TslObject* bus = layer.FindByName(l.SegmentName);
            auto devices = devicesOf_.find(l.CommResource);
            if (!bus || bus->Kind != slIECFieldbus || devices == devicesOf_.end()) {
                message(sysFile_ + ": link " + l.SegmentName + " - " + l.CommResource + " is not carried over: " +
                        (!bus || bus->Kind != slIECFieldbus ? "no segment " + l.SegmentName
                                                            : "no device " + l.CommResource));
                continue;
            }
            for (TslIECDevice* dev : devices->second)
                layer.Connect(bus, dev);
        }
    }

    // The IEC device a mapping's To names: DEVICE.RESOURCE, or (older
    // files) DEVICE.RESOURCE.FB.
    TslIECDevice* mappedDevice(const std::string& to)
    {
        if (auto it = resources_.find(to); it != resources_.end())
            return it->second;
        const size_t dot = to.rfind('.');
        if (dot != std::string::npos)
            if (auto it = resources_.find(to.substr(0, dot)); it != resources_.end())
                return it->second;
        return nullptr;
    }

    void assign(TslIECDevice* dev, TFB_InstanceRef* r, const std::string& what)
    {
        if (r->Device == dev)
            return;
        if (r->Device) {
            message(what + " is not carried over: FB " + r->Name + " is mapped to " + r->Device->Name + " already");
            return;
        }
        AssignInstance(dev, r);
        ++result_.Mapped;
    }

    void buildMapping()
    {
        for (const auto& m : sys_.Mappings) {
            const std::string what = sysFile_ + ": mapping " + m.From + " -> " + m.To;
            TslIECDevice* dev = mappedDevice(m.To);
            if (!dev) {
                message(what + " is not carried over: no resource " + m.To);
                continue;
            }
            // Older files: the resource holds a copy of the FB (or subapp)
            // under its short name, and To names it.
            if (resources_.count(m.To) == 0)
                copyPaths_[m.To] = m.From;
            if (auto it = byPath_.find(m.From); it != byPath_.end()) {
                assign(dev, it->second, what);
            } else if (auto sub = subappRecords_.find(m.From); sub != subappRecords_.end()) {
                for (TFB_InstanceRef* r : sub->second)
                    assign(dev, r, what);
            } else {
                message(what + " is not carried over: no FB " + m.From + " came in");
            }
        }
    }

    // What the resources' own networks add: FBs of no application, and
    // connections the applications do not hold.
    void buildResourceNetworks()
    {
        for (const auto& d : sys_.Devices)
            for (const auto& res : d.Resources) {
                const std::string resPath = d.Name + "." + res.Name;
                TslIECDevice* dev = resources_[resPath];
                if (!dev)
                    continue;
                std::unordered_map<std::string, TFB_InstanceRef*> local;
                // A name of the resource's network as the application path
                // it stands for: App.FB itself, or an older file's copy.
                std::map<std::string, std::string> alias;
                auto mappedPath = [&](const std::string& name) -> std::string {
                    if (byPath_.count(name) || subScopes_.count(name))
                        return name;
                    if (auto it = copyPaths_.find(resPath + "." + name); it != copyPaths_.end())
                        return it->second;
                    return {};
                };
                TFB_Diagram* diagram = nullptr;
                for (const auto& fb : res.Network.FBs) {
                    if (const std::string path = mappedPath(fb.Name); !path.empty()) {
                        if (auto it = byPath_.find(path); it != byPath_.end())
                            local[fb.Name] = it->second;
                        continue;
                    }
                    if (!diagram) {
                        diagram = wb_.FBManager().CreateDiagram(dev->Name, 1.0);
                        applicationDiagrams_.push_back(diagram);
                    }
                    const std::string path = resPath + "." + fb.Name;
                    if (TFB_InstanceRef* r =
                            makeFB(*diagram, dev->Name, path, fb.Name, fb.Type, fb.Comment, fb.X, fb.Y)) {
                        setParameters(r, fb.Parameters, path);
                        local[fb.Name] = r;
                        assign(dev, r, sysFile_ + ": FB " + path);
                    }
                }
                for (const auto& s : res.Network.SubApps) {
                    const std::string path = mappedPath(s.Name);
                    if (path.empty())
                        message(sysFile_ + ": SubApp " + s.Name + " in resource " + resPath + " is not carried over");
                    else if (auto typed = byPath_.find(path); typed != byPath_.end())
                        local[s.Name] = typed->second;
                    else
                        alias[s.Name] = path;
                }
                // The ends a resource's connection names: its FBs, and the
                // ports of the flattened subapps mapped to it.
                auto resolve = [&](const std::string& inst, const std::string& port,
                                   bool source) -> std::vector<TEndpoint> {
                    if (auto it = local.find(inst); it != local.end())
                        return {{it->second, port}};
                    auto named = alias.find(inst);
                    if (auto sub = subScopes_.find(named != alias.end() ? named->second : inst);
                        sub != subScopes_.end()) {
                        const auto& m = source ? sub->second->OutputDrivers : sub->second->InputFeeds;
                        if (auto it = m.find(port); it != m.end())
                            return it->second;
                    }
                    return {};
                };
                auto join = [&](const std::vector<TSysConnection>& list, bool event) {
                    for (const auto& c : list) {
                        const std::string what = sysFile_ + ": " + (event ? "event" : "data") + " connection " +
                                                 c.Source + " -> " + c.Destination + " in resource " + resPath;
                        std::string si, sp, di, dp;
                        SplitSysEnd(c.Source, si, sp);
                        SplitSysEnd(c.Destination, di, dp);
                        const auto dsts = resolve(di, dp, false);
                        if (si == "START" && event && !dsts.empty()) {
                            for (const auto& t : dsts)
                                starts_.push_back({dev, t.Record, t.Port, what});
                            continue;
                        }
                        const auto srcs = resolve(si, sp, true);
                        if (srcs.empty() || dsts.empty()) {
                            message(what + " is not carried over: an end names no FB that came in");
                            continue;
                        }
                        for (const auto& f : srcs)
                            for (const auto& t : dsts)
                                connect(event, f, t, what);
                    }
                };
                join(res.Network.Events, true);
                join(res.Network.Data, false);
                for (const auto& c : res.Network.Adapters)
                    message(sysFile_ + ": adapter connection " + c.Source + " -> " + c.Destination + " in resource " +
                            resPath + " is not carried over");
            }
    }

    // A deployment joins the resource's START to the INIT (else START) of
    // every FB of the device that no event reaches; a START connection the
    // rule makes again is carried over, any other is told.
    void checkStarts()
    {
        TFB_Manager& fbm = wb_.FBManager();
        std::set<const TFB_InstanceRef*> reached;
        for (const auto& c : fbm.EventConns)
            if (c->DestInstance && c->SourceInstance && c->SourceInstance->Device && c->DestInstance->Device)
                reached.insert(c->DestInstance);
        for (const auto& s : starts_) {
            std::string first;
            if (s.Record->Type)
                for (const char* input : {"INIT", "START"})
                    if (s.Record->FindEventInput(input)) {
                        first = input;
                        break;
                    }
            if (s.Record->Device != s.Device || reached.count(s.Record) || first != s.Port)
                message(s.What + " is not carried over: a deployment joins START only "
                                 "to the INIT (else START) "
                                 "of an FB no event reaches");
        }
    }

    void list()
    {
        auto& out = result_.Listing;
        out.push_back("system\t" + sys_.Name + "\tapplications=" + std::to_string(result_.Applications) +
                      "\tfbs=" + std::to_string(result_.FBs) + "\tconnections=" + std::to_string(result_.Connections) +
                      "\tdevices=" + std::to_string(result_.Devices) + "\tresources=" +
                      std::to_string(result_.Resources) + "\tmapped=" + std::to_string(result_.Mapped));
        out.push_back("project\t" + projectFile_);
        for (const TFB_Diagram* d : applicationDiagrams_)
            if (!d->DrawnInstances.empty())
                out.push_back("diagram\t" + d->Name + "\tfbs=" + std::to_string(d->DrawnInstances.size()));
        for (const auto& o : wb_.SystemLayer().Objects) {
            if (auto* dev = dynamic_cast<const TslIECDevice*>(o.get()))
                out.push_back("device\t" + dev->Name + "\t" + dev->TypeName + "\t" + dev->DeviceIPAddress + ":" +
                              dev->DeviceAddressPort + "\tresource=" + dev->ResourceName +
                              "\tfbs=" + std::to_string(dev->DownloadedFBInstanceList.size()));
            else
                out.push_back("fieldbus\t" + o->Name + "\t" + o->TypeName);
        }
        for (const auto& c : wb_.SystemLayer().Connections)
            out.push_back("link\t" + c->SourceObject->Name + "\t" + c->TargetObject->Name);
        for (const auto& c : copies_)
            out.push_back("type\t" + c.Target.stem().string() + "\t" + c.Source.string() + "\t" + c.Target.string());
    }

    void write()
    {
        const fs::path projectFolder = fs::path(projectFile_).parent_path();
        RemoveStaleStagingFolders(projectFolder);
        RemoveStaleStagingFolders(libraryFolder_);
        TFileStaging staging;
        try {
            for (const auto& c : copies_)
                staging.Write(c.Target, c.Text);
            std::set<std::string> files;
            for (TFB_Diagram* d : applicationDiagrams_) {
                d->RebuildLines();
                std::string base = d->Name;
                std::replace(base.begin(), base.end(), '/', '_');
                std::replace(base.begin(), base.end(), '\\', '_');
                if (!IsPlainEntryName(base))
                    base = "Application";
                std::string file = base + ".fbn";
                for (int n = 2; files.count(file); ++n)
                    file = base + "_" + std::to_string(n) + ".fbn";
                files.insert(file);
                d->FileName = (projectFolder / file).string();
            }
            // WriteProjectFile stages the networks and writes the project
            // document at once; here the project document waits for the rest.
            for (TFB_Diagram* d : applicationDiagrams_)
                if (!d->DrawnInstances.empty())
                    staging.Write(d->FileName, NetworkToText(*d));
            staging.Write(projectFile_, ProjectToText(ProjectParts(wb_), projectFile_));
            staging.Commit();
        } catch (const std::exception& e) {
            staging.Discard();
            throw ESystemExchangeError(std::string("The system is not imported, nothing of it is kept: ") + e.what());
        }
        result_.Written = staging.Targets();
        for (const auto& w : result_.Written)
            result_.Listing.push_back("written\t" + w.string());
    }

    struct TCopy {
        fs::path Target;
        std::string Text;
        fs::path Source;
    };
    struct TStart {
        TslIECDevice* Device;
        TFB_InstanceRef* Record;
        std::string Port;
        std::string What;
    };

    TRecordingUserInterface ui_;
    TWorkbench wb_;
    std::string sysFile_, projectFile_;
    bool dryRun_;
    fs::path libraryFolder_;
    TSystem sys_;
    TSystemImport result_;
    std::map<std::string, fs::path> folderTypes_;
    std::map<std::string, std::string> failedTypes_;
    std::vector<std::string> loading_;
    std::vector<TCopy> copies_;
    std::unordered_map<std::string, TFB_InstanceRef*> byPath_;
    std::unordered_map<std::string, std::vector<TFB_InstanceRef*>> subappRecords_;
    // The applications' scopes stay, so that a resource's connections can
    // name a mapped subapp's ports.
    std::deque<TScope> rootScopes_;
    std::unordered_map<std::string, const TScope*> subScopes_;
    std::map<std::string, TslIECDevice*> resources_;
    std::map<std::string, std::vector<TslIECDevice*>> devicesOf_;
    std::map<std::string, std::string> copyPaths_;
    std::vector<TStart> starts_;
    std::vector<TFB_Diagram*> applicationDiagrams_;
};

} // namespace

TSystemImport ImportSystem(const fs::path& programFolder, const std::string& sysFile, const std::string& projectFile,
                           bool dryRun)
{
    return TImporter(programFolder, sysFile, projectFile, dryRun).Run();
}

} // namespace telvo
