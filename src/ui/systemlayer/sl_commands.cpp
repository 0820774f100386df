#include "ui/systemlayer/sl_commands.h"

#include "model/fb_connections.h"
#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"

#include <algorithm>

namespace telvo {

// ---------------------------------------------------------------- keys

TLayerKeys::TLayerKeys(TSystemLayerManager& layer) : layer_(&layer) { layer.AddListener(this); }

TLayerKeys::~TLayerKeys()
{
    if (layer_)
        layer_->RemoveListener(this);
}

int TLayerKeys::KeyOf(const void* part)
{
    if (!part)
        return 0;
    auto it = keys_.find(part);
    if (it != keys_.end())
        return it->second;
    const int key = int(parts_.size());
    parts_.push_back(const_cast<void*>(part));
    keys_.emplace(part, key);
    return key;
}

TslObject* TLayerKeys::Object(int key) const
{
    return key > 0 && size_t(key) < parts_.size() ? static_cast<TslObject*>(parts_[size_t(key)]) : nullptr;
}

TSystemConnection* TLayerKeys::Connection(int key) const
{
    return key > 0 && size_t(key) < parts_.size() ? static_cast<TSystemConnection*>(parts_[size_t(key)]) : nullptr;
}

void TLayerKeys::Bind(int key, void* part)
{
    if (key <= 0 || size_t(key) >= parts_.size() || !part)
        return;
    forget(parts_[size_t(key)]);
    parts_[size_t(key)] = part;
    keys_[part] = key;
}

void TLayerKeys::forget(const void* part)
{
    auto it = keys_.find(part);
    if (it == keys_.end())
        return;
    parts_[size_t(it->second)] = nullptr;
    keys_.erase(it);
}

void TLayerKeys::LayerDestroying(TSystemLayerManager&)
{
    keys_.clear();
    std::fill(parts_.begin(), parts_.end(), nullptr);
    layer_ = nullptr;
}

// ---------------------------------------------------------------- fields

TslObjectFields TslObjectFields::Of(const TslObject& o)
{
    TslObjectFields f;
    f.Name = o.Name;
    f.TypeName = o.TypeName;
    f.Description = o.Description;
    f.BitmapFile = o.BitmapFile;
    f.Width = o.Width;
    f.Height = o.Height;
    if (auto* bus = dynamic_cast<const TslIECFieldbus*>(&o))
        f.AllowNonIecDevices = bus->AllowNonIecDevices;
    if (auto* iec = dynamic_cast<const TslIECDevice*>(&o)) {
        f.Address = iec->DeviceIPAddress;
        f.Port = iec->DeviceAddressPort;
        f.Resource = iec->ResourceName;
    }
    if (auto* opc = dynamic_cast<const TslOPCDevice*>(&o)) {
        f.Machine = opc->OPCMachineName;
        f.Server = opc->OPCServerName;
    }
    if (auto* device = dynamic_cast<const TslDevice*>(&o))
        f.DiagramFile = device->InternalDeviceDiagramFilename;
    if (auto* ipt = dynamic_cast<const TslIPT*>(&o))
        f.ImageFileName = ipt->ImageFileName;
    if (auto* ipp = dynamic_cast<const TslIPPRef*>(&o)) {
        f.SensorActuator = ipp->SensorActuator;
        f.IsEventIPP = ipp->IsEventIPP;
    }
    if (auto* io = dynamic_cast<const TslIODevice*>(&o)) {
        const std::vector<std::unique_ptr<TslDeviceIO>>* lists[2] = {&io->InputList, &io->OutputList};
        for (int side = 0; side < 2; ++side)
            for (const auto& entry : *lists[side]) {
                f.IONames[side].push_back(entry->IOName);
                f.IOTypes[side].push_back(entry->IOType);
                f.IODescriptions[side].push_back(entry->IODescription);
            }
    }
    return f;
}

void TslObjectFields::ApplyTo(TslObject& o) const
{
    o.Name = Name;
    o.TypeName = TypeName;
    o.Description = Description;
    if (o.BitmapFile != BitmapFile)
        o.SetImage(BitmapFile);
    o.Width = Width;
    o.Height = Height;
    if (auto* bus = dynamic_cast<TslIECFieldbus*>(&o))
        bus->AllowNonIecDevices = AllowNonIecDevices;
    if (auto* iec = dynamic_cast<TslIECDevice*>(&o)) {
        iec->DeviceIPAddress = Address;
        iec->DeviceAddressPort = Port;
        iec->ResourceName = Resource;
    }
    if (auto* opc = dynamic_cast<TslOPCDevice*>(&o)) {
        opc->OPCMachineName = Machine;
        opc->OPCServerName = Server;
    }
    if (auto* device = dynamic_cast<TslDevice*>(&o))
        device->InternalDeviceDiagramFilename = DiagramFile;
    if (auto* ipt = dynamic_cast<TslIPT*>(&o))
        ipt->ImageFileName = ImageFileName;
    if (auto* ipp = dynamic_cast<TslIPPRef*>(&o)) {
        ipp->SensorActuator = SensorActuator;
        ipp->IsEventIPP = IsEventIPP;
    }
    if (auto* io = dynamic_cast<TslIODevice*>(&o)) {
        if (io->InputList.size() != IONames[0].size() || io->OutputList.size() != IONames[1].size()) {
            // A device made again: its entries come back unbound (the
            // bindings are restored separately).
            io->ClearIO();
            for (size_t i = 0; i < IONames[0].size(); ++i)
                io->AddInput(IONames[0][i]);
            for (size_t i = 0; i < IONames[1].size(); ++i)
                io->AddOutput(IONames[1][i]);
        }
        std::vector<std::unique_ptr<TslDeviceIO>>* lists[2] = {&io->InputList, &io->OutputList};
        for (int side = 0; side < 2; ++side)
            for (size_t i = 0; i < lists[side]->size(); ++i) {
                TslDeviceIO& entry = *(*lists[side])[i];
                entry.IOName = IONames[side][i];
                entry.IOType = IOTypes[side][i];
                entry.IODescription = IODescriptions[side][i];
            }
    }
}

// ---------------------------------------------------------------- helpers

namespace {

TslConnectionSnapshot snapshotOf(TLayerKeys& keys, const TSystemConnection& c)
{
    TslConnectionSnapshot s;
    s.Key = keys.KeyOf(&c);
    const auto& list = keys.Layer()->Connections;
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].get() == &c)
            s.Index = i;
    s.Name = c.Name;
    s.Description = c.Description;
    s.Source = keys.KeyOf(c.SourceObject);
    s.Target = keys.KeyOf(c.TargetObject);
    s.ConnectionType = c.ConnectionType;
    return s;
}

