#include "model/fb_manager.h"

#include "model/file_util.h"
#include "model/library_index.h"
#include "model/user_interface.h"
#include "model/value_text.h"

#include <algorithm>
#include <optional>
#include <type_traits>
#include <unordered_set>

namespace telvo {

TFB_Manager::~TFB_Manager()
{
    // Devices of a layer that lives on must not list records that go now.
    for (const auto& r : Instances)
        if (r->Device)
            UnassignInstance(r->Device, r.get());
    AttachSystemLayer(nullptr);
    // Diagrams reference types and records, so they go first.
    Diagrams.clear();
    Types.clear();
    Instances.clear();
    EventConns.clear();
    DataConns.clear();
    IPPFBConns.clear();
    IPPtoIPPConns.clear();
}

TFB_Type* TFB_Manager::FindType(std::string_view name) const
{
    if (Types.size() < indexedTypes_)
        forgetTypeIndex();
    for (; indexedTypes_ < Types.size(); ++indexedTypes_)
        if (const auto& t = Types[indexedTypes_])
            typeIndex_.try_emplace(t->Name, indexedTypes_);
    if (auto it = typeIndex_.find(name); it != typeIndex_.end()) {
        const auto& t = Types[it->second];
        if (t && t->Name == name)
            return t.get();
    }
    // Not in the index, or the list was changed in place: the list itself
    // answers, and the index is made anew when it disagreed.
    for (const auto& t : Types)
        if (t && t->Name == name) {
            forgetTypeIndex();
            return t.get();
        }
    return nullptr;
}

TFB_Type* TFB_Manager::loadTypeFromText(const std::string& xmlText)
{
    if (!Context.Reader)
        return nullptr;
    // The reader may load inner types of a composite network into Types
    // meanwhile; the new type goes after them.
    auto type = std::make_unique<TFB_Type>();
    if (!Context.Reader(xmlText, *type))
        return nullptr;
    Types.push_back(std::move(type));
    return Types.back().get();
}

bool TFB_Manager::LoadTypeFromLines(const std::vector<std::string>& lines)
{
    return loadTypeFromText(JoinLines(lines)) != nullptr;
}

namespace {

// A library folder or type name names one entry of one folder: anything that
// would step elsewhere on disk cannot be a library file.
bool isPlainName(const std::string& name)
{
    return name != "." && name != ".." && name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos;
}

} // namespace

std::string TFB_Manager::LibraryTypeFile(const std::string& folder, const std::string& typeName,
                                         std::string* tried) const
{
    std::string folderName = folder;
    if (folderName.empty() && Context.Index)
        if (const TLibraryFolder* listing = Context.Index->FolderListing(typeName))
            folderName = listing->Name;

    const bool plain = !typeName.empty() && isPlainName(typeName) && (folderName.empty() || isPlainName(folderName));
    bool first = true;
    for (const std::filesystem::path& library : Context.Libraries()) {
        // Without a folder the type is looked for in the library folder
        // itself (never under an empty folder name).
        const std::string path =
            library.string() + "/" + (folderName.empty() ? "" : folderName + "/") + typeName;
        if (first && tried)
            *tried = path;
        first = false;
        if (!plain)
            continue;
        // ".fbt" before ".xml"; a library copied from Windows may keep the
        // extensions in upper case.
        for (const char* ext : {".fbt", ".FBT", ".xml", ".XML"}) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(path + ext, ec))
                return path + ext;
        }
    }
    return {};
}

bool TFB_Manager::LoadTypeFromLibrary(const std::string& folder, const std::string& typeName)
{
    std::optional<TBusyScope> busy;
    if (Context.UI)
        busy.emplace(*Context.UI);

    std::string path;
    const std::string file = LibraryTypeFile(folder, typeName, &path);
    if (file.empty()) {
        if (Context.UI)
            Context.UI->ShowMessage("Filetype not found" + path + ".fbt" +
                                    (neededBy_.empty() ? std::string() : " (needed by " + neededBy_.back() + ")"));
        return false;
    }

    auto cannotLoad = [&] {
        if (Context.UI)
            Context.UI->UserHint("Cannot load Function Block type from file: " + file, 6);
        return false;
    };
    if (auto at = std::find(loading_.begin(), loading_.end(), typeName); at != loading_.end()) {
        // A composite type that holds itself, directly or further down:
        // the chain of types from it back to it.
        std::string cycle;
        for (auto it = at; it != loading_.end(); ++it)
            cycle += *it + " -> ";
        ShowMessage("FB type " + typeName + " cannot hold an instance of itself: the composite types form a cycle " +
                    cycle + typeName);
        return false;
    }
    loading_.push_back(typeName);
    TFB_Type* type = nullptr;
    try {
        type = loadTypeFromText(ReadFileText(file));
    } catch (...) {
        loading_.pop_back();
        throw;
    }
    loading_.pop_back();
    if (!type)
        return cannotLoad();
    type->FileName = file;
    return true;
}

TFB_Diagram* TFB_Manager::CreateDiagram(const std::string& name, double zoom)
{
    Diagrams.push_back(std::make_unique<TFB_Diagram>(name, zoom, this));
    return Diagrams.back().get();
}

