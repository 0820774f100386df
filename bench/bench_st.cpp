// A Structured Text algorithm of the real-world corpus (the up/down
// counter FB_CTUD, read from ../shared/corpus) through the script engine,
// against the same algorithm written by hand in Lua 5.4.
//
// The simulation translates an algorithm once per runtime FB and then, for
// every run, builds a fresh script around it (the instance's values) and
// compiles and runs that: "Run" is what each event costs. "TranslateRun"
// adds the translation, what the first event of a run costs.

#include "model/fb_instance.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "persistence/type_file.h"
#include "runtime/algorithm_text.h"
#include "runtime/script/script_runner.h"
#include "runtime/script_generation.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include <filesystem>
#include <memory>
#include <stdexcept>

using namespace telvo;

namespace {

// The counter in Lua: inputs CU CD R LD PV, outputs CV QU QD, INT range as
// the translation keeps it.
const char* const kLuaCounter = "local CV, QU, QD = ...\n"
                                "local CU, CD, R, LD, PV = true, false, false, false, 5\n"
                                "if R then\n"
                                "  CV = 0\n"
                                "else\n"
                                "  if LD then\n"
                                "    CV = PV\n"
                                "  else\n"
                                "    if not (CU and CD) then\n"
                                "      if CU and CV < 32767 then\n"
                                "        CV = CV + 1\n"
                                "      elseif CD and CV > -32768 then\n"
                                "        CV = CV - 1\n"
                                "      end\n"
                                "    end\n"
                                "  end\n"
                                "end\n"
                                "if CV < -32768 or CV > 32767 then CV = (CV + 32768) % 65536 - 32768 end\n"
                                "QU = CV >= PV\n"
                                "QD = CV <= 0\n"
                                "return CV, QU, QD\n";

struct TCounter {
    TFB_Type Type;
    std::unique_ptr<TFB_InstanceRef> Record;
    const TFBAlgorithm* Algorithm = nullptr;

    bool Load()
    {
        const auto path =
            std::filesystem::path(TELVO_CORPUS_DIR) / "4diac-typelibrary/iec61131-3-1.0.0/typelib/counters/FB_CTUD.fbt";
        if (!std::filesystem::exists(path))
            return false;
        ReadFBType(ReadFileText(path), Type, nullptr, path.string());
        Algorithm = Type.FindAlgorithm("REQ");
        Record = TFB_InstanceRef::Create("C", &Type, true, nullptr);
        Record->FindDataInput("CU")->SetValueFromText("TRUE");
        Record->FindDataInput("PV")->SetValueFromText("5");
        return Algorithm != nullptr;
    }
};

void runScript(TScriptRunner& runner, const TAlgorithmScript& a)
{
    std::vector<TVariant> cells(a.Outputs.size() + a.Variables.size(), TVariant(int32_t(0)));
    for (auto& c : cells)
        runner.PushReference(c);
    runner.Execute(a.Text);
    benchmark::DoNotOptimize(cells.data());
}

void BM_CounterRun_ST(benchmark::State& state)
{
    TCounter c;
    if (!c.Load()) {
        state.SkipWithError("corpus not beside the repository");
        return;
    }
    // The runtime FB keeps the lines and the names they use.
    const auto lines = AlgorithmScriptLines(*c.Algorithm, c.Type);
    const TScriptNameSet names(lines);
    TScriptRunner runner;
    for (auto _ : state)
        runScript(runner, BuildAlgorithmScript(*c.Record, lines, names, "REQ"));
}
BENCHMARK(BM_CounterRun_ST);

void BM_CounterTranslateRun_ST(benchmark::State& state)
{
    TCounter c;
    if (!c.Load()) {
        state.SkipWithError("corpus not beside the repository");
        return;
    }
    TScriptRunner runner;
    for (auto _ : state) {
        const auto lines = AlgorithmScriptLines(*c.Algorithm, c.Type);
        runScript(runner, BuildAlgorithmScript(*c.Record, lines, TScriptNameSet(lines), "REQ"));
    }
}
BENCHMARK(BM_CounterTranslateRun_ST);

void BM_CounterRun_Lua(benchmark::State& state)
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    for (auto _ : state) {
        if (luaL_loadstring(L, kLuaCounter) != LUA_OK)
            throw std::runtime_error(lua_tostring(L, -1));
        lua_pushinteger(L, 0);
        lua_pushboolean(L, 0);
        lua_pushboolean(L, 0);
        if (lua_pcall(L, 3, 3, 0) != LUA_OK)
            throw std::runtime_error(lua_tostring(L, -1));
        benchmark::DoNotOptimize(lua_tointeger(L, -3));
        lua_pop(L, 3);
    }
    lua_close(L);
}
BENCHMARK(BM_CounterRun_Lua);

} // namespace

BENCHMARK_MAIN();
