// What the system layer editor does on every mouse move (IppAt, and ObjectAt
// on a click) and on every redraw (ApplyLayout, then ConnectionAt on a click
// in empty space), on a plant of a realistic large size: 200 objects, 50 of
// them IPTs with 4 IPPs each, and about 300 connections.
#include "systemlayer/system_layer.h"

#include <benchmark/benchmark.h>

#include <filesystem>

using namespace telvo;

namespace {

struct Plant {
    TSystemLayerManager Layer{TELVO_SOURCE_DIR};

    Plant()
    {
        const uint8_t kinds[] = {slIECDevice, slNonIECDevice, slSwitch, slIECFieldbus, slComputer, slOPCDevice};
        std::vector<TslObject*> devices;
        for (int i = 0; i < 150; ++i) {
            uint8_t kind = kinds[i % 6];
            TslObject* o = Layer.AddObject(Layer.NewObjectName(kind), kind);
            o->Left = (i % 15) * 110;
            o->Top = (i / 15) * 120;
            if (kind == slIECDevice || kind == slNonIECDevice || kind == slOPCDevice)
                devices.push_back(o);
        }
        for (int i = 1; i < 150; ++i)
            Layer.Connect(Layer.Objects[static_cast<size_t>(i - 1)].get(), Layer.Objects[static_cast<size_t>(i)].get());
        for (int i = 0; i < 50; ++i) {
            // Half of them custom (no picture), so the layout looks for their files.
            int subtype = i % 2 ? slCustomIptSubtype : 2;
            auto* ipt = static_cast<TslIPT*>(Layer.AddObject(Layer.NewObjectName(slIPT, subtype), slIPT, subtype,
                                                             subtype == 2 ? "images/boiler.bmp" : ""));
            ipt->Left = (i % 10) * 160;
            ipt->Top = 1300 + (i / 10) * 120;
            for (int k = 0; k < 4; ++k) {
                TslIPPRef* ipp = ipt->AddIpp(TSystemLayerManager::NewIppName(*ipt), "Undefined", k % 2);
                Layer.Connect(ipp, devices[static_cast<size_t>(i * 4 + k) % devices.size()]);
            }
        }
        Layer.ApplyLayout();
    }
};

Plant& ThePlant()
{
    static Plant plant;
    return plant;
}

void BM_ApplyLayout(benchmark::State& state)
{
    Plant& p = ThePlant();
    for (auto _ : state)
        p.Layer.ApplyLayout();
}
BENCHMARK(BM_ApplyLayout);

void BM_IppAt(benchmark::State& state)
{
    Plant& p = ThePlant();
    int32_t x = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(p.Layer.IppAt(x % 1600, 1290));
        x += 7;
    }
}
BENCHMARK(BM_IppAt);

void BM_ObjectAtEmptySpace(benchmark::State& state)
{
    Plant& p = ThePlant();
    for (auto _ : state)
        benchmark::DoNotOptimize(p.Layer.ObjectAt(-500, -500, true));
}
BENCHMARK(BM_ObjectAtEmptySpace);

void BM_ConnectionAtEmptySpace(benchmark::State& state)
{
    Plant& p = ThePlant();
    for (auto _ : state)
        benchmark::DoNotOptimize(p.Layer.ConnectionAt(-500, -500));
}
BENCHMARK(BM_ConnectionAtEmptySpace);

} // namespace

BENCHMARK_MAIN();
