// Painting the ECC of a 200-state, 400-transition chart into the page's
// off-screen picture (every paint redraws the whole chart).

#include "model/fb_type.h"
#include "ui/typeeditor/ecc_page.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

using namespace telvo;

namespace {

void BM_PaintEcc(benchmark::State& state)
{
    TFB_Type type;
    type.Name = "BIG";
    for (int i = 0; i < 200; ++i) {
        TECCState* s = type.AddState("S" + std::to_string(i), "");
        s->X = 40 + (i % 10) * 260;
        s->Y = 40 + (i / 10) * 120;
        s->AddAction("ALG" + std::to_string(i), "CNF");
    }
    for (int i = 0; i < 200; ++i) {
        const std::string a = "S" + std::to_string(i), b = "S" + std::to_string((i + 1) % 200),
                          c = "S" + std::to_string((i + 17) % 200);
        TECCTransition* t = type.AddTransition(a, b, "REQ AND X" + std::to_string(i));
        t->X = 40 + (i % 10) * 260 + 100;
        t->Y = 40 + (i / 10) * 120 + 60;
        TECCTransition* u = type.AddTransition(a, c, "1");
        u->X = t->X + 30;
        u->Y = t->Y + 20;
    }
    const QSize size = EccExtent(&type);
    QImage image(size, QImage::Format_RGB32);
    for (auto _ : state)
        PaintEcc(image, &type, 1.0, 3, -1);
    state.counters["width"] = size.width();
    state.counters["height"] = size.height();
}
BENCHMARK(BM_PaintEcc)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
