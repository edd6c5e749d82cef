#!/usr/bin/env bash
# Checks both built Quillon.exe files: PE kind and resources (manifest,
# dialog 102, icon group 105, version block, FWPACKAGEZIP 1000 equal to the
# package zip the build embedded). The i686 run also proves the checks can fail.
# usage: scripts/checks/windows-resources.sh BUILD_ROOT
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${1:?usage: $0 BUILD_ROOT}
status=0
for pair in "build-win32 i686" "build-win64 x86_64"; do
  set -- $pair
  tree=$OUT/$1
  package=$(sed -n 's/^#define QN_PACKAGE_ZIP_FILE "\(.*\)"$/\1/p' "$tree/res/quillon_paths.h" 2>/dev/null || true)
  args=("$tree/res/Quillon.exe" --arch "$2")
  [ -n "$package" ] && args+=(--package "$package")
  [ "$2" = i686 ] && args+=(--self-test)
  python3 "$ROOT/scripts/check_windows_exe.py" "${args[@]}" || status=1
done
exit $status
