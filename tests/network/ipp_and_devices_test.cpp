// IPP pictures and IPP connections in FB diagrams, distribution of records to
// devices, and what happens to both when the system layer deletes things.

#include "model/file_util.h"
#include "network/network_fixture.h"
#include "persistence/network_file.h"

#include <gmock/gmock.h>

#include <algorithm>

namespace telvo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char* const kIppNetwork = R"(
  <FB Name="A" Type="COUNTER" x="0" y="0"/>
  <IPPDrawInstanceName Name="boiler1.IPP_0" Type="INT" Comment="" x="10" y="20"/>
  <IPPDrawInstanceName Name="boiler1.IPP_1" Type="EVENT" Comment="" x="10" y="60"/>
  <IPPDrawInstanceName Name="IEC_Device0.DIPP" Type="INT" Comment="" x="10" y="90"/>
  <IPPDrawInstanceName Name="boiler1.NOPE" Type="INT" Comment="" x="10" y="20"/>
  <IPPDrawInstanceName Name="ghost.IPP_0" Type="INT" Comment="" x="10" y="20"/>
  <FBIPPConnections>
    <Connection Source="boiler1.IPP_0" Destination="A.N"/>
    <Connection Source="boiler1.IPP_0" Destination="A.S"/>
  </FBIPPConnections>
  <FBIPPConnections><Connection Source="boiler1.IPP_1" Destination="A.CNF"/></FBIPPConnections>
  <FBIPPConnections><Connection Source="boiler1.IPP_0" Destination="A.NOPE"/></FBIPPConnections>
  <FBIPPConnections><Connection Source="boiler1.IPP_0" Destination="Z.N"/></FBIPPConnections>
  <FBIPPConnections><Connection Source="ghost.IPP_0" Destination="A.N"/></FBIPPConnections>
  <IPPtoIPPConnections><Connection Source="boiler1.IPP_0" Destination="IEC_Device0.DIPP"/></IPPtoIPPConnections>
  <IPPtoIPPConnections><Connection Source="boiler1.IPP_0" Destination="IEC_Device0.DIPP"/></IPPtoIPPConnections>)";