void TFB_Manager::DeleteDiagram(TFB_Diagram* diagram)
{
    auto it = std::find_if(Diagrams.begin(), Diagrams.end(), [&](const auto& d) { return d.get() == diagram; });
    if (it != Diagrams.end())
        Diagrams.erase(it);
}

} // namespace telvo

// ===========================================================================
// Instance records, connection records and the system layer hook.

namespace telvo {

void TFB_Manager::ShowMessage(const std::string& text) const
{
    if (Context.UI)
        Context.UI->ShowMessage(text);
}

// ---- Index of the instance records by name --------------------------------

void TFB_Manager::rebuildInstanceIndex() const
{
    byName_.Clear();
    byName_.Reserve(Instances.size());
    for (const auto& r : Instances)
        byName_.Insert(r.get());
    indexedInstances_ = Instances.size();
}

void TFB_Manager::indexInstance(TFB_InstanceRef* record) const { byName_.Insert(record); }

void TFB_Manager::unindexInstance(TFB_InstanceRef* record)
{
    // Renamed behind the index's back, it stands under its old name.
    if (!byName_.Erase(record))
        byName_.EraseAnywhere(record);
}

template <typename Visit>
void TFB_Manager::forEachNamed(std::string_view name, Visit&& visit) const
{
    if (Instances.size() != indexedInstances_)
        rebuildInstanceIndex();
    // A record renamed behind the index's back: look again from scratch.
    // The visitors take a record seen twice as once.
    if (!byName_.ForEach(name, visit)) {
        rebuildInstanceIndex();
        byName_.ForEach(name, visit);
    }
}

TFB_InstanceRef* TFB_Manager::FindInstance(std::string_view name) const
{
    TFB_InstanceRef* first = nullptr;
    forEachNamed(name, [&](TFB_InstanceRef* r) {
        first = r;
        return false;
    });
    return first;
}

TFB_Instance* TFB_Manager::FindDrawnInstance(const std::string& name) const
{
    for (const auto& d : Diagrams)
        if (TFB_Instance* drawn = d->FindDrawn(name))
            return drawn;
    return nullptr;
}

TFB_InstanceRef* TFB_Manager::CreateInstance(const std::string& name, const std::string& typeName, bool apply)
{
    return createInstance(name, FindType(typeName), apply);
}

TFB_InstanceRef* TFB_Manager::createInstance(const std::string& name, TFB_Type* type, bool apply)
{
    if (!type)
        return nullptr;
    auto record = TFB_InstanceRef::Create(name, type, apply, this);
    if (Instances.size() != indexedInstances_)
        rebuildInstanceIndex();
    Instances.push_back(std::move(record));
    indexInstance(Instances.back().get());
    ++indexedInstances_;
    return Instances.back().get();
}

bool TFB_Manager::RenameInstance(TFB_InstanceRef* record, const std::string& newName)
{
    if (!record)
        return false;
    if (record->Name == newName)
        return true;
    if (FindInstance(newName))
        return false;
    record->Name = newName;
    rebuildInstanceIndex(); // keeps list order among records of one name
    return true;
}

bool TFB_Manager::IsDrawn(const TFB_InstanceRef* record) const
{
    return std::any_of(Diagrams.begin(), Diagrams.end(), [&](const auto& d) {
        const auto& drawn = d->drawsIndex().Records;
        return std::binary_search(drawn.begin(), drawn.end(), static_cast<const void*>(record));
    });
}

void TFB_Manager::drawingDeleted(const TFB_Diagram& diagram, TFB_InstanceRef* record)
{
    if (deletingRecord_ || !record || FindInstance(record->Name) != record)
        return;
    const bool projectDiagram =
        std::any_of(Diagrams.begin(), Diagrams.end(), [&](const auto& d) { return d.get() == &diagram; });
    if (!projectDiagram || IsDrawn(record))
        return;
    if (Context.UI)
        Context.UI->Log("FB instance " + record->Name +
                        " is drawn in no diagram any more: it is removed from the project with its connections");
    DeleteInstance(record);
}

namespace {
// Removes the connection records `doomed` (sorted set `gone`) from their
// list, keeping the order of the rest. A few are found by their list order
// number, which rises along the list; many in one pass.
template <typename T>
void eraseRecords(TOwnedList<T>& list, const std::vector<TFB_AssocRef*>& doomed, const std::vector<const void*>& gone)
{
    if (doomed.empty())
        return;
    if (doomed.size() * 16 >= list.size()) {
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const auto& c) { return std::binary_search(gone.begin(), gone.end(), c.get()); }),
                   list.end());
        return;
    }
    for (const TFB_AssocRef* c : doomed) {
        auto it = std::lower_bound(list.begin(), list.end(), c->ListOrder,
                                   [](const auto& r, uint64_t order) { return r->ListOrder < order; });
        if (it == list.end() || it->get() != c)
            it = std::find_if(list.begin(), list.end(), [&](const auto& r) { return r.get() == c; });
        if (it != list.end())
            list.erase(it);
    }
}
} // namespace

void TFB_Manager::DeleteInstance(TFB_InstanceRef* record) { DeleteInstances({record}); }

