#!/bin/sh
# Runs the benchmark programs a few times each, every run measuring quiet and then beside its own
# busy load (`--load`), and prints the minimum, median and maximum across the runs of every
# ratio, CPU, p50 and p99 key of their summary lines, quiet and loaded side by side. Builds
# nothing.
#
# usage: tools/bench-report.sh [-n RUNS] BUILD_DIR [BENCH...]
#   RUNS    runs of each program (default 3)
#   BENCH   e.g. request_rtt or bench_request_rtt (default: every bench_* under BUILD_DIR/bench)
# Shorter runs through the programs' own variables, which pass through, e.g.
#   VELMORA_BENCH_REQUESTS=5000 VELMORA_BENCH_MS=200 VELMORA_BENCH_SECONDS=1 tools/bench-report.sh build
# Each run has a network namespace of its own where `unshare -n` is allowed (as root), so its
# simulators take no loopback address another run or test holds. The programs' full output is
# kept in the folder named at the end.
set -eu

usage() {
  echo "usage: $0 [-n RUNS] BUILD_DIR [BENCH...]" >&2
  exit 2
}

runs=3
while getopts n: opt; do
  case $opt in
    n) runs=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -ge 1 ] || usage
case $runs in '' | *[!0-9]* | 0) usage ;; esac
build=$1
shift
[ -d "$build/bench" ] || { echo "$0: no $build/bench: build the bench_* targets first" >&2; exit 2; }

if [ $# -eq 0 ]; then
  for program in "$build"/bench/bench_*; do
    [ -x "$program" ] && [ -f "$program" ] && set -- "$@" "$(basename "$program")"
  done
fi
[ $# -ge 1 ] || { echo "$0: no bench_* program under $build/bench" >&2; exit 2; }

isolate=0
if unshare -n true 2>/dev/null; then isolate=1; fi
out=$(mktemp -d "${TMPDIR:-/tmp}/bench-report.XXXXXX")
started=$(date +%s)
failed=0

for bench in "$@"; do
  name=${bench#bench_}
  program=$build/bench/bench_$name
  [ -x "$program" ] || { echo "$0: no $program" >&2; failed=1; continue; }
  run=1
  while [ "$run" -le "$runs" ]; do
    log=$out/$name.$run.log
    status=0
    if [ "$isolate" = 1 ]; then
      # shellcheck disable=SC2016 # "$0" is the inner shell's: the program
      unshare -n sh -c 'ip link set lo up && exec "$0" --load' "$program" >"$log" 2>&1 || status=$?
    else
      "$program" --load >"$log" 2>&1 || status=$?
    fi
    line=$(grep "^$name: [a-z0-9_]*=" "$log" | tail -n 1 || true)
    if [ -n "$line" ]; then echo "$line" >>"$out/summaries"; fi
    if [ -z "$line" ]; then
      echo "$name run $run: no summary line, exit status $status ($log)" >&2
      failed=1
    elif [ "$status" != 0 ]; then
      echo "$name run $run: exit status $status, failures in its summary ($log)" >&2
      failed=1
    fi
    run=$((run + 1))
  done
done

echo "benchmarks: $runs run(s) each, quiet and loaded, in $(($(date +%s) - started)) s; outputs in $out"
[ "$isolate" = 1 ] || echo "(not isolated: unshare -n is not allowed here)"
[ -f "$out/summaries" ] || exit 1
awk '
  function sortValues(list, n,    i, j, v) {
    for (i = 2; i <= n; i++) {
      v = list[i]
      for (j = i - 1; j >= 1 && list[j] > v; j--) list[j + 1] = list[j]
      list[j + 1] = v
    }
  }
  function row(bench, key,    id, n, i, list, median) {
    id = bench SUBSEP key
    if (!(id in count)) return
    n = count[id]
    for (i = 1; i <= n; i++) list[i] = value[id, i] + 0
    sortValues(list, n)
    median = n % 2 ? list[(n + 1) / 2] : (list[n / 2] + list[n / 2 + 1]) / 2
    printf "%-14s %-30s %4d %12.2f %12.2f %12.2f\n", bench, key, n, list[1], median, list[n]
  }
  {
    bench = $1
    sub(/:$/, "", bench)
    if (!(bench in seenBench)) { seenBench[bench] = 1; benches[++benchCount] = bench }
    for (f = 2; f <= NF; f++) {
      eq = index($f, "=")
      if (eq == 0) continue
      key = substr($f, 1, eq - 1)
      if (key !~ /ratio|cpu|p50|p99/) continue
      id = bench SUBSEP key
      value[id, ++count[id]] = substr($f, eq + 1)
      plain = key
      sub(/^loaded_/, "", plain)
      if (!((bench, plain) in seenKey)) { seenKey[bench, plain] = 1; keys[bench, ++keyCount[bench]] = plain }
    }
  }
  END {
    printf "%-14s %-30s %4s %12s %12s %12s\n", "bench", "key", "runs", "min", "median", "max"
    for (b = 1; b <= benchCount; b++) {
      bench = benches[b]
      for (k = 1; k <= keyCount[bench]; k++) {
        row(bench, keys[bench, k])
        row(bench, "loaded_" keys[bench, k])
      }
    }
  }
' "$out/summaries"
exit "$failed"
