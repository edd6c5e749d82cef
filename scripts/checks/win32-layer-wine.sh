#!/usr/bin/env bash
# The Windows implementation of os:: (platform/win32): every function os.h
# declares is defined there, and against the real API it behaves: builds
# tests/win32/os_probe_win.cpp with it for x86_64 and runs it under 64-bit
# Wine; compiles it for i686 as well (32-bit Wine is not available).
# usage: scripts/checks/win32-layer-wine.sh BUILD_ROOT
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD_ROOT=${1:?usage: $0 BUILD_ROOT}
OUT=$BUILD_ROOT/build-win64/os-probe
mkdir -p "$OUT"
. "$ROOT/scripts/wine-env.sh" && qn_wine_env "$BUILD_ROOT" || exit 1
cflags=(-std=c++17 -O1 -Wall -Wextra -Werror -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0A00 -DWIN32_LEAN_AND_MEAN
        -I"$ROOT")
flags=("${cflags[@]}" "$ROOT/tests/win32/os_probe_win.cpp" "$ROOT"/platform/win32/*.cpp
       "$ROOT/platform/trace/trace_hook.cpp"
       -static -lsetupapi -lcomctl32 -lgdiplus -luuid)
mkdir -p "$OUT/obj"
for src in "$ROOT"/platform/win32/*.cpp; do
  i686-w64-mingw32-g++ "${cflags[@]}" -c "$src" -o "$OUT/obj/$(basename "$src").o"
done
i686-w64-mingw32-nm -C --defined-only "$OUT"/obj/*.o > "$OUT/obj/symbols.txt"
python3 "$ROOT/scripts/os_seam_coverage.py" "$ROOT/platform/os.h" "$OUT/obj/symbols.txt"
i686-w64-mingw32-g++ "${flags[@]}" -o "$OUT/os_probe32.exe"
x86_64-w64-mingw32-g++ "${flags[@]}" -o "$OUT/os_probe.exe"
status=0
timeout 300 "$WINE" "$OUT/os_probe.exe" | tr -d '\r' || status=1
# Leave no server behind: a later run on a display must start its own.
timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
exit $status
