# The FB type editor is a Qt window: no benchmark without the user interface.
if(TARGET telvo_ui)
  telvo_bench(bench_type_editor SOURCES bench_type_editor.cpp LIBS telvo_ui)
endif()
