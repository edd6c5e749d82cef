#!/usr/bin/env bash
# The main job: builds quillon-sim and runs the tool headless against the
# simulated machine, with its embedded default machine and package unless
# arguments say otherwise (they are passed to quillon-sim; try --help).
#   scripts/run.sh [quillon-sim arguments...]
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${QUILLON_BUILD:-$ROOT/build}/run
"$ROOT/scripts/deps.sh" linux
cmake -S "$ROOT" -B "$OUT" -DCMAKE_BUILD_TYPE=Release -DQUILLON_SANITIZE=OFF >/dev/null
cmake --build "$OUT" -j"$(nproc 2>/dev/null || echo 2)" --target quillon-sim >/dev/null
exec "$OUT/tools/quillon-sim/quillon-sim" "$@"
