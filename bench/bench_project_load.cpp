// Project files: opening the example project as the workbench does (its
// three network files, its types from the library), and reading and writing
// a large system layer (200 IEC devices with their 64 inputs and outputs
// each, 100 IPTs with 4 IPPs wired to the devices, fieldbuses and their
// connections) against parsing the same text with pugixml alone.
//
// Run: build/<dir>/bench/bench_project_load

#include "model/file_util.h"
#include "model/project_manager.h"
#include "model/user_interface.h"
#include "persistence/project_file.h"
#include "workbench/project_lifecycle.h"
#include "workbench/workbench.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <filesystem>
#include <string>
#include <unistd.h>

using namespace telvo;

namespace {

namespace fs = std::filesystem;

constexpr int kDevices = 200;
constexpr int kIpts = 100;
constexpr int kIppsPerIpt = 4;

struct TSetup {
    fs::path Home;
    std::string ExampleFile;
    std::string LargeFile;
    std::string LargeText;

    TSetup()
    {
        Home = fs::temp_directory_path() / ("telvo-bench-project-" + std::to_string(::getpid()));
        fs::create_directories(Home);
        const fs::path source(TELVO_SOURCE_DIR);
        fs::copy(source / "library", Home / "library", fs::copy_options::recursive);
        fs::copy(source / "images", Home / "images", fs::copy_options::recursive);
        fs::copy(source / "examples" / "plant" / "library", Home / "library",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        ExampleFile = (source / "examples" / "plant" / "plant.crf").string();

        // The large layer is made by the workbench itself and written with
        // the project writer, as a user's project would be.
        TRecordingUserInterface ui;
        ui.KeepLog = false;
        TWorkbench bench(Home, ui);
        TSystemLayerManager& layer = bench.SystemLayer();
        bench.ProjectManager().Name = "Large";
        std::vector<TslObject*> devices;
        for (int i = 0; i < kDevices; ++i) {
            TslObject* bus = layer.AddObject(layer.NewObjectName(slIECFieldbus), slIECFieldbus);
            TslObject* device = layer.AddObject(layer.NewObjectName(slIECDevice), slIECDevice);
            layer.Connect(bus, device);
            devices.push_back(device);
        }
        for (int i = 0; i < kIpts; ++i) {
            auto* ipt = dynamic_cast<TslIPT*>(layer.AddObject(layer.NewObjectName(slIPT, 2), slIPT, 2, "images/boiler.bmp"));
            for (int k = 0; k < kIppsPerIpt; ++k) {
                TslIPPRef* ipp = ipt->AddIpp(TSystemLayerManager::NewIppName(*ipt), "INT",
                                             k % 2 ? TslIPPRef::Actuator : TslIPPRef::Sensor);
                layer.Connect(ipp, devices[(i * kIppsPerIpt + k) % kDevices]);
            }
        }
        LargeFile = (Home / "large.crf").string();
        WriteProjectFile(ProjectParts(bench), LargeFile);
        LargeText = ReadFileText(LargeFile);
    }

    ~TSetup()
    {
        std::error_code ec;
        fs::remove_all(Home, ec);
    }
};

TSetup& setup()
{
    static TSetup s;
    return s;
}

void BM_OpenExampleProject(benchmark::State& state)
{
    TSetup& s = setup();
    TRecordingUserInterface ui;
    ui.KeepLog = false;
    TWorkbench bench(s.Home, ui);
    bench.IndexLibrary();
    for (auto _ : state) {
        OpenProject(bench, s.ExampleFile);
        CloseProject(bench); // answers No: nothing is written
        ui.Clear();
    }
}
BENCHMARK(BM_OpenExampleProject)->Unit(benchmark::kMillisecond);

void BM_ReadLargeSystemLayer(benchmark::State& state)
{
    TSetup& s = setup();
    TRecordingUserInterface ui;
    ui.KeepLog = false;
    TWorkbench bench(s.Home, ui);
    for (auto _ : state) {
        ReadProjectText(ProjectParts(bench), s.LargeText, s.LargeFile);
        state.PauseTiming();
        CloseProject(bench);
        ui.Clear();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.LargeText.size()));
}
BENCHMARK(BM_ReadLargeSystemLayer)->Unit(benchmark::kMillisecond);

void BM_ParseLargeSystemLayerOnly(benchmark::State& state)
{
    TSetup& s = setup();
    for (auto _ : state) {
        pugi::xml_document doc;
        benchmark::DoNotOptimize(doc.load_buffer(s.LargeText.data(), s.LargeText.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.LargeText.size()));
}
BENCHMARK(BM_ParseLargeSystemLayerOnly)->Unit(benchmark::kMillisecond);

void BM_WriteLargeSystemLayer(benchmark::State& state)
{
    TSetup& s = setup();
    TRecordingUserInterface ui;
    ui.KeepLog = false;
    TWorkbench bench(s.Home, ui);
    ReadProjectText(ProjectParts(bench), s.LargeText, s.LargeFile);
    for (auto _ : state)
        benchmark::DoNotOptimize(ProjectToText(ProjectParts(bench), s.LargeFile));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.LargeText.size()));
}
BENCHMARK(BM_WriteLargeSystemLayer)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
