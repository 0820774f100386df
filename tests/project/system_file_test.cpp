// IEC 61499 system files (.sys) of 4diac IDE: `telvo sys import` makes a new
// project of one, in any of the three ways 4diac has written the mapping;
// `telvo sys export` writes one back that imports to the same project; bad
// and hostile files are refused or imported with a message, and nothing is
// ever written outside the project folder and the system's library folder.

#include "model/file_util.h"
#include "persistence/sys_file.h"
#include "project/project_fixture.h"
#include "workbench/system_import.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <set>
#include <sstream>

namespace telvo::test {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Every file below a folder, as paths relative to it.
std::set<std::string> filesBelow(const fs::path& folder)
{
    std::set<std::string> out;
    std::error_code ec;
    if (!fs::exists(folder, ec))
        return out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            out.insert(fs::relative(e.path(), folder).generic_string());
    return out;
}

// How 4diac kept the mapped FBs in the resources over the years.
enum class TGeneration { OlderCopies, NewerNamedCopies, MappingOnly };

std::string generationName(TGeneration g);
void PrintTo(TGeneration g, std::ostream* os)
{
    *os << generationName(g);
}

std::string generationName(TGeneration g)
{
    switch (g) {
    case TGeneration::OlderCopies:
        return "OlderCopies";
    case TGeneration::NewerNamedCopies:
        return "NewerNamedCopies";
    case TGeneration::MappingOnly:
        return "MappingOnly";
    }
    return "?";
}

// A basic type only the system's folder has, an adapter type, and a subapp
// type (drawn as a composite type here).
const char* const TickerType = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="TICKER" Comment="Ticks">
	<InterfaceList>
		<EventInputs><Event Name="INIT" Type="Event"/><Event Name="REQ" Type="Event"/></EventInputs>
		<EventOutputs><Event Name="INITO" Type="Event"/><Event Name="CNF" Type="Event"/></EventOutputs>
		<OutputVars><VarDeclaration Name="N" Type="INT"/></OutputVars>
	</InterfaceList>
	<BasicFB>
		<ECC>
			<ECState Name="START"/>
		</ECC>
	</BasicFB>
</FBType>
)";

const char* const LatchType = R"(<?xml version="1.0" encoding="UTF-8"?>
<SubAppType Name="LATCH" Comment="Holds a set">
	<SubAppInterfaceList>
		<SubAppEventInputs><SubAppEvent Name="SET" Type="Event"/></SubAppEventInputs>
		<SubAppEventOutputs><SubAppEvent Name="CHG" Type="Event"/></SubAppEventOutputs>
		<OutputVars><VarDeclaration Name="Q" Type="BOOL"/></OutputVars>
	</SubAppInterfaceList>
	<SubAppNetwork>
		<FB Name="SR" Type="E_SR" x="500" y="100"/>
		<EventConnections>
			<Connection Source="SET" Destination="SR.S"/>
			<Connection Source="SR.EO" Destination="CHG"/>
		</EventConnections>
		<DataConnections>
			<Connection Source="SR.Q" Destination="Q"/>
		</DataConnections>
	</SubAppNetwork>
</SubAppType>
)";

// One application with FBs of the library, a qualified type name, an untyped
// subapp, a typed one and an adapter connection; a device with two resources
// and one with one; a segment with links; the mapping in the generation's way.
std::string systemText(TGeneration g, const std::string& systemName = "Line")
{
    const std::string ctlInterface = R"(
				<SubAppInterfaceList>
					<SubAppEventInputs><SubAppEvent Name="Go" Type="Event"/></SubAppEventInputs>
					<SubAppEventOutputs><SubAppEvent Name="Done" Type="Event"/></SubAppEventOutputs>
					<InputVars><VarDeclaration Name="Limit" Type="INT"/></InputVars>
				</SubAppInterfaceList>
				<SubAppNetwork>
					<FB Name="Inner" Type="E_CTU" x="100" y="100"/>
					<EventConnections>
						<Connection Source="Go" Destination="Inner.CU"/>
						<Connection Source="Inner.CUO" Destination="Done"/>
					</EventConnections>
					<DataConnections>
						<Connection Source="Limit" Destination="Inner.PV"/>
					</DataConnections>
				</SubAppNetwork>
				<Parameter Name="Limit" Value="3"/>)";
    std::string text = R"(<?xml version="1.0" encoding="UTF-8"?>