void TFB_Manager::DeleteInstances(const std::vector<TFB_InstanceRef*>& records)
{
    // Sorted pointer sets: each list below is walked once for all the
    // records, and a membership test is a binary search in a short array.
    auto sortedUnique = [](auto& v) {
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
    };
    auto in = [](const auto& sorted, const void* p) {
        return std::binary_search(sorted.begin(), sorted.end(), p);
    };
    std::vector<const void*> wanted(records.begin(), records.end());
    sortedUnique(wanted);
    // Only records of this project go; the rest are left alone.
    std::vector<TFB_InstanceRef*> doomed;
    std::vector<const void*> doomedSet;
    if (wanted.size() == 1) {
        auto it = std::find_if(Instances.begin(), Instances.end(),
                               [&](const auto& r) { return r.get() == wanted.front(); });
        if (it != Instances.end())
            doomed.push_back(it->get());
    } else {
        for (const auto& r : Instances)
            if (in(wanted, r.get()))
                doomed.push_back(r.get());
    }
    if (doomed.empty())
        return;
    doomedSet.assign(doomed.begin(), doomed.end());
    sortedUnique(doomedSet);
    // The drawings go below; the records go with them anyway.
    struct TFlag {
        bool& Flag;
        bool Old;
        explicit TFlag(bool& f) : Flag(f), Old(f) { Flag = true; }
        ~TFlag() { Flag = Old; }
    } deleting(deletingRecord_);
    // The connection records at the records, from the index, and every line
    // drawing them.
    ensureConnIndex();
    std::vector<TFB_AssocRef*> events, datas, ipps;
    auto into = [](std::vector<TFB_AssocRef*>& v) { return [&v](TFB_AssocRef* c) { v.push_back(c); }; };
    for (TFB_InstanceRef* record : doomed) {
        if (!byRecord_.Has(record))
            continue;
        byRecord_.ForEach(record, TConnectionIndex::Events, into(events));
        byRecord_.ForEach(record, TConnectionIndex::Datas, into(datas));
        byRecord_.ForEach(record, TConnectionIndex::IPPFBs, into(ipps));
    }
    // A connection between two of the records was met at both.
    sortedUnique(events);
    sortedUnique(datas);
    sortedUnique(ipps);
    std::vector<const void*> gone;
    gone.reserve(events.size() + datas.size() + ipps.size());
    gone.insert(gone.end(), events.begin(), events.end());
    gone.insert(gone.end(), datas.begin(), datas.end());
    gone.insert(gone.end(), ipps.begin(), ipps.end());
    sortedUnique(gone);
    auto drawsGone = [&](const auto& line) { return line->Ref && in(gone, line->Ref); };
    auto intersects = [&in](const std::vector<const void*>& a, const std::vector<const void*>& b) {
        const auto& fewer = a.size() < b.size() ? a : b;
        const auto& more = a.size() < b.size() ? b : a;
        return std::any_of(fewer.begin(), fewer.end(), [&](const void* p) { return in(more, p); });
    };
    for (const auto& d : Diagrams) {
        // Only diagrams that draw one of the records or one of the lines
        // are touched: their own index tells, without walking their lists.
        const TFB_Diagram::TDrawsIndex& draws = d->drawsIndex();
        const bool drawsRecords = intersects(draws.Records, doomedSet);
        if (!gone.empty() && intersects(draws.Connections, gone)) {
            d->EventLines.erase(std::remove_if(d->EventLines.begin(), d->EventLines.end(), drawsGone),
                                d->EventLines.end());
            d->DataLines.erase(std::remove_if(d->DataLines.begin(), d->DataLines.end(), drawsGone),
                               d->DataLines.end());
            d->IPPFBLines.erase(std::remove_if(d->IPPFBLines.begin(), d->IPPFBLines.end(), drawsGone),
                                d->IPPFBLines.end());
            d->listsChanged();
        }
        if (drawsRecords)
            for (size_t i = d->DrawnInstances.size(); i-- > 0;)
                if (i < d->DrawnInstances.size() && in(doomedSet, d->DrawnInstances[i]->Ref))
                    d->DeleteDrawn(d->DrawnInstances[i].get(), true);
    }
    if (!gone.empty()) {
        for (auto* e : events)
            unindexConn(static_cast<const TFB_EventAssocRef*>(e));
        for (auto* c : datas)
            unindexConn(static_cast<const TFB_DataAssocRef*>(c));
        for (auto* c : ipps)
            unindexConn(static_cast<const TFB_IPPFBAssocsRef*>(c));
        eraseRecords(EventConns, events, gone);
        eraseRecords(DataConns, datas, gone);
        eraseRecords(IPPFBConns, ipps, gone);
        indexedConns_ -= gone.size();
    }
    for (TFB_InstanceRef* record : doomed)
        if (record->Device)
            UnassignInstance(record->Device, record);
    if (Instances.size() != indexedInstances_)
        rebuildInstanceIndex();
    for (TFB_InstanceRef* record : doomed)
        unindexInstance(record);
    if (doomed.size() == 1)
        Instances.erase(std::find_if(Instances.begin(), Instances.end(),
                                     [&](const auto& r) { return r.get() == doomed.front(); }));
    else
        Instances.erase(std::remove_if(Instances.begin(), Instances.end(),
                                       [&](const auto& r) { return in(doomedSet, r.get()); }),
                        Instances.end());
    indexedInstances_ -= doomed.size();
}

