#!/usr/bin/env bash
# Field traces end to end: QuillonSim.exe (the real window over the
# simulated machine) records a trace under 64-bit Wine with /record:, and
# quillon-sim replays it on Linux with --replay; the two transcripts agree
# event for event (virtual times aside, scripts/compare_transcripts.py;
# the list and information snapshots aside too, which quillon-sim does not
# write in an unattended run).
# The runs are unattended (/unattended /drive:0: the tool answers its own
# questions), so nothing drives the window but the tool itself.
#
# Cases:
#   product  Quillon.exe itself (the real win32 layer) records under Wine:
#            no drive there, exit code 3, a trace of the devices it tried
#   update   the default machine, its first drive updated: exit code 0
#   failing  the same with the drive failing its second firmware piece
#            (ERROR_IO_DEVICE): exit code 40 after a write, in the replay too
#
# usage: scripts/checks/trace-loop.sh BUILD_ROOT
# Uses BUILD_ROOT/build-win64 (QuillonSim.exe), BUILD_ROOT/linux (quillon-sim)
# and the Wine prefix BUILD_ROOT/wine-prefix; traces and transcripts go to
# BUILD_ROOT/build-win64/trace-loop/.
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${1:?usage: $0 BUILD_ROOT}
TREE=$(cd "$OUT/build-win64" 2>/dev/null && pwd) || { echo "FAIL: no $OUT/build-win64"; exit 1; }
EXE=$TREE/tools/quillon-sim-win/QuillonSim.exe
SIM=$(cd "$OUT/linux/tools/quillon-sim" 2>/dev/null && pwd)/quillon-sim
COMPARE=$ROOT/scripts/compare_transcripts.py
[ -f "$EXE" ] || { echo "FAIL: no $EXE (scripts/windows-build.sh builds it)"; exit 1; }
[ -x "$SIM" ] || { echo "FAIL: no quillon-sim in $OUT/linux"; exit 1; }
RUN_TIMEOUT=${RUN_TIMEOUT:-180}
WINEBOOT_TIMEOUT=${WINEBOOT_TIMEOUT:-180}

# Recording is compiled into Quillon.exe and must not change what it links:
# the recorder reaches the system only through os:: and takes nothing from
# the C library that the tool does not use already (so the import table is
# the same with and without it).
for arch in win32:i686 win64:x86_64; do
  lib=$OUT/build-${arch%%:*}/platform/libqn_trace.a
  [ -f "$lib" ] || { echo "FAIL: no $lib"; exit 1; }
  defined=$("${arch#*:}-w64-mingw32-nm" -g --defined-only "$lib" | awk 'NF == 3 {print $3}' | sort -u)
  outside=$("${arch#*:}-w64-mingw32-nm" -u "$lib" | awk 'NF == 2 {print $2}' | sort -u | comm -23 - <(echo "$defined") |
            grep -Ev '^_{1,2}ZN2os[0-9]|^_?(calloc|malloc|free|memcpy|memset|strlen)$' || true)
  if [ -n "$outside" ]; then
    echo "FAIL: the trace recorder ($lib) reaches beyond os:: and the tool's C library calls:"; echo "$outside"; exit 1
  fi
done
echo "the recorder uses only os:: and the C library calls the tool makes anyway"

. "$ROOT/scripts/wine-env.sh" && qn_wine_env "$OUT" || exit 1
for tool in Xvfb timeout python3; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool not found"; exit 1; }
done

WORK=$TREE/trace-loop
rm -rf "$WORK"
mkdir -p "$WORK"
LOG=$WORK/wine.log
: >"$LOG"