TslBindings bindingsOf(TLayerKeys& keys, const TslIODevice& device)
{
    TslBindings b;
    b.Device = keys.KeyOf(&device);
    for (const auto& entry : device.InputList)
        b.Inputs.push_back(keys.KeyOf(entry->BoundObject));
    for (const auto& entry : device.OutputList)
        b.Outputs.push_back(keys.KeyOf(entry->BoundObject));
    return b;
}

void addBindingsOf(TLayerKeys& keys, std::vector<TslBindings>& into, const TslIODevice* device)
{
    if (!device)
        return;
    const int key = keys.KeyOf(device);
    for (const auto& b : into)
        if (b.Device == key)
            return;
    into.push_back(bindingsOf(keys, *device));
}

void applyBindings(TLayerKeys& keys, const std::vector<TslBindings>& all)
{
    for (const TslBindings& b : all) {
        auto* device = dynamic_cast<TslIODevice*>(keys.Object(b.Device));
        if (!device)
            continue;
        for (size_t i = 0; i < device->InputList.size() && i < b.Inputs.size(); ++i)
            device->InputList[i]->BoundObject = dynamic_cast<TslIPPRef*>(keys.Object(b.Inputs[i]));
        for (size_t i = 0; i < device->OutputList.size() && i < b.Outputs.size(); ++i)
            device->OutputList[i]->BoundObject = dynamic_cast<TslIPPRef*>(keys.Object(b.Outputs[i]));
    }
}

template <typename T> void moveTo(std::vector<std::unique_ptr<T>>& list, const T* item, size_t index)
{
    auto it = std::find_if(list.begin(), list.end(), [item](const auto& p) { return p.get() == item; });
    if (it == list.end())
        return;
    std::unique_ptr<T> owned = std::move(*it);
    list.erase(it);
    index = std::min(index, list.size());
    list.insert(list.begin() + std::ptrdiff_t(index), std::move(owned));
}

