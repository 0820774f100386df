// telvo deploy on the example project: its two IEC devices are listeners on
// 127.0.0.1, its OPC device gets a configuration file.

#include "deploy/forte_responder.h"
#include "deploy/recording_listener.h"
#include "support/test_support.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <memory>
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
        if (Original.empty())
            Original = ReadFile(Crf);
        std::string text = Original;
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
    std::string Crf, Original;
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

// A device's file in the --out folder that is a link to a missing file:
// no file is made where it points, the link stays and the other devices'
// files are written. A link to an existing file is written through.
TEST_F(DeployCliTest, OutMakesNoNewFileThroughALink)
{
    struct Case {
        const char* form;
        const char* file;   // the device file that is a link
        const char* other;  // a file of another device, written all the same
    };
    const Case cases[] = {
        {"xml", "IEC_Device0.xml", "IEC_Device1.xml"},
        {"script", "OPC_Device0.txt", "IEC_Device1.txt"},
        {"kalo", "OPC_Device0_KALOconfig.xml", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        TempDir dir;
        fs::create_directories(dir / "out");
        fs::create_directories(dir / "elsewhere");
        fs::create_symlink("../elsewhere/made", dir / "out" / c.file);
        auto r = Deploy({Crf, "--form", c.form, "--out", (dir / "out").string()});
        EXPECT_EQ(r.ExitCode, 1) << r.Err;
        EXPECT_THAT(r.Err, HasSubstr((dir / "out" / c.file).string() + ": it is a symbolic link to"));
        EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
        EXPECT_TRUE(fs::is_symlink(dir / "out" / c.file));
        if (c.other) {
            EXPECT_TRUE(fs::is_regular_file(dir / "out" / c.other));
        }

        // Once the file it names exists, the link is written through.
        const auto made = dir.Write("elsewhere/made", "old");
        r = Deploy({Crf, "--form", c.form, "--out", (dir / "out").string()});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_TRUE(fs::is_symlink(dir / "out" / c.file));
        EXPECT_NE(ReadFile(made), "old");
    }
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
                                                 "[--send] [--out DIR] | FILE.crf --target forte [--dry-run] "
                                                 "[--replace] [--resource DEVICE=NAME]... [--id-base HOST:PORT] [--max-request BYTES]\n"},
        {{crf, "--target", "opcua"}, 2, "telvo: deploy: --target must be forte\n"},
        {{crf, "--target", "forte", "--resource", "IEC_Device0"}, 2,
         "telvo: deploy: --resource takes DEVICE=NAME\n"},
        {{crf, "--target", "forte", "--id-base", "239.0.0.1", "--dry-run"}, 2,
         "telvo: The publish/subscribe base address 239.0.0.1 is not host:port with a port from 1 to 65535\n"},
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

// ---- The IEC 61499 runtime target ------------------------------------------

struct TExpectedRequest {
    const char* Destination;
    const char* Xml;
};

// What the example plant asks of each runtime, request by request: first
// the types it has (the responder does not say, so every type goes by name).
const TExpectedRequest kLineController[] = {
        {"", "<Request ID=\"0\" Action=\"QUERY\"><FBType Name=\"*\"/></Request>"},
        {"", "<Request ID=\"1\" Action=\"CREATE\"><FB Name=\"IEC_Device0\" Type=\"EMB_RES\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"2\" Action=\"CREATE\"><FB Name=\"di_bottle\" Type=\"E_R_TRIG\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"3\" Action=\"CREATE\"><FB Name=\"do_motor\" Type=\"E_PERMIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"4\" Action=\"CREATE\"><FB Name=\"bottle_split\" Type=\"E_SPLIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"5\" Action=\"CREATE\"><FB Name=\"motor\" Type=\"E_SR\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"6\" Action=\"CREATE\"><FB Name=\"station\" Type=\"FILL_STATION\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"7\" Action=\"CREATE\"><FB Name=\"bottles\" Type=\"E_CTU\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"8\" Action=\"CREATE\"><FB Name=\"PUB_2\" Type=\"PUBLISH_0\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"9\" Action=\"CREATE\"><FB Name=\"SUB_0\" Type=\"SUBSCRIBE_0\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"10\" Action=\"CREATE\"><FB Name=\"SUB_1\" Type=\"SUBSCRIBE_0\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"11\" Action=\"WRITE\"><Connection Source=\"6\" Destination=\"station.BATCH\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"12\" Action=\"WRITE\"><Connection Source=\"1000\" Destination=\"bottles.PV\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"13\" Action=\"WRITE\"><Connection Source=\"239.0.0.1:61552\" Destination=\"PUB_2.ID\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"14\" Action=\"WRITE\"><Connection Source=\"TRUE\" Destination=\"PUB_2.QI\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"15\" Action=\"WRITE\"><Connection Source=\"239.0.0.1:61550\" Destination=\"SUB_0.ID\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"16\" Action=\"WRITE\"><Connection Source=\"TRUE\" Destination=\"SUB_0.QI\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"17\" Action=\"WRITE\"><Connection Source=\"239.0.0.1:61551\" Destination=\"SUB_1.ID\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"18\" Action=\"WRITE\"><Connection Source=\"TRUE\" Destination=\"SUB_1.QI\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"19\" Action=\"CREATE\"><Connection Source=\"di_bottle.EO\" Destination=\"bottle_split.EI\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"20\" Action=\"CREATE\"><Connection Source=\"bottle_split.EO1\" Destination=\"station.REQ\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"21\" Action=\"CREATE\"><Connection Source=\"bottle_split.EO2\" Destination=\"bottles.CU\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"22\" Action=\"CREATE\"><Connection Source=\"station.FULL\" Destination=\"PUB_2.REQ\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"23\" Action=\"CREATE\"><Connection Source=\"SUB_0.IND\" Destination=\"motor.S\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"24\" Action=\"CREATE\"><Connection Source=\"SUB_1.IND\" Destination=\"motor.R\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"25\" Action=\"CREATE\"><Connection Source=\"motor.Q\" Destination=\"do_motor.P\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"26\" Action=\"CREATE\"><Connection Source=\"motor.Q\" Destination=\"station.ENABLE\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"27\" Action=\"CREATE\"><Connection Source=\"START.COLD\" Destination=\"PUB_2.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"28\" Action=\"CREATE\"><Connection Source=\"START.WARM\" Destination=\"PUB_2.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"29\" Action=\"CREATE\"><Connection Source=\"START.COLD\" Destination=\"SUB_0.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"30\" Action=\"CREATE\"><Connection Source=\"START.WARM\" Destination=\"SUB_0.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"31\" Action=\"CREATE\"><Connection Source=\"START.COLD\" Destination=\"SUB_1.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"32\" Action=\"CREATE\"><Connection Source=\"START.WARM\" Destination=\"SUB_1.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"33\" Action=\"START\"/>"},
};
const TExpectedRequest kPanelController[] = {
        {"", "<Request ID=\"0\" Action=\"QUERY\"><FBType Name=\"*\"/></Request>"},
        {"", "<Request ID=\"1\" Action=\"CREATE\"><FB Name=\"IEC_Device1\" Type=\"EMB_RES\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"2\" Action=\"CREATE\"><FB Name=\"di_start\" Type=\"E_R_TRIG\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"3\" Action=\"CREATE\"><FB Name=\"di_stop\" Type=\"E_R_TRIG\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"4\" Action=\"CREATE\"><FB Name=\"do_batches\" Type=\"E_CTU\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"5\" Action=\"CREATE\"><FB Name=\"start_split\" Type=\"E_SPLIT\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"6\" Action=\"CREATE\"><FB Name=\"stop_split\" Type=\"E_SPLIT\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"7\" Action=\"CREATE\"><FB Name=\"batch\" Type=\"FILL_CTRL\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"8\" Action=\"CREATE\"><FB Name=\"PUB_0\" Type=\"PUBLISH_0\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"9\" Action=\"CREATE\"><FB Name=\"PUB_1\" Type=\"PUBLISH_0\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"10\" Action=\"CREATE\"><FB Name=\"SUB_2\" Type=\"SUBSCRIBE_0\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"11\" Action=\"WRITE\"><Connection Source=\"10\" Destination=\"batch.BATCH\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"12\" Action=\"WRITE\"><Connection Source=\"100\" Destination=\"batch.LEVEL\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"13\" Action=\"WRITE\"><Connection Source=\"239.0.0.1:61550\" Destination=\"PUB_0.ID\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"14\" Action=\"WRITE\"><Connection Source=\"TRUE\" Destination=\"PUB_0.QI\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"15\" Action=\"WRITE\"><Connection Source=\"239.0.0.1:61551\" Destination=\"PUB_1.ID\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"16\" Action=\"WRITE\"><Connection Source=\"TRUE\" Destination=\"PUB_1.QI\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"17\" Action=\"WRITE\"><Connection Source=\"239.0.0.1:61552\" Destination=\"SUB_2.ID\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"18\" Action=\"WRITE\"><Connection Source=\"TRUE\" Destination=\"SUB_2.QI\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"19\" Action=\"CREATE\"><Connection Source=\"di_start.EO\" Destination=\"start_split.EI\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"20\" Action=\"CREATE\"><Connection Source=\"di_stop.EO\" Destination=\"stop_split.EI\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"21\" Action=\"CREATE\"><Connection Source=\"start_split.EO2\" Destination=\"batch.INIT\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"22\" Action=\"CREATE\"><Connection Source=\"start_split.EO1\" Destination=\"PUB_0.REQ\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"23\" Action=\"CREATE\"><Connection Source=\"stop_split.EO1\" Destination=\"PUB_1.REQ\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"24\" Action=\"CREATE\"><Connection Source=\"SUB_2.IND\" Destination=\"batch.REQ\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"25\" Action=\"CREATE\"><Connection Source=\"batch.COUNT\" Destination=\"do_batches.PV\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"26\" Action=\"CREATE\"><Connection Source=\"START.COLD\" Destination=\"PUB_0.INIT\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"27\" Action=\"CREATE\"><Connection Source=\"START.WARM\" Destination=\"PUB_0.INIT\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"28\" Action=\"CREATE\"><Connection Source=\"START.COLD\" Destination=\"PUB_1.INIT\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"29\" Action=\"CREATE\"><Connection Source=\"START.WARM\" Destination=\"PUB_1.INIT\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"30\" Action=\"CREATE\"><Connection Source=\"START.COLD\" Destination=\"SUB_2.INIT\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"31\" Action=\"CREATE\"><Connection Source=\"START.WARM\" Destination=\"SUB_2.INIT\"/></Request>"},
        {"IEC_Device1", "<Request ID=\"32\" Action=\"START\"/>"},
};

template <size_t N>
std::vector<std::string> expectedFrames(const TExpectedRequest (&table)[N])
{
    std::vector<std::string> frames;
    for (const auto& r : table)
        frames.push_back(ManagementFrame(r.Destination, r.Xml));
    return frames;
}

std::vector<std::string> framesOf(const std::vector<TForteResponder::TRequest>& requests)
{
    std::vector<std::string> frames;
    for (const auto& r : requests)
        frames.push_back(r.Bytes);
    return frames;
}

TEST_F(DeployCliTest, TheExamplePlantDeploysToTwoRuntimesFrameByFrame)
{
    TForteResponder line, panel;
    SetPorts(line.Port(), panel.Port());
    auto r = Deploy({Crf, "--target", "forte"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(framesOf(line.Requests()), expectedFrames(kLineController));
    EXPECT_EQ(framesOf(panel.Requests()), expectedFrames(kPanelController));
    EXPECT_THAT(line.Errors(), ::testing::IsEmpty());
    EXPECT_EQ(line.Connections(), 1);

    // What is printed: each device's heading, then every request as sent.
    Lines expected{"Establishing communication with device :IEC_Device0",
                   "Communication with IEC_Device0 is established!"};
    for (const auto& q : kLineController)
        expected.push_back(std::string(" >IEC_Device0") + (*q.Destination ? "/" : "") + q.Destination + ": " + q.Xml);
    expected.push_back("Establishing communication with device :IEC_Device1");
    expected.push_back("Communication with IEC_Device1 is established!");
    for (const auto& q : kPanelController)
        expected.push_back(std::string(" >IEC_Device1") + (*q.Destination ? "/" : "") + q.Destination + ": " + q.Xml);
    EXPECT_THAT(lines(r.Out), ElementsAreArray(expected));

    // A dry run prints what runtimes that tell their types, have the
    // shipped ones and lack the project's own get: the panel's FILL_CTRL
    // goes as a Lua form first, and its FB under the form's name.
    TForteResponder quiet;
    SetPorts(quiet.Port(), quiet.Port());
    auto dry = Deploy({Crf, "--target", "forte", "--dry-run"});
    EXPECT_EQ(dry.ExitCode, 0) << dry.Err;
    EXPECT_EQ(quiet.Connections(), 0);
    const std::vector<std::string> shipped{"EMB_RES",  "E_R_TRIG", "E_PERMIT",    "E_SPLIT",       "E_SR",
                                           "E_CTU",    "E_CYCLE",  "GEN_PUBLISH", "GEN_SUBSCRIBE", "FILL_STATION"};
    TForteResponder tellingLine, tellingPanel;
    tellingLine.SetTypes(shipped);
    tellingPanel.SetTypes(shipped);
    SetPorts(tellingLine.Port(), tellingPanel.Port());
    auto told = Deploy({Crf, "--target", "forte"});
    EXPECT_EQ(told.ExitCode, 0) << told.Err;
    Lines printed;
    for (const auto& l : lines(told.Out))
        if (l.rfind(" >", 0) == 0)
            printed.push_back(l.substr(2));
    EXPECT_THAT(lines(dry.Out), ElementsAreArray(printed));
    EXPECT_EQ(tellingLine.Requests().size(), std::size(kLineController));
    const auto panelTaken = tellingPanel.Requests();
    ASSERT_EQ(panelTaken.size(), std::size(kPanelController) + 2); // whether it loads types, and FILL_CTRL
    EXPECT_THAT(panelTaken[1].Xml, HasSubstr("<FBType Name=\"TELVO_PROBE\">(</FBType>"));
    EXPECT_THAT(panelTaken[3].Xml, ::testing::StartsWith("<Request ID=\"2\" Action=\"CREATE\"><FBType Name=\"FILL_CTRL_v"));
    const std::vector<std::string> now = tellingPanel.Types();
    ASSERT_EQ(now.size(), shipped.size() + 1);
    EXPECT_THAT(panelTaken[9].Xml, HasSubstr("<FB Name=\"batch\" Type=\"" + now.back() + "\"/>"));
}

TEST_F(DeployCliTest, ARefusedRequestStopsTheRunNamingDeviceRequestAndReason)
{
    struct Case {
        const char* what;
        std::string refuse; // a part of the refused request
        std::string reason;
        size_t taken;       // requests the line controller took
        std::string why;    // what is told, when not the refusal
    };
    const Case cases[] = {
        // A runtime that keeps its types to itself and lacks one cannot load
        // types either.
        {"an unknown type", "Type=\"E_CTU\"", "UNSUPPORTED_TYPE", 8,
         "cannot load FB types: E_CTU is not among its types."},
        {"a connection", "Destination=\"motor.R\"", "INVALID_DST", 25, ""},
        {"the start", "Action=\"START\"", "INVALID_STATE", 34, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TForteResponder line, panel;
        line.SetRefuse([&](const TForteResponder::TRequest& q) {
            return q.Xml.find(c.refuse) != std::string::npos ? c.reason : std::string();
        });
        SetPorts(line.Port(), panel.Port());
        auto r = Deploy({Crf, "--target", "forte"});
        EXPECT_EQ(r.ExitCode, 1);
        const auto taken = line.Requests();
        ASSERT_EQ(taken.size(), c.taken);
        EXPECT_EQ(r.Err, "telvo: Device IEC_Device0 " +
                             (c.why.empty() ? "refused " + taken.back().Xml + ": " + c.reason + "." : c.why) + "\n");
        EXPECT_EQ(panel.Connections(), 0); // later devices are not tried
    }
}

TEST_F(DeployCliTest, AResourceLeftByAnEarlierDeploymentIsReplacedWhenAsked)
{
    // The runtime already holds the resource until it is deleted.
    auto leftOver = [](TForteResponder& device) {
        auto deleted = std::make_shared<bool>(false);
        device.SetRefuse([deleted](const TForteResponder::TRequest& q) -> std::string {
            if (q.Xml.find("Action=\"DELETE\"") != std::string::npos)
                *deleted = true;
            if (q.Destination.empty() && q.Xml.find("Action=\"CREATE\"") != std::string::npos && !*deleted)
                return "INVALID_STATE";
            return {};
        });
    };
    {
        TForteResponder line, panel;
        leftOver(line);
        SetPorts(line.Port(), panel.Port());
        auto r = Deploy({Crf, "--target", "forte"});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_THAT(r.Err, HasSubstr("Device IEC_Device0 refused <Request ID=\"1\" Action=\"CREATE\"><FB "
                                     "Name=\"IEC_Device0\" Type=\"EMB_RES\"/></Request>: INVALID_STATE. An earlier "
                                     "deployment may have left the resource: --replace removes it.\n"));
        EXPECT_EQ(line.Requests().size(), 2u);
    }
    TForteResponder line, panel;
    leftOver(line);
    leftOver(panel);
    SetPorts(line.Port(), panel.Port());
    auto r = Deploy({Crf, "--target", "forte", "--replace"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    std::vector<std::string> expected = expectedFrames(kLineController);
    const std::string resource = "<FB Name=\"IEC_Device0\" Type=\"EMB_RES\"/>";
    expected.insert(expected.begin() + 2,
                    {ManagementFrame("", "<Request ID=\"0\" Action=\"KILL\">" + resource + "</Request>"),
                     ManagementFrame("", "<Request ID=\"0\" Action=\"DELETE\">" + resource + "</Request>"),
                     expected[1]});
    EXPECT_EQ(framesOf(line.Requests()), expected);
    EXPECT_EQ(panel.Requests().size(), std::size(kPanelController) + 3);
}

TEST_F(DeployCliTest, DeviceReadAsksTheResourceForOnePort)
{
    TForteResponder line, panel;
    line.SetReadValue("20");
    SetPorts(line.Port(), panel.Port());
    auto r = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "device", "read", Crf, "IEC_Device0",
                                         "bottles.CV"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "20\n");
    EXPECT_EQ(framesOf(line.Requests()),
              std::vector<std::string>{ManagementFrame(
                  "IEC_Device0", "<Request ID=\"1\" Action=\"READ\"><Connection Source=\"bottles.CV\" "
                                 "Destination=\"\"/></Request>")});

    panel.SetRefuse([](const TForteResponder::TRequest&) { return std::string("NO_SUCH_OBJECT"); });
    auto refused = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "device", "read", Crf, "IEC_Device1",
                                               "nothing.Q", "--resource", "PANEL"});
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_EQ(refused.Err, "telvo: IEC_Device1: nothing.Q cannot be read: NO_SUCH_OBJECT\n");
    EXPECT_EQ(panel.Requests().at(0).Destination, "PANEL");

    auto unknown = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "device", "read", Crf, "IEC_Device9",
                                               "x.Q"});
    EXPECT_EQ(unknown.ExitCode, 1);
    EXPECT_THAT(unknown.Err, HasSubstr("has no IEC device IEC_Device9"));
}

} // namespace
} // namespace telvo::test

