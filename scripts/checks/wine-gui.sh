#!/usr/bin/env bash
# The real window: QuillonSim.exe (the x86_64 tool over the simulated
# machine) under 64-bit Wine on a private Xvfb display, driven with xdotool
# by keys and clicks as a person would, and its transcript compared with
# quillon-sim's headless run of the same machine, package and actions
# (scripts/compare_transcripts.py).
#
# Cases:
#   update         default machine: second list entry, RUN, Yes, the result
#                  box answered, Escape. Screenshots (the tool's windows,
#                  cropped) at start-up, with the confirmation open, during the
#                  download and with the result open.
#   refusal        a machine whose first drive runs a revision the package does
#                  not list: RUN is refused with "Do not need to update."
#   refusal-debug  the same with /debug: the box names the reason, log lines
#   refused-close  the close box while the update runs: "Update FW Now!" and the
#                  window stays; the update goes on to its result.
#   sata           the SATA package of tests/quillon-sim/sata_package
#                  (QuillonSim.exe /package:) on the machine's SATA drive.
#
# usage: scripts/checks/wine-gui.sh BUILD_ROOT
# Uses BUILD_ROOT/build-win64 (QuillonSim.exe), BUILD_ROOT/linux (quillon-sim)
# and the Wine prefix BUILD_ROOT/wine-prefix. Screenshots, transcripts and logs go to
# BUILD_ROOT/build-win64/wine-gui/. Four of the screenshots are the README's
# (docs/screenshots/): the check fails when one of those differs in size from
# this run's; QN_UPDATE_SCREENSHOTS=1 replaces them.
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${1:?usage: $0 BUILD_ROOT}
TREE=$(cd "$OUT/build-win64" 2>/dev/null && pwd) || { echo "FAIL: no $OUT/build-win64"; exit 1; }
EXE=$TREE/tools/quillon-sim-win/QuillonSim.exe
SIM=$(cd "$OUT/linux/tools/quillon-sim" 2>/dev/null && pwd)/quillon-sim
COMPARE=$ROOT/scripts/compare_transcripts.py
[ -f "$EXE" ] || { echo "FAIL: no $EXE (scripts/windows-build.sh builds it)"; exit 1; }
[ -x "$SIM" ] || { echo "FAIL: no quillon-sim in $OUT/linux"; exit 1; }

# The product carries none of the simulator: no machine, no rerouted win32 layer, no transcript.
if grep -aq 'QuillonSim: \|os_win32\|host_controllers' "$TREE/res/Quillon.exe"; then
  echo "FAIL: Quillon.exe holds parts of QuillonSim.exe"; exit 1
fi

STEP_TIMEOUT=${STEP_TIMEOUT:-60}      # seconds for any one thing the window should do
WINEBOOT_TIMEOUT=${WINEBOOT_TIMEOUT:-180}
PACE_MS=${PACE_MS:-700}               # a worker's real pause per progress step (QuillonSim /pace:)

. "$ROOT/scripts/wine-env.sh" && qn_wine_env "$OUT" || exit 1
for tool in Xvfb xdotool import timeout python3; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool not found"; exit 1; }
done

WORK=$TREE/wine-gui
rm -rf "$WORK"
mkdir -p "$WORK"
LOG=$WORK/wine.log
: >"$LOG"

xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  timeout 30 "$WINESERVER" -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

failures=0
CASE=""
fail() { echo "FAIL ($CASE): $*"; return 1; }