// Makes the connections again, in the order they stood, with their names,
// descriptions and types as they were.
void restoreConnections(TLayerKeys& keys, std::vector<TslConnectionSnapshot> all)
{
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.Index < b.Index; });
    TSystemLayerManager& layer = *keys.Layer();
    for (const auto& s : all) {
        TSystemConnection* c = layer.Connect(keys.Object(s.Source), keys.Object(s.Target));
        if (!c)
            continue;
        c->Name = s.Name;
        c->Description = s.Description;
        c->ConnectionType = s.ConnectionType;
        keys.Bind(s.Key, c);
        moveTo(layer.Connections, c, s.Index);
    }
}

void collectConnections(TLayerKeys& keys, const TslObject* end, TslPartSnapshot& into)
{
    for (const auto& c : keys.Layer()->Connections)
        if (c->SourceObject == end || c->TargetObject == end) {
            into.Connections.push_back(snapshotOf(keys, *c));
            addBindingsOf(keys, into.Bindings, c->BoundDevice());
        }
}

TslIppSnapshot ippSnapshot(TLayerKeys& keys, const TslIPPRef& ipp, size_t index)
{
    return {keys.KeyOf(&ipp), index, TslObjectFields::Of(ipp)};
}

TslIPPRef* restoreIpp(TLayerKeys& keys, TslObject& owner, const TslIppSnapshot& s)
{
    TslIPPRef* ipp = nullptr;
    if (auto* ipt = dynamic_cast<TslIPT*>(&owner)) {
        ipp = ipt->AddIpp(s.Fields.Name, s.Fields.TypeName, s.Fields.SensorActuator);
        moveTo(ipt->IPPList, ipp, s.Index);
    } else if (auto* device = dynamic_cast<TslDevice*>(&owner)) {
        ipp = device->AddIppRef(std::make_unique<TslIPPRef>(keys.Layer()));
        moveTo(device->IPPList, ipp, s.Index);
    }
    if (!ipp)
        return nullptr;
    s.Fields.ApplyTo(*ipp);
    keys.Bind(s.Key, ipp);
    return ipp;
}

} // namespace

// ---------------------------------------------------------------- IPP uses

void TslIppUses::Collect(TLayerKeys& keys, TFB_Manager& fbm, const TslIPPRef& ipp)
{
    const int key = keys.KeyOf(&ipp);
    for (const auto& d : fbm.Diagrams)
        for (size_t i = 0; i < d->IPPPictures.size(); ++i)
            if (d->IPPPictures[i]->Ipp == &ipp)
                Pictures.push_back({key, d->Name, d->IPPPictures[i]->BaseX, d->IPPPictures[i]->BaseY, i});
    for (size_t i = 0; i < fbm.IPPFBConns.size(); ++i) {
        const auto& c = fbm.IPPFBConns[i];
        if (c->IPP == &ipp && c->Instance) {
            if (c->EventPort)
                FBConns.push_back({key, c->Instance->Name, c->EventPort->Name(), true, c->ListOrder, i});
            else if (c->DataPort)
                FBConns.push_back({key, c->Instance->Name, c->DataPort->Name(), false, c->ListOrder, i});
        }
    }
    for (size_t i = 0; i < fbm.IPPtoIPPConns.size(); ++i) {
        const auto& c = fbm.IPPtoIPPConns[i];
        if (c->SourceIPP == &ipp || c->DestIPP == &ipp) {
            const TIppConn conn{keys.KeyOf(c->SourceIPP), keys.KeyOf(c->DestIPP), c->ListOrder, i};
            bool known = false;
            for (const auto& k : IppConns)
                known = known || (k.Source == conn.Source && k.Dest == conn.Dest);
            if (!known)
                IppConns.push_back(conn);
        }
    }
}

