telvo_bench(bench_forte_watch SOURCES bench_forte_watch.cpp LIBS telvo_deploy)
target_include_directories(bench_forte_watch PRIVATE ${PROJECT_SOURCE_DIR}/tests)
