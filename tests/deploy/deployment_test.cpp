// The deployment window's commands without the window: Start over real TCP
// connections to listeners on 127.0.0.1, DUNEX output and the KALO
// configuration files.

#include "deploy/deploy_fixture.h"
#include "deploy/deployment.h"
#include "deploy/device_connection.h"
#include "deploy/recording_listener.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <optional>

namespace telvo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

// Two IEC devices with an instance each and an event between them, an OPC
// device with one of its own, and objects of other kinds in between.
class StartTest : public DeployTest {
protected:
    StartTest()
    {
        A = AddIec("IEC_A");
        Opc = AddOpc("OPC_X");
        Layer().AddObject("switch0", slSwitch);
        B = AddIec("IEC_B");
        LoadMerged(R"(<FB Name="L" Type="BLK"/><FB Name="R" Type="BLK"/><FB Name="O" Type="BLK"/>
  <EventConnections><Connection Source="L.CNF" Destination="R.REQ"/></EventConnections>
  <DataConnections><Connection Source="7" Destination="O.N"/></DataConnections>)");
        Assign(A, "L");
        Assign(B, "R");
        Assign(Opc, "O");
        Deployment = std::make_unique<TDeploymentManager>(M(), UI, Connection);
        Deployment->OnStartFinished = [this](bool completed) { Finished.push_back(completed); };
    }

    // Drives the Start chain the way the command line does.
    void RunStart()
    {
        Deployment->Start();
        while (Deployment->Running())
            Connection.WaitForOutcome();
    }

    // What the window shows for a device that got its command set.
    Lines Sent(const TslDevice* device)
    {
        Lines out{"Establishing communication with device :" + device->Name,
                  "Communication with " + device->Name + " is established!"};
        for (const auto& line : CommandSet(device, TCommandForm::Xml))
            out.push_back(" >" + line);
        return out;
    }

    static std::string Bytes(const Lines& lines)
    {
        std::string out;
        for (const auto& l : lines)
            out += l;
        return out;
    }

    TslIECDevice* A = nullptr;
    TslIECDevice* B = nullptr;
    TslOPCDevice* Opc = nullptr;
    TPosixDeviceConnection Connection;
    std::unique_ptr<TDeploymentManager> Deployment;
    std::vector<bool> Finished;
};

TEST_F(StartTest, EachIecDeviceReceivesExactlyItsCommandSetInTurn)
{
    TRecordingListener a, b;
    A->DeviceAddressPort = a.Port();
    B->DeviceAddressPort = b.Port();
    B->DeviceIPAddress = "localhost";
    RunStart();

    Lines expected = Sent(A);
    const Lines sentB = Sent(B);
    expected.insert(expected.end(), sentB.begin(), sentB.end());
    EXPECT_THAT(Deployment->Lines, ElementsAreArray(expected));
    // Lines follow each other on the stream with nothing between them.
    EXPECT_EQ(a.Received(), Bytes(CommandSet(A, TCommandForm::Xml)));
    EXPECT_EQ(b.Received(), Bytes(CommandSet(B, TCommandForm::Xml)));
    EXPECT_THAT(a.Received(), ::testing::StartsWith("<DEVICE_COMMANDSET DEVICENAME=\"IEC_A\" ><COMMAND ACTION="));
    EXPECT_THAT(UI.Messages(), IsEmpty());
    EXPECT_THAT(Finished, ElementsAre(true));
    EXPECT_FALSE(Deployment->Failed());
    EXPECT_EQ(Connection.State(), TDeviceConnection::TState::Closed);
}

