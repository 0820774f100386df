// Project files that are missing, malformed, or name what is not there.

#include "model/file_util.h"
#include "project/project_fixture.h"

#include <gmock/gmock.h>

namespace telvo::test {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// A small project that reads without a word: one diagram with one instance
// on one device.
const char* const kGoodProject = R"(<telvo_project Name="Good" Comment="|fine">
  <FBDiagrams><FBNetworkFile Name="D" Filename="good.fbn" Comment=""/></FBDiagrams>
  <ProjectFBInstances><ProjFBInstance Name="A" FBType="COUNTER"/></ProjectFBInstances>
  <SystemLayer><SystemLayerObjectList>
    <TslIECDeviceInstance Name="dev" TypeName="" DeviceIPAddress="" DeviceAddressPort="">
      <DownloadedFBInstanceList><FBInstance FBName="A"/></DownloadedFBInstanceList>
    </TslIECDeviceInstance>
  </SystemLayerObjectList></SystemLayer>
</telvo_project>)";

class ProjectInputTest : public ProjectTest {
protected:
    ProjectInputTest() { Work.Write("good.fbn", R"(<FBNetwork><FB Name="A" Type="COUNTER"/></FBNetwork>)"); }

    // Opens the good project, then tries `path`: the error must name
    // `named`, the good project must be closed and nothing of `path` left.
    void ExpectRefused(const fs::path& path, const std::string& named)
    {
        OpenText(kGoodProject, "good.crf");
        ASSERT_EQ(Project().Name, "Good");
        UI.Clear();
        try {
            OpenProject(W(), path.string());
            ADD_FAILURE() << path << " opened";
        } catch (const std::exception& e) {
            EXPECT_THAT(e.what(), HasSubstr(named)) << path;
        }
        EXPECT_THAT(UI.Questions(), ElementsAre("Save changes to project: Good"));
        EXPECT_THAT(UI.LogLines(), Contains("Close active project Good"));
        EXPECT_FALSE(Project().IsOpen()) << path;
        EXPECT_TRUE(Project().FileName.empty());
        EXPECT_TRUE(M().Diagrams.empty()) << path;
        EXPECT_TRUE(M().Instances.empty()) << path;
        EXPECT_TRUE(Layer().Objects.empty()) << path;
        EXPECT_TRUE(Layer().Connections.empty()) << path;
    }
};

TEST_F(ProjectInputTest, FileThatIsNoProjectIsRefusedNamingItAndLeavesNoProject)
{
    const std::string project = R"(<telvo_project Name="Bad" Comment="|">)";
    struct Case {
        const char* Name;
        std::string Text;
    };
    const Case cases[] = {
        {"empty.crf", ""},
        {"not_xml.crf", "this is no XML"},
        {"truncated.crf", project + R"(<SystemLayer><SystemLayerObjectList><TslSwitchInstance Name="s"/>)"},
        {"other_root.crf", R"(<FBNetwork><FB Name="A" Type="COUNTER"/></FBNetwork>)"},
        {"binary.crf", std::string("\0\xff\xfe<\x01", 5)},
    };
    for (const Case& c : cases)
        ExpectRefused(Work.Write(c.Name, c.Text), c.Name);
    ExpectRefused(Work / "missing.crf", "missing.crf");
    fs::create_directories(Work / "folder.crf");
    ExpectRefused(Work / "folder.crf", "folder.crf");
}

TEST_F(ProjectInputTest, MalformedNetworkFileLeavesNoHalfReadProject)
{
    // The project file reads; its second diagram's network file does not.
    Work.Write("broken.fbn", "<FBNetwork><FB Name=");
    Work.Write("other.fbn", "<FBType Name=\"X\"/>");
    const std::string head = R"(<telvo_project Name="Half" Comment="|">
      <FBDiagrams><FBNetworkFile Name="D" Filename="good.fbn" Comment=""/>
        <FBNetworkFile Name="E" Filename=")";
    const std::string tail = R"(" Comment=""/></FBDiagrams>
      <ProjectFBInstances><ProjFBInstance Name="A" FBType="COUNTER"/></ProjectFBInstances>
      <SystemLayer><SystemLayerObjectList><TslSwitchInstance Name="s"/></SystemLayerObjectList></SystemLayer>
    </telvo_project>)";
    ExpectRefused(Work.Write("half.crf", head + "broken.fbn" + tail), "broken.fbn");
    ExpectRefused(Work.Write("half2.crf", head + "other.fbn" + tail), "other.fbn");
}

