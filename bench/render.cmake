telvo_bench(bench_render SOURCES bench_render.cpp LIBS telvo_ui)
