#!/usr/bin/env bash
# Installs what is missing, builds the library and the simulator, starts the simulator on a
# loopback address of its own and runs the demo against it.
# Usage: tools/run-demo.sh [build-dir]   (environment: VELMORA_DEMO_ADDRESS, default 127.0.86.1)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
address=${VELMORA_DEMO_ADDRESS:-127.0.86.1}
"$root/tools/setup-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)" --target velmora_demo velmora-sim

run=$build/demo-run
# A fresh robot log each run, so the demo prints only its own lines.
rm -rf "$run/_velmora_log_"
mkdir -p "$run"
sim_out=$run/velmora-sim.out
"$build/sim/velmora-sim" --address "$address" --rt-port 0 >"$sim_out" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  grep -q "velmora-sim on" "$sim_out" && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    cat "$sim_out" >&2
    exit 1
  fi
  sleep 0.1
done
cat "$sim_out"
cd "$run"
"$build/examples/velmora_demo" "$address"
