// Opening a type in the FB type editor: read the file, build the working
// type, paint the interface picture, fill every grid, build the structure
// tree and colour the XML text; and the first paint of the window after it.
// The baseline is `telvo type check` of the same file (process included),
// timed by the caller:
//   for i in $(seq 50); do build/default/bin/telvo type check FILE >/dev/null; done
//
// Largest corpus type by size: ../shared/corpus/4diac-typelibrary/
// signalprocessing-1.0.0/typelib/DualHysteresis.fbt (override with TELVO_BENCH_TYPE).

#include "ui/typeeditor/type_editor.h"
#include "model/user_interface.h"
#include "workbench/workbench.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>

#include <cstdlib>
#include <filesystem>

using namespace telvo;
namespace fs = std::filesystem;

namespace {

fs::path typeFile()
{
    if (const char* f = std::getenv("TELVO_BENCH_TYPE"))
        return f;
    return fs::path(TELVO_CORPUS_DIR) / "4diac-typelibrary" / "signalprocessing-1.0.0" / "typelib" /
           "DualHysteresis.fbt";
}

struct TSetup {
    TSetup() : home(fs::temp_directory_path() / "telvo-bench-type-editor")
    {
        fs::create_directories(home / "library");
        workbench = std::make_unique<TWorkbench>(home, ui);
        ui.KeepLog = false;
    }
    fs::path home;
    TRecordingUserInterface ui;
    std::unique_ptr<TWorkbench> workbench;
};

void BM_OpenTypeInEditor(benchmark::State& state)
{
    static TSetup setup;
    TfrmDesignFBType editor(*setup.workbench, nullptr);
    editor.resize(1200, 800);
    editor.show();
    QApplication::processEvents();
    const QString file = QString::fromStdString(typeFile().string());
    for (auto _ : state) {
        if (!editor.LoadTypeFile(file))
            state.SkipWithError("the type does not load");
        // The structure tree is built when its page is shown.
        editor.ShowTab(QStringLiteral("Structure"));
        editor.ShowTab(QStringLiteral("Information"));
        benchmark::DoNotOptimize(editor.StructureTree()->topLevelItemCount());
    }
}
BENCHMARK(BM_OpenTypeInEditor)->Unit(benchmark::kMillisecond);

// From the open to the window painted on screen (offscreen platform).
void BM_OpenAndPaint(benchmark::State& state)
{
    static TSetup setup;
    TfrmDesignFBType editor(*setup.workbench, nullptr);
    editor.resize(1200, 800);
    editor.show();
    QApplication::processEvents();
    const QString file = QString::fromStdString(typeFile().string());
    for (auto _ : state) {
        editor.LoadTypeFile(file);
        editor.repaint(); // synchronous paint of the whole window
    }
}
BENCHMARK(BM_OpenAndPaint)->Unit(benchmark::kMillisecond);

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
