// Reading every corpus type file into the model, against parsing the same
// bytes with pugixml alone: what the model mapping costs on top of the XML
// parser. Files are read into memory first; no disk in the timed loop.

#include "model/fb_type.h"
#include "model/file_util.h"
#include "persistence/type_file.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::vector<std::string>& corpusTexts()
{
    static const std::vector<std::string> texts = [] {
        std::vector<std::filesystem::path> paths;
        std::filesystem::path dir = std::filesystem::path(TELVO_CORPUS_DIR) / "4diac-typelibrary";
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::string ext = it->path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
            if (it->is_regular_file() && ext == ".fbt")
                paths.push_back(it->path());
        }
        std::sort(paths.begin(), paths.end());
        std::vector<std::string> out;
        for (const auto& p : paths)
            out.push_back(telvo::ReadFileText(p));
        return out;
    }();
    return texts;
}

int64_t totalBytes()
{
    int64_t n = 0;
    for (const auto& t : corpusTexts())
        n += static_cast<int64_t>(t.size());
    return n;
}

void BM_ReadFBType(benchmark::State& state)
{
    const auto& texts = corpusTexts();
    if (texts.empty()) {
        state.SkipWithError("no corpus beside the repository");
        return;
    }
    for (auto _ : state) {
        for (const auto& text : texts) {
            telvo::TFB_Type type;
            bool ok = telvo::ReadFBType(text, type, nullptr);
            benchmark::DoNotOptimize(ok);
        }
    }
    state.SetBytesProcessed(state.iterations() * totalBytes());
    state.counters["files"] = static_cast<double>(texts.size());
}

// The same bytes through pugixml with the options the reader uses.
void BM_PugixmlParse(benchmark::State& state)
{
    const auto& texts = corpusTexts();
    if (texts.empty()) {
        state.SkipWithError("no corpus beside the repository");
        return;
    }
    for (auto _ : state) {
        for (const auto& text : texts) {
            pugi::xml_document doc;
            auto result = doc.load_buffer(text.data(), text.size(), pugi::parse_full, pugi::encoding_auto);
            benchmark::DoNotOptimize(result.status);
        }
    }
    state.SetBytesProcessed(state.iterations() * totalBytes());
    state.counters["files"] = static_cast<double>(texts.size());
}

// pugixml's default options, the usual reference point for the parser.
void BM_PugixmlParseDefault(benchmark::State& state)
{
    const auto& texts = corpusTexts();
    for (auto _ : state) {
        for (const auto& text : texts) {
            pugi::xml_document doc;
            auto result = doc.load_buffer(text.data(), text.size());
            benchmark::DoNotOptimize(result.status);
        }
    }
    state.SetBytesProcessed(state.iterations() * totalBytes());
}

} // namespace

BENCHMARK(BM_ReadFBType)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlParseDefault)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