namespace telvo::test {
namespace {

// FILL_STATION, on the line controller, is a composite: a gate (E_PERMIT)
// and a filling controller (FILL_CTRL) behind it. A runtime without the
// type gets, after the refusal and a clean resource, the inner FBs under
// their inner records' names, each connection to the station joined to the
// inner port behind it, and the station's constant at the inner input it
// feeds.
const TExpectedRequest kLineFlattened[] = {
        {"", "<Request ID=\"0\" Action=\"KILL\"><FB Name=\"IEC_Device0\" Type=\"EMB_RES\"/></Request>"},
        {"", "<Request ID=\"0\" Action=\"DELETE\"><FB Name=\"IEC_Device0\" Type=\"EMB_RES\"/></Request>"},
        {"", "<Request ID=\"1\" Action=\"CREATE\"><FB Name=\"IEC_Device0\" Type=\"EMB_RES\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"2\" Action=\"CREATE\"><FB Name=\"di_bottle\" Type=\"E_R_TRIG\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"3\" Action=\"CREATE\"><FB Name=\"do_motor\" Type=\"E_PERMIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"4\" Action=\"CREATE\"><FB Name=\"bottle_split\" Type=\"E_SPLIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"5\" Action=\"CREATE\"><FB Name=\"motor\" Type=\"E_SR\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"6\" Action=\"CREATE\"><FB Name=\"station-GATE\" Type=\"E_PERMIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"7\" Action=\"CREATE\"><FB Name=\"station-CTRL\" Type=\"FILL_CTRL\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"8\" Action=\"CREATE\"><FB Name=\"bottles\" Type=\"E_CTU\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"9\" Action=\"CREATE\"><FB Name=\"PUB_2\" Type=\"PUBLISH_0\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"10\" Action=\"CREATE\"><FB Name=\"SUB_0\" Type=\"SUBSCRIBE_0\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"11\" Action=\"CREATE\"><FB Name=\"SUB_1\" Type=\"SUBSCRIBE_0\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"12\" Action=\"WRITE\"><Connection Source=\"10\" Destination=\"station-CTRL.MINLEVEL\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"13\" Action=\"WRITE\"><Connection Source=\"6\" Destination=\"station-CTRL.BATCH\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"14\" Action=\"WRITE\"><Connection Source=\"1000\" Destination=\"bottles.PV\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"15\" Action=\"WRITE\"><Connection Source=\"239.0.0.1:61552\" Destination=\"PUB_2.ID\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"16\" Action=\"WRITE\"><Connection Source=\"TRUE\" Destination=\"PUB_2.QI\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"17\" Action=\"WRITE\"><Connection Source=\"239.0.0.1:61550\" Destination=\"SUB_0.ID\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"18\" Action=\"WRITE\"><Connection Source=\"TRUE\" Destination=\"SUB_0.QI\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"19\" Action=\"WRITE\"><Connection Source=\"239.0.0.1:61551\" Destination=\"SUB_1.ID\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"20\" Action=\"WRITE\"><Connection Source=\"TRUE\" Destination=\"SUB_1.QI\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"21\" Action=\"CREATE\"><Connection Source=\"di_bottle.EO\" Destination=\"bottle_split.EI\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"22\" Action=\"CREATE\"><Connection Source=\"bottle_split.EO1\" Destination=\"station-GATE.EI\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"23\" Action=\"CREATE\"><Connection Source=\"bottle_split.EO2\" Destination=\"bottles.CU\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"24\" Action=\"CREATE\"><Connection Source=\"station-CTRL.FULL\" Destination=\"PUB_2.REQ\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"25\" Action=\"CREATE\"><Connection Source=\"SUB_0.IND\" Destination=\"motor.S\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"26\" Action=\"CREATE\"><Connection Source=\"SUB_1.IND\" Destination=\"motor.R\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"27\" Action=\"CREATE\"><Connection Source=\"station-GATE.EO\" Destination=\"station-CTRL.REQ\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"28\" Action=\"CREATE\"><Connection Source=\"motor.Q\" Destination=\"do_motor.P\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"29\" Action=\"CREATE\"><Connection Source=\"motor.Q\" Destination=\"station-GATE.P\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"30\" Action=\"CREATE\"><Connection Source=\"START.COLD\" Destination=\"PUB_2.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"31\" Action=\"CREATE\"><Connection Source=\"START.WARM\" Destination=\"PUB_2.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"32\" Action=\"CREATE\"><Connection Source=\"START.COLD\" Destination=\"SUB_0.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"33\" Action=\"CREATE\"><Connection Source=\"START.WARM\" Destination=\"SUB_0.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"34\" Action=\"CREATE\"><Connection Source=\"START.COLD\" Destination=\"SUB_1.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"35\" Action=\"CREATE\"><Connection Source=\"START.WARM\" Destination=\"SUB_1.INIT\"/></Request>"},
        {"IEC_Device0", "<Request ID=\"36\" Action=\"START\"/>"},
};

TEST_F(DeployCliTest, ACompositeTheRuntimeDoesNotKnowGoesAsItsInnerNetwork)
{
    TForteResponder line, panel;
    line.SetRefuse([](const TForteResponder::TRequest& q) {
        return q.Xml.find("Type=\"FILL_STATION\"") != std::string::npos ? "UNSUPPORTED_TYPE" : "";
    });
    SetPorts(line.Port(), panel.Port());
    auto r = Deploy({Crf, "--target", "forte"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    std::vector<std::string> frames = expectedFrames(kLineController);
    frames.resize(7); // up to the station, refused
    for (const auto& f : expectedFrames(kLineFlattened))
        frames.push_back(f);
    EXPECT_EQ(framesOf(line.Requests()), frames);
    EXPECT_EQ(line.Connections(), 1);
    // The panel's FILL_CTRL is a basic type: nothing changes there.
    EXPECT_EQ(framesOf(panel.Requests()), expectedFrames(kPanelController));
    const Lines out = lines(r.Out);
    const std::string notice = "Device IEC_Device0 does not know the composite type FILL_STATION: its instances are "
                               "sent as their inner networks.";
    ASSERT_EQ(std::count(out.begin(), out.end(), notice), 1) << r.Out;
    EXPECT_EQ(*(std::find(out.begin(), out.end(), notice) - 1),
              " >IEC_Device0/IEC_Device0: " + std::string(kLineController[6].Xml));

    // An inner basic type the runtime lacks as well stops the device there,
    // named: a runtime that does not tell its types takes none.
    TForteResponder bare, other;
    bare.SetRefuse([](const TForteResponder::TRequest& q) {
        return q.Xml.find("Type=\"FILL_") != std::string::npos ? "UNSUPPORTED_TYPE" : "";
    });
    SetPorts(bare.Port(), other.Port());
    auto stopped = Deploy({Crf, "--target", "forte"});
    EXPECT_EQ(stopped.ExitCode, 1);
    const auto taken = bare.Requests();
    ASSERT_EQ(taken.size(), 7u + 2u + 7u);
    EXPECT_EQ(taken.back().Xml, kLineFlattened[8].Xml);
    EXPECT_EQ(stopped.Err, "telvo: Device IEC_Device0 cannot load FB types: FILL_CTRL is not among its types.\n");
    EXPECT_EQ(other.Connections(), 0);
}

// FORTE serves one management connection at a time and turns another away
// unread; the request is sent again on a new connection, a few times.
TEST_F(DeployCliTest, ARuntimeThatTurnsTheConnectionAwayIsAskedAgain)
{
    TForteResponder line, panel;
    line.SetTurnAway(2);
    SetPorts(line.Port(), panel.Port());
    auto r = Deploy({Crf, "--target", "forte"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(framesOf(line.Requests()), expectedFrames(kLineController));
    EXPECT_EQ(line.Connections(), 3);

    // One that never takes it stops the run, named.
    TForteResponder closed, other;
    closed.SetTurnAway(1000);
    SetPorts(closed.Port(), other.Port());
    auto stopped = Deploy({Crf, "--target", "forte"});
    EXPECT_EQ(stopped.ExitCode, 1);
    // Closed or reset, as the timing falls.
    EXPECT_THAT(stopped.Err, ::testing::StartsWith("telvo: Device IEC_Device0 did not answer " +
                                                   std::string(kLineController[0].Xml) + ": "));
    EXPECT_THAT(stopped.Err, ::testing::AnyOf(::testing::EndsWith(": the device closed the connection.\n"),
                                              ::testing::EndsWith(": Connection reset by peer.\n")));
    EXPECT_EQ(closed.Connections(), 5);
    EXPECT_EQ(other.Connections(), 0);

    // A read as well.
    TForteResponder busy, quiet;
    busy.SetTurnAway(1);
    busy.SetReadValue("42");
    SetPorts(busy.Port(), quiet.Port());
    auto read = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "device", "read", Crf, "IEC_Device0",
                                            "bottles.CV"});
    EXPECT_EQ(read.ExitCode, 0) << read.Err;
    EXPECT_EQ(read.Out, "42\n");
}

// ---- Runtimes that answer out of turn -------------------------------------

// The answer text inside one answer frame.
std::string answerText(const std::string& frame) { return frame.substr(3); }

std::string withId(std::string frame, const std::string& id)
{
    std::string text = answerText(frame);
    const size_t from = text.find("ID=\"") + 4;
    text.replace(from, text.find('"', from) - from, id);
    return TForteResponder::AnswerFrame(text);
}

// Every answer is matched to its request: one to another request ends the
// device's run, named, and later devices are not tried. Both runtimes
// refuse START, so a client one answer behind would not see it refused.
TEST_F(DeployCliTest, AnAnswerToAnotherRequestEndsTheRun)
{
    using TReply = std::function<std::string(const TForteResponder::TRequest&, const std::string&)>;
    // The answer to request 5 comes again: `together` in the same write as
    // itself, else just before the answer to request 6.
    auto duplicated = [](bool together) -> TReply {
        auto fifth = std::make_shared<std::string>();
        return [fifth, together](const TForteResponder::TRequest& q, const std::string& frame) {
            if (q.Xml.rfind("<Request ID=\"5\"", 0) == 0) {
                *fifth = frame;
                return together ? frame + frame : frame;
            }
            if (!together && q.Xml.rfind("<Request ID=\"6\"", 0) == 0)
                return *fifth + frame;
            return frame;
        };
    };
    struct Case {
        const char* what;
        TReply reply;
        size_t failed; // the request of the line controller that failed
        size_t taken;  // the requests the line controller got
        std::string why;
    };
    const Case cases[] = {
        {"every answer to request 999",
         [](const TForteResponder::TRequest&, const std::string& frame) { return withId(frame, "999"); }, 1, 1,
         "the answer is to request 999, not to request 0"},
        {"answers naming no request",
         [](const TForteResponder::TRequest&, const std::string&) {
             return TForteResponder::AnswerFrame("<Response/>");
         },
         1, 1, "the answer names no request"},
        {"an answer to the request before", duplicated(false), 7, 7, "the answer is to request 5, not to request 6"},
        // Seen before request 6 goes.
        {"an answer twice at once", duplicated(true), 7, 6,
         "the device sent more than the answer to the last request"},
        {"the ID in another element",
         [](const TForteResponder::TRequest& q, const std::string&) {
             const std::string id = q.Xml.substr(13, q.Xml.find('"', 13) - 13);
             return TForteResponder::AnswerFrame("<Other ID=\"" + id + "\"/>");
         },
         1, 1, "the answer is no Response: <Other ID=\"0\"/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TForteResponder line, panel;
        for (TForteResponder* device : {&line, &panel})
            device->SetRefuse([](const TForteResponder::TRequest& q) {
                return q.Xml.find("Action=\"START\"") != std::string::npos ? "INVALID_STATE" : "";
            });
        line.SetReply(c.reply);
        SetPorts(line.Port(), panel.Port());
        auto r = Deploy({Crf, "--target", "forte"});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Err, "telvo: Device IEC_Device0 did not answer " + std::string(kLineController[c.failed - 1].Xml) +
                             ": " + c.why + ".\n");
        EXPECT_EQ(line.Requests().size(), c.taken);
        EXPECT_EQ(panel.Connections(), 0);
    }
}

// A READ answered without a value, or with an empty one, is no reading.
TEST_F(DeployCliTest, DeviceReadOfAnAnswerWithoutAValueFails)
{
    const struct {
        const char* what;
        std::string answer; // to request 1
    } cases[] = {
        {"no Connection", "<Response ID=\"1\"/>"},
        {"no Destination", "<Response ID=\"1\"><Connection Source=\"bottles.CV\"/></Response>"},
        {"an empty Destination", "<Response ID=\"1\"><Connection Source=\"bottles.CV\" Destination=\"\"/></Response>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TForteResponder line, panel;
        line.SetReply([&](const TForteResponder::TRequest&, const std::string&) {
            return TForteResponder::AnswerFrame(c.answer);
        });
        SetPorts(line.Port(), panel.Port());
        auto r = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "device", "read", Crf, "IEC_Device0",
                                             "bottles.CV"});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Out, "");
        EXPECT_EQ(r.Err, "telvo: IEC_Device0: bottles.CV cannot be read: no value\n");
    }
}

// What a runtime says is printed with its control characters escaped: a
// value or reason cannot add a line to the output or send the terminal an
// escape sequence.
TEST_F(DeployCliTest, TextFromTheRuntimeIsPrintedEscaped)
{
    // As the runtime writes it inside an attribute: &#9; is a tab.
    const std::string raw = "20&#9;forged&#10;line&#27;[2J&#13;\\ \xC2\x9B" "1m";
    const std::string shown = "20\\tforged\\nline\\x1B[2J\\r\\\\ \\xC2\\x9B1m";
    {
        TForteResponder line, panel;
        line.SetReadValue(raw);
        SetPorts(line.Port(), panel.Port());
        auto r = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "device", "read", Crf, "IEC_Device0",
                                             "bottles.CV"});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_EQ(r.Out, shown + "\n");
    }
    {
        TForteResponder line, panel;
        line.SetRefuse([&](const TForteResponder::TRequest&) { return raw; });
        SetPorts(line.Port(), panel.Port());
        auto r = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "device", "read", Crf, "IEC_Device0",
                                             "bottles.CV"});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Err, "telvo: IEC_Device0: bottles.CV cannot be read: " + shown + "\n");
    }
    TForteResponder line, panel;
    line.SetRefuse([&](const TForteResponder::TRequest& q) {
        return q.Xml.find("Action=\"START\"") != std::string::npos ? raw : "";
    });
    SetPorts(line.Port(), panel.Port());
    auto r = Deploy({Crf, "--target", "forte"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, "telvo: Device IEC_Device0 refused " + std::string(std::end(kLineController)[-1].Xml) + ": " +
                         shown + ".\n");
}

