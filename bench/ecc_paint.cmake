# The ECC chart is painted by the Qt user interface.
if(TARGET telvo_ui)
  telvo_bench(bench_ecc_paint SOURCES bench_ecc_paint.cpp LIBS telvo_ui)
endif()
