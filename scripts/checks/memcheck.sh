#!/usr/bin/env bash
# Valgrind memcheck over one quillon-sim run (the tool starts, unpacks its
# package, lists the default machine's drives, updates the first one and
# exits): a tree without the sanitizers in BUILD_ROOT/memcheck; any error or
# leak fails the stage.
#   scripts/checks/memcheck.sh BUILD_ROOT
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${1:?usage: $0 BUILD_ROOT}/memcheck
command -v valgrind >/dev/null || { echo "memcheck: valgrind not installed"; exit 1; }
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
cmake -S "$ROOT" -B "$OUT" -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=OFF >/dev/null || exit 1
cmake --build "$OUT" -j"$(nproc 2>/dev/null || echo 2)" --target quillon-sim >/dev/null || {
  echo "memcheck: build failed"; exit 1; }
SIM=$(find "$OUT/tools" -name quillon-sim -type f -perm -u+x | head -1)
cd "$OUT"
status=0
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect,possible \
         --show-leak-kinds=definite,indirect,possible --track-origins=yes --log-file="$OUT/valgrind.log" \
         "$SIM" --debug --transcript "$OUT/transcript.jsonl" >"$OUT/quillon-sim.log" 2>&1 || status=1
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost" "$OUT/valgrind.log"
echo "quillon-sim: $(grep -c . "$OUT/quillon-sim.log") lines of output, $(grep -c . "$OUT/transcript.jsonl") transcript events"
((status)) && grep -B2 -A25 -m3 "^==[0-9]*== [A-Z]" "$OUT/valgrind.log" | head -80
exit $status
