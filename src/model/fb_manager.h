#pragma once
// The FB manager: every loaded FB type, the diagrams of the open project,
// the project-wide instance records and the connection records.

#include "model/fb_diagram.h"
#include "model/fb_type.h"
#include "model/record_index.h"
#include "systemlayer/system_layer.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace telvo {

class TUserInterface;
struct TLibraryIndex;

// Reads the XML text of a type file into a fresh type. Installed by the
// persistence layer so that the model can load types on demand without
// depending on it. Returns false when the root is not a type; throws on
// malformed XML.
using TTypeReader = std::function<bool(const std::string& xmlText, TFB_Type& target)>;

// What the FB manager needs from the workbench to load types on demand.
struct TTypeLoadContext {
    TUserInterface* UI = nullptr;
    std::filesystem::path ProgramFolder;
    const TLibraryIndex* Index = nullptr;
    TTypeReader Reader;
    // The library folders types are looked up in, first match wins; empty:
    // the program folder's library/.
    std::vector<std::filesystem::path> LibraryFolders;
    // Where output for the user goes (KALO/); empty: the program folder.
    std::filesystem::path UserFolder;

    std::vector<std::filesystem::path> Libraries() const
    {
        return LibraryFolders.empty() ? std::vector<std::filesystem::path>{ProgramFolder / "library"} : LibraryFolders;
    }
    const std::filesystem::path& OutputFolder() const { return UserFolder.empty() ? ProgramFolder : UserFolder; }
};

class TFB_Manager {
public:
    explicit TFB_Manager(TTypeLoadContext context = {}) : Context(std::move(context)) {}
    ~TFB_Manager();
    TFB_Manager(const TFB_Manager&) = delete;
    TFB_Manager& operator=(const TFB_Manager&) = delete;

    TTypeLoadContext Context;
    // Where the records, drawn instances, connection records and lines of
    // the project are made (see TObjectPool): a project's are many and come
    // together.
    TObjectPool Pool;

    // Project records, unique by name. Change these lists only through the
    // operations below: the lookups by name keep an index of them.
    TOwnedList<TFB_InstanceRef> Instances;
    TOwnedList<TFB_Diagram> Diagrams;
    // Loaded types. Append to them freely; FindType takes them in. A type
    // replaced in place is found out at the next lookup of its old name; a
    // type renamed in place is not: type names stay as read.
    TOwnedList<TFB_Type> Types;
    TOwnedList<TFB_EventAssocRef> EventConns;
    TOwnedList<TFB_DataAssocRef> DataConns;
    TOwnedList<TFB_IPPFBAssocsRef> IPPFBConns;
    TOwnedList<TFB_IPPtoIPPAssocRef> IPPtoIPPConns;
    int32_t NextDiagramNumber = 1;
    int32_t NextInstanceNumber = 1;
    // The system layer the IPP pictures, IPP connections and distributed
    // records refer to (see AttachSystemLayer).
    TSystemLayerManager* SystemLayer = nullptr;
    // Instances a network file named that could not be made (their type did
    // not load), once per diagram and name: what the project check reports.
    struct TFailedInstance {
        std::string Diagram, Name, Type;
        bool operator==(const TFailedInstance&) const = default;
    };
    std::vector<TFailedInstance> FailedInstances;

    // The first loaded type of the name.
    TFB_Type* FindType(std::string_view name) const;

    // Reads a type from the lines of a type file with Context.Reader and
    // appends it to Types; a type the reader refuses is destroyed. Does not
    // look for a loaded type of the same name. Malformed XML throws out of
    // here to the caller, which reports it.
    bool LoadTypeFromLines(const std::vector<std::string>& lines);
    // Loads a type from the library: the first library folder's folder +
    // "/" + typeName + ".fbt" (else ".xml") there is. An empty folder means the first
    // index entry that lists exactly typeName. Tells the user when the file
    // is missing or is not a type; on success the type's FileName is the
    // file it came from.
    bool LoadTypeFromLibrary(const std::string& folder, const std::string& typeName);
    // The file of a type in a library folder (the index's folder when
    // `folder` is empty), from the first library folder that has it, ".fbt"
    // before ".xml"; empty when none has it. `tried` gets the path looked
    // for in the first library folder, without extension.
    std::string LibraryTypeFile(const std::string& folder, const std::string& typeName,
                                std::string* tried = nullptr) const;

    // Names what needs the types loaded while it lives ("network file F",
    // "FB type T"): a type the library does not hold is reported naming it.
    class TNeededBy {
    public:
        TNeededBy(TFB_Manager& manager, std::string who) : manager_(manager)
        {
            manager_.neededBy_.push_back(std::move(who));
        }
        ~TNeededBy() { manager_.neededBy_.pop_back(); }
        TNeededBy(const TNeededBy&) = delete;
        TNeededBy& operator=(const TNeededBy&) = delete;

