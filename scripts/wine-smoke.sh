#!/usr/bin/env bash
# Starts the x86_64 Quillon.exe under 64-bit Wine on a private Xvfb display,
# waits for its dialog, saves a screenshot, presses Escape and checks the
# start-up and exit work on disk: while the window is up a work directory
# (holding the unpacked QuillonInfo.ini) exists in %TEMP%\Quillon; after
# Escape the process ends, the work directory is gone and %TEMP%\Quillon stays.
#
# usage: scripts/wine-smoke.sh BUILD_ROOT      (uses BUILD_ROOT/build-win64)
# The Wine prefix is BUILD_ROOT/wine-prefix, shared by every Wine stage and
# reused; the screenshot is BUILD_ROOT/build-win64/wine-smoke.png.
# Bounded in time: the first wineboot gets WINEBOOT_TIMEOUT seconds (180),
# the window WINDOW_TIMEOUT (90), the exit EXIT_TIMEOUT (30).
set -uo pipefail

OUT=${1:?usage: $0 BUILD_ROOT}
TREE=$(cd "$OUT/build-win64" 2>/dev/null && pwd) || { echo "FAIL: no $OUT/build-win64"; exit 1; }
EXE=$TREE/res/Quillon.exe
[ -f "$EXE" ] || { echo "FAIL: no $EXE (run scripts/windows-build.sh first)"; exit 1; }

WINEBOOT_TIMEOUT=${WINEBOOT_TIMEOUT:-180}
WINDOW_TIMEOUT=${WINDOW_TIMEOUT:-90}
EXIT_TIMEOUT=${EXIT_TIMEOUT:-30}

. "$(dirname "$0")/wine-env.sh" && qn_wine_env "$OUT" || exit 1
for tool in Xvfb xdotool import timeout; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool not found"; exit 1; }
done

SHOT=$TREE/wine-smoke.png
LOG=$TREE/wine-smoke.log
: >"$LOG"

xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$WINESERVER" ] && "$WINESERVER" -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; echo "(wine output: $LOG)"; exit 1; }

# A private display: Xvfb picks a free number and writes it to the pipe.
dispfile=$(mktemp)
Xvfb -displayfd 4 -screen 0 1024x768x24 -nolisten tcp 4>"$dispfile" >>"$LOG" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -s "$dispfile" ] && break
  sleep 0.2
done
display=$(head -n1 "$dispfile"); rm -f "$dispfile"
[ -n "$display" ] || fail "Xvfb did not start"
export DISPLAY=:$display
echo "display $DISPLAY, prefix $WINEPREFIX"

# A Wine server still running for this prefix (an earlier run without a
# display) would host our window on its own, display-less desktop: stop it.
timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the Wine prefix (first run takes a while)"
  timeout "$WINEBOOT_TIMEOUT" "$WINE" wineboot -i >>"$LOG" 2>&1 || fail "wineboot did not finish in ${WINEBOOT_TIMEOUT}s"
  timeout 60 "$WINESERVER" -w >/dev/null 2>&1 || true
fi

# %TEMP% of the prefix, as a Unix path.
temp_win=$(timeout 60 "$WINE" cmd /c echo %TEMP% 2>>"$LOG" | tr -d '\r')
temp_unix=$(timeout 60 "$WINE" winepath -u "$temp_win" 2>>"$LOG" | tr -d '\r')
[ -n "$temp_unix" ] && [ -d "$temp_unix" ] || fail "cannot find the Wine temporary folder ($temp_win)"
base=$temp_unix/Quillon
echo "temporary folder $temp_win -> $temp_unix"
# Work directories of earlier runs would hide what this run did.
if [ -d "$base" ]; then
  find "$base" -mindepth 1 -maxdepth 1 -type d -exec rm -rf {} +
fi

(cd "$TREE/res" && exec "$WINE" ./Quillon.exe) >>"$LOG" 2>&1 &
app_pid=$!

window=""
deadline=$((SECONDS + WINDOW_TIMEOUT))
while [ $SECONDS -lt $deadline ]; do
  kill -0 "$app_pid" 2>/dev/null || fail "Quillon.exe ended before showing its window"
  for w in $(xdotool search --onlyvisible --classname '^quillon\.exe$' 2>/dev/null); do
    name=$(xdotool getwindowname "$w" 2>/dev/null)
    if [ -n "$name" ] && [ "$name" != "Default IME" ]; then window=$w; break; fi
  done
  [ -n "$window" ] && break
  sleep 0.5
done
[ -n "$window" ] || fail "no Quillon window within ${WINDOW_TIMEOUT}s"
title=$(xdotool getwindowname "$window")
echo "window $window: \"$title\""

# Initialisation runs before the dialog shows; the work directory must be there.
workdirs=$(find "$base" -mindepth 1 -maxdepth 1 -type d 2>/dev/null)
[ "$(printf '%s\n' "$workdirs" | grep -c .)" = 1 ] || fail "expected one work directory in $base, found: ${workdirs:-none}"
[ -f "$workdirs/QuillonInfo.ini" ] || fail "the package was not unpacked into $workdirs"
echo "work directory $workdirs holds: $(ls "$workdirs" | tr '\n' ' ')"
[ "$title" != "Package Error" ] || fail "the window says Package Error"
# The title is the package's TITLE key decoded (UTF-16LE bytes in hex).
expected=$(python3 - "$workdirs/QuillonInfo.ini" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="latin-1").read()
m = re.search(r"^\s*TITLE\s*=\s*(.*?)\s*$", text, re.M | re.I)
print(bytes.fromhex(m.group(1)).decode("utf-16-le").split("\0")[0] if m else "Package Error")
PY
)
[ "$title" = "$expected" ] || fail "window title \"$title\", expected the package's title \"$expected\""

sleep 1  # let the dialog paint before the screenshot
timeout 30 import -window root "$SHOT" 2>>"$LOG" || fail "screenshot failed"
echo "screenshot $SHOT"

# Escape reaches the dialog as IDCANCEL: the exit path.
ended=0
deadline=$((SECONDS + EXIT_TIMEOUT))
while [ $SECONDS -lt $deadline ]; do
  timeout 5 xdotool windowfocus --sync "$window" >/dev/null 2>&1
  timeout 5 xdotool key --clearmodifiers Escape >/dev/null 2>&1
  for _ in $(seq 10); do
    kill -0 "$app_pid" 2>/dev/null || { ended=1; break; }
    sleep 0.5
  done
  [ $ended = 1 ] && break
done
[ $ended = 1 ] || fail "Quillon.exe still running ${EXIT_TIMEOUT}s after Escape"
wait "$app_pid"; status=$?
app_pid=""
echo "Quillon.exe ended with status $status"
[ $status = 0 ] || fail "exit status $status"

[ ! -e "$workdirs" ] || fail "work directory $workdirs still exists after exit: $(ls -A "$workdirs" | tr '\n' ' ')"
[ -d "$base" ] || fail "$base was removed; it must stay"
echo "ok: work directory removed, $base kept"
