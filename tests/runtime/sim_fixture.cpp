#include "runtime/sim_fixture.h"

#include "persistence/network_file.h"
#include "runtime/rt_thread.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace telvo::test {

const char* const kPulseType = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="PULSE">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/><Event Name="INIT"/></EventInputs>
    <EventOutputs><Event Name="CNF"/></EventOutputs>
    <InputVars><VarDeclaration Name="IN1" Type="INT"/></InputVars>
    <OutputVars><VarDeclaration Name="OUT" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB>
    <InternalVars><VarDeclaration Name="CNT" Type="INT" InitialValue="0"/></InternalVars>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="RUN"><ECAction Algorithm="Count" Output="CNF"/></ECState>
      <ECTransition Source="START" Destination="RUN" Condition="REQ"/>
      <ECTransition Source="RUN" Destination="START" Condition="1"/>
    </ECC>
    <Algorithm Name="Count"><Other Language="DelphiScript" Text="CNT := CNT + 1;&#10;DO_OUT := IN1 + CNT;"/></Algorithm>
  </BasicFB>
</FBType>
)";

const char* const kLooperType = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="LOOPER">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/></EventInputs>
    <EventOutputs><Event Name="CNF"/></EventOutputs>
  </InterfaceList>
  <BasicFB>
    <InternalVars><VarDeclaration Name="CNT" Type="INT" InitialValue="0"/></InternalVars>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="A"><ECAction Algorithm="Count" Output="CNF"/></ECState>
      <ECState Name="B"/>
      <ECTransition Source="START" Destination="A" Condition="REQ"/>
      <ECTransition Source="A" Destination="B" Condition="1"/>
      <ECTransition Source="B" Destination="A" Condition="1"/>
    </ECC>
    <Algorithm Name="Count"><Other Language="DelphiScript" Text="CNT := CNT + 1;"/></Algorithm>
  </BasicFB>
</FBType>
)";

const char* const kSpinnerType = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="SPINNER">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/></EventInputs>
  </InterfaceList>
  <BasicFB>
    <InternalVars><VarDeclaration Name="CNT" Type="INT" InitialValue="0"/></InternalVars>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="SPIN"><ECAction Algorithm="Spin" Output=""/></ECState>
      <ECTransition Source="START" Destination="SPIN" Condition="REQ"/>
    </ECC>
    <Algorithm Name="Spin"><Other Language="DelphiScript" Text="while True do&#10;  CNT := CNT + 1;"/></Algorithm>
  </BasicFB>
</FBType>
)";

const char* const kBrokenType = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="BROKEN">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/><Event Name="INIT"/></EventInputs>
    <EventOutputs><Event Name="CNF"/></EventOutputs>
    <OutputVars><VarDeclaration Name="OUT" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="NEVER"/>
      <ECState Name="FAIL"><ECAction Algorithm="Fail" Output="CNF"/></ECState>
      <ECTransition Source="START" Destination="NEVER" Condition="REQ AND ("/>
      <ECTransition Source="START" Destination="FAIL" Condition="REQ"/>
      <ECTransition Source="FAIL" Destination="START" Condition="1"/>
    </ECC>
    <Algorithm Name="Fail"><Other Language="DelphiScript" Text="DO_OUT := 42;&#10;raise 'no luck';"/></Algorithm>
  </BasicFB>
</FBType>
)";

const char* const kOddType = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="ODD">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/><Event Name="INIT"/></EventInputs>
    <EventOutputs><Event Name="CNF"/><Event Name="DONE"/></EventOutputs>
    <OutputVars><VarDeclaration Name="OUT" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="TWO"><ECAction Algorithm="First" Output="CNF"/><ECAction Algorithm="Second" Output="DONE"/></ECState>
      <ECState Name="GHOSTS">
        <ECAction Algorithm="Missing" Output="NOPE"/>
        <ECAction Algorithm="Empty" Output="CNF"/>
        <ECAction Algorithm="Foreign" Output=""/>
      </ECState>
      <ECTransition Source="START" Destination="TWO" Condition="REQ"/>
      <ECTransition Source="TWO" Destination="START" Condition="1"/>
      <ECTransition Source="START" Destination="GHOSTS" Condition="INIT"/>
      <ECTransition Source="GHOSTS" Destination="NOWHERE" Condition="1"/>
    </ECC>
    <Algorithm Name="First"><Other Language="DelphiScript" Text="DO_OUT := 1;"/></Algorithm>
    <Algorithm Name="Second"><Other Language="DelphiScript" Text="DO_OUT := DO_OUT * 10 + 2;"/></Algorithm>
    <Algorithm Name="Empty"><Other Language="DelphiScript" Text=""/></Algorithm>
    <Algorithm Name="Foreign"><Other Language="C" Text="OUT = 99;"/></Algorithm>
  </BasicFB>
</FBType>
)";

const char* const kDuoType = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="DUO">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/></EventInputs>
    <EventOutputs><Event Name="DONE"/></EventOutputs>
    <InputVars><VarDeclaration Name="IN" Type="INT"/></InputVars>
    <OutputVars><VarDeclaration Name="OUT" Type="INT"/></OutputVars>
  </InterfaceList>
  <FBNetwork>
    <FB Name="X" Type="PULSE" x="100" y="200"/>
    <FB Name="Y" Type="PULSE" x="300" y="200"/>
    <EventConnections>
      <Connection Source="REQ" Destination="X.REQ"/>
      <Connection Source="REQ" Destination="Y.INIT"/>
      <Connection Source="X.CNF" Destination="Y.REQ"/>
      <Connection Source="Y.CNF" Destination="DONE"/>
    </EventConnections>
    <DataConnections>
      <Connection Source="IN" Destination="X.IN1"/>
      <Connection Source="X.OUT" Destination="Y.IN1"/>
      <Connection Source="Y.OUT" Destination="OUT"/>
    </DataConnections>
  </FBNetwork>