// ---- Index of the connection records --------------------------------------

size_t TFB_Manager::connCount() const
{
    return EventConns.size() + DataConns.size() + IPPFBConns.size() + IPPtoIPPConns.size();
}

namespace {
template <typename T>
void dropFrom(std::vector<T*>& v, const T* item)
{
    v.erase(std::remove(v.begin(), v.end(), item), v.end());
}
} // namespace

void TFB_Manager::indexConn(TFB_EventAssocRef* r) const
{
    byRecord_.Add(r->SourceInstance, TConnectionIndex::Events, r);
    if (r->DestInstance != r->SourceInstance)
        byRecord_.Add(r->DestInstance, TConnectionIndex::Events, r);
}
void TFB_Manager::indexConn(TFB_DataAssocRef* r) const
{
    byRecord_.Add(r->SourceInstance, TConnectionIndex::Datas, r);
    if (r->DestInstance != r->SourceInstance)
        byRecord_.Add(r->DestInstance, TConnectionIndex::Datas, r);
}
void TFB_Manager::indexConn(TFB_IPPFBAssocsRef* r) const
{
    byRecord_.Add(r->Instance, TConnectionIndex::IPPFBs, r);
    if (r->IPP)
        byIpp_[r->IPP].IPPFBs.push_back(r);
}
void TFB_Manager::indexConn(TFB_IPPtoIPPAssocRef* r) const
{
    if (r->SourceIPP)
        byIpp_[r->SourceIPP].IPPtoIPPs.push_back(r);
    if (r->DestIPP && r->DestIPP != r->SourceIPP)
        byIpp_[r->DestIPP].IPPtoIPPs.push_back(r);
}

void TFB_Manager::unindexConn(const TFB_EventAssocRef* r)
{
    byRecord_.Remove(r->SourceInstance, TConnectionIndex::Events, r);
    byRecord_.Remove(r->DestInstance, TConnectionIndex::Events, r);
}
void TFB_Manager::unindexConn(const TFB_DataAssocRef* r)
{
    byRecord_.Remove(r->SourceInstance, TConnectionIndex::Datas, r);
    byRecord_.Remove(r->DestInstance, TConnectionIndex::Datas, r);
}
void TFB_Manager::unindexConn(const TFB_IPPFBAssocsRef* r)
{
    byRecord_.Remove(r->Instance, TConnectionIndex::IPPFBs, r);
    if (auto it = byIpp_.find(r->IPP); it != byIpp_.end())
        dropFrom(it->second.IPPFBs, r);
}
void TFB_Manager::unindexConn(const TFB_IPPtoIPPAssocRef* r)
{
    for (const TslIPPRef* end : {r->SourceIPP, r->DestIPP})
        if (auto it = byIpp_.find(end); it != byIpp_.end())
            dropFrom(it->second.IPPtoIPPs, r);
}

void TFB_Manager::rebuildConnIndex() const
{
    byRecord_.Clear();
    byIpp_.clear();
    auto* self = const_cast<TFB_Manager*>(this);
    // Fresh numbers in list order: lookups answer by these.
    for (auto& e : EventConns) {
        e->ListOrder = self->nextListOrder_++;
        indexConn(e.get());
    }
    for (auto& d : DataConns) {
        d->ListOrder = self->nextListOrder_++;
        indexConn(d.get());
    }
    for (auto& i : IPPFBConns) {
        i->ListOrder = self->nextListOrder_++;
        indexConn(i.get());
    }
    for (auto& i : IPPtoIPPConns) {
        i->ListOrder = self->nextListOrder_++;
        indexConn(i.get());
    }
    indexedConns_ = connCount();
}

void TFB_Manager::ensureConnIndex() const
{
    if (connCount() != indexedConns_)
        rebuildConnIndex();
}

namespace {
template <typename T, typename Index>
T* appendIndexed(TOwnedList<T>& list, std::unique_ptr<T> record, uint64_t& order, Index index, size_t& indexed)
{
    if (!record)
        return nullptr;
    record->ListOrder = order++;
    list.push_back(std::move(record));
    T* r = list.back().get();
    index(r);
    ++indexed;
    return r;
}
} // namespace

TFB_EventAssocRef* TFB_Manager::AddEventConn(std::unique_ptr<TFB_EventAssocRef> record)
{
    ensureConnIndex();
    return appendIndexed(EventConns, std::move(record), nextListOrder_, [&](auto* r) { indexConn(r); },
                         indexedConns_);
}
TFB_DataAssocRef* TFB_Manager::AddDataConn(std::unique_ptr<TFB_DataAssocRef> record)
{
    ensureConnIndex();
    return appendIndexed(DataConns, std::move(record), nextListOrder_, [&](auto* r) { indexConn(r); },
                         indexedConns_);
}
TFB_IPPFBAssocsRef* TFB_Manager::AddIPPFBConn(std::unique_ptr<TFB_IPPFBAssocsRef> record)
{
    ensureConnIndex();
    return appendIndexed(IPPFBConns, std::move(record), nextListOrder_, [&](auto* r) { indexConn(r); },
                         indexedConns_);
}
TFB_IPPtoIPPAssocRef* TFB_Manager::AddIPPtoIPPConn(std::unique_ptr<TFB_IPPtoIPPAssocRef> record)
{
    ensureConnIndex();
    return appendIndexed(IPPtoIPPConns, std::move(record), nextListOrder_, [&](auto* r) { indexConn(r); },
                         indexedConns_);
}

