#!/usr/bin/env bash
# Installs what is missing, builds the library and runs the demo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
"$root/tools/setup-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)" --target velmora_demo
"$build/examples/velmora_demo"
