// The example project opens without a word, holds what it is there to show,
// survives a save, and `telvo project info` reports it.

#include "model/fb_instance.h"
#include "model/file_util.h"
#include "persistence/network_file.h"
#include "project/project_fixture.h"

#include <gmock/gmock.h>

#include <set>
#include <sstream>

namespace telvo::test {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

class ExampleTest : public ProjectTest {
protected:
    const std::string ExampleFile = (ExampleDir() / "plant.crf").string();
};

TEST_F(ExampleTest, OpensWithoutASingleMessageAndHoldsAWholePlant)
{
    OpenProject(W(), ExampleFile);
    EXPECT_THAT(UI.Messages(), IsEmpty());
    EXPECT_THAT(UI.Questions(), IsEmpty());
    EXPECT_EQ(Project().Name, "Plant");
    EXPECT_FALSE(Project().Comment.empty());

    // Devices on fieldbuses, with a backbone and a computer.
    std::multiset<int> kinds;
    for (const auto& o : Layer().Objects)
        kinds.insert(o->Kind);
    EXPECT_GE(kinds.count(slIECDevice), 2u);
    EXPECT_GE(kinds.count(slOPCDevice), 1u);
    EXPECT_GE(kinds.count(slIECFieldbus), 1u);
    EXPECT_GE(kinds.count(slNetBone), 1u);
    EXPECT_GE(kinds.count(slComputer), 1u);
    for (const auto& c : Layer().Connections)
        EXPECT_TRUE(c->SourceObject && c->TargetObject) << c->Name;

    // Three IPTs of different subtypes; sensors and actuators, event and
    // data IPPs, every one wired to a device input or output.
    std::set<std::string> subtypes, ippKinds;
    for (const auto& o : Layer().Objects)
        if (auto* ipt = dynamic_cast<const TslIPT*>(o.get())) {
            subtypes.insert(ipt->TypeName);
            EXPECT_TRUE(ipt->Bitmap.Loaded()) << ipt->Name;
            for (const auto& ipp : ipt->IPPList) {
                ippKinds.insert(std::string(ipp->IsActuator() ? "actuator " : "sensor ") +
                                (ipp->IsEventIPP ? "event" : "data"));
                EXPECT_EQ(ipp->Connections.size(), 1u) << ipp->Name;
            }
        }
    EXPECT_EQ(subtypes.size(), 3u);
    EXPECT_THAT(ippKinds, ElementsAre("actuator data", "sensor data", "sensor event"));

    // Two application diagrams and the merged network; records of library
    // types and of the two project types, every one on a device.
    ASSERT_EQ(M().Diagrams.size(), 3u);
    EXPECT_EQ(BareFileName(M().Diagrams[2]->FileName), "merged.fbn");
    std::set<std::string> types;
    for (const auto& r : M().Instances) {
        types.insert(r->Type->Name);
        EXPECT_NE(r->Device, nullptr) << r->Name;
    }
    EXPECT_TRUE(types.count("FILL_CTRL") && types.count("FILL_STATION") && types.count("E_SPLIT"));
    const TFB_Type* basic = M().FindType("FILL_CTRL");
    EXPECT_FALSE(basic->States.empty());
    ASSERT_FALSE(basic->Algorithms.empty());
    for (const auto& a : basic->Algorithms)
        EXPECT_EQ(a->Language, "DelphiScript") << a->Name;
    EXPECT_TRUE(M().FindType("FILL_STATION")->Composite);
    EXPECT_THAT(basic->FileName, HasSubstr("Plant"));
    EXPECT_EQ(M().FindInstance("station")->FindDataInput("BATCH")->IntValue, 6);

    // The application meets the devices' process interfaces: what the
    // deployment will connect.
    auto* line = dynamic_cast<TslDevice*>(Layer().FindByName("IEC_Device0"));
    auto binding = M().FindIPPBinding(line, dynamic_cast<TslIPPRef*>(Layer().FindByName("conveyer0+||+BottleIn")));
    EXPECT_EQ(binding.Path, "IEC_Device0::bottle_split::EI");
}

TEST_F(ExampleTest, ProcessInterfaceDiagramsReadWithoutAWord)
{
    OpenProject(W(), ExampleFile);
    int devices = 0;
    for (const auto& o : Layer().Objects)
        if (auto* device = dynamic_cast<const TslDevice*>(o.get())) {
            ++devices;
            ASSERT_FALSE(device->InternalDeviceDiagramFilename.empty()) << device->Name;
            TFB_Diagram* d = M().CreateDiagram("SysLayer_InternalDevice_" + device->Name, 1.0);
            d->IsInternalDeviceDiagram = true;
            LoadFromFile(*d, device->InternalDeviceDiagramFilename);
            EXPECT_TRUE(d->IsInternalDeviceDiagram);
            EXPECT_FALSE(d->DrawnInstances.empty()) << device->Name;
            // Each pictured IPP reaches an interface FB of the device; the
            // application's lines at the same IPPs are drawn as stubs.
            size_t toInterface = 0;
            for (const auto& line : d->IPPFBLines)
                toInterface += line->Drawn != nullptr;
            EXPECT_EQ(toInterface, d->IPPPictures.size()) << device->Name;
            M().DeleteDiagram(d);
        }
    EXPECT_EQ(devices, 3);
    EXPECT_THAT(UI.Messages(), IsEmpty());
}

TEST_F(ExampleTest, SavedCopyReadsBackTheSame)
{
    TempDir copy;
    for (const auto& entry : fs::directory_iterator(ExampleDir()))
        if (entry.is_regular_file())
            fs::copy_file(entry.path(), copy / entry.path().filename().string());
    const std::string path = (copy / "plant.crf").string();
    OpenProject(W(), path);
    const std::vector<std::string> before = DescribeProject(W());
    UI.QueueAnswer(true); // save on closing
    CloseProject(W());
    OpenProject(W(), path);
    EXPECT_THAT(UI.Messages(), IsEmpty());
    EXPECT_EQ(DescribeProject(W()), before);
    // Stored names stay bare, so the copy keeps working wherever it goes.
    const std::string text = ReadFile(copy / "plant.crf");
    EXPECT_THAT(text, HasSubstr("Filename=\"merged.fbn\""));
    EXPECT_THAT(text, HasSubstr("InternalDeviceDiagramFilename=\"feeder_opc.dfb\""));
    EXPECT_THAT(text, HasSubstr("ImageFileName=\"images\\hmi.bmp\""));
}

TEST_F(ExampleTest, InfoCommandReportsTheProject)
{
    auto r = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "project", "info", ExampleFile});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    const auto out = lines(r.Out);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0], "project\tPlant\t" + ExampleFile);
    EXPECT_EQ(out[1], "uml\t");
    const std::string dir = ExampleDir().string() + "/";
    EXPECT_THAT(out, Contains("diagram\tFilling line\t" + dir +
                              "line.fbn\tinstances=4\tevents=5\tdata=1\tippfb=4\tipp2ipp=0\tnotes=1\tipps=4"));
    EXPECT_THAT(out, Contains("diagram\tMerged network\t" + dir +
                              "merged.fbn\tinstances=7\tevents=6\tdata=1\tippfb=7\tipp2ipp=0\tnotes=1\tipps=7"));
    EXPECT_THAT(out, Contains("instance\tstation\tFILL_STATION\tIEC_Device0"));
    EXPECT_THAT(out, Contains("object\t4\tOPC_Device0\tOPC Data Access 2.0"));
    EXPECT_THAT(out, Contains("object\t9\tHMI_SCADA2\tHMI"));
    EXPECT_THAT(out, Contains("ipp\tHMI_SCADA2\tStop\tEVENT\tsensor\tevent\tDigitalInput_1"));
    EXPECT_THAT(out, Contains("ipp\tconveyer0\tMotor\tBOOL\tactuator\tdata\tDigitalOutput_0"));
    EXPECT_THAT(out, Contains("connection\tConnection_8\t10\tconveyer0+||+BottleIn\tIEC_Device0"));
    EXPECT_THAT(out, Contains("connection\tConnection_0\t6\tcomputer0\tnetwork0"));
}