TEST_F(NetworkTest, IppPicturesAndConnectionsAreReadAndWrittenBack)
{
    MakeLayer();
    TFB_Diagram* d = LoadText(NetworkText(kIppNetwork), "ipp.fbn");
    EXPECT_THAT(UI.Messages(),
                ElementsAre("NOPE : IPP not found in IPT: boiler1", "IPP_0 : IPP found without parent.",
                            "IPP to FB Connection from IPP:boiler1.IPP_0 to FB:A.NOPE has no references and it will "
                            "not be created",
                            "IPP to FB Connection from IPP:boiler1.IPP_0 to FB:Z.N has no references and it will not "
                            "be created",
                            "IPP_0 : IPP found without parent."));
    TslIPPRef* ipp0 = Boiler->getIppByName("IPP_0");
    TslIPPRef* ipp1 = Boiler->getIppByName("IPP_1");
    ASSERT_EQ(d->IPPPictures.size(), 3u);
    EXPECT_EQ(d->IPPPictures[0]->Ipp, ipp0);
    EXPECT_EQ(d->IPPPictures[0]->Y, 20);
    EXPECT_EQ(d->IPPPictures[2]->Ipp, Device->FindIpp("DIPP"));

    // Only the first connection of an element is read: A.S is not connected.
    ASSERT_EQ(M().IPPFBConns.size(), 2u);
    TFB_InstanceRef* a = M().FindInstance("A");
    EXPECT_EQ(M().IPPFBConns[0]->DataPort, a->FindDataInput("N"));
    EXPECT_EQ(M().IPPFBConns[0]->EventPort, nullptr);
    EXPECT_EQ(M().IPPFBConns[1]->EventPort, a->FindEventOutput("CNF"));
    EXPECT_EQ(M().FindIPPFBConn("boiler1", "IPP_1", "A", "CNF"), M().IPPFBConns[1].get());
    // Written by both diagrams that show both IPPs, it is still one record.
    ASSERT_EQ(M().IPPtoIPPConns.size(), 1u);

    TFB_Instance* drawn = d->FindDrawn("A");
    ASSERT_EQ(d->IPPFBLines.size(), 2u);
    EXPECT_EQ(d->IPPFBLines[0]->IPPPicture, d->IPPPictures[0].get());
    EXPECT_EQ(d->IPPFBLines[0]->DataPortPic, drawn->DataInputPicture("N"));
    EXPECT_EQ(d->IPPFBLines[1]->EventPortPic, drawn->EventOutputPicture("CNF"));
    ASSERT_EQ(d->IPPtoIPPLines.size(), 1u);
    EXPECT_EQ(d->IPPtoIPPLines[0]->DestPicture, d->IPPPictures[2].get());

    const std::string text = NetworkToText(*d);
    EXPECT_NE(text.find("<IPPDrawInstanceName Name=\"boiler1.IPP_1\" Type=\"EVENT\" Comment=\"\" x=\"10\" y=\"60\" />"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("<Connection Source=\"boiler1.IPP_1\" Destination=\"A.CNF\" />"), std::string::npos);
    EXPECT_NE(text.find("<Connection Source=\"boiler1.IPP_0\" Destination=\"IEC_Device0.DIPP\" />"),
              std::string::npos);

    // Read again into another diagram: the records are found, not doubled.
    UI.Clear();
    TFB_Diagram* again = LoadText(text, "again.fbn");
    EXPECT_THAT(UI.Messages(), IsEmpty());
    EXPECT_EQ(M().IPPFBConns.size(), 2u);
    EXPECT_EQ(M().IPPtoIPPConns.size(), 1u);
    EXPECT_EQ(again->IPPFBLines.size(), 2u);
    (void)ipp1;
}

TEST_F(NetworkTest, InsideADeviceTheIppPortDirectionIsSwappedAndTheLineEndsAtThatPort)
{
    MakeLayer();
    TFB_Diagram* d = LoadText(NetworkText(R"(
  <FB Name="A" Type="COUNTER"/>
  <IPPDrawInstanceName Name="boiler1.IPP_0" x="0" y="0"/>
  <FBIPPConnections><Connection Source="boiler1.IPP_0" Destination="A.Q"/></FBIPPConnections>
  <FBIPPConnections><Connection Source="boiler1.IPP_1" Destination="A.REQ"/></FBIPPConnections>)",
                                          " IsInternalDeviceDiagram=\"true\""),
                              "device.dfb");
    EXPECT_THAT(UI.Messages(), IsEmpty());
    TFB_Instance* a = d->FindDrawn("A");
    ASSERT_EQ(d->IPPFBLines.size(), 2u);
    // A sensor inside the device reaches an output, an actuator an input.
    EXPECT_EQ(d->IPPFBLines[0]->DataPortPic, a->DataOutputPicture("Q"));
    EXPECT_EQ(d->IPPFBLines[1]->EventPortPic, a->EventInputPicture("REQ"));
    EXPECT_EQ(d->IPPFBLines[1]->IPPPicture, nullptr);
}

TEST_F(NetworkTest, DeletingAnIptOrADeviceTakesItsIppsOutOfEveryDiagram)
{
    struct Case {
        const char* what;
        bool deleteDevice;
        size_t picturesLeftOne, picturesLeftTwo;
    };
    for (const Case& c : {Case{"IPT", false, 1, 1}, Case{"device", true, 2, 1}, Case{"layer", false, 0, 0}}) {
        SCOPED_TRACE(c.what);
        Reopen();
        MakeLayer();
        TFB_Diagram* d1 = LoadText(NetworkText(kIppNetwork), "one.fbn");
        TFB_Diagram* d2 = NewDiagram("two");
        Add(d2, "A");
        d2->AddIPPPicture(Boiler->getIppByName("IPP_1"), 5, 5);
        d2->AddIPPPicture(Device->FindIpp("DIPP"), 5, 5);
        d2->RebuildLines();
        d1->Select(d1->IPPPictures[0].get());
        ASSERT_EQ(d2->IPPFBLines.size(), 2u); // one at the picture, one stub at A

        if (std::string(c.what) == "layer")
            Bench->ResetSystemLayer();
        else
            Layer().DeleteObject(c.deleteDevice ? static_cast<TslObject*>(Device) : Boiler);

        EXPECT_EQ(d1->IPPPictures.size(), c.picturesLeftOne);
        EXPECT_EQ(d2->IPPPictures.size(), c.picturesLeftTwo);
        for (TFB_Diagram* d : {d1, d2}) {
            // What is left belongs to what is left: reading it must be sound
            // (the address sanitizer sees to that).
            for (const auto& p : d->IPPPictures)
                EXPECT_FALSE(p->Ipp->Name.empty());
            for (const auto& l : d->IPPFBLines)
                EXPECT_FALSE(l->Ref->IPP->Owner->Name.empty());
            EXPECT_THAT(d->IPPtoIPPLines, IsEmpty());
            for (TDrawObject* o : d->Selection)
                EXPECT_TRUE(std::any_of(d->IPPPictures.begin(), d->IPPPictures.end(),
                                        [&](const auto& p) { return p.get() == o; }));
            d->RebuildLines();
        }
        EXPECT_THAT(M().IPPtoIPPConns, IsEmpty());
        EXPECT_EQ(M().IPPFBConns.size(), c.deleteDevice ? 2u : 0u);
        // The diagram still saves: nothing in it points at what was freed.
        NetworkToText(*d1);
        NetworkToText(*d2);
    }
}

