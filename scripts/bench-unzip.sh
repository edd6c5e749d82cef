#!/usr/bin/env bash
# Extraction speed of the tool's zip reader against Info-ZIP unzip on the same
# 64 MiB deflated package (four 16 MiB firmware-like images). Not a test:
# prints the best of three runs of each and their ratio.
#   scripts/bench-unzip.sh [BUILD_DIR]      (default: ./build/bench)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:-$ROOT/build/bench}
mkdir -p "$OUT"
cmake -S "$ROOT" -B "$OUT" -DCMAKE_BUILD_TYPE=Release -DQUILLON_SANITIZE=OFF >/dev/null
cmake --build "$OUT" -j"$(nproc 2>/dev/null || echo 2)" --target quillon-tool >/dev/null
TOOL=$OUT/tools/quillon-tool/quillon-tool

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src"
# Half noise, half structure: compresses roughly as firmware images do.
python3 - "$work/src" <<'PY'
import os, random, sys
r = random.Random(1)
for i in range(4):
    with open(os.path.join(sys.argv[1], "fw_%d.bin" % i), "wb") as f:
        for block in range(16 * 1024 // 4):          # 4 KiB pages
            page = bytearray(r.getrandbits(8) for _ in range(2048))
            page += (b"%08X" % (block * 4096)) * 256
            f.write(bytes(page))
PY
(cd "$work/src" && zip -q -6 "$work/package.zip" ./*.bin)
size=$(stat -c %s "$work/package.zip")

best() {  # best COMMAND... : fastest of three runs in seconds (output folder cleared before each)
  python3 - "$work/out" "$@" <<'PY'
import shutil, subprocess, sys, time
out, cmd, times = sys.argv[1], sys.argv[2:], []
for _ in range(3):
    shutil.rmtree(out, ignore_errors=True)
    t0 = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    times.append(time.perf_counter() - t0)
print("%.4f" % min(times))
PY
}

ours=$(best "$TOOL" package extract "$work/package.zip" "$work/out")
cmp -s "$work/src/fw_3.bin" "$work/out/fw_3.bin" || { echo "quillon-tool output differs" >&2; exit 1; }
theirs=$(best unzip -q -o "$work/package.zip" -d "$work/out")
printf 'package: 64 MiB in 4 entries, %d bytes deflated\n' "$size"
printf 'quillon-tool package extract: %.3f s\n' "$ours"
printf 'unzip:                        %.3f s\n' "$theirs"
printf 'ratio (quillon-tool / unzip): %s\n' "$(python3 -c "print('%.2f' % ($ours / $theirs))")"