# ---- display and Wine ------------------------------------------------------
dispfile=$(mktemp)
Xvfb -displayfd 4 -screen 0 1024x768x24 -nolisten tcp 4>"$dispfile" >>"$LOG" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$dispfile" ] && break; sleep 0.2; done
display=$(head -n1 "$dispfile"); rm -f "$dispfile"
[ -n "$display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=:$display
echo "display $DISPLAY, prefix $WINEPREFIX"

# A server of this prefix left from a display-less run would keep our windows off this display.
timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the Wine prefix"
  timeout "$WINEBOOT_TIMEOUT" "$WINE" wineboot -i >>"$LOG" 2>&1 || { echo "FAIL: wineboot"; exit 1; }
fi
# There is no window manager on the display: Wine draws the caption itself,
# so the screenshots show the title.
timeout 60 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >>"$LOG" 2>&1 ||
  { echo "FAIL: cannot set the Wine X11 option"; exit 1; }

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# ---- the expected title: the one quillon-sim shows for the same package ----------
TITLE=""
TITLE_RE=""
title_from_headless() {
  TITLE=$(sed -n 's/^title: //p' "$WORK/$CASE.headless.txt" | head -n1)
  [ -n "$TITLE" ] || { fail "quillon-sim shows no title"; return 1; }
  TITLE_RE="^$(printf '%s' "$TITLE" | sed 's/[][\.*^$+?(){}|/]/\\&/g')\$"
}

# ---- machines -----------------------------------------------------------------
# The first drive of the default machine with a firmware revision the package does not list.
REFUSE_MACHINE=$WORK/refuse-machine.json
python3 - "$ROOT/platform/sim/machines/default.json" "$REFUSE_MACHINE" <<'EOF' || exit 1
import json, sys
machine = json.load(open(sys.argv[1]))
first = [d for d in machine["drives"] if d.get("number") == 0][0]
first["firmware"] = "VX5A0099"
json.dump(machine, open(sys.argv[2], "w"), indent=1)
EOF

# ---- driving the window ------------------------------------------------------
MAIN=""
TRANSCRIPT=""

# Windows of the tool: the main dialog and its message boxes share the title.
windows_titled() { xdotool search --onlyvisible --name "$TITLE_RE" 2>/dev/null; }

count_events() {  # count_events KIND
  grep -c "\"event\": \"$1\"" "$TRANSCRIPT" 2>/dev/null || true
}

wait_for() {  # wait_for WHAT COMMAND...: until COMMAND succeeds, STEP_TIMEOUT at most
  local what=$1; shift
  local deadline=$((SECONDS + STEP_TIMEOUT))
  while [ $SECONDS -lt $deadline ]; do
    "$@" && return 0
    [ -n "$app_pid" ] && ! kill -0 "$app_pid" 2>/dev/null && { fail "the tool ended while waiting for $what"; return 1; }
    sleep 0.2
  done
  fail "no $what within ${STEP_TIMEOUT}s"
}

events_at_least() { [ "$(count_events "$1")" -ge "$2" ]; }

BOX=""
box_open() {
  BOX=""
  local w
  for w in $(windows_titled); do [ "$w" != "$MAIN" ] && BOX=$w; done
  [ -n "$BOX" ]
}
box_closed() { ! xdotool getwindowname "$BOX" >/dev/null 2>&1 || ! windows_titled | grep -qx "$BOX"; }

press() {  # press WINDOW KEY...
  local w=$1; shift
  timeout 5 xdotool windowfocus --sync "$w" >/dev/null 2>&1 || timeout 5 xdotool windowfocus "$w" >/dev/null 2>&1
  timeout 5 xdotool key --clearmodifiers "$@" >/dev/null 2>&1
}

last_position() {
  python3 -c '
import json, sys
pos = "none"
for line in open(sys.argv[1]):
    e = json.loads(line)
    if e["event"] == "progress": pos = e["position"]
print(pos)' "$TRANSCRIPT"
}

# The part of the screen the tool's windows cover (the dialog and any box it
# opened), with a 4-pixel margin: WIDTHxHEIGHT+X+Y for import -crop.
window_area() {
  local w line x0=100000 y0=100000 x1=0 y1=0 X Y WIDTH HEIGHT
  for w in $(windows_titled); do
    X=""; Y=""; WIDTH=""; HEIGHT=""
    while IFS= read -r line; do
      case $line in X=*) X=${line#X=} ;; Y=*) Y=${line#Y=} ;; WIDTH=*) WIDTH=${line#WIDTH=} ;; HEIGHT=*) HEIGHT=${line#HEIGHT=} ;; esac
    done < <(xdotool getwindowgeometry --shell "$w" 2>/dev/null)
    [ -n "$X" ] && [ -n "$HEIGHT" ] || continue
    ((X < x0)) && x0=$X; ((Y < y0)) && y0=$Y
    ((X + WIDTH > x1)) && x1=$((X + WIDTH)); ((Y + HEIGHT > y1)) && y1=$((Y + HEIGHT))
  done
  ((x1 > 0)) || return 1
  x0=$((x0 > 4 ? x0 - 4 : 0)); y0=$((y0 > 4 ? y0 - 4 : 0))
  echo "$((x1 + 4 - x0))x$((y1 + 4 - y0))+$x0+$y0"
}

shot() {  # shot NAME: the tool's windows, with the bar position the transcript last recorded
  sleep 0.5  # let the window paint
  local before after area
  before=$(last_position)
  area=$(window_area) || { fail "no window to photograph for $1"; return 1; }
  timeout 30 import -window root -crop "$area" +repage "$WORK/$1.png" 2>>"$LOG" || { fail "screenshot $1"; return 1; }
  after=$(last_position)
  echo "$1.png: progress bar at $before (transcript before the shot), $after (after)" | tee -a "$WORK/screenshots.txt"
}

start_tool() {  # start_tool ARGS...: runs QuillonSim.exe and finds its window (after headless)
  TRANSCRIPT=$WORK/$CASE.window.jsonl
  MAIN=""
  title_from_headless || return 1
  (cd "$(dirname "$EXE")" && exec "$WINE" ./QuillonSim.exe "/transcript:$(winpath "$TRANSCRIPT")" "$@") >>"$LOG" 2>&1 &
  app_pid=$!
  find_main() { MAIN=$(windows_titled | head -n1); [ -n "$MAIN" ]; }
  wait_for "window titled \"$TITLE\"" find_main || return 1
  wait_for "start-up in the transcript" events_at_least info 1
}

# The drive list is the dialog's first control: open it, one entry down, Enter.
choose_second_entry() {
  local lists
  lists=$(count_events list)
  press "$MAIN" alt+Down && sleep 0.3 && press "$MAIN" Down && press "$MAIN" Return
  wait_for "the choice in the transcript" events_at_least list $((lists + 1))
}

# A click on RUN. The dialog is 340 dialog units wide; RUN sits at x 272..323,
# y 10..24, and the window ends one status line and 5 pixels below the status
# line (y 100..108). Wine draws a 3-pixel frame and the caption above the client area.
click_run() {
  local geometry w h s x y
  geometry=$(xdotool getwindowgeometry --shell "$MAIN") || { fail "no geometry"; return 1; }
  w=$(echo "$geometry" | sed -n 's/^WIDTH=//p'); h=$(echo "$geometry" | sed -n 's/^HEIGHT=//p')
  read -r x y < <(python3 -c "
w, h = $w, $h
s = (w - 6) / 340.0
client_top = h - 3 - (116 * s + 5)
print(int(3 + 297.5 * s), int(client_top + 17 * s))")
  timeout 5 xdotool mousemove --window "$MAIN" "$x" "$y" click 1 >/dev/null 2>&1
}

# A click on the close box at the right end of the caption Wine draws (the
# caption's height is what is left above the client area).
click_close_box() {
  local geometry w h s x y
  geometry=$(xdotool getwindowgeometry --shell "$MAIN") || { fail "no geometry"; return 1; }
  w=$(echo "$geometry" | sed -n 's/^WIDTH=//p'); h=$(echo "$geometry" | sed -n 's/^HEIGHT=//p')
  read -r x y < <(python3 -c "
w, h = $w, $h
s = (w - 6) / 340.0
client_top = h - 3 - (116 * s + 5)
print(w - 3 - int(client_top - 3) // 2 - 2, 3 + int(client_top - 3) // 2)")
  timeout 5 xdotool mousemove --window "$MAIN" "$x" "$y" click 1 >/dev/null 2>&1
}

answer_box() {  # answer_box KEY: the open message box takes the key and closes
  press "$BOX" "$1"
  wait_for "the message box to close" box_closed
}

close_tool() {  # Escape on the dialog; the tool ends with status 0
  press "$MAIN" Escape
  local deadline=$((SECONDS + STEP_TIMEOUT)) status
  while [ $SECONDS -lt $deadline ] && kill -0 "$app_pid" 2>/dev/null; do sleep 0.2; done
  kill -0 "$app_pid" 2>/dev/null && { fail "the tool still runs after Escape"; return 1; }
  wait "$app_pid"; status=$?
  app_pid=""
  [ "$status" = 0 ] || { fail "exit status $status"; return 1; }
}

headless() {  # headless SCRIPT_TEXT ARGS...: quillon-sim's transcript of the same actions
  printf '%s' "$1" >"$WORK/$CASE.script"; shift
  "$SIM" --script "$WORK/$CASE.script" --transcript "$WORK/$CASE.headless.jsonl" "$@" >"$WORK/$CASE.headless.txt" 2>&1 ||
    { fail "quillon-sim failed (see $WORK/$CASE.headless.txt)"; return 1; }
}

compare() {  # compare [--refused-close] [HEADLESS]
  local flag="" reference=$WORK/$CASE.headless.jsonl
  [ "${1:-}" = --refused-close ] && { flag=$1; shift; }
  [ -n "${1:-}" ] && reference=$1
  python3 "$COMPARE" $flag "$reference" "$TRANSCRIPT" || fail "the window's transcript differs from quillon-sim's"
}

expect_box() {  # expect_box MODE TEXT: a message box with exactly (exact) or starting with (prefix) TEXT
  python3 -c '
import json, sys
mode, text = sys.argv[2], sys.argv[3]
boxes = [json.loads(l) for l in open(sys.argv[1]) if "\"msgbox\"" in l]
texts = [b["text"] for b in boxes]
ok = any(t == text if mode == "exact" else t.startswith(text) for t in texts)
if not ok: print("no message box %s %r; boxes: %r" % (mode, text, texts))
sys.exit(0 if ok else 1)' "$TRANSCRIPT" "$1" "$2" || fail "message box"
}

in_download() {  # a progress position inside the download stage (above 0, below 30) since the confirmation
  python3 -c '
import json, sys
seen_yes = False
for line in open(sys.argv[1]):
    e = json.loads(line)
    if e["event"] == "msgbox" and e["answer"] == 6: seen_yes = True
    if seen_yes and e["event"] == "progress" and 0 < e["position"] < 30: sys.exit(0)
sys.exit(1)' "$TRANSCRIPT"
}

# ---- cases ---------------------------------------------------------------------
case_update() {
  headless $'select 1\nanswer yes\nanswer ok\nrun\nclose\n' || return 1
  start_tool "/pace:$PACE_MS" || return 1
  shot update-1-start || return 1
  choose_second_entry || return 1
  click_run || return 1
  wait_for "the confirmation" box_open || return 1
  shot update-2-confirmation || return 1
  answer_box Return || return 1
  wait_for "the download" in_download || return 1
  shot update-3-download || return 1
  wait_for "the result box" box_open || return 1
  shot update-4-result || return 1
  answer_box Return || return 1
  wait_for "the result in the transcript" events_at_least result 1 || return 1
  close_tool || return 1
  grep -q '"event": "result","code": 1}' "$TRANSCRIPT" || { fail "the update did not succeed"; return 1; }
  expect_box exact $'The firmware was updated.\r\nRestart the machine to use the new firmware.' || return 1
  compare
}

case_refusal() {  # case_refusal [/debug]
  local debug_sim=() debug_win=()
  [ "${1:-}" = /debug ] && { debug_sim=(--debug); debug_win=(/debug); }
  headless $'answer ok\nrun\nclose\n' --machine "$REFUSE_MACHINE" "${debug_sim[@]}" || return 1
  start_tool "/machine:$(winpath "$REFUSE_MACHINE")" "${debug_win[@]}" || return 1
  click_run || return 1
  wait_for "the refusal" box_open || return 1
  shot "$CASE-box" || return 1
  answer_box Return || return 1
  wait_for "the dialog after the refusal" events_at_least list 2 || return 1
  close_tool || return 1
  if [ ${#debug_win[@]} = 0 ]; then
    expect_box exact "Do not need to update." || return 1
    [ "$(count_events log)" = 0 ] || { fail "log lines in normal mode"; return 1; }
  else
    expect_box exact "Limit FW Versoin : |VX5A0100|VX5A0101| (Disk Version : |VX5A0099|)" || return 1
    [ "$(count_events log)" -gt 0 ] || { fail "no log lines in debug mode"; return 1; }
  fi
  events_at_least result 1 && { fail "an update ran after the refusal"; return 1; }
  compare
}

case_refused_close() {
  # quillon-sim cannot close in the middle of its run: the reference is the
  # update without the close, which the comparison takes out of the window's transcript.
  headless $'select 1\nanswer yes\nanswer ok\nrun\nclose\n' || return 1
  start_tool "/pace:$PACE_MS" || return 1
  choose_second_entry || return 1
  click_run || return 1
  wait_for "the confirmation" box_open || return 1
  answer_box Return || return 1
  wait_for "the update to start" in_download || return 1
  # RUN had the focus and is disabled now, so Escape finds no control to
  # come from; a person closes with the close box.
  click_close_box || return 1
  wait_for "the refusal to close" box_open || return 1
  events_at_least result 1 && { fail "the update ended before the close"; return 1; }
  shot refused-close-box || return 1
  answer_box Return || return 1
  xdotool getwindowname "$MAIN" >/dev/null 2>&1 && kill -0 "$app_pid" 2>/dev/null ||
    { fail "the window went away after the refused close"; return 1; }
  wait_for "the result box" box_open || return 1
  answer_box Return || return 1
  wait_for "the result in the transcript" events_at_least result 1 || return 1
  close_tool || return 1
  compare --refused-close
}

# The SATA package of tests/quillon-sim/sata_package, made as check_sata_package.py makes it.
make_sata_package() {
  local src=$ROOT/tests/quillon-sim/sata_package tool=$OUT/linux/tools/quillon-tool/quillon-tool
  SATA_PACKAGE=$WORK/sata_package.zip
  [ -x "$tool" ] || { fail "no quillon-tool in $OUT/linux"; return 1; }
  ASAN_OPTIONS=detect_leaks=0 "$tool" image make "$WORK/VS300_T3.bin" --firmware "$src/VS300_T3.txt" \
    --config-version VS3A0100 --version 5E6F7A9C --build 0x00002233 >>"$LOG" 2>&1 &&
  python3 "$ROOT/res/package/make_package_zip.py" "$SATA_PACKAGE" "$src/QuillonInfo.ini" "$WORK/VS300_T3.bin" \
    >>"$LOG" 2>&1 || { fail "cannot make the SATA package"; return 1; }
}

case_sata() {
  make_sata_package || return 1
  headless $'answer yes\nanswer ok\nrun\nclose\n' --package "$SATA_PACKAGE" || return 1
  start_tool "/package:$(winpath "$SATA_PACKAGE")" "/pace:$PACE_MS" || return 1
  shot sata-1-start || return 1
  click_run || return 1
  wait_for "the confirmation" box_open || return 1
  answer_box Return || return 1
  wait_for "the result box" box_open || return 1
  shot sata-2-result || return 1
  answer_box Return || return 1
  wait_for "the result in the transcript" events_at_least result 1 || return 1
  close_tool || return 1
  grep -q '"event": "result","code": 1}' "$TRANSCRIPT" || { fail "the SATA update did not succeed"; return 1; }
  compare
}

run_case() {  # run_case NAME FUNCTION ARGS...; WINE_GUI_CASES="a b" runs only those
  CASE=$1; shift
  [ -z "${WINE_GUI_CASES:-}" ] || [[ " $WINE_GUI_CASES " == *" $CASE "* ]] || return 0
  echo "== $CASE"
  local t0=$SECONDS
  if "$@"; then
    echo "== $CASE: ok ($((SECONDS - t0)) s)"
  else
    failures=$((failures + 1))
    echo "== $CASE: FAILED ($((SECONDS - t0)) s); transcript $TRANSCRIPT"
    if [ -n "$app_pid" ]; then
      import -window root "$WORK/$CASE-failure.png" 2>/dev/null
      kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; app_pid=""
    fi
    timeout 30 "$WINESERVER" -k >/dev/null 2>&1
  fi
}

run_case update case_update
run_case refusal case_refusal
run_case refusal-debug case_refusal /debug
run_case refused-close case_refused_close
run_case sata case_sata

# The README's pictures (docs/screenshots/) against the ones this run made:
# a picture whose size differs no longer shows the window as it is.
# QN_UPDATE_SCREENSHOTS=1 copies the new ones over.
check_screenshots() {
  local pair made kept new old stale=0
  for pair in update-1-start:start-up refusal-box:refusal update-3-download:download update-4-result:result; do
    made=$WORK/${pair%%:*}.png kept=$ROOT/docs/screenshots/${pair#*:}.png
    [ -f "$made" ] || continue  # the case did not run (WINE_GUI_CASES) or failed before it
    if [ "${QN_UPDATE_SCREENSHOTS:-}" = 1 ]; then
      mkdir -p "$ROOT/docs/screenshots" && cp "$made" "$kept" && echo "updated $kept"
      continue
    fi
    new=$(identify -format '%wx%h' "$made" 2>/dev/null)
    old=$(identify -format '%wx%h' "$kept" 2>/dev/null || echo missing)
    if [ "$new" != "$old" ]; then
      echo "FAIL: docs/screenshots/${pair#*:}.png is stale ($old; this run made $new: $made);" \
           "QN_UPDATE_SCREENSHOTS=1 $0 $OUT copies the new pictures"
      stale=1
    fi
  done
  return $stale
}
check_screenshots || failures=$((failures + 1))

echo "screenshots and transcripts: $WORK"
[ $failures = 0 ] || { echo "wine-gui: $failures case(s) failed"; exit 1; }
echo "wine-gui: all cases passed"
