#include "deploy/deploy_fixture.h"

#include "model/fb_instance.h"
#include "persistence/network_file.h"

namespace telvo::test {

namespace {

const char* const kBlock = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="BLK">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/></EventInputs>
    <EventOutputs><Event Name="CNF"/></EventOutputs>
    <InputVars><VarDeclaration Name="N" Type="INT"/><VarDeclaration Name="M" Type="INT"/></InputVars>
    <OutputVars><VarDeclaration Name="Q" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB/>
</FBType>
)";

const char* const kInterface = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="IO">
  <InterfaceList>
    <EventInputs><Event Name="WR"/></EventInputs>
    <EventOutputs><Event Name="RD"/></EventOutputs>
    <InputVars><VarDeclaration Name="OUT" Type="INT"/></InputVars>
    <OutputVars><VarDeclaration Name="IN" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB/>
</FBType>
)";

} // namespace

std::string Network(const std::string& body, bool internalDevice)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FBNetwork") +
           (internalDevice ? " IsInternalDeviceDiagram=\"true\"" : "") + ">\n" + body + "\n</FBNetwork>\n";
}

DeployTest::DeployTest()
{
    Home.Write("library/test/BLK.fbt", kBlock);
    Home.Write("library/test/IO.fbt", kInterface);
    Bench = std::make_unique<TWorkbench>(Home.Path(), UI);
    Bench->IndexLibrary();
}

TslIECDevice* DeployTest::AddIec(const std::string& name, const std::string& address, const std::string& port)
{
    auto* d = dynamic_cast<TslIECDevice*>(Layer().AddObject(name, slIECDevice));
    d->DeviceIPAddress = address;
    d->DeviceAddressPort = port;
    return d;
}

TslOPCDevice* DeployTest::AddOpc(const std::string& name)
{
    return dynamic_cast<TslOPCDevice*>(Layer().AddObject(name, slOPCDevice));
}

TslIPPRef* DeployTest::AddIpp(TslDevice* device, const std::string& name, bool event, bool actuator)
{
    auto ipp = std::make_unique<TslIPPRef>(&Layer());
    ipp->Name = name;
    ipp->TypeName = event ? "EVENT" : "INT";
    ipp->IsEventIPP = event;
    ipp->SensorActuator = actuator ? TslIPPRef::Actuator : TslIPPRef::Sensor;
    return device->AddIppRef(std::move(ipp));
}

void DeployTest::WriteInterface(TslDevice* device, const std::string& body)
{
    device->InternalDeviceDiagramFilename = Home.Write(device->Name + ".dfb", Network(body, true)).string();
}

TFB_Diagram* DeployTest::LoadMerged(const std::string& body, const std::string& fileName)
{
    auto path = Home.Write(fileName, Network(body));
    TFB_Diagram* d = M().CreateDiagram("Merged", 1.0);
    LoadFromFile(*d, path.string());
    return d;
}

void DeployTest::Assign(TslDevice* device, const std::string& instance)
{
    TFB_InstanceRef* r = M().FindInstance(instance);
    ASSERT_NE(r, nullptr) << instance;
    AssignInstance(device, r);
}

std::vector<std::string> DeployTest::CommandSet(const TslDevice* device, TCommandForm form)
{
    std::vector<std::string> lines;
    TCommandSetGenerator run(M());
    run.Form = form;
    run.Output = [&](const std::string& line) { lines.push_back(line); };
    run.DeviceCommandSet(*device);
    return lines;
}

std::vector<std::string> Commands(const std::vector<std::string>& lines)
{
    auto attribute = [](const std::string& line, const std::string& name) {
        size_t at = line.find(" " + name + "=\"");
        if (at == std::string::npos)
            return std::string("?");
        at += name.size() + 3;
        return line.substr(at, line.find('"', at) - at);
    };
    std::vector<std::string> out;
    std::string current;
    for (const auto& line : lines) {
        if (line.rfind("<COMMAND ", 0) == 0) {
            current = attribute(line, "ACTION") + " " + attribute(line, "TYPE");
        } else if (line.rfind("\t\t<STRING>", 0) == 0) {
            const size_t from = std::string("\t\t<STRING>").size();
            current += " " + line.substr(from, line.size() - from - std::string("</STRING>").size());
        } else if (line == "</COMMAND>") {
            out.push_back(current);
        }
    }
    return out;
}

std::vector<std::string> Joins(const std::vector<std::string>& lines)
{
    std::vector<std::string> out;
    for (auto& c : Commands(lines))
        if (c.rfind("CREATE FB_INSTANCE", 0) != 0)
            out.push_back(std::move(c));
    return out;
}

} // namespace telvo::test
