telvo_bench(bench_codegen SOURCES bench_codegen.cpp LIBS telvo_codegen)
