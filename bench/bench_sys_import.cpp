// IEC 61499 system files: importing a generated system (5,000 FBs and
// 10,000 connections in 20 applications, mapped to 20 devices whose
// resources hold their FBs as App.FB) as `telvo sys import` does, against
// parsing the same file with pugixml alone. The import with --dry-run reads,
// resolves the types and builds the project in memory; the full import also
// writes the project's files (removed again outside the timing).
//
// Run: build/<dir>/bench/bench_sys_import

#include "model/file_util.h"
#include "workbench/system_import.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <filesystem>
#include <string>
#include <unistd.h>

using namespace telvo;

namespace {

namespace fs = std::filesystem;

constexpr int kApplications = 20;
constexpr int kFBsPerApplication = 250;
constexpr int kConnectionsPerApplication = 500;

std::string generatedSystem()
{
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<System Name=\"Large\" Comment=\"\">\n"
                    "\t<VersionInfo Version=\"1.0\" Author=\"bench\"/>\n";
    auto fbName = [](int a, int i) { return "A" + std::to_string(a) + "_C" + std::to_string(i); };
    for (int a = 0; a < kApplications; ++a) {
        s += "\t<Application Name=\"App" + std::to_string(a) + "\" Comment=\"\">\n\t\t<SubAppNetwork>\n";
        for (int i = 0; i < kFBsPerApplication; ++i)
            s += "\t\t\t<FB Name=\"" + fbName(a, i) + "\" Type=\"E_CTU\" x=\"" + std::to_string(i * 400) + "\" y=\"" +
                 std::to_string(a * 1000) + "\">\n\t\t\t\t<Parameter Name=\"PV\" Value=\"" + std::to_string(i) +
                 "\"/>\n\t\t\t</FB>\n";
        // Events CUO -> CU and RO -> R along the chain, then data CV -> PV.
        std::string events, data;
        int made = 0;
        for (int i = 0; i + 1 < kFBsPerApplication && made < kConnectionsPerApplication; ++i, ++made)
            events += "\t\t\t\t<Connection Source=\"" + fbName(a, i) + ".CUO\" Destination=\"" + fbName(a, i + 1) +
                      ".CU\" Comment=\"\"/>\n";
        for (int i = 0; i + 1 < kFBsPerApplication && made < kConnectionsPerApplication; ++i, ++made)
            events += "\t\t\t\t<Connection Source=\"" + fbName(a, i) + ".RO\" Destination=\"" + fbName(a, i + 1) +
                      ".R\" Comment=\"\"/>\n";
        for (int i = 0; i + 1 < kFBsPerApplication && made < kConnectionsPerApplication; ++i, ++made)
            data += "\t\t\t\t<Connection Source=\"" + fbName(a, i) + ".CV\" Destination=\"" + fbName(a, i + 1) +
                    ".PV\" Comment=\"\"/>\n";
        s += "\t\t\t<EventConnections>\n" + events + "\t\t\t</EventConnections>\n\t\t\t<DataConnections>\n" + data +
             "\t\t\t</DataConnections>\n\t\t</SubAppNetwork>\n\t</Application>\n";
    }
    for (int a = 0; a < kApplications; ++a) {
        s += "\t<Device Name=\"Dev" + std::to_string(a) + "\" Type=\"FORTE_PC\" x=\"" + std::to_string(a * 1000) +
             "\" y=\"0\">\n\t\t<Parameter Name=\"MGR_ID\" Value=\"&quot;localhost:" + std::to_string(61499 + a) +
             "&quot;\"/>\n\t\t<Resource Name=\"RES\" Type=\"EMB_RES\" x=\"0\" y=\"0\">\n\t\t\t<FBNetwork>\n";
        for (int i = 0; i < kFBsPerApplication; ++i)
            s += "\t\t\t\t<FB Name=\"App" + std::to_string(a) + "." + fbName(a, i) + "\" Type=\"E_CTU\" x=\"" +
                 std::to_string(i * 400) + "\" y=\"0\"/>\n";
        s += "\t\t\t</FBNetwork>\n\t\t</Resource>\n\t</Device>\n";
    }
    for (int a = 0; a < kApplications; ++a)
        for (int i = 0; i < kFBsPerApplication; ++i)
            s += "\t<Mapping From=\"App" + std::to_string(a) + "." + fbName(a, i) + "\" To=\"Dev" + std::to_string(a) +
                 ".RES\"/>\n";
    return s + "</System>\n";
}

struct TSetup {
    fs::path Home, SystemFile;
    std::string Text;

    TSetup()
    {
        Home = fs::temp_directory_path() / ("telvo-bench-sys-" + std::to_string(::getpid()));
        fs::create_directories(Home / "sys");
        fs::copy(fs::path(TELVO_SOURCE_DIR) / "library", Home / "library", fs::copy_options::recursive);
        Text = generatedSystem();
        SystemFile = Home / "sys" / "large.sys";
        WriteFileAtomic(SystemFile, Text);
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

void BM_ImportSystemDryRun(benchmark::State& state)
{
    TSetup& s = setup();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ImportSystem(s.Home, s.SystemFile.string(), (s.Home / "p" / "large.crf").string(), true));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.Text.size()));
}
BENCHMARK(BM_ImportSystemDryRun)->Unit(benchmark::kMillisecond);

void BM_ImportSystem(benchmark::State& state)
{
    TSetup& s = setup();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            ImportSystem(s.Home, s.SystemFile.string(), (s.Home / "p" / "large.crf").string(), false));
        state.PauseTiming();
        fs::remove_all(s.Home / "p");
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.Text.size()));
}
BENCHMARK(BM_ImportSystem)->Unit(benchmark::kMillisecond);

void BM_ParseSystemOnly(benchmark::State& state)
{
    TSetup& s = setup();
    for (auto _ : state) {
        pugi::xml_document doc;
        benchmark::DoNotOptimize(doc.load_buffer(s.Text.data(), s.Text.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.Text.size()));
}
BENCHMARK(BM_ParseSystemOnly)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
