#!/usr/bin/env bash
# Builds and runs programs against an installed library, as its users do: the C++ consumer with
# each compiler given, once through the CMake package (no standard of its own) and once through
# pkg-config (velmora.pc), and, with --managed, the C# program (mcs -pkg:velmora-clr, run under
# Mono), all against the installed velmora-sim.
# Usage: check-installed.sh [--install BUILD_DIR] [--cxx COMPILER]... [--managed]
#                           PREFIX WORK_DIR ADDRESS
# --install first installs BUILD_DIR into PREFIX (stripped, as packaged). A prefix other than
# /usr is passed to the tools; /usr must work without.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
install="" managed=0 compilers=()
while [ $# -gt 3 ]; do
  case $1 in
    --install) install=$2; shift 2 ;;
    --cxx) compilers+=("$2"); shift 2 ;;
    --managed) managed=1; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
prefix=$1 work=$2 address=$3
[ ${#compilers[@]} -gt 0 ] || compilers=(c++)
system=0
[ "$prefix" = /usr ] && system=1

rm -rf "$work"
mkdir -p "$work"
if [ -n "$install" ]; then
  cmake --install "$install" --prefix "$prefix" --strip >"$work/install.log"
fi

run_logged() {  # <log> <command...>: the log is shown only when the command fails
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; echo "failed: $*" >&2; return 1; }
}

"$prefix/bin/velmora-sim" --address "$address" --rt-port 0 >"$work/sim.out" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
# A test run that times out ends this script by a signal: the simulator goes with it.
trap 'exit 143' TERM INT HUP
for _ in $(seq 100); do
  grep -q "velmora-sim on" "$work/sim.out" && break
  kill -0 "$sim" 2>/dev/null || { cat "$work/sim.out" >&2; exit 1; }
  sleep 0.1
done

prefix_args=() rpath=()
if [ $system = 0 ]; then
  prefix_args=(-DCMAKE_PREFIX_PATH="$prefix")
  pc=$(find "$prefix" -name velmora.pc -print -quit)
  export PKG_CONFIG_PATH="$(dirname "$pc")${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
  rpath=(-Wl,-rpath,"$(pkg-config --variable=libdir velmora)")
fi
for cxx in "${compilers[@]}"; do
  out=$work/cxx-$(basename "$cxx")
  run_logged "$out.log" cmake -S "$here" -B "$out" -DCMAKE_CXX_COMPILER="$cxx" "${prefix_args[@]}"
  run_logged "$out.log" cmake --build "$out"
  echo "== C++ consumer built with $cxx through find_package"
  (cd "$work" && "$out/consumer" "$address")
  # velmora.pc names no language level: the program picks it, C++17 at least.
  # shellcheck disable=SC2046
  run_logged "$out-pc.log" "$cxx" -std=c++17 $(pkg-config --cflags velmora) "$here/main.cpp" \
    -o "$out/consumer-pc" $(pkg-config --libs velmora) "${rpath[@]}"
  echo "== C++ consumer built with $cxx through pkg-config"
  (cd "$work" && "$out/consumer-pc" "$address")
done

if [ $managed = 1 ]; then
  runtime=()
  if [ $system = 0 ]; then
    pc=$(find "$prefix" -name velmora-clr.pc -print -quit)
    export PKG_CONFIG_PATH="$(dirname "$pc")${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
    # Only the soname on the loader's path, as the runtime package has it: the dll map must
    # name it, not the development link libvelmora.so.
    soname=$(find "$prefix" -name 'libvelmora.so.*' | grep -E '\.so\.[0-9]+\.[0-9]+$' | head -1)
    mkdir -p "$work/runtime"
    ln -s "$soname" "$work/runtime/"
    runtime=(LD_LIBRARY_PATH="$work/runtime")
  fi
  run_logged "$work/mcs.log" mcs -nologo -pkg:velmora-clr -out:"$work/program.exe" "$here/Program.cs"
  echo "== C# program"
  (cd "$work" && env "${runtime[@]}" MONO_PATH="$(pkg-config --variable=assemblydir velmora-clr)" \
     mono "$work/program.exe" "$address")
fi
