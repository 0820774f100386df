// Command sets for a plant-sized project: 20 IEC devices, each with a
// process-interface diagram of 5 interface blocks and 4 IPPs, and a merged
// network of 5,000 instances and 10,000 event and data connections (a few of
// them between devices, and the devices' IPPs bound to application ports),
// against opening that project.
//
// Run: build/<dir>/bench/bench_deploy

#include "deploy/command_set.h"
#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/file_util.h"
#include "model/user_interface.h"
#include "systemlayer/system_layer.h"
#include "workbench/project_lifecycle.h"
#include "workbench/workbench.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace telvo;

namespace {

constexpr int kDevices = 20;
constexpr int kInstances = 5000;
constexpr int kPerDevice = kInstances / kDevices;

const char* const kBlock = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="GEN" Comment="A block of a generated plant">
  <InterfaceList>
    <EventInputs><Event Name="EI1"/><Event Name="EI2"/></EventInputs>
    <EventOutputs><Event Name="EO1"/><Event Name="EO2"/></EventOutputs>
    <InputVars><VarDeclaration Name="DI1" Type="INT"/><VarDeclaration Name="DI2" Type="REAL"/></InputVars>
    <OutputVars><VarDeclaration Name="DO1" Type="INT"/><VarDeclaration Name="DO2" Type="REAL"/></OutputVars>
  </InterfaceList>
  <BasicFB/>
</FBType>
)";

const char* const kInterface = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="IO" Comment="A device's interface block">
  <InterfaceList>
    <EventInputs><Event Name="WR"/></EventInputs>
    <EventOutputs><Event Name="RD"/></EventOutputs>
    <InputVars><VarDeclaration Name="OUT" Type="INT"/></InputVars>
    <OutputVars><VarDeclaration Name="IN" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB/>
</FBType>
)";

std::string instanceName(int i) { return "fb" + std::to_string(i); }
std::string deviceName(int k) { return "IEC_Device" + std::to_string(k); }

// The device's IPPs S (data sensor), A (data actuator), ES (event sensor),
// EA (event actuator), bound to interface blocks io0 ... io3; io4 stands alone.
std::string interfaceDiagram(const std::string& device)
{
    std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FBNetwork IsInternalDeviceDiagram=\"true\">\n";
    for (int i = 0; i < 5; ++i)
        body += "  <FB Name=\"io" + std::to_string(i) + "\" Type=\"IO\" x=\"100\" y=\"" + std::to_string(100 * i) + "\"/>\n";
    body += "  <EventConnections><Connection Source=\"io0.RD\" Destination=\"io4.WR\"/></EventConnections>\n";
    body += "  <DataConnections><Connection Source=\"io0.IN\" Destination=\"io4.OUT\"/></DataConnections>\n";
    const char* ports[][2] = {{"S", "io0.IN"}, {"A", "io1.OUT"}, {"ES", "io2.RD"}, {"EA", "io3.WR"}};
    for (auto& p : ports)
        body += "  <IPPDrawInstanceName Name=\"" + device + "." + p[0] + "\" x=\"10\" y=\"10\"/>\n";
    for (auto& p : ports)
        body += "  <FBIPPConnections><Connection Source=\"" + device + "." + p[0] + "\" Destination=\"" + p[1] +
                "\"/></FBIPPConnections>\n";
    return body + "</FBNetwork>\n";
}

struct TPlant {
    std::filesystem::path Home;
    std::string ProjectFile;

