// Device command sets: the exact lines of both forms, the merged-network
// rules for connections, IPPs and IPP pairs, and how a device's
// process-interface diagram is read.

#include "deploy/command_set.h"
#include "deploy/deploy_fixture.h"
#include "model/fb_instance.h"

#include <gmock/gmock.h>
#include <pugixml.hpp>

namespace telvo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using Lines = std::vector<std::string>;

// The command headers, written out here once as the devices expect them.
const std::string kCreate = "<COMMAND ACTION=\"CREATE\" TYPE=\"FB_INSTANCE\" COMMENT=\"TELVO ZOZE command to create a "
                            "FB_Instance. Arg1=FBType, Arg2=FBInstanceName\">";
const std::string kCreateDownloaded = "<COMMAND ACTION=\"CREATE\" TYPE=\"FB_INSTANCE\" COMMENT=\"TELVO ZOZE command to "
                                      "create a FB_Instance (DOWNLOADED). Arg1=FBType, Arg2=FBInstanceName\">";
const std::string kEventConnection = "<COMMAND ACTION=\"CREATE\" TYPE=\"EVENT_CONNECTION\" COMMENT=\"Create an Event "
                                     "Connection Between FBs\" Arg1=\"Eventoutput\" Arg2=\"EventInput\">";
const std::string kDataConnection = "<COMMAND ACTION=\"CREATE\" TYPE=\"DATA_CONNECTION\" COMMENT=\"Create a Data "
                                    "Connection Between FBs\" Arg1=\"Output Data\" Arg2=\"Input Data\">";
const std::string kConstant = "<COMMAND ACTION=\"CREATE\" TYPE=\"DATA_CONSTANT_VALUE\" COMMENT=\"TELVO ZOZE command to "
                              "assign const value to a FB Instance. Arg1=FBINSTANCENAME, Arg2=DATAINPUTNAME, "
                              "Arg3=DATATYPE, Arg4=VALUE\">";
const std::string kPublishEvent = "<COMMAND ACTION=\"PUBLISH\" TYPE=\"EVENT\" COMMENT=\"PUBLISH an Event Connection.\">";
const std::string kPublishData = "<COMMAND ACTION=\"PUBLISH\" TYPE=\"DATA\" COMMENT=\"PUBLISH a Data Connection.\">";
const std::string kSubscribeEvent = "<COMMAND ACTION=\"SUBSCRIBE\" TYPE=\"EVENT\" COMMENT=\"Create an Event Connection "
                                    "Between A SUBSCRIBED Event and a FBs. Arg1=SubscriberServiceEvent, "
                                    "Arg2=FB_Instance2.Eventname\">";
const std::string kSubscribeData = "<COMMAND ACTION=\"SUBSCRIBE\" TYPE=\"DATA\" COMMENT=\"Create a Data Connection "
                                   "Between A SUBSCRIBED Data and a FBs. Arg1=SubscriberServeData, "
                                   "Arg2=FB_Instance2.Dataname\">";

Lines withArgs(const std::string& header, const Lines& values)
{
    Lines out{header, "\t<ARGS>"};
    for (const auto& v : values)
        out.push_back("\t\t<STRING>" + v + "</STRING>");
    out.push_back("\t</ARGS>");
    out.push_back("</COMMAND>");
    return out;
}

Lines published(const std::string& header, const std::string& path)
{
    return {header, "\t\t<STRING>" + path + "</STRING>", "</COMMAND>"};
}

Lines scriptCreate(const std::string& name, const std::string& type)
{
    return {"devA.cmdCreateFBInstance(\"" + name + "\",\"" + type + "\"); ",
            "devA.cmdCreateFBCContainingFBI(\"C_" + name + "\",\"" + name + "\", 0, 2);  "};
}