void TslIppUses::Restore(TLayerKeys& keys, TFB_Manager& fbm) const
{
    auto diagramNamed = [&](const std::string& name) -> TFB_Diagram* {
        for (const auto& d : fbm.Diagrams)
            if (d->Name == name)
                return d.get();
        return nullptr;
    };
    for (const TPicture& p : Pictures) {
        auto* ipp = dynamic_cast<TslIPPRef*>(keys.Object(p.Ipp));
        TFB_Diagram* d = diagramNamed(p.Diagram);
        if (!ipp || !d)
            continue;
        if (TslIPP* picture = d->AddIPPPicture(ipp, p.BaseX, p.BaseY)) {
            picture->BaseX = p.BaseX;
            picture->BaseY = p.BaseY;
            picture->SetScale(d->Zoom);
            moveTo(d->IPPPictures, picture, p.Index);
        }
    }
    // Records go back to their places in the lists, in the order they
    // stood, so that every file lists them as before.
    std::vector<TFBConn> fbConns = FBConns;
    std::sort(fbConns.begin(), fbConns.end(), [](const auto& a, const auto& b) { return a.Index < b.Index; });
    std::vector<TIppConn> ippConns = IppConns;
    std::sort(ippConns.begin(), ippConns.end(), [](const auto& a, const auto& b) { return a.Index < b.Index; });
    for (const TFBConn& c : fbConns) {
        auto* ipp = dynamic_cast<TslIPPRef*>(keys.Object(c.Ipp));
        TFB_InstanceRef* record = fbm.FindInstance(c.Instance);
        if (!ipp || !record)
            continue;
        auto conn = std::make_unique<TFB_IPPFBAssocsRef>();
        conn->IPP = ipp;
        conn->Instance = record;
        if (c.Event) {
            for (auto* list : {&record->EventInputs, &record->EventOutputs})
                for (const auto& port : *list)
                    if (!conn->EventPort && port->Name() == c.Port)
                        conn->EventPort = port.get();
            if (!conn->EventPort)
                continue;
        } else {
            for (auto* list : {&record->DataInputs, &record->DataOutputs})
                for (const auto& port : *list)
                    if (!conn->DataPort && port->Name() == c.Port)
                        conn->DataPort = port.get();
            if (!conn->DataPort)
                continue;
        }
        TFB_IPPFBAssocsRef* added = fbm.AddIPPFBConn(std::move(conn));
        added->ListOrder = c.ListOrder;
        moveTo(fbm.IPPFBConns, added, c.Index);
    }
    for (const TIppConn& c : ippConns) {
        auto* source = dynamic_cast<TslIPPRef*>(keys.Object(c.Source));
        auto* dest = dynamic_cast<TslIPPRef*>(keys.Object(c.Dest));
        if (!source || !dest || fbm.FindIPPtoIPPConn(source, dest))
            continue;
        auto conn = std::make_unique<TFB_IPPtoIPPAssocRef>();
        conn->SourceIPP = source;
        conn->DestIPP = dest;
        TFB_IPPtoIPPAssocRef* added = fbm.AddIPPtoIPPConn(std::move(conn));
        added->ListOrder = c.ListOrder;
        moveTo(fbm.IPPtoIPPConns, added, c.Index);
    }
    if (!Pictures.empty() || !FBConns.empty() || !IppConns.empty())
        for (const auto& d : fbm.Diagrams)
            d->RebuildLines();
}

// ---------------------------------------------------------------- base

TLayerCommand::TLayerCommand(TLayerKeys& keys, const QString& text) : QUndoCommand(text), keys_(keys)
{
    orderBefore_ = Order(keys);
}

std::vector<int> TLayerCommand::Order(TLayerKeys& keys)
{
    std::vector<int> order;
    if (!keys.Layer())
        return order;
    for (const auto& o : keys.Layer()->Objects)
        order.push_back(keys.KeyOf(o.get()));
    return order;
}

void TLayerCommand::RestoreOrder(TLayerKeys& keys, const std::vector<int>& order)
{
    if (!keys.Layer())
        return;
    auto& objects = keys.Layer()->Objects;
    std::unordered_map<int, size_t> rank;
    for (size_t i = 0; i < order.size(); ++i)
        rank.emplace(order[i], i);
    // Objects the order does not name keep their places after those it does.
    std::stable_sort(objects.begin(), objects.end(), [&](const auto& a, const auto& b) {
        auto ra = rank.find(keys.KeyOf(a.get())), rb = rank.find(keys.KeyOf(b.get()));
        const size_t x = ra == rank.end() ? order.size() : ra->second;
        const size_t y = rb == rank.end() ? order.size() : rb->second;
        return x < y;
    });
}

void TLayerCommand::redo()
{
    if (!keys_.Layer())
        return;
    if (done_) {
        done_ = false;
        orderAfter_ = Order(keys_);
        return;
    }
    apply();
    RestoreOrder(keys_, orderAfter_);
}

void TLayerCommand::undo()
{
    if (!keys_.Layer())
        return;
    revert();
    RestoreOrder(keys_, orderBefore_);
}

