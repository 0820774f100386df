# The renderer lives in the Qt user interface: no benchmark without it.
if(TARGET telvo_ui)
  telvo_bench(bench_render SOURCES bench_render.cpp LIBS telvo_ui)
endif()