Lines joined(std::initializer_list<Lines> parts)
{
    Lines out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// ---- A whole project, both forms --------------------------------------------

class PlantTest : public DeployTest {
protected:
    PlantTest()
    {
        A = AddIec("IEC_A");
        B = AddIec("IEC_B");
        AddIpp(A, "TEMP", false, false);
        AddIpp(A, "VALVE", false, true);
        WriteInterface(A, R"(
  <FB Name="DI1" Type="IO" x="0" y="0"/>
  <FB Name="DO1" Type="IO" x="0" y="0"/>
  <EventConnections><Connection Source="DI1.RD" Destination="DO1.WR"/></EventConnections>
  <DataConnections><Connection Source="DI1.IN" Destination="DO1.OUT"/></DataConnections>
  <IPPDrawInstanceName Name="IEC_A.TEMP" x="0" y="0"/>
  <IPPDrawInstanceName Name="IEC_A.VALVE" x="0" y="40"/>
  <FBIPPConnections><Connection Source="IEC_A.TEMP" Destination="DI1.IN"/></FBIPPConnections>
  <FBIPPConnections><Connection Source="IEC_A.VALVE" Destination="DO1.OUT"/></FBIPPConnections>)");
        LoadMerged(R"(
  <FB Name="A1" Type="BLK"/><FB Name="A2" Type="BLK"/><FB Name="B1" Type="BLK"/><FB Name="U1" Type="BLK"/>
  <EventConnections>
    <Connection Source="A1.CNF" Destination="A2.REQ"/>
    <Connection Source="A2.CNF" Destination="B1.REQ"/>
    <Connection Source="B1.CNF" Destination="A1.REQ"/>
  </EventConnections>
  <DataConnections>
    <Connection Source="5" Destination="A2.M"/>
    <Connection Source="U1.Q" Destination="A1.N"/>
    <Connection Source="A1.Q" Destination="A2.N"/>
  </DataConnections>
  <IPPDrawInstanceName Name="IEC_A.TEMP" x="0" y="0"/>
  <IPPDrawInstanceName Name="IEC_A.VALVE" x="0" y="40"/>
  <FBIPPConnections><Connection Source="IEC_A.TEMP" Destination="A1.M"/></FBIPPConnections>
  <FBIPPConnections><Connection Source="IEC_A.VALVE" Destination="A2.Q"/></FBIPPConnections>)");
        Assign(A, "A1");
        Assign(A, "A2");
        Assign(B, "B1");
        EXPECT_THAT(UI.Messages(), IsEmpty());
    }
    TslIECDevice* A = nullptr;
    TslIECDevice* B = nullptr;
};

TEST_F(PlantTest, XmlFormLineByLine)
{
    EXPECT_THAT(CommandSet(A, TCommandForm::Xml),
                ElementsAreArray(joined({
                    {"<DEVICE_COMMANDSET DEVICENAME=\"IEC_A\" >"},
                    // the process-interface diagram
                    withArgs(kCreate, {"IO", "DI1"}),
                    withArgs(kCreate, {"IO", "DO1"}),
                    withArgs(kEventConnection, {"IEC_A::DI1::RD", "IEC_A::DO1::WR"}),
                    withArgs(kDataConnection, {"IEC_A::DI1::IN", "IEC_A::DO1::OUT"}),
                    // the distributed instances, with the constant
                    withArgs(kCreateDownloaded, {"BLK", "A1"}),
                    withArgs(kCreateDownloaded, {"BLK", "A2"}),
                    withArgs(kConstant, {"A2", "M", "INT", "5"}),
                    // the device's IPPs: a sensor feeds the application, an
                    // actuator is fed by it
                    withArgs(kDataConnection, {"IEC_A::DI1::IN", "IEC_A::A1::M"}),
                    withArgs(kDataConnection, {"IEC_A::A2::Q", "IEC_A::DO1::OUT"}),
                    // the merged network
                    withArgs(kEventConnection, {"IEC_A::A1::CNF", "IEC_A::A2::REQ"}),
                    published(kPublishEvent, "IEC_A::A2::CNF"),
                    withArgs(kSubscribeEvent, {"IEC_B::B1::CNF", "IEC_A::A1::REQ"}),
                    withArgs(kSubscribeData, {"FROM_UNASSIGNED_DEVICE::U1::Q", "IEC_A::A1::N"}),
                    withArgs(kDataConnection, {"IEC_A::A1::Q", "IEC_A::A2::N"}),
                    {"</DEVICE_COMMANDSET>"},
                })));

    EXPECT_THAT(CommandSet(B, TCommandForm::Xml),
                ElementsAreArray(joined({
                    {"<DEVICE_COMMANDSET DEVICENAME=\"IEC_B\" >"},
                    withArgs(kCreateDownloaded, {"BLK", "B1"}),
                    withArgs(kSubscribeEvent, {"IEC_A::A2::CNF", "IEC_B::B1::REQ"}),
                    published(kPublishEvent, "IEC_B::B1::CNF"),
                    {"</DEVICE_COMMANDSET>"},
                })));
}

TEST_F(PlantTest, ScriptFormLineByLine)
{
    EXPECT_THAT(CommandSet(A, TCommandForm::Script),
                ElementsAreArray(joined({
                    scriptCreate("DI1", "IO"),
                    scriptCreate("DO1", "IO"),
                    {"//CREATE EVENT CONNECTIONS", "devA.cmdCreateEventConnection(\"DI1\",\"RD\",\"DO1\",\"WR\");",
                     "//CREATE DATA CONNECTIONS", "devA.cmdCreateDataConnection(\"DI1\",\"IN\",\"DO1\",\"OUT\");"},
                    scriptCreate("A1", "BLK"),
                    scriptCreate("A2", "BLK"),
                    {"//CONSTANT CONNECTIO NNOT ADDED!!! "},
                    {"devA.cmdCreateDataConnection(\"DI1\",\"IN\",\"A1\",\"M\");",
                     "devA.cmdCreateDataConnection(\"A2\",\"Q\",\"DO1\",\"OUT\");",
                     "devA.cmdCreateEventConnection(\"A1\",\"CNF\",\"A2\",\"REQ\");"},
                    // publish and subscribe have no script form
                    published(kPublishEvent, "IEC_A::A2::CNF"),
                    withArgs(kSubscribeEvent, {"IEC_B::B1::CNF", "IEC_A::A1::REQ"}),
                    withArgs(kSubscribeData, {"FROM_UNASSIGNED_DEVICE::U1::Q", "IEC_A::A1::N"}),
                    {"devA.cmdCreateDataConnection(\"A1\",\"Q\",\"A2\",\"N\");"},
                })));
}

TEST_F(PlantTest, IppPathsComeFromTheDevicesOwnInterfaceBlocks)
{
    TCommandSetGenerator run(M());
    EXPECT_EQ(run.GetIPPPathfromDevice(*A, A->FindIpp("TEMP")), "IEC_A::DI1::IN");
    EXPECT_EQ(run.GetIPPPathfromDevice(*A, A->FindIpp("VALVE")), "IEC_A::DO1::OUT");
    // B has no process-interface diagram at all.
    EXPECT_EQ(run.GetIPPPathfromDevice(*B, A->FindIpp("TEMP")), "GetIPPPathfromDevice--UNKNOWN");
    EXPECT_EQ(run.GetIPPPathfromDevice(*A, nullptr), "GetIPPPathfromDevice--UNKNOWN");
}

TEST_F(PlantTest, ReadingTheInterfaceDiagramsLeavesTheProjectAsItWas)
{
    // Interface blocks named like an application instance, and like each
    // other on two devices, with different types.
    WriteInterface(A, R"(<FB Name="X" Type="IO"/><FB Name="A1" Type="IO"/>)");
    WriteInterface(B, R"(<FB Name="X" Type="BLK"/>)");
    M().FindInstance("A1")->Comment = "the application's A1";
    const size_t instances = M().Instances.size(), diagrams = M().Diagrams.size();
    const size_t ippConns = M().IPPFBConns.size(), eventConns = M().EventConns.size();

    TCommandSetGenerator run(M());
    Lines a, b;
    run.Output = [&](const std::string& line) { a.push_back(line); };
    run.DeviceCommandSet(*A);
    run.Output = [&](const std::string& line) { b.push_back(line); };
    run.DeviceCommandSet(*B);

    EXPECT_THAT(Commands(a), testing::IsSupersetOf({"CREATE FB_INSTANCE IO X", "CREATE FB_INSTANCE IO A1",
                                                    "CREATE FB_INSTANCE BLK A1"}));
    EXPECT_THAT(Commands(b), testing::Contains("CREATE FB_INSTANCE BLK X"));
    EXPECT_EQ(M().Instances.size(), instances);
    EXPECT_EQ(M().Diagrams.size(), diagrams);
    EXPECT_EQ(M().IPPFBConns.size(), ippConns);
    EXPECT_EQ(M().EventConns.size(), eventConns);
    EXPECT_EQ(M().FindInstance("X"), nullptr);
    TFB_InstanceRef* a1 = M().FindInstance("A1");
    EXPECT_EQ(a1->Type->Name, "BLK");
    EXPECT_EQ(a1->Comment, "the application's A1");
    EXPECT_EQ(a1->Device, A);
}

// ---- The Part's edge cases, over small projects -----------------------------

TEST_F(DeployTest, SmallProjects)
{
    struct Case {
        const char* what;
        const char* merged; // nullptr: no merged network
        const char* mergedFile;
        std::vector<std::pair<const char*, const char*>> assign; // device, instance
        const char* device;
        TCommandForm form;
        Lines expected;
        const char* iface = nullptr; // IEC_A's process-interface diagram
    };
    const char* const kTwo = R"(<FB Name="A1" Type="BLK"/><FB Name="B1" Type="BLK"/>
  <EventConnections><Connection Source="A1.CNF" Destination="B1.REQ"/></EventConnections>)";
    const char* const kConstant5 = R"(<FB Name="A1" Type="BLK"/>
  <DataConnections><Connection Source="5" Destination="A1.N"/></DataConnections>)";
    const Case cases[] = {
        {"a device with nothing at all", nullptr, nullptr, {}, "IEC_A", TCommandForm::Xml,
         {"<DEVICE_COMMANDSET DEVICENAME=\"IEC_A\" >", "</DEVICE_COMMANDSET>"}},
        {"a device with nothing at all, script", nullptr, nullptr, {}, "IEC_A", TCommandForm::Script, {}},
        {"an interface diagram without blocks, script", nullptr, nullptr, {}, "IEC_A", TCommandForm::Script,
         {"//CREATE EVENT CONNECTIONS", "//CREATE DATA CONNECTIONS"}, ""},
        {"publisher of an event to another device", kTwo, "merged.fbn", {{"IEC_A", "A1"}, {"IEC_B", "B1"}}, "IEC_A",
         TCommandForm::Xml,
         joined({{"<DEVICE_COMMANDSET DEVICENAME=\"IEC_A\" >"}, withArgs(kCreateDownloaded, {"BLK", "A1"}),
                 published(kPublishEvent, "IEC_A::A1::CNF"), {"</DEVICE_COMMANDSET>"}})},
        {"its subscriber names the publishing device", kTwo, "merged.fbn", {{"IEC_A", "A1"}, {"IEC_B", "B1"}},
         "IEC_B", TCommandForm::Xml,
         joined({{"<DEVICE_COMMANDSET DEVICENAME=\"IEC_B\" >"}, withArgs(kCreateDownloaded, {"BLK", "B1"}),
                 withArgs(kSubscribeEvent, {"IEC_A::A1::CNF", "IEC_B::B1::REQ"}), {"</DEVICE_COMMANDSET>"}})},
        {"data from an instance on no device", R"(<FB Name="U1" Type="BLK"/><FB Name="A1" Type="BLK"/>
  <DataConnections><Connection Source="U1.Q" Destination="A1.M"/></DataConnections>)",
         "merged.fbn", {{"IEC_A", "A1"}}, "IEC_A", TCommandForm::Xml,
         joined({{"<DEVICE_COMMANDSET DEVICENAME=\"IEC_A\" >"}, withArgs(kCreateDownloaded, {"BLK", "A1"}),
                 withArgs(kSubscribeData, {"FROM_UNASSIGNED_DEVICE::U1::Q", "IEC_A::A1::M"}),
                 {"</DEVICE_COMMANDSET>"}})},
        {"a local data connection names the destination's own input",
         R"(<FB Name="A1" Type="BLK"/><FB Name="A2" Type="BLK"/>
  <DataConnections><Connection Source="A1.Q" Destination="A2.M"/></DataConnections>)",
         "merged.fbn", {{"IEC_A", "A2"}, {"IEC_A", "A1"}}, "IEC_A", TCommandForm::Xml,
         joined({{"<DEVICE_COMMANDSET DEVICENAME=\"IEC_A\" >"}, withArgs(kCreateDownloaded, {"BLK", "A2"}),
                 withArgs(kCreateDownloaded, {"BLK", "A1"}),
                 withArgs(kDataConnection, {"IEC_A::A1::Q", "IEC_A::A2::M"}), {"</DEVICE_COMMANDSET>"}})},
        {"a constant of type INT", kConstant5, "merged.fbn", {{"IEC_A", "A1"}}, "IEC_A", TCommandForm::Xml,
         joined({{"<DEVICE_COMMANDSET DEVICENAME=\"IEC_A\" >"}, withArgs(kCreateDownloaded, {"BLK", "A1"}),
                 withArgs(kConstant, {"A1", "N", "INT", "5"}), {"</DEVICE_COMMANDSET>"}})},
        {"a constant of type INT, script", kConstant5, "merged.fbn", {{"IEC_A", "A1"}}, "IEC_A",
         TCommandForm::Script, joined({scriptCreate("A1", "BLK"), {"//CONSTANT CONNECTIO NNOT ADDED!!! "}})},
        {"an actuator IPP without an interface block", R"(<FB Name="B1" Type="BLK"/>
  <IPPDrawInstanceName Name="IEC_A.AX" x="0" y="0"/>
  <FBIPPConnections><Connection Source="IEC_A.AX" Destination="B1.Q"/></FBIPPConnections>)",
         "merged.fbn", {{"IEC_B", "B1"}}, "IEC_A", TCommandForm::Xml,
         joined({{"<DEVICE_COMMANDSET DEVICENAME=\"IEC_A\" >"},
                 withArgs(kSubscribeData, {"IEC_B::B1::Q", "GetIPPPathfromDevice--UNKNOWN"}),
                 {"</DEVICE_COMMANDSET>"}})},
        // Only a file named exactly merged.fbn is the merged network.
        {"a network of another name", kTwo, "Merged.fbn", {{"IEC_A", "A1"}, {"IEC_B", "B1"}}, "IEC_A",
         TCommandForm::Xml,
         joined({{"<DEVICE_COMMANDSET DEVICENAME=\"IEC_A\" >"}, withArgs(kCreateDownloaded, {"BLK", "A1"}),
                 {"</DEVICE_COMMANDSET>"}})},
        {"merged.fbn in a subfolder", kTwo, "sub/merged.fbn", {{"IEC_A", "A1"}, {"IEC_B", "B1"}}, "IEC_A",
         TCommandForm::Xml,
         joined({{"<DEVICE_COMMANDSET DEVICENAME=\"IEC_A\" >"}, withArgs(kCreateDownloaded, {"BLK", "A1"}),
                 published(kPublishEvent, "IEC_A::A1::CNF"), {"</DEVICE_COMMANDSET>"}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench->ResetFBManager();
        Bench->ResetSystemLayer();
        TslIECDevice* a = AddIec("IEC_A");
        AddIec("IEC_B");
        AddIpp(a, "AX", false, true);
        if (c.iface)
            WriteInterface(a, c.iface);
        if (c.merged)
            LoadMerged(c.merged, c.mergedFile);
        for (const auto& [device, instance] : c.assign)
            Assign(dynamic_cast<TslDevice*>(Layer().FindByName(device)), instance);
        auto* device = dynamic_cast<const TslDevice*>(Layer().FindByName(c.device));
        EXPECT_THAT(CommandSet(device, c.form), ElementsAreArray(c.expected));
    }
    EXPECT_THAT(UI.Messages(), IsEmpty());
}

// ---- IPPs in the merged network ---------------------------------------------

// Two IEC devices with IPPs of every kind, each bound to an interface block
// in the device's process-interface diagram (AX and BX to none), an IPT
// whose IPPs no IEC device holds, and application instances L on IEC_A, R
// on IEC_B and U on no device. The IPPs of IEC_A are AS, AA (data sensor and
// actuator), AES, AEA (event sensor and actuator), AX and AXS (data actuator
// and sensor without a block); likewise BS ... BXS on IEC_B.
class IppRulesTest : public DeployTest {
protected:
    void Build(const std::string& mergedElements)
    {
        Bench->ResetFBManager();
        Bench->ResetSystemLayer();
        A = AddIec("IEC_A");
        B = AddIec("IEC_B");
        for (auto [device, p] : {std::pair<TslDevice*, const char*>{A, "A"}, std::pair<TslDevice*, const char*>{B, "B"}}) {
            const std::string d = device->Name, i = std::string("I") + p;
            AddIpp(device, p + std::string("S"), false, false);
            AddIpp(device, p + std::string("A"), false, true);
            AddIpp(device, p + std::string("ES"), true, false);
            AddIpp(device, p + std::string("EA"), true, true);
            AddIpp(device, p + std::string("X"), false, true);
            AddIpp(device, p + std::string("XS"), false, false);
            std::string body = "<FB Name=\"" + i + "\" Type=\"IO\"/>\n";
            for (const char* ipp : {"S", "A", "ES", "EA", "X"})
                body += "<IPPDrawInstanceName Name=\"" + d + "." + p + ipp + "\" x=\"0\" y=\"0\"/>\n";
            for (auto [ipp, port] : {std::pair{"S", "IN"}, std::pair{"A", "OUT"}, std::pair{"ES", "RD"},
                                     std::pair{"EA", "WR"}})
                body += "<FBIPPConnections><Connection Source=\"" + d + "." + p + ipp + "\" Destination=\"" + i +
                        "." + port + "\"/></FBIPPConnections>\n";
            WriteInterface(device, body);
        }
        auto* tank = dynamic_cast<TslIPT*>(Layer().AddObject("tank", slIPT, slCustomIptSubtype));
        tank->AddIpp("TS", "INT", TslIPPRef::Sensor);
        tank->AddIpp("TA", "INT", TslIPPRef::Actuator);
        LoadMerged(R"(<FB Name="L" Type="BLK"/><FB Name="R" Type="BLK"/><FB Name="U" Type="BLK"/>)" +
                   mergedElements);
        Assign(A, "L");
        Assign(B, "R");
    }

    // IEC_A's commands apart from creating instances.
    Lines ACommands() { return Joins(CommandSet(A, TCommandForm::Xml)); }

    TslIECDevice* A = nullptr;
    TslIECDevice* B = nullptr;
};

std::string picture(const std::string& ipp) { return "<IPPDrawInstanceName Name=\"" + ipp + "\" x=\"0\" y=\"0\"/>"; }

std::string ippToFb(const std::string& ipp, const std::string& fb)
{
    return picture(ipp) + "<FBIPPConnections><Connection Source=\"" + ipp + "\" Destination=\"" + fb +
           "\"/></FBIPPConnections>";
}

std::string ippToIpp(const std::string& source, const std::string& dest)
{
    return picture(source) + picture(dest) + "<IPPtoIPPConnections><Connection Source=\"" + source +
           "\" Destination=\"" + dest + "\"/></IPPtoIPPConnections>";
}

TEST_F(IppRulesTest, IppToFbConnections)
{
    struct Case {
        std::string ipp, fb;
        Lines expected;
    };
    const Case cases[] = {
        // IEC_A's own actuators, driven from elsewhere or from here
        {"IEC_A.AA", "R.Q", {"SUBSCRIBE DATA IEC_B::R::Q IEC_A::IA::OUT"}},
        {"IEC_A.AEA", "U.CNF", {"SUBSCRIBE EVENT FROM_UNASSIGNED_DEVICE::U::CNF IEC_A::IA::WR"}},
        {"IEC_A.AA", "L.Q", {"CREATE DATA_CONNECTION IEC_A::L::Q IEC_A::IA::OUT"}},
        {"IEC_A.AEA", "L.CNF", {"CREATE EVENT_CONNECTION IEC_A::L::CNF IEC_A::IA::WR"}},
        // IEC_A's own sensors, read here or elsewhere
        {"IEC_A.AS", "L.N", {"CREATE DATA_CONNECTION IEC_A::IA::IN IEC_A::L::N"}},
        {"IEC_A.AES", "L.REQ", {"CREATE EVENT_CONNECTION IEC_A::IA::RD IEC_A::L::REQ"}},
        {"IEC_A.AS", "R.N", {"PUBLISH DATA IEC_A::IA::IN"}},
        // IEC_B's IPPs used by an instance on IEC_A
        {"IEC_B.BS", "L.N", {"SUBSCRIBE DATA IEC_B::IB::IN IEC_A::L::N"}},
        {"IEC_B.BES", "L.REQ", {"SUBSCRIBE EVENT IEC_B::IB::RD IEC_A::L::REQ"}},
        {"IEC_B.BA", "L.Q", {"PUBLISH DATA IEC_A::L::Q"}},
        {"IEC_B.BEA", "L.CNF", {"PUBLISH EVENT IEC_A::L::CNF"}},
        {"IEC_B.BXS", "L.N", {"SUBSCRIBE DATA GetIPPPathfromDevice--UNKNOWN IEC_A::L::N"}},
        {"IEC_B.BS", "R.N", {}},
        // an IPP that no IEC device holds
        {"tank.TS", "L.N", {}},
        {"tank.TA", "L.Q", {"PUBLISH DATA IEC_A::L::Q"}},
        // AX is pictured in IEC_A's own diagram but reaches no interface
        // block there: the application's port is not the device's path.
        {"IEC_A.AX", "R.Q", {"SUBSCRIBE DATA IEC_B::R::Q GetIPPPathfromDevice--UNKNOWN"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ipp + " -> " + c.fb);
        Build(ippToFb(c.ipp, c.fb));
        EXPECT_THAT(ACommands(), ElementsAreArray(c.expected));
    }
    EXPECT_THAT(UI.Messages(), IsEmpty());
}

TEST_F(IppRulesTest, IppToIppConnections)
{
    struct Case {
        std::string source, dest;
        Lines expected;
    };
    const Case cases[] = {
        {"IEC_A.AS", "IEC_A.AA", {"CREATE DATA_CONNECTION IEC_A::IA::IN IEC_A::IA::OUT"}},
        {"IEC_A.AES", "IEC_A.AEA", {"CREATE EVENT_CONNECTION IEC_A::IA::RD IEC_A::IA::WR"}},
        {"IEC_A.AS", "IEC_A.AX", {"CREATE DATA_CONNECTION IEC_A::IA::IN GetIPPPathfromDevice--UNKNOWN"}},
        {"IEC_A.AS", "IEC_B.BA", {"PUBLISH DATA IEC_A::IA::IN"}},
        {"IEC_A.AES", "IEC_B.BEA", {"PUBLISH EVENT IEC_A::IA::RD"}},
        {"IEC_B.BS", "IEC_A.AA", {"SUBSCRIBE DATA IEC_B::IB::IN IEC_A::IA::OUT"}},
        {"IEC_B.BES", "IEC_A.AEA", {"SUBSCRIBE EVENT IEC_B::IB::RD IEC_A::IA::WR"}},
        {"IEC_B.BX", "IEC_A.AA", {"SUBSCRIBE DATA GetIPPPathfromDevice--UNKNOWN IEC_A::IA::OUT"}},
        {"tank.TS", "IEC_A.AA", {}},
        {"IEC_B.BS", "IEC_B.BA", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.dest);
        Build(ippToIpp(c.source, c.dest));
        EXPECT_THAT(ACommands(), ElementsAreArray(c.expected));
    }
    EXPECT_THAT(UI.Messages(), IsEmpty());
}

// ---- Reading the process-interface diagrams ---------------------------------

TEST_F(IppRulesTest, AnUnreadableInterfaceDiagramIsToldOncePerRunAndCountsAsEmpty)
{
    Build(ippToIpp("IEC_A.AS", "IEC_B.BA") + ippToIpp("IEC_A.AES", "IEC_B.BEA"));
    Home.Write("IEC_A.dfb", "<FBNetwork><FB Name=");
    // A file that is named but missing is an empty diagram, and no error.
    B->InternalDeviceDiagramFilename = (Home / "gone.dfb").string();

    TCommandSetGenerator run(M());
    Lines a, b;
    run.Output = [&](const std::string& line) { a.push_back(line); };
    run.DeviceCommandSet(*A);
    run.Output = [&](const std::string& line) { b.push_back(line); };
    run.DeviceCommandSet(*B); // asks for IEC_A's paths twice more
    EXPECT_THAT(Joins(a), ElementsAre("PUBLISH DATA GetIPPPathfromDevice--UNKNOWN",
                                      "PUBLISH EVENT GetIPPPathfromDevice--UNKNOWN"));
    EXPECT_THAT(Joins(b), ElementsAre("SUBSCRIBE DATA GetIPPPathfromDevice--UNKNOWN GetIPPPathfromDevice--UNKNOWN",
                                      "SUBSCRIBE EVENT GetIPPPathfromDevice--UNKNOWN GetIPPPathfromDevice--UNKNOWN"));
    ASSERT_EQ(UI.Messages().size(), 1u);
    EXPECT_THAT(UI.Messages()[0], StartsWith("The process-interface diagram of device IEC_A cannot be read: "));
    EXPECT_NE(UI.Messages()[0].find("IEC_A.dfb"), std::string::npos) << UI.Messages()[0];

    // The next run reads again: what was mended in between is seen.
    WriteInterface(A, R"(<FB Name="IA" Type="IO"/><IPPDrawInstanceName Name="IEC_A.AS" x="0" y="0"/>
  <FBIPPConnections><Connection Source="IEC_A.AS" Destination="IA.IN"/></FBIPPConnections>)");
    TCommandSetGenerator next(M());
    EXPECT_EQ(next.GetIPPPathfromDevice(*A, A->FindIpp("AS")), "IEC_A::IA::IN");
    EXPECT_EQ(UI.Messages().size(), 1u);
}

// ---- Texts typed by users ----------------------------------------------------

// Names, types and values go into the sets as data: whatever they hold, a
// device reading the XML form finds exactly the commands made, with the
// texts as typed, and a script reader finds them inside their strings.
TEST_F(DeployTest, NamesAndValuesCannotMakeCommandsOfTheirOwn)
{
    Home.Write("library/test/TXT.fbt", R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="TXT">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/></EventInputs>
    <InputVars><VarDeclaration Name="S" Type="STRING"/></InputVars>
  </InterfaceList>
  <BasicFB/>
</FBType>
)");
    Bench->IndexLibrary();
    const std::string evil = R"(x</STRING></ARGS></COMMAND><COMMAND ACTION="DELETE" TYPE="FB_INSTANCE">)";
    const std::string value = R"(a<b & "c" > d')";
    TslIECDevice* a = AddIec(R"(IEC "A" & <B>)");
    LoadMerged(R"(<FB Name="x&lt;/STRING&gt;&lt;/ARGS&gt;&lt;/COMMAND&gt;&lt;COMMAND ACTION=&quot;DELETE&quot; TYPE=&quot;FB_INSTANCE&quot;&gt;" Type="BLK"/>
  <FB Name="T1" Type="TXT"/>
  <EventConnections><Connection Source="x&lt;/STRING&gt;&lt;/ARGS&gt;&lt;/COMMAND&gt;&lt;COMMAND ACTION=&quot;DELETE&quot; TYPE=&quot;FB_INSTANCE&quot;&gt;.CNF" Destination="T1.REQ"/></EventConnections>
  <DataConnections><Connection Source="a&lt;b &amp; &quot;c&quot; &gt; d'" Destination="T1.S"/></DataConnections>)");
    Assign(a, evil);
    Assign(a, "T1");
    ASSERT_THAT(UI.Messages(), IsEmpty());

    std::string xml;
    for (const auto& line : CommandSet(a, TCommandForm::Xml))
        xml += line + "\n";
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str())) << xml;
    pugi::xml_node set = doc.child("DEVICE_COMMANDSET");
    EXPECT_EQ(std::string(set.attribute("DEVICENAME").value()), a->Name);
    Lines commands;
    for (pugi::xml_node c : set.children()) {
        std::string text = std::string(c.name()) + " " + c.attribute("ACTION").value();
        for (pugi::xml_node s : c.child("ARGS").children("STRING"))
            text += "|" + std::string(s.text().get());
        commands.push_back(text);
    }
    const std::string dev = a->Name;
    EXPECT_THAT(commands, ElementsAre("COMMAND CREATE|BLK|" + evil, "COMMAND CREATE|TXT|T1",
                                      "COMMAND CREATE|T1|S|STRING|" + value,
                                      "COMMAND CREATE|" + dev + "::" + evil + "::CNF|" + dev + "::T1::REQ"));

    const Lines script = CommandSet(a, TCommandForm::Script);
    ASSERT_FALSE(script.empty());
    EXPECT_EQ(script[0], R"(devA.cmdCreateFBInstance("x</STRING></ARGS></COMMAND><COMMAND ACTION=\"DELETE\" )"
                         R"(TYPE=\"FB_INSTANCE\">","BLK"); )");
    EXPECT_EQ(script.back(), R"(devA.cmdCreateEventConnection("x</STRING></ARGS></COMMAND><COMMAND ACTION=\"DELETE\" )"
                             R"(TYPE=\"FB_INSTANCE\">","CNF","T1","REQ");)");
}

// A constant that is no value of its input's type was told when the network
// was read; the device never gets it.
TEST_F(DeployTest, AConstantThatDidNotConvertIsNotDeployed)
{
    TslIECDevice* a = AddIec("IEC_A");
    LoadMerged(R"(<FB Name="A1" Type="BLK"/>
  <DataConnections><Connection Source="abc" Destination="A1.N"/><Connection Source="7" Destination="A1.M"/></DataConnections>)");
    ASSERT_EQ(UI.Messages().size(), 1u);
    Assign(a, "A1");
    EXPECT_THAT(Joins(CommandSet(a, TCommandForm::Xml)), ElementsAre("CREATE DATA_CONSTANT_VALUE A1 M INT 7"));
    EXPECT_THAT(CommandSet(a, TCommandForm::Script),
                ElementsAreArray(joined({scriptCreate("A1", "BLK"), {"//CONSTANT CONNECTIO NNOT ADDED!!! "}})));
    EXPECT_EQ(UI.Messages().size(), 1u);
}

} // namespace
} // namespace telvo::test