namespace {
// Every line drawing a removed record goes with it, in every diagram: a stub
// elsewhere must not keep pointing at it.
template <typename Line, typename Record>
void dropLinesOf(TOwnedList<Line>& lines, const Record* record)
{
    lines.erase(std::remove_if(lines.begin(), lines.end(), [&](const auto& l) { return l->Ref == record; }),
                lines.end());
}

template <typename T>
typename TOwnedList<T>::iterator findOwned(TOwnedList<T>& list, const T* item)
{
    return std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == item; });
}
} // namespace

void TFB_Manager::RemoveEventConn(TFB_EventAssocRef* record)
{
    auto it = findOwned(EventConns, static_cast<const TFB_EventAssocRef*>(record));
    if (it == EventConns.end())
        return;
    ensureConnIndex();
    for (const auto& d : Diagrams) {
        dropLinesOf(d->EventLines, record);
        d->listsChanged();
    }
    unindexConn(static_cast<const TFB_EventAssocRef*>(record));
    record->DestInstance = nullptr;
    record->SourceInstance = nullptr;
    EventConns.erase(it);
    --indexedConns_;
}

void TFB_Manager::RemoveDataConn(TFB_DataAssocRef* record)
{
    auto it = findOwned(DataConns, static_cast<const TFB_DataAssocRef*>(record));
    if (it == DataConns.end())
        return;
    ensureConnIndex();
    for (const auto& d : Diagrams) {
        dropLinesOf(d->DataLines, record);
        d->listsChanged();
    }
    unindexConn(static_cast<const TFB_DataAssocRef*>(record));
    record->DestInstance = nullptr;
    record->SourceInstance = nullptr;
    DataConns.erase(it);
    --indexedConns_;
}

void TFB_Manager::RemoveIPPFBConn(TFB_IPPFBAssocsRef* record)
{
    auto it = findOwned(IPPFBConns, static_cast<const TFB_IPPFBAssocsRef*>(record));
    if (it == IPPFBConns.end())
        return;
    ensureConnIndex();
    for (const auto& d : Diagrams) {
        dropLinesOf(d->IPPFBLines, record);
        d->listsChanged();
    }
    unindexConn(static_cast<const TFB_IPPFBAssocsRef*>(record));
    IPPFBConns.erase(it);
    --indexedConns_;
}

void TFB_Manager::RemoveIPPtoIPPConn(TFB_IPPtoIPPAssocRef* record)
{
    auto it = findOwned(IPPtoIPPConns, static_cast<const TFB_IPPtoIPPAssocRef*>(record));
    if (it == IPPtoIPPConns.end())
        return;
    ensureConnIndex();
    for (const auto& d : Diagrams) {
        dropLinesOf(d->IPPtoIPPLines, record);
        d->listsChanged();
    }
    unindexConn(static_cast<const TFB_IPPtoIPPAssocRef*>(record));
    IPPtoIPPConns.erase(it);
    --indexedConns_;
}

namespace {
template <typename T>
void keepFirst(T*& best, T* candidate)
{
    if (!best || candidate->ListOrder < best->ListOrder)
        best = candidate;
}
} // namespace

TFB_EventAssocRef* TFB_Manager::FindEventConn(std::string_view destPort, std::string_view sourcePort,
                                              std::string_view destInstance, std::string_view sourceInstance) const
{
    if (Context.UI) {
        // One line per call, on the loading path of every network file: made
        // in a buffer that keeps its size from call to call.
        thread_local std::string line;
        line.clear();
        line.append(destPort).append(1, ' ').append(sourcePort).append(1, ' ').append(destInstance).append(1, ' ');
        line.append(sourceInstance);
        Context.UI->Log(line);
    }
    ensureConnIndex();
    TFB_EventAssocRef* best = nullptr;
    forEachNamed(destInstance, [&](const TFB_InstanceRef* r) {
        byRecord_.ForEach(r, TConnectionIndex::Events, [&](TFB_AssocRef* c) {
            auto* e = static_cast<TFB_EventAssocRef*>(c);
            if (e->DestInstance == r && e->SourceInstance && e->DestPort && e->SourcePort &&
                e->SourceInstance->Name == sourceInstance && e->DestPort->Name() == destPort &&
                e->SourcePort->Name() == sourcePort)
                keepFirst(best, e);
        });
        return true;
    });
    return best;
}

TFB_DataAssocRef* TFB_Manager::FindDataConn(std::string_view destPort, std::string_view sourcePort,
                                            std::string_view destInstance, std::string_view sourceInstance) const
{
    ensureConnIndex();
    TFB_DataAssocRef* best = nullptr;
    forEachNamed(destInstance, [&](const TFB_InstanceRef* r) {
        byRecord_.ForEach(r, TConnectionIndex::Datas, [&](TFB_AssocRef* c) {
            auto* d = static_cast<TFB_DataAssocRef*>(c);
            if (d->DestInstance == r && d->SourceInstance && d->DestPort && d->SourcePort &&
                d->SourceInstance->Name == sourceInstance && d->DestPort->Name() == destPort &&
                d->SourcePort->Name() == sourcePort)
                keepFirst(best, d);
        });
        return true;
    });
    return best;
}

