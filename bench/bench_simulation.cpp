// Start and Stop of 10,000 FBs (one thread each), and FB activations per
// second of the simulation with no pause: a ring of
// 1,000 instances, each taking an event in every step (one event taken, one
// transition tested and fired, one algorithm run, one event produced for
// the next instance in the ring).
//
// Two charts: one whose scripts repeat their texts from step to step, and
// one whose algorithm counts in an internal variable, so that its script
// text (which carries the count, different in every instance) is new in
// every step; only its start values differ from the text before, so its
// compiled shape is reused. compilations/step shows how often the script
// engine still compiles.

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "runtime/headless_simulation.h"
#include "ring_network.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

using namespace telvo;

namespace {

void BM_RingActivations(benchmark::State& state)
{
    const bool counting = state.range(1) != 0;
    const int n = static_cast<int>(state.range(0));
    TFB_Manager m;
    TFB_Diagram* d = nullptr;
    const std::vector<TFB_InstanceRef*> refs = bench::BuildRing(m, d, n, counting);

    THeadlessSimulation sim(*d);
    std::vector<TFBEvent*> all;
    for (auto* r : refs)
        all.push_back(r->FindEventInput("REQ"));
    sim.Start(all);
    if (!sim.Step()) // the first pass; from here on every step is alike
        state.SkipWithError("the ring did not come to rest");
    for (auto _ : state)
        if (!sim.Step()) {
            state.SkipWithError("a step did not come to rest");
            break;
        }
    sim.Stop();
    state.counters["activations/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n, benchmark::Counter::kIsRate);
    state.counters["compilations/step"] =
        static_cast<double>(sim.Host.Scripts().Compilations()) / static_cast<double>(state.iterations() + 1);
}

// Start and Stop of a run of many FBs, each its own thread: making the
// runtime FBs and their threads, the daemon, the closing DESTROY to every
// FB and the end of every thread.
void BM_StartStop(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    TFB_Manager m;
    m.Types.push_back(bench::RingType(false));
    TFB_Diagram* d = m.CreateDiagram("many", 1.0);
    for (int i = 0; i < n; ++i)
        d->AddInstance("F" + std::to_string(i), "RING", true, nullptr);
    THeadlessSimulation sim(*d);
    using Clock = std::chrono::steady_clock;
    Clock::duration starting{}, stopping{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        sim.Start({});
        // Every FB thread waits for its first event.
        if (!sim.Environment.WaitUntilSettled(std::chrono::seconds(60)))
            state.SkipWithError("the FBs did not come to rest");
        const auto t1 = Clock::now();
        sim.Stop();
        starting += t1 - t0;
        stopping += Clock::now() - t1;
    }
    const auto ms = [&](Clock::duration t) {
        return std::chrono::duration<double, std::milli>(t).count() / static_cast<double>(state.iterations());
    };
    state.counters["start_ms"] = ms(starting);
    state.counters["stop_ms"] = ms(stopping);
}

BENCHMARK(BM_StartStop)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(BM_RingActivations)->Args({1000, 0})->Args({1000, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
