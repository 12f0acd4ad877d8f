#!/usr/bin/env bash
# Makes the Debian packages in a build folder, checks them with lintian (an error fails), installs
# them with `apt-get install ./*.deb`, builds and runs the C++ consumers (find_package and
# pkg-config) and the C# one (mcs -pkg:) against /usr, and removes the packages again (also on
# failure), so the machine is left as it was.
# Usage: tools/check-package.sh <build-dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=600)

cd "$build"
rm -f ./*.deb
cpack -G DEB >/dev/null
debs=(./*.deb)
packages=()
for deb in "${debs[@]}"; do
  echo "== $(basename "$deb")"
  dpkg-deb --field "$deb" Package Version Architecture Section Depends Recommends Breaks
  packages+=("$(dpkg-deb --field "$deb" Package)")
done

echo "== lintian"
lintian --fail-on error --display-info "${debs[@]}"

trap '"${apt[@]}" purge "${packages[@]}" >/dev/null || true' EXIT
"${apt[@]}" install "${debs[@]}" >/dev/null
echo "== installed: ${packages[*]}"

# The simulator listens on a loopback address derived from the build folder.
h=$(printf '%s' "$build" | cksum | cut -d' ' -f1)
address=127.$((h % 254 + 1)).$(((h >> 8) % 256)).$(((h >> 16) % 254 + 1))
options=(--cxx c++)
command -v clang++-14 >/dev/null && options+=(--cxx clang++-14)
dpkg -s libvelmora-cil >/dev/null 2>&1 && command -v mono >/dev/null && options+=(--managed)
"$root/tests/consumer/check-installed.sh" "${options[@]}" /usr "$build/package-check" "$address"