TEST_F(ExampleTest, InfoCommandNamesKindsAndConnectionTypesWhenAsked)
{
    auto plain = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "project", "info", ExampleFile});
    auto named = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "project", "info", "--names", ExampleFile});
    ASSERT_EQ(named.ExitCode, 0) << named.Err;
    const auto out = lines(named.Out);
    EXPECT_THAT(out, Contains("object\tOPC device\tOPC_Device0\tOPC Data Access 2.0"));
    EXPECT_THAT(out, Contains("object\tindustrial process terminator\tHMI_SCADA2\tHMI"));
    EXPECT_THAT(out, Contains(StartsWith("object\tnetwork backbone\tnetwork0\t")));
    EXPECT_THAT(out, Contains("connection\tConnection_8\tDevice to IPT\tconveyer0+||+BottleIn\tIEC_Device0"));
    EXPECT_THAT(out, Contains("connection\tConnection_0\tComputer to Netbone\tcomputer0\tnetwork0"));
    // Only those two kinds of line differ from the plain listing.
    const auto before = lines(plain.Out);
    ASSERT_EQ(out.size(), before.size());
    for (size_t i = 0; i < out.size(); ++i)
        if (out[i].rfind("object\t", 0) != 0 && out[i].rfind("connection\t", 0) != 0) {
            EXPECT_EQ(out[i], before[i]);
        }

    auto wrong = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "project", "info", "--nams", ExampleFile});
    EXPECT_EQ(wrong.ExitCode, 2);
    EXPECT_THAT(wrong.Err, HasSubstr("--nams"));
}

