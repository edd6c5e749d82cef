#!/usr/bin/env bash
# The main job: builds quillon-sim and runs the tool headless against the
# simulated machine, with its embedded default machine and package unless
# arguments say otherwise (they are passed to quillon-sim; try --help).
#   scripts/run.sh [quillon-sim arguments...]
# The build's progress goes to stderr, one line per finished target; a tree
# that is already up to date prints nothing and the run starts at once.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${QUILLON_BUILD:-$ROOT/build}/run
"$ROOT/scripts/deps.sh" linux >&2
if [ ! -f "$OUT/CMakeCache.txt" ]; then
  echo "run.sh: configuring $OUT" >&2
  cmake -S "$ROOT" -B "$OUT" -DCMAKE_BUILD_TYPE=Release -DQUILLON_SANITIZE=OFF >/dev/null
fi
mkdir -p "$OUT"
LOG=$OUT/build.log
# Make's own lines go to the log; a target that was built is named on stderr.
if ! cmake --build "$OUT" -j"$(nproc 2>/dev/null || echo 2)" --target quillon-sim 2>&1 | tee "$LOG" |
     awk '/Building|Linking/ && !busy { busy = 1; print "run.sh: building quillon-sim (the first time takes a few minutes)"; fflush() }
          busy && /Built target/ { print "run.sh: " $0; fflush() }' >&2; then
  echo "run.sh: the build failed; the end of $LOG:" >&2
  tail -n 30 "$LOG" >&2
  exit 1
fi
exec "$OUT/tools/quillon-sim/quillon-sim" "$@"
