// Project files: what is written, and that reading it back gives the same
// project, wherever the project folder now lies and whichever separators
// its stored names use.

#include "model/file_util.h"
#include "project/project_fixture.h"

#include <gmock/gmock.h>
#include <pugixml.hpp>

namespace telvo::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

pugi::xml_document parseFile(const fs::path& path)
{
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(path.c_str())) << path;
    return doc;
}

TEST_F(ProjectTest, EmptyProjectIsTheRootWithItsTwoAttributes)
{
    StartProject("Empty");
    const fs::path path = Work / "empty.crf";
    WriteProjectFile(Parts(), path.string());

    auto doc = parseFile(path);
    pugi::xml_node root = doc.document_element();
    EXPECT_STREQ(root.name(), "telvo_project");
    std::vector<std::string> attributes;
    for (pugi::xml_attribute a : root.attributes())
        attributes.push_back(std::string(a.name()) + "=" + a.value());
    EXPECT_THAT(attributes, ElementsAre("Name=Empty", "Comment=|Write your FB Network Diagram comment..."));
    EXPECT_FALSE(root.first_child());
    EXPECT_THAT(UI.LogLines(), ElementsAre("Save file " + path.string()));
}

TEST_F(ProjectTest, WriteThenReadKeepsEverything)
{
    BuildRichProject();
    const fs::path path = Work / "line.crf";
    Project().FileName = path.string();
    WriteProjectFile(Parts(), path.string());
    const std::vector<std::string> before = DescribeProject(W());

    Restart();
    OpenProject(W(), path.string());
    EXPECT_THAT(UI.Messages(), IsEmpty());
    EXPECT_THAT(UI.Questions(), IsEmpty()); // no model file, so no UML tool to ask for
    EXPECT_EQ(DescribeProject(W()), before);
    EXPECT_EQ(Project().FileName, path.string());
    EXPECT_EQ(Project().Comment, "Bottles | and cans");
    EXPECT_EQ(Project().UmlModelFile, "line.mdl");
    EXPECT_THAT(UI.LogLines(), testing::Contains("Open file " + path.string()));

    // And what the file says of the kinds that share one element.
    auto doc = parseFile(path);
    pugi::xml_node objects = doc.select_node("/telvo_project/SystemLayer/SystemLayerObjectList").node();
    std::vector<std::string> elements;
    for (pugi::xml_node e : objects.children())
        elements.push_back(e.name());
    EXPECT_THAT(elements, ElementsAre("TslIECFieldbusInstance", "TslIECDeviceInstance", "TslIECDeviceInstance",
                                      "TslComputerInstance", "TslNetBoneInstance", "TslNonIECFieldbusInstance",
                                      "TslNonIECDeviceInstance", "TslInterunitInstance", "TslSwitchInstance"));
    EXPECT_STREQ(doc.select_node("//TslIECFieldbusInstance").node().attribute("AllowNonIecDevices").value(), "True");
    EXPECT_STREQ(doc.document_element().attribute("Comment").value(), "line.mdl|Bottles | and cans");
}

// Two network files joined by a data and an event connection, each file
// carrying both, as the writer writes them. The project lists no records,
// as a project from elsewhere may not: every record comes from the files.
class CrossFileTest : public ProjectTest, public ::testing::WithParamInterface<bool> {
protected:
    CrossFileTest()
    {
        const std::string connections = R"(
  <EventConnections><Connection Source="f1_0.CNF" Destination="f2_0.REQ"/></EventConnections>
  <DataConnections><Connection Source="f1_0.Q" Destination="f2_0.N"/></DataConnections>)";
        Work.Write("f1.fbn", R"(<FBNetwork><FB Name="f1_0" Type="COUNTER" Comment="Counts requests"/>)" + connections + "</FBNetwork>");
        Work.Write("f2.fbn", R"(<FBNetwork><FB Name="f2_0" Type="COUNTER" Comment="Counts requests"/>)" + connections + "</FBNetwork>");
    }

    // The project text with the file of the connections' source first or
    // last.
    static std::string ProjectText(bool sourceFirst)
    {
        const std::string f1 = R"(<FBNetworkFile Name="F1" Filename="f1.fbn" Comment=""/>)";
        const std::string f2 = R"(<FBNetworkFile Name="F2" Filename="f2.fbn" Comment=""/>)";
        return R"(<telvo_project Name="Cross" Comment="|"><FBDiagrams>)" + (sourceFirst ? f1 + f2 : f2 + f1) +
               "</FBDiagrams></telvo_project>";
    }
};

