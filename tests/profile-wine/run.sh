#!/usr/bin/env bash
# Profile reads on Linux against the real GetPrivateProfileStringW and
# GetPrivateProfileIntW of Wine: the same probe built for Linux (os::, the
# host implementation) and for x86_64 Windows reads the same tricky files;
# the two outputs must be identical.
#   tests/profile-wine/run.sh LINUX_BUILD_DIR [WORK_DIR]
# Fails without the cross compiler or Wine (scripts/deps.sh all installs
# both). The Wine prefix is wine-prefix beside WORK_DIR: for
# scripts/checks/profile-wine.sh the build root's, shared with the other stages.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=${1:?usage: $0 LINUX_BUILD_DIR [WORK_DIR]}
WORK=${2:-$BUILD/profile-wine}
CXX=x86_64-w64-mingw32-g++
command -v "$CXX" >/dev/null || { echo "FAIL: $CXX is missing (scripts/deps.sh all installs it)"; exit 1; }
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
. "$HERE/../../scripts/wine-env.sh" && qn_wine_env "$(dirname "$WORK")" || exit 1
cmake --build "$BUILD" --target profile_probe -j2 >/dev/null
LINUX_PROBE=$(find "$BUILD" -name profile_probe -type f -perm -u+x | head -1)
"$CXX" -std=c++17 -O1 -Wall -Wextra -Werror -static "$HERE/profile_probe.cpp" -o "$WORK/profile_probe.exe"

rm -rf "$WORK/inis"
python3 "$HERE/make_inis.py" "$WORK/inis"
"$LINUX_PROBE" "$WORK/inis" > "$WORK/linux.txt"
# Wine sees the Linux root as drive Z:.
timeout 600 "$WINE" "$WORK/profile_probe.exe" "Z:${WORK//\//\\}\\inis" > "$WORK/wine.txt" 2> "$WORK/wine.err" || {
  echo "profile-wine: the Windows probe failed under Wine"; tail -5 "$WORK/wine.err"; exit 1; }
tr -d '\r' < "$WORK/wine.txt" > "$WORK/wine.lf.txt"
if diff -u "$WORK/wine.lf.txt" "$WORK/linux.txt"; then
  echo "profile-wine: $(wc -l < "$WORK/linux.txt") answers identical"
else
  echo "profile-wine: Linux profile reads differ from Wine (- Wine, + Linux)"
  exit 1
fi
