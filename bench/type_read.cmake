telvo_bench(bench_type_read SOURCES bench_type_read.cpp LIBS telvo_persistence pugixml::pugixml)
