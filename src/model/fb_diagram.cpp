#include "model/fb_diagram.h"

#include "model/fb_manager.h"
#include "model/record_index.h"
#include "systemlayer/sl_ipp_picture.h"
#include "systemlayer/system_layer.h"

#include <algorithm>
#include <type_traits>

namespace telvo {

namespace {

template <typename T>
void eraseOwned(TOwnedList<T>& list, const T* item)
{
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == item; });
    if (it != list.end())
        list.erase(it);
}

template <typename T, typename Pred>
void eraseOwnedIf(TOwnedList<T>& list, Pred pred)
{
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& p) { return pred(*p); }), list.end());
}

template <typename T>
bool holds(const TOwnedList<T>& list, const T* item)
{
    return std::any_of(list.begin(), list.end(), [&](const auto& p) { return p.get() == item; });
}

std::string lowerCase(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

TFBDnote::TFBDnote(double zoom) : Scale(zoom)
{
    PlaceAt(10, 10);
}

void TFBDnote::PlaceAt(int32_t x, int32_t y)
{
    X = x;
    Y = y;
    // A zoom of zero has no zoom-1 position; keep the one at hand.
    BaseX = Scale > 0 ? RoundHalfEven(x / Scale) : x;
    BaseY = Scale > 0 ? RoundHalfEven(y / Scale) : y;
}

TFB_Diagram::TFB_Diagram(std::string name, double zoom, TFB_Manager* manager)
    : Name(std::move(name)), Zoom(zoom), Manager(manager)
{
}

std::unique_ptr<TFB_Diagram> TFB_Diagram::MakeInnerNetwork(std::string name, TFB_Type* compositeType,
                                                           TFB_Manager* manager)
{
    auto d = std::make_unique<TFB_Diagram>(std::move(name), 1.0, manager);
    d->InnerNetwork = true;
    d->CompositeType = compositeType;
    return d;
}

// Nothing here dereferences what it points at while dying: lines, pictures,
// drawn instances and the inner records go in member order.
TFB_Diagram::~TFB_Diagram() = default;

// ---------------------------------------------------------------------------
// Instances

TFB_InstanceRef* TFB_Diagram::FindRecord(std::string_view name) const
{
    if (InnerNetwork) {
        for (const auto& r : InnerInstances)
            if (r->Name == name)
                return r.get();
        return nullptr;
    }
    return Manager ? Manager->FindInstance(name) : nullptr;
}

TFB_Instance* TFB_Diagram::AddInstance(const std::string& name, const std::string& typeName, bool apply,
                                       TCanvas* surface)
{
    if (!Manager)
        return nullptr;
    TFB_Type* type = Manager->FindType(typeName);
    if (!type) {
        Manager->LoadTypeFromLibrary("", typeName);
        type = Manager->FindType(typeName);
    }
    if (!type) {
        Manager->ShowMessage("Error 101: Cannot create FB instance " + name + " from type " + typeName);
        return nullptr;
    }

    std::string instanceName = name;
    if (instanceName.empty()) {
        const std::string stem = lowerCase(typeName);
        do
            instanceName = stem + std::to_string(Manager->TakeInstanceNumber());
        while (FindRecord(instanceName));
    }

    TFB_InstanceRef* record = name.empty() ? nullptr : FindRecord(name);
    if (!record) {
        if (InnerNetwork) {
            auto made = TFB_InstanceRef::Create(instanceName, type, apply, Manager);
            InnerInstances.push_back(std::move(made));
            record = InnerInstances.back().get();
        } else {
            record = Manager->createInstance(instanceName, type, apply);
        }
    }
    if (!record)
        return nullptr;

    auto drawn = Manager->Pool.Make<TFB_Instance>(record, surface, &Manager->Pool);
    if (IsEventFunctionTypeName(typeName)) {
        drawn->IsStereotype = true;
        drawn->DrawAsGlyph = true;
    }
    DrawnInstances.push_back(std::move(drawn));
    listsChanged();
    return DrawnInstances.back().get();
}

TFB_Instance* TFB_Diagram::FindDrawn(const std::string& name) const
{
    for (const auto& d : DrawnInstances)
        if (d->Ref && d->Ref->Name == name)
            return d.get();
    return nullptr;
}

void TFB_Diagram::removeFromSelection(const TDrawObject* object)
{
    Selection.erase(std::remove(Selection.begin(), Selection.end(), object), Selection.end());
}

void TFB_Diagram::DeleteDrawn(const std::string& name, bool withLines)
{
    DeleteDrawn(FindDrawn(name), withLines);
}

void TFB_Diagram::DeleteDrawn(TFB_Instance* drawn, bool withLines)
{
    if (!drawn || !holds(DrawnInstances, drawn))
        return;
    removeFromSelection(drawn);
    listsChanged();
    // Lines hold the instance's port pictures: none may outlive them, so the
    // lines at the instance go whether asked or not (their records stay and
    // a later rebuild draws them again at their other ends).
    (void)withLines;
    auto at = [&](const TFB_Instance* i) { return i == drawn; };
    eraseOwnedIf(EventLines, [&](const TFB_EventAssoc& l) {
        return (l.SourcePortPic && at(l.SourcePortPic->Instance)) || (l.DestPortPic && at(l.DestPortPic->Instance)) ||
               at(l.SourceDrawn) || at(l.DestDrawn);
    });
    eraseOwnedIf(DataLines, [&](const TFB_DataAssoc& l) {
        return (l.SourcePortPic && at(l.SourcePortPic->Instance)) || (l.DestPortPic && at(l.DestPortPic->Instance)) ||
               at(l.SourceDrawn) || at(l.DestDrawn);
    });
    eraseOwnedIf(IPPFBLines, [&](const TFB_IPPFBAssocsInst& l) { return at(l.Drawn); });
    TFB_InstanceRef* record = drawn->Ref;
    eraseOwned(DrawnInstances, static_cast<const TFB_Instance*>(drawn));
    if (Manager && !InnerNetwork && record)
        Manager->drawingDeleted(*this, record);
}

void TFB_Diagram::Clear()
{
    while (!DrawnInstances.empty())
        DeleteDrawn(DrawnInstances.back().get(), false);
}

// ---------------------------------------------------------------------------
// Lines

TFB_EventAssoc* TFB_Diagram::AddEventLine(std::unique_ptr<TFB_EventAssoc> line)
{
    EventLines.push_back(std::move(line));
    listsChanged();
    return EventLines.back().get();
}
TFB_DataAssoc* TFB_Diagram::AddDataLine(std::unique_ptr<TFB_DataAssoc> line)
{
    DataLines.push_back(std::move(line));
    listsChanged();
    return DataLines.back().get();
}
TFB_IPPFBAssocsInst* TFB_Diagram::AddIPPFBLine(std::unique_ptr<TFB_IPPFBAssocsInst> line)
{
    IPPFBLines.push_back(std::move(line));
    listsChanged();
    return IPPFBLines.back().get();
}
TFB_IPPtoIPPAssocInst* TFB_Diagram::AddIPPtoIPPLine(std::unique_ptr<TFB_IPPtoIPPAssocInst> line)
{
    IPPtoIPPLines.push_back(std::move(line));
    return IPPtoIPPLines.back().get();
}

TOwnedList<TFB_EventAssocRef>& TFB_Diagram::InnerEventRecords()
{
    if (CompositeType && CompositeType->Network.get() == this)
        return CompositeType->InnerEventConns;
    return InnerEventConns;
}

TOwnedList<TFB_DataAssocRef>& TFB_Diagram::InnerDataRecords()
{
    if (CompositeType && CompositeType->Network.get() == this)
        return CompositeType->InnerDataConns;
    return InnerDataConns;
}

void TFB_Diagram::DeleteEventLine(TFB_EventAssoc* line)
{
    if (!line || !holds(EventLines, line))
        return;
    TFB_EventAssocRef* record = line->Ref;
    eraseOwned(EventLines, static_cast<const TFB_EventAssoc*>(line));
    listsChanged();
    if (!record)
        return;
    if (InnerNetwork)
        eraseOwned(InnerEventRecords(), static_cast<const TFB_EventAssocRef*>(record));
    else if (Manager)
        Manager->RemoveEventConn(record);
}

void TFB_Diagram::DeleteDataLine(TFB_DataAssoc* line)
{
    if (!line || !holds(DataLines, line))
        return;
    TFB_DataAssocRef* record = line->Ref;
    eraseOwned(DataLines, static_cast<const TFB_DataAssoc*>(line));
    listsChanged();
    if (!record)
        return;
    if (InnerNetwork)
        eraseOwned(InnerDataRecords(), static_cast<const TFB_DataAssocRef*>(record));
    else if (Manager)
        Manager->RemoveDataConn(record);
}

void TFB_Diagram::DeleteIPPFBLine(TFB_IPPFBAssocsInst* line, bool withRecord)
{
    if (!line || !holds(IPPFBLines, line))
        return;
    TFB_IPPFBAssocsRef* record = line->Ref;
    eraseOwned(IPPFBLines, static_cast<const TFB_IPPFBAssocsInst*>(line));
    listsChanged();
    if (withRecord && record && Manager)
        Manager->RemoveIPPFBConn(record);
}

void TFB_Diagram::DeleteIPPtoIPPLine(TFB_IPPtoIPPAssocInst* line, bool withRecord)
{
    if (!line || !holds(IPPtoIPPLines, line))
        return;
    TFB_IPPtoIPPAssocRef* record = line->Ref;
    eraseOwned(IPPtoIPPLines, static_cast<const TFB_IPPtoIPPAssocInst*>(line));
    if (withRecord && record && Manager)
        Manager->RemoveIPPtoIPPConn(record);
}

// ---------------------------------------------------------------------------
// IPP pictures

TslIPP* TFB_Diagram::AddIPPPicture(TslIPPRef* ipp, int32_t x, int32_t y)
{
    if (!ipp)
        return nullptr;
    auto picture = std::make_unique<TslIPP>(ipp, Zoom);
    picture->SetX(x);
    picture->SetY(y);
    IPPPictures.push_back(std::move(picture));
    return IPPPictures.back().get();
}

void TFB_Diagram::DeleteIPPPicture(TslIPP* picture, bool withRecords)
{
    if (!picture || !holds(IPPPictures, picture))
        return;
    std::vector<TFB_IPPFBAssocsInst*> fbLines;
    for (const auto& l : IPPFBLines)
        if (l->IPPPicture == picture)
            fbLines.push_back(l.get());
    for (auto* l : fbLines)
        DeleteIPPFBLine(l, withRecords);
    std::vector<TFB_IPPtoIPPAssocInst*> ippLines;
    for (const auto& l : IPPtoIPPLines)
        if (l->SourcePicture == picture || l->DestPicture == picture)
            ippLines.push_back(l.get());
    for (auto* l : ippLines)
        DeleteIPPtoIPPLine(l, withRecords);
    // A record removed above may already have taken lines of this picture
    // with it; whatever still points at the picture goes now.
    eraseOwnedIf(IPPFBLines, [&](const TFB_IPPFBAssocsInst& l) { return l.IPPPicture == picture; });
    listsChanged();
    eraseOwnedIf(IPPtoIPPLines, [&](const TFB_IPPtoIPPAssocInst& l) {
        return l.SourcePicture == picture || l.DestPicture == picture;
    });
    removeFromSelection(picture);
    eraseOwned(IPPPictures, static_cast<const TslIPP*>(picture));
}

TslIPP* TFB_Diagram::FindIPPPicture(const TslIPPRef* ipp) const
{
    for (const auto& p : IPPPictures)
        if (p->Ipp == ipp)
            return p.get();
    return nullptr;
}

void TFB_Diagram::AddDeviceIPPs(TslDevice* device)
{
    if (!device)
        return;
    for (size_t i = 0; i < device->InputList.size(); ++i)
        if (TslIPPRef* ipp = device->InputList[i]->BoundObject)
            AddIPPPicture(ipp, static_cast<int32_t>(30 * i), static_cast<int32_t>(30 * i));
    for (size_t i = 0; i < device->OutputList.size(); ++i)
        if (TslIPPRef* ipp = device->OutputList[i]->BoundObject)
            AddIPPPicture(ipp, static_cast<int32_t>(30 * i), static_cast<int32_t>(30 * i));
    for (const auto& ipp : device->IPPList)
        AddIPPPicture(ipp.get(), 0, 0);
}

void TFB_Diagram::ForgetIpp(const TslIPPRef* ipp)
{
    while (TslIPP* p = FindIPPPicture(ipp))
        DeleteIPPPicture(p, false);
    eraseOwnedIf(IPPFBLines, [&](const TFB_IPPFBAssocsInst& l) { return l.Ref && l.Ref->IPP == ipp; });
    listsChanged();
    eraseOwnedIf(IPPtoIPPLines, [&](const TFB_IPPtoIPPAssocInst& l) {
        return l.Ref && (l.Ref->SourceIPP == ipp || l.Ref->DestIPP == ipp);
    });
}

// ---------------------------------------------------------------------------
// Notes and selection

TFBDnote* TFB_Diagram::AddNote()
{
    Notes.push_back(std::make_unique<TFBDnote>(Zoom));
    return Notes.back().get();
}

void TFB_Diagram::DeleteNote(TFBDnote* note)
{
    if (!note)
        return;
    removeFromSelection(note);
    eraseOwned(Notes, static_cast<const TFBDnote*>(note));
}

void TFB_Diagram::Select(TDrawObject* object)
{
    if (!object || std::find(Selection.begin(), Selection.end(), object) != Selection.end())
        return;
    Selection.push_back(object);
    object->GroupSelected = true;
}

void TFB_Diagram::ClearSelection()
{
    for (TDrawObject* o : Selection)
        o->GroupSelected = false;
    Selection.clear();
}

namespace {
template <typename T>
T* lastOf(const std::vector<TDrawObject*>& selection)
{
    for (auto it = selection.rbegin(); it != selection.rend(); ++it)
        if (auto* t = dynamic_cast<T*>(*it))
            return t;
    return nullptr;
}
} // namespace

TFB_Instance* TFB_Diagram::LastSelectedInstance() const { return lastOf<TFB_Instance>(Selection); }
TFBDnote* TFB_Diagram::LastSelectedNote() const { return lastOf<TFBDnote>(Selection); }
TslIPP* TFB_Diagram::LastSelectedIPP() const { return lastOf<TslIPP>(Selection); }

// ---------------------------------------------------------------------------
// Composite connections

TCompositeConnection* TFB_Diagram::AddCompositeEventConn(TFBEventType* interfaceEvent, TFBEvent* innerEvent)
{
    if (!interfaceEvent || !innerEvent)
        return nullptr;
    auto k = std::make_unique<TCompositeConnection>();
    k->InterfaceEvent = interfaceEvent;
    k->InnerEvent = innerEvent;
    innerEvent->InterfaceLink = interfaceEvent;
    CompositeConns.push_back(std::move(k));
    return CompositeConns.back().get();
}

TCompositeConnection* TFB_Diagram::AddCompositeDataConn(TFBDataMemberType* interfaceData, TFBDataMember* innerData)
{
    if (!interfaceData || !innerData)
        return nullptr;
    auto k = std::make_unique<TCompositeConnection>();
    k->InterfaceData = interfaceData;
    k->InnerData = innerData;
    innerData->InterfaceLink = interfaceData;
    CompositeConns.push_back(std::move(k));
    return CompositeConns.back().get();
}

void TFB_Diagram::RemoveCompositeConn(TCompositeConnection* connection)
{
    if (!connection || !holds(CompositeConns, connection))
        return;
    if (connection->InnerEvent)
        connection->InnerEvent->InterfaceLink = nullptr;
    if (connection->InnerData)
        connection->InnerData->InterfaceLink = nullptr;
    eraseOwned(CompositeConns, static_cast<const TCompositeConnection*>(connection));
}

TFBEvent* TFB_Diagram::InnerInputOfInterface(const std::string& interfaceInput) const
{
    for (const auto& k : CompositeConns)
        if (k->InterfaceEvent && k->InterfaceEvent->IsInput() && k->InterfaceEvent->Name == interfaceInput)
            return k->InnerEvent;
    return nullptr;
}

TFBEventType* TFB_Diagram::InterfaceOfInnerOutput(const TFBEvent* innerOutput) const
{
    for (const auto& k : CompositeConns)
        if (k->InnerEvent == innerOutput && k->InterfaceEvent && !k->InterfaceEvent->IsInput())
            return k->InterfaceEvent;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Inner connection records

namespace {

// Event and data inner connections are made alike: a record held by `owner`
// and, when either end is drawn here, a line for it.
template <typename Ref, typename Line, typename Port, typename AddLine>
Ref* addInnerConn(const TOwnedList<TFB_Instance>& drawn, Port* sourceOutput, Port* destInput,
                  TOwnedList<Ref>& owner, AddLine addLine)
{
    if (!sourceOutput || !destInput || !sourceOutput->Owner || !destInput->Owner)
        return nullptr;
    auto r = std::make_unique<Ref>();
    r->SourcePort = sourceOutput;
    r->DestPort = destInput;
    r->SourceInstance = sourceOutput->Owner;
    r->DestInstance = destInput->Owner;
    owner.push_back(std::move(r));
    Ref* record = owner.back().get();

    auto line = std::make_unique<Line>();
    line->Ref = record;
    for (const auto& d : drawn) {
        if (!line->SourceDrawn && d->Ref == record->SourceInstance) {
            line->SourceDrawn = d.get();
            line->SourcePortPic = d->PictureOf(sourceOutput);
        }
        if (!line->DestDrawn && d->Ref == record->DestInstance) {
            line->DestDrawn = d.get();
            line->DestPortPic = d->PictureOf(destInput);
        }
    }
    if (line->SourcePortPic || line->DestPortPic)
        addLine(std::move(line));
    return record;
}

} // namespace

TFB_EventAssocRef* TFB_Diagram::AddInnerEventConn(TFBEvent* sourceOutput, TFBEvent* destInput,
                                                  TOwnedList<TFB_EventAssocRef>& owner)
{
    return addInnerConn<TFB_EventAssocRef, TFB_EventAssoc>(
        DrawnInstances, sourceOutput, destInput, owner,
        [this](std::unique_ptr<TFB_EventAssoc> line) { AddEventLine(std::move(line)); });
}

TFB_DataAssocRef* TFB_Diagram::AddInnerDataConn(TFBDataMember* sourceOutput, TFBDataMember* destInput,
                                                TOwnedList<TFB_DataAssocRef>& owner)
{
    return addInnerConn<TFB_DataAssocRef, TFB_DataAssoc>(
        DrawnInstances, sourceOutput, destInput, owner,
        [this](std::unique_ptr<TFB_DataAssoc> line) { AddDataLine(std::move(line)); });
}

// ---------------------------------------------------------------------------
// Rebuilding lines

namespace {

// The ends of a line as a rebuild computes them.
struct TEventEnds {
    TFB_EventAssocRef* Ref;
    TFBEventDraw *DestPortPic, *SourcePortPic;
    TFB_Instance *DestDrawn, *SourceDrawn;
};
struct TDataEnds {
    TFB_DataAssocRef* Ref;
    TFBDataMemberDraw *DestPortPic, *SourcePortPic;
    TFB_Instance *DestDrawn, *SourceDrawn;
};
struct TIPPFBEnds {
    TFB_IPPFBAssocsRef* Ref;
    TslIPP* IPPPicture;
    TFBDataMemberDraw* DataPortPic;
    TFBEventDraw* EventPortPic;
    TFB_Instance* Drawn;
};
struct TIPPtoIPPEnds {
    TFB_IPPtoIPPAssocRef* Ref;
    TslIPP *SourcePicture, *DestPicture;
};

// A kept line must be indistinguishable from a new one: these compare and
// set every field a line has beside what TFB_Line holds, so a field added
// to a line class must be added here too.
static_assert(sizeof(TFB_Line) == sizeof(Tlineobj) + 2 * sizeof(int32_t), "TFB_Line has new fields");
static_assert(sizeof(TFB_EventAssoc) == sizeof(TFB_Line) + 5 * sizeof(void*), "TFB_EventAssoc has new fields");
static_assert(sizeof(TFB_DataAssoc) == sizeof(TFB_Line) + 5 * sizeof(void*), "TFB_DataAssoc has new fields");
static_assert(sizeof(TFB_IPPFBAssocsInst) == sizeof(TFB_Line) + 5 * sizeof(void*), "TFB_IPPFBAssocsInst has new fields");
static_assert(sizeof(TFB_IPPtoIPPAssocInst) == sizeof(TFB_Line) + 3 * sizeof(void*),
              "TFB_IPPtoIPPAssocInst has new fields");

bool sameEnds(const TFB_EventAssoc& l, const TEventEnds& e)
{
    return l.DestPortPic == e.DestPortPic && l.SourcePortPic == e.SourcePortPic && l.DestDrawn == e.DestDrawn &&
           l.SourceDrawn == e.SourceDrawn;
}
void setEnds(TFB_EventAssoc& l, const TEventEnds& e)
{
    l.Ref = e.Ref;
    l.DestPortPic = e.DestPortPic;
    l.SourcePortPic = e.SourcePortPic;
    l.DestDrawn = e.DestDrawn;
    l.SourceDrawn = e.SourceDrawn;
}
bool sameEnds(const TFB_DataAssoc& l, const TDataEnds& e)
{
    return l.DestPortPic == e.DestPortPic && l.SourcePortPic == e.SourcePortPic && l.DestDrawn == e.DestDrawn &&
           l.SourceDrawn == e.SourceDrawn;
}
void setEnds(TFB_DataAssoc& l, const TDataEnds& e)
{
    l.Ref = e.Ref;
    l.DestPortPic = e.DestPortPic;
    l.SourcePortPic = e.SourcePortPic;
    l.DestDrawn = e.DestDrawn;
    l.SourceDrawn = e.SourceDrawn;
}
bool sameEnds(const TFB_IPPFBAssocsInst& l, const TIPPFBEnds& e)
{
    return l.IPPPicture == e.IPPPicture && l.DataPortPic == e.DataPortPic && l.EventPortPic == e.EventPortPic &&
           l.Drawn == e.Drawn;
}
void setEnds(TFB_IPPFBAssocsInst& l, const TIPPFBEnds& e)
{
    l.Ref = e.Ref;
    l.IPPPicture = e.IPPPicture;
    l.DataPortPic = e.DataPortPic;
    l.EventPortPic = e.EventPortPic;
    l.Drawn = e.Drawn;
}
bool sameEnds(const TFB_IPPtoIPPAssocInst& l, const TIPPtoIPPEnds& e)
{
    return l.SourcePicture == e.SourcePicture && l.DestPicture == e.DestPicture;
}
void setEnds(TFB_IPPtoIPPAssocInst& l, const TIPPtoIPPEnds& e)
{
    l.Ref = e.Ref;
    l.SourcePicture = e.SourcePicture;
    l.DestPicture = e.DestPicture;
}

// One list of lines made anew. A line that comes out with the record and
// the ends it had, and that nothing has drawn or marked since (no points,
// not highlighted), is kept instead of being destroyed and made again: it
// is the line a rebuild would make. A loaded project rebuilds every
// diagram's lines once more when all its files are read, and nearly all of
// them come out the same. Lines that were drawn are always made anew, as a
// rebuild has always done. The old lines that are not kept go at the end.
template <typename Line>
class TLineRebuild {
public:
    TLineRebuild(TOwnedList<Line>& lines, size_t expected, TObjectPool* pool)
        : lines_(lines), old_(std::move(lines)), byRef_(old_.size()), pool_(pool)
    {
        lines_.clear();
        lines_.reserve(expected);
        for (size_t i = 0; i < old_.size(); ++i) {
            const Line* l = old_[i].get();
            if (l && l->Ref && l->Points.empty() && !l->Highlighted && l->PortIndex == 0)
                byRef_.Insert(l->Ref, i);
        }
    }

    template <typename Ends>
    void Add(const Ends& ends)
    {
        if (const size_t* at = byRef_.Find(ends.Ref)) {
            std::unique_ptr<Line>& kept = old_[*at];
            if (kept && sameEnds(*kept, ends)) {
                lines_.push_back(std::move(kept));
                return;
            }
        }
        auto line = pool_ ? pool_->Make<Line>() : std::make_unique<Line>();
        setEnds(*line, ends);
        lines_.push_back(std::move(line));
    }

private:
    TOwnedList<Line>& lines_;
    TOwnedList<Line> old_;
    TPointerMap<typename std::remove_pointer_t<decltype(Line::Ref)>, size_t> byRef_;
    TObjectPool* pool_;
};

} // namespace

const TFB_Diagram::TDrawsIndex& TFB_Diagram::drawsIndex() const
{
    const size_t sizes[4] = {DrawnInstances.size(), EventLines.size(), DataLines.size(), IPPFBLines.size()};
    if (draws_.Valid && std::equal(sizes, sizes + 4, draws_.Sizes))
        return draws_;
    draws_.Records.clear();
    draws_.Connections.clear();
    for (const auto& d : DrawnInstances)
        draws_.Records.push_back(d->Ref);
    for (const auto& l : EventLines)
        draws_.Connections.push_back(l->Ref);
    for (const auto& l : DataLines)
        draws_.Connections.push_back(l->Ref);
    for (const auto& l : IPPFBLines)
        draws_.Connections.push_back(l->Ref);
    for (auto* v : {&draws_.Records, &draws_.Connections}) {
        std::sort(v->begin(), v->end());
        v->erase(std::unique(v->begin(), v->end()), v->end());
    }
    std::copy(sizes, sizes + 4, draws_.Sizes);
    draws_.Valid = true;
    return draws_;
}

TDiagramRecords TFB_Diagram::innerRecords() const
{
    auto* self = const_cast<TFB_Diagram*>(this);
    TDiagramRecords r;
    for (const auto& e : self->InnerEventRecords())
        r.Events.push_back(e.get());
    for (const auto& d : self->InnerDataRecords())
        r.Datas.push_back(d.get());
    return r;
}

void TFB_Diagram::RebuildLines()
{
    TDiagramRecords records;
    if (InnerNetwork)
        records = innerRecords();
    else if (Manager)
        records = Manager->RecordsFor(*this);

    // The first drawn instance of each name, and the first picture of each
    // IPP, as the lookups by name and by IPP would find them. Most ends are
    // records drawn here: those are found by the record, and only the
    // others by their name.
    TInstanceNameIndex namesDrawn;
    namesDrawn.Reserve(DrawnInstances.size());
    TPointerMap<TFB_InstanceRef, TFB_Instance*> drawnOf(DrawnInstances.size());
    auto firstDrawnNamed = [&](const std::string& name) -> TFB_Instance* {
        TFB_Instance* first = nullptr;
        namesDrawn.ForEach(name, [&](const TFB_InstanceRef* r) {
            first = *drawnOf.Find(r);
            return false;
        });
        return first;
    };
    for (const auto& d : DrawnInstances) {
        if (!d->Ref || drawnOf.Find(d->Ref))
            continue;
        TFB_Instance* first = firstDrawnNamed(d->Ref->Name);
        if (!first) {
            first = d.get();
            namesDrawn.Insert(d->Ref);
        }
        drawnOf.Insert(d->Ref, first);
    }
    auto drawnNamed = [&](const TFB_InstanceRef* r) -> TFB_Instance* {
        if (!r)
            return nullptr;
        if (TFB_Instance* const* d = drawnOf.Find(r))
            return *d;
        return firstDrawnNamed(r->Name);
    };
    TPointerMap<TslIPPRef, TslIPP*> pictureOf(IPPPictures.size());
    TslIPP* pictureOfNone = nullptr; // a picture left without its IPP
    for (const auto& p : IPPPictures) {
        if (p->Ipp)
            pictureOf.Insert(p->Ipp, p.get());
        else if (!pictureOfNone)
            pictureOfNone = p.get();
    }
    auto picture = [&](const TslIPPRef* ipp) -> TslIPP* {
        if (!ipp)
            return pictureOfNone;
        TslIPP* const* p = pictureOf.Find(ipp);
        return p ? *p : nullptr;
    };
    TObjectPool* pool = Manager ? &Manager->Pool : nullptr;
    TLineRebuild<TFB_EventAssoc> eventLines(EventLines, records.Events.size(), pool);
    TLineRebuild<TFB_DataAssoc> dataLines(DataLines, records.Datas.size(), pool);
    TLineRebuild<TFB_IPPFBAssocsInst> ippFbLines(IPPFBLines, records.IPPFBs.size(), pool);
    TLineRebuild<TFB_IPPtoIPPAssocInst> ippToIppLines(IPPtoIPPLines, records.IPPtoIPPs.size(), pool);
    listsChanged();

    // The picture of a port named like the record's: the picture of that
    // very port when the drawn instance places the port's own record (found
    // without comparing names), else the first picture of that name.
    auto eventPicture = [](const TFB_Instance* drawn, const TFBEvent* port, bool input) -> TFBEventDraw* {
        if (!drawn)
            return nullptr;
        const auto& pictures = input ? drawn->EventInputPorts : drawn->EventOutputPorts;
        if (drawn->Ref == port->Owner) {
            for (const auto& p : pictures)
                if (p->Event == port)
                    return p.get();
            return nullptr;
        }
        return input ? drawn->EventInputPicture(port->Name()) : drawn->EventOutputPicture(port->Name());
    };
    auto dataPicture = [](const TFB_Instance* drawn, const TFBDataMember* port, bool input) -> TFBDataMemberDraw* {
        if (!drawn)
            return nullptr;
        const auto& pictures = input ? drawn->DataInputPorts : drawn->DataOutputPorts;
        if (drawn->Ref == port->Owner) {
            for (const auto& p : pictures)
                if (p->Member == port)
                    return p.get();
            return nullptr;
        }
        return input ? drawn->DataInputPicture(port->Name()) : drawn->DataOutputPicture(port->Name());
    };

    for (TFB_EventAssocRef* e : records.Events) {
        if (!e->DestPort || !e->SourcePort)
            continue;
        TFB_Instance* dd = drawnNamed(e->DestInstance);
        TFB_Instance* sd = drawnNamed(e->SourceInstance);
        TFBEventDraw* dp = eventPicture(dd, e->DestPort, true);
        TFBEventDraw* sp = eventPicture(sd, e->SourcePort, false);
        if (!dp && !sp)
            continue; // nothing of it is here
        eventLines.Add(TEventEnds{e, dp ? dp : sp, sp ? sp : dp, dp ? dd : sd, sp ? sd : dd});
    }
    for (TFB_DataAssocRef* d : records.Datas) {
        if (!d->DestPort || !d->SourcePort)
            continue;
        TFB_Instance* dd = drawnNamed(d->DestInstance);
        TFB_Instance* sd = drawnNamed(d->SourceInstance);
        TFBDataMemberDraw* dp = dataPicture(dd, d->DestPort, true);
        TFBDataMemberDraw* sp = dataPicture(sd, d->SourcePort, false);
        if (!dp && !sp)
            continue;
        dataLines.Add(TDataEnds{d, dp ? dp : sp, sp ? sp : dp, dp ? dd : sd, sp ? sd : dd});
    }
    for (TFB_IPPFBAssocsRef* r : records.IPPFBs) {
        TFB_Instance* drawn = drawnNamed(r->Instance);
        TslIPP* pic = picture(r->IPP);
        // The line attaches to the picture of the port the record holds, in
        // that port's own direction: a record read in a device's internal
        // diagram holds the port on the other side than a sensor or actuator
        // would suggest, and its line must still end at an existing picture.
        TFBEventDraw* eventPic = nullptr;
        TFBDataMemberDraw* dataPic = nullptr;
        if (r->EventPort && r->EventPort->Decl)
            eventPic = eventPicture(drawn, r->EventPort, r->EventPort->Decl->IsInput());
        if (r->DataPort && r->DataPort->Decl)
            dataPic = dataPicture(drawn, r->DataPort, r->DataPort->Decl->IsInput());
        if (!eventPic && !dataPic)
            drawn = nullptr;
        if (!drawn && !pic)
            continue;
        ippFbLines.Add(TIPPFBEnds{r, pic, dataPic, eventPic, drawn});
    }
    for (TFB_IPPtoIPPAssocRef* r : records.IPPtoIPPs) {
        TslIPP* source = picture(r->SourceIPP);
        TslIPP* dest = picture(r->DestIPP);
        if (!source || !dest)
            continue;
        ippToIppLines.Add(TIPPtoIPPEnds{r, source, dest});
    }
}

} // namespace telvo
