#!/usr/bin/env bash
# The work folder under Wine: builds tests/win32/work_dir_probe_win.cpp with
# the work folder code and the Windows implementation of os:: for x86_64 and
# runs it under 64-bit Wine. It reads the folder's security descriptor back
# (no entry for the user, none inherited), plants taken names, and swaps a
# folder (and, where this Wine can make one, a junction) in before the exit.
# usage: scripts/checks/work-dir-wine.sh BUILD_ROOT
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD_ROOT=${1:?usage: $0 BUILD_ROOT}
OUT=$BUILD_ROOT/build-win64/work-dir-probe
mkdir -p "$OUT"
. "$ROOT/scripts/wine-env.sh" && qn_wine_env "$BUILD_ROOT" || exit 1
x86_64-w64-mingw32-g++ -std=c++17 -O1 -Wall -Wextra -Werror -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0A00 \
  -DWIN32_LEAN_AND_MEAN -I"$ROOT" \
  "$ROOT/tests/win32/work_dir_probe_win.cpp" "$ROOT"/platform/win32/*.cpp "$ROOT/platform/trace/trace_hook.cpp" "$ROOT/platform/wtext.cpp" \
  "$ROOT/package/work_dir.cpp" "$ROOT/package/files.cpp" "$ROOT/core/app_state.cpp" \
  -static -lsetupapi -lcomctl32 -lgdiplus -luuid -ladvapi32 -o "$OUT/work_dir_probe.exe"
# Each run works in temporary folders of its own; those of earlier runs go.
rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/qn-workdir-probe-* "$WINEPREFIX"/drive_c/users/*/AppData/Local/Temp/qn-workdir-probe-*
status=0
timeout 300 "$WINE" "$OUT/work_dir_probe.exe" | tr -d '\r' || status=1
timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
exit $status
