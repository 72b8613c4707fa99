#!/usr/bin/env bash
# Sets up, configures, builds and runs every test: first the normal build in
# build/, then the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/, then the tests of calls from many
# threads at once under ThreadSanitizer in build-tsan/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DWB_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600

export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWB_TSAN=ON -DWB_BENCH=OFF
cmake --build build-tsan -j "$jobs" --target wb_exports_tests wb_log_tests wb_rpc_wire_tests wbres
ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 600 \
  -R '^(ExportsTest|LogFixture|LogFaultTest|ConnectionPool|EndpointMapper)'