    TPlant()
    {
        Home = std::filesystem::temp_directory_path() / ("telvo-bench-deploy-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Home / "library" / "gen");
        WriteFileAtomic(Home / "library" / "gen" / "GEN.fbt", kBlock);
        WriteFileAtomic(Home / "library" / "gen" / "IO.fbt", kInterface);
        ProjectFile = (Home / "plant.crf").string();

        // Made by the workbench itself and saved as a user's project would be.
        TRecordingUserInterface ui;
        ui.KeepLog = false;
        TWorkbench bench(Home, ui);
        bench.IndexLibrary();
        bench.ProjectManager().Name = "Plant";
        bench.ProjectManager().FileName = ProjectFile;
        TFB_Manager& m = bench.FBManager();
        TSystemLayerManager& layer = bench.SystemLayer();

        std::vector<TslIECDevice*> devices;
        for (int k = 0; k < kDevices; ++k) {
            auto* d = dynamic_cast<TslIECDevice*>(layer.AddObject(deviceName(k), slIECDevice));
            d->DeviceIPAddress = "127.0.0.1";
            d->DeviceAddressPort = std::to_string(61499 + k);
            for (auto [name, event, actuator] : {std::tuple{"S", false, false}, std::tuple{"A", false, true},
                                                 std::tuple{"ES", true, false}, std::tuple{"EA", true, true}}) {
                auto ipp = std::make_unique<TslIPPRef>(&layer);
                ipp->Name = name;
                ipp->TypeName = event ? "EVENT" : "INT";
                ipp->IsEventIPP = event;
                ipp->SensorActuator = actuator ? TslIPPRef::Actuator : TslIPPRef::Sensor;
                d->AddIppRef(std::move(ipp));
            }
            const auto dfb = Home / (deviceName(k) + ".dfb");
            WriteFileAtomic(dfb, interfaceDiagram(deviceName(k)));
            d->InternalDeviceDiagramFilename = dfb.string();
            devices.push_back(d);
        }

        TFB_Diagram* merged = m.CreateDiagram("Merged network", 1.0);
        merged->FileName = (Home / "merged.fbn").string();
        for (int i = 0; i < kInstances; ++i)
            merged->AddInstance(instanceName(i), "GEN", false, nullptr)->PlaceAt(20 * (i % 100), 40 * (i / 100));
        for (int i = 0; i < kInstances; ++i) {
            TFB_InstanceRef* src = m.FindInstance(instanceName(i));
            TFB_InstanceRef* next = m.FindInstance(instanceName((i + 1) % kInstances));
            TFB_InstanceRef* far = m.FindInstance(instanceName((i + 7) % kInstances));
            auto e = std::make_unique<TFB_EventAssocRef>();
            e->SourceInstance = src;
            e->SourcePort = src->FindEventOutput(i % 2 ? "EO1" : "EO2");
            e->DestInstance = next;
            e->DestPort = next->FindEventInput(i % 2 ? "EI2" : "EI1");
            m.AddEventConn(std::move(e));
            auto dc = std::make_unique<TFB_DataAssocRef>();
            dc->SourceInstance = src;
            dc->SourcePort = src->FindDataOutput("DO1");
            dc->DestInstance = far;
            dc->DestPort = far->FindDataInput("DI1");
            m.AddDataConn(std::move(dc));
        }
        // Each device's IPPs meet the application: its sensors feed a block
        // on the device, its actuators are driven from the next device.
        for (int k = 0; k < kDevices; ++k) {
            TslIECDevice* d = devices[k];
            TFB_InstanceRef* here = m.FindInstance(instanceName(k * kPerDevice));
            TFB_InstanceRef* there = m.FindInstance(instanceName(((k + 1) % kDevices) * kPerDevice + 1));
            int y = 0;
            for (const auto& ipp : d->IPPList) {
                merged->AddIPPPicture(ipp.get(), 10, y += 20);
                auto r = std::make_unique<TFB_IPPFBAssocsRef>();
                r->IPP = ipp.get();
                r->Instance = ipp->IsActuator() ? there : here;
                if (ipp->IsEventIPP)
                    r->EventPort = ipp->IsActuator() ? there->FindEventOutput("EO1") : here->FindEventInput("EI1");
                else
                    r->DataPort = ipp->IsActuator() ? there->FindDataOutput("DO2") : here->FindDataInput("DI2");
                m.AddIPPFBConn(std::move(r));
            }
        }
        merged->RebuildLines();
        for (int i = 0; i < kInstances; ++i)
            AssignInstance(devices[i / kPerDevice], m.FindInstance(instanceName(i)));
        WriteProjectFile(ProjectParts(bench), ProjectFile);
    }
    ~TPlant()
    {
        std::error_code ec;
        std::filesystem::remove_all(Home, ec);
    }
};

TPlant& plant()
{
    static TPlant p;
    return p;
}

// The baseline: opening the project (its file, the merged network, the
// distribution) in a workbench.
void BM_OpenProject(benchmark::State& state)
{
    TPlant& p = plant();
    TRecordingUserInterface ui;
    ui.KeepLog = false;
    TWorkbench bench(p.Home, ui);
    bench.IndexLibrary();
    for (auto _ : state) {
        state.PauseTiming();
        CloseProject(bench); // answered No: nothing is saved
        state.ResumeTiming();
        OpenProject(bench, p.ProjectFile);
        benchmark::DoNotOptimize(bench.FBManager().Instances.size());
    }
    state.counters["instances"] = static_cast<double>(bench.FBManager().Instances.size());
    state.counters["messages"] = static_cast<double>(ui.Messages().size());
}
BENCHMARK(BM_OpenProject)->Unit(benchmark::kMillisecond);

// One run over all 20 devices: each process-interface diagram read once,
// every line made and handed to a sink.
void BM_CommandSetsForAllDevices(benchmark::State& state)
{
    TPlant& p = plant();
    TRecordingUserInterface ui;
    ui.KeepLog = false;
    TWorkbench bench(p.Home, ui);
    bench.IndexLibrary();
    OpenProject(bench, p.ProjectFile);
    const auto form = state.range(0) ? TCommandForm::Xml : TCommandForm::Script;
    size_t lines = 0, bytes = 0;
    for (auto _ : state) {
        lines = bytes = 0;
        TCommandSetGenerator run(bench.FBManager());
        run.Form = form;
        run.Output = [&](const std::string& line) {
            ++lines;
            bytes += line.size();
        };
        for (const auto& object : bench.SystemLayer().Objects)
            if (auto* device = dynamic_cast<const TslIECDevice*>(object.get()))
                run.DeviceCommandSet(*device);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["messages"] = static_cast<double>(ui.Messages().size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_CommandSetsForAllDevices)->ArgName("xml")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// One IPP path: read from a run's cache, and with the device's diagram read
// for the call, as a fresh run does.
void BM_IppPath(benchmark::State& state)
{
    TPlant& p = plant();
    TRecordingUserInterface ui;
    ui.KeepLog = false;
    TWorkbench bench(p.Home, ui);
    bench.IndexLibrary();
    OpenProject(bench, p.ProjectFile);
    auto* device = dynamic_cast<const TslIECDevice*>(bench.SystemLayer().FindByName(deviceName(3)));
    const TslIPPRef* ipp = device->FindIpp("A");
    const bool cached = state.range(0) != 0;
    TCommandSetGenerator shared(bench.FBManager());
    for (auto _ : state) {
        if (cached) {
            benchmark::DoNotOptimize(shared.GetIPPPathfromDevice(*device, ipp));
        } else {
            TCommandSetGenerator run(bench.FBManager());
            benchmark::DoNotOptimize(run.GetIPPPathfromDevice(*device, ipp));
        }
    }
}
BENCHMARK(BM_IppPath)->ArgName("cached")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