TEST_F(ExampleTest, InfoCommandOnAProjectWithoutDistributionOrFiles)
{
    OpenText(R"(<telvo_project Name="Bare" Comment="model.mdl|x">
      <ProjectFBInstances><ProjFBInstance Name="A" FBType="COUNTER"/></ProjectFBInstances>
      <SystemLayer><SystemLayerObjectList><TslIECDeviceInstance Name="d" TypeName="">
        <IPPList><TslIPPInstance Name="own" TypeName="INT" IsEventIPP="True" SensorActuator="1"/></IPPList>
      </TslIECDeviceInstance></SystemLayerObjectList></SystemLayer></telvo_project>)",
             "bare.crf");
    auto r = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "project", "info", (Work / "bare.crf").string()});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_THAT(lines(r.Out), ElementsAre("project\tBare\t" + (Work / "bare.crf").string(), "uml\tmodel.mdl",
                                          "instance\tA\tCOUNTER\t", "object\t3\td\t",
                                          "ipp\td\town\tINT\tactuator\tevent\t"));
}

TEST_F(ExampleTest, InfoCommandTellsOfMissingDiagramFilesAndFailsAfterTheListing)
{
    Work.Write("here.fbn", R"(<FBNetwork><FB Name="A" Type="COUNTER"/></FBNetwork>)");
    Work.Write("gaps.crf", R"(<telvo_project Name="Gaps" Comment="|">
      <FBDiagrams><FBNetworkFile Name="Here" Filename="here.fbn" Comment=""/>
        <FBNetworkFile Name="Gone" Filename="gone.fbn" Comment=""/></FBDiagrams>
      <SystemLayer><SystemLayerObjectList>
        <TslIECDeviceInstance Name="d" TypeName="" InternalDeviceDiagramFilename="C:\plant\lost.dfb"/>
        <TslIECDeviceInstance Name="e" TypeName="" InternalDeviceDiagramFilename=""/>
      </SystemLayerObjectList></SystemLayer></telvo_project>)");
    const std::string file = (Work / "gaps.crf").string();
    auto r = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "project", "info", file});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, file + ": the process-interface diagram file \"C:\\plant\\lost.dfb\" of device d is not found\n" +
                         file + ": the FB network file \"gone.fbn\" of diagram Gone is not found\n");
    // What could be read is listed all the same.
    EXPECT_THAT(lines(r.Out), Contains(StartsWith("diagram\tHere\t")));
    EXPECT_THAT(lines(r.Out), Contains("instance\tA\tCOUNTER\t"));
    EXPECT_THAT(lines(r.Out), Contains("object\t3\td\t"));
}

TEST_F(ExampleTest, InfoCommandErrorsGoToStandardError)
{
    auto missing = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "project", "info",
                                               (Work / "missing.crf").string()});
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_EQ(missing.Out, "");
    EXPECT_THAT(missing.Err, StartsWith("telvo: "));
    EXPECT_THAT(missing.Err, HasSubstr("missing.crf"));

    Work.Write("odd.crf", R"(<telvo_project Name="Odd" Comment="|"><SystemLayer><SystemLayerIPTList>
      <TslIPTInstance Name="x" TypeName="Spaceship"/></SystemLayerIPTList></SystemLayer></telvo_project>)");
    auto odd = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "project", "info",
                                           (Work / "odd.crf").string()});
    EXPECT_EQ(odd.ExitCode, 0);
    EXPECT_THAT(odd.Err, HasSubstr("IPT x is not read"));
    EXPECT_THAT(lines(odd.Out), ElementsAre(StartsWith("project\tOdd\t"), "uml\t"));

    auto usage = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "project", "info"});
    EXPECT_EQ(usage.ExitCode, 2);
    EXPECT_THAT(usage.Err, HasSubstr("project info"));
}

} // namespace
} // namespace telvo::test