<System Name=")" + systemName +
                       R"(" Comment="A small line">
	<VersionInfo Version="1.0" Author="Tester" Date="2024-01-01"/>
	<Application Name="Conveyor" Comment="The conveyor">
		<SubAppNetwork>
			<FB Name="Split" Type="E_SPLIT" Comment="" x="100" y="200"/>
			<FB Name="Count" Type="E_CTU" Comment="Bottles" x="1000" y="200">
				<Parameter Name="PV" Value="10"/>
				<Attribute Name="Note" Type="STRING" Value="kept by 4diac"/>
			</FB>
			<FB Name="Tick" Type="acme::TICKER" Comment="" x="1000" y="800"/>
			<SubApp Name="Ctl" Comment="" x="2000" y="200">)" +
                       ctlInterface + R"(
			</SubApp>
			<SubApp Name="Latch" Type="LATCH" Comment="" x="3000" y="200"/>
			<EventConnections>
				<Connection Source="Split.EO1" Destination="Count.CU" dx1="50"/>
				<Connection Source="Split.EO2" Destination="Ctl.Go"/>
				<Connection Source="Ctl.Done" Destination="Latch.SET"/>
				<Connection Source="Tick.CNF" Destination="Count.R"/>
			</EventConnections>
			<DataConnections>
				<Connection Source="Count.Q" Destination="Ctl.Limit"/>
			</DataConnections>
			<AdapterConnections>
				<Connection Source="Tick.OUT" Destination="Latch.IN"/>
			</AdapterConnections>
		</SubAppNetwork>
	</Application>
)";
    auto resource = [&](const std::string& name, const std::string& app, const std::string& fbs) {
        std::string r = "\t\t<Resource Name=\"" + name + "\" Type=\"EMB_RES\" x=\"0\" y=\"0\">\n\t\t\t<FBNetwork>\n";
        if (g != TGeneration::MappingOnly)
            r += fbs + app;
        return r + "\t\t\t</FBNetwork>\n\t\t</Resource>\n";
    };
    const std::string prefix = g == TGeneration::NewerNamedCopies ? "Conveyor." : "";
    const std::string fast = "\t\t\t\t<FB Name=\"" + prefix + "Split\" Type=\"E_SPLIT\" x=\"100\" y=\"200\"/>\n" +
                             "\t\t\t\t<FB Name=\"" + prefix + "Count\" Type=\"E_CTU\" x=\"1000\" y=\"200\"/>\n" +
                             "\t\t\t\t<FB Name=\"" + prefix + "Tick\" Type=\"acme::TICKER\" x=\"1000\" y=\"800\"/>\n";
    const std::string fastConns = "\t\t\t\t<EventConnections>\n"
                                  "\t\t\t\t\t<Connection Source=\"START.COLD\" Destination=\"" +
                                  prefix + "Tick.INIT\"/>\n\t\t\t\t\t<Connection Source=\"START.WARM\" Destination=\"" +
                                  prefix + "Tick.INIT\"/>\n\t\t\t\t\t<Connection Source=\"" + prefix +
                                  "Split.EO1\" Destination=\"" + prefix + "Count.CU\"/>\n\t\t\t\t</EventConnections>\n";
    const std::string slow =
        "\t\t\t\t<SubApp Name=\"" + prefix + "Ctl\" x=\"2000\" y=\"200\">" + ctlInterface + "\n\t\t\t\t</SubApp>\n";
    const std::string panel = "\t\t\t\t<SubApp Name=\"" + prefix + "Latch\" Type=\"LATCH\" x=\"3000\" y=\"200\"/>\n";
    text += "\t<Device Name=\"PLC\" Type=\"FORTE_PC\" Comment=\"Line controller\" x=\"100\" y=\"3000\">\n"
            "\t\t<Parameter Name=\"MGR_ID\" Value=\"&quot;localhost:61499&quot;\"/>\n"
            "\t\t<Attribute Name=\"Profile\" Type=\"STRING\" Value=\"HOLOBLOC\"/>\n";
    text += resource("Fast", fastConns, fast) + resource("Slow", "", slow) + "\t</Device>\n";
    text += "\t<Device Name=\"Panel\" Type=\"FORTE_PC\" x=\"1500\" y=\"3000\">\n"
            "\t\t<Parameter Name=\"MGR_ID\" Value=\"&quot;127.0.0.1:61500&quot;\"/>\n";
    text += resource("EMB", "", panel) + "\t</Device>\n";
    text += "\t<Segment Name=\"Bus\" Type=\"Ethernet\" x=\"100\" y=\"2500\" dx1=\"2000\"/>\n";
    auto to = [&](const std::string& res, const std::string& fb) {
        return g == TGeneration::OlderCopies ? res + "." + fb : res;
    };
    for (const char* fb : {"Split", "Count", "Tick"})
        text += "\t<Mapping From=\"Conveyor." + std::string(fb) + "\" To=\"" + to("PLC.Fast", fb) + "\"/>\n";
    text += "\t<Mapping From=\"Conveyor.Ctl\" To=\"" + to("PLC.Slow", "Ctl") + "\"/>\n";
    text += "\t<Mapping From=\"Conveyor.Latch\" To=\"" + to("Panel.EMB", "Latch") + "\"/>\n";
    text +=
        "\t<Link SegmentName=\"Bus\" CommResource=\"PLC\"/>\n\t<Link SegmentName=\"Bus\" CommResource=\"Panel\"/>\n";
    return text + "</System>\n";
}

