#!/usr/bin/env bash
# A release engineer's own package (-DQUILLON_PACKAGE=...): the build lints it
# and stops on errors before Quillon.exe is made; a sound package passes.
# Configures scratch x86_64 Windows trees that take the Linux tree's
# quillon-tool, and builds only the lint target (seconds, no compiling).
# usage: scripts/checks/package-option.sh BUILD_ROOT
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${1:-$ROOT/build}
OUT=$(cd "$OUT" && pwd)
TOOL=$OUT/linux/tools/quillon-tool/quillon-tool
ZIP=$OUT/linux/res/package/quillon_default_package.zip
if ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
  echo "package-option: skipped (no x86_64-w64-mingw32-g++)"
  exit 0
fi
[ -x "$TOOL" ] && [ -f "$ZIP" ] || { echo "package-option: no quillon-tool or default package in $OUT/linux"; exit 1; }

WORK=$OUT/package-option
rm -rf "$WORK"
mkdir -p "$WORK/pkg"
cp "$ZIP" "$WORK/good.zip"
# The same files zipped from "." by bsdtar: every name starts with "./",
# which the reader refuses, so the package would unpack to nothing.
python3 -m zipfile -e "$ZIP" "$WORK/pkg"
(cd "$WORK/pkg" && bsdtar --format zip -cf ../broken.zip .)

lint_build() {  # lint_build CASE: configure a tree embedding CASE.zip, build its lint target
  local tree=$WORK/tree-$1
  cmake -S "$ROOT" -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-x86_64-mingw.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DQN_HOST_TOOL="$TOOL" -DQUILLON_PACKAGE="$WORK/$1.zip" >"$WORK/$1.configure.log" 2>&1 ||
    { echo "package-option: configuring with $1.zip failed"; tail -5 "$WORK/$1.configure.log"; return 3; }
  cmake --build "$tree" --target qn_package_lint >"$WORK/$1.build.log" 2>&1
}

status=0
if lint_build good; then
  echo "package-option: the default package as QUILLON_PACKAGE passes the lint"
else
  echo "package-option: FAIL: the default package as QUILLON_PACKAGE does not build"; tail -5 "$WORK/good.build.log"; status=1
fi
# Quillon.exe waits for the lint (a target-level dependency).
if ! grep -q "^res/CMakeFiles/Quillon.dir/all: res/package/CMakeFiles/qn_package_lint.dir/all" \
       "$WORK/tree-good/CMakeFiles/Makefile2"; then
  echo "package-option: FAIL: Quillon.exe does not depend on the lint of QUILLON_PACKAGE"; status=1
fi
rc=0
lint_build broken || rc=$?
if [ $rc != 0 ] && [ $rc != 3 ] && grep -q "zip entry ./QuillonInfo.ini cannot be extracted" "$WORK/broken.build.log"; then
  echo "package-option: a package zipped from \".\" stops the build: $(grep -c '^error:' "$WORK/broken.build.log") lint errors"
else
  echo "package-option: FAIL: a broken QUILLON_PACKAGE did not stop the build (status $rc)"
  tail -5 "$WORK/broken.build.log"; status=1
fi
exit $status
