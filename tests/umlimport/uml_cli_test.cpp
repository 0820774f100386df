// telvo uml import end to end: the tree and parse messages printed, the
// project built, saved, listed by `telvo project info` and simulated; a
// dry run writes nothing; a file that is no model fails cleanly. And the
// fixture is a file the real Umbrello reads.

#include "model/file_staging.h"
#include "support/test_support.h"
#include "support/xmi_text.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

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

// The example plant copied three folders down in the work folder, its
// types in the program folder's library; the model holds a class Pump with
// an operation run.
class UmlCliPlantTest : public UmlCliTest {
protected:
    UmlCliPlantTest()
    {
        fs::create_directories(P);
        for (const auto& e : fs::directory_iterator(telvo::test::SourceDir() / "examples" / "plant"))
            if (e.is_regular_file())
                fs::copy(e.path(), P / e.path().filename());
        fs::copy(telvo::test::SourceDir() / "examples" / "plant" / "library", Home / "library",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        Plant = P / "plant.crf";
    }
    fs::path WriteModel(const std::vector<std::pair<std::string, std::vector<telvo::test::TXmiText::TObject>>>& diagrams)
    {
        telvo::test::TXmiText xmi;
        xmi.Class("cPump", "Pump", "FunctionBlock", {"run"});
        for (const auto& [name, objects] : diagrams)
            xmi.SequenceDiagram(name, objects, "run");
        return Work.Write("model.xmi", xmi.Text());
    }
    // The line `project info` prints for a diagram.
    std::string InfoLine(const std::string& diagram)
    {
        const auto r = Telvo({"project", "info", Plant.string()});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        const std::string start = "diagram\t" + diagram + "\t";
        for (size_t at = 0; at < r.Out.size();) {
            const size_t end = r.Out.find('\n', at);
            const std::string line = r.Out.substr(at, end - at);
            if (line.rfind(start, 0) == 0)
                return line;
            at = end == std::string::npos ? r.Out.size() : end + 1;
        }
        return "no diagram " + diagram;
    }
    // Every file below the folder, relative to it.
    static std::vector<std::string> FilesBelow(const fs::path& folder)
    {
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (!e.is_directory())
                files.push_back(fs::relative(e.path(), folder).string());
        std::sort(files.begin(), files.end());
        return files;
    }
    fs::path P = Work / "a/b/c/p";
    fs::path Plant;
};

// A sequence diagram's name is its network file's name: a name that climbs
// out of the project folder is refused, and "line" does not take line.fbn,
// the network of "Filling line".
TEST_F(UmlCliPlantTest, DiagramNamesNeitherLeaveTheProjectNorTakeAnotherDiagramsFile)
{
    const std::string filling = InfoLine("Filling line");
    ASSERT_NE(filling.find("\tinstances=4\t"), std::string::npos) << filling;
    const fs::path model = WriteModel({{"line", {{"lp1", "cPump"}, {"lp2", "cPump"}}},
                                       {"../../../OUTSIDE", {{"out1", "cPump"}, {"out2", "cPump"}}},
                                       {"two\nlines", {{"l1", "cPump"}, {"l2", "cPump"}}}});
    const auto r = Telvo({"uml", "import", model.string(), "--project", Plant.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Err.find("The sequence diagram ../../../OUTSIDE is not imported: its name cannot be a file name\n"),
              std::string::npos)
        << r.Err;
    EXPECT_NE(r.Err.find("The sequence diagram two\\nlines is not imported: its name cannot be a file name (it holds "
                         "a line break)\n"),
              std::string::npos)
        << r.Err;
    EXPECT_NE(r.Out.find("diagram\tline\t" + (P / "line_2.fbn").string() + "\n"), std::string::npos) << r.Out;

    EXPECT_FALSE(fs::exists(Work / "a/OUTSIDE.fbn"));
    EXPECT_EQ(FilesBelow(Work / "a"), (std::vector<std::string>{"b/c/p/feeder_opc.dfb", "b/c/p/hmi.fbn",
                                                                "b/c/p/hmi_controller.dfb", "b/c/p/line.fbn",
                                                                "b/c/p/line_2.fbn", "b/c/p/line_controller.dfb",
                                                                "b/c/p/merged.fbn", "b/c/p/plant.crf"}));
    EXPECT_EQ(InfoLine("Filling line"), filling);
    EXPECT_EQ(InfoLine("line").rfind("diagram\tline\t" + (P / "line_2.fbn").string() + "\tinstances=2\t", 0), 0u)
        << InfoLine("line");
}

// A relative --project names the project from the working folder once; the
// project's own files are then found from the project's folder.
TEST_F(UmlCliPlantTest, RelativeProjectPathIsTakenOnce)
{
    const fs::path model = WriteModel({{"pumps", {{"p1", "cPump"}, {"p2", "cPump"}}}});
    const auto r = RunProcess("/bin/sh", {"-c", "cd \"$1\" && exec \"$0\" --home \"$2\" uml import \"$3\" --project p/plant.crf",
                                          TELVO_CLI_PATH, (Work / "a/b/c").string(), Home.Path().string(), model.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("diagram\tpumps\t" + (P / "pumps.fbn").string() + "\nsaved\t" + Plant.string() + "\n"),
              std::string::npos)
        << r.Out;
    EXPECT_FALSE(fs::exists(P / "p"));
    EXPECT_EQ(InfoLine("pumps").rfind("diagram\tpumps\t" + (P / "pumps.fbn").string() + "\tinstances=2\t", 0), 0u);
}

// A save that fails (the disk is full: here the files the command may
// write are limited to 32 KiB, below the size of the new network) keeps
// nothing: no type file, no network, the project file as it was.
TEST_F(UmlCliPlantTest, AFailedSaveKeepsNothing)
{
    std::vector<telvo::test::TXmiText::TObject> objects;
    for (int i = 0; i < 400; ++i)
        objects.push_back({"pump" + std::to_string(i), "cPump"});
    const fs::path model = WriteModel({{"many", objects}});
    const std::string project = telvo::test::ReadFile(Plant);
    const auto before = FilesBelow(Work.Path());
    const auto r = RunProcess("/bin/sh", {"-c", "trap '' XFSZ; ulimit -f 64; exec \"$0\" \"$@\"", TELVO_CLI_PATH,
                                          "--home", Home.Path().string(), "uml", "import", model.string(), "--project",
                                          Plant.string()});
    EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
    EXPECT_NE(r.Err.find("The UML import is taken back, nothing of it is kept: Cannot write file " +
                         (P / "many.fbn").string() + ": File too large"),
              std::string::npos)
        << r.Err;
    EXPECT_EQ(r.Out.find("saved\t"), std::string::npos);
    EXPECT_FALSE(fs::exists(Home / "library/imported"));
    EXPECT_EQ(FilesBelow(Work.Path()), before);
    EXPECT_EQ(telvo::test::ReadFile(Plant), project);
}

// An import killed half-way leaves no type file in the library: what it had
// staged is not indexed, and the next import removes it.
TEST_F(UmlCliPlantTest, AKilledImportLeavesNoHalfWrittenLibrary)
{
    telvo::test::TXmiText xmi;
    std::vector<std::string> ids;
    for (int i = 0; i < 4000; ++i) {
        ids.push_back("c" + std::to_string(i));
        xmi.Class(ids.back(), "Kind" + std::to_string(i), "FunctionBlock", {"go"});
    }
    const fs::path model = Work.Write("many.xmi", xmi.ClassDiagram(ids).Text());
    const std::string project = telvo::test::ReadFile(Plant);
    const fs::path imported = Home / "library/imported";

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execl(TELVO_CLI_PATH, TELVO_CLI_PATH, "--home", Home.Path().c_str(), "uml", "import", model.c_str(),
                "--project", Plant.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Killed as soon as anything shows in library/imported.
    int status = 0;
    bool killed = false;
    for (;;) {
        std::error_code ec;
        if (!fs::is_empty(imported, ec) && !ec) {
            killed = ::kill(pid, SIGKILL) == 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            break;
        }
        if (::waitpid(pid, &status, WNOHANG) == pid)
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(killed && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the import was not killed half-way";

    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(imported))
        if (!IsStagingFolderName(e.path().filename().string()))
            left.push_back(e.path().filename().string());
    EXPECT_TRUE(left.empty()) << left.size() << " files, the first " << left.front();
    EXPECT_EQ(telvo::test::ReadFile(Plant), project);
    const auto index = Telvo({"library", "index"});
    EXPECT_EQ(index.Out.find("Kind0"), std::string::npos);

    // The next import runs whole and sweeps what the killed one left.
    const auto again =
        Telvo({"uml", "import", WriteModel({{"again", {{"a1", "cPump"}}}}).string(), "--project", Plant.string()});
    ASSERT_EQ(again.ExitCode, 0) << again.Err;
    EXPECT_EQ(FilesBelow(imported), std::vector<std::string>{"Pump.fbt"});
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