TFB_IPPFBAssocsRef* TFB_Manager::FindIPPFBConn(const std::string& iptName, const std::string& ippName,
                                               const std::string& instanceName, const std::string& portName) const
{
    ensureConnIndex();
    TFB_IPPFBAssocsRef* best = nullptr;
    forEachNamed(instanceName, [&](const TFB_InstanceRef* r) {
        byRecord_.ForEach(r, TConnectionIndex::IPPFBs, [&](TFB_AssocRef* conn) {
            auto* c = static_cast<TFB_IPPFBAssocsRef*>(conn);
            if (c->Instance != r || !c->IPP || c->IPP->Name != ippName || !c->IPP->Owner ||
                c->IPP->Owner->Name != iptName)
                return;
            const std::string* port = c->EventPort ? &c->EventPort->Name()
                                      : c->DataPort ? &c->DataPort->Name()
                                                    : nullptr;
            if (port && *port == portName)
                keepFirst(best, c);
        });
        return true;
    });
    return best;
}

TFB_IPPtoIPPAssocRef* TFB_Manager::FindIPPtoIPPConn(const TslIPPRef* source, const TslIPPRef* dest) const
{
    ensureConnIndex();
    auto it = byIpp_.find(source);
    if (it == byIpp_.end())
        return nullptr;
    TFB_IPPtoIPPAssocRef* best = nullptr;
    for (TFB_IPPtoIPPAssocRef* c : it->second.IPPtoIPPs)
        if (c->SourceIPP == source && c->DestIPP == dest)
            keepFirst(best, c);
    return best;
}

TDiagramRecords TFB_Manager::RecordsFor(const TFB_Diagram& diagram) const
{
    ensureConnIndex();
    TDiagramRecords out;
    std::vector<const TFB_InstanceRef*> shown;
    shown.reserve(diagram.DrawnInstances.size());
    for (const auto& drawn : diagram.DrawnInstances) {
        if (!drawn->Ref)
            continue;
        forEachNamed(drawn->Ref->Name, [&](const TFB_InstanceRef* r) {
            shown.push_back(r);
            return true;
        });
    }
    std::sort(shown.begin(), shown.end());
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
    for (const TFB_InstanceRef* r : shown) {
        byRecord_.ForEach(r, TConnectionIndex::Events,
                          [&](TFB_AssocRef* c) { out.Events.push_back(static_cast<TFB_EventAssocRef*>(c)); });
        byRecord_.ForEach(r, TConnectionIndex::Datas,
                          [&](TFB_AssocRef* c) { out.Datas.push_back(static_cast<TFB_DataAssocRef*>(c)); });
        byRecord_.ForEach(r, TConnectionIndex::IPPFBs,
                          [&](TFB_AssocRef* c) { out.IPPFBs.push_back(static_cast<TFB_IPPFBAssocsRef*>(c)); });
    }
    for (const auto& picture : diagram.IPPPictures) {
        auto it = byIpp_.find(picture->Ipp);
        if (it == byIpp_.end())
            continue;
        out.IPPFBs.insert(out.IPPFBs.end(), it->second.IPPFBs.begin(), it->second.IPPFBs.end());
        out.IPPtoIPPs.insert(out.IPPtoIPPs.end(), it->second.IPPtoIPPs.begin(), it->second.IPPtoIPPs.end());
    }
    // A record at two drawn records was collected twice. Sorted by its list
    // number kept beside it, so that the sort does not reach into every
    // record at every comparison.
    std::vector<std::pair<uint64_t, TFB_AssocRef*>> keyed;
    auto inListOrder = [&keyed](auto& v) {
        keyed.clear();
        keyed.reserve(v.size());
        for (auto* r : v)
            keyed.emplace_back(r->ListOrder, r);
        std::sort(keyed.begin(), keyed.end());
        keyed.erase(std::unique(keyed.begin(), keyed.end()), keyed.end());
        v.resize(keyed.size());
        for (size_t i = 0; i < keyed.size(); ++i)
            v[i] = static_cast<std::remove_reference_t<decltype(v[0])>>(keyed[i].second);
    };
    inListOrder(out.Events);
    inListOrder(out.Datas);
    inListOrder(out.IPPFBs);
    inListOrder(out.IPPtoIPPs);
    return out;
}

// ---- IPPs and the system layer ---------------------------------------------

void TFB_Manager::DeleteIPPEverywhere(TslIPPRef* ipp)
{
    if (!ipp)
        return;
    for (const auto& d : Diagrams)
        d->ForgetIpp(ipp);
    std::vector<TFB_IPPFBAssocsRef*> fb;
    for (const auto& c : IPPFBConns)
        if (c->IPP == ipp)
            fb.push_back(c.get());
    for (auto* c : fb)
        RemoveIPPFBConn(c);
    std::vector<TFB_IPPtoIPPAssocRef*> pp;
    for (const auto& c : IPPtoIPPConns)
        if (c->SourceIPP == ipp || c->DestIPP == ipp)
            pp.push_back(c.get());
    for (auto* c : pp)
        RemoveIPPtoIPPConn(c);
}

