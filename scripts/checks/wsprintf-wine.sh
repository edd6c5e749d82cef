#!/usr/bin/env bash
# FormatW against the system wsprintfW: builds tests/wine/wsprintf_compare.cpp
# for 64-bit Windows and runs it under Wine. Skips (success) without the
# cross compiler or Wine.
#   scripts/checks/wsprintf-wine.sh [BUILD_ROOT]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${1:-$ROOT/build}/wsprintf-wine
CXX=x86_64-w64-mingw32-g++
if ! command -v "$CXX" >/dev/null || ! command -v wine >/dev/null; then
  echo "wsprintf-wine: skipped (no $CXX or wine)"
  exit 0
fi
mkdir -p "$OUT"
"$CXX" -std=c++17 -O1 -Wall -Wextra -Werror -DUNICODE -D_UNICODE -I"$ROOT" \
  "$ROOT/tests/wine/wsprintf_compare.cpp" "$ROOT/platform/wtext.cpp" -luser32 -static -o "$OUT/wsprintf_compare.exe"
WINEDEBUG=-all timeout 300 wine "$OUT/wsprintf_compare.exe"
