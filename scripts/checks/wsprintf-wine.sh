#!/usr/bin/env bash
# FormatW against the system wsprintfW: builds tests/wine/wsprintf_compare.cpp
# for 64-bit Windows and runs it under Wine. Fails without the cross compiler
# or Wine (scripts/deps.sh all installs both).
#   scripts/checks/wsprintf-wine.sh [BUILD_ROOT]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD_ROOT=${1:-$ROOT/build}
OUT=$BUILD_ROOT/wsprintf-wine
CXX=x86_64-w64-mingw32-g++
command -v "$CXX" >/dev/null || { echo "FAIL: $CXX is missing (scripts/deps.sh all installs it)"; exit 1; }
. "$ROOT/scripts/wine-env.sh" && qn_wine_env "$BUILD_ROOT" || exit 1
mkdir -p "$OUT"
"$CXX" -std=c++17 -O1 -Wall -Wextra -Werror -DUNICODE -D_UNICODE -I"$ROOT" \
  "$ROOT/tests/wine/wsprintf_compare.cpp" "$ROOT/platform/wtext.cpp" -luser32 -static -o "$OUT/wsprintf_compare.exe"
status=0
timeout 300 "$WINE" "$OUT/wsprintf_compare.exe" || status=1
timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
exit $status
