#!/usr/bin/env bash
# Runs clang-tidy-14 with the repository's .clang-tidy over every source file of src/, in
# parallel; fails when it finds anything, listing each finding once (a header's finding shows in
# every file that includes it).
# Usage: tools/check-tidy.sh [build-dir]   (environment: VELMORA_CMAKE_ARGS, VELMORA_JOBS)
# The build folder is configured (not built) to get its compile_commands.json.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
jobs=${VELMORA_JOBS:-$(nproc)}
tidy=${CLANG_TIDY:-clang-tidy-14}
command -v "$tidy" >/dev/null || { echo "$tidy not found (tools/setup-deps.sh installs it)" >&2; exit 2; }

# shellcheck disable=SC2086
cmake -S "$root" -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON ${VELMORA_CMAKE_ARGS:-} >/dev/null
mapfile -t files < <(python3 - "$build/compile_commands.json" "$root/src/" <<'PY'
import json, os, sys
seen = set()
for entry in json.load(open(sys.argv[1])):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if path.startswith(sys.argv[2]) and path not in seen:
        seen.add(path)
        print(path)
PY
)
((${#files[@]})) || { echo "no source of src/ in $build/compile_commands.json" >&2; exit 2; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$SECONDS
set +e
printf '%s\0' "${files[@]}" | xargs -0 -n 2 -P "$jobs" "$tidy" -p "$build" --quiet >"$log" 2>&1
status=$?
set -e
findings=$(grep -E '^/.*:[0-9]+:[0-9]+: (warning|error): ' "$log" | sed "s#^$root/##" | sort -u || true)
if [ -n "$findings" ]; then
  echo "clang-tidy: $(printf '%s\n' "$findings" | wc -l) findings in ${#files[@]} files of src/:"
  printf '%s\n' "$findings"
  exit 1
fi
if [ "$status" -ne 0 ]; then
  # No finding but a failed run: a file that did not compile, or the tool itself failing.
  cat "$log" >&2
  exit 2
fi
echo "clang-tidy: ${#files[@]} files of src/ clean in $((SECONDS - start)) s"
