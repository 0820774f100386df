if(TELVO_BUILD_UI)
  telvo_bench(bench_project_tree SOURCES bench_project_tree.cpp LIBS telvo_ui)
endif()
