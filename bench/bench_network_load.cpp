// Loading a plant-sized project: 50 network files with 5,000 instances and
// 10,000 event and data connections (a few of them between files), read into
// a fresh FB manager and every diagram's lines rebuilt at the end, against
// parsing the same files with pugixml and doing nothing else.
//
// Run: build/<dir>/bench/bench_network_load

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/file_util.h"
#include "model/user_interface.h"
#include "persistence/network_file.h"
#include "workbench/workbench.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace telvo;

namespace {

constexpr int kFiles = 50;
constexpr int kPerFile = 100;       // instances per file
constexpr int kCrossPerFile = 2;    // event and data connections into the previous file

std::string typeText(const std::string& name)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name=")" + name + R"(" Comment="A block of a generated plant">
  <InterfaceList>
    <EventInputs><Event Name="EI1"/><Event Name="EI2"/></EventInputs>
    <EventOutputs><Event Name="EO1"/><Event Name="EO2"/></EventOutputs>
    <InputVars><VarDeclaration Name="DI1" Type="INT"/><VarDeclaration Name="DI2" Type="REAL"/></InputVars>
    <OutputVars><VarDeclaration Name="DO1" Type="INT"/><VarDeclaration Name="DO2" Type="REAL"/></OutputVars>
  </InterfaceList>
  <BasicFB><InternalVars><VarDeclaration Name="C" Type="INT" InitialValue="0"/></InternalVars></BasicFB>
</FBType>
)";
}

std::string instanceName(int file, int i) { return "f" + std::to_string(file) + "_" + std::to_string(i); }

struct TProject {
    std::filesystem::path Home;
    std::vector<std::string> Files;
    size_t Bytes = 0;

    // `types`: how many types of the library the instances take in turn;
    // one is the type GEN.
    explicit TProject(int types)
    {
        Home = std::filesystem::temp_directory_path() /
               ("telvo-bench-network-" + std::to_string(types) + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Home / "library" / "gen");
        auto typeOf = [types](int file, int i) {
            return types == 1 ? std::string("GEN") : "GEN" + std::to_string((file * kPerFile + i) % types);
        };
        for (int t = 0; t < types; ++t) {
            std::string name = typeOf(0, t);
            WriteFileAtomic(Home / "library" / "gen" / (name + ".fbt"), typeText(name));
        }
        // The files are made by the workbench itself, as a user's project
        // would be: every connection between two files is written in both.
        TRecordingUserInterface ui;
        ui.KeepLog = false;
        TWorkbench bench(Home, ui);
        bench.IndexLibrary();
        TFB_Manager& m = bench.FBManager();
        std::vector<TFB_Diagram*> diagrams;
        for (int f = 0; f < kFiles; ++f) {
            TFB_Diagram* d = m.CreateDiagram("net" + std::to_string(f), 1.0);
            diagrams.push_back(d);
            for (int i = 0; i < kPerFile; ++i)
                d->AddInstance(instanceName(f, i), typeOf(f, i), false, nullptr)->PlaceAt(20 * i, 40 * f);
        }
        for (int f = 0; f < kFiles; ++f)
            for (int i = 0; i < kPerFile; ++i) {
                bool cross = f > 0 && i < kCrossPerFile;
                TFB_InstanceRef* src = m.FindInstance(instanceName(f, i));
                TFB_InstanceRef* dst = m.FindInstance(cross ? instanceName(f - 1, i) : instanceName(f, (i + 1) % kPerFile));
                auto e = std::make_unique<TFB_EventAssocRef>();
                e->SourceInstance = src;
                e->SourcePort = src->FindEventOutput(i % 2 ? "EO1" : "EO2");
                e->DestInstance = dst;
                e->DestPort = dst->FindEventInput(i % 2 ? "EI2" : "EI1");
                m.AddEventConn(std::move(e));
                auto dc = std::make_unique<TFB_DataAssocRef>();
                dc->SourceInstance = src;
                dc->SourcePort = src->FindDataOutput("DO1");
                dc->DestInstance = dst;
                dc->DestPort = dst->FindDataInput("DI1");
                m.AddDataConn(std::move(dc));
            }
        for (TFB_Diagram* d : diagrams) {
            d->RebuildLines();
            std::string path = (Home / (d->Name + ".fbn")).string();
            SaveToFile(*d, path);
            Files.push_back(path);
            Bytes += std::filesystem::file_size(path);
        }
    }
    ~TProject()
    {
        std::error_code ec;
        std::filesystem::remove_all(Home, ec);
    }
};

TProject& project()
{
    static TProject p(1);
    return p;
}

// The same plant built from 200 types, as a real library project is.
constexpr int kManyTypes = 200;
TProject& manyTypeProject()
{
    static TProject p(kManyTypes);
    return p;
}

// Times `load` reading the project's files into a fresh FB manager.
template <typename Load>
void loadProject(benchmark::State& state, bool keepLog, Load load, TProject& p = project())
{
    TRecordingUserInterface ui;
    ui.KeepLog = keepLog;
    TWorkbench bench(p.Home, ui);
    bench.IndexLibrary();
    size_t records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bench.ResetFBManager();
        ui.Clear();
        state.ResumeTiming();
        TFB_Manager& m = bench.FBManager();
        load(m, p.Files);
        records = m.Instances.size() + m.EventConns.size() + m.DataConns.size();
        benchmark::DoNotOptimize(records);
    }
    state.counters["records"] = static_cast<double>(records);
    state.counters["messages"] = static_cast<double>(ui.Messages().size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.Bytes));
}