// What `telvo project info` lists for the imported system, the project's
// folder written as P.
const std::vector<std::string> ExpectedInfo = {
    "project\tLine\tP/line.crf",
    "uml\t",
    "diagram\tConveyor\tP/Conveyor.fbn\tinstances=5\tevents=4\tdata=1\tippfb=0\tipp2ipp=0\tnotes=0\tipps=0",
    "instance\tSplit\tE_SPLIT\tPLC.Fast",
    "instance\tCount\tE_CTU\tPLC.Fast",
    "instance\tTick\tTICKER\tPLC.Fast",
    "instance\tCtl_Inner\tE_CTU\tPLC.Slow",
    "instance\tLatch\tLATCH\tPanel",
    "object\t1\tBus\tEthernet",
    "object\t3\tPLC.Fast\tFORTE_PC",
    "object\t3\tPLC.Slow\tFORTE_PC",
    "object\t3\tPanel\tFORTE_PC",
    "connection\tConnection_0\t7\tBus\tPLC.Fast",
    "connection\tConnection_1\t7\tBus\tPLC.Slow",
    "connection\tConnection_2\t7\tBus\tPanel",
};

class SystemFileTest : public ProjectTest {
protected:
    // The system's folder with its own types, beside the project folders.
    fs::path WriteSystem(const std::string& text, const std::string& folder = "sys")
    {
        Work.Write(folder + "/types/TICKER.fbt", TickerType);
        Work.Write(folder + "/types/LATCH.sub", LatchType);
        Work.Write(folder + "/types/ANY_ADAPTER.adp", "<AdapterType Name=\"ANY_ADAPTER\"/>");
        return Work.Write(folder + "/line.sys", text);
    }

    ProcessResult Telvo(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--home", Home.Path().string()});
        return RunProcess(TELVO_CLI_PATH, args);
    }

    std::vector<std::string> Info(const fs::path& project) const
    {
        auto r = Telvo({"project", "info", project.string()});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return lines(replaceAll(r.Out, project.parent_path().string(), "P"));
    }

    std::vector<std::string> Messages(const ProcessResult& r) const
    {
        std::vector<std::string> out;
        for (const auto& l : lines(r.Out))
            if (l.rfind("message\t", 0) == 0)
                out.push_back(replaceAll(l.substr(8), Work.Path().string(), "W"));
        return out;
    }
};

class SystemGenerationTest : public SystemFileTest, public ::testing::WithParamInterface<TGeneration> {};

