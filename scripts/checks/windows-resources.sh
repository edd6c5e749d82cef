#!/usr/bin/env bash
# Checks both built Quillon.exe files: PE kind and resources (manifest,
# dialog 102, icon group 105, version block, FWPACKAGEZIP 1000 equal to the
# package zip the build embedded), the embedded package linted by the Linux
# quillon-tool, and the version block against quillon-tool --version. The
# i686 run also proves the checks can fail.
# usage: scripts/checks/windows-resources.sh BUILD_ROOT
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${1:?usage: $0 BUILD_ROOT}
TOOL=$OUT/linux/tools/quillon-tool/quillon-tool
status=0
for pair in "build-win32 i686" "build-win64 x86_64"; do
  set -- $pair
  tree=$OUT/$1
  package=$(sed -n 's/^#define QN_PACKAGE_ZIP_FILE "\(.*\)"$/\1/p' "$tree/res/quillon_paths.h" 2>/dev/null || true)
  args=("$tree/res/Quillon.exe" --arch "$2")
  [ -n "$package" ] && args+=(--package "$package")
  [ "$2" = i686 ] && args+=(--self-test)
  python3 "$ROOT/scripts/check_windows_exe.py" "${args[@]}" || status=1
  # The package tool reads the embedded package as authors would
  # (quillon-tool package lint Quillon.exe), and its --version is the
  # executable's version block: both come from the one source.
  if [ -x "$TOOL" ]; then
    "$TOOL" package lint "$tree/res/Quillon.exe" | grep -E '^(error|.*: resource FWPACKAGEZIP|.*: [0-9]+ errors)' ||
      { echo "FAIL: quillon-tool package lint $tree/res/Quillon.exe"; status=1; }
    made=$(strings -el "$tree/res/Quillon.exe" | grep -A1 -x FileVersion | tail -n 1 || true)
    said=$("$TOOL" --version | cut -d' ' -f2)
    [ "$made" = "$said" ] || { echo "FAIL: FileVersion $made, quillon-tool --version $said"; status=1; }
  else
    echo "FAIL: no $TOOL to lint the embedded package with"; status=1
  fi
done
exit $status
