#include "layer_fixture.h"

#include <gtest/gtest.h>

using namespace telvo;
using telvo::test::LayerTest;

TEST_F(LayerTest, NewDevicesHaveTheirDefaultInputsAndOutputs)
{
    struct Case {
        uint8_t Kind;
        size_t Count;
        const char *InPrefix, *InType, *OutPrefix, *OutType;
    };
    const Case cases[] = {
        {slIECDevice, 64, "DigitalInput_", "DigitalInput", "DigitalOutput_", "DigitalOutput"},
        {slOPCDevice, 64, "DigitalInput_", "DigitalInput", "DigitalOutput_", "DigitalOutput"},
        {slNonIECDevice, 8, "AnalogInput_", "AnalogInput", "DAnalogOutput_", "AnalogOutput"},
    };
    for (const Case& c : cases) {
        auto* device = dynamic_cast<TslIODevice*>(Add(c.Kind));
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(device->InputList.size(), c.Count);
        ASSERT_EQ(device->OutputList.size(), c.Count);
        for (size_t i = 0; i < c.Count; ++i) {
            const TslDeviceIO& in = *device->InputList[i];
            const TslDeviceIO& out = *device->OutputList[i];
            EXPECT_EQ(in.IOName, c.InPrefix + std::to_string(i));
            EXPECT_EQ(out.IOName, c.OutPrefix + std::to_string(i));
            EXPECT_EQ(in.IOType, c.InType);
            EXPECT_EQ(out.IOType, c.OutType);
            EXPECT_EQ(in.IODescription, "Description NONE");
            EXPECT_EQ(out.IODescription, "Description NONE");
            EXPECT_EQ(in.BoundObject, nullptr);
            EXPECT_EQ(out.BoundObject, nullptr);
        }
    }
}

TEST_F(LayerTest, ReaderStyleDeviceRebuildsItsInputsAndOutputs)
{
    auto* device = AddAs<TslNonIECDevice>(slNonIECDevice);
    device->ClearIO();
    EXPECT_TRUE(device->InputList.empty());
    EXPECT_TRUE(device->OutputList.empty());
    TslDeviceIO* in = device->AddInput("Level");
    EXPECT_EQ(in->IOName, "Level");
    EXPECT_EQ(in->IOType, "");
    device->AddOutput("Valve");
    ASSERT_EQ(device->InputList.size(), 1u);
    EXPECT_EQ(device->OutputList[0]->IOName, "Valve");
}

TEST_F(LayerTest, ObjectsTakeTheirPictureSizeOrTheBlankSize)
{
    struct Case {
        uint8_t Kind;
        const char* Picture; // under images/, or empty when the kind has none
        int32_t Width, Height;
    };
    const Case cases[] = {
        {slNetBone, "netbone.bmp", 400, 20},  {slIECFieldbus, "", 100, 40},         {slNonIECFieldbus, "", 100, 40},
        {slIECDevice, "device3.bmp", 80, 60}, {slOPCDevice, "OPCdevice.bmp", 70, 56}, {slNonIECDevice, "device1.bmp", 64, 48},
        {slComputer, "Comp047.bmp", 72, 64},  {slInterunit, "iunit.bmp", 72, 48},     {slSwitch, "switch.bmp", 88, 32},
    };
    for (const Case& c : cases) {
        TslObject* o = Add(c.Kind);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->Kind, c.Kind);
        EXPECT_EQ(o->Width, c.Width) << int(c.Kind);
        EXPECT_EQ(o->Height, c.Height) << int(c.Kind);
        EXPECT_EQ(o->Left, 20);
        EXPECT_EQ(o->Top, 20);
        EXPECT_EQ(o->Bitmap.Loaded(), *c.Picture != '\0');
        if (*c.Picture) {
            EXPECT_EQ(o->Bitmap.File, Home.Path() / "images" / c.Picture);
        }
    }
    // A program folder without pictures: every kind is a blank 100 x 40.
    test::TempDir bare;
    TSystemLayerManager empty(bare.Path());
    for (uint8_t kind = slNetBone; kind <= slSwitch; ++kind) {
        TslObject* o = empty.AddObject("x", kind);
        EXPECT_EQ(o->Width, 100);
        EXPECT_EQ(o->Height, 40);
        EXPECT_FALSE(o->Bitmap.Loaded());
    }
}

