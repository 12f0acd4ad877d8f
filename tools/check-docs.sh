#!/usr/bin/env bash
# Builds the API reference (target docs) and fails on any Doxygen warning, an undocumented public
# symbol included, or on a reference page of docs/ that differs from the library's tables; then
# prints how many public symbols the reference documents.
# Usage: tools/check-docs.sh [build-dir]   (environment: VELMORA_CMAKE_ARGS, VELMORA_JOBS)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
jobs=${VELMORA_JOBS:-$(nproc)}
command -v doxygen >/dev/null || { echo "doxygen not found (tools/setup-deps.sh installs it)" >&2; exit 2; }

# shellcheck disable=SC2086
cmake -S "$root" -B "$build" -DVELMORA_BUILD_DOCS=ON ${VELMORA_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$jobs" --target docs
log="$build/docs/warnings.log"
if [ -s "$log" ]; then
  echo "Doxygen warnings:" >&2
  cat "$log" >&2
  exit 1
fi
python3 - "$build/docs/xml" <<'PY'
import os
import sys
import xml.etree.ElementTree as ET
# Every symbol the reference shows has documentation of its own (an undocumented one is a
# warning above), except enumerators, which Doxygen lets their enumeration document; those are
# counted apart. Each symbol counts once, in the class or namespace that declares it.
def described(node):
    return any("".join(node.find(tag).itertext()).strip()
               for tag in ("briefdescription", "detaileddescription") if node.find(tag) is not None)
symbols = 0
bare = 0
values = 0
values_described = 0
seen = set()
for name in os.listdir(sys.argv[1]):
    if not name.endswith(".xml") or name == "index.xml":
        continue
    for compound in ET.parse(os.path.join(sys.argv[1], name)).getroot().iter("compounddef"):
        if compound.get("kind") not in ("class", "struct", "union", "namespace"):
            continue
        if described(compound):
            symbols += 1
        for member in compound.iter("memberdef"):
            if member.get("id") in seen or member.get("prot") == "private":
                continue
            seen.add(member.get("id"))
            if described(member):
                symbols += 1
            else:
                # Overriding destructors, deleted copies and the like, which Doxygen lets pass.
                bare += 1
            for value in member.iter("enumvalue"):
                values += 1
                values_described += described(value)
print(f"docs: 0 warnings, {symbols} documented public symbols; {bare} special members without a "
      f"text of their own; {values} enumerators ({values_described} with a line of their own)")
PY
echo "docs: $build/docs/html/index.html"
