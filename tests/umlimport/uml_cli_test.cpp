// telvo uml import end to end: the tree and parse messages printed, the
// project built, saved, listed by `telvo project info` and simulated; a
// dry run writes nothing; a file that is no model fails cleanly. And the
// fixture is a file the real Umbrello reads.

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace telvo::uml {
namespace {

namespace fs = std::filesystem;
using telvo::test::RunProcess;
using telvo::test::TempDir;

class UmlCliTest : public ::testing::Test {
protected:
    UmlCliTest()
    {
        fs::copy(telvo::test::SourceDir() / "library", Home / "library", fs::copy_options::recursive);
        fs::copy(telvo::test::SourceDir() / "images", Home / "images", fs::copy_options::recursive);
        Crf = Work.Write("demo.crf", "<telvo_project Name=\"Demo\" Comment=\"|Empty\"/>\n");
        Model = telvo::test::TestDataDir() / "uml" / "filling.xmi";
    }
    telvo::test::ProcessResult Telvo(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--home", Home.Path().string()});
        return RunProcess(TELVO_CLI_PATH, args);
    }
    TempDir Home, Work;
    fs::path Crf, Model;
};

TEST_F(UmlCliTest, ImportsSavesListsAndSimulates)
{
    const auto r = Telvo({"uml", "import", Model.string(), "--project", Crf.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const std::string tree = telvo::test::ReadFile(telvo::test::TestDataDir() / "uml" / "filling.tree");
    EXPECT_EQ(r.Out.substr(0, tree.size()), tree);
    EXPECT_NE(r.Out.find("parse\tParsing message: setValve(open : BOOL) (Pump -> Tank)\n"), std::string::npos);
    const std::string tail = "type\t" + (Home / "library/imported/Controller.fbt").string() + "\ntype\t" +
                             (Home / "library/imported/Pump.fbt").string() + "\ndiagram\tfilling\t" +
                             (Work / "filling.fbn").string() + "\nsaved\t" + Crf.string() + "\n";
    ASSERT_GE(r.Out.size(), tail.size());
    EXPECT_EQ(r.Out.substr(r.Out.size() - tail.size()), tail);

    const auto info = Telvo({"project", "info", Crf.string()});
    ASSERT_EQ(info.ExitCode, 0) << info.Err;
    EXPECT_EQ(info.Out, "project\tDemo\t" + Crf.string() + "\numl\t\n" + "diagram\tfilling\t" +
                            (Work / "filling.fbn").string() +
                            "\tinstances=3\tevents=3\tdata=2\tippfb=4\tipp2ipp=0\tnotes=0\tipps=4\n"
                            "instance\tctl\tController\t\ninstance\tpump\tPump\t\ninstance\tfbPump\tPump\t\n"
                            "object\t9\ttank\tUndefined\n"
                            "ipp\ttank\tstart\tEVENT\tsensor\tevent\t\n"
                            "ipp\ttank\tgetLevel\tEVENT\tsensor\tevent\t\n"
                            "ipp\ttank\tsetValve\tEVENT\tactuator\tevent\t\n"
                            "ipp\ttank\tspeed\tINT\tsensor\tdata\t\n"
                            "ipp\ttank\topen\tBOOL\tactuator\tdata\t\n");

    const auto sim = Telvo({"simulate", Crf.string(), "--diagram", "filling", "--event", "ctl.start", "--steps", "2"});
    EXPECT_EQ(sim.ExitCode, 0) << sim.Err;
    EXPECT_NE(sim.Out.find("var\tctl.limit\t10"), std::string::npos) << sim.Out;
}

TEST_F(UmlCliTest, DryRunWritesNothing)
{
    const std::string before = telvo::test::ReadFile(Crf);
    const auto r = Telvo({"uml", "import", Model.string(), "--project", Crf.string(), "--dry-run"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out.find("saved\t"), std::string::npos);
    EXPECT_EQ(telvo::test::ReadFile(Crf), before);
    EXPECT_FALSE(fs::exists(Home / "library" / "imported"));
    EXPECT_FALSE(fs::exists(Work / "filling.fbn"));
}

TEST_F(UmlCliTest, WrongInputFailsCleanly)
{
    const fs::path notXmi = Work.Write("x.xmi", "<FBType Name=\"X\"/>");
    auto r = Telvo({"uml", "import", notXmi.string(), "--project", Crf.string()});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, "telvo: Not an XMI file: " + notXmi.string() + " (the root element is FBType)\n");
    r = Telvo({"uml", "import", Model.string()});
    EXPECT_EQ(r.ExitCode, 2);
    r = Telvo({"uml", "import", Model.string(), "--project", Crf.string(), "--bogus"});
    EXPECT_EQ(r.ExitCode, 2);
}

// The fixture is Umbrello's own kind of file: the real Umbrello, started
// headless, draws every diagram of it with the names and messages in place.
TEST(UmbrelloReadsTheFixture, ExportedPicturesShowTheModel)
{
    if (RunProcess("/bin/sh", {"-c", "command -v umbrello5 && command -v xvfb-run && command -v dbus-run-session"}).ExitCode != 0)
        GTEST_SKIP() << "umbrello5, xvfb-run or dbus-run-session is not installed: the fixture is not checked in Umbrello";
    TempDir out;
    fs::copy(telvo::test::TestDataDir() / "uml" / "filling.xmi", out / "filling.xmi");
    const auto r = RunProcess("/bin/sh", {"-c", "exec timeout 120 xvfb-run -a dbus-run-session -- umbrello5 --export svg "
                                                "--directory \"$0/svg\" \"$0/filling.xmi\"",
                                          out.Path().string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const std::string sequence = telvo::test::ReadFile(out / "svg" / "filling.svg");
    for (const char* text : {">tank : Tank<", ">ctl : Controller<", ">pump : Pump<", "> : Pump<",
                             ">start(speed : INT = 5)<", ">run(rate : INT)<", ">setValve(open : BOOL)<", ">stop()<"})
        EXPECT_NE(sequence.find(text), std::string::npos) << text;
    const std::string classes = telvo::test::ReadFile(out / "svg" / "classes.svg");
    for (const char* text : {">«FunctionBlock»<", ">«IndustrialProcessTerminator»<", ">- limit : INT = 10<"})
        EXPECT_NE(classes.find(text), std::string::npos) << text;
    EXPECT_TRUE(fs::exists(out / "svg" / "Main.svg"));
}

} // namespace
} // namespace telvo::uml