xvfb_pid=""
cleanup() {
  timeout 30 "$WINESERVER" -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

# The dialog is a real window even when nobody clicks: a private display.
dispfile=$(mktemp)
Xvfb -displayfd 4 -screen 0 1024x768x24 -nolisten tcp 4>"$dispfile" >>"$LOG" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$dispfile" ] && break; sleep 0.2; done
display=$(head -n1 "$dispfile"); rm -f "$dispfile"
[ -n "$display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=:$display
timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the Wine prefix"
  timeout "$WINEBOOT_TIMEOUT" "$WINE" wineboot -i >>"$LOG" 2>&1 || { echo "FAIL: wineboot"; exit 1; }
fi

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# The default machine with its first drive failing the second firmware piece.
FAILING_MACHINE=$WORK/failing-machine.json
python3 - "$ROOT/platform/sim/machines/default.json" "$FAILING_MACHINE" <<'PY' || exit 1
import json, sys
machine = json.load(open(sys.argv[1]))
first = [d for d in machine["drives"] if d.get("number") == 0][0]
machine["faults"] = [{"drive": first["name"], "ioctl": "0x002DDC04", "nth": 2, "fail": "win32", "error": 1117}]
json.dump(machine, open(sys.argv[2], "w"), indent=1)
PY

failures=0
# run_case NAME EXPECTED_EXIT [/machine:FILE]
run_case() {
  local name=$1 expected=$2; shift 2
  local rec=$WORK/$name.trace.jsonl win=$WORK/$name.window.jsonl rep=$WORK/$name.replay.jsonl status t0=$SECONDS
  echo "== $name"
  (cd "$(dirname "$EXE")" && exec timeout "$RUN_TIMEOUT" "$WINE" ./QuillonSim.exe /unattended /drive:0 \
     "/record:$(winpath "$rec")" "/transcript:$(winpath "$win")" "$@") >>"$LOG" 2>&1
  status=$?
  if [ "$status" != "$expected" ]; then
    echo "FAIL ($name): QuillonSim.exe exited $status, expected $expected (log $LOG)"; return 1
  fi
  python3 - "$rec" <<'PY' || { echo "FAIL ($name): the trace is not what the window did"; return 1; }
import json, sys
recs = [json.loads(l) for l in open(sys.argv[1])]
head = recs[0]
assert head["kind"] == "header" and head["arch"] == "x86_64" and head["windows"] != "simulated", head
assert "/record:" in head["command_line"], head
kinds = {r["kind"] for r in recs}
assert {"open", "ioctl", "classdevs", "interface_detail", "cm_parent", "dialog", "package"} <= kinds, kinds
assert recs[-1]["kind"] == "dialog" and recs[-1]["event"] == "exit", recs[-1]
print("trace: %d records, %d requests" % (len(recs), sum(r["kind"] == "ioctl" for r in recs)))
PY
  ASAN_OPTIONS=detect_leaks=0 "$SIM" --replay "$rec" --command-line "/unattended /drive:0" --transcript "$rep" \
    >"$WORK/$name.replay.txt" 2>&1
  status=$?
  if [ "$status" != "$expected" ] || grep -q '^replay:' "$WORK/$name.replay.txt"; then
    echo "FAIL ($name): the replay exited $status, expected $expected:"; cat "$WORK/$name.replay.txt"; return 1
  fi
  # quillon-sim writes no list and information snapshots in an unattended run.
  python3 "$COMPARE" --no-snapshots "$win" "$rep" || { echo "FAIL ($name): the replay's transcript differs from the window's"; return 1; }
  echo "== $name: ok ($((SECONDS - t0)) s)"
}

# The product's own recorder, on the real win32 layer: Quillon.exe under Wine
# finds no drive to update (exit code 3) and still leaves a whole trace of
# the devices it tried and what Wine answered.
product_trace() {
  local exe=$TREE/res/Quillon.exe rec=$WORK/product.trace.jsonl status
  echo "== product"
  [ -f "$exe" ] || { echo "FAIL (product): no $exe"; return 1; }
  (cd "$WORK" && exec timeout "$RUN_TIMEOUT" "$WINE" "$exe" /unattended /drive:0 "/record:$(winpath "$rec")") >>"$LOG" 2>&1
  status=$?
  [ "$status" = 3 ] || { echo "FAIL (product): Quillon.exe exited $status, expected 3 (no drive 0 under Wine)"; return 1; }
  python3 - "$rec" <<'PY' || { echo "FAIL (product): the trace of Quillon.exe"; return 1; }
import json, sys
recs = [json.loads(l) for l in open(sys.argv[1])]
head = recs[0]
assert head["kind"] == "header" and head["arch"] == "x86_64" and head["windows"] != "simulated", head
kinds = {r["kind"] for r in recs}
assert {"package", "open", "ioctl"} <= kinds, kinds  # the drives it tried, as Wine answered
assert all(r["n"] == i for i, r in enumerate(recs)), "records out of order"
assert recs[-1] == dict(recs[-1], kind="dialog", event="exit", code=3), recs[-1]
print("product trace: %d records, Windows %s" % (len(recs), head["windows"]))
PY
  echo "== product: ok"
}

product_trace || failures=$((failures + 1))
run_case update 0 || failures=$((failures + 1))
run_case failing 40 "/machine:$(winpath "$FAILING_MACHINE")" || failures=$((failures + 1))

echo "traces and transcripts: $WORK"
[ $failures = 0 ] || { echo "trace-loop: $failures case(s) failed"; exit 1; }
echo "trace-loop: all cases passed"
