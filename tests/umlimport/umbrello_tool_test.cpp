// The Umbrello link's model files: a new model with the diagrams and use
// cases the workbench adds reads back, and the real Umbrello draws it.

#include "model/user_interface.h"
#include "support/test_support.h"
#include "umlimport/umbrello_tool.h"

#include <gtest/gtest.h>

namespace telvo::uml {
namespace {

namespace fs = std::filesystem;
using telvo::test::TempDir;

TEST(UmbrelloTool, NewModelWithDiagramsAndUseCasesReadsBack)
{
    TempDir dir;
    TRecordingUserInterface ui;
    TUmbrelloTool tool(ui, "-");
    const fs::path file = dir / "plant.xmi";
    tool.NewModel(file.string());
    ASSERT_NE(tool.Model.FindClass("IndustrialProcessTerminator"), nullptr);
    EXPECT_EQ(tool.Model.FindClass("IndustrialProcessTerminator")->Stereotype, "Actor");
    ASSERT_TRUE(AddUseCaseDiagram(file, "Main"));
    ASSERT_TRUE(AddUseCase(file, "Main", "Fill the tank"));
    ASSERT_TRUE(AddInteractionDiagram(file, "Filling"));
    EXPECT_TRUE(tool.Refresh());
    EXPECT_FALSE(tool.Refresh()); // unchanged since
    EXPECT_EQ(tool.Model.UseCaseDiagrams, std::vector<std::string>{"Main"});
    EXPECT_EQ(tool.Model.UseCases, std::vector<std::string>{"Fill the tank"});
    ASSERT_EQ(tool.Model.SequenceDiagrams.size(), 1u);
    EXPECT_EQ(tool.Model.SequenceDiagrams[0].Name, "Filling");
    EXPECT_TRUE(tool.Model.Problems.empty());

    const fs::path notModel = dir.Write("x.xmi", "<FBType/>");
    EXPECT_FALSE(AddUseCaseDiagram(notModel, "Main"));
    EXPECT_EQ(telvo::test::ReadFile(notModel), "<FBType/>");

    if (telvo::test::RunProcess("/bin/sh", {"-c", "command -v umbrello5 && command -v xvfb-run"}).ExitCode != 0)
        GTEST_SKIP() << "umbrello5 or xvfb-run is not installed: the new model is not checked in Umbrello";
    const auto r = telvo::test::RunProcess(
        "/bin/sh", {"-c", "exec timeout 120 xvfb-run -a dbus-run-session -- umbrello5 --export svg --directory \"$0/svg\" \"$0/plant.xmi\"",
                    dir.Path().string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const std::string main = telvo::test::ReadFile(dir / "svg" / "Main.svg");
    EXPECT_NE(main.find(">Fill the tank<"), std::string::npos);
    // The note wraps over several lines of the picture.
    EXPECT_NE(main.find("TELVO ZOZE notice:"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "svg" / "Filling.svg"));
}

TEST(UmbrelloTool, ConnectLooksForTheProgram)
{
    TRecordingUserInterface ui;
    TUmbrelloTool tool(ui, "-");
    tool.Program = "no-such-umbrello-program";
    tool.Connect();
    EXPECT_FALSE(tool.Connected);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Umbrello not found..."});
    tool.Program = "/bin/sh";
    tool.Connect();
    EXPECT_TRUE(tool.Connected);
}

} // namespace
} // namespace telvo::uml