    private:
        TFB_Manager& manager_;
    };

    TFB_Diagram* CreateDiagram(const std::string& name, double zoom);
    void DeleteDiagram(TFB_Diagram* diagram);

    int32_t TakeDiagramNumber() { return NextDiagramNumber++; }
    int32_t TakeInstanceNumber() { return NextInstanceNumber++; }

    // ---- Instance records and connection records ----

    TFB_Instance* FindDrawnInstance(const std::string& name) const;
    TFB_InstanceRef* FindInstance(std::string_view name) const;
    // A record of the type found by FindType, appended to Instances; none
    // when the type is not loaded. Throws EConvertError (nothing made) for
    // an initial value that is no number of its type.
    TFB_InstanceRef* CreateInstance(const std::string& name, const std::string& typeName, bool apply);
    // Removes every trace of the record from the diagrams, its connection
    // records and its device, and destroys it.
    void DeleteInstance(TFB_InstanceRef* record);
    // The same for many records at once, in one pass over the project
    // whatever their number; records not in the project are left alone.
    void DeleteInstances(const std::vector<TFB_InstanceRef*>& records);
    // Whether a project diagram draws the record.
    bool IsDrawn(const TFB_InstanceRef* record) const;
    // Renames a record; lookups by name follow. Refused (false) when another
    // record has the name already.
    bool RenameInstance(TFB_InstanceRef* record, const std::string& newName);

    TFB_EventAssocRef* AddEventConn(std::unique_ptr<TFB_EventAssocRef> record);
    TFB_DataAssocRef* AddDataConn(std::unique_ptr<TFB_DataAssocRef> record);
    TFB_IPPFBAssocsRef* AddIPPFBConn(std::unique_ptr<TFB_IPPFBAssocsRef> record);
    TFB_IPPtoIPPAssocRef* AddIPPtoIPPConn(std::unique_ptr<TFB_IPPtoIPPAssocRef> record);
    // Each removes and destroys the record when it is in the list, with
    // every line that draws it in any diagram.
    void RemoveEventConn(TFB_EventAssocRef* record);
    void RemoveDataConn(TFB_DataAssocRef* record);
    void RemoveIPPFBConn(TFB_IPPFBAssocsRef* record);
    void RemoveIPPtoIPPConn(TFB_IPPtoIPPAssocRef* record);

    // The first record joining these ports by name, or none. Writes the four
    // names to the log first.
    TFB_EventAssocRef* FindEventConn(std::string_view destPort, std::string_view sourcePort,
                                     std::string_view destInstance, std::string_view sourceInstance) const;
    TFB_DataAssocRef* FindDataConn(std::string_view destPort, std::string_view sourcePort,
                                   std::string_view destInstance, std::string_view sourceInstance) const;
    TFB_IPPFBAssocsRef* FindIPPFBConn(const std::string& iptName, const std::string& ippName,
                                      const std::string& instanceName, const std::string& portName) const;
    // The first IPP-to-IPP record from `source` to `dest`, or none.
    TFB_IPPtoIPPAssocRef* FindIPPtoIPPConn(const TslIPPRef* source, const TslIPPRef* dest) const;

    // Deletes every picture of the IPP in every diagram with its lines, then
    // every IPP connection record at the IPP.
    void DeleteIPPEverywhere(TslIPPRef* ipp);

    // The connection records a project diagram draws: those with an end at
    // a record drawn in it (by name) or at an IPP pictured in it, in list
    // order.
    TDiagramRecords RecordsFor(const TFB_Diagram& diagram) const;

    // Replaces a loaded type by a fresh copy from the library and moves
    // every record of it over to the new copy. Ports beyond the new type's
    // counts go with their connections, and the user is told which.
    void ReloadType(TFB_Type* type);
    // The same with the fresh copy read from the text of a type file that
    // is not in the library yet; the copy's FileName is `fileName`.
    void ReloadTypeFromText(TFB_Type* type, const std::string& xmlText, const std::string& fileName);

    // How the application diagrams use a device's IPP: "device::instance::
    // port" when the instance at the IPP's line is on the device, "EXPORT"
    // when it is elsewhere, empty when no line shows the IPP.
    struct TIPPBinding {
        std::string Path;
        std::string DeviceName;
        std::string InstanceName;
        std::string EventPort;
        std::string DataPort;
    };
    TIPPBinding FindIPPBinding(const TslDevice* device, const TslIPPRef* ipp) const;