// ---------------------------------------------------------------- objects

TObjectPresenceCommand::TObjectPresenceCommand(TLayerKeys& keys, TFB_Manager* fbm, TslObject& object, bool add,
                                               const QString& text)
    : TLayerCommand(keys, text), fbm_(fbm), add_(add)
{
    snapshot_.Key = keys.KeyOf(&object);
    snapshot_.Kind = object.Kind;
    snapshot_.Left = object.Left;
    snapshot_.Top = object.Top;
    snapshot_.Fields = TslObjectFields::Of(object);
    if (auto* io = dynamic_cast<TslIODevice*>(&object))
        addBindingsOf(keys, snapshot_.Bindings, io);
    collectConnections(keys, &object, snapshot_);
    if (const auto* ipps = object.IppList())
        for (size_t i = 0; i < ipps->size(); ++i) {
            snapshot_.Ipps.push_back(ippSnapshot(keys, *(*ipps)[i], i));
            collectConnections(keys, (*ipps)[i].get(), snapshot_);
            if (fbm)
                snapshot_.Uses.Collect(keys, *fbm, *(*ipps)[i]);
        }
    if (auto* device = dynamic_cast<TslDevice*>(&object))
        for (const TFB_InstanceRef* record : device->DownloadedFBInstanceList)
            snapshot_.Downloaded.push_back(record->Name);
    if (!add)
        done_ = false;
}

void TObjectPresenceCommand::apply() { add_ ? restore() : remove(); }
void TObjectPresenceCommand::revert() { add_ ? remove() : restore(); }

void TObjectPresenceCommand::remove()
{
    TslObject* object = keys_.Object(snapshot_.Key);
    if (object)
        layer().DeleteObject(object);
}

void TObjectPresenceCommand::restore()
{
    const TslObjectFields& f = snapshot_.Fields;
    int subtype = 0;
    if (snapshot_.Kind == slIPT) {
        subtype = IptSubtypeOfTypeName(f.TypeName);
        if (subtype < 0)
            subtype = slCustomIptSubtype;
    }
    TslObject* object = layer().AddObject(f.Name, snapshot_.Kind, subtype, f.ImageFileName);
    if (!object)
        return;
    f.ApplyTo(*object);
    object->Left = snapshot_.Left;
    object->Top = snapshot_.Top;
    keys_.Bind(snapshot_.Key, object);
    for (const auto& ipp : snapshot_.Ipps)
        restoreIpp(keys_, *object, ipp);
    if (auto* device = dynamic_cast<TslDevice*>(object); device && fbm_)
        for (const std::string& name : snapshot_.Downloaded)
            if (TFB_InstanceRef* record = fbm_->FindInstance(name))
                AssignInstance(device, record);
    restoreConnections(keys_, snapshot_.Connections);
    applyBindings(keys_, snapshot_.Bindings);
    if (fbm_)
        snapshot_.Uses.Restore(keys_, *fbm_);
}

// ---------------------------------------------------------------- IPPs

TIppPresenceCommand::TIppPresenceCommand(TLayerKeys& keys, TFB_Manager* fbm, TslIPPRef& ipp, bool add,
                                         const QString& text)
    : TLayerCommand(keys, text), fbm_(fbm), add_(add)
{
    snapshot_.Owner = keys.KeyOf(ipp.Owner);
    size_t index = 0;
    if (const auto* ipps = ipp.Owner ? ipp.Owner->IppList() : nullptr)
        for (size_t i = 0; i < ipps->size(); ++i)
            if ((*ipps)[i].get() == &ipp)
                index = i;
    snapshot_.Ipps.push_back(ippSnapshot(keys, ipp, index));
    collectConnections(keys, &ipp, snapshot_);
    if (fbm)
        snapshot_.Uses.Collect(keys, *fbm, ipp);
    if (!add)
        done_ = false;
}

void TIppPresenceCommand::apply() { add_ ? restore() : remove(); }
void TIppPresenceCommand::revert() { add_ ? remove() : restore(); }

void TIppPresenceCommand::remove()
{
    TslObject* owner = keys_.Object(snapshot_.Owner);
    auto* ipp = dynamic_cast<TslIPPRef*>(keys_.Object(snapshot_.Ipps.front().Key));
    if (owner && ipp)
        layer().DeleteIpp(owner, ipp);
}

