#!/usr/bin/env bash
# Unattended runs with a report: QuillonSim.exe (the x86_64 tool over the
# simulated machine) under 64-bit Wine with "/unattended /drive:0 /report:",
# against quillon-sim with the same machine and command line. For each row
# the Windows process's exit code must equal quillon-sim's, and so must the
# report (JSON and its text twin), times aside (scripts/compare_reports.py).
#
# Rows: success (default machine), refusal (the first drive's FTL build is
# not the image's), failure (every firmware download request refused: 40,
# failed after a write), dry run (20, nothing to do).
#
# usage: scripts/checks/wine-report.sh BUILD_ROOT
# Uses BUILD_ROOT/build-win64 (QuillonSim.exe), BUILD_ROOT/linux (quillon-sim)
# and the Wine prefix BUILD_ROOT/wine-prefix; reports and logs go to
# BUILD_ROOT/build-win64/wine-report/.
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${1:?usage: $0 BUILD_ROOT}
TREE=$(cd "$OUT/build-win64" 2>/dev/null && pwd) || { echo "FAIL: no $OUT/build-win64"; exit 1; }
EXE=$TREE/tools/quillon-sim-win/QuillonSim.exe
SIM=$(cd "$OUT/linux/tools/quillon-sim" 2>/dev/null && pwd)/quillon-sim
COMPARE=$ROOT/scripts/compare_reports.py
[ -f "$EXE" ] || { echo "FAIL: no $EXE (scripts/windows-build.sh builds it)"; exit 1; }
[ -x "$SIM" ] || { echo "FAIL: no quillon-sim in $OUT/linux"; exit 1; }
RUN_TIMEOUT=${RUN_TIMEOUT:-180}
WINEBOOT_TIMEOUT=${WINEBOOT_TIMEOUT:-180}

. "$ROOT/scripts/wine-env.sh" && qn_wine_env "$OUT" || exit 1
for tool in Xvfb timeout python3; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool not found"; exit 1; }
done

WORK=$TREE/wine-report
rm -rf "$WORK"
mkdir -p "$WORK/linux" "$WORK/win"
LOG=$WORK/wine.log
: >"$LOG"

# The dialog runs as always (it answers itself), so it needs a display.
xvfb_pid=""
cleanup() {
  timeout 30 "$WINESERVER" -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
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

# ---- machines -----------------------------------------------------------------
python3 - "$ROOT/platform/sim/machines/default.json" "$WORK" <<'EOF' || exit 1
import json, sys
base = json.load(open(sys.argv[1]))
def write(name, change):
    machine = json.loads(json.dumps(base))
    change(machine)
    json.dump(machine, open(f"{sys.argv[2]}/{name}.machine.json", "w"), indent=1)
def first(machine):
    return [d for d in machine["drives"] if d.get("number") == 0][0]
write("success", lambda m: None)
write("refusal", lambda m: first(m)["vendor"].update(ftl_build="0x00099999"))
write("failure", lambda m: m.update(faults=[
    {"drive": "vx500-512", "ioctl": "0x002DDC04", "nth": 1, "every": True, "fail": "win32", "error": 31}]))
write("dryrun", lambda m: None)
EOF

# ---- the rows -----------------------------------------------------------------
failures=0
row() {  # row NAME WANTED_EXIT_CODE WORDS...
  local name=$1 want=$2; shift 2
  local machine=$WORK/$name.machine.json words="$*"
  # The same file name in two folders: the command lines then differ only in the folder.
  local linux_report=$WORK/linux/$name.json win_report=$WORK/win/$name.json
  "$SIM" --machine "$machine" --command-line "$words /report:$linux_report" >"$WORK/$name.linux.txt" 2>&1
  local linux_code=$?
  (cd "$(dirname "$EXE")" && timeout "$RUN_TIMEOUT" "$WINE" ./QuillonSim.exe "/machine:$(winpath "$machine")" \
     $words "/report:$(winpath "$win_report")") >>"$LOG" 2>&1
  local win_code=$?
  local problems=()
  [ "$linux_code" = "$want" ] || problems+=("quillon-sim exited $linux_code, not $want")
  [ "$win_code" = "$linux_code" ] || problems+=("QuillonSim.exe exited $win_code, quillon-sim $linux_code")
  local diff
  diff=$(python3 "$COMPARE" "$linux_report" "$win_report" 2>&1) || problems+=("reports differ: $diff")
  if [ ${#problems[@]} -eq 0 ]; then
    echo "wine-report $name: exit code $win_code on both, reports equal"
  else
    failures=$((failures + 1))
    local p
    for p in "${problems[@]}"; do echo "FAIL ($name): $p"; done
  fi
}

row success 0 /unattended /drive:0
row refusal 20 /unattended /drive:0
row failure 40 /unattended /drive:0
row dryrun 20 /unattended /drive:0 /dryrun

[ $failures -eq 0 ] || { echo "wine-report: $failures rows failed (logs in $WORK)"; exit 1; }
echo "wine-report: 4 rows, exit codes and reports equal"
