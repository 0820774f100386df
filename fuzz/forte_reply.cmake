telvo_fuzzer(fuzz_forte_reply SOURCES fuzz_forte_reply.cpp LIBS telvo_deploy)
