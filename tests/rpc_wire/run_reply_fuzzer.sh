#!/usr/bin/env bash
# Builds the reply-path fuzzer with clang and runs it for a bounded time over
# the kept corpus (tests/corpus/rpc_reply) plus what it finds in this run.
# A crash fails the test; its input is left in <build>/fuzz/artifacts: copy
# it into tests/corpus/rpc_reply to keep it as a regression case.
set -euo pipefail
src=$1
build=$2
seconds=${WB_FUZZ_SECONDS:-25}
out=$build/fuzz
cmake -S "$src/fuzz" -B "$out" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" -j 2 >/dev/null
mkdir -p "$out/corpus" "$out/artifacts"
"$out/rpc_reply_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$out/artifacts/" "$out/corpus" "$src/tests/corpus/rpc_reply"
