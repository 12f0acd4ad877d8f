#!/usr/bin/env bash
# Fails, showing the difference, when a file that tools/abi/generate.py writes from
# managed/abi/operations.toml differs from what it writes now (after clang-format-14 for the C
# and C++ ones): a hand edit of a generated file, or a table changed without regenerating.
# Usage: tools/check-generated.sh [--fix]
#   --fix   rewrites the generated files instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
python=${PYTHON:-python3}
command -v "$python" >/dev/null || { echo "$python not found (tools/setup-deps.sh installs it)" >&2; exit 2; }
if [ "${1:-}" = "--fix" ]; then
  exec "$python" "$root/tools/abi/generate.py"
fi
exec "$python" "$root/tools/abi/generate.py" --check
