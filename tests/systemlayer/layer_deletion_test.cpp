// Deleting parts of the layer: connections go with their ends, bindings are
// released, and every holder of a reference hears of each part before it is
// freed. Run under ASan, any reference left behind shows up as a
// use-after-free.

#include "layer_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace telvo;
using telvo::test::LayerTest;

namespace {

// Records what it hears, and checks that what it is told about is still
// whole at that moment (names are read; ASan catches a freed object).
class Recorder : public TSystemLayerListener {
public:
    std::vector<std::string> Heard;
    std::vector<TFB_InstanceRef*> DownloadedSeen;

    void ConnectionDeleting(TSystemConnection& c) override
    {
        Heard.push_back("connection " + c.Name + " " + c.SourceObject->Name + "-" + c.TargetObject->Name);
    }
    void IppDeleting(TslIPPRef& ipp) override { Heard.push_back("ipp " + ipp.Owner->Name + "+||+" + ipp.Name); }
    void ObjectDeleting(TslObject& o) override
    {
        Heard.push_back("object " + o.Name);
        if (auto* device = dynamic_cast<TslDevice*>(&o))
            DownloadedSeen = device->DownloadedFBInstanceList;
    }
    void LayerDestroying(TSystemLayerManager&) override { Heard.push_back("layer"); }

    size_t Count(const std::string& prefix) const
    {
        return static_cast<size_t>(std::count_if(Heard.begin(), Heard.end(),
                                                 [&](const std::string& h) { return h.rfind(prefix, 0) == 0; }));
    }
};

bool Bound(const TslIODevice& device, const TslIPPRef* ipp)
{
    for (auto* list : {&device.InputList, &device.OutputList})
        for (auto& io : *list)
            if (io->BoundObject == ipp)
                return true;
    return false;
}

size_t BoundCount(const TslIODevice& device)
{
    size_t n = 0;
    for (auto* list : {&device.InputList, &device.OutputList})
        for (auto& io : *list)
            n += io->BoundObject != nullptr;
    return n;
}

} // namespace

TEST_F(LayerTest, DeletingAConnectionReleasesTheBoundInputOrOutput)
{
    struct Case {
        uint8_t DeviceKind;
        uint8_t SensorActuator;
        bool Output;
    };
    const Case cases[] = {
        {slNonIECDevice, TslIPPRef::Sensor, false},
        {slNonIECDevice, TslIPPRef::Actuator, true},
        {slIECDevice, TslIPPRef::Sensor, false},
        {slOPCDevice, TslIPPRef::Actuator, true},
    };
    for (const Case& c : cases) {
        auto* device = dynamic_cast<TslIODevice*>(Add(c.DeviceKind));
        auto* ipt = AddIpt(2, c.SensorActuator);
        TslIPPRef* first = ipt->IPPList[0].get();
        TslIPPRef* second = ipt->IPPList[1].get();
        TSystemConnection* c0 = Layer->Connect(device, first);
        Layer->Connect(second, device);
        auto& list = c.Output ? device->OutputList : device->InputList;
        ASSERT_EQ(list[0]->BoundObject, first);
        ASSERT_EQ(list[1]->BoundObject, second);
        Layer->DeleteConnection(c0);
        EXPECT_EQ(list[0]->BoundObject, nullptr);
        EXPECT_EQ(list[1]->BoundObject, second);
        EXPECT_EQ(first->Connections.size(), 0u);
        EXPECT_EQ(device->Connections.size(), 1u);
        // The freed entry is the next one taken.
        Layer->Connect(first, device);
        EXPECT_EQ(list[0]->BoundObject, first);
    }
}

TEST_F(LayerTest, BindingIsReleasedEvenAfterTheIppChangedSides)
{
    auto* device = AddAs<TslNonIECDevice>(slNonIECDevice);
    auto* ipt = AddIpt(1, TslIPPRef::Sensor);
    TslIPPRef* ipp = ipt->IPPList[0].get();
    TSystemConnection* c = Layer->Connect(ipp, device);
    ASSERT_EQ(device->InputList[0]->BoundObject, ipp);
    ipp->SensorActuator = TslIPPRef::Actuator; // edited in its properties dialog
    Layer->DeleteConnection(c);
    EXPECT_EQ(BoundCount(*device), 0u);
}

