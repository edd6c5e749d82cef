#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan, -O1) in a tree of their
# own and runs one of them for a given time on its seed corpus: the text
# seeds of fuzz/seeds/TARGET and those scripts/fuzz-seeds.py generates.
#   scripts/fuzz.sh TARGET [SECONDS] [BUILD_DIR] [libFuzzer options...]
#   TARGET: zip profile config image identify          (defaults: 30 s, ./build/fuzz)
# The corpus grows in BUILD_DIR/corpus/TARGET; a crashing input is kept as
# BUILD_DIR/artifacts/TARGET-crash-*. QN_FUZZ_NO_BUILD=1 skips the build.
# Exit status: libFuzzer's (non-zero when it found a crash).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
TARGET=${1:?usage: $0 TARGET [SECONDS] [BUILD_DIR] [libFuzzer options...]}
SECONDS_TO_RUN=${2:-30}
OUT=${3:-$ROOT/build/fuzz}
shift $(($# < 3 ? $# : 3))

case $TARGET in
  zip | image) max_len=65536 ;;
  profile | config) max_len=8192 ;;
  identify) max_len=4096 ;;
  *) echo "fuzz.sh: unknown target $TARGET (zip profile config image identify)" >&2; exit 2 ;;
esac

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
if [ "${QN_FUZZ_NO_BUILD:-0}" != 1 ]; then
  cmake -S "$ROOT" -B "$OUT" -DQUILLON_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
  cmake --build "$OUT" -j"$(nproc 2>/dev/null || echo 2)" --target "fuzz_$TARGET" >/dev/null
fi

SEEDS=$OUT/seeds/$TARGET
CORPUS=$OUT/corpus/$TARGET
mkdir -p "$SEEDS" "$CORPUS" "$OUT/artifacts"
case $TARGET in
  zip | image | identify) python3 "$ROOT/scripts/fuzz-seeds.py" "$TARGET" "$SEEDS" ;;
esac
dirs=("$CORPUS" "$SEEDS")
[ -d "$ROOT/fuzz/seeds/$TARGET" ] && dirs+=("$ROOT/fuzz/seeds/$TARGET")

# The harnesses keep their scratch files under /tmp; run from the tree.
cd "$OUT"
exec "$OUT/fuzz/fuzz_$TARGET" -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 \
     -max_len="$max_len" -artifact_prefix="$OUT/artifacts/$TARGET-" -print_final_stats=1 "$@" "${dirs[@]}"
