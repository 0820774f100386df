// Generating the Pascal source of a basic type, and one real fpc run on it.
// The generation scales with the chart: every state's group walks the whole
// transition list. The fpc run is the floor a user waits for after pressing
// "Compile"; compare with `time fpc -Sd -Sh X.pas` on the same file.

#include "codegen/pascal_compiler.h"
#include "codegen/pascal_generator.h"
#include "model/fb_type.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A chart of `states` states in a ring, each with one algorithm, one output
// event and two transitions, over four variables of every data type class.
std::unique_ptr<telvo::TFB_Type> MakeType(int states)
{
    auto t = std::make_unique<telvo::TFB_Type>();
    t->Name = "BENCH_FB";
    const char* types[] = {"BOOL", "INT", "REAL", "STRING"};
    for (int i = 0; i < 4; ++i) {
        for (int k = 0; k < 4; ++k) {
            const std::string n = std::string(types[k]) + std::to_string(i);
            t->AddDataInput("I" + n, types[k], "", "", "");
            t->AddDataOutput("O" + n, types[k], "", "", "");
            t->AddInternalVar("V" + n, types[k], "", "", k == 3 ? "''" : "0");
        }
    }
    t->AddEventInput("REQ", "Event", "");
    t->AddEventInput("INIT", "Event", "");
    t->AddEventOutput("CNF", "Event", "");
    for (int s = 0; s < states; ++s) {
        const std::string n = s == 0 ? "START" : "S" + std::to_string(s);
        auto* alg = t->AddAlgorithm("A" + std::to_string(s), "step");
        alg->OtherText = {"VINT0 := VINT0 + 1;", "DO_OINT0 := VINT0;"};
        t->AddState(n, "")->AddAction(alg->Name, "CNF");
    }
    for (int s = 0; s < states; ++s) {
        const std::string from = s == 0 ? "START" : "S" + std::to_string(s);
        const std::string to = (s + 1) % states == 0 ? "START" : "S" + std::to_string((s + 1) % states);
        t->AddTransition(from, to, "REQ AND IBOOL0");
        t->AddTransition(from, "START", "INIT");
    }
    return t;
}

void BM_GeneratePascalSource(benchmark::State& state)
{
    auto type = MakeType(static_cast<int>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        std::string text = telvo::GeneratePascalSource(*type, "2024-12-10 14:03:07");
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["source_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_GeneratePascalSource)->Arg(4)->Arg(64)->Arg(512);

void BM_GenerateAndCompileWithFpc(benchmark::State& state)
{
    const auto dir = std::filesystem::temp_directory_path() / ("telvo-bench-codegen-" + std::to_string(::getpid()));
    auto type = MakeType(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto source = telvo::GeneratePascalFile(*type, dir);
        auto r = telvo::CompilePascalFile(telvo::DefaultPascalCompiler, source);
        if (!r.Succeeded()) {
            state.SkipWithError(r.Started ? "fpc failed" : "fpc not installed");
            break;
        }
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_GenerateAndCompileWithFpc)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
