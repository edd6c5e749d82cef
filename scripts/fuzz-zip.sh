#!/usr/bin/env bash
# Builds the zip reader's libFuzzer harness (clang, ASan + UBSan) in a tree of
# its own and runs it for N seconds on a seed corpus made by zip and python.
#   scripts/fuzz-zip.sh [SECONDS] [BUILD_DIR]      (defaults: 30, ./build/fuzz)
# Exit status: libFuzzer's (non-zero when it found a crash; the input is kept
# in BUILD_DIR/artifacts).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_TO_RUN=${1:-30}
OUT=${2:-$ROOT/build/fuzz}
mkdir -p "$OUT"

cmake -S "$ROOT" -B "$OUT" -DQUILLON_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
      -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$OUT" -j"$(nproc 2>/dev/null || echo 2)" --target fuzz_zip >/dev/null

# Seeds: small archives of the kinds the reader must handle.
SEEDS=$OUT/seeds
CORPUS=$OUT/corpus
mkdir -p "$SEEDS" "$CORPUS" "$OUT/artifacts"
if [ -z "$(ls -A "$SEEDS")" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/src/sub"
  printf '[UPDATEINFO]\r\nTitle=Seed\r\n' > "$work/src/QuillonInfo.ini"
  head -c 3000 /dev/urandom | base64 > "$work/src/sub/image.bin"
  : > "$work/src/empty.bin"
  (cd "$work/src" && zip -q -r -9 "$SEEDS/deflated.zip" . && zip -q -r -0 "$SEEDS/stored.zip" .)
  python3 - "$SEEDS" <<'PY'
import struct, sys, zipfile
d = sys.argv[1]
with zipfile.ZipFile(d + "/ut.zip", "w", zipfile.ZIP_DEFLATED) as z:
    i = zipfile.ZipInfo("t.txt", date_time=(2020, 1, 2, 3, 4, 6))
    i.extra = b"UT" + struct.pack("<HBii", 9, 3, 1000000000, 1100000000)
    z.writestr(i, b"timestamps" * 20)
    z.writestr("dir/", b"")
    z.comment = b"seed comment"
class Pipe:
    def __init__(s, f): s.f = f
    def write(s, b): return s.f.write(b)
    def flush(s): s.f.flush()
with open(d + "/descriptor.zip", "wb") as f:
    z = zipfile.ZipFile(Pipe(f), "w", zipfile.ZIP_DEFLATED)
    with z.open("d.bin", "w") as w: w.write(bytes(range(256)) * 8)
    z.close()
zipfile.ZipFile(d + "/empty.zip", "w").close()
PY
fi

cd "$OUT"
exec "$OUT/fuzz/fuzz_zip" -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
     -artifact_prefix="$OUT/artifacts/" -print_final_stats=1 "$CORPUS" "$SEEDS"