TEST_F(LayerTest, UnknownKindsAndIppsAreNotAddedAsObjects)
{
    EXPECT_EQ(Layer->AddObject("p", slIPPRef), nullptr);
    EXPECT_EQ(Layer->AddObject("q", 11), nullptr);
    EXPECT_EQ(Layer->AddObject("r", 255), nullptr);
    EXPECT_TRUE(Layer->Objects.empty());
}

TEST_F(LayerTest, SetImageLoadsAPictureOrGivesTheSmallerBlank)
{
    auto png = test::WritePng(Home.Path() / "photos" / "tank.png", 37, 23);
    TslObject* o = Add(slComputer);
    o->SetImage(png.string());
    EXPECT_EQ(o->BitmapFile, png.generic_string());
    EXPECT_EQ(o->Width, 37);
    EXPECT_EQ(o->Height, 23);
    o->SetImage("photos\\missing.png");
    EXPECT_EQ(o->BitmapFile, "photos/missing.png");
    EXPECT_FALSE(o->Bitmap.Loaded());
    EXPECT_EQ(o->Width, 60);
    EXPECT_EQ(o->Height, 40);
    // Windows-style names relative to the program folder load too.
    o->SetImage("photos\\tank.png");
    EXPECT_EQ(o->Width, 37);
    // An object outside any layer is made with the blank 100 x 40.
    TslComputer loose(nullptr, (Home.Path() / "nothing.bmp").string());
    EXPECT_EQ(loose.Width, 100);
    EXPECT_EQ(loose.Height, 40);
}

TEST_F(LayerTest, IptPictureIsResolvedFromThreePlaces)
{
    test::TempDir projectDir;
    Layer->ProjectFile = projectDir / "plant.crf";
    test::WriteBitmap(projectDir / "press.bmp", 50, 30);
    auto elsewhere = test::WriteBitmap(projectDir / "sub" / "valve.bmp", 20, 25);
    struct Case {
        const char* What;
        std::string Given;
        std::filesystem::path Resolved; // empty: no picture
        int32_t Width, Height;
    };
    const Case cases[] = {
        {"existing full path", elsewhere.string(), elsewhere, 20, 25},
        {"stored Windows name under the program folder", "images\\hmi.bmp", Home.Path() / "images/hmi.bmp", 80, 60},
        {"same name in the program's images", "C:\\Old\\Plant\\images\\boiler.bmp", Home.Path() / "images/boiler.bmp", 64, 72},
        {"same name beside the project file", "D:\\elsewhere\\press.bmp", projectDir / "press.bmp", 50, 30},
        {"nowhere", "images\\conveyer.bmp", "", 60, 40},
        {"no picture at all", "", "", 60, 40},
    };
    for (const Case& c : cases) {
        auto* ipt = AddAs<TslIPT>(slIPT, 2, c.Given);
        ASSERT_NE(ipt, nullptr) << c.What;
        EXPECT_EQ(ipt->ImageFileName, c.Resolved.generic_string()) << c.What;
        EXPECT_EQ(ipt->Width, c.Width) << c.What;
        EXPECT_EQ(ipt->Height, c.Height) << c.What;
        EXPECT_EQ(ipt->TypeName, "Boiler") << c.What;
    }
}

TEST_F(LayerTest, IptSubtypeSetsTypeNameAndNamePrefix)
{
    struct Case {
        int Subtype;
        const char* TypeName;
        const char* Name;
    };
    // Named in creation order: the number counts every IPT so far.
    const Case cases[] = {
        {1, "Alarm", "alarm0"},       {2, "Boiler", "boiler1"},     {3, "Compressor", "compressor2"},
        {4, "Control Panel", "ControlPanel3"}, {5, "Drill", "Drill4"}, {6, "Robot Arm", "RobotArm5"},
        {7, "HMI", "HMI_SCADA6"},     {8, "Undefined", "IPT_7"},    {9, "Conveyer", "conveyer8"},
        {10, "Feeder", "feeder9"},    {0, "Undefined", "10"},       {11, "", "11"},
    };
    for (const Case& c : cases) {
        const TslIptSubtype* row = IptSubtype(c.Subtype);
        std::string image = row ? std::string(row->ImageFile) : std::string();
        auto* ipt = AddAs<TslIPT>(slIPT, c.Subtype, image);
        EXPECT_EQ(ipt->Name, c.Name);
        EXPECT_EQ(ipt->TypeName, c.TypeName) << c.Subtype;
    }
    EXPECT_EQ(IptSubtypeOfTypeName("Undefined"), 8);
    EXPECT_EQ(IptSubtypeOfTypeName("Robot Arm"), 6);
    EXPECT_EQ(IptSubtypeOfTypeName("robot arm"), -1);
}