TEST_F(ProjectInputTest, WhatNamesNothingIsSkippedWithAMessageAndTheRestIsRead)
{
    OpenText(R"(<telvo_project Name="Partly" Comment="|">
  <FBDiagrams>
    <FBNetworkFile Name="D" Filename="good.fbn" Comment=""/>
    <FBNetworkFile Name="Lost" Filename="C:\old\lost.fbn" Comment=""/>
  </FBDiagrams>
  <ProjectFBInstances>
    <ProjFBInstance Name="A" FBType="COUNTER"/>
    <ProjFBInstance Name="U" FBType="NO_SUCH_TYPE"/>
    <ProjFBInstance Name="E" FBType=""/>
    <ProjFBInstance Name="A" FBType="E_SPLIT"/>
  </ProjectFBInstances>
  <SystemLayer>
    <SystemLayerObjectList>
      <TslIECDeviceInstance Name="dev" TypeName="">
        <IPPList><TslIPPInstance Name="own" TypeName="INT" IsEventIPP="False" SensorActuator="0"/></IPPList>
        <DownloadedFBInstanceList><FBInstance FBName="A"/><FBInstance FBName="U"/></DownloadedFBInstanceList>
      </TslIECDeviceInstance>
    </SystemLayerObjectList>
    <SystemLayerIPTList>
      <TslIPTInstance Name="odd0" TypeName="Spaceship" ImageFileName="">
        <IPPList><TslIPPInstance Name="IPP_0" TypeName="BOOL" IsEventIPP="False" SensorActuator="0"/></IPPList>
      </TslIPTInstance>
      <TslIPTInstance Name="boiler1" TypeName="Boiler" ImageFileName="images\boiler.bmp">
        <IPPList><TslIPPInstance Name="IPP_0" TypeName="BOOL" IsEventIPP="False" SensorActuator="0"/></IPPList>
      </TslIPTInstance>
    </SystemLayerIPTList>
    <SystemLayerConnectionList>
      <SystemConnection Name="c0" ConnectionType="10" SourceObject="odd0+||+IPP_0" TargetObject="dev"/>
      <SystemConnection Name="c1" ConnectionType="10" SourceObject="boiler1+||+IPP_0" TargetObject="ghost"/>
      <SystemConnection Name="c2" ConnectionType="10" SourceObject="dev+||+own" TargetObject="dev"/>
      <SystemConnection Name="c3" ConnectionType="10" SourceObject="boiler1+||+IPP_9" TargetObject="dev"/>
      <SystemConnection Name="c4" ConnectionType="3" Description="kept" SourceObject="boiler1+||+IPP_0" TargetObject="dev"/>
    </SystemLayerConnectionList>
  </SystemLayer>
</telvo_project>)");
    const std::string file = (Work / "p.crf").string() + ": ";
    EXPECT_THAT(UI.Messages(),
                ElementsAre(file + "IPT odd0 is not read: \"Spaceship\" is no IPT type",
                            file + "system connection c0 from odd0+||+IPP_0 to dev is not made: there is no object "
                                   "odd0+||+IPP_0",
                            file + "system connection c1 from boiler1+||+IPP_0 to ghost is not made: there is no "
                                   "object ghost",
                            file + "system connection c2 from dev+||+own to dev is not made: there is no object "
                                   "dev+||+own",
                            file + "system connection c3 from boiler1+||+IPP_9 to dev is not made: there is no "
                                   "object boiler1+||+IPP_9",
                            "Filetype not found" + (Home / "library").string() + "/NO_SUCH_TYPE.fbt (needed by project file " +
                                (Work / "p.crf").string() + ")",
                            file + "FB instance U is not read: its type \"NO_SUCH_TYPE\" cannot be loaded",
                            file + "FB instance E is not read: its type \"\" cannot be loaded",
                            file + "the FB network file \"C:\\old\\lost.fbn\" of diagram Lost is not found",
                            file + "FB instance U is not distributed to dev: it is in no diagram"));

    // The rest is there, and nothing went to the wrong object.
    EXPECT_EQ(Project().Name, "Partly");
    ASSERT_EQ(Layer().Objects.size(), 2u);
    EXPECT_EQ(Layer().FindByName("odd0"), nullptr);
    ASSERT_EQ(Layer().Connections.size(), 1u);
    const TSystemConnection& kept = *Layer().Connections[0];
    EXPECT_EQ(kept.Name, "c4");
    EXPECT_EQ(kept.Description, "kept");
    EXPECT_EQ(kept.ConnectionType, 10); // derived from the ends, not read
    ASSERT_EQ(M().Instances.size(), 1u);
    EXPECT_EQ(M().Instances[0]->Type->Name, "COUNTER");
    auto* dev = dynamic_cast<TslDevice*>(Layer().FindByName("dev"));
    EXPECT_THAT(dev->DownloadedFBInstanceList, ElementsAre(M().Instances[0].get()));
    ASSERT_EQ(M().Diagrams.size(), 2u);
    EXPECT_TRUE(M().Diagrams[1]->FileName.empty());
}

