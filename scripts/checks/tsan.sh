#!/usr/bin/env bash
# ThreadSanitizer over the end-to-end runs of the dialog and the update
# workers: builds BUILD_ROOT/tsan with QUILLON_TSAN=ON and runs test_app (the
# dialog, the checks, the NVMe and SATA workers against the simulated
# machine), test_platform (the host's threads, clock and dialog, which hand
# the turn between the dialog and the worker) and one default quillon-sim
# run. Any report fails the stage.
#   scripts/checks/tsan.sh BUILD_ROOT
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${1:?usage: $0 BUILD_ROOT}/tsan
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
cmake -S "$ROOT" -B "$OUT" -DCMAKE_BUILD_TYPE=Debug -DQUILLON_TSAN=ON >/dev/null || exit 1
cmake --build "$OUT" -j"$(nproc 2>/dev/null || echo 2)" --target test_app test_platform quillon-sim >/dev/null || {
  echo "tsan: build failed"; exit 1; }
# halt_on_error: the first race fails the run; second_deadlock_stack for lock-order reports.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 history_size=4"
status=0
for t in test_app test_platform; do
  "$OUT/tests/$t" --gtest_brief=1 >"$OUT/$t.log" 2>&1 || status=1
  echo "$t: $(tail -1 "$OUT/$t.log")"
done
SIM=$(find "$OUT/tools" -name quillon-sim -type f -perm -u+x | head -1)
(cd "$OUT" && "$SIM" --debug >"$OUT/quillon-sim.log" 2>&1) || status=1
echo "quillon-sim: $(grep -c . "$OUT/quillon-sim.log") lines of output"
if ((status)); then
  grep -h -A30 "WARNING: ThreadSanitizer" "$OUT"/test_*.log "$OUT/quillon-sim.log" | head -60
  grep -h -E "FAILED|Failure" "$OUT"/test_*.log | head -10
fi
exit $status
