telvo_bench(bench_sys_import SOURCES bench_sys_import.cpp LIBS telvo_workbench telvo_persistence pugixml::pugixml)
