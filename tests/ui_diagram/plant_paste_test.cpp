// Copy and paste on the example plant: three connected instances of the
// filling line go into a new diagram of the project, which saves and reads
// back with them as `telvo project info` shows.

#include "editor_fixture.h"
#include "model/fb_diagram.h"
#include "workbench/project_lifecycle.h"

#include <QTest>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace telvo::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

bool has(const std::vector<std::string>& list, const std::string& line)
{
    return std::find(list.begin(), list.end(), line) != list.end();
}

TEST(PlantPaste, ThreeConnectedInstancesOfTheLineIntoANewDiagramSaveAndReadBack)
{
    TempDir home, project;
    fs::copy(BuiltProgramDir() / "library", home.Path() / "library", fs::copy_options::recursive);
    for (const auto& entry : fs::directory_iterator(SourceDir() / "examples" / "plant"))
        if (entry.is_regular_file())
            fs::copy_file(entry.path(), project.Path() / entry.path().filename());
    const std::string crf = (project.Path() / "plant.crf").string();

    TRecordingUserInterface ui;
    auto workbench = std::make_unique<TWorkbench>(home.Path(), ui);
    workbench->IndexLibrary();
    OpenProject(*workbench, crf);
    TFB_Manager& m = workbench->FBManager();
    auto line = std::find_if(m.Diagrams.begin(), m.Diagrams.end(), [](auto& d) { return d->Name == "Filling line"; });
    ASSERT_NE(line, m.Diagrams.end());

    TfrmDesignFBDiagram lineWindow(*workbench, nullptr);
    lineWindow.resize(1000, 700);
    lineWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&lineWindow));
    lineWindow.AttachDiagram(line->get());
    // bottle_split.EO1 -> station.REQ and motor.Q -> station.ENABLE.
    for (const char* name : {"bottle_split", "station", "motor"})
        (*line)->Select((*line)->FindDrawn(name));
    lineWindow.CopyClick();
    ASSERT_EQ(lineWindow.StatusText(), QString("Copied 3 objects"));

    TFB_Diagram* copy = m.CreateDiagram("Copied line", 1.0);
    copy->FileName = (project.Path() / "copied.fbn").string();
    TfrmDesignFBDiagram copyWindow(*workbench, nullptr);
    copyWindow.resize(1000, 700);
    copyWindow.show();
    copyWindow.AttachDiagram(copy);
    copyWindow.PasteClick();
    ASSERT_EQ(copy->DrawnInstances.size(), 3u) << copyWindow.StatusText().toStdString();
    EXPECT_EQ(copy->DrawnInstances[0]->Ref->Name, "bottle_split_1");
    EXPECT_EQ(copy->DrawnInstances[1]->Ref->Name, "motor_1");
    EXPECT_EQ(copy->DrawnInstances[2]->Ref->Name, "station_1");
    // Connected among themselves only: the stubs to the rest of the line
    // (bottle_split.EO2 -> bottles.CU ...) stay behind.
    ASSERT_EQ(copy->EventLines.size(), 1u);
    EXPECT_EQ(copy->EventLines[0]->Ref->SourceInstance->Name, "bottle_split_1");
    EXPECT_EQ(copy->EventLines[0]->Ref->DestInstance->Name, "station_1");
    ASSERT_EQ(copy->DataLines.size(), 1u);
    EXPECT_EQ(copy->DataLines[0]->Ref->SourceInstance->Name, "motor_1");
    EXPECT_EQ(m.FindInstance("station_1")->DataInputs.size(), m.FindInstance("station")->DataInputs.size());
    EXPECT_EQ(m.FindInstance("station_1")->FindDataInput("BATCH")->ValueText, "6") << "constants come along";
    EXPECT_EQ((*line)->DrawnInstances.size(), 4u) << "the line is as it was";

    SaveProject(*workbench);
    EXPECT_TRUE(ui.Messages().empty()) << ui.Messages().front();
    workbench.reset();

    const ProcessResult r = RunProcess(TELVO_CLI_PATH, {"--home", home.Path().string(), "project", "info", crf});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const auto out = lines(r.Out);
    EXPECT_TRUE(std::any_of(out.begin(), out.end(),
                            [](const std::string& l) {
                                return l.rfind("diagram\tCopied line\t", 0) == 0 &&
                                       l.find("\tinstances=3\tevents=1\tdata=1\t") != std::string::npos;
                            }))
        << r.Out;
    for (const char* want : {"instance\tbottle_split_1\tE_SPLIT\t", "instance\tmotor_1\tE_SR\t",
                             "instance\tstation_1\tFILL_STATION\t", "instance\tstation\tFILL_STATION\tIEC_Device0"})
        EXPECT_TRUE(has(out, want)) << want << "\n" << r.Out;
}

} // namespace
} // namespace telvo::test
