telvo_fuzzer(fuzz_opc_decoder SOURCES fuzz_opc_decoder.cpp LIBS telvo_opc)
