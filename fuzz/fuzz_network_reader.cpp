// Feeds arbitrary bytes to the FB network reader, on a project with a small
// library (a basic and a composite type) and a system layer with IPPs on an
// IPT and on a device. Whatever reads is written out and read again into a
// fresh project, which must succeed; then the layer's IPT and device are
// deleted and the first record with them, so that every reference the file
// made is torn down while the sanitizers watch.

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/file_util.h"
#include "model/library_index.h"
#include "model/user_interface.h"
#include "persistence/network_file.h"
#include "persistence/type_file.h"
#include "systemlayer/system_layer.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace telvo;

namespace {

const char* const kCounter = R"(<FBType Name="COUNTER"><InterfaceList>
  <EventInputs><Event Name="INIT"/><Event Name="REQ"/></EventInputs>
  <EventOutputs><Event Name="CNF"/></EventOutputs>
  <InputVars><VarDeclaration Name="N" Type="INT" InitialValue="5"/><VarDeclaration Name="R" Type="REAL"/>
    <VarDeclaration Name="S" Type="STRING"/></InputVars>
  <OutputVars><VarDeclaration Name="Q" Type="INT"/></OutputVars></InterfaceList>
  <BasicFB><InternalVars><VarDeclaration Name="C" Type="INT" InitialValue="3"/></InternalVars></BasicFB></FBType>)";

const char* const kPair = R"(<FBType Name="PAIR"><InterfaceList>
  <EventInputs><Event Name="REQ"/></EventInputs><EventOutputs><Event Name="DONE"/></EventOutputs>
  <InputVars><VarDeclaration Name="IN" Type="INT"/></InputVars></InterfaceList>
  <FBNetwork><FB Name="X" Type="COUNTER"/><FB Name="Y" Type="COUNTER"/>
    <EventConnections><Connection Source="REQ" Destination="X.REQ"/><Connection Source="X.CNF" Destination="Y.REQ"/>
      <Connection Source="Y.CNF" Destination="DONE"/></EventConnections>
    <DataConnections><Connection Source="IN" Destination="X.N"/><Connection Source="X.Q" Destination="Y.N"/>
      <Connection Source="2.5" Destination="Y.R"/></DataConnections></FBNetwork></FBType>)";

struct TSetup {
    std::filesystem::path Home;
    TRecordingUserInterface IndexUI;
    TLibraryIndex Index;
    std::vector<std::string> Names;

    TSetup()
    {
        std::filesystem::path base =
            std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
        Home = base / ("telvo-fuzz-network-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Home / "library" / "lib");
        WriteFileAtomic(Home / "library" / "lib" / "COUNTER.fbt", kCounter);
        WriteFileAtomic(Home / "library" / "lib" / "PAIR.fbt", kPair);
        IndexLibraryFolder(Home / "library", Index, Names, IndexUI);
    }
};

TSetup& setup()
{
    static TSetup s;
    return s;
}

// A project: a layer and an FB manager hooked to it.
struct TProject {
    TRecordingUserInterface UI;
    TSystemLayerManager Layer;
    TFB_Manager Manager;
    TslIPT* Ipt = nullptr;
    TslIECDevice* Device = nullptr;

    TProject() : Layer(setup().Home), Manager(context())
    {
        UI.KeepLog = false;
        Manager.Context.Reader = [this](const std::string& xml, TFB_Type& target) {
            return ReadFBType(xml, target, &Manager);
        };
        Manager.AttachSystemLayer(&Layer);
        Ipt = dynamic_cast<TslIPT*>(Layer.AddObject("boiler1", slIPT, slCustomIptSubtype));
        Ipt->AddIpp("IPP_0", "INT", TslIPPRef::Sensor);
        Ipt->AddIpp("IPP_1", "EVENT", TslIPPRef::Actuator)->IsEventIPP = true;
        Device = dynamic_cast<TslIECDevice*>(Layer.AddObject("dev", slIECDevice));
        auto ipp = std::make_unique<TslIPPRef>(&Layer);
        ipp->Name = "D";
        Device->AddIppRef(std::move(ipp));
    }

    TTypeLoadContext context()
    {
        TTypeLoadContext c;
        c.UI = &UI;
        c.ProgramFolder = setup().Home;
        c.Index = &setup().Index;
        return c;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string written;
    {
        TProject p;
        TFB_Diagram* d = p.Manager.CreateDiagram("fuzz", 1.0);
        try {
            LoadFromText(*d, text, "fuzz.fbn");
        } catch (const EXmlParseError&) {
            return 0;
        } catch (const ENotANetworkFile&) {
            return 0;
        }
        for (const auto& diagram : p.Manager.Diagrams)
            diagram->RebuildLines();
        written = NetworkToText(*d);
        if (!p.Manager.Instances.empty()) {
            AssignInstance(p.Device, p.Manager.Instances.front().get());
            p.Manager.DeleteInstance(p.Manager.Instances.front().get());
        }
        p.Layer.DeleteObject(p.Ipt);
        p.Layer.DeleteObject(p.Device);
        NetworkToText(*d);
    }
    {
        // What the writer wrote reads again.
        TProject again;
        TFB_Diagram* d = again.Manager.CreateDiagram("again", 1.0);
        try {
            LoadFromText(*d, written, "again.fbn");
        } catch (const std::exception&) {
            std::abort();
        }
    }
    return 0;
}