TEST_P(CrossFileTest, ConnectionToAnInstanceOfAFileReadLaterIsAConnectionNotAConstant)
{
    const fs::path path = OpenText(ProjectText(GetParam()), "cross.crf");
    EXPECT_THAT(UI.Messages(), IsEmpty());
    ASSERT_EQ(M().DataConns.size(), 1u);
    ASSERT_EQ(M().EventConns.size(), 1u);
    const TFB_InstanceRef* f2 = M().FindInstance("f2_0");
    ASSERT_NE(f2, nullptr);
    EXPECT_EQ(f2->FindDataInput("N")->ValueText, "");
    EXPECT_EQ(M().DataConns[0]->SourceInstance, M().FindInstance("f1_0"));
    // Each diagram draws both as lines to the other diagram.
    for (const auto& d : M().Diagrams) {
        SCOPED_TRACE(d->Name);
        EXPECT_EQ(d->DataLines.size(), 1u);
        EXPECT_EQ(d->EventLines.size(), 1u);
    }

    // Saved and opened again, it is the same project; no constant was
    // written.
    const std::vector<std::string> before = DescribeProject(W());
    WriteProjectFile(Parts(), path.string());
    EXPECT_THAT(ReadFileText(Work / "f2.fbn"), testing::Not(HasSubstr("Source=\"f1_0.Q\" Destination=\"f2_0.N\"/>")));
    Restart();
    OpenProject(W(), path.string());
    EXPECT_THAT(UI.Messages(), IsEmpty());
    EXPECT_EQ(DescribeProject(W()), before);
}

INSTANTIATE_TEST_SUITE_P(FileOrders, CrossFileTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "SourceFileFirst" : "SourceFileLast"; });

TEST_F(ProjectTest, ObjectsComeBackGroupedByKindWhateverTheFileOrder)
{
    OpenText(R"(<telvo_project Name="P" Comment="|"><SystemLayer><SystemLayerObjectList>
      <TslSwitchInstance Name="s" TypeName="" Description="" Left="1" Top="2" Width="3" Height="4"/>
      <TslNetBoneInstance Name="n" TypeName="" Description="" Left="1" Top="2" Width="3" Height="4"/>
      <TslIECDeviceInstance Name="d" TypeName="" Description="" Left="1" Top="2" Width="3" Height="4"/>
      <TslIECFieldbusInstance Name="f" TypeName="" Description="" Left="1" Top="2" Width="3" Height="4" AllowNonIecDevices="False"/>
    </SystemLayerObjectList></SystemLayer></telvo_project>)");
    std::vector<std::string> names;
    for (const auto& o : Layer().Objects)
        names.push_back(o->Name);
    EXPECT_THAT(names, ElementsAre("f", "d", "n", "s"));
}

TEST_F(ProjectTest, DeviceElementIsAnOpcDeviceOnlyByItsTypeName)
{
    struct Case {
        const char* TypeName;
        uint8_t Kind;
    };
    for (const Case& c : {Case{"OPC Data Access 2.0", slOPCDevice}, Case{"my OPC Data Access box", slOPCDevice},
                          Case{"OPC DA 2.0", slIECDevice}, Case{"opc data access 2.0", slIECDevice},
                          Case{"", slIECDevice}}) {
        OpenText(std::string(R"(<telvo_project Name="P" Comment="|"><SystemLayer><SystemLayerObjectList>
          <TslIECDeviceInstance Name="d" TypeName=")") +
                 c.TypeName + R"(" DeviceIPAddress="10.1.1.1" OPCServerName="Srv"/>
        </SystemLayerObjectList></SystemLayer></telvo_project>)");
        ASSERT_EQ(Layer().Objects.size(), 1u) << c.TypeName;
        const TslObject* o = Layer().Objects[0].get();
        EXPECT_EQ(o->Kind, c.Kind) << c.TypeName;
        if (auto* opc = dynamic_cast<const TslOPCDevice*>(o)) {
            EXPECT_EQ(opc->OPCServerName, "Srv");
        }
        if (auto* iec = dynamic_cast<const TslIECDevice*>(o)) {
            EXPECT_EQ(iec->DeviceIPAddress, "10.1.1.1");
        }
        // A device read from a file has the inputs and outputs the file
        // lists, none of the defaults.
        EXPECT_TRUE(dynamic_cast<const TslDevice*>(o)->InputList.empty());
    }
}

