#!/usr/bin/env bash
# Builds the fuzz targets with clang-14 and runs each for a bounded time.
# Usage: tools/run-fuzz.sh [build-dir]   (environment: VELMORA_FUZZ_SECONDS, default 30)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-fuzz}")
seconds=${VELMORA_FUZZ_SECONDS:-30}
"$root/tools/setup-deps.sh"
CXX=clang++-14 CC=clang-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_BUILD_FUZZ=ON -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF -DVELMORA_BUILD_EXAMPLES=OFF
cmake --build "$build" -j "$(nproc)"
shopt -s nullglob
targets=("$build"/fuzz/fuzz_*)
pids=()
for t in "${targets[@]}"; do
  [ -x "$t" ] || continue
  name=$(basename "$t")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$root/fuzz/corpus/$name" ] && seeds=("$root/fuzz/corpus/$name")
  # A target's dictionary holds the tokens mutation alone rarely makes up.
  dict=()
  [ -f "$root/fuzz/$name.dict" ] && dict=("-dict=$root/fuzz/$name.dict")
  echo "fuzzing $name for ${seconds}s"
  (cd "$build" && "$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
     -print_final_stats=1 "${dict[@]}" "$corpus" "${seeds[@]}" > "$build/$name.log" 2>&1 \
     || { echo "$name FAILED"; tail -40 "$build/$name.log"; exit 1; }) &
  pids+=($!)
done
status=0
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