</FBType>
)";

std::string Network(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FBNetwork>\n" + body + "\n</FBNetwork>\n";
}

SimTest::SimTest()
{
    std::filesystem::create_directories(Home.Path() / "library");
    std::filesystem::copy(SourceDir() / "library" / "events", Home.Path() / "library" / "events",
                          std::filesystem::copy_options::recursive);
    Home.Write("library/test/PULSE.fbt", kPulseType);
    Home.Write("library/test/LOOPER.fbt", kLooperType);
    Home.Write("library/test/SPINNER.fbt", kSpinnerType);
    Home.Write("library/test/BROKEN.fbt", kBrokenType);
    Home.Write("library/test/ODD.fbt", kOddType);
    Home.Write("library/test/DUO.fbt", kDuoType);
    Bench = std::make_unique<TWorkbench>(Home.Path(), UI);
    Bench->IndexLibrary();
}

TFB_Diagram* SimTest::Load(const std::string& networkBody, const std::string& fileName)
{
    const auto path = Home.Write(fileName, Network(networkBody));
    Diagram = M().CreateDiagram(fileName, 1.0);
    LoadFromFile(*Diagram, path.string());
    EXPECT_TRUE(UI.Messages().empty()) << UI.Messages().front();
    return Diagram;
}

namespace {

std::pair<std::string, std::string> split(const std::string& path)
{
    const auto dot = path.find('.');
    return {path.substr(0, dot), dot == std::string::npos ? std::string() : path.substr(dot + 1)};
}

} // namespace

TFB_InstanceRef* SimTest::Record(const std::string& name) const
{
    TFB_Instance* d = Diagram ? Diagram->FindDrawn(name) : nullptr;
    EXPECT_NE(d, nullptr) << name;
    return d ? d->Ref : nullptr;
}

TFBEvent* SimTest::EventIn(const std::string& path) const
{
    auto [inst, port] = split(path);
    TFB_InstanceRef* r = Record(inst);
    TFBEvent* e = r ? r->FindEventInput(port) : nullptr;
    EXPECT_NE(e, nullptr) << path;
    return e;
}

TFBEvent* SimTest::EventOut(const std::string& path) const
{
    auto [inst, port] = split(path);
    TFB_InstanceRef* r = Record(inst);
    TFBEvent* e = r ? r->FindEventOutput(port) : nullptr;
    EXPECT_NE(e, nullptr) << path;
    return e;
}

TFBDataMember* SimTest::DataIn(const std::string& path) const
{
    auto [inst, port] = split(path);
    TFB_InstanceRef* r = Record(inst);
    TFBDataMember* m = r ? r->FindDataInput(port) : nullptr;
    EXPECT_NE(m, nullptr) << path;
    return m;
}

TFBDataMember* SimTest::DataOut(const std::string& path) const
{
    auto [inst, port] = split(path);
    TFB_InstanceRef* r = Record(inst);
    TFBDataMember* m = r ? r->FindDataOutput(port) : nullptr;
    EXPECT_NE(m, nullptr) << path;
    return m;
}

std::vector<std::string> WithoutTime(const std::vector<std::string>& lines)
{
    std::vector<std::string> out;
    for (const auto& l : lines) {
        EXPECT_TRUE(l.size() > 9 && l[2] == ':' && l[5] == ':' && l[8] == ' ') << l;
        out.push_back(l.size() > 9 ? l.substr(9) : l);
    }
    return out;
}

std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix)
{
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (l.rfind(prefix, 0) == 0)
            out.push_back(l);
    return out;
}

std::vector<std::string> LinesContaining(const std::vector<std::string>& lines, const std::string& part)
{
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (l.find(part) != std::string::npos)
            out.push_back(l);
    return out;
}

size_t SimulationThreads() { return ThreadsNamed(kSimulationThreadPrefix); }

namespace {

// The words of a step's text, split at white space ("C.CV=1 C.Q=FALSE").
std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

} // namespace

void SimTest::PlayStep(THeadlessSimulation& sim, const TSimStep& step)
{
    for (const auto& a : Words(step.Inputs)) {
        const auto eq = a.find('=');
        TFBDataMember* in = DataIn(a.substr(0, eq));
        ASSERT_NE(in, nullptr) << a;
        in->SetValueFromText(a.substr(eq + 1));
    }
    if (*step.Event) {
        TFBEvent* e = EventIn(step.Event);
        ASSERT_NE(e, nullptr) << step.Event;
        sim.Environment.QueueEvent(e);
    }
    ASSERT_TRUE(sim.Step());

    std::string produced;
    for (const auto& drawn : Diagram->DrawnInstances)
        for (const auto& e : drawn->Ref->EventOutputs)
            if (e->Pending)
                produced += (produced.empty() ? "" : " ") + drawn->Ref->Name + "." + e->Name();
    EXPECT_EQ(produced, step.Outputs);
    for (const auto& v : Words(step.Values)) {
        const auto eq = v.find('=');
        TFBDataMember* out = DataOut(v.substr(0, eq));
        ASSERT_NE(out, nullptr) << v;
        EXPECT_EQ(out->FormatValue(), v.substr(eq + 1)) << v;
    }
}

} // namespace telvo::test
