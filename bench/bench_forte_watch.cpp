// Reading 500 ports of one running resource: one poll of 500 watches
// (READ <Watches/>, its answer read port by port) against 500 single READ
// requests, both over one connection already open to the in-test runtime
// on 127.0.0.1, which answers every frame at once. The target is a poll at
// a tenth of the single reads or less.
//
// Run: build/<dir>/bench/bench_forte_watch

#include "deploy/forte.h"
#include "deploy/forte_responder.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

using namespace telvo;

namespace {

constexpr int kPorts = 500;

// 50 FBs with ten ports each, data and events.
std::string portName(int i) { return "fb" + std::to_string(i / 10) + ".P" + std::to_string(i % 10); }

struct TSetup {
    test::TForteResponder Runtime;
    TForteOnline Online;
    TSetup()
    {
        std::vector<std::string> events;
        for (int i = 0; i < kPorts; ++i)
            if (i % 10 >= 8)
                events.push_back(portName(i));
            else
                Runtime.SetWatchValue(portName(i), std::to_string(i * 37));
        Runtime.SetEventPorts(events);
        Online.Resource = "RES";
        if (!Online.Client.Connect("127.0.0.1", Runtime.Port()).empty())
            std::abort();
    }
};

void BM_OnePollOf500Watches(benchmark::State& state)
{
    TSetup s;
    for (int i = 0; i < kPorts; ++i)
        if (!s.Online.Watch(portName(i)).empty())
            std::abort();
    std::vector<TForteWatchValue> values;
    for (auto _ : state) {
        if (!s.Online.Poll(values).empty() || values.size() != kPorts)
            state.SkipWithError("the poll failed");
        benchmark::DoNotOptimize(values.data());
    }
    state.counters["ports"] = kPorts;
}
BENCHMARK(BM_OnePollOf500Watches)->Unit(benchmark::kMillisecond);

void BM_500SingleReads(benchmark::State& state)
{
    TSetup s;
    std::vector<std::string> requests;
    for (int i = 0; i < kPorts; ++i)
        requests.push_back("<Request ID=\"" + std::to_string(i + 1) +
                           "\" Action=\"READ\"><Connection Source=\"" + portName(i) + "\" Destination=\"\"/></Request>");
    TForteResponse answer;
    std::string error;
    for (auto _ : state) {
        for (const std::string& xml : requests)
            if (!s.Online.Client.Request("RES", xml, answer, error) || !answer.HasValue)
                state.SkipWithError("a read failed");
        benchmark::DoNotOptimize(answer.Value.data());
    }
    state.counters["ports"] = kPorts;
}
BENCHMARK(BM_500SingleReads)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
