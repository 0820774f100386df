// Indexing a real library (the corpus beside the repository) the way the
// workbench does at start-up. Compare with
//   grep -m1 -r '<FBType' ../shared/corpus/4diac-typelibrary
// which reads the same files up to their first "<FBType" line.

#include "model/library_index.h"
#include "model/user_interface.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

// The status bar is not what is measured.
class QuietUI : public telvo::TUserInterface {
public:
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
    std::string UserHint(const std::string& text, int) override { return text; }
    void Log(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void BeginBusy() override {}
    void EndBusy() override {}
};

std::filesystem::path corpusLibrary() { return std::filesystem::path(TELVO_CORPUS_DIR) / "4diac-typelibrary"; }

void BM_IndexCorpusLibrary(benchmark::State& state)
{
    const auto dir = corpusLibrary();
    if (!std::filesystem::is_directory(dir)) {
        state.SkipWithError("corpus not beside the repository");
        return;
    }
    QuietUI ui;
    size_t listed = 0;
    for (auto _ : state) {
        telvo::TLibraryIndex index;
        std::vector<std::string> names;
        telvo::IndexLibraryFolder(dir, index, names, ui);
        listed = names.size();
        benchmark::DoNotOptimize(index);
    }
    state.counters["types"] = static_cast<double>(listed);
}
BENCHMARK(BM_IndexCorpusLibrary)->Unit(benchmark::kMillisecond);

// Re-indexing over the index of a previous run (what the diagram editor's
// new-FB button does): every name is found already listed.
void BM_ReindexCorpusLibrary(benchmark::State& state)
{
    const auto dir = corpusLibrary();
    if (!std::filesystem::is_directory(dir)) {
        state.SkipWithError("corpus not beside the repository");
        return;
    }
    QuietUI ui;
    telvo::TLibraryIndex index;
    std::vector<std::string> names;
    telvo::IndexLibraryFolder(dir, index, names, ui);
    for (auto _ : state) {
        telvo::IndexLibraryFolder(dir, index, names, ui);
        benchmark::DoNotOptimize(index);
    }
}
BENCHMARK(BM_ReindexCorpusLibrary)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
