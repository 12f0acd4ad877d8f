#!/usr/bin/env bash
# Runs one example against velmora-sim, as a user would: starts the simulator on a loopback
# address of its own (and one more address per further simulator), runs the command in a fresh
# work folder with "@address@" replaced by the addresses, and passes when the command exits 0
# having printed the expected text. The simulators are stopped and reaped on every way out;
# should this script be killed outright, each still ends by itself after 300 s.
# Usage: run-example.sh [--sims N] [--upgrade] [--zip NAME] [--file NAME]
#                       SIM ADDRESS WORK_DIR EXPECTED -- COMMAND...
# --zip makes a small project archive NAME in the work folder, --file a small file NAME.
set -euo pipefail
sims=1 sim_options=() zips=() files=()
while [ "${1:-}" != "" ] && [ "${1#--}" != "$1" ]; do
  case $1 in
    --sims) sims=$2; shift 2 ;;
    --upgrade) sim_options+=(--upgrade); shift ;;
    --zip) zips+=("$2"); shift 2 ;;
    --file) files+=("$2"); shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
sim=$1 address=$2 work=$3 expected=$4
shift 4
[ "$1" = -- ] && shift

rm -rf "$work"
mkdir -p "$work"
cd "$work"
for name in "${files[@]}"; do
  printf 'a package of %s\n' "$name" >"$name"
done
for name in "${zips[@]}"; do
  mkdir -p archive && printf 'MODULE main\nENDMODULE\n' >archive/main.mod
  (cd archive && cmake -E tar cf "../$name" --format=zip main.mod)
done

pids=()
stop_sims() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop_sims EXIT
trap 'exit 1' INT TERM

prefix=${address%.*} last=${address##*.}
addresses=()
for ((i = 0; i < sims; i++)); do
  a=$prefix.$((last + i))
  addresses+=("$a")
  timeout 300 "$sim" --address "$a" --rt-port 0 --time-scale 0.1 "${sim_options[@]}" >"sim-$i.out" 2>&1 &
  pids+=($!)
done
for ((i = 0; i < sims; i++)); do
  for _ in $(seq 100); do
    grep -q "velmora-sim on" "sim-$i.out" && break
    kill -0 "${pids[$i]}" 2>/dev/null || { cat "sim-$i.out" >&2; exit 1; }
    sleep 0.1
  done
done

command=()
for word in "$@"; do
  if [ "$word" = @address@ ]; then command+=("${addresses[@]}"); else command+=("$word"); fi
done
status=0
timeout 120 "${command[@]}" >output.txt 2>&1 || status=$?
cat output.txt
if [ $status -ne 0 ]; then
  echo "exit status $status" >&2
  exit 1
fi
grep -qF -- "$expected" output.txt || { echo "expected \"$expected\" in the output" >&2; exit 1; }
