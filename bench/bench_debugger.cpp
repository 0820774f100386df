// FB activations per second of a Run in the visual debugger: the ring of
// 1,000 instances of bench_simulation (each taking an event in every step),
// no pause, with the window open on the offscreen platform, its grids
// taking every schedule entry and the draw timer repainting the diagram
// twice a second. Compare with bench_simulation's
// BM_RingActivations/1000/0, the same ring run headless.

#include "model/user_interface.h"
#include "ring_network.h"
#include "ui/debugger/select_events_dialog.h"
#include "ui/debugger/visual_debugger.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <filesystem>

using namespace telvo;

namespace {

void BM_DebuggerRun(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("telvo-bench-debugger-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    TRecordingUserInterface ui;
    {
        TWorkbench workbench(home, ui);
        TFB_Diagram* d = nullptr;
        bench::BuildRing(workbench.FBManager(), d, n, false);
        TfrmDesignFBDiagram editor(workbench, nullptr);
        editor.resize(1400, 900);
        editor.show();
        editor.AttachDiagram(d);
        editor.Button(QStringLiteral("btnDebug"))->click();
        TfrmVisualDebugger* debugger = editor.Debugger();
        debugger->Environment().PauseTime = std::chrono::milliseconds(0);
        debugger->ExecSelectionDialog = [](TfrmVisualDebuggerSelectEvents& dialog) {
            QTreeWidget* events = dialog.EventsTree();
            for (int i = 0; i < events->topLevelItemCount(); ++i)
                dialog.ClickTick(events->topLevelItem(i));
            dialog.OkButton()->click();
        };
        debugger->StartButton()->click();
        debugger->RunButton()->click();
        TtelvoRT_Environment& env = debugger->Environment();
        // The first pass, then every step is alike.
        while (env.StepCounter() < 1)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        int32_t steps = 0;
        for (auto _ : state) {
            const int32_t next = env.StepCounter() + 1;
            while (env.StepCounter() < next)
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            ++steps;
            if (!debugger->RunningContinuously()) {
                state.SkipWithError("the run ended");
                break;
            }
        }
        debugger->StopButton()->click();
        state.counters["activations/s"] =
            benchmark::Counter(static_cast<double>(steps) * n, benchmark::Counter::kIsRate);
        state.counters["log lines"] = static_cast<double>(debugger->LogLines().size());
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_DebuggerRun)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