TEST_F(StartTest, ADeviceThatCannotBeReachedStopsTheRun)
{
    TUnansweringDevice silent;
    struct Case {
        const char* what;
        std::string address, port;
        std::string message;
    };
    const std::string notFound = "Device IEC_B not found in specified address and port.";
    const Case cases[] = {
        {"nothing listens", "127.0.0.1", ClosedPort(), notFound},
        {"the device never accepts", "127.0.0.1", silent.Port(), notFound},
        {"a host name that does not resolve", kUnresolvableHost, "61499", notFound},
        // Endpoints that cannot be one are not tried, and say why.
        {"no address", "", "61499", "Device IEC_B cannot be reached: no IP address is set."},
        {"no port", "127.0.0.1", "", "Device IEC_B cannot be reached: no port is set."},
        {"a port that is no number", "127.0.0.1", "6l499",
         "Device IEC_B cannot be reached: the port \"6l499\" is no number from 1 to 65535."},
        {"a port out of range", "127.0.0.1", "99999",
         "Device IEC_B cannot be reached: the port \"99999\" is no number from 1 to 65535."},
        {"port 0", "127.0.0.1", "0",
         "Device IEC_B cannot be reached: the port \"0\" is no number from 1 to 65535."},
    };
    Connection.ConnectTimeoutMs = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UI.Clear();
        Finished.clear();
        TRecordingListener a, later;
        A->DeviceAddressPort = a.Port();
        B->DeviceIPAddress = c.address;
        B->DeviceAddressPort = c.port;
        // A third IEC device after the one that fails is never tried.
        TslIECDevice* third = AddIec("IEC_C", "127.0.0.1", later.Port());
        RunStart();

        EXPECT_EQ(a.Received(), Bytes(CommandSet(A, TCommandForm::Xml)));
        EXPECT_THAT(UI.Messages(), ElementsAre(c.message));
        Lines expected = Sent(A);
        expected.push_back("Establishing communication with device :IEC_B");
        EXPECT_THAT(Deployment->Lines, ElementsAreArray(expected));
        EXPECT_THAT(Finished, ElementsAre(false));
        EXPECT_TRUE(Deployment->Failed());
        EXPECT_FALSE(later.Stop());
        Layer().DeleteObject(third);
        Deployment->Clear();
    }
}

TEST_F(StartTest, ADeviceThatDropsTheConnectionIsNamedAndTheRunStops)
{
    TRecordingListener a(/*closeAtOnce=*/true), b;
    A->DeviceAddressPort = a.Port();
    B->DeviceAddressPort = b.Port();
    Deployment->Start();
    a.Received(); // the device has accepted and gone again
    while (Deployment->Running())
        Connection.WaitForOutcome();
    EXPECT_THAT(UI.Messages(),
                ElementsAre("Device IEC_A dropped the connection before its whole command set was sent."));
    EXPECT_THAT(Finished, ElementsAre(false));
    EXPECT_FALSE(b.Stop());
}

TEST_F(StartTest, ADeviceThatStopsReadingIsNamedAndTheRunStops)
{
    // A name long enough that the set outgrows what the sockets buffer.
    ASSERT_TRUE(M().RenameInstance(M().FindInstance("L"), std::string(16 << 20, 'L')));
    TDeafDevice a;
    TRecordingListener b;
    A->DeviceAddressPort = a.Port();
    B->DeviceAddressPort = b.Port();
    Connection.StallTimeoutMs = 300;
    Deployment->Start();
    // The set is on its way; the caller is not held while it goes.
    EXPECT_TRUE(Deployment->Running());
    while (Deployment->Running())
        Connection.WaitForOutcome();
    EXPECT_THAT(UI.Messages(), ElementsAre("Device IEC_A stopped reading before its whole command set was sent."));
    EXPECT_THAT(Finished, ElementsAre(false));
    EXPECT_FALSE(b.Stop());
}

TEST_F(StartTest, StartAfterDunexOutputStillSendsXml)
{
    Deployment->DunexOutput();
    EXPECT_EQ(Deployment->Form, TCommandForm::Script);
    TRecordingListener a, b;
    A->DeviceAddressPort = a.Port();
    B->DeviceAddressPort = b.Port();
    RunStart();
    EXPECT_EQ(Deployment->Form, TCommandForm::Xml);
    EXPECT_TRUE(Deployment->Sending);
    EXPECT_EQ(a.Received(), Bytes(CommandSet(A, TCommandForm::Xml)));
    EXPECT_EQ(b.Received(), Bytes(CommandSet(B, TCommandForm::Xml)));
}

