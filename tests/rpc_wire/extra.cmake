# The interoperability test finds its python server through WB_SOURCE_DIR,
# or this default when run by hand.
target_compile_definitions(${target} PRIVATE WB_DEFAULT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# The reply-path fuzzer runs for a bounded time in its own clang build.
find_program(WB_CLANGXX14 clang++-14)
if(WB_CLANGXX14)
  add_test(NAME RpcReplyFuzzer
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/rpc_wire/run_reply_fuzzer.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  set_tests_properties(RpcReplyFuzzer PROPERTIES TIMEOUT 300 ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
endif()