TEST_F(ProjectTest, IppConnectionIsStoredWithItsIptAndBindsAgainOnReading)
{
    StartProject();
    auto* ipt = dynamic_cast<TslIPT*>(Layer().AddObject("alarm0", slIPT, 1));
    TslIPPRef* ipp = ipt->AddIpp("IPP_0", "BOOL", TslIPPRef::Sensor);
    auto* dev = dynamic_cast<TslIECDevice*>(Layer().AddObject("IEC_Device0", slIECDevice));
    Layer().Connect(ipp, dev);
    ASSERT_EQ(dev->InputList[0]->BoundObject, ipp);
    const fs::path path = Work / "alarm.crf";
    WriteProjectFile(Parts(), path.string());

    auto doc = parseFile(path);
    pugi::xml_node c = doc.select_node("//SystemConnection").node();
    EXPECT_STREQ(c.attribute("SourceObject").value(), "alarm0+||+IPP_0");
    EXPECT_STREQ(c.attribute("TargetObject").value(), "IEC_Device0");
    EXPECT_STREQ(c.attribute("ConnectionType").value(), "10");

    Restart();
    OpenProject(W(), path.string());
    auto* dev2 = dynamic_cast<TslIECDevice*>(Layer().FindByName("IEC_Device0"));
    ASSERT_TRUE(dev2);
    // The file's inputs are the 64 defaults written out; the first free one
    // takes the IPP again.
    ASSERT_EQ(dev2->InputList.size(), 64u);
    EXPECT_EQ(dev2->InputList[0]->BoundObject, Layer().FindByName("alarm0+||+IPP_0"));
    EXPECT_EQ(Layer().Connections.at(0)->ConnectionType, 10);
}

TEST_F(ProjectTest, IptPictureInTheProgramImagesIsStoredByNameAndFoundOnAnyInstallation)
{
    StartProject();
    auto* hmi = dynamic_cast<TslIPT*>(Layer().AddObject("HMI_SCADA0", slIPT, 7, "images/hmi.bmp"));
    ASSERT_EQ(fs::path(hmi->ImageFileName), Home / "images" / "hmi.bmp");
    const std::string elsewhere = Work.Write("pictures/own.bmp", ReadFile(Home / "images" / "ALARM.bmp")).string();
    Layer().AddObject("IPT_1", slIPT, slCustomIptSubtype, elsewhere);
    const fs::path path = Work / "hmi.crf";
    WriteProjectFile(Parts(), path.string());

    auto doc = parseFile(path);
    auto ipts = doc.select_nodes("//TslIPTInstance");
    ASSERT_EQ(ipts.size(), 2u);
    EXPECT_STREQ(ipts[0].node().attribute("ImageFileName").value(), "images\\hmi.bmp");
    EXPECT_EQ(ipts[1].node().attribute("ImageFileName").value(), elsewhere);

    // Another installation: its own program folder with the same pictures.
    TempDir other;
    fs::copy(Home / "images", other / "images", fs::copy_options::recursive);
    TRecordingUserInterface ui;
    TWorkbench bench(other.Path(), ui);
    OpenProject(bench, path.string());
    EXPECT_THAT(ui.Messages(), IsEmpty());
    auto* read = dynamic_cast<TslIPT*>(bench.SystemLayer().FindByName("HMI_SCADA0"));
    ASSERT_TRUE(read);
    EXPECT_EQ(fs::path(read->ImageFileName), other / "images" / "hmi.bmp");
    EXPECT_EQ(read->TypeName, "HMI");
    EXPECT_EQ(read->Bitmap.Width, 80);
}

