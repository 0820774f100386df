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

// A type with `ports` ports: a quarter of each kind, every event sampling
// the variable of its number; or, with `eventsOnly`, event inputs alone.
std::string manyPortsType(int ports, bool eventsOnly)
{
    std::string text = "<FBType Name=\"WIDE\"><InterfaceList>";
    const int each = eventsOnly ? ports : ports / 4;
    auto events = [&](const char* list, const char* prefix, const char* var) {
        text += std::string("<") + list + ">";
        for (int i = 0; i < each; ++i) {
            text += std::string("<Event Name=\"") + prefix + std::to_string(i) + "\">";
            if (!eventsOnly)
                text += std::string("<With Var=\"") + var + std::to_string(i) + "\"/>";
            text += "</Event>";
        }
        text += std::string("</") + list + ">";
    };
    auto vars = [&](const char* list, const char* prefix) {
        text += std::string("<") + list + ">";
        for (int i = 0; i < each; ++i)
            text += std::string("<VarDeclaration Name=\"") + prefix + std::to_string(i) + "\" Type=\"INT\"/>";
        text += std::string("</") + list + ">";
    };
    if (!eventsOnly) {
        vars("InputVars", "DI");
        vars("OutputVars", "DO");
    }
    events("EventInputs", "EI", "DI");
    if (!eventsOnly)
        events("EventOutputs", "EO", "DO");
    return text + "</InterfaceList></FBType>";
}

// Reading a type with many ports: the duplicate checks and WITH lookups must
// not make it quadratic.
void BM_ReadManyPorts(benchmark::State& state)
{
    const std::string text = manyPortsType(static_cast<int>(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        telvo::TFB_Type type;
        bool ok = telvo::ReadFBType(text, type, nullptr);
        benchmark::DoNotOptimize(ok);
    }
    state.counters["ports"] = static_cast<double>(state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

} // namespace

BENCHMARK(BM_ReadManyPorts)
    ->ArgNames({"ports", "events_only"})
    ->Args({20000, 0})
    ->Args({200000, 0})
    ->Args({200000, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFBType)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlParseDefault)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
