#!/usr/bin/env bash
# Configures and builds both Windows trees with mingw-w64:
#   OUT/build-win32  the 32-bit product (i686)
#   OUT/build-win64  the same sources for x86_64 (runs under 64-bit Wine here)
# usage: scripts/windows-build.sh OUT [LINUX_TREE]
# LINUX_TREE (optional) is the Linux build tree, passed on as QN_LINUX_TREE
# so a Windows tree can embed the default package built there.
# QUILLON_PACKAGE in the environment names a package zip to embed instead.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:?usage: $0 OUT [LINUX_TREE]}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

extra=()
if [ -n "${2:-}" ]; then
  extra+=("-DQN_LINUX_TREE=$(cd "$2" 2>/dev/null && pwd || echo "$2")")
fi
if [ -n "${QUILLON_PACKAGE:-}" ]; then
  extra+=("-DQUILLON_PACKAGE=$QUILLON_PACKAGE")
fi

build_tree() {  # build_tree DIR TOOLCHAIN
  local dir=$1 toolchain=$2
  echo "== configuring $dir"
  cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
        "${extra[@]}" >/dev/null
  echo "== building $dir"
  cmake --build "$dir" -j"$JOBS"
  [ -f "$dir/res/Quillon.exe" ] || { echo "no Quillon.exe in $dir" >&2; return 1; }
}

build_tree "$OUT/build-win32" toolchain-i686-mingw.cmake
build_tree "$OUT/build-win64" toolchain-x86_64-mingw.cmake
echo "== Quillon.exe:"
file "$OUT/build-win32/res/Quillon.exe" "$OUT/build-win64/res/Quillon.exe"
