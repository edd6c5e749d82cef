#!/usr/bin/env bash
# Builds everything (Linux with sanitizers, Windows i686 and x86_64) and runs
# every test. Installs what it needs on a fresh Debian machine.
#   scripts/test.sh [BUILD_ROOT]     (default: ./build)
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:-$ROOT/build}
mkdir -p "$OUT"
JOBS=$(nproc 2>/dev/null || echo 2)

"$ROOT/scripts/deps.sh" all || { echo "dependency installation failed"; exit 1; }

passed=0
failed=0
failures=()
stage() {  # stage NAME COMMAND...
  local name=$1; shift
  echo "==== $name"
  local t0=$SECONDS
  if "$@"; then
    passed=$((passed + 1)); echo "==== $name: ok ($((SECONDS - t0)) s)"
  else
    failed=$((failed + 1)); failures+=("$name"); echo "==== $name: FAILED ($((SECONDS - t0)) s)"
  fi
}

linux_build() {
  cmake -S "$ROOT" -B "$OUT/linux" -DCMAKE_BUILD_TYPE=Debug >/dev/null &&
  cmake --build "$OUT/linux" -j"$JOBS"
}
linux_tests() {
  ctest --test-dir "$OUT/linux" --output-on-failure -j"$JOBS"
}
windows_build() {
  "$ROOT/scripts/windows-build.sh" "$OUT" "$OUT/linux"
}

stage "linux build" linux_build
stage "linux tests" linux_tests
stage "windows build" windows_build
for t in "$ROOT"/scripts/checks/*.sh; do
  [ -e "$t" ] || continue
  stage "$(basename "$t" .sh)" bash "$t" "$OUT"
done

echo
echo "stages: $passed passed, $failed failed"
((failed == 0)) || { echo "failed stages: ${failures[*]}"; exit 1; }
