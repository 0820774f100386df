// The Lua form of every basic type of the shipped library that has one,
// against reading those types from their files: what a deployment adds per
// type it sends, next to what loading the type cost. Files are read into
// memory first; no disk in the timed loop.

#include "codegen/lua_form.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "persistence/type_file.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TShipped {
    std::vector<std::string> Texts;                    // the files with a Lua form
    std::vector<std::unique_ptr<telvo::TFB_Type>> Types; // the same, read
};

const TShipped& shipped()
{
    static const TShipped s = [] {
        TShipped out;
        std::vector<std::filesystem::path> paths;
        for (const auto& e : std::filesystem::recursive_directory_iterator(std::filesystem::path(TELVO_SOURCE_DIR) /
                                                                          "library"))
            if (e.is_regular_file() && e.path().extension() == ".fbt")
                paths.push_back(e.path());
        std::sort(paths.begin(), paths.end());
        for (const auto& p : paths) {
            std::string text = telvo::ReadFileText(p);
            auto type = std::make_unique<telvo::TFB_Type>();
            if (!telvo::ReadFBType(text, *type, nullptr))
                continue;
            try {
                telvo::MakeLuaForm(*type);
            } catch (const telvo::ELuaFormError&) {
                continue;
            }
            out.Texts.push_back(std::move(text));
            out.Types.push_back(std::move(type));
        }
        return out;
    }();
    return s;
}

void BM_ReadShippedBasicTypes(benchmark::State& state)
{
    const auto& s = shipped();
    for (auto _ : state)
        for (const auto& text : s.Texts) {
            telvo::TFB_Type type;
            bool ok = telvo::ReadFBType(text, type, nullptr);
            benchmark::DoNotOptimize(ok);
        }
    state.counters["types"] = static_cast<double>(s.Texts.size());
}
BENCHMARK(BM_ReadShippedBasicTypes)->Unit(benchmark::kMicrosecond);

void BM_LuaFormOfShippedBasicTypes(benchmark::State& state)
{
    const auto& s = shipped();
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const auto& type : s.Types) {
            telvo::TLuaForm form = telvo::MakeLuaForm(*type);
            bytes += form.Text.size();
            benchmark::DoNotOptimize(form.Text.data());
        }
    }
    state.counters["types"] = static_cast<double>(s.Types.size());
    state.counters["lua_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_LuaFormOfShippedBasicTypes)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
