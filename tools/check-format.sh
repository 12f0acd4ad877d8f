#!/usr/bin/env bash
# Fails, listing the files, when a tracked C++ file differs from what clang-format-14 makes of it
# with the repository's .clang-format. Usage: tools/check-format.sh [--fix]
#   --fix   rewrites those files in place instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
format=${CLANG_FORMAT:-clang-format-14}
command -v "$format" >/dev/null || { echo "$format not found (tools/setup-deps.sh installs it)" >&2; exit 2; }
mode=check
[ "${1:-}" = "--fix" ] && mode=fix

mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.cc' '*.cxx' '*.h' '*.hpp')
if [ "$mode" = fix ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -r -n 32 -P "$(nproc)" "$format" -i --style=file
  exit 0
fi

# Each file compared with the formatter's output of it; a file it cannot read fails the run.
compare() {
  local out
  out=$(mktemp)
  for f in "$@"; do
    # Whole output first: a comparison that stops at the first difference would cut the pipe.
    "$format" --style=file "$f" >"$out" || { echo "$format failed on $f" >&2; rm -f "$out"; exit 255; }
    cmp -s "$out" "$f" || echo "$f"
  done
  rm -f "$out"
}
export -f compare
export format
unformatted=$(printf '%s\0' "${files[@]}" | xargs -0 -r -n 16 -P "$(nproc)" bash -c 'compare "$@"' _ | sort)
if [ -n "$unformatted" ]; then
  count=$(printf '%s\n' "$unformatted" | wc -l)
  echo "$count of ${#files[@]} files differ from $format's output (tools/check-format.sh --fix rewrites them):"
  printf '%s\n' "$unformatted" | sed 's/^/  /'
  exit 1
fi
echo "all ${#files[@]} C++ files formatted"
