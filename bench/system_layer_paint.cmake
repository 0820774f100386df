# The system layer window's drawing lives in the Qt user interface.
if(TARGET telvo_ui)
  telvo_bench(bench_system_layer_paint SOURCES bench_system_layer_paint.cpp LIBS telvo_ui)
endif()