TFB_Manager::TIPPBinding TFB_Manager::FindIPPBinding(const TslDevice* device, const TslIPPRef* ipp) const
{
    TIPPBinding result;
    for (const auto& d : Diagrams) {
        if (d->IsInternalDeviceDiagram)
            continue;
        for (const auto& line : d->IPPFBLines) {
            if (!line->IPPPicture || line->IPPPicture->Ipp != ipp || !line->Ref)
                continue;
            const TFB_IPPFBAssocsRef& r = *line->Ref;
            result = TIPPBinding();
            if (r.Instance && device && r.Instance->Device == device) {
                const std::string port = r.EventPort ? r.EventPort->Name() : r.DataPort ? r.DataPort->Name() : "";
                result.DeviceName = device->Name;
                result.InstanceName = r.Instance->Name;
                result.Path = device->Name + "::" + r.Instance->Name + "::" + port;
                (ipp && ipp->IsEventIPP ? result.EventPort : result.DataPort) = port;
            } else {
                result.Path = "EXPORT";
            }
            break;
        }
    }
    return result;
}

void TFB_Manager::forgetDevice(const TslDevice* device)
{
    for (const auto& r : Instances)
        if (r->Device == device)
            r->Device = nullptr;
}

void TFB_Manager::forgetLayer()
{
    for (const auto& r : Instances)
        r->Device = nullptr;
    for (const auto& d : Diagrams) {
        d->IPPFBLines.clear();
        d->IPPtoIPPLines.clear();
        d->listsChanged();
        for (const auto& p : d->IPPPictures)
            d->Selection.erase(std::remove(d->Selection.begin(), d->Selection.end(), p.get()), d->Selection.end());
        d->IPPPictures.clear();
    }
    IPPFBConns.clear();
    IPPtoIPPConns.clear();
    rebuildConnIndex();
    SystemLayer = nullptr;
}

void TFB_Manager::AttachSystemLayer(TSystemLayerManager* layer)
{
    if (layer == SystemLayer)
        return;
    if (SystemLayer) {
        SystemLayer->RemoveListener(&layerHook_);
        // What pointed into the old layer cannot be told when that layer
        // goes any more: let go of it now.
        forgetLayer();
    }
    SystemLayer = layer;
    if (layer)
        layer->AddListener(&layerHook_);
}

void TFB_Manager::TLayerHook::IppDeleting(TslIPPRef& ipp) { manager_.DeleteIPPEverywhere(&ipp); }

void TFB_Manager::TLayerHook::ObjectDeleting(TslObject& object)
{
    if (auto* device = dynamic_cast<TslDevice*>(&object))
        manager_.forgetDevice(device);
}

void TFB_Manager::TLayerHook::LayerDestroying(TSystemLayerManager& layer)
{
    if (manager_.SystemLayer == &layer)
        manager_.forgetLayer();
}

// ---- Reloading a type --------------------------------------------------------

void TFB_Manager::forEachDiagram(const std::function<void(TFB_Diagram&)>& visit)
{
    std::function<void(TFB_Diagram&)> walk = [&](TFB_Diagram& d) {
        visit(d);
        for (const auto& r : d.InnerInstances)
            if (r->InnerDiagram)
                walk(*r->InnerDiagram);
    };
    for (const auto& d : Diagrams)
        walk(*d);
    for (const auto& t : Types)
        if (t && t->Network)
            walk(*t->Network);
    for (const auto& r : Instances)
        if (r->InnerDiagram)
            walk(*r->InnerDiagram);
}

void TFB_Manager::removePortEverywhere(const void* port)
{
    auto touches = [&](const auto& c) { return c->SourcePort == port || c->DestPort == port; };
    std::vector<TFB_EventAssocRef*> events;
    for (const auto& c : EventConns)
        if (touches(c))
            events.push_back(c.get());
    for (auto* c : events)
        RemoveEventConn(c);
    std::vector<TFB_DataAssocRef*> datas;
    for (const auto& c : DataConns)
        if (touches(c))
            datas.push_back(c.get());
    for (auto* c : datas)
        RemoveDataConn(c);
    std::vector<TFB_IPPFBAssocsRef*> ipps;
    for (const auto& c : IPPFBConns)
        if (c->EventPort == port || c->DataPort == port)
            ipps.push_back(c.get());
    for (auto* c : ipps)
        RemoveIPPFBConn(c);
    forEachDiagram([&](TFB_Diagram& d) {
        if (d.InnerNetwork) {
            std::vector<TFB_EventAssoc*> el;
            for (const auto& l : d.EventLines)
                if (l->Ref && touches(l->Ref))
                    el.push_back(l.get());
            for (auto* l : el)
                d.DeleteEventLine(l);
            auto& ev = d.InnerEventRecords();
            ev.erase(std::remove_if(ev.begin(), ev.end(), touches), ev.end());
            std::vector<TFB_DataAssoc*> dl;
            for (const auto& l : d.DataLines)
                if (l->Ref && touches(l->Ref))
                    dl.push_back(l.get());
            for (auto* l : dl)
                d.DeleteDataLine(l);
            auto& dv = d.InnerDataRecords();
            dv.erase(std::remove_if(dv.begin(), dv.end(), touches), dv.end());
        }
        std::vector<TCompositeConnection*> ks;
        for (const auto& k : d.CompositeConns)
            if (k->InnerEvent == port || k->InnerData == port)
                ks.push_back(k.get());
        for (auto* k : ks)
            d.RemoveCompositeConn(k);
    });
}

