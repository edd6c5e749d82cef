#!/usr/bin/env bash
# The performance benchmark (docs/performance.md). Not a test and not part of
# scripts/test.sh: builds a Release tree without sanitizers and prints, from
# one run, paired and interleaved medians of
#   extraction against Info-ZIP unzip (a mixed 64 MiB package, the default one),
#   CRC-32 and CRC-32C throughput against zlib's crc32,
#   CPU and peak RSS of simulated NVMe updates (4, 16, 32 MiB) and a SATA update (4 MiB),
#   start-up CPU with 1, 5 and 20 drives,
#   the recorder's overhead: an update without and with --record / --record-full,
# and instruction counts (valgrind --tool=callgrind) when valgrind is present.
#   scripts/bench.sh [BUILD_DIR]        (default: ./build/bench)
#   BENCH_ROUNDS=N (default 5)   BENCH_VALGRIND=0 skips the instruction counts
#   BENCH_PARTS=recording,startup   only those parts (extraction, checksums, updates, startup, recording)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:-$ROOT/build/bench}
for tool in unzip zip python3; do
  command -v "$tool" >/dev/null || { echo "bench.sh: needs $tool (apt-get install $tool)" >&2; exit 1; }
done
mkdir -p "$OUT"
cmake -S "$ROOT" -B "$OUT" -DCMAKE_BUILD_TYPE=Release -DQUILLON_SANITIZE=OFF >/dev/null
cmake --build "$OUT" -j2 --target quillon-tool quillon-sim quillon-bench >/dev/null
exec python3 "$ROOT/scripts/bench.py" "$ROOT" "$OUT"