// The publish/subscribe pairs' ports must all be ports, their address an
// IPv4 address, and a resource name must be for a device the project has:
// anything else is refused before a runtime is asked.
TEST_F(DeployCliTest, PairAddressesAndResourceNamesMustFitTheProject)
{
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string error;
    } cases[] = {
        // The plant has three pairs.
        {{"--id-base", "239.0.0.1:65533"}, 0, ""},
        {{"--id-base", "239.0.0.1:65534"}, 2,
         "telvo: The publish/subscribe base address 239.0.0.1:65534 leaves too few ports: the 3 pairs would need "
         "ports up to 65536\n"},
        {{"--id-base", "239.0.0.1:65535"}, 2,
         "telvo: The publish/subscribe base address 239.0.0.1:65535 leaves too few ports: the 3 pairs would need "
         "ports up to 65537\n"},
        {{"--id-base", "plant.example:61550"}, 2,
         "telvo: The publish/subscribe base address plant.example:61550 does not begin with an IPv4 address\n"},
        {{"--id-base", "239.0.0.256:61550"}, 2,
         "telvo: The publish/subscribe base address 239.0.0.256:61550 does not begin with an IPv4 address\n"},
        {{"--id-base", "239.0.0.1\"/><x:61550"}, 2,
         "telvo: The publish/subscribe base address 239.0.0.1\"/><x:61550 does not begin with an IPv4 address\n"},
        {{"--resource", "IEC_Device1=PANEL"}, 0, ""},
        {{"--resource", "NODEVICE=RES"}, 2,
         "telvo: The resource name NODEVICE=RES is for NODEVICE, which is no IEC device of the project\n"},
        {{"--resource", "IEC_Device1=PANEL", "--resource", "IEC_device0=LINE"}, 2,
         "telvo: The resource name IEC_device0=LINE is for IEC_device0, which is no IEC device of the project\n"},
        // A device, but not one that runs IEC 61499 FBs.
        {{"--resource", "computer0=R"}, 2,
         "telvo: The resource name computer0=R is for computer0, which is no IEC device of the project\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{Crf, "--target", "forte", "--dry-run"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto r = Deploy(args);
        EXPECT_EQ(r.ExitCode, c.exitCode) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.Err, c.error) << ::testing::PrintToString(c.args);
        if (c.exitCode == 0)
            EXPECT_THAT(r.Out, HasSubstr(c.args[1].substr(c.args[1].find('=') + 1))) << ::testing::PrintToString(c.args);
        else
            EXPECT_TRUE(r.Out.empty()) << ::testing::PrintToString(c.args);
    }
}

} // namespace
} // namespace telvo::test