TEST_F(StartTest, WithoutIecDevicesStartEndsAtOnce)
{
    Layer().DeleteObject(A);
    Layer().DeleteObject(B);
    RunStart();
    EXPECT_THAT(Deployment->Lines, IsEmpty());
    EXPECT_THAT(Finished, ElementsAre(true));
}

TEST_F(StartTest, DunexOutputShowsEveryIecAndOpcDeviceInScriptForm)
{
    Deployment->Append("left from before");
    Deployment->DunexOutput();
    Lines expected{"left from before"};
    for (const TslDevice* d : std::initializer_list<const TslDevice*>{A, Opc, B}) {
        expected.push_back("Establishing communication with device :" + d->Name);
        const Lines set = CommandSet(d, TCommandForm::Script);
        expected.insert(expected.end(), set.begin(), set.end());
    }
    EXPECT_THAT(Deployment->Lines, ElementsAreArray(expected));
    EXPECT_EQ(expected[2], "devA.cmdCreateFBInstance(\"L\",\"BLK\"); ");
    EXPECT_FALSE(Deployment->Sending);
}

TEST_F(StartTest, KaloConfigurationIsOneFilePerOpcDevice)
{
    TslOPCDevice* second = AddOpc("OPC_Y");
    TempDir out;
    struct Asked {
        std::filesystem::path Folder;
        std::string Name;
    };
    std::vector<Asked> asked;
    std::vector<std::string> shown;
    Deployment->OnClear = [&] { shown.clear(); };
    Deployment->OnLine = [&](const std::string& l) { shown.push_back(l); };
    auto files = Deployment->MakeKaloConfiguration(
        [&](const std::filesystem::path& folder, const std::string& name) -> std::optional<std::filesystem::path> {
            asked.push_back({folder, name});
            if (name == "OPC_Y_KALOconfig.xml")
                return std::nullopt; // cancelled
            return out / name;
        });

    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].Folder, Home.Path() / "KALO");
    EXPECT_EQ(asked[0].Name, "OPC_X_KALOconfig.xml");
    EXPECT_EQ(asked[1].Folder, out.Path()); // where the last save went
    EXPECT_EQ(asked[1].Name, "OPC_Y_KALOconfig.xml");
    ASSERT_THAT(files, ElementsAre(out / "OPC_X_KALOconfig.xml"));

    Lines x{"<!--Making KALO OPC configuration for device :OPC_X -->"};
    const Lines set = CommandSet(Opc, TCommandForm::Xml);
    x.insert(x.end(), set.begin(), set.end());
    std::string text;
    for (const auto& l : x)
        text += l + "\n";
    EXPECT_EQ(ReadFile(files[0]), text);
    EXPECT_NE(text.find("\t\t<STRING>7</STRING>"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out / "OPC_Y_KALOconfig.xml"));
    // The text area was cleared for each device: it shows the last one.
    EXPECT_EQ(Deployment->Lines.front(), "<!--Making KALO OPC configuration for device :OPC_Y -->");
    EXPECT_EQ(shown, Deployment->Lines);
    (void)second;
}

TEST_F(StartTest, AKaloFileThatCannotBeWrittenIsToldAndTheOthersAreStillMade)
{
    AddOpc("OPC_Y");
    TempDir out;
    auto files = Deployment->MakeKaloConfiguration(
        [&](const std::filesystem::path&, const std::string& name) -> std::optional<std::filesystem::path> {
            if (name == "OPC_X_KALOconfig.xml")
                return out / "no-such-folder" / name;
            return out / name;
        });
    EXPECT_THAT(files, ElementsAre(out / "OPC_Y_KALOconfig.xml"));
    ASSERT_EQ(UI.Messages().size(), 1u);
    EXPECT_NE(UI.Messages()[0].find("OPC_X_KALOconfig.xml"), std::string::npos) << UI.Messages()[0];
}

} // namespace
} // namespace telvo::test