TEST_F(ProjectInputTest, NumbersThatAreNoneKeepTheDefaultAndSaySo)
{
    OpenText(R"(<telvo_project Name="N" Comment="|"><SystemLayer><SystemLayerObjectList>
      <TslSwitchInstance Name="s" Left="12.5" Top="abc" Width="99999999999" Height=" 7 "/>
      <TslIECDeviceInstance Name="d"><IPPList>
        <TslIPPInstance Name="i" SensorActuator="2"/><TslIPPInstance Name="j" SensorActuator="x"/>
      </IPPList></TslIECDeviceInstance>
    </SystemLayerObjectList></SystemLayer></telvo_project>)");
    const TslObject* s = Layer().FindByName("s");
    EXPECT_EQ(s->Left, 12); // halves go to the even neighbour
    EXPECT_EQ(s->Top, 20);
    EXPECT_EQ(s->Height, 7);
    auto* d = dynamic_cast<TslDevice*>(Layer().FindByName("d"));
    EXPECT_EQ(d->IPPList.at(0)->SensorActuator, TslIPPRef::Actuator);
    EXPECT_EQ(d->IPPList.at(1)->SensorActuator, TslIPPRef::Sensor);
    const std::string file = (Work / "p.crf").string() + ": ";
    // Devices are read before switches.
    EXPECT_THAT(UI.Messages(), ElementsAre(file + "TslIPPInstance j: SensorActuator \"x\" is no number",
                                           file + "TslSwitchInstance s: Top \"abc\" is no number",
                                           file + "TslSwitchInstance s: Width \"99999999999\" is no number"));
}

TEST_F(ProjectInputTest, ProjectWithoutATitleTakesTheFileName)
{
    OpenText(R"(<telvo_project Comment="no bar here"><ProjectFBInstances>
      <ProjFBInstance Name="A" FBType="COUNTER"/></ProjectFBInstances></telvo_project>)",
             "untitled.crf");
    EXPECT_EQ(Project().Name, "untitled");
    EXPECT_TRUE(Project().UmlModelFile.empty());
    EXPECT_EQ(Project().Comment, "no bar here");
    // Open, so the next open closes it with all it holds.
    OpenText(kGoodProject, "good.crf");
    EXPECT_THAT(UI.LogLines(), Contains("Close active project untitled"));
    EXPECT_EQ(M().Instances.size(), 1u);
}

} // namespace
} // namespace telvo::test
