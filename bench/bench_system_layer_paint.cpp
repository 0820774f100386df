// One paint of a plant-sized system layer, as the system layer window does on
// every mouse move while an object is dragged: 200 devices (IEC, OPC and
// non-IEC, some with distributed FB symbols), 20 fieldbuses, 100 process
// terminators with 4 IPPs each and 600 connections (every IPP wired to a
// device, every device to a fieldbus), into an off-screen image of
// 1920 x 1080.
//
// BM_PaintSystemLayer/100 is the window at zoom 100 %: part of the plant in
// view. BM_PaintSystemLayer/30 zooms out until the whole plant is on screen.

#include "systemlayer/system_layer.h"
#include "ui/systemlayer/sl_renderer.h"

#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <string>

using namespace telvo;

namespace {

struct TBenchLayer {
    TSystemLayerManager Layer{TELVO_SOURCE_DIR};

    TBenchLayer()
    {
        std::vector<TslObject*> buses, devices;
        for (int b = 0; b < 20; ++b) {
            TslObject* bus = Layer.AddObject(Layer.NewObjectName(slIECFieldbus), slIECFieldbus);
            bus->Left = 20 + (b % 10) * 600;
            bus->Top = 40 + (b / 10) * 700;
            buses.push_back(bus);
        }
        const uint8_t kinds[] = {slIECDevice, slIECDevice, slOPCDevice, slNonIECDevice};
        for (int d = 0; d < 200; ++d) {
            const uint8_t kind = kinds[d % 4];
            TslObject* device = Layer.AddObject(Layer.NewObjectName(kind), kind);
            device->Left = 20 + (d % 40) * 150;
            device->Top = 200 + (d / 40) * 260;
            devices.push_back(device);
        }
        const int subtypes[] = {1, 2, 3, 4, 5, 6, 7, 9, 10, slCustomIptSubtype};
        std::vector<TslIPPRef*> ipps;
        for (int t = 0; t < 100; ++t) {
            const int subtype = subtypes[t % 10];
            const TslIptSubtype* sub = IptSubtype(subtype);
            const std::string image = sub->ImageFile.empty() ? std::string() : Layer.ImagePath(sub->ImageFile).string();
            auto* ipt = static_cast<TslIPT*>(Layer.AddObject(Layer.NewObjectName(slIPT, subtype), slIPT, subtype, image));
            ipt->Left = 40 + (t % 20) * 300;
            ipt->Top = 330 + (t / 20) * 260;
            for (int k = 0; k < 4; ++k)
                ipps.push_back(ipt->AddIpp("IPP_" + std::to_string(k), "Boolean",
                                           k % 2 ? TslIPPRef::Actuator : TslIPPRef::Sensor));
        }
        for (size_t i = 0; i < ipps.size(); ++i)
            Layer.Connect(ipps[i], devices[i % devices.size()]);
        for (size_t d = 0; d < devices.size(); ++d)
            Layer.Connect(buses[d % buses.size()], devices[d]);
    }
};

void BM_PaintSystemLayer(benchmark::State& state)
{
    static TBenchLayer plant;
    TslPictureCache pictures;
    QImage image(1920, 1080, QImage::Format_RGB32);
    const double zoom = state.range(0) / 100.0;
    PaintSystemLayer(image, plant.Layer, pictures, zoom); // pictures read once, as the window does
    for (auto _ : state) {
        PaintSystemLayer(image, plant.Layer, pictures, zoom);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["objects"] = static_cast<double>(plant.Layer.Objects.size());
    state.counters["connections"] = static_cast<double>(plant.Layer.Connections.size());
}
BENCHMARK(BM_PaintSystemLayer)->Arg(100)->Arg(30)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // Painting text needs the platform's fonts, not a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