void BM_LoadAndRebuildProject(benchmark::State& state)
{
    // 1: every log line kept in memory (FindEventConn writes one per event
    // connection read); 0: counted out at the sink.
    loadProject(state, state.range(0) != 0, [](TFB_Manager& m, const std::vector<std::string>& files) {
        for (const auto& file : files)
            LoadFromFile(*m.CreateDiagram(file, 1.0), file);
        // The connections between files are complete only now.
        for (const auto& d : m.Diagrams)
            d->RebuildLines();
    });
}
BENCHMARK(BM_LoadAndRebuildProject)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The same files read as a project is opened: every file's instances, then
// every file's connections, then each diagram's lines once.
void BM_LoadProjectFiles(benchmark::State& state)
{
    loadProject(state, false, [](TFB_Manager& m, const std::vector<std::string>& files) {
        std::vector<TNetworkFileLoad> loads;
        loads.reserve(files.size());
        for (const auto& file : files)
            loads.push_back({m.CreateDiagram(file, 1.0), file});
        LoadFromFiles(loads);
    });
}
BENCHMARK(BM_LoadProjectFiles)->Unit(benchmark::kMillisecond);

// The same with 200 types: every load reads the types from the library
// again, and every instance looks its type up by name.
void BM_LoadProjectFilesManyTypes(benchmark::State& state)
{
    loadProject(
        state, false,
        [](TFB_Manager& m, const std::vector<std::string>& files) {
            std::vector<TNetworkFileLoad> loads;
            loads.reserve(files.size());
            for (const auto& file : files)
                loads.push_back({m.CreateDiagram(file, 1.0), file});
            LoadFromFiles(loads);
        },
        manyTypeProject());
}
BENCHMARK(BM_LoadProjectFilesManyTypes)->Unit(benchmark::kMillisecond);

void BM_ParseWithPugixmlOnly(benchmark::State& state)
{
    TProject& p = project();
    for (auto _ : state) {
        for (const auto& file : p.Files) {
            std::string text = ReadFileText(file);
            pugi::xml_document doc;
            benchmark::DoNotOptimize(doc.load_buffer(text.data(), text.size(), pugi::parse_default,
                                                     pugi::encoding_auto));
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.Bytes));
}
BENCHMARK(BM_ParseWithPugixmlOnly)->Unit(benchmark::kMillisecond);

// One diagram's lines from the records: stays linear in what the diagram
// shows, however many records the project holds.
void BM_RebuildOneDiagram(benchmark::State& state)
{
    TProject& p = project();
    TRecordingUserInterface ui;
    ui.KeepLog = false;
    TWorkbench bench(p.Home, ui);
    bench.IndexLibrary();
    TFB_Manager& m = bench.FBManager();
    for (const auto& file : p.Files)
        LoadFromFile(*m.CreateDiagram(file, 1.0), file);
    TFB_Diagram& d = *m.Diagrams[kFiles / 2];
    for (auto _ : state) {
        d.RebuildLines();
        benchmark::DoNotOptimize(d.EventLines.size());
    }
}
BENCHMARK(BM_RebuildOneDiagram)->Unit(benchmark::kMicrosecond);

// Deleting 1,000 of the 5,000 records (every fifth, so that the deletions
// reach every file): one DeleteInstance each (0), all in one
// DeleteInstances (1), or each record's drawing deleted from its diagram as
// the editor does, the record going with its last drawing (2).
void BM_DeleteThousandRecords(benchmark::State& state)
{
    TProject& p = project();
    TRecordingUserInterface ui;
    ui.KeepLog = false;
    TWorkbench bench(p.Home, ui);
    bench.IndexLibrary();
    for (auto _ : state) {
        state.PauseTiming();
        bench.ResetFBManager();
        TFB_Manager& m = bench.FBManager();
        LoadFromFiles([&] {
            std::vector<TNetworkFileLoad> files;
            for (const auto& file : p.Files)
                files.push_back({m.CreateDiagram(file, 1.0), file});
            return files;
        }());
        std::vector<TFB_InstanceRef*> doomed;
        for (size_t i = 0; i < m.Instances.size(); i += 5)
            doomed.push_back(m.Instances[i].get());
        state.ResumeTiming();
        if (state.range(0) == 1) {
            m.DeleteInstances(doomed);
        } else if (state.range(0) == 2) {
            for (TFB_InstanceRef* r : doomed)
                for (const auto& d : m.Diagrams)
                    if (TFB_Instance* drawn = d->FindDrawn(r->Name)) {
                        d->DeleteDrawn(drawn, true);
                        break;
                    }
        } else {
            for (TFB_InstanceRef* r : doomed)
                m.DeleteInstance(r);
        }
        benchmark::DoNotOptimize(m.Instances.size());
    }
}
BENCHMARK(BM_DeleteThousandRecords)->ArgName("at_once")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
