#!/usr/bin/env bash
# Makes the Debian package in a build folder, installs it with apt-get, builds and runs the C++
# and C# consumers against /usr, and removes the package again (also on failure), so the machine
# is left as it was.
# Usage: tools/check-package.sh <build-dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=600)

rm -f "$build"/velmora_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/velmora_*.deb)
dpkg-deb --field "$deb" Package Version Depends Recommends

trap '"${apt[@]}" purge velmora >/dev/null || true' EXIT
"${apt[@]}" install "$deb" >/dev/null

# The simulator listens on a loopback address derived from the build folder.
h=$(printf '%s' "$build" | cksum | cut -d' ' -f1)
address=127.$((h % 254 + 1)).$(((h >> 8) % 256)).$(((h >> 16) % 254 + 1))
options=(--cxx c++)
command -v clang++-14 >/dev/null && options+=(--cxx clang++-14)
dpkg -L velmora | grep -q 'velmora\.clr\.dll$' && command -v mono >/dev/null && options+=(--managed)
"$root/tests/consumer/check-installed.sh" "${options[@]}" /usr "$build/package-check" "$address"
