#!/usr/bin/env bash
# Builds Quorvane and runs every test: the plain build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the engine's tests under
# ThreadSanitizer, and a bounded fuzzing run of the raw data reader.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

echo "== Build and test"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_SANITIZE=ON -DQUORVANE_BENCH=OFF
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs"

echo "== The engine's two threads under ThreadSanitizer"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_TSAN=ON -DQUORVANE_UI=OFF -DQUORVANE_BENCH=OFF
cmake --build build/tsan --target quorvane_engine_tests -j"$jobs"
TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/quorvane_engine_tests

echo "== Fuzz the raw data reader"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DQUORVANE_FUZZ=ON -DQUORVANE_UI=OFF
cmake --build build/fuzz -j"$jobs"
work="$(mktemp -d)"
build/fuzz/tests/fuzz/quorvane_raw_data_fuzz -max_total_time="${QUORVANE_FUZZ_SECONDS:-60}" -timeout=10 \
  -print_final_stats=1 "$work" tests/fuzz/corpus
rm -rf "$work"
echo "== All tests passed"
