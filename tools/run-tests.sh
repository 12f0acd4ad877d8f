#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# Usage: tools/run-tests.sh [build-dir]   (environment: VELMORA_CMAKE_ARGS, VELMORA_JOBS)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
jobs=${VELMORA_JOBS:-$(nproc)}
"$root/tools/setup-deps.sh"
# shellcheck disable=SC2086
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${VELMORA_CMAKE_ARGS:-}
cmake --build "$build" -j "$jobs"
cd "$build"
ctest -j "$jobs" --output-on-failure --timeout 300