void TIppPresenceCommand::restore()
{
    TslObject* owner = keys_.Object(snapshot_.Owner);
    if (!owner || !restoreIpp(keys_, *owner, snapshot_.Ipps.front()))
        return;
    restoreConnections(keys_, snapshot_.Connections);
    applyBindings(keys_, snapshot_.Bindings);
    if (fbm_)
        snapshot_.Uses.Restore(keys_, *fbm_);
}

// ---------------------------------------------------------------- connections

TConnectionPresenceCommand::TConnectionPresenceCommand(TLayerKeys& keys, TSystemConnection& connection, bool add,
                                                       const QString& text)
    : TLayerCommand(keys, text), add_(add)
{
    connection_ = snapshotOf(keys, connection);
    addBindingsOf(keys, bindings_, connection.BoundDevice());
    if (!add)
        done_ = false;
}

void TConnectionPresenceCommand::apply() { add_ ? restore() : remove(); }
void TConnectionPresenceCommand::revert() { add_ ? remove() : restore(); }

void TConnectionPresenceCommand::remove()
{
    if (TSystemConnection* c = keys_.Connection(connection_.Key))
        layer().DeleteConnection(c);
}

void TConnectionPresenceCommand::restore()
{
    restoreConnections(keys_, {connection_});
    applyBindings(keys_, bindings_);
}

// ---------------------------------------------------------------- moves

TMoveCommand::TMoveCommand(TLayerKeys& keys, TslObject& object, int32_t fromLeft, int32_t fromTop)
    : TLayerCommand(keys, QStringLiteral("Move %1").arg(QString::fromStdString(object.Name))),
      key_(keys.KeyOf(&object)), fromLeft_(fromLeft), fromTop_(fromTop), toLeft_(object.Left), toTop_(object.Top)
{
}

void TMoveCommand::apply()
{
    if (TslObject* o = keys_.Object(key_)) {
        o->Left = toLeft_;
        o->Top = toTop_;
    }
}

void TMoveCommand::revert()
{
    if (TslObject* o = keys_.Object(key_)) {
        o->Left = fromLeft_;
        o->Top = fromTop_;
    }
}

// ---------------------------------------------------------------- fields

TFieldsCommand::TFieldsCommand(TLayerKeys& keys, TslObject& object, TslObjectFields before, const QString& text)
    : TLayerCommand(keys, text), key_(keys.KeyOf(&object)), before_(std::move(before)),
      after_(TslObjectFields::Of(object))
{
}

void TFieldsCommand::apply()
{
    if (TslObject* o = keys_.Object(key_))
        after_.ApplyTo(*o);
}

void TFieldsCommand::revert()
{
    if (TslObject* o = keys_.Object(key_))
        before_.ApplyTo(*o);
}

// ---------------------------------------------------------------- distribution

TDistributionCommand::TDistributionCommand(TLayerKeys& keys, TFB_Manager& fbm, TslDevice& device,
                                           const std::string& record, bool assign, size_t index)
    : TLayerCommand(keys, QStringLiteral("%1 %2 %3")
                              .arg(assign ? QStringLiteral("Distribute") : QStringLiteral("Take back"),
                                   QString::fromStdString(record), QString::fromStdString(device.Name))),
      fbm_(fbm), device_(keys.KeyOf(&device)), record_(record), assign_(assign), index_(index)
{
}

void TDistributionCommand::apply() { assign_ ? assign() : unassign(); }
void TDistributionCommand::revert() { assign_ ? unassign() : assign(); }

void TDistributionCommand::assign()
{
    auto* device = dynamic_cast<TslDevice*>(keys_.Object(device_));
    TFB_InstanceRef* record = fbm_.FindInstance(record_);
    if (!device || !record)
        return;
    AssignInstance(device, record);
    auto& list = device->DownloadedFBInstanceList;
    auto it = std::find(list.begin(), list.end(), record);
    if (it != list.end() && !assign_) {
        // Taken back from the middle of the list: it goes back there.
        list.erase(it);
        list.insert(list.begin() + std::ptrdiff_t(std::min(index_, list.size())), record);
    }
}

void TDistributionCommand::unassign()
{
    auto* device = dynamic_cast<TslDevice*>(keys_.Object(device_));
    TFB_InstanceRef* record = fbm_.FindInstance(record_);
    if (device && record)
        UnassignInstance(device, record);
}

} // namespace telvo
