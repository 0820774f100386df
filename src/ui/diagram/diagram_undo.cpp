#include "ui/diagram/diagram_undo.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/value_text.h"
#include "persistence/network_file.h"
#include "systemlayer/system_layer.h"

#include <algorithm>
#include <map>

namespace telvo {

namespace {

std::string nameOf(const TFB_InstanceRef* record)
{
    return record ? record->Name : std::string();
}

std::string ownerOf(const TslIPPRef* ipp)
{
    return ipp && ipp->Owner ? ipp->Owner->Name : std::string();
}

std::string ippName(const TslIPPRef* ipp)
{
    return ipp ? ipp->Name : std::string();
}

TConnectionSnapshot snap(const TFB_EventAssocRef& r)
{
    return {TConnectionSnapshot::TKind::Event, nameOf(r.SourceInstance), r.SourcePort ? r.SourcePort->Name() : "",
            nameOf(r.DestInstance), r.DestPort ? r.DestPort->Name() : ""};
}

TConnectionSnapshot snap(const TFB_DataAssocRef& r)
{
    return {TConnectionSnapshot::TKind::Data, nameOf(r.SourceInstance), r.SourcePort ? r.SourcePort->Name() : "",
            nameOf(r.DestInstance), r.DestPort ? r.DestPort->Name() : ""};
}

TConnectionSnapshot snap(const TFB_IPPFBAssocsRef& r)
{
    std::string port = r.EventPort ? r.EventPort->Name() : r.DataPort ? r.DataPort->Name() : "";
    return {TConnectionSnapshot::TKind::IppFB, ownerOf(r.IPP), ippName(r.IPP), nameOf(r.Instance), port};
}

TConnectionSnapshot snap(const TFB_IPPtoIPPAssocRef& r)
{
    return {TConnectionSnapshot::TKind::IppToIpp, ownerOf(r.SourceIPP), ippName(r.SourceIPP), ownerOf(r.DestIPP),
            ippName(r.DestIPP)};
}

TslIPPRef* findIpp(TSystemLayerManager* layer, const std::string& owner, const std::string& name)
{
    if (!layer)
        return nullptr;
    for (auto& object : layer->Objects) {
        if (object->Name != owner)
            continue;
        if (auto* list = object->IppList())
            for (auto& ipp : *list)
                if (ipp->Name == name)
                    return ipp.get();
    }
    return nullptr;
}

TslDevice* findDevice(TSystemLayerManager* layer, const std::string& name)
{
    if (!layer || name.empty())
        return nullptr;
    for (auto& object : layer->Objects)
        if (auto* device = dynamic_cast<TslDevice*>(object.get()); device && device->Name == name)
            return device;
    return nullptr;
}

// Removes the records whose snapshot is not wanted, then puts the list in
// the wanted order (records made since go last).
template <typename List, typename Remove>
void keepOnly(TFB_Manager&, List& list, const std::vector<TConnectionSnapshot>& wanted, Remove remove)
{
    std::vector<typename List::value_type::pointer> gone;
    std::vector<TConnectionSnapshot> seen;
    for (auto& record : list) {
        const TConnectionSnapshot s = snap(*record);
        // A duplicate counts once per wanted copy.
        const auto wantedCount = std::count(wanted.begin(), wanted.end(), s);
        const auto seenCount = std::count(seen.begin(), seen.end(), s);
        if (seenCount >= wantedCount)
            gone.push_back(record.get());
        else
            seen.push_back(s);
    }
    for (auto* record : gone)
        remove(record);
}

template <typename List> void putInOrder(List& list, const std::vector<TConnectionSnapshot>& wanted)
{
    std::map<const void*, size_t> rank;
    std::vector<bool> used(wanted.size(), false);
    for (auto& record : list) {
        const TConnectionSnapshot s = snap(*record);
        size_t at = wanted.size();
        for (size_t i = 0; i < wanted.size(); ++i)
            if (!used[i] && wanted[i] == s) {
                used[i] = true;
                at = i;
                break;
            }
        rank[record.get()] = at;
    }
    // The list numbers kept beside the records follow the new order, so
    // that whoever sorts by them finds the list's order.
    std::vector<uint64_t> orders;
    for (auto& record : list)
        orders.push_back(record->ListOrder);
    std::sort(orders.begin(), orders.end());
    std::stable_sort(list.begin(), list.end(),
                     [&](const auto& a, const auto& b) { return rank[a.get()] < rank[b.get()]; });
    for (size_t i = 0; i < list.size(); ++i)
        list[i]->ListOrder = orders[i];
}

} // namespace

TDiagramSnapshot TakeSnapshot(const TFB_Diagram& diagram)
{
    TDiagramSnapshot s;
    s.Network = NetworkToText(diagram);
    for (auto& i : diagram.DrawnInstances)
        s.Instances.push_back({i->X, i->Y, i->BaseX, i->BaseY});
    for (auto& n : diagram.Notes)
        s.Notes.push_back({n->X, n->Y, n->BaseX, n->BaseY});
    for (auto& p : diagram.IPPPictures)
        s.Ipps.push_back({p->X, p->Y, p->BaseX, p->BaseY});
    const TFB_Manager* m = diagram.Manager;
    if (!m)
        return s;
    for (auto& record : m->Instances) {
        TRecordSnapshot r;
        r.Name = record->Name;
        r.Type = record->Type ? record->Type->Name : std::string();
        r.Comment = record->Comment;
        r.Device = record->Device ? record->Device->Name : std::string();
        for (auto& input : record->DataInputs)
            r.Inputs.emplace_back(input->Name(), input->ValueText);
        s.Records.push_back(std::move(r));
    }
    for (auto& r : m->EventConns)
        s.Connections.push_back(snap(*r));
    for (auto& r : m->DataConns)
        s.Connections.push_back(snap(*r));
    for (auto& r : m->IPPFBConns)
        s.Connections.push_back(snap(*r));
    for (auto& r : m->IPPtoIPPConns)
        s.Connections.push_back(snap(*r));
    return s;
}

void RestoreSnapshot(TFB_Diagram& diagram, const TDiagramSnapshot& s, TSystemLayerManager* layer)
{
    if (!diagram.Manager)
        return;
    TFB_Manager& m = *diagram.Manager;

    // The pictures go; the network text brings them back.
    diagram.ClearSelection();
    while (!diagram.DrawnInstances.empty())
        diagram.DeleteDrawn(diagram.DrawnInstances.back().get(), true);
    while (!diagram.Notes.empty())
        diagram.DeleteNote(diagram.Notes.back().get());
    while (!diagram.IPPPictures.empty())
        diagram.DeleteIPPPicture(diagram.IPPPictures.back().get(), false);

    // Records: a rename is undone by place in the list (the list is the same
    // but for names); otherwise records the snapshot does not know go.
    bool sameList = m.Instances.size() == s.Records.size();
    for (size_t i = 0; sameList && i < s.Records.size(); ++i)
        sameList = m.Instances[i]->Type && m.Instances[i]->Type->Name == s.Records[i].Type;
    if (sameList) {
        std::vector<TFB_InstanceRef*> renamed;
        for (size_t i = 0; i < s.Records.size(); ++i)
            if (m.Instances[i]->Name != s.Records[i].Name)
                renamed.push_back(m.Instances[i].get());
        // Through names nobody uses, so that two records may swap names.
        for (size_t k = 0; k < renamed.size(); ++k)
            m.RenameInstance(renamed[k], "\x01undo" + std::to_string(k));
        for (size_t i = 0; i < s.Records.size(); ++i)
            if (m.Instances[i]->Name != s.Records[i].Name)
                m.RenameInstance(m.Instances[i].get(), s.Records[i].Name);
    }
    {
        std::vector<TFB_InstanceRef*> gone;
        for (auto& record : m.Instances)
            if (std::none_of(s.Records.begin(), s.Records.end(),
                             [&](const TRecordSnapshot& r) { return r.Name == record->Name; }))
                gone.push_back(record.get());
        m.DeleteInstances(gone);
    }

    // Connection records the snapshot does not know go before the network
    // is read, so that reading it finds exactly the wanted ones.
    keepOnly(m, m.EventConns, s.Connections, [&](TFB_EventAssocRef* r) { m.RemoveEventConn(r); });
    keepOnly(m, m.DataConns, s.Connections, [&](TFB_DataAssocRef* r) { m.RemoveDataConn(r); });
    keepOnly(m, m.IPPFBConns, s.Connections, [&](TFB_IPPFBAssocsRef* r) { m.RemoveIPPFBConn(r); });
    keepOnly(m, m.IPPtoIPPConns, s.Connections, [&](TFB_IPPtoIPPAssocRef* r) { m.RemoveIPPtoIPPConn(r); });

    const std::string name = diagram.Name, file = diagram.FileName, comment = diagram.Comment;
    const double zoom = diagram.Zoom;
    try {
        LoadFromText(diagram, s.Network, file);
    } catch (const std::exception&) {
        // Our own text: it reads. Should it not, the records below are still
        // put right.
    }
    auto place = [](auto& list, const std::vector<TPlace>& places) {
        if (list.size() != places.size())
            return;
        for (size_t i = 0; i < places.size(); ++i) {
            list[i]->X = places[i].X;
            list[i]->Y = places[i].Y;
            list[i]->BaseX = places[i].BaseX;
            list[i]->BaseY = places[i].BaseY;
        }
    };
    place(diagram.DrawnInstances, s.Instances);
    place(diagram.Notes, s.Notes);
    place(diagram.IPPPictures, s.Ipps);
    diagram.Name = name;
    diagram.FileName = file;
    diagram.Comment = comment;
    diagram.Zoom = zoom;

    // Records that are drawn only elsewhere, and their settings.
    for (const TRecordSnapshot& r : s.Records) {
        TFB_InstanceRef* record = m.FindInstance(r.Name);
        if (!record) {
            try {
                record = m.CreateInstance(r.Name, r.Type, false);
            } catch (const EConvertError&) {
                record = nullptr;
            }
        }
        if (!record)
            continue;
        record->Comment = r.Comment;
        for (const auto& [input, value] : r.Inputs)
            if (TFBDataMember* port = record->FindDataInput(input)) {
                port->ValueText = value;
                if (!value.empty()) {
                    try {
                        port->SetValueFromText(value);
                    } catch (const EConvertError&) {
                    }
                }
            }
        TslDevice* device = findDevice(layer, r.Device);
        if (record->Device != device) {
            if (record->Device)
                UnassignInstance(record->Device, record);
            if (device)
                AssignInstance(device, record);
        }
    }
    std::map<std::string, size_t> rank;
    for (size_t i = 0; i < s.Records.size(); ++i)
        rank.emplace(s.Records[i].Name, i);
    std::stable_sort(m.Instances.begin(), m.Instances.end(), [&](const auto& a, const auto& b) {
        const auto ra = rank.find(a->Name), rb = rank.find(b->Name);
        return (ra == rank.end() ? s.Records.size() : ra->second) < (rb == rank.end() ? s.Records.size() : rb->second);
    });

    // Connection records the network did not bring (ends drawn elsewhere).
    auto count = [](const auto& list, const TConnectionSnapshot& c) {
        return std::count_if(list.begin(), list.end(), [&](const auto& r) { return snap(*r) == c; });
    };
    for (size_t i = 0; i < s.Connections.size(); ++i) {
        const TConnectionSnapshot& c = s.Connections[i];
        const auto wanted = std::count(s.Connections.begin(), s.Connections.begin() + i + 1, c);
        using K = TConnectionSnapshot::TKind;
        if (c.Kind == K::Event && count(m.EventConns, c) < wanted) {
            TFB_InstanceRef* source = m.FindInstance(c.A);
            TFB_InstanceRef* dest = m.FindInstance(c.C);
            TFBEvent* sp = source ? source->FindEventOutput(c.B) : nullptr;
            TFBEvent* dp = dest ? dest->FindEventInput(c.D) : nullptr;
            if (sp && dp) {
                auto r = std::make_unique<TFB_EventAssocRef>();
                r->SourceInstance = source;
                r->SourcePort = sp;
                r->DestInstance = dest;
                r->DestPort = dp;
                m.AddEventConn(std::move(r));
            }
        } else if (c.Kind == K::Data && count(m.DataConns, c) < wanted) {
            TFB_InstanceRef* source = m.FindInstance(c.A);
            TFB_InstanceRef* dest = m.FindInstance(c.C);
            TFBDataMember* sp = source ? source->FindDataOutput(c.B) : nullptr;
            TFBDataMember* dp = dest ? dest->FindDataInput(c.D) : nullptr;
            if (sp && dp) {
                auto r = std::make_unique<TFB_DataAssocRef>();
                r->SourceInstance = source;
                r->SourcePort = sp;
                r->DestInstance = dest;
                r->DestPort = dp;
                m.AddDataConn(std::move(r));
            }
        } else if (c.Kind == K::IppFB && count(m.IPPFBConns, c) < wanted) {
            TslIPPRef* ipp = findIpp(layer, c.A, c.B);
            TFB_InstanceRef* record = m.FindInstance(c.C);
            if (ipp && record) {
                auto r = std::make_unique<TFB_IPPFBAssocsRef>();
                r->IPP = ipp;
                r->Instance = record;
                if (ipp->IsEventIPP) {
                    r->EventPort = record->FindEventInput(c.D);
                    if (!r->EventPort)
                        r->EventPort = record->FindEventOutput(c.D);
                } else {
                    r->DataPort = record->FindDataInput(c.D);
                    if (!r->DataPort)
                        r->DataPort = record->FindDataOutput(c.D);
                }
                if (r->EventPort || r->DataPort)
                    m.AddIPPFBConn(std::move(r));
            }
        } else if (c.Kind == K::IppToIpp && count(m.IPPtoIPPConns, c) < wanted) {
            TslIPPRef* source = findIpp(layer, c.A, c.B);
            TslIPPRef* dest = findIpp(layer, c.C, c.D);
            if (source && dest) {
                auto r = std::make_unique<TFB_IPPtoIPPAssocRef>();
                r->SourceIPP = source;
                r->DestIPP = dest;
                m.AddIPPtoIPPConn(std::move(r));
            }
        }
    }
    auto ofKind = [&](TConnectionSnapshot::TKind kind) {
        std::vector<TConnectionSnapshot> list;
        for (const auto& c : s.Connections)
            if (c.Kind == kind)
                list.push_back(c);
        return list;
    };
    putInOrder(m.EventConns, ofKind(TConnectionSnapshot::TKind::Event));
    putInOrder(m.DataConns, ofKind(TConnectionSnapshot::TKind::Data));
    putInOrder(m.IPPFBConns, ofKind(TConnectionSnapshot::TKind::IppFB));
    putInOrder(m.IPPtoIPPConns, ofKind(TConnectionSnapshot::TKind::IppToIpp));

    for (auto& d : m.Diagrams)
        d->RebuildLines();
    if (std::none_of(m.Diagrams.begin(), m.Diagrams.end(), [&](const auto& d) { return d.get() == &diagram; }))
        diagram.RebuildLines();
}

TDiagramEditCommand::TDiagramEditCommand(const QString& text, TFB_Diagram& diagram, TSystemLayerManager* systemLayer,
                                         TDiagramSnapshot before, TDiagramSnapshot after,
                                         std::function<void()> restored)
    : QUndoCommand(text), diagram_(diagram), systemLayer_(systemLayer), before_(std::move(before)),
      after_(std::move(after)), restored_(std::move(restored))
{
}

void TDiagramEditCommand::undo()
{
    RestoreSnapshot(diagram_, before_, systemLayer_);
    if (restored_)
        restored_();
}

void TDiagramEditCommand::redo()
{
    // Pushing runs redo once; the edit itself has done it.
    if (done_) {
        done_ = false;
        return;
    }
    RestoreSnapshot(diagram_, after_, systemLayer_);
    if (restored_)
        restored_();
}

} // namespace telvo