TEST_F(ProjectTest, DiagramIsListedWhenItHoldsAnythingAndWrittenBesideTheProject)
{
    StartProject();
    M().CreateDiagram("Nothing", 1.0);
    M().CreateDiagram("Notes only", 1.0)->AddNote()->Text = "to do";
    auto* ipt = dynamic_cast<TslIPT*>(Layer().AddObject("boiler0", slIPT, 2));
    M().CreateDiagram("Pictures only", 1.0)->AddIPPPicture(ipt->AddIpp("IPP_0", "INT", TslIPPRef::Sensor), 5, 6);
    TFB_Diagram* named = M().CreateDiagram("Named", 1.0);
    named->AddInstance("A", "COUNTER", false, nullptr);
    named->FileName = "line1"; // relative, without extension
    M().CreateDiagram("Twin", 1.0)->AddNote();
    M().CreateDiagram("Twin", 1.0)->AddNote();
    TFB_Diagram* device = M().CreateDiagram("SysLayer_InternalDevice_X", 1.0);
    device->IsInternalDeviceDiagram = true;
    device->AddInstance("D", "COUNTER", false, nullptr);
    const fs::path path = Work / "p.crf";
    WriteProjectFile(Parts(), path.string());

    auto doc = parseFile(path);
    std::vector<std::string> listed;
    for (auto n : doc.select_nodes("//FBNetworkFile"))
        listed.push_back(std::string(n.node().attribute("Name").value()) + " " + n.node().attribute("Filename").value());
    EXPECT_THAT(listed, ElementsAre("Notes only Notes only.fbn", "Pictures only Pictures only.fbn", "Named line1.fbn",
                                    "Twin Twin.fbn", "Twin Twin_2.fbn"));
    EXPECT_FALSE(fs::exists(Work / "Nothing.fbn"));
    EXPECT_FALSE(fs::exists(Work / "SysLayer_InternalDevice_X.fbn"));
    EXPECT_EQ(named->FileName, (Work / "line1.fbn").string());

    Restart();
    OpenProject(W(), path.string());
    EXPECT_THAT(UI.Messages(), IsEmpty());
    ASSERT_EQ(M().Diagrams.size(), 5u);
    EXPECT_EQ(M().Diagrams[0]->Notes.at(0)->Text, "to do");
    EXPECT_EQ(M().Diagrams[1]->IPPPictures.size(), 1u);
    EXPECT_EQ(M().Diagrams[2]->DrawnInstances.size(), 1u);
}

TEST_F(ProjectTest, DiagramFileElsewhereIsStoredWithItsFullName)
{
    StartProject();
    TempDir elsewhere;
    TFB_Diagram* d = M().CreateDiagram("Far", 1.0);
    d->AddInstance("A", "COUNTER", false, nullptr);
    d->FileName = (elsewhere / "far.fbn").string();
    const fs::path path = Work / "p.crf";
    WriteProjectFile(Parts(), path.string());
    auto doc = parseFile(path);
    EXPECT_EQ(doc.select_node("//FBNetworkFile").node().attribute("Filename").value(), d->FileName);
    EXPECT_TRUE(fs::exists(elsewhere / "far.fbn"));
}

TEST_F(ProjectTest, MovedProjectFolderStillOpens)
{
    BuildRichProject();
    const fs::path first = Work / "site" / "line.crf";
    fs::create_directories(first.parent_path());
    fs::rename(Work / "dev.dfb", Work / "site" / "dev.dfb");
    dynamic_cast<TslDevice*>(Layer().FindByName("IEC_Device0"))->InternalDeviceDiagramFilename =
        (Work / "site" / "dev.dfb").string();
    Project().FileName = first.string();
    WriteProjectFile(Parts(), first.string());
    const std::vector<std::string> before = DescribeProject(W());

    const fs::path moved = Work / "archive" / "2026";
    fs::create_directories(moved.parent_path());
    fs::rename(Work / "site", moved);
    Restart();
    OpenProject(W(), (moved / "line.crf").string());
    EXPECT_THAT(UI.Messages(), IsEmpty());
    EXPECT_EQ(DescribeProject(W()), before);
    EXPECT_EQ(M().Diagrams.at(0)->FileName, (moved / "Main.fbn").string());
    EXPECT_EQ(dynamic_cast<TslDevice*>(Layer().FindByName("IEC_Device0"))->InternalDeviceDiagramFilename,
              (moved / "dev.dfb").string());
}