TEST_F(LayerTest, SubtypeChangeTakesThePictureOfTheNewSubtype)
{
    auto* ipt = AddAs<TslIPT>(slIPT, 1, "images\\ALARM.bmp");
    EXPECT_EQ(ipt->Width, 48);
    ipt->SetSubtype(7, "images\\hmi.bmp");
    EXPECT_EQ(ipt->TypeName, "HMI");
    EXPECT_EQ(ipt->ImageFileName, "images/hmi.bmp");
    EXPECT_EQ(ipt->Width, 80);
    EXPECT_EQ(ipt->Height, 60);
    ipt->SetSubtype(9, "images\\conveyer.bmp"); // not installed here
    EXPECT_EQ(ipt->TypeName, "Conveyer");
    EXPECT_EQ(ipt->Width, 60);
    EXPECT_EQ(ipt->Height, 40);
}

TEST_F(LayerTest, NamesRepeatAfterADeletion)
{
    TslObject* first = Add(slIECDevice);
    TslObject* second = Add(slIECDevice);
    EXPECT_EQ(first->Name, "IEC_Device0");
    EXPECT_EQ(second->Name, "IEC_Device1");
    Layer->DeleteObject(first);
    EXPECT_EQ(Layer->CountOfKind(slIECDevice), "1");
    TslObject* third = Add(slIECDevice);
    EXPECT_EQ(third->Name, "IEC_Device1");
    EXPECT_EQ(Layer->CountOfKind(slIECDevice), "2");
    EXPECT_EQ(Layer->CountOfKind(slSwitch), "0");
}

TEST_F(LayerTest, EveryKindHasItsNamePrefix)
{
    const char* expected[] = {"network0", "IEC_fieldbus0", "fieldbus0", "IEC_Device0", "OPC_Device0",
                              "NonIECdevice0", "computer0", "IUnit0", "switch0"};
    for (uint8_t kind = slNetBone; kind <= slSwitch; ++kind)
        EXPECT_EQ(Add(kind)->Name, expected[kind]);
    auto* ipt = AddIpt(2);
    EXPECT_EQ(ipt->IPPList[0]->Name, "IPP_0");
    EXPECT_EQ(ipt->IPPList[1]->Name, "IPP_1");
    EXPECT_EQ(TSystemLayerManager::NewIppName(*ipt), "IPP_2");
}

TEST(ConnectionTypes, ByTheKindsOfBothEndsInEitherOrder)
{
    struct Case {
        uint8_t A, B, Type;
        const char* Name;
    };
    const Case cases[] = {
        {slSwitch, slNetBone, 0, "Switch to Netbone"},
        {slSwitch, slSwitch, 1, "Switch to Switch"},
        {slSwitch, slInterunit, 2, "Switch to TELVO Interworking Unit"},
        {slIECFieldbus, slInterunit, 3, "IEC Fieldbus to TELVO Interworking Unit"},
        {slNonIECFieldbus, slInterunit, 4, "non-IEC Fieldbus to TELVO Interworking Unit"},
        {slSwitch, slComputer, 5, "Switch to Computer"},
        {slComputer, slNetBone, 6, "Computer to Netbone"},
        {slIECFieldbus, slIECDevice, 7, "IEC Fieldbus to IEC Device"},
        {slIECFieldbus, slOPCDevice, 7, "IEC Fieldbus to IEC Device"},
        {slIECFieldbus, slNonIECDevice, 8, "IEC Fieldbus to non-IEC Device"},
        {slNonIECFieldbus, slNonIECDevice, 9, "non-IEC Fieldbus to non-IEC Device"},
        {slIPPRef, slIECDevice, 10, "Device to IPT"},
        {slIPPRef, slOPCDevice, 10, "Device to IPT"},
        {slIPPRef, slNonIECDevice, 10, "Device to IPT"},
        // Pairs the table does not name fall back to the first row.
        {slComputer, slComputer, 0, "Switch to Netbone"},
        {slNonIECFieldbus, slIECDevice, 0, "Switch to Netbone"},
        {slIPPRef, slIPT, 0, "Switch to Netbone"},
        {slIPPRef, slIPPRef, 0, "Switch to Netbone"},
        {slNetBone, slNetBone, 0, "Switch to Netbone"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConnectionTypeOf(c.A, c.B), c.Type) << int(c.A) << "-" << int(c.B);
        EXPECT_EQ(ConnectionTypeOf(c.B, c.A), c.Type) << int(c.B) << "-" << int(c.A);
        EXPECT_EQ(ConnectionTypeName(c.Type), c.Name);
    }
    EXPECT_EQ(ConnectionTypeName(11), "");
}

