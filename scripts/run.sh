#!/usr/bin/env bash
# Builds Quorvane and starts the desktop program; with --summary, the companion program
# that takes summary statistics as input.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF
cmake --build build/release --target quorvane quorvane-summary quorvane-report -j"$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: start Quorvane from a desktop session, or run it under Xvfb." >&2
  exit 1
fi
program=quorvane
if [ "${1:-}" = "--summary" ]; then program=quorvane-summary; fi
exec "build/release/src/app/$program"
