// telvo deploy on the example project: its two IEC devices are listeners on
// 127.0.0.1, its OPC device gets a configuration file.

#include "deploy/recording_listener.h"
#include "support/test_support.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <sstream>

namespace telvo::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Lines = std::vector<std::string>;

Lines lines(const std::string& text)
{
    Lines out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// A program folder with the built library (the example's own types
// included), and a copy of the example project whose devices listen where
// the test says.
class DeployCliTest : public ::testing::Test {
protected:
    DeployCliTest()
    {
        fs::copy(BuiltProgramDir() / "library", Home / "library", fs::copy_options::recursive);
        for (const auto& entry : fs::directory_iterator(SourceDir() / "examples" / "plant"))
            if (entry.is_regular_file())
                fs::copy_file(entry.path(), Project / entry.path().filename().string());
        Crf = (Project / "plant.crf").string();
    }

    // The line controller and the panel controller at these ports.
    void SetPorts(const std::string& line, const std::string& panel)
    {
        std::string text = ReadFile(Crf);
        text = replaced(text, "DeviceAddressPort=\"61499\"", "DeviceAddressPort=\"" + line + "\"");
        text = replaced(text, "DeviceAddressPort=\"61500\"", "DeviceAddressPort=\"" + panel + "\"");
        Project.Write("plant.crf", text);
    }

    ProcessResult Deploy(const std::vector<std::string>& args)
    {
        std::vector<std::string> all{"--home", Home.Path().string(), "deploy"};
        all.insert(all.end(), args.begin(), args.end());
        return RunProcess(TELVO_CLI_PATH, all);
    }

    // The command sets printed by --form xml, split by device.
    std::vector<Lines> CommandSets()
    {
        auto r = Deploy({Crf, "--form", "xml"});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        std::vector<Lines> sets;
        for (const auto& l : lines(r.Out)) {
            if (l.rfind("<DEVICE_COMMANDSET ", 0) == 0)
                sets.emplace_back();
            if (!sets.empty())
                sets.back().push_back(l);
        }
        return sets;
    }

    static std::string Bytes(const Lines& set)
    {
        std::string out;
        for (const auto& l : set)
            out += l;
        return out;
    }

    static Lines Shown(const std::string& device, const Lines& set)
    {
        Lines out{"Establishing communication with device :" + device, "Communication with " + device + " is established!"};
        for (const auto& l : set)
            out.push_back(" >" + l);
        return out;
    }

    TempDir Home, Project;
    std::string Crf;
};

TEST_F(DeployCliTest, TheExampleProjectDeploysToTwoDevices)
{
    const std::vector<Lines> sets = CommandSets();
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].front(), "<DEVICE_COMMANDSET DEVICENAME=\"IEC_Device0\" >");
    EXPECT_EQ(sets[1].front(), "<DEVICE_COMMANDSET DEVICENAME=\"IEC_Device1\" >");
    // The start button on the panel starts the conveyer motor on the line.
    const std::string set0 = Bytes(sets[0]), set1 = Bytes(sets[1]);
    EXPECT_THAT(set0, HasSubstr("<STRING>IEC_Device1::start_split::EO1</STRING>\t\t<STRING>IEC_Device0::motor::S</STRING>"));
    EXPECT_THAT(set1, HasSubstr("<COMMAND ACTION=\"PUBLISH\" TYPE=\"EVENT\" COMMENT=\"PUBLISH an Event Connection.\">"
                                "\t\t<STRING>IEC_Device1::start_split::EO1</STRING></COMMAND>"));

    TRecordingListener line, panel;
    SetPorts(line.Port(), panel.Port());
    auto r = Deploy({Crf, "--form", "xml", "--send"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    Lines expected = Shown("IEC_Device0", sets[0]);
    const Lines second = Shown("IEC_Device1", sets[1]);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_THAT(lines(r.Out), ElementsAreArray(expected));
    EXPECT_EQ(line.Received(), set0);
    EXPECT_EQ(panel.Received(), set1);
}

TEST_F(DeployCliTest, ADeviceNotFoundEndsTheRunWithItsName)
{
    const std::vector<Lines> sets = CommandSets();
    ASSERT_EQ(sets.size(), 2u);
    TRecordingListener line;
    SetPorts(line.Port(), ClosedPort());
    auto r = Deploy({Crf, "--form", "xml", "--send"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, "Device IEC_Device1 not found in specified address and port.\n");
    Lines expected = Shown("IEC_Device0", sets[0]);
    expected.push_back("Establishing communication with device :IEC_Device1");
    EXPECT_THAT(lines(r.Out), ElementsAreArray(expected));
    EXPECT_EQ(line.Received(), Bytes(sets[0]));
}

TEST_F(DeployCliTest, ScriptFormShowsEveryDevice)
{
    auto r = Deploy({Crf, "--form", "script"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    Lines heads;
    for (const auto& l : lines(r.Out))
        if (l.rfind("Establishing", 0) == 0)
            heads.push_back(l);
    EXPECT_THAT(heads, ElementsAre("Establishing communication with device :IEC_Device0",
                                   "Establishing communication with device :OPC_Device0",
                                   "Establishing communication with device :IEC_Device1"));
    EXPECT_THAT(lines(r.Out), ::testing::Contains("devA.cmdCreateFBInstance(\"valve_item\",\"OPCBool\"); "));
    EXPECT_THAT(lines(r.Out), ::testing::Contains("//CONSTANT CONNECTIO NNOT ADDED!!! "));
}

TEST_F(DeployCliTest, KaloFilesGoToTheKaloFolderOrWhereAsked)
{
    TempDir out;
    auto asked = Deploy({Crf, "--form", "kalo", "--out", (out / "configs").string()});
    EXPECT_EQ(asked.ExitCode, 0) << asked.Err;
    const fs::path file = out / "configs" / "OPC_Device0_KALOconfig.xml";
    EXPECT_THAT(lines(asked.Out), ElementsAre(file.string()));
    const Lines text = lines(ReadFile(file));
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text[0], "<!--Making KALO OPC configuration for device :OPC_Device0 -->");
    EXPECT_EQ(text[1], "<DEVICE_COMMANDSET DEVICENAME=\"OPC_Device0\" >");
    EXPECT_EQ(text.back(), "</DEVICE_COMMANDSET>");

    auto byDefault = Deploy({Crf, "--form", "kalo"});
    EXPECT_EQ(byDefault.ExitCode, 0) << byDefault.Err;
    const fs::path kalo = Home / "KALO" / "OPC_Device0_KALOconfig.xml";
    EXPECT_THAT(lines(byDefault.Out), ElementsAre(kalo.string()));
    EXPECT_EQ(ReadFile(kalo), ReadFile(file));
}

TEST_F(DeployCliTest, ADeviceNameThatIsNoFileNameIsRefused)
{
    Project.Write("plant.crf", replaced(ReadFile(Crf), "Name=\"OPC_Device0\"", "Name=\"../OPC\""));
    TempDir out;
    auto r = Deploy({Crf, "--form", "kalo", "--out", out.Path().string()});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_THAT(r.Err, HasSubstr("../OPC_KALOconfig.xml cannot be a file name in"));
    EXPECT_TRUE(fs::is_empty(out.Path()));
    EXPECT_FALSE(fs::exists(out.Path().parent_path() / "OPC_KALOconfig.xml"));
}

TEST_F(DeployCliTest, WrongUseAndMissingFiles)
{
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* error;
    };
    const std::string crf = Crf;
    const Case cases[] = {
        {{crf}, 2, "telvo: deploy: --form must be xml, script or kalo\n"},
        {{crf, "--form", "json"}, 2, "telvo: deploy: --form must be xml, script or kalo\n"},
        {{crf, "--form"}, 2, "telvo: deploy: --form needs xml, script or kalo\n"},
        {{crf, "--form", "script", "--send"}, 2, "telvo: deploy: --send goes with --form xml only\n"},
        {{crf, "--form", "xml", "--send", "--out", "x"}, 2, "telvo: deploy: --out does not go with --send\n"},
        {{crf, "--form", "kalo", "--out"}, 2, "telvo: deploy: --out needs a folder\n"},
        {{crf, "--form", "xml", "--fast"}, 2, "telvo: deploy: unknown option --fast\n"
                                                 "usage: telvo [--home DIR] deploy FILE.crf --form xml|script|kalo "
                                                 "[--send] [--out DIR]\n"},
        {{"--form", "xml"}, 2, "telvo: deploy needs a project file\n"},
        {{crf, crf, "--form", "xml"}, 2, "telvo: deploy takes one project file\n"},
    };
    for (const Case& c : cases) {
        auto r = Deploy(c.args);
        EXPECT_EQ(r.ExitCode, c.exitCode) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.Err, c.error) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.Out, "");
    }
    auto missing = Deploy({(Project / "missing.crf").string(), "--form", "xml"});
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_THAT(missing.Err, StartsWith("telvo: "));
    EXPECT_THAT(missing.Err, HasSubstr("missing.crf"));
}

