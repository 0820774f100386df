telvo_fuzzer(fuzz_script SOURCES fuzz_script.cpp LIBS telvo_script)