namespace telvo::test {
namespace {

// The longest request comes from settings.ini, or from --max-request over
// it; the panel's own FILL_CTRL, whose Lua form takes some 8,000 bytes,
// fits the default and not a limit of 1,000.
TEST_F(DeployCliTest, TheRequestLimitComesFromTheSettingsOrTheCommandLine)
{
    const struct {
        const char* what;
        const char* settings; // settings.ini, or none
        std::vector<std::string> options;
        int exitCode;
        const char* limit; // the limit the refusal names, or none
    } cases[] = {
        {"the default", nullptr, {}, 0, nullptr},
        {"a setting", "[Values]\nForteMaxRequestBytes=1000\n", {}, 1, "1000"},
        {"a setting below any request", "[Values]\nForteMaxRequestBytes=12\n", {}, 0, nullptr},
        {"the option over the setting", "[Values]\nForteMaxRequestBytes=1000\n", {"--max-request", "20000"}, 0, nullptr},
        {"the option alone", nullptr, {"--max-request", "2000"}, 1, "2000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(Home / "settings.ini");
        if (c.settings)
            Home.Write("settings.ini", c.settings);
        std::vector<std::string> args{Crf, "--target", "forte", "--dry-run"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        auto r = Deploy(args);
        EXPECT_EQ(r.ExitCode, c.exitCode) << r.Err;
        if (c.limit) {
            EXPECT_THAT(r.Err, ::testing::MatchesRegex("telvo: Device IEC_Device1 cannot take FB type FILL_CTRL: its "
                                                       "Lua form takes a request of [0-9]+ bytes, more than the limit "
                                                       "of " + std::string(c.limit) + " bytes.\n"));
        } else {
            EXPECT_EQ(r.Err, "");
            EXPECT_THAT(r.Out, HasSubstr("IEC_Device1: <Request ID=\"2\" Action=\"CREATE\"><FBType Name=\"FILL_CTRL_v"));
        }
    }
    auto wrong = Deploy({Crf, "--target", "forte", "--max-request", "12"});
    EXPECT_EQ(wrong.ExitCode, 2);
    EXPECT_THAT(wrong.Err, HasSubstr("--max-request takes a number of bytes from 256 on"));
}

} // namespace
} // namespace telvo::test
