#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need, if any is missing.
set -euo pipefail
packages=(
  build-essential cmake pkg-config git
  libjsoncpp-dev libfmt-dev libspdlog-dev libasio-dev libeigen3-dev
  libgtest-dev libgmock-dev
  clang-14 libclang-rt-14-dev clang-format-14 clang-tidy-14
  mono-mcs mono-runtime nunit-console libnunit-cil-dev
  python3
  netcat-openbsd lintian
  doxygen
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
