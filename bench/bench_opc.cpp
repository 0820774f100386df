// 1,000 reads of one Int32 variable in one session over loopback, by our
// client and by node-opcua's own client, against the same node-opcua server
// (tests/opc/server.js). Reported as reads per second. And the list of
// servers a machine names, made from 10,000 and 100,000 of them.

#include "opc/opc_access.h"
#include "opc/ua_client.h"
#include "opc_test_server.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

using namespace telvo;

namespace {

test::OpcTestServer& server()
{
    static test::OpcTestServer s;
    return s;
}

void BM_OpcRead1000(benchmark::State& state)
{
    if (!server().Running()) {
        state.SkipWithError(("test server not running: " + server().Failure()).c_str());
        return;
    }
    opc::TOpcUaClient client;
    client.Connect(server().Endpoint());
    const opc::TNodeId node = opc::TNodeId::Str("Tank.Level", 1);
    client.ReadValue(node); // warm up, as the other client does
    for (auto _ : state)
        for (int i = 0; i < 1000; ++i)
            benchmark::DoNotOptimize(client.ReadValue(node));
    state.SetItemsProcessed(state.iterations() * 1000);
    state.counters["reads_per_s"] = benchmark::Counter(double(state.iterations()) * 1000, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OpcRead1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// node-opcua's client, run once per iteration as its own process; the time
// is what the script measures around its 1,000 reads.
void BM_NodeOpcuaRead1000(benchmark::State& state)
{
    if (!server().Running()) {
        state.SkipWithError(("test server not running: " + server().Failure()).c_str());
        return;
    }
    const std::string command = "NODE_PATH=" + test::OpcTestServer::PeerDir() + "/node_modules node " +
                                TELVO_OPC_BENCH_CLIENT + " " + server().Endpoint() + " 1000 2>&1";
    double total = 0;
    for (auto _ : state) {
        std::unique_ptr<FILE, int (*)(FILE*)> p(::popen(command.c_str(), "r"), ::pclose);
        char line[512] = {};
        double seconds = 0;
        int n = 0;
        // node-opcua says a few things of its own before the figures.
        bool found = false;
        while (p && std::fgets(line, sizeof line, p.get()))
            if (std::sscanf(line, "reads %d seconds %lf", &n, &seconds) == 2) {
                found = true;
                break;
            }
        if (!found) {
            state.SkipWithError(("node client failed: " + std::string(line)).c_str());
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
    }
    state.counters["reads_per_s"] = double(state.iterations()) * 1000 / total;
}
BENCHMARK(BM_NodeOpcuaRead1000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// A machine whose discovery server lists very many servers: the list of
// servers found, each checked against those already listed.
void BM_OpcServerList(benchmark::State& state)
{
    const auto count = static_cast<size_t>(state.range(0));
    std::vector<opc::TOPCServerInfo> found(count);
    for (size_t i = 0; i < count; ++i) {
        found[i].ServerName = "Server " + std::to_string(i);
        found[i].Description = "urn:plant:line:" + std::to_string(i);
        found[i].Endpoint = "opc.tcp://10.0.0.1:" + std::to_string(4840 + i % 1000);
    }
    for (auto _ : state) {
        opc::TOPCServerList list;
        for (const auto& s : found)
            list.AddServer(s);
        benchmark::DoNotOptimize(list.Servers().size());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(count));
}
BENCHMARK(BM_OpcServerList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