TEST_P(SystemGenerationTest, ImportsOneProjectListedLineByLine)
{
    const fs::path sys = WriteSystem(systemText(GetParam()));
    const fs::path project = Work / "p/line.crf";
    auto r = Telvo({"sys", "import", sys.string(), "--project", project.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err << r.Out;
    EXPECT_THAT(Info(project), ElementsAreArray(ExpectedInfo));

    // What has no place here is told, one message per element; the START
    // connections are what a deployment makes again, and say nothing.
    const std::vector<std::string> messages = Messages(r);
    EXPECT_THAT(messages, Contains("W/sys/line.sys: Attribute Note in Line.Conveyor.Count is not carried over"));
    EXPECT_THAT(messages, Contains("W/sys/line.sys: Attribute Profile in Line.PLC is not carried over"));
    EXPECT_THAT(messages, Contains("W/sys/line.sys: adapter connection Tick.OUT -> Latch.IN in Conveyor is not "
                                   "carried over"));
    EXPECT_THAT(messages, Not(Contains(HasSubstr("START"))));

    // The subapp's parameter reached the FB behind its port, the FB's its
    // input; positions came in the composite networks' scale; the subapp
    // type is a composite type copied into the system's library folder; the
    // resource names stay with their devices. (A fresh workbench: the
    // library grew a folder.)
    Restart();
    OpenProject(W(), project.string());
    ASSERT_EQ(M().Diagrams.size(), 1u);
    const TFB_Instance* count = M().Diagrams[0]->FindDrawn("Count");
    const TFB_InstanceRef* inner = M().FindInstance("Ctl_Inner");
    const TFB_InstanceRef* latch = M().FindInstance("Latch");
    ASSERT_TRUE(count && inner && latch);
    EXPECT_EQ(inner->FindDataInput("PV")->ValueText, "3");
    EXPECT_EQ(count->Ref->FindDataInput("PV")->ValueText, "10");
    EXPECT_EQ(count->Ref->Comment, "Bottles");
    EXPECT_EQ(count->BaseX, 168);
    EXPECT_TRUE(latch->Composite);
    EXPECT_EQ(filesBelow(Home / "library/Line"), (std::set<std::string>{"LATCH.fbt", "TICKER.fbt"}));
    EXPECT_EQ(Project().Comment, "A small line");
    std::vector<std::string> devices;
    for (const auto& o : Layer().Objects)
        if (auto* d = dynamic_cast<const TslIECDevice*>(o.get()))
            devices.push_back(d->Name + " " + d->DeviceIPAddress + ":" + d->DeviceAddressPort + " " + d->ResourceName);
    EXPECT_THAT(devices, ElementsAreArray({"PLC.Fast localhost:61499 Fast", "PLC.Slow localhost:61499 Slow",
                                           "Panel 127.0.0.1:61500 EMB"}));
}

TEST_P(SystemGenerationTest, ExportedSystemImportsToTheSameProject)
{
    const fs::path sys = WriteSystem(systemText(GetParam()));
    const fs::path first = Work / "p1/line.crf", second = Work / "p2/line.crf";
    ASSERT_EQ(Telvo({"sys", "import", sys.string(), "--project", first.string()}).ExitCode, 0);
    auto exported = Telvo({"sys", "export", first.string(), "--out", (Work / "out").string()});
    ASSERT_EQ(exported.ExitCode, 0) << exported.Err;
    EXPECT_THAT(Messages(exported), IsEmpty());
    // Its own types beside it; the standard event FBs stay in the library.
    EXPECT_EQ(filesBelow(Work / "out"), (std::set<std::string>{"LATCH.fbt", "Line.sys", "TICKER.fbt"}));
    auto again = Telvo({"sys", "import", (Work / "out/Line.sys").string(), "--project", second.string()});
    ASSERT_EQ(again.ExitCode, 0) << again.Err;
    EXPECT_THAT(Info(second), ElementsAreArray(Info(first)));

    Restart();
    OpenProject(W(), first.string());
    std::vector<std::string> a = DescribeProject(W());
    Restart();
    OpenProject(W(), second.string());
    std::vector<std::string> b = DescribeProject(W());
    for (auto* side : {&a, &b})
        for (auto& l : *side)
            l = replaceAll(replaceAll(l, "p1/", "pX/"), "p2/", "pX/");
    EXPECT_THAT(b, ElementsAreArray(a));
}

INSTANTIATE_TEST_SUITE_P(Generations, SystemGenerationTest,
                         ::testing::Values(TGeneration::OlderCopies, TGeneration::NewerNamedCopies,
                                           TGeneration::MappingOnly),
                         [](const auto& info) { return generationName(info.param); });

TEST_F(SystemFileTest, ExportIsWhat4diacsImporterTakes)
{
    const fs::path sys = WriteSystem(systemText(TGeneration::OlderCopies));
    const fs::path project = Work / "p/line.crf";
    ASSERT_EQ(Telvo({"sys", "import", sys.string(), "--project", project.string()}).ExitCode, 0);
    ASSERT_EQ(Telvo({"sys", "export", project.string(), "--out", (Work / "out").string()}).ExitCode, 0);
    const std::string text = ReadFile(Work / "out/Line.sys");
    EXPECT_EQ(text.find("<!DOCTYPE"), std::string::npos);
    EXPECT_THAT(text, HasSubstr("\n\t<VersionInfo Version=\"1.0\" Author=\"TELVO ZOZE\" />\n\t<Application "));
    // Whatever a Mapping or Link names comes before it.
    std::vector<size_t> at;
    for (const char* tag : {"<Application ", "<Device ", "<Segment ", "<Mapping ", "<Link "})
        at.push_back(text.find(tag));
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << text;
    EXPECT_THAT(text, HasSubstr("<Parameter Name=\"MGR_ID\" Value=\"&quot;localhost:61499&quot;\" />"));
    // Newer generation: the resource names its FBs App.FB, the mapping the
    // resource; START goes to the FBs no event reaches.
    EXPECT_THAT(text, HasSubstr("<Mapping From=\"Conveyor.Split\" To=\"PLC.Fast\" />"));
    EXPECT_THAT(text, HasSubstr("<FB Name=\"Conveyor.Tick\" Type=\"TICKER\""));
    EXPECT_THAT(text, HasSubstr("<Connection Source=\"START.COLD\" Destination=\"Conveyor.Tick.INIT\""));
    EXPECT_THAT(text, HasSubstr("<Segment Name=\"Bus\" Type=\"Ethernet\""));
    EXPECT_THAT(text, HasSubstr("<Link SegmentName=\"Bus\" CommResource=\"PLC\""));

    std::vector<std::string> notCarried;
    const TSystem back = ReadSystemText(text, "Line.sys", notCarried);
    EXPECT_THAT(notCarried, ElementsAreArray({"Line.sys: VersionInfo in Line is not carried over"}));
    ASSERT_EQ(back.Devices.size(), 2u);
    EXPECT_EQ(back.Devices[0].Resources.size(), 2u);
}

TEST_F(SystemFileTest, ResourceNameSurvivesSaveReopenAndDeployment)
{
    const fs::path sys = WriteSystem(systemText(TGeneration::NewerNamedCopies));
    const fs::path project = Work / "p/line.crf";
    ASSERT_EQ(Telvo({"sys", "import", sys.string(), "--project", project.string()}).ExitCode, 0);
    Restart();
    OpenProject(W(), project.string());
    SaveProject(W());
    Restart();
    OpenProject(W(), project.string());
    auto* panel = dynamic_cast<TslIECDevice*>(Layer().FindByName("Panel"));
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->ResourceName, "EMB");

    auto r = Telvo({"deploy", project.string(), "--target", "forte", "--dry-run"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_THAT(r.Out, HasSubstr("PLC.Fast/Fast: "));
    EXPECT_THAT(r.Out, HasSubstr("Panel/EMB: "));
    EXPECT_THAT(r.Out, HasSubstr("<FB Name=\"EMB\" Type=\"EMB_RES\""));
    // The user's choice still goes first.
    auto chosen = Telvo({"deploy", project.string(), "--target", "forte", "--dry-run", "--resource", "Panel=OWN"});
    EXPECT_THAT(chosen.Out, HasSubstr("Panel/OWN: "));
}

TEST_F(SystemFileTest, DryRunListsWhatWouldBeMadeAndWritesNothing)
{
    const fs::path sys = WriteSystem(systemText(TGeneration::NewerNamedCopies));
    const auto before = filesBelow(Work.Path());
    auto r = Telvo({"sys", "import", sys.string(), "--project", (Work / "p/line.crf").string(), "--dry-run"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_THAT(lines(r.Out), Contains("system\tLine\tapplications=1\tfbs=5\tconnections=5\tdevices=2\tresources="
                                       "3\tmapped=5"));
    EXPECT_THAT(lines(r.Out), Contains("device\tPanel\tFORTE_PC\t127.0.0.1:61500\tresource=EMB\tfbs=1"));
    EXPECT_EQ(filesBelow(Work.Path()), before);
    EXPECT_FALSE(fs::exists(Home / "library/Line"));
}

// The example plant: every instance, constant, IEC device and distribution
// comes back; a connection stays when both its FBs are in one application
// or on one device, and each other one is told.
TEST_F(SystemFileTest, ExamplePlantKeepsItsInstancesConstantsDevicesAndDistribution)
{
    auto exported = Telvo({"sys", "export", (ExampleDir() / "plant.crf").string(), "--out", (Work / "out").string()});
    ASSERT_EQ(exported.ExitCode, 0) << exported.Err;
    const fs::path project = Work / "p/plant.crf";
    auto r = Telvo({"sys", "import", (Work / "out/Plant.sys").string(), "--project", project.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;

    auto facts = [&](const std::string& file, std::set<std::string>& connections) {
        Restart();
        OpenProject(W(), file);
        std::vector<std::string> out;
        for (const auto& rec : M().Instances) {
            out.push_back(rec->Name + " " + rec->Type->Name + " on " + (rec->Device ? rec->Device->Name : "-"));
            for (const auto& in : rec->DataInputs)
                if (!in->ValueText.empty())
                    out.push_back(rec->Name + "." + in->Name() + "=" + in->ValueText);
        }
        for (const auto& o : Layer().Objects)
            if (auto* d = dynamic_cast<const TslIECDevice*>(o.get()))
                out.push_back(d->Name + " at " + d->DeviceIPAddress + ":" + d->DeviceAddressPort);
        for (const auto& c : M().EventConns)
            connections.insert(c->SourceInstance->Name + "." + c->SourcePort->Name() + " -> " + c->DestInstance->Name +
                               "." + c->DestPort->Name());
        for (const auto& c : M().DataConns)
            connections.insert(c->SourceInstance->Name + "." + c->SourcePort->Name() + " -> " + c->DestInstance->Name +
                               "." + c->DestPort->Name());
        return out;
    };
    std::set<std::string> plantConnections, importedConnections;
    const auto plant = facts((ExampleDir() / "plant.crf").string(), plantConnections);
    const auto imported = facts(project.string(), importedConnections);
    EXPECT_THAT(imported, ElementsAreArray(plant));
    const auto told = Messages(exported);
    for (const auto& c : plantConnections)
        if (!importedConnections.count(c)) {
            EXPECT_THAT(told, Contains(HasSubstr("The connection " + c + " joins"))) << c;
        }
    EXPECT_GE(importedConnections.size(), 4u);
    EXPECT_TRUE(std::includes(plantConnections.begin(), plantConnections.end(), importedConnections.begin(),
                              importedConnections.end()));
}

// Bad and hostile files: refused with the reason (nothing written), or
// imported with a message; never a file outside the project folder and the
// system's library folder.
struct HostileCase {
    std::string Name;
    std::string Text;
    bool Refused;
    std::string Said; // in stderr when refused, else among the messages (when given)
};

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.Name;
}

std::string minimalSystem(const std::string& name, const std::string& body)
{
    return "<?xml version=\"1.0\"?>\n<System Name=\"" + name + "\">\n<VersionInfo Version=\"1\" Author=\"a\"/>\n" +
           body + "</System>\n";
}

const std::string OneFB = "<Application Name=\"App\"><SubAppNetwork><FB Name=\"A\" Type=\"E_SR\" x=\"0\" "
                          "y=\"0\"/></SubAppNetwork></Application>\n";

class SystemHostileTest : public SystemFileTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(SystemHostileTest, IsRefusedOrImportedWithAMessageAndStaysInItsFolders)
{
    const HostileCase& c = GetParam();
    const fs::path sys = Work.Write("sys/bad.sys", c.Text);
    const fs::path project = Work / "p/bad.crf";
    const auto libraryBefore = filesBelow(Home / "library");
    auto r = Telvo({"sys", "import", sys.string(), "--project", project.string()});
    if (c.Refused) {
        EXPECT_EQ(r.ExitCode, 1) << r.Out;
        EXPECT_THAT(r.Err, HasSubstr(c.Said));
        EXPECT_FALSE(fs::exists(Work / "p"));
    } else {
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        if (!c.Said.empty()) {
            EXPECT_THAT(Messages(r), Contains(HasSubstr(c.Said)));
        }
        EXPECT_EQ(Info(project)[0], "project\tSys\tP/bad.crf");
    }
    // Only the project folder, and the library's folder of the system, grew.
    for (const auto& f : filesBelow(Work.Path()))
        EXPECT_TRUE(f.rfind("sys/", 0) == 0 || f.rfind("p/", 0) == 0) << f;
    for (const auto& f : filesBelow(Home / "library"))
        EXPECT_TRUE(libraryBefore.count(f) || f.rfind("Sys/", 0) == 0) << f;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SystemHostileTest,
    ::testing::Values(
        HostileCase{"Truncated", minimalSystem("Sys", OneFB).substr(0, 120), true, "bad.sys: line "},
        HostileCase{"NotASystem", "<FBType Name=\"Sys\"/>", true, "the root element is not System"},
        HostileCase{"SystemWithoutName", "<System><Application/></System>", true, "has no Name"},
        HostileCase{"ApplicationWithoutName", minimalSystem("Sys", "<Application/>"), true,
                    "a Application in Sys has no Name"},
        HostileCase{"SystemNameLeadsOut", minimalSystem("../../Sys", OneFB), true, "cannot name a library folder"},
        HostileCase{
            "SubappsNestedTooDeep",
            minimalSystem("Sys", "<Application Name=\"App\"><SubAppNetwork>" +
                                     replaceAll(std::string(70, 'x'), "x", "<SubApp Name=\"S\"><SubAppNetwork>") +
                                     replaceAll(std::string(70, 'x'), "x", "</SubAppNetwork></SubApp>") +
                                     "</SubAppNetwork></Application>"),
            true, "nested deeper than"},
        HostileCase{"UnknownElement", minimalSystem("Sys", OneFB + "<Gadget Name=\"G\"/>\n"), false,
                    "Gadget G in Sys is not carried over"},
        HostileCase{"ApplicationNameLeadsOut",
                    minimalSystem("Sys", replaceAll(OneFB, "Name=\"App\"", "Name=\"../../../evil\"")), false, ""},
        HostileCase{"FBNameLeadsOut", minimalSystem("Sys", replaceAll(OneFB, "Name=\"A\"", "Name=\"../A\"")), false,
                    "FB App.../A is named ___A here"},
        HostileCase{"MissingType", minimalSystem("Sys", OneFB + replaceAll(OneFB, "E_SR", "NOWHERE")), false,
                    "FB App.A is not carried over: neither the system's folder nor the library has the type NOWHERE"},
        HostileCase{"DeviceNameLeadsOut",
                    minimalSystem("Sys", OneFB + "<Device Name=\"../../dev\" Type=\"FORTE_PC\"><Resource "
                                                 "Name=\"R\"/></Device><Mapping From=\"App.A\" To=\"../../dev.R\"/>"),
                    false, ""}),
    [](const auto& info) { return info.param.Name; });

TEST_F(SystemFileTest, FailedWriteLeavesNothingBehind)
{
    const fs::path sys = WriteSystem(systemText(TGeneration::NewerNamedCopies));
    // The system's library folder cannot be made: a file has its name.
    Home.Write("library/Line", "in the way");
    const fs::path project = Work / "p/line.crf";
    auto r = Telvo({"sys", "import", sys.string(), "--project", project.string()});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_THAT(r.Err, HasSubstr("The system is not imported, nothing of it is kept"));
    EXPECT_THAT(filesBelow(Work / "p"), IsEmpty());

    // An existing project is never overwritten.
    Work.Write("q/line.crf", "mine");
    auto again = Telvo({"sys", "import", sys.string(), "--project", (Work / "q/line.crf").string()});
    EXPECT_EQ(again.ExitCode, 1);
    EXPECT_THAT(again.Err, HasSubstr("exists already"));
    EXPECT_EQ(ReadFile(Work / "q/line.crf"), "mine");
}

} // namespace
} // namespace telvo::test