TEST_F(LayerTest, ConnectNamesAndTypesAndEntersBothEnds)
{
    TslObject* a = Add(slComputer);
    TslObject* b = Add(slComputer);
    TslObject* sw = Add(slSwitch);
    TSystemConnection* c0 = Layer->Connect(a, b);
    TSystemConnection* c1 = Layer->Connect(sw, a);
    ASSERT_NE(c0, nullptr);
    ASSERT_NE(c1, nullptr);
    EXPECT_EQ(c0->Name, "Connection_0");
    EXPECT_EQ(c1->Name, "Connection_1");
    EXPECT_EQ(c0->ConnectionType, 0);
    EXPECT_EQ(ConnectionTypeName(c0->ConnectionType), "Switch to Netbone");
    EXPECT_EQ(c1->ConnectionType, 5);
    EXPECT_EQ(c1->SourceObject, sw);
    EXPECT_EQ(c1->TargetObject, a);
    EXPECT_EQ(a->Connections, (std::vector<TSystemConnection*>{c0, c1}));
    EXPECT_EQ(b->Connections, (std::vector<TSystemConnection*>{c0}));
    EXPECT_EQ(sw->Connections, (std::vector<TSystemConnection*>{c1}));
}

TEST_F(LayerTest, ConnectRefusesEndsOutsideTheLayer)
{
    TslObject* a = Add(slComputer);
    TSystemLayerManager other(Home.Path());
    TslObject* foreign = other.AddObject("f", slSwitch);
    TslIPPRef loose;
    EXPECT_EQ(Layer->Connect(a, nullptr), nullptr);
    EXPECT_EQ(Layer->Connect(nullptr, a), nullptr);
    EXPECT_EQ(Layer->Connect(a, foreign), nullptr);
    EXPECT_EQ(Layer->Connect(&loose, a), nullptr);
    EXPECT_TRUE(Layer->Connections.empty());
    EXPECT_TRUE(a->Connections.empty());
    EXPECT_TRUE(foreign->Connections.empty());
}

TEST_F(LayerTest, IppsBindToTheFirstFreeInputOrOutput)
{
    auto* iec = AddAs<TslIECDevice>(slIECDevice);
    auto* opc = AddAs<TslOPCDevice>(slOPCDevice);
    auto* analog = AddAs<TslNonIECDevice>(slNonIECDevice);
    auto* ipt = AddIpt(0);
    TslIPPRef* s0 = ipt->AddIpp("s0", "Temperature", TslIPPRef::Sensor);
    TslIPPRef* s1 = ipt->AddIpp("s1", "Temperature", TslIPPRef::Sensor);
    TslIPPRef* a0 = ipt->AddIpp("a0", "Boolean", TslIPPRef::Actuator);

    struct Case {
        TslIPPRef* Ipp;
        TslIODevice* Device;
        bool IppIsSource;
        bool Output;
        size_t Index;
    };
    const Case cases[] = {
        {s0, iec, true, false, 0}, {s1, iec, false, false, 1}, {a0, iec, true, true, 0},
        {s0, opc, false, false, 0}, {a0, analog, false, true, 0}, {s1, analog, true, false, 0},
    };
    for (const Case& c : cases) {
        TSystemConnection* conn = c.IppIsSource ? Layer->Connect(c.Ipp, c.Device) : Layer->Connect(c.Device, c.Ipp);
        ASSERT_NE(conn, nullptr);
        EXPECT_EQ(conn->ConnectionType, 10);
        auto& list = c.Output ? c.Device->OutputList : c.Device->InputList;
        EXPECT_EQ(list[c.Index]->BoundObject, c.Ipp) << c.Device->Name << " " << c.Ipp->Name;
    }
    // An IPP joined to anything but a device binds nothing.
    TSystemConnection* toSwitch = Layer->Connect(s0, Add(slSwitch));
    EXPECT_EQ(toSwitch->ConnectionType, 0);
}

