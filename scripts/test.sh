#!/usr/bin/env bash
# Builds Quorvane and runs every test: the plain build, its install tree and Debian
# package (scripts/check-install.sh), the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the engine's tests under
# ThreadSanitizer, and bounded fuzzing runs of the raw data and statistics file readers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

echo "== Build and test"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs" | tee -a "$log"

echo "== Install, validate and package"
bash scripts/check-install.sh build/release | tee -a "$log"

echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_SANITIZE=ON -DQUORVANE_BENCH=OFF
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs" | tee -a "$log"

echo "== The engine's two threads under ThreadSanitizer"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_TSAN=ON -DQUORVANE_UI=OFF -DQUORVANE_BENCH=OFF
cmake --build build/tsan --target quorvane_engine_tests -j"$jobs"
TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/quorvane_engine_tests | tee -a "$log"

echo "== Fuzz the raw data reader"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DQUORVANE_FUZZ=ON -DQUORVANE_UI=OFF
cmake --build build/fuzz -j"$jobs"
work="$(mktemp -d)"
build/fuzz/tests/fuzz/quorvane_raw_data_fuzz -max_total_time="${QUORVANE_FUZZ_SECONDS:-60}" -timeout=10 \
  -print_final_stats=1 "$work" tests/fuzz/corpus
rm -rf "$work"
echo "== Fuzz the statistics file reader"
work="$(mktemp -d)"
build/fuzz/tests/fuzz/quorvane_statistics_file_fuzz -max_total_time="$(( ${QUORVANE_FUZZ_SECONDS:-60} / 2 ))" \
  -timeout=10 -print_final_stats=1 "$work" tests/fuzz/statistics_corpus
rm -rf "$work"

# Any failure has stopped the script (pipefail); here every run has passed.
total=0
for count in $(sed -n -e 's/.*tests passed, [0-9]* tests failed out of \([0-9]*\).*/\1/p' \
                      -e 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\.$/\1/p' "$log"); do
  total=$((total + count))
done
echo "== All tests passed"
echo "Summary: $total passed, 0 failed"
