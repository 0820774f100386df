telvo_fuzzer(fuzz_st SOURCES fuzz_st.cpp LIBS telvo_script)