TEST_F(DeployCliTest, OutWritesEachDevicesSetBesideThePrintedText)
{
    struct Case {
        const char* form;
        const char* extension;
        Lines devices;
    };
    const Case cases[] = {
        {"xml", ".xml", {"IEC_Device0", "IEC_Device1"}},
        {"script", ".txt", {"IEC_Device0", "OPC_Device0", "IEC_Device1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        TempDir out;
        const auto printed = Deploy({Crf, "--form", c.form});
        const auto written = Deploy({Crf, "--form", c.form, "--out", (out / "sets").string()});
        ASSERT_EQ(written.ExitCode, 0) << written.Err;
        EXPECT_EQ(written.Out, printed.Out);
        // Each file holds what was printed for its device, heading left out.
        std::string joined;
        for (const auto& device : c.devices) {
            const fs::path file = out / "sets" / (device + c.extension);
            ASSERT_TRUE(fs::exists(file)) << file;
            const std::string text = ReadFile(file);
            EXPECT_FALSE(text.empty());
            if (std::string(c.form) == "script")
                joined += "Establishing communication with device :" + device + "\n";
            joined += text;
        }
        EXPECT_EQ(joined, printed.Out);
        size_t files = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(out / "sets"))
            ++files;
        EXPECT_EQ(files, c.devices.size());
    }
}

TEST_F(DeployCliTest, AProjectWithoutDevicesSaysSo)
{
    // The same project with its system layer emptied.
    std::string text = ReadFile(Crf);
    const size_t from = text.find("<SystemLayer>");
    const size_t to = text.find("</SystemLayer>");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    text.replace(from, to + std::string("</SystemLayer>").size() - from, "<SystemLayer/>");
    Project.Write("plant.crf", text);
    const struct {
        std::vector<std::string> args;
        const char* what;
    } cases[] = {
        {{"--form", "xml"}, "IEC device"},
        {{"--form", "xml", "--send"}, "IEC device"},
        {{"--form", "script"}, "IEC or OPC device"},
        {{"--form", "kalo"}, "OPC device"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{Crf};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto r = Deploy(args);
        EXPECT_EQ(r.ExitCode, 1) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.Out, "");
        EXPECT_THAT(r.Err, HasSubstr(std::string("the project has no ") + c.what + " to deploy to\n"));
    }
}

} // namespace
} // namespace telvo::test
