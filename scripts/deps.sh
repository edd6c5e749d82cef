#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need. Safe to run again:
# it only calls apt-get when something is missing.
set -euo pipefail

PACKAGES_LINUX=(cmake g++ make python3 pkg-config zlib1g-dev libgtest-dev libgmock-dev nlohmann-json3-dev
                zip unzip p7zip-full libarchive-tools file)
PACKAGES_WINDOWS=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
                  libz-mingw-w64-dev wine64 xvfb xdotool imagemagick x11-utils)
PACKAGES_FUZZ=(clang libclang-rt-14-dev valgrind)

want=("${PACKAGES_LINUX[@]}")
case "${1:-all}" in
  linux) ;;
  all) want+=("${PACKAGES_WINDOWS[@]}" "${PACKAGES_FUZZ[@]}") ;;
  *) echo "usage: $0 [linux|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