TEST_F(LayerTest, DeletingAnIptDeletesEveryConnectionOfItsIpps)
{
    auto* d1 = AddAs<TslIECDevice>(slIECDevice);
    auto* d2 = AddAs<TslNonIECDevice>(slNonIECDevice);
    auto* keep = AddIpt(1);
    auto* ipt = AddIpt(2);
    TslIPPRef* ipp0 = ipt->IPPList[0].get();
    TslIPPRef* ipp1 = ipt->IPPList[1].get();
    Layer->Connect(ipp0, d1);
    Layer->Connect(d2, ipp0);
    Layer->Connect(ipp1, d1);
    TSystemConnection* other = Layer->Connect(keep->IPPList[0].get(), d1);
    Layer->SelectedObject = ipt;
    Layer->HoverIpp = ipp1;
    Layer->FirstEnd = ipp0;
    Layer->SelectedConnection = d1->Connections[0];

    Layer->DeleteObject(ipt);
    EXPECT_EQ(Layer->Connections.size(), 1u);
    EXPECT_EQ(Layer->Connections[0].get(), other);
    EXPECT_EQ(d1->Connections, (std::vector<TSystemConnection*>{other}));
    EXPECT_TRUE(d2->Connections.empty());
    EXPECT_EQ(BoundCount(*d1), 1u);
    EXPECT_EQ(BoundCount(*d2), 0u);
    EXPECT_EQ(Layer->FindByName("IPT_1"), nullptr);
    EXPECT_EQ(Layer->SelectedObject, nullptr);
    EXPECT_EQ(Layer->HoverIpp, nullptr);
    EXPECT_EQ(Layer->FirstEnd, nullptr);
    EXPECT_EQ(Layer->SelectedConnection, nullptr);
}

TEST_F(LayerTest, DeletingAnObjectDeletesItsConnectionsAtBothEnds)
{
    TslObject* sw = Add(slSwitch);
    TslObject* a = Add(slComputer);
    TslObject* b = Add(slComputer);
    Layer->Connect(sw, a);
    Layer->Connect(b, sw);
    Layer->Connect(sw, sw); // an object joined to itself
    TSystemConnection* ab = Layer->Connect(a, b);
    Layer->SecondEnd = sw;
    Layer->DeleteObject(sw);
    EXPECT_EQ(Layer->Connections.size(), 1u);
    EXPECT_EQ(a->Connections, (std::vector<TSystemConnection*>{ab}));
    EXPECT_EQ(b->Connections, (std::vector<TSystemConnection*>{ab}));
    EXPECT_EQ(Layer->SecondEnd, nullptr);
    EXPECT_EQ(Layer->Objects.size(), 2u);
}

TEST_F(LayerTest, ListenerHearsOfEveryPartThatDies)
{
    Recorder heard;
    Layer->AddListener(&heard);
    auto* device = AddAs<TslIECDevice>(slIECDevice);                       // IEC_Device0
    auto* ipt = AddIpt(2);                                                 // IPT_0
    TslIPPRef* own = device->AddIppRef(std::make_unique<TslIPPRef>());
    own->Name = "Own";
    TslObject* bus = Add(slIECFieldbus);                                   // IEC_fieldbus0
    Layer->Connect(bus, device);                                           // Connection_0
    Layer->Connect(ipt->IPPList[0].get(), device);                         // Connection_1
    Layer->Connect(device, ipt->IPPList[1].get());                         // Connection_2
    Layer->Connect(ipt->IPPList[0].get(), Add(slNonIECDevice));            // Connection_3

    Layer->DeleteObject(ipt);
    EXPECT_EQ(heard.Heard, (std::vector<std::string>{
                               "connection Connection_2 IEC_Device0-IPP_1",
                               "ipp IPT_0+||+IPP_1",
                               "connection Connection_3 IPP_0-NonIECdevice0",
                               "connection Connection_1 IPP_0-IEC_Device0",
                               "ipp IPT_0+||+IPP_0",
                               "object IPT_0",
                           }));

    // A device: its own IPPs, then its connections, then the device, whose
    // downloaded instances are still listed when the listener hears of it.
    heard.Heard.clear();
    alignas(8) static char records[2][8]; // stand-ins: the layer never looks into an instance record
    device->DownloadedFBInstanceList = {reinterpret_cast<TFB_InstanceRef*>(records[0]),
                                        reinterpret_cast<TFB_InstanceRef*>(records[1])};
    Layer->DeleteObject(device);
    EXPECT_EQ(heard.Heard, (std::vector<std::string>{
                               "ipp IEC_Device0+||+Own",
                               "connection Connection_0 IEC_fieldbus0-IEC_Device0",
                               "object IEC_Device0",
                           }));
    EXPECT_EQ(heard.DownloadedSeen.size(), 2u);

    // Single connections and IPPs.
    heard.Heard.clear();
    auto* boiler = AddIpt(1, TslIPPRef::Actuator, 2);
    TSystemConnection* c = Layer->Connect(bus, boiler->IPPList[0].get());
    c->Name = "wire";
    Layer->DeleteConnection(c);
    Layer->DeleteIpp(boiler, boiler->IPPList[0].get());
    EXPECT_EQ(heard.Heard, (std::vector<std::string>{"connection wire IEC_fieldbus0-IPP_0", "ipp boiler0+||+IPP_0"}));

    // The whole layer.
    heard.Heard.clear();
    Layer.reset();
    EXPECT_EQ(heard.Heard, (std::vector<std::string>{"layer"}));
}

TEST_F(LayerTest, RemovedListenerHearsNothing)
{
    Recorder heard;
    Layer->AddListener(&heard);
    Layer->AddListener(&heard); // once is enough
    Layer->DeleteObject(Add(slSwitch));
    EXPECT_EQ(heard.Count("object"), 1u);
    Layer->RemoveListener(&heard);
    Layer->DeleteObject(Add(slSwitch));
    Layer.reset();
    EXPECT_EQ(heard.Heard.size(), 1u);
}

