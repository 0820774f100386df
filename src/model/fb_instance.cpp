#include "model/fb_instance.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/value_text.h"
#include "systemlayer/system_layer.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <type_traits>

namespace telvo {

namespace {

const std::string& emptyName()
{
    static const std::string empty;
    return empty;
}

// Value fields <-> the shared value-text rules: a port holds the value of its
// declaration's type class only.
template <typename Port>
TValueHolder holderOf(const Port& port, const std::string& typeText, bool extended)
{
    TValueHolder h(typeText, extended);
    h.BoolValue = port.BoolValue;
    h.IntValue = port.IntValue;
    h.RealValue = port.RealValue;
    h.StringValue = port.StrValue;
    return h;
}

template <typename Port>
void storeHolder(Port& port, const TValueHolder& h)
{
    port.BoolValue = h.BoolValue;
    port.IntValue = h.IntValue;
    port.RealValue = static_cast<decltype(port.RealValue)>(h.RealValue);
    port.StrValue = h.StringValue;
}

template <typename List>
auto findPort(const List& ports, std::string_view name) -> typename List::value_type::pointer
{
    for (const auto& p : ports)
        if (p->Decl && p->Decl->Name == name)
            return p.get();
    return nullptr;
}

} // namespace

const std::string& TFBEvent::Name() const { return Decl ? Decl->Name : emptyName(); }
const std::string& TFBDataMember::Name() const { return Decl ? Decl->Name : emptyName(); }

void TFBDataMember::SetValueFromText(const std::string& text)
{
    TValueHolder h = holderOf(*this, Decl ? Decl->Type : std::string(), false);
    h.Parse(text);
    storeHolder(*this, h);
}

std::string TFBDataMember::FormatValue() const
{
    return holderOf(*this, Decl ? Decl->Type : std::string(), false).Format();
}

void TFBInstance_InternalVar::SetValueFromText(const std::string& text)
{
    TValueHolder h = holderOf(*this, Decl ? Decl->Type : std::string(), true);
    h.Parse(text);
    storeHolder(*this, h);
}

std::string TFBInstance_InternalVar::FormatValue() const
{
    return holderOf(*this, Decl ? Decl->Type : std::string(), true).Format();
}

TFB_InstanceRef::TFB_InstanceRef() = default;

// The inner diagram's records point at this record's type only; nothing in
// it points back here, so the order of destruction does not matter.
TFB_InstanceRef::~TFB_InstanceRef() = default;

std::unique_ptr<TFB_InstanceRef> TFB_InstanceRef::Create(const std::string& name, TFB_Type* type, bool apply,
                                                         TFB_Manager* manager)
{
    if (!type)
        return nullptr;
    auto r = manager ? manager->Pool.Make<TFB_InstanceRef>() : std::make_unique<TFB_InstanceRef>();
    r->Name = name;
    r->Type = type;
    r->EventInputs.reserve(type->EventInputs.size());
    r->EventOutputs.reserve(type->EventOutputs.size());
    r->DataInputs.reserve(type->DataInputs.size());
    r->DataOutputs.reserve(type->DataOutputs.size());
    r->block_.Reserve(
        TObjectBlock::RoomFor<TFBEvent>(type->EventInputs.size() + type->EventOutputs.size()) +
        TObjectBlock::RoomFor<TFBDataMember>(type->DataInputs.size() + type->DataOutputs.size()) +
        TObjectBlock::RoomFor<TFBInstance_InternalVar>(type->InternalVars.size()),
        manager ? &manager->Pool : nullptr);
    for (const auto& d : type->EventInputs) {
        auto e = r->block_.Make<TFBEvent>();
        e->Decl = d.get();
        e->Owner = r.get();
        r->EventInputs.push_back(std::move(e));
    }
    for (const auto& d : type->EventOutputs) {
        auto e = r->block_.Make<TFBEvent>();
        e->Decl = d.get();
        e->Owner = r.get();
        r->EventOutputs.push_back(std::move(e));
    }
    for (const auto& d : type->DataInputs) {
        auto m = r->block_.Make<TFBDataMember>();
        m->Decl = d.get();
        m->Owner = r.get();
        if (apply && !d->InitialValue.empty()) {
            m->ValueText = d->InitialValue;
            m->SetValueFromText(m->ValueText);
        }
        r->DataInputs.push_back(std::move(m));
    }
    for (const auto& d : type->DataOutputs) {
        auto m = r->block_.Make<TFBDataMember>();
        m->Decl = d.get();
        m->Owner = r.get();
        r->DataOutputs.push_back(std::move(m));
    }
    r->MakeInternalVars();
    r->Composite = type->Composite;
    if (r->Composite)
        r->BuildInnerDiagram(manager);
    return r;
}

void TFB_InstanceRef::BuildInnerDiagram(TFB_Manager* manager)
{
    TFB_Type* t = Type;
    InnerDiagram = TFB_Diagram::MakeInnerNetwork("FBdiagr_" + Name, t, manager);
    if (!manager || !t->Network)
        return;
    auto& expanding = manager->expanding_;
    if (auto at = std::find(expanding.begin(), expanding.end(), t); at != expanding.end()) {
        std::string cycle;
        for (auto it = at; it != expanding.end(); ++it)
            cycle += (*it)->Name + " -> ";
        manager->ShowMessage("Error 101: Cannot create FB instance " + Name + " from type " + t->Name +
                             ": the type contains itself, the composite types form a cycle " + cycle + t->Name);
        return;
    }
    expanding.push_back(t);
    struct TPop {
        std::vector<const TFB_Type*>& list;
        ~TPop() { list.pop_back(); }
    } pop{expanding};

    TFB_Diagram& inner = *InnerDiagram;
    const std::string prefix = Name + "-";
    for (const auto& c : t->Network->DrawnInstances) {
        if (!c->Ref || !c->Ref->Type)
            continue;
        TFB_Instance* made = inner.AddInstance(prefix + c->Ref->Name, c->Ref->Type->Name, false, nullptr);
        if (!made)
            continue;
        made->PlaceAt(c->BaseX, c->BaseY);
        TFB_InstanceRef* rec = made->Ref;
        size_t n = std::min(rec->DataInputs.size(), c->Ref->DataInputs.size());
        for (size_t i = 0; i < n; ++i) {
            const std::string& text = c->Ref->DataInputs[i]->ValueText;
            rec->DataInputs[i]->ValueText = text;
            if (!text.empty()) {
                try {
                    rec->DataInputs[i]->SetValueFromText(text);
                } catch (const EConvertError&) {
                    // The type's network holds the text as written; the value
                    // stays at its default, as for any constant that is no
                    // number of its port's type.
                }
            }
        }
    }
    auto innerRecord = [&](const TFB_InstanceRef* typeRecord) -> TFB_InstanceRef* {
        return typeRecord ? inner.FindRecord(prefix + typeRecord->Name) : nullptr;
    };
    for (const auto& e : t->InnerEventConns) {
        TFB_InstanceRef* src = innerRecord(e->SourceInstance);
        TFB_InstanceRef* dst = innerRecord(e->DestInstance);
        if (!src || !dst || !e->SourcePort || !e->DestPort)
            continue;
        inner.AddInnerEventConn(src->FindEventOutput(e->SourcePort->Name()), dst->FindEventInput(e->DestPort->Name()),
                                inner.InnerEventConns);
    }
    for (const auto& d : t->InnerDataConns) {
        TFB_InstanceRef* src = innerRecord(d->SourceInstance);
        TFB_InstanceRef* dst = innerRecord(d->DestInstance);
        if (!src || !dst || !d->SourcePort || !d->DestPort)
            continue;
        inner.AddInnerDataConn(src->FindDataOutput(d->SourcePort->Name()), dst->FindDataInput(d->DestPort->Name()),
                               inner.InnerDataConns);
    }
    for (const auto& k : t->Network->CompositeConns) {
        if (k->IsEvent()) {
            if (!k->InterfaceEvent || !k->InnerEvent || !k->InnerEvent->Owner)
                continue;
            TFB_InstanceRef* rec = innerRecord(k->InnerEvent->Owner);
            if (!rec)
                continue;
            const std::string& port = k->InnerEvent->Name();
            if (k->InterfaceEvent->IsInput())
                inner.AddCompositeEventConn(t->FindEventInput(k->InterfaceEvent->Name), rec->FindEventInput(port));
            else
                inner.AddCompositeEventConn(t->FindEventOutput(k->InterfaceEvent->Name), rec->FindEventOutput(port));
        } else {
            if (!k->InterfaceData || !k->InnerData || !k->InnerData->Owner)
                continue;
            TFB_InstanceRef* rec = innerRecord(k->InnerData->Owner);
            if (!rec)
                continue;
            const std::string& port = k->InnerData->Name();
            if (k->InterfaceData->IsInput())
                inner.AddCompositeDataConn(t->FindDataInput(k->InterfaceData->Name), rec->FindDataInput(port));
            else
                inner.AddCompositeDataConn(t->FindDataOutput(k->InterfaceData->Name), rec->FindDataOutput(port));
        }
    }
}

TFBEvent* TFB_InstanceRef::FindEventInput(std::string_view name) const { return findPort(EventInputs, name); }
TFBEvent* TFB_InstanceRef::FindEventOutput(std::string_view name) const { return findPort(EventOutputs, name); }
TFBDataMember* TFB_InstanceRef::FindDataInput(std::string_view name) const { return findPort(DataInputs, name); }
TFBDataMember* TFB_InstanceRef::FindDataOutput(std::string_view name) const
{
    return findPort(DataOutputs, name);
}

void TFB_InstanceRef::ClearInternalVars() { InternalVars.clear(); }

void TFB_InstanceRef::MakeInternalVars()
{
    // Built aside first: a bad initial value throws and leaves the record as
    // it was.
    TOwnedList<TFBInstance_InternalVar> vars;
    if (Type)
        vars.reserve(Type->InternalVars.size());
    if (Type)
        for (const auto& d : Type->InternalVars) {
            auto v = block_.Make<TFBInstance_InternalVar>();
            v->Decl = d.get();
            v->Owner = this;
            v->ValueText = d->InitialValue;
            v->SetValueFromText(v->ValueText);
            vars.push_back(std::move(v));
        }
    InternalVars = std::move(vars);
}

// ---------------------------------------------------------------------------

TFB_Instance::TFB_Instance(TFB_InstanceRef* ref, TCanvas* canvas, TObjectPool* pool) : Canvas(canvas), Ref(ref)
{
    if (ref)
        block_.Reserve(
            TObjectBlock::RoomFor<TFBEventDraw>(ref->EventInputs.size() + ref->EventOutputs.size()) +
                TObjectBlock::RoomFor<TFBDataMemberDraw>(ref->DataInputs.size() + ref->DataOutputs.size()),
            pool);
    SyncPortPictures();
}

namespace {

template <typename Pic, typename Port, typename Bind>
void syncPictures(TObjectBlock& block, TOwnedList<Pic>& pictures, const TOwnedList<Port>& ports, Bind portOf)
{
    if (pictures.empty()) {
        // A new drawn instance: one new picture per port.
        pictures.reserve(ports.size());
        for (const auto& port : ports) {
            auto p = block.Make<Pic>();
            portOf(*p) = port.get();
            pictures.push_back(std::move(p));
        }
        return;
    }
    TOwnedList<Pic> synced;
    synced.reserve(ports.size());
    for (const auto& port : ports) {
        auto it = std::find_if(pictures.begin(), pictures.end(),
                               [&](const auto& p) { return p && portOf(*p) == port.get(); });
        if (it != pictures.end()) {
            synced.push_back(std::move(*it));
        } else {
            auto p = block.Make<Pic>();
            portOf(*p) = port.get();
            synced.push_back(std::move(p));
        }
    }
    pictures = std::move(synced);
}

} // namespace

void TFB_Instance::SyncPortPictures()
{
    if (!Ref) {
        EventInputPorts.clear();
        EventOutputPorts.clear();
        DataInputPorts.clear();
        DataOutputPorts.clear();
        return;
    }
    auto event = [](TFBEventDraw& p) -> TFBEvent*& { return p.Event; };
    auto data = [](TFBDataMemberDraw& p) -> TFBDataMember*& { return p.Member; };
    syncPictures(block_, EventInputPorts, Ref->EventInputs, event);
    syncPictures(block_, EventOutputPorts, Ref->EventOutputs, event);
    syncPictures(block_, DataInputPorts, Ref->DataInputs, data);
    syncPictures(block_, DataOutputPorts, Ref->DataOutputs, data);
    for (auto* list : {&EventInputPorts, &EventOutputPorts})
        for (auto& p : *list)
            p->Instance = this;
    for (auto* list : {&DataInputPorts, &DataOutputPorts})
        for (auto& p : *list)
            p->Instance = this;
}

void TFB_Instance::PlaceAt(int32_t baseX, int32_t baseY)
{
    BaseX = baseX;
    BaseY = baseY;
    X = RoundHalfEven(baseX * Scale);
    Y = RoundHalfEven(baseY * Scale);
    DragOffsetX = 0;
    DragOffsetY = 0;
}

namespace {

template <typename List>
auto pictureNamed(const List& pictures, const std::string& name) -> typename List::value_type::pointer
{
    for (const auto& p : pictures) {
        const auto* port = [&] {
            if constexpr (std::is_same_v<typename List::value_type::element_type, TFBEventDraw>)
                return static_cast<const TFBEvent*>(p->Event);
            else
                return static_cast<const TFBDataMember*>(p->Member);
        }();
        if (port && port->Name() == name)
            return p.get();
    }
    return nullptr;
}

} // namespace

TFBEventDraw* TFB_Instance::EventInputPicture(const std::string& name) const
{
    return pictureNamed(EventInputPorts, name);
}
TFBEventDraw* TFB_Instance::EventOutputPicture(const std::string& name) const
{
    return pictureNamed(EventOutputPorts, name);
}
TFBDataMemberDraw* TFB_Instance::DataInputPicture(const std::string& name) const
{
    return pictureNamed(DataInputPorts, name);
}
TFBDataMemberDraw* TFB_Instance::DataOutputPicture(const std::string& name) const
{
    return pictureNamed(DataOutputPorts, name);
}

TFBEventDraw* TFB_Instance::PictureOf(const TFBEvent* port) const
{
    for (auto* list : {&EventInputPorts, &EventOutputPorts})
        for (const auto& p : *list)
            if (p->Event == port)
                return p.get();
    return nullptr;
}

TFBDataMemberDraw* TFB_Instance::PictureOf(const TFBDataMember* port) const
{
    for (auto* list : {&DataInputPorts, &DataOutputPorts})
        for (const auto& p : *list)
            if (p->Member == port)
                return p.get();
    return nullptr;
}

bool IsEventFunctionTypeName(const std::string& typeName)
{
    static constexpr std::array<std::string_view, 23> names = {
        "E_SPLIT", "E_MERGE", "E_REND",  "E_PERMIT", "E_SELECT", "E_SWITCH", "E_DELAY",      "E_RESTART",
        "E_CYCLE", "E_TRAIN", "E_TABLE", "E_N_TABLE", "E_SR",    "E_RS",     "E_D_FF",       "E_R_TRIG",
        "E_F_TRIG", "E_CTU",  "E_CHRON", "E_TRIG",   "E_DEMUX",  "SISTEP_EVGEN", "SISTEP_EVBOOL"};
    return std::find(names.begin(), names.end(), typeName) != names.end();
}

void AssignInstance(TslDevice* device, TFB_InstanceRef* record)
{
    if (!device || !record || record->Device)
        return;
    auto& list = device->DownloadedFBInstanceList;
    if (std::find(list.begin(), list.end(), record) != list.end())
        return;
    list.push_back(record);
    record->Device = device;
}

void UnassignInstance(TslDevice* device, TFB_InstanceRef* record)
{
    if (!record)
        return;
    if (device) {
        auto& list = device->DownloadedFBInstanceList;
        list.erase(std::remove(list.begin(), list.end(), record), list.end());
    }
    // Only this device lets the record go: a record on another device stays
    // there, or that device would list a record that names no device.
    if (record->Device == device)
        record->Device = nullptr;
}

} // namespace telvo
