telvo_bench(bench_lua_form SOURCES bench_lua_form.cpp LIBS telvo_codegen telvo_persistence pugixml::pugixml)