TEST_F(LayerTest, SensorOnAFullDeviceStillConnectsButBindsNothing)
{
    auto* device = AddAs<TslIECDevice>(slIECDevice);
    auto* ipt = AddIpt(65, TslIPPRef::Sensor);
    for (int i = 0; i < 64; ++i)
        Layer->Connect(ipt->IPPList[static_cast<size_t>(i)].get(), device);
    for (auto& in : device->InputList)
        EXPECT_NE(in->BoundObject, nullptr);
    TslIPPRef* extra = ipt->IPPList[64].get();
    TSystemConnection* c = Layer->Connect(extra, device);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->ConnectionType, 10);
    EXPECT_EQ(c->Name, "Connection_64");
    for (auto& in : device->InputList)
        EXPECT_NE(in->BoundObject, extra);
    for (auto& out : device->OutputList)
        EXPECT_EQ(out->BoundObject, nullptr);
}

TEST_F(LayerTest, FindByNameTakesObjectsAndIptIpps)
{
    auto* alarm = AddIpt(1, TslIPPRef::Sensor, 1);   // alarm0
    auto* boiler = AddIpt(2, TslIPPRef::Sensor, 2);  // boiler1
    auto* device = AddAs<TslIECDevice>(slIECDevice); // IEC_Device0
    device->AddIppRef(std::make_unique<TslIPPRef>())->Name = "IPP_0";
    auto* twin = AddAs<TslIECDevice>(slIECDevice);
    twin->Name = "IEC_Device0"; // names are not unique: the first one counts
    Layer->SelectedObject = alarm;

    struct Case {
        const char* Name;
        TslObject* Expected;
    };
    const Case cases[] = {
        {"boiler1", boiler},
        {"boiler1+||+IPP_0", boiler->IPPList[0].get()},
        {"boiler1+||+IPP_1", boiler->IPPList[1].get()},
        {"alarm0+||+IPP_0", alarm->IPPList[0].get()},
        {"IEC_Device0", device},
        // Not found: never the selected object in its place.
        {"boiler1+||+IPP_2", nullptr},
        {"Boiler1", nullptr},
        {"boiler", nullptr},
        {"", nullptr},
        {"+||+IPP_0", nullptr},
        {"boiler1+||+", nullptr},
        // Only IPTs name their IPPs this way.
        {"IEC_Device0+||+IPP_0", nullptr},
        // Split at the first separator: the IPP part keeps the rest.
        {"boiler1+||+IPP_0+||+x", nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Layer->FindByName(c.Name), c.Expected) << c.Name;
    Layer->SelectedObject = nullptr;
    EXPECT_EQ(Layer->FindByName("nothing"), nullptr);
}

TEST_F(LayerTest, FindIecDeviceOfIppLooksAtIecDevicesOnly)
{
    auto* opc = AddAs<TslOPCDevice>(slOPCDevice);
    auto* iec = AddAs<TslIECDevice>(slIECDevice);
    TslIPPRef* onOpc = opc->AddIppRef(std::make_unique<TslIPPRef>());
    TslIPPRef* onIec = iec->AddIppRef(std::make_unique<TslIPPRef>());
    onIec->Name = "Level";
    EXPECT_EQ(onIec->Owner, iec);
    EXPECT_EQ(Layer->FindIecDeviceOfIpp(onIec), iec);
    EXPECT_EQ(Layer->FindIecDeviceOfIpp(onOpc), nullptr);
    EXPECT_EQ(Layer->FindIecDeviceOfIpp(nullptr), nullptr);
    EXPECT_EQ(iec->FindIpp("Level"), onIec);
    EXPECT_EQ(iec->FindIpp("level"), nullptr);
    EXPECT_TRUE(iec->HoldsIpp(onIec));
    EXPECT_FALSE(iec->HoldsIpp(onOpc));
}

TEST_F(LayerTest, DragMovesOnlyASelectedObject)
{
    TslObject* o = Add(slSwitch);
    o->BeginDrag(30, 25);
    o->DragTo(100, 100);
    EXPECT_EQ(o->Left, 20);
    o->Selected = true;
    o->BeginDrag(30, 25);
    EXPECT_EQ(o->DragOffsetX, 10);
    EXPECT_EQ(o->DragOffsetY, 5);
    o->DragTo(100, 100);
    EXPECT_EQ(o->Left, 90);
    EXPECT_EQ(o->Top, 95);
}

TEST_F(LayerTest, LayoutWidensFieldbusesAndCustomIptsAndPlacesIppMarkers)
{
    auto* bus = Add(slIECFieldbus);
    auto* plain = Add(slNonIECFieldbus);
    for (int i = 0; i < 3; ++i)
        Layer->Connect(bus, Add(slIECDevice));
    Layer->Connect(plain, Add(slNonIECDevice));
    auto* custom = AddIpt(4);
    custom->Left = 200;
    custom->Top = 100;
    auto* pictured = AddIpt(2, TslIPPRef::Sensor, 7);
    pictured->SetSubtype(7, "images\\hmi.bmp");
    auto* undefinedWithPicture = AddIpt(3);
    undefinedWithPicture->SetSubtype(0, "images\\hmi.bmp");

    Layer->ApplyLayout();
    EXPECT_EQ(bus->Width, 100 + 40 * 3);
    EXPECT_EQ(plain->Width, 140);
    EXPECT_EQ(custom->Width, 30 + 15 * 4);
    EXPECT_EQ(pictured->Width, 80);
    EXPECT_EQ(undefinedWithPicture->Width, 80);
    for (int k = 0; k < 4; ++k) {
        const TslIPPRef& ipp = *custom->IPPList[static_cast<size_t>(k)];
        EXPECT_EQ(ipp.Left, 200 + 15 * k + 6);
        EXPECT_EQ(ipp.Top, 85);
        EXPECT_EQ(ipp.Width, 15);
        EXPECT_EQ(ipp.Height, 0);
    }
}

TEST_F(LayerTest, LayoutRoutesConnectionsInViewCoordinates)
{
    auto place = [](TslObject* o, int32_t l, int32_t t, int32_t w, int32_t h) {
        o->Left = l, o->Top = t, o->Width = w, o->Height = h;
    };
    TslObject* a = Add(slComputer);
    TslObject* b = Add(slSwitch);
    place(a, 0, 0, 40, 20);    // centre (20, 10)
    place(b, 100, 200, 60, 40); // centre (130, 220)
    TslObject* bus = Add(slIECFieldbus);
    place(bus, 300, 0, 100, 41); // centre (350, 20) before the layout widens it
    TslObject* device = Add(slIECDevice);
    place(device, 500, 100, 80, 60); // centre (540, 130)
    auto* ipt = AddIpt(1);
    place(ipt, 200, 400, 45, 40); // its IPP: Left 206, Top 385, 15 x 0 -> centre (213, 385)
    TslIPPRef* ipp = ipt->IPPList[0].get();

    TSystemConnection* plain = Layer->Connect(a, b);
    TSystemConnection* fromBus = Layer->Connect(bus, device);
    TSystemConnection* toBus = Layer->Connect(device, bus);
    TSystemConnection* fromIpp = Layer->Connect(ipp, device);
    TSystemConnection* toIpp = Layer->Connect(device, ipp);
    Layer->ScrollX = -50;
    Layer->ScrollY = -10;
    Layer->ApplyLayout(); // the bus is now 100 + 40 x 2 wide: centre x 300 + 90
    auto route = [](const TSystemConnection* c) {
        std::vector<std::pair<float, float>> r;
        for (auto& p : c->Points)
            r.emplace_back(p->X, p->Y);
        return r;
    };
    using R = std::vector<std::pair<float, float>>;
    // Half way between the ends.
    EXPECT_EQ(route(plain), (R{{-30, 0}, {-30, 105}, {80, 105}, {80, 210}}));
    EXPECT_EQ(plain->StartX, -30);
    EXPECT_EQ(plain->EndY, 210);
    // Along the fieldbus, at either end.
    EXPECT_EQ(route(fromBus), (R{{340, 10}, {340, 10}, {490, 10}, {490, 120}}));
    EXPECT_EQ(route(toBus), (R{{490, 120}, {490, 10}, {340, 10}, {340, 10}}));
    // Near the IPP.
    EXPECT_EQ(route(fromIpp), (R{{163, 375}, {163, 355}, {490, 355}, {490, 120}}));
    EXPECT_EQ(route(toIpp), (R{{490, 120}, {490, 370}, {163, 370}, {163, 375}}));
}