    // Hooks the manager to the system layer: deleting a device clears the
    // device of its records, deleting an IPP (or its IPT or device) removes
    // its pictures and connections from every diagram, and a layer that goes
    // takes all of these with it.
    void AttachSystemLayer(TSystemLayerManager* layer);

    // Shows a message to the user, when there is a user interface.
    void ShowMessage(const std::string& text) const;

private:
    friend class TFB_InstanceRef;
    friend class TFB_Diagram;

    class TLayerHook final : public TSystemLayerListener {
    public:
        explicit TLayerHook(TFB_Manager& manager) : manager_(manager) {}
        void IppDeleting(TslIPPRef& ipp) override;
        void ObjectDeleting(TslObject& object) override;
        void LayerDestroying(TSystemLayerManager& layer) override;

    private:
        TFB_Manager& manager_;
    };

    TFB_Type* loadTypeFromText(const std::string& xmlText);
    // A project diagram has let go of a drawing of the record: when that was
    // its last one, the record goes with its connections. Network files
    // keep only drawn instances, so a record drawn nowhere would not come
    // back from the files, and its connections would name an instance that
    // no file holds.
    void drawingDeleted(const TFB_Diagram& diagram, TFB_InstanceRef* record);
    // CreateInstance with the type already found.
    TFB_InstanceRef* createInstance(const std::string& name, TFB_Type* type, bool apply);
    // Calls visit(record) for each record of that name, in list order,
    // until visit returns false.
    template <typename Visit>
    void forEachNamed(std::string_view name, Visit&& visit) const;
    void indexInstance(TFB_InstanceRef* record) const;
    void unindexInstance(TFB_InstanceRef* record);
    void rebuildInstanceIndex() const;
    void ensureConnIndex() const;
    void rebuildConnIndex() const;
    void indexConn(TFB_EventAssocRef* record) const;
    void indexConn(TFB_DataAssocRef* record) const;
    void indexConn(TFB_IPPFBAssocsRef* record) const;
    void indexConn(TFB_IPPtoIPPAssocRef* record) const;
    void unindexConn(const TFB_EventAssocRef* record);
    void unindexConn(const TFB_DataAssocRef* record);
    void unindexConn(const TFB_IPPFBAssocsRef* record);
    void unindexConn(const TFB_IPPtoIPPAssocRef* record);
    // Every diagram with records in it: the project's, the types' networks
    // and the inner diagrams of composite records, outer before inner.
    void forEachDiagram(const std::function<void(TFB_Diagram&)>& visit);
    void removePortEverywhere(const void* port);
    size_t connCount() const;
    void forgetDevice(const TslDevice* device);
    void forgetLayer();
    void reloadRecord(TFB_InstanceRef& record, TFB_Type* newType, std::vector<std::string>& removedPorts);
    // ReloadType with `load` appending the fresh copy of the named type.
    void reloadType(TFB_Type* type, const std::function<bool(const std::string& name)>& load);

    // Index of Instances by name, and of the connection records by the
    // records and IPPs at their ends. Rebuilt when the lists were changed
    // behind the manager's back.
    mutable TInstanceNameIndex byName_;
    mutable size_t indexedInstances_ = 0;
    mutable TConnectionIndex byRecord_;
    struct TIppConns {
        std::vector<TFB_IPPFBAssocsRef*> IPPFBs;
        std::vector<TFB_IPPtoIPPAssocRef*> IPPtoIPPs;
    };
    mutable std::unordered_map<const TslIPPRef*, TIppConns> byIpp_;
    mutable size_t indexedConns_ = 0;
    // Types by name: the position of the first type of each name in Types.
    // Types appended since are taken in at the next lookup.
    struct TNameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const { return std::hash<std::string_view>()(name); }
    };
    mutable std::unordered_map<std::string, size_t, TNameHash, std::equal_to<>> typeIndex_;
    mutable size_t indexedTypes_ = 0;
    void forgetTypeIndex() const
    {
        typeIndex_.clear();
        indexedTypes_ = 0;
    }
    uint64_t nextListOrder_ = 1;

    // Composite types being expanded into an inner diagram right now: a type
    // whose network holds (further down) an instance of itself would
    // otherwise expand for ever.
    std::vector<const TFB_Type*> expanding_;
    // Set while DeleteInstance takes a record's drawings away itself.
    bool deletingRecord_ = false;

    TLayerHook layerHook_{*this};

    // Types being read from the library right now: a composite type whose
    // network (directly or further down) holds an instance of itself would
    // otherwise load itself for ever.
    std::vector<std::string> loading_;
    // Who needs the types being loaded, innermost last (see TNeededBy).
    std::vector<std::string> neededBy_;
};

} // namespace telvo