namespace {

// Binds ports to the new declarations by position; ports beyond the new
// count are handed to `drop` and destroyed, missing ones are made.
template <typename Port, typename Decls, typename Drop>
void rebindPorts(TOwnedList<Port>& ports, const Decls& decls, TFB_InstanceRef& owner, Drop drop)
{
    for (size_t i = decls.size(); i < ports.size(); ++i)
        drop(*ports[i]);
    if (ports.size() > decls.size())
        ports.resize(decls.size());
    for (size_t i = 0; i < ports.size(); ++i)
        ports[i]->Decl = decls[i].get();
    while (ports.size() < decls.size()) {
        auto p = std::make_unique<Port>();
        p->Decl = decls[ports.size()].get();
        p->Owner = &owner;
        ports.push_back(std::move(p));
    }
}

} // namespace

void TFB_Manager::reloadRecord(TFB_InstanceRef& record, TFB_Type* newType, std::vector<std::string>& removedPorts)
{
    auto drop = [&](auto& port) {
        removedPorts.push_back(record.Name + "." + port.Name());
        removePortEverywhere(&port);
    };
    // Port pictures must not outlive their ports: the drawn instances let go
    // of them before the ports go.
    std::vector<TFB_Instance*> drawn;
    forEachDiagram([&](TFB_Diagram& d) {
        for (const auto& i : d.DrawnInstances)
            if (i->Ref == &record)
                drawn.push_back(i.get());
    });
    rebindPorts(record.EventInputs, newType->EventInputs, record, drop);
    rebindPorts(record.EventOutputs, newType->EventOutputs, record, drop);
    rebindPorts(record.DataInputs, newType->DataInputs, record, drop);
    rebindPorts(record.DataOutputs, newType->DataOutputs, record, drop);
    for (TFB_Instance* i : drawn)
        i->SyncPortPictures();
    record.Type = newType;
    try {
        record.MakeInternalVars();
    } catch (const EConvertError& e) {
        record.ClearInternalVars();
        ShowMessage("Instance " + record.Name + " of type " + newType->Name + ": " + e.what());
    }
    // A composite record's inner network is the type's network copied: the
    // copy is made anew from the new type.
    record.InnerDiagram.reset();
    record.Composite = newType->Composite;
    if (record.Composite)
        record.BuildInnerDiagram(this);
}

void TFB_Manager::ReloadType(TFB_Type* type)
{
    reloadType(type, [this](const std::string& name) { return LoadTypeFromLibrary("", name); });
}

void TFB_Manager::ReloadTypeFromText(TFB_Type* type, const std::string& xmlText, const std::string& fileName)
{
    reloadType(type, [&](const std::string&) {
        TFB_Type* fresh = loadTypeFromText(xmlText);
        if (fresh)
            fresh->FileName = fileName;
        return fresh != nullptr;
    });
}

void TFB_Manager::reloadType(TFB_Type* type, const std::function<bool(const std::string& name)>& load)
{
    if (!type)
        return;
    const std::string name = type->Name;
    TFB_Type* oldType = FindType(name);
    if (!oldType) {
        load(name);
        return;
    }
    auto slot = std::find_if(Types.begin(), Types.end(), [&](const auto& t) { return t.get() == oldType; });
    const size_t index = static_cast<size_t>(slot - Types.begin());
    std::unique_ptr<TFB_Type> old = std::move(*slot);
    bool loaded = false;
    try {
        loaded = load(name);
    } catch (...) {
        Types[index] = std::move(old);
        forgetTypeIndex();
        throw;
    }
    if (!loaded) {
        // Nothing to replace it with: the records keep the type they have.
        Types[index] = std::move(old);
        forgetTypeIndex();
        return;
    }
    Types[index] = std::move(Types.back());
    Types.pop_back();
    forgetTypeIndex();
    TFB_Type* newType = Types[index].get();

    // Every record of the old type, wherever it lives; inner records after
    // the records that hold them, so that a holder rebuilt later cannot
    // leave one of them behind half-done.
    std::vector<TFB_InstanceRef*> records;
    for (const auto& r : Instances)
        if (r->Type == oldType)
            records.push_back(r.get());
    forEachDiagram([&](TFB_Diagram& d) {
        for (const auto& r : d.InnerInstances)
            if (r->Type == oldType)
                records.push_back(r.get());
    });
    std::vector<std::vector<std::string>> removed(records.size());
    for (size_t i = records.size(); i-- > 0;)
        reloadRecord(*records[i], newType, removed[i]);
    std::string list;
    for (const auto& ports : removed)
        for (const auto& p : ports)
            list += (list.empty() ? "" : ", ") + p;
    if (!list.empty()) {
        ShowMessage("The reloaded type " + name + " has fewer ports: " + list +
                    " removed together with their connections");
    }
}

} // namespace telvo
