# Reads of one variable in one session against the node-opcua test server,
# beside node-opcua's own client doing the same.
telvo_bench(bench_opc
  SOURCES bench_opc.cpp ${PROJECT_SOURCE_DIR}/tests/opc/opc_test_server.cpp
  LIBS telvo_opc)
target_include_directories(bench_opc PRIVATE ${PROJECT_SOURCE_DIR}/tests/opc)
target_compile_definitions(bench_opc PRIVATE
  TELVO_OPC_PEER_DIR="${PROJECT_SOURCE_DIR}/build/opc-peer"
  TELVO_OPC_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/opc/server.js"
  TELVO_OPC_BENCH_CLIENT="${PROJECT_SOURCE_DIR}/tests/opc/bench_client.js")