TEST_F(ProjectTest, ProjectWrittenOnWindowsFindsItsFilesByTheirBareNames)
{
    Work.Write("line1.fbn", R"(<FBNetwork><FB Name="A" Type="COUNTER" x="600" y="600"/>
      <IPPDrawInstanceName Name="HMI_SCADA0.IPP_0" Type="BOOL" x="10" y="20"/></FBNetwork>)");
    Work.Write("dev0.dfb", "<FBNetwork IsInternalDeviceDiagram=\"true\"/>");
    Work.Write("plant.mdl", "model");
    UI.QueueAnswer(false); // do not connect the UML tool
    OpenText(R"(<?xml version="1.0"?>
<telvo_project Name="Plant" Comment="C:\TELVO\models\plant.mdl|from the old PC">
  <FBDiagrams><FBNetworkFile Name="" Filename="C:\plant\line1.fbn" Comment="main"/></FBDiagrams>
  <ProjectFBInstances><ProjFBInstance Name="A" FBType="COUNTER"/></ProjectFBInstances>
  <SystemLayer>
    <SystemLayerObjectList>
      <TslIECDeviceInstance Name="dev0" TypeName="" Description="" Left="1" Top="2" Width="72" Height="64"
          InternalDeviceDiagramFilename="C:\plant\dev0.dfb" DeviceIPAddress="" DeviceAddressPort="">
        <DownloadedFBInstanceList><FBInstance FBName="A"/></DownloadedFBInstanceList>
      </TslIECDeviceInstance>
    </SystemLayerObjectList>
    <SystemLayerIPTList>
      <TslIPTInstance Name="HMI_SCADA0" TypeName="HMI" Description="" Left="5" Top="6" Width="80" Height="64"
          ImageFileName="C:\Program Files\TELVO\images\hmi.bmp">
        <IPPList><TslIPPInstance Name="IPP_0" TypeName="BOOL" Description="" IsEventIPP="False" SensorActuator="0"/></IPPList>
      </TslIPTInstance>
    </SystemLayerIPTList>
  </SystemLayer>
</telvo_project>)",
             "plant.crf");
    EXPECT_THAT(UI.Messages(), IsEmpty());
    EXPECT_THAT(UI.Questions(),
                ElementsAre("The project needs a connection to Rational Rose. Continue with connecting to Rose?"));
    EXPECT_TRUE(Project().HasUmlModel);
    EXPECT_EQ(Project().UmlModelFile, (Work / "plant.mdl").string());
    EXPECT_EQ(Project().Comment, "from the old PC");
    ASSERT_EQ(M().Diagrams.size(), 1u);
    const TFB_Diagram& d = *M().Diagrams[0];
    EXPECT_EQ(d.Name, "line1.fbn"); // no name stored: the file's
    EXPECT_EQ(d.FileName, (Work / "line1.fbn").string());
    EXPECT_EQ(d.DrawnInstances.size(), 1u);
    EXPECT_EQ(d.IPPPictures.size(), 1u);
    auto* dev = dynamic_cast<TslDevice*>(Layer().FindByName("dev0"));
    EXPECT_EQ(dev->InternalDeviceDiagramFilename, (Work / "dev0.dfb").string());
    EXPECT_EQ(M().FindInstance("A")->Device, dev);
    EXPECT_EQ(fs::path(dynamic_cast<TslIPT*>(Layer().FindByName("HMI_SCADA0"))->ImageFileName),
              Home / "images" / "hmi.bmp");
}

TEST(ResolveProjectRelative, FindsStoredNamesBesideTheProjectNeverInTheWorkingFolder)
{
    TempDir dir;
    const std::string project = (dir / "p.crf").string();
    dir.Write("line.fbn", "x");
    dir.Write("sub/deep.fbn", "x");
    TempDir other;
    other.Write("far.fbn", "x");
    other.Write("line.fbn", "x");
    other.Write("only_here.fbn", "x");
    struct Case {
        std::string Stored;
        std::string Expected;
    };
    const Case cases[] = {
        {"", ""},
        {"line.fbn", (dir / "line.fbn").string()},
        {"sub/deep.fbn", (dir / "sub/deep.fbn").string()},
        {(other / "far.fbn").string(), (other / "far.fbn").string()},
        {(other / "line.fbn").string(), (other / "line.fbn").string()},
        {"/no/such/folder/line.fbn", (dir / "line.fbn").string()},
        {"C:\\plant\\line.fbn", (dir / "line.fbn").string()},
        {"D:/plant/line.fbn", (dir / "line.fbn").string()},
        {"missing.fbn", ""},
        {"sub", ""}, // a folder is no file
        {"only_here.fbn", ""},
        {"..", ""},
    };
    const fs::path cwd = fs::current_path();
    fs::current_path(other.Path()); // a relative name must not come from here
    for (const Case& c : cases)
        EXPECT_EQ(ResolveProjectRelative(project, c.Stored), c.Expected) << c.Stored;
    fs::current_path(cwd);
}

} // namespace
} // namespace telvo::test
