#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need, on Debian 12
# "bookworm" (x86-64), the platform the project supports. Safe to run again:
# it only calls apt-get when something is missing, and says first what it will
# install and why. apt-get needs root: the script runs it directly as root,
# through sudo otherwise, and stops with a message when neither is possible.
#   scripts/deps.sh [linux|all]     (default: all)
set -euo pipefail

# linux: build and test the Linux tree (scripts/run.sh needs only these)
PACKAGES_LINUX=(cmake g++ make python3 pkg-config zlib1g-dev libgtest-dev libgmock-dev nlohmann-json3-dev
                zip unzip p7zip-full libarchive-tools file)
# windows: cross-build Quillon.exe for i686 and x86_64, run it under Wine on
# a virtual display and take its screenshots
PACKAGES_WINDOWS=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
                  libz-mingw-w64-dev wine64 xvfb xdotool imagemagick x11-utils)
# fuzz: libFuzzer and the sanitizer runtime (its package carries clang's major
# version: 14 on Debian 12), valgrind for the memory check
clang_runtime() {
  local v
  v=$(clang --version 2>/dev/null | sed -n 's/.*clang version \([0-9][0-9]*\).*/\1/p' | head -n 1)
  [ -n "$v" ] || v=$(apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n 1)
  echo "libclang-rt-${v:-14}-dev"
}

case "${1:-all}" in
  linux) groups=(linux) ;;
  all) groups=(linux windows fuzz) ;;
  *) echo "usage: $0 [linux|all]" >&2; exit 2 ;;
esac

if [ -r /etc/os-release ]; then
  . /etc/os-release
  if [ "${ID:-}" != debian ] || [ "${VERSION_ID:-}" != 12 ]; then
    echo "deps.sh: this is ${PRETTY_NAME:-an unknown system}; the project is built and tested on Debian 12 (bookworm)." \
         "Going on; package names may differ." >&2
  fi
fi

want_group() {
  case $1 in
    linux) echo "${PACKAGES_LINUX[@]}" ;;
    windows) echo "${PACKAGES_WINDOWS[@]}" ;;
    fuzz) echo clang "$(clang_runtime)" valgrind ;;
  esac
}
missing_of() {  # one dpkg-query for the whole group: a second run costs almost nothing
  local wanted installed p out=()
  wanted=$(want_group "$1")
  installed=$(dpkg-query -W -f='${Package} ${Status}\n' $wanted 2>/dev/null | awk '/install ok installed/ { print $1 }')
  for p in $wanted; do
    grep -qx "$p" <<<"$installed" || out+=("$p")
  done
  echo "${out[@]}"
}

missing=()
for g in "${groups[@]}"; do
  m=$(missing_of "$g")
  [ -z "$m" ] || { echo "deps.sh: missing for $g: $m"; missing+=($m); }
done
((${#missing[@]})) || exit 0

SUDO=()
if [ "$(id -u)" != 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "deps.sh: installing needs root: run this as root, or install sudo" >&2
    exit 1
  fi
  echo "deps.sh: apt-get needs root; running it through sudo (it may ask for your password)"
  SUDO=(sudo)
fi
echo "deps.sh: apt-get update (needs the network)"
"${SUDO[@]}" apt-get update -qq
# The runtime's name follows the clang the package lists offer.
final=()
for p in "${missing[@]}"; do
  case $p in libclang-rt-*-dev) final+=("$(clang_runtime)") ;; *) final+=("$p") ;; esac
done
echo "deps.sh: installing ${final[*]}"
DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get install -y -qq "${final[@]}" >/dev/null
echo "deps.sh: done"
