// The script engine against Lua 5.4 on the same work.
//
// The simulation compiles and runs a fresh script for every transition test
// and every algorithm, so compile + run of the two typical scripts is what
// counts most; a long arithmetic loop shows the speed of the dispatch loop.

#include "runtime/script/script_runner.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include <stdexcept>

using namespace telvo;

namespace {

// The scripts the simulation generates for a transition check and for an
// algorithm (CR LF line breaks, as generated).
const char* const kTransition = "procedure chkTransition( var theResult:Boolean);\r\n"
                                "var REQ:Boolean;\r\n"
                                "var X:Integer;\r\n"
                                "begin\r\n"
                                "REQ:=True;\r\n"
                                "X:=7;\r\n"
                                "theResult:= REQ AND (X > 5);\r\n"
                                "end;";

const char* const kAlgorithm = "procedure execAlg(\r\n"
                               "var DO_OUT:Single;\r\n"
                               "var CNT:Integer;\r\n"
                               "            );\r\n"
                               "var IN1:Integer;\r\n"
                               "begin\r\n"
                               "IN1:=3;\r\n"
                               "CNT:=0;\r\n"
                               "//The FB Algorithm\r\n"
                               "DO_OUT := IN1 * 2.5;\r\n"
                               "CNT := CNT + 1;\r\n"
                               "end;";

// The same in Lua: the var parameters come in as arguments and go back as
// results.
const char* const kLuaTransition = "local theResult = ...\n"
                                   "local REQ\n"
                                   "local X\n"
                                   "REQ = true\n"
                                   "X = 7\n"
                                   "theResult = REQ and (X > 5)\n"
                                   "return theResult\n";

const char* const kLuaAlgorithm = "local DO_OUT, CNT = ...\n"
                                  "local IN1\n"
                                  "IN1 = 3\n"
                                  "CNT = 0\n"
                                  "-- The FB Algorithm\n"
                                  "DO_OUT = IN1 * 2.5\n"
                                  "CNT = CNT + 1\n"
                                  "return DO_OUT, CNT\n";

const char* const kLoop = "function Loop;\n"
                          "var I: Integer;\n"
                          "var S: Integer;\n"
                          "var F: Single;\n"
                          "var C: Integer;\n"
                          "begin\n"
                          "  S := 0;\n"
                          "  F := 0.0;\n"
                          "  C := 0;\n"
                          "  for I := 1 to 1000000 do\n"
                          "  begin\n"
                          "    S := S + I mod 7;\n"
                          "    F := F * 0.5 + I;\n"
                          "    if S mod 2 = 0 then\n"
                          "      C := C + 1;\n"
                          "  end;\n"
                          "  result := C + S + F;\n"
                          "end;";

const char* const kLuaLoop = "local S, F, C = 0, 0.0, 0\n"
                             "for I = 1, 1000000 do\n"
                             "  S = S + I % 7\n"
                             "  F = F * 0.5 + I\n"
                             "  if S % 2 == 0 then\n"
                             "    C = C + 1\n"
                             "  end\n"
                             "end\n"
                             "return C + S + F\n";

struct TLua {
    lua_State* L = luaL_newstate();
    TLua() { luaL_openlibs(L); }
    ~TLua() { lua_close(L); }
    void load(const char* code)
    {
        if (luaL_loadstring(L, code) != LUA_OK)
            throw std::runtime_error(lua_tostring(L, -1));
    }
    void call(int args, int results)
    {
        if (lua_pcall(L, args, results, 0) != LUA_OK)
            throw std::runtime_error(lua_tostring(L, -1));
    }
};

void BM_TransitionCompileRun_Telvo(benchmark::State& state)
{
    TScriptRunner runner;
    for (auto _ : state) {
        TVariant theResult;
        runner.PushReference(theResult);
        runner.Execute(kTransition);
        benchmark::DoNotOptimize(theResult);
    }
}
BENCHMARK(BM_TransitionCompileRun_Telvo);

void BM_TransitionCompileRun_Lua(benchmark::State& state)
{
    TLua lua;
    for (auto _ : state) {
        lua.load(kLuaTransition);
        lua_pushnil(lua.L);
        lua.call(1, 1);
        benchmark::DoNotOptimize(lua_toboolean(lua.L, -1));
        lua_pop(lua.L, 1);
    }
}
BENCHMARK(BM_TransitionCompileRun_Lua);

void BM_AlgorithmCompileRun_Telvo(benchmark::State& state)
{
    TScriptRunner runner;
    for (auto _ : state) {
        TVariant out(0.0), cnt(int32_t(0));
        runner.PushReference(out);
        runner.PushReference(cnt);
        runner.Execute(kAlgorithm);
        benchmark::DoNotOptimize(out);
        benchmark::DoNotOptimize(cnt);
    }
}
BENCHMARK(BM_AlgorithmCompileRun_Telvo);

void BM_AlgorithmCompileRun_Lua(benchmark::State& state)
{
    TLua lua;
    for (auto _ : state) {
        lua.load(kLuaAlgorithm);
        lua_pushnumber(lua.L, 0.0);
        lua_pushinteger(lua.L, 0);
        lua.call(2, 2);
        benchmark::DoNotOptimize(lua_tonumber(lua.L, -2));
        benchmark::DoNotOptimize(lua_tointeger(lua.L, -1));
        lua_pop(lua.L, 2);
    }
}
BENCHMARK(BM_AlgorithmCompileRun_Lua);

void BM_Loop1M_Telvo(benchmark::State& state)
{
    TScriptRunner runner;
    TScriptCode code{kLoop};
    code.SetCompiled(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(runner.Run(code));
}
BENCHMARK(BM_Loop1M_Telvo)->Unit(benchmark::kMillisecond);

void BM_Loop1M_Lua(benchmark::State& state)
{
    TLua lua;
    lua.load(kLuaLoop);
    for (auto _ : state) {
        lua_pushvalue(lua.L, -1);
        lua.call(0, 1);
        benchmark::DoNotOptimize(lua_tonumber(lua.L, -1));
        lua_pop(lua.L, 1);
    }
}
BENCHMARK(BM_Loop1M_Lua)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
