# The visual debugger is a Qt window: no benchmark without the user interface.
if(TARGET telvo_ui)
  telvo_bench(bench_debugger SOURCES bench_debugger.cpp LIBS telvo_ui)
endif()
