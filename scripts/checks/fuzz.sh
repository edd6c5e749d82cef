#!/usr/bin/env bash
# Every libFuzzer harness for a short, bounded time: builds the clang tree
# once in BUILD_ROOT/fuzz, then runs each target FUZZ_SECONDS (default 20) on
# its seeds and the corpus earlier runs left there (scripts/fuzz.sh).
# Fails when a harness finds a crash; the input is kept in BUILD_ROOT/fuzz/artifacts.
# Skips (success) without clang.
#   scripts/checks/fuzz.sh BUILD_ROOT
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${1:?usage: $0 BUILD_ROOT}/fuzz
SECONDS_EACH=${FUZZ_SECONDS:-20}
TARGETS=(zip profile config image identify)
if ! command -v clang++ >/dev/null; then
  echo "fuzz: skipped (no clang++)"
  exit 0
fi
mkdir -p "$OUT"
cmake -S "$ROOT" -B "$OUT" -DQUILLON_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null || exit 1
cmake --build "$OUT" -j"$(nproc 2>/dev/null || echo 2)" --target "${TARGETS[@]/#/fuzz_}" >/dev/null || {
  echo "fuzz: build failed"; exit 1; }
status=0
for t in "${TARGETS[@]}"; do
  log=$OUT/$t.log
  t0=$SECONDS
  if QN_FUZZ_NO_BUILD=1 "$ROOT/scripts/fuzz.sh" "$t" "$SECONDS_EACH" "$OUT" >"$log" 2>&1; then
    echo "fuzz $t: $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") runs in $((SECONDS - t0)) s, no crash"
  else
    status=1
    echo "fuzz $t: FAILED"
    grep -E "ERROR|invariant|SUMMARY|Test unit written" "$log" | head -10
  fi
done
exit $status