TEST_F(NetworkTest, ARecordIsOnAtMostOneDeviceAndLeavesWithTheDevice)
{
    MakeLayer();
    auto* other = dynamic_cast<TslIECDevice*>(Layer().AddObject("IEC_Device1", slIECDevice));
    TFB_InstanceRef* a = Add(NewDiagram(), "A")->Ref;
    AssignInstance(Device, a);
    AssignInstance(other, a);
    EXPECT_EQ(a->Device, Device);
    EXPECT_THAT(Device->DownloadedFBInstanceList, ElementsAre(a));
    EXPECT_THAT(other->DownloadedFBInstanceList, IsEmpty());
    // Letting go on the wrong device changes nothing.
    UnassignInstance(other, a);
    EXPECT_EQ(a->Device, Device);
    UnassignInstance(Device, a);
    EXPECT_EQ(a->Device, nullptr);
    EXPECT_THAT(Device->DownloadedFBInstanceList, IsEmpty());
    AssignInstance(other, a);
    EXPECT_EQ(a->Device, other);
    Layer().DeleteObject(other);
    EXPECT_EQ(a->Device, nullptr);
    AssignInstance(Device, a);
    EXPECT_EQ(a->Device, Device);
}

TEST_F(NetworkTest, IppBindingNamesTheDevicePathOrExport)
{
    MakeLayer();
    TslIPPRef* ipp0 = Boiler->getIppByName("IPP_0");
    TslIPPRef* ipp1 = Boiler->getIppByName("IPP_1");
    TFB_Diagram* d = LoadText(NetworkText(kIppNetwork), "ipp.fbn");
    UI.Clear();
    TFB_InstanceRef* a = M().FindInstance("A");

    EXPECT_EQ(M().FindIPPBinding(Device, ipp0).Path, "EXPORT");
    AssignInstance(Device, a);
    auto data = M().FindIPPBinding(Device, ipp0);
    EXPECT_EQ(data.Path, "IEC_Device0::A::N");
    EXPECT_EQ(data.DeviceName, "IEC_Device0");
    EXPECT_EQ(data.InstanceName, "A");
    EXPECT_EQ(data.DataPort, "N");
    EXPECT_EQ(data.EventPort, "");
    auto event = M().FindIPPBinding(Device, ipp1);
    EXPECT_EQ(event.Path, "IEC_Device0::A::CNF");
    EXPECT_EQ(event.EventPort, "CNF");
    EXPECT_EQ(M().FindIPPBinding(Device, Device->FindIpp("DIPP")).Path, "");
    // Internal device diagrams do not count.
    d->IsInternalDeviceDiagram = true;
    EXPECT_EQ(M().FindIPPBinding(Device, ipp0).Path, "");
}

TEST_F(NetworkTest, DeviceIppsArePicturedByTheirBoundInputsAndOutputs)
{
    MakeLayer();
    TslIPPRef* sensor = Boiler->getIppByName("IPP_0");
    TslIPPRef* actuator = Boiler->getIppByName("IPP_1");
    Device->InputList[2]->BoundObject = sensor;
    Device->OutputList[1]->BoundObject = actuator;
    TFB_Diagram* d = NewDiagram();
    d->AddDeviceIPPs(Device);
    ASSERT_EQ(d->IPPPictures.size(), 3u);
    EXPECT_EQ(d->IPPPictures[0]->Ipp, sensor);
    EXPECT_EQ(d->IPPPictures[0]->X, 60);
    EXPECT_EQ(d->IPPPictures[0]->Y, 60);
    EXPECT_EQ(d->IPPPictures[1]->Ipp, actuator);
    EXPECT_EQ(d->IPPPictures[1]->X, 30);
    EXPECT_EQ(d->IPPPictures[2]->Ipp, Device->FindIpp("DIPP"));
    EXPECT_EQ(d->FindIPPPicture(actuator), d->IPPPictures[1].get());
}

} // namespace
} // namespace telvo::test
