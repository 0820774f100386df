// Drives the system layer with arbitrary sequences of edits and checks after
// each one that no reference points outside the layer (ASan reports any use
// of a freed object on the way).
#include "systemlayer/system_layer.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace telvo;

namespace {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool More() const { return at_ < size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    int32_t Coord() { return static_cast<int32_t>(Byte()) * 4 - 200; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Every object and IPP the layer holds, in a stable order.
std::vector<TslObject*> Ends(TSystemLayerManager& layer)
{
    std::vector<TslObject*> ends;
    for (auto& o : layer.Objects) {
        ends.push_back(o.get());
        if (auto* ipps = o->IppList())
            for (auto& ipp : *ipps)
                ends.push_back(ipp.get());
    }
    return ends;
}

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void CheckSound(TSystemLayerManager& layer)
{
    std::vector<TslObject*> ends = Ends(layer);
    auto held = [&](const TslObject* o) { return std::find(ends.begin(), ends.end(), o) != ends.end(); };
    for (auto& c : layer.Connections) {
        Check(held(c->SourceObject) && held(c->TargetObject));
        auto& a = c->SourceObject->Connections;
        auto& b = c->TargetObject->Connections;
        Check(std::find(a.begin(), a.end(), c.get()) != a.end());
        Check(std::find(b.begin(), b.end(), c.get()) != b.end());
    }
    for (TslObject* end : ends) {
        for (TSystemConnection* c : end->Connections)
            Check(std::any_of(layer.Connections.begin(), layer.Connections.end(),
                              [&](const auto& own) { return own.get() == c; }));
        if (auto* device = dynamic_cast<TslIODevice*>(end))
            for (auto* list : {&device->InputList, &device->OutputList})
                for (auto& io : *list)
                    Check(!io->BoundObject || held(io->BoundObject));
        if (end->Kind == slIPPRef)
            Check(held(static_cast<TslIPPRef*>(end)->Owner));
    }
    for (TslObject* ref : {layer.SelectedObject, static_cast<TslObject*>(layer.HoverIpp), layer.FirstEnd, layer.SecondEnd})
        Check(!ref || held(ref));
    if (layer.SelectedConnection)
        Check(std::any_of(layer.Connections.begin(), layer.Connections.end(),
                          [&](const auto& own) { return own.get() == layer.SelectedConnection; }));
}

TslObject* Pick(TSystemLayerManager& layer, Input& in)
{
    std::vector<TslObject*> ends = Ends(layer);
    if (ends.empty())
        return nullptr;
    return ends[in.Byte() % ends.size()];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    TSystemLayerManager layer;
    int steps = 0;
    while (in.More() && steps++ < 200) {
        switch (in.Byte() % 14) {
        case 0: {
            uint8_t kind = in.Byte() % 11;
            layer.AddObject(layer.NewObjectName(kind, 8), kind, in.Byte() % 12);
            break;
        }
        case 1:
            if (auto* ipt = dynamic_cast<TslIPT*>(Pick(layer, in)))
                ipt->AddIpp(TSystemLayerManager::NewIppName(*ipt), "Undefined", in.Byte() % 2);
            break;
        case 2:
            if (auto* device = dynamic_cast<TslDevice*>(Pick(layer, in)))
                device->AddIppRef(std::make_unique<TslIPPRef>())->SensorActuator = in.Byte() % 2;
            break;
        case 3: {
            TslObject* a = Pick(layer, in);
            TslObject* b = Pick(layer, in);
            layer.Connect(a, b);
            break;
        }
        case 4:
            if (!layer.Connections.empty())
                layer.DeleteConnection(layer.Connections[in.Byte() % layer.Connections.size()].get());
            break;
        case 5:
            layer.DeleteObject(Pick(layer, in));
            break;
        case 6:
            if (auto* ipp = dynamic_cast<TslIPPRef*>(Pick(layer, in)))
                layer.DeleteIpp(ipp->Owner, ipp);
            break;
        case 7:
            if (auto* device = dynamic_cast<TslDevice*>(Pick(layer, in)))
                device->FreeIppRefs();
            break;
        case 8:
            if (auto* device = dynamic_cast<TslIODevice*>(Pick(layer, in))) {
                device->ClearIO();
                device->AddInput("in");
                device->AddOutput("out");
            }
            break;
        case 9:
            if (auto* ipp = dynamic_cast<TslIPPRef*>(Pick(layer, in)))
                ipp->SensorActuator = in.Byte() % 2;
            break;
        case 10: {
            int32_t x = in.Coord(), y = in.Coord();
            layer.SelectedObject = layer.ObjectAt(x, y, in.Byte() % 2);
            layer.HoverIpp = layer.IppAt(x, y);
            break;
        }
        case 11:
            layer.ApplyLayout();
            layer.SelectedConnection = layer.ConnectionAt(in.Coord(), in.Coord());
            break;
        case 12:
            layer.FirstEnd = Pick(layer, in);
            layer.SecondEnd = Pick(layer, in);
            break;
        case 13:
            if (TslObject* o = Pick(layer, in)) {
                o->Left = in.Coord();
                o->Top = in.Coord();
            }
            break;
        }
        CheckSound(layer);
    }
    return 0;
}