TEST_F(LayerTest, ListenerAndLayerMayDieInEitherOrder)
{
    {
        Recorder shortLived;
        Layer->AddListener(&shortLived);
        EXPECT_EQ(shortLived.ListenedLayer(), Layer.get());
    } // gone first: the layer must not call it any more
    Layer->DeleteObject(Add(slSwitch));

    Recorder longLived;
    Layer->AddListener(&longLived);
    Layer.reset();
    EXPECT_EQ(longLived.ListenedLayer(), nullptr);
    EXPECT_EQ(longLived.Heard, (std::vector<std::string>{"layer"}));

    // Moving to another layer leaves the first one.
    TSystemLayerManager first(Home.Path()), second(Home.Path());
    first.AddListener(&longLived);
    second.AddListener(&longLived);
    first.DeleteObject(first.AddObject("a", slSwitch));
    second.DeleteObject(second.AddObject("b", slSwitch));
    EXPECT_EQ(longLived.Count("object"), 1u);
    EXPECT_EQ(longLived.Heard.back(), "object b");
}

TEST_F(LayerTest, DeletingAnIppThroughAnyRouteTakesItsConnectionsAlong)
{
    Recorder heard;
    Layer->AddListener(&heard);
    auto* device = AddAs<TslIECDevice>(slIECDevice);
    auto* ipt = AddIpt(3);
    for (auto& ipp : ipt->IPPList)
        Layer->Connect(ipp.get(), device);
    TslIPPRef* middle = ipt->IPPList[1].get();
    Layer->HoverIpp = middle;

    // Through the manager, through the IPT itself, and as an object.
    Layer->DeleteIpp(ipt, middle);
    EXPECT_EQ(Layer->HoverIpp, nullptr);
    ipt->RemoveIpp(ipt->IPPList[0].get());
    Layer->DeleteObject(ipt->IPPList[0].get());
    EXPECT_TRUE(ipt->IPPList.empty());
    EXPECT_TRUE(Layer->Connections.empty());
    EXPECT_TRUE(device->Connections.empty());
    EXPECT_EQ(BoundCount(*device), 0u);
    EXPECT_EQ(heard.Count("ipp"), 3u);
    EXPECT_EQ(heard.Count("connection"), 3u);

    // A device's own IPPs, freed all at once.
    for (int i = 0; i < 2; ++i)
        device->AddIppRef(std::make_unique<TslIPPRef>())->Name = "D" + std::to_string(i);
    Layer->Connect(device->IPPList[0].get(), Add(slSwitch));
    device->FreeIppRefs();
    EXPECT_TRUE(device->IPPList.empty());
    EXPECT_TRUE(Layer->Connections.empty());
    EXPECT_EQ(heard.Count("ipp"), 5u);
}

TEST_F(LayerTest, IppNotHeldByTheGivenOwnerIsLeftAlone)
{
    auto* a = AddIpt(1);
    auto* b = AddIpt(1);
    Layer->DeleteIpp(a, b->IPPList[0].get());
    Layer->DeleteIpp(a, nullptr);
    Layer->DeleteIpp(nullptr, a->IPPList[0].get());
    Layer->DeleteIpp(Add(slSwitch), a->IPPList[0].get());
    EXPECT_EQ(a->IPPList.size(), 1u);
    EXPECT_EQ(b->IPPList.size(), 1u);
    // Deleting what the layer does not hold does nothing either.
    TslSwitch loose(nullptr, "");
    Layer->DeleteObject(&loose);
    Layer->DeleteObject(nullptr);
    Layer->DeleteConnection(nullptr);
    EXPECT_EQ(Layer->Objects.size(), 3u);
}

TEST_F(LayerTest, BindingLeftWithoutItsConnectionDiesWithTheIpp)
{
    // A device rebuilt from a file gets its inputs anew while a connection
    // stands; a binding made by hand has no connection at all. Neither may
    // outlive the IPP.
    auto* device = AddAs<TslIECDevice>(slIECDevice);
    auto* ipt = AddIpt(1);
    TslIPPRef* ipp = ipt->IPPList[0].get();
    device->BindIpp(ipp);
    ASSERT_TRUE(Bound(*device, ipp));
    Layer->DeleteObject(ipt);
    EXPECT_EQ(BoundCount(*device), 0u);
}

TEST_F(LayerTest, LayerWithEverythingConnectedIsFreedCleanly)
{
    // Under ASan this shows that nothing is freed twice or touched after
    // being freed while the whole layer goes at once.
    auto* device = AddAs<TslIECDevice>(slIECDevice);
    auto* ipt = AddIpt(3);
    TslObject* bus = Add(slIECFieldbus);
    Layer->Connect(bus, device);
    for (auto& ipp : ipt->IPPList)
        Layer->Connect(device, ipp.get());
    device->AddIppRef(std::make_unique<TslIPPRef>());
    Layer->Connect(device->IPPList[0].get(), bus);
    Layer->Connect(bus, bus);
    Layer->SelectedObject = device;
    Layer.reset();
    SUCCEED();
}
