#include "network/network_fixture.h"

#include "persistence/network_file.h"

#include <filesystem>

namespace telvo::test {

std::string CounterType(const std::string& name)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name=")" + name + R"(" Comment="Counts requests">
  <InterfaceList>
    <EventInputs><Event Name="INIT" Type="EVENT"/><Event Name="REQ" Type="EVENT"/></EventInputs>
    <EventOutputs><Event Name="CNF" Type="EVENT"/></EventOutputs>
    <InputVars><VarDeclaration Name="N" Type="INT" InitialValue="5"/><VarDeclaration Name="S" Type="STRING"/></InputVars>
    <OutputVars><VarDeclaration Name="Q" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB><InternalVars><VarDeclaration Name="C" Type="INT" InitialValue="3"/></InternalVars></BasicFB>
</FBType>
)";
}

std::string ShrunkCounterType()
{
    return R"(<FBType Name="COUNTER">
  <InterfaceList>
    <EventInputs><Event Name="INIT"/><Event Name="REQ"/></EventInputs>
    <EventOutputs><Event Name="EXTRA"/></EventOutputs>
    <InputVars><VarDeclaration Name="N" Type="INT"/><VarDeclaration Name="S" Type="STRING"/></InputVars>
  </InterfaceList>
  <BasicFB><InternalVars><VarDeclaration Name="D" Type="REAL" InitialValue="1.5"/></InternalVars></BasicFB>
</FBType>
)";
}

std::string PairType(const std::string& name, const std::string& innerType)
{
    return R"(<FBType Name=")" + name + R"(">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/></EventInputs>
    <EventOutputs><Event Name="DONE"/></EventOutputs>
    <InputVars><VarDeclaration Name="IN" Type="INT"/></InputVars>
    <OutputVars><VarDeclaration Name="OUT" Type="INT"/></OutputVars>
  </InterfaceList>
  <FBNetwork>
    <FB Name="X" Type=")" + innerType + R"(" x="100" y="200"/>
    <FB Name="Y" Type=")" + innerType + R"(" x="300" y="200"/>
    <EventConnections>
      <Connection Source="REQ" Destination="X.REQ"/>
      <Connection Source="X.CNF" Destination="Y.REQ"/>
      <Connection Source="Y.CNF" Destination="DONE"/>
    </EventConnections>
    <DataConnections>
      <Connection Source="IN" Destination="X.N"/>
      <Connection Source="X.Q" Destination="Y.N"/>
      <Connection Source="Y.Q" Destination="OUT"/>
      <Connection Source="7" Destination="Y.S"/>
    </DataConnections>
  </FBNetwork>
</FBType>
)";
}

std::string NetworkText(const std::string& body, const std::string& rootAttributes)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FBNetwork" + rootAttributes + ">\n" + body +
           "\n</FBNetwork>\n";
}

NetworkTest::NetworkTest()
{
    std::filesystem::create_directories(Home.Path() / "library");
    std::filesystem::copy(SourceDir() / "library" / "events", Home.Path() / "library" / "events",
                          std::filesystem::copy_options::recursive);
    Home.Write("library/test/COUNTER.fbt", CounterType());
    Home.Write("library/test/PAIR.fbt", PairType());
    Reopen();
}

void NetworkTest::Reopen()
{
    Bench.reset();
    Boiler = nullptr;
    Device = nullptr;
    UI.Clear();
    Bench = std::make_unique<TWorkbench>(Home.Path(), UI);
    Bench->IndexLibrary();
}

TFB_EventAssocRef* NetworkTest::ConnectEvents(TFB_InstanceRef* src, const std::string& out, TFB_InstanceRef* dst,
                                              const std::string& in)
{
    auto r = std::make_unique<TFB_EventAssocRef>();
    r->SourceInstance = src;
    r->SourcePort = src->FindEventOutput(out);
    r->DestInstance = dst;
    r->DestPort = dst->FindEventInput(in);
    EXPECT_TRUE(r->SourcePort && r->DestPort) << out << " " << in;
    return M().AddEventConn(std::move(r));
}

TFB_DataAssocRef* NetworkTest::ConnectData(TFB_InstanceRef* src, const std::string& out, TFB_InstanceRef* dst,
                                           const std::string& in)
{
    auto r = std::make_unique<TFB_DataAssocRef>();
    r->SourceInstance = src;
    r->SourcePort = src->FindDataOutput(out);
    r->DestInstance = dst;
    r->DestPort = dst->FindDataInput(in);
    EXPECT_TRUE(r->SourcePort && r->DestPort) << out << " " << in;
    return M().AddDataConn(std::move(r));
}

TFB_IPPFBAssocsRef* NetworkTest::ConnectIppData(const std::string& ipp, TFB_InstanceRef* dst, const std::string& in)
{
    auto r = std::make_unique<TFB_IPPFBAssocsRef>();
    r->IPP = Boiler->getIppByName(ipp);
    r->Instance = dst;
    r->DataPort = dst->FindDataInput(in);
    EXPECT_TRUE(r->IPP && r->DataPort) << ipp << " " << in;
    return M().AddIPPFBConn(std::move(r));
}

TFB_Diagram* NetworkTest::LoadText(const std::string& text, const std::string& fileName, double zoom)
{
    auto path = Home.Write(fileName, text);
    TFB_Diagram* d = M().CreateDiagram(fileName, zoom);
    LoadFromFile(*d, path.string());
    return d;
}

void NetworkTest::MakeLayer()
{
    Boiler = dynamic_cast<TslIPT*>(Layer().AddObject("boiler1", slIPT, slCustomIptSubtype));
    Boiler->AddIpp("IPP_0", "INT", TslIPPRef::Sensor);
    Boiler->AddIpp("IPP_1", "EVENT", TslIPPRef::Actuator)->IsEventIPP = true;
    Device = dynamic_cast<TslIECDevice*>(Layer().AddObject("IEC_Device0", slIECDevice));
    auto ipp = std::make_unique<TslIPPRef>(&Layer());
    ipp->Name = "DIPP";
    ipp->TypeName = "INT";
    Device->AddIppRef(std::move(ipp));
}

} // namespace telvo::test
