#!/usr/bin/env bash
# End-to-end test of the desktop program's hard cases: how it ends (signals,
# a lost X connection, a display without OpenGL, Escape behind a flood of
# keys), the log on disk while paused, the cursor during a drag, and the
# "+" key on a German layout. Each case starts `talvane` afresh in a fresh
# working directory on the current X display.
#   desktop_endings_e2e.sh TALVANE X_PROBE
# Every wait is for a condition, bounded in time. Exits 77 (skipped) when
# there is no display or no xdotool.
set -euo pipefail

talvane=$(realpath "$1")
probe=$(realpath "$2")

if [ -z "${DISPLAY:-}" ] || ! command -v xdotool >/dev/null; then
  echo "no X display or no xdotool: skipped"
  exit 77
fi

work=$(mktemp -d)
layout=$(setxkbmap -query 2>/dev/null | awk '/^layout:/ { print $2 }')
pid=""
wid=""
own_server=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -9 "$pid" 2>/dev/null || true; fi
  if [ -n "$own_server" ] && kill -0 "$own_server" 2>/dev/null; then kill "$own_server" 2>/dev/null || true; fi
  exec 3>&- 2>/dev/null || true
  [ -z "$layout" ] || setxkbmap "$layout" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# One client stays connected for the whole test: an X server whose last
# client leaves resets, and refuses connections meanwhile.
mkfifo hold
"$probe" hold < hold > hold.out &
exec 3> hold

step() { echo "--- $*"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

# wait_for SECONDS DESCRIPTION COMMAND...: polls COMMAND every 50 ms.
wait_for() {
  local seconds=$1 what=$2; shift 2
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || fail "timed out after ${seconds}s waiting for: $what"
    sleep 0.05
  done
}

xdo() { xdotool "$@" 2>/dev/null; }
region() { "$probe" region "$wid" "$@"; }
title_extent() { "$probe" extent "$wid" 20 30 560 28; }
log_bytes() { stat -c %s vemo.csv 2>/dev/null || echo 0; }
grid_is_drawn() { local c; c=($(region 20 80 576 576)); [ "${c[3]}" -gt 50000 ]; }
log_longer_than() { [ "$(log_bytes)" -gt "$1" ]; }
process_ended() { ! kill -0 "$pid" 2>/dev/null; }
find_window() { wid=$(xdo search --name '^Talvane \(RUNO64\)$' | head -1); [ -n "$wid" ]; }
HAND="32 32 12 6"
PENCIL="32 32 6 24"
BUCKET="32 32 23 21"
cursor_is() { [ "$("$probe" cursor)" = "$1" ]; }
cursor_is_not_ours() { local c; c=$("$probe" cursor); [ "$c" != "$HAND" ] && [ "$c" != "$PENCIL" ] && [ "$c" != "$BUCKET" ]; }

# log_is_complete: the file on disk ends with a line end and every line
# holds 64 counts.
log_is_complete() {
  [ -s vemo.csv ] || return 1
  [ "$(tail -c 1 vemo.csv | od -An -c | tr -d ' ')" = '\n' ] || return 1
  [ "$(awk -F, 'NF != 64 { n++ } END { print n + 0 }' vemo.csv)" -eq 0 ]
}
check_log() { log_is_complete || fail "the log is not whole: $(log_bytes) bytes, last bytes $(tail -c 20 vemo.csv | od -An -c)"; }

# start [ENV...]: a fresh program in a fresh directory, its first frame drawn.
start() {
  local dir
  dir=$(mktemp -d "$work/run.XXXX")
  cd "$dir"
  # ENV... may end with a command that runs the program, such as prlimit.
  env "$@" "$talvane" > stdout.txt 2> stderr.txt &
  pid=$!
  wid=""
  wait_for 20 "the main window" find_window
  wait_for 20 "the first frame" grid_is_drawn
}

# press_until_running: Space until the title drops " (Paused)" for good (a
# press inside the first restart is undone by it).
press_until_running() {
  local paused attempt deadline
  paused=$(title_extent)
  for attempt in 1 2 3 4 5; do
    xdo key space
    deadline=$((SECONDS + 3))
    while [ $SECONDS -lt $deadline ]; do
      if [ "$(title_extent)" -lt "$paused" ]; then
        sleep 0.3
        [ "$(title_extent)" -lt "$paused" ] && return 0
        break
      fi
      sleep 0.05
    done
  done
  fail "Space did not start the run"
}

run_until_logged() {
  xdo mousemove --window "$wid" 960 680
  press_until_running
  wait_for 20 "log lines while running" log_longer_than 20000
}

# ended_with STATUS: the program ends (bounded) with that exit status.
ended_with() {
  wait_for 20 "the program to end" process_ended
  local status=0
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1; stderr: $(cat stderr.txt)"
}

step "paused, the log on disk holds complete lines"
start
run_until_logged
running_width=$(title_extent)
xdo key space
title_paused() { [ "$(title_extent)" -gt "$running_width" ]; }
wait_for 10 "the pause" title_paused
wait_for 5 "a complete log on disk while paused" log_is_complete
size=$(log_bytes)
sleep 0.5
[ "$(log_bytes)" -eq "$size" ] || fail "the log grew while paused"

step "the cursor follows a drag: pressed on a panel row, dragged to the background"
xdo mousemove --window "$wid" 700 140
wait_for 5 "the hand over a panel row" cursor_is "$HAND"
xdo mousedown 1
xdo mousemove --window "$wid" 960 680
wait_for 5 "the arrow over the background while the button is down" cursor_is_not_ours
xdo mousemove --window "$wid" 100 100
wait_for 5 "the hand over the grid while the button is down" cursor_is "$HAND"
xdo mouseup 1
xdo key Escape
ended_with 0

for signal in TERM INT HUP; do
  step "SIG$signal while running: the log ends with complete lines, the program ends by the signal"
  start --default-signal=INT  # a background job of a script starts with SIGINT ignored
  run_until_logged
  kill -s "$signal" "$pid"
  ended_with $((128 + $(kill -l "$signal")))
  check_log
done

step "SIGTERM with the popup menu open: the menu is dismissed and the program ends by the signal"
start
xdo mousemove --window "$wid" 300 300 click 3
menu_is_open() { [ "$("$probe" pixel "$wid" 310 305)" = "192 192 192" ]; }
wait_for 10 "the popup menu" menu_is_open
kill -s TERM "$pid"
ended_with 143

step "SIGHUP ignored at the start (nohup) stays ignored"
start --ignore-signal=HUP
kill -s HUP "$pid"
sleep 1
kill -0 "$pid" 2>/dev/null || fail "an ignored SIGHUP ended the program"
xdo key --window "$wid" Escape
ended_with 0

step "the window killed (the X connection lost) while running: complete log, status 1"
start
run_until_logged
xdo windowkill "$wid"
ended_with 1
check_log
grep -q "lost the connection to the X server" stderr.txt || fail "no word on standard error: $(cat stderr.txt)"

step "a full disk (a file size limit): one message box, the log keeps its complete lines and stops"
start --ignore-signal=XFSZ prlimit --fsize=30000 --
xdo mousemove --window "$wid" 960 680
press_until_running
find_log_box() { [ "$(xdo search --name '^vemo\.csv$' | wc -l)" -ge 1 ]; }
wait_for 20 "the message box about the log" find_log_box
box=$(xdo search --name '^vemo\.csv$' | head -1)
xdo mousemove --window "$box" 5 5
xdo key Return
no_log_box() { [ "$(xdo search --name '^vemo\.csv$' | wc -l)" -eq 0 ]; }
wait_for 10 "the message box to close" no_log_box
sleep 1  # the run goes on without a log, and without another box
no_log_box || fail "a second message box about the log"
xdo key --window "$wid" Escape
ended_with 0
check_log
[ "$(log_bytes)" -le 30000 ] || fail "the log outgrew the limit"

# ends_by_signal_within SIGNAL MS: the signal ends the program by that signal
# within MS milliseconds of being sent.
ends_by_signal_within() {
  local signal=$1 bound=$2 sent took
  sent=$(date +%s%N)
  kill -s "$signal" "$pid"
  wait_for 20 "the program to end after SIG$signal" process_ended
  took=$((($(date +%s%N) - sent) / 1000000))
  ended_with $((128 + $(kill -l "$signal")))
  echo "SIG$signal ended the program in ${took} ms"
  [ "$took" -lt "$bound" ] || fail "SIG$signal took ${took} ms to end the program"
}
window_shown() { [ -n "$(xdo search --onlyvisible --name "$1" | head -1)" ]; }

step "SIGTERM with the Open world file chooser open: ends by the signal at once, the log whole"
start
run_until_logged
xdo key ctrl+o
wait_for 20 "the file chooser" window_shown '^Open world$'
ends_by_signal_within TERM 2000
check_log

step "SIGINT with the integer message over the Payoffs dialog: ends by the signal at once"
start --default-signal=INT
run_until_logged
xdo mousemove --window "$wid" 850 300 click 1
wait_for 10 "the Payoffs dialog" window_shown '^Payoffs$'
dialog=$(xdo search --onlyvisible --name '^Payoffs$' | head -1)
xdo mousemove --window "$dialog" 5 5
xdo type --delay 20 "2.5"
xdo key Return
two_titled() { [ "$(xdo search --onlyvisible --name '^Talvane \(RUNO64\)$' | wc -l)" -eq 2 ]; }
wait_for 10 "the integer message" two_titled
ends_by_signal_within INT 2000
check_log

step "SIGHUP with the message box about a full disk open: ends by the signal at once"
start --ignore-signal=XFSZ prlimit --fsize=30000 --
xdo mousemove --window "$wid" 960 680
press_until_running
wait_for 20 "the message box about the log" find_log_box
ends_by_signal_within HUP 2000
check_log

step "--log in a missing folder, or naming a folder: one line, status 2, no window"
for bad in /nonexistent/x.csv .; do
  status=0
  timeout 20 "$talvane" --log "$bad" > out.txt 2> err.txt || status=$?
  [ "$status" -eq 2 ] || fail "--log $bad: status $status; stderr: $(cat err.txt)"
  [ "$(wc -l < err.txt)" -eq 1 ] || fail "--log $bad: not one line on standard error: $(cat err.txt)"
  grep -q "^talvane: $bad: " err.txt || fail "--log $bad: the line does not name the file: $(cat err.txt)"
done

step "the log's folder gone after the start: one message box, and no more"
dir=$(mktemp -d "$work/run.XXXX")
cd "$dir"
mkdir logs
"$talvane" --log logs/vemo.csv > stdout.txt 2> stderr.txt &
pid=$!
wid=""
wait_for 20 "the main window" find_window
wait_for 20 "the first frame" grid_is_drawn
rmdir logs
xdo mousemove --window "$wid" 960 680
xdo key n
find_open_box() { window_shown '^logs/vemo\.csv$'; }
wait_for 20 "the message box about the log" find_open_box
box=$(xdo search --onlyvisible --name '^logs/vemo\.csv$' | head -1)
xdo mousemove --window "$box" 5 5
xdo key Return
no_open_box() { ! find_open_box; }
wait_for 10 "the message box to close" no_open_box
xdo mousemove --window "$wid" 960 680
xdo key n
xdo key n
sleep 1  # two more generations without a log, and without another box
no_open_box || fail "a second message box about the log"
xdo key --window "$wid" Escape
ended_with 0

step "Escape acts at once behind a flood of restart and layout keys in slow motion"
start
xdo mousemove --window "$wid" 960 680
xdo key s
keys=$(for k in $(seq 1500); do printf 'r c '; done)
# shellcheck disable=SC2086
xdo key --delay 0 $keys
sent=$(date +%s%N)
xdo key Escape
wait_for 30 "the program to end" process_ended
took=$((($(date +%s%N) - sent) / 1000000))
ended_with 0
[ "$took" -lt 3000 ] || fail "Escape took ${took} ms behind the flood"
echo "Escape behind 3000 keys: ${took} ms"

step "the main keyboard's + key on a German layout toggles the extra point"
if setxkbmap de 2>/dev/null; then
  start
  line9() { "$probe" extent "$wid" 620 395 350 14; }
  before=$(line9)
  xdo mousemove --window "$wid" 960 680
  xdo key plus
  changed() { [ "$(line9)" != "$before" ]; }
  wait_for 5 "the extra point line to change" changed
  setxkbmap "${layout:-us}"
  xdo key Escape
  ended_with 0
else
  echo "setxkbmap cannot load a German layout here: not checked"
fi

step "no OpenGL: the message box, then status 1 and a line on standard error"
# A server of our own: with -displayfd the server itself picks a free
# display number and writes it once it accepts connections, so no other
# server (nor a stale lock or socket) can stand in for it.
Xvfb -displayfd 1 -screen 0 1280x1024x24 -extension GLX -nolisten tcp -noreset > display.txt 2> xvfb.log &
own_server=$!
number_written() { [ -s display.txt ] && grep -q '^[0-9][0-9]*$' display.txt; }
wait_for 10 "a server without GLX to name its display" number_written
number=$(cat display.txt)
dir=$(mktemp -d "$work/run.XXXX")
cd "$dir"
DISPLAY=":$number" "$talvane" > stdout.txt 2> stderr.txt &
pid=$!
box=""
root=$(($(DISPLAY=":$number" xwininfo -root | awk '/Window id/ { print $4 }')))
find_box() {
  box=$(DISPLAY=":$number" xdotool search --onlyvisible --name '.*' 2>/dev/null | grep -vx "$root" | head -1)
  [ -n "$box" ]
}
deadline=$((SECONDS + 30))
until find_box; do
  if [ $SECONDS -ge $deadline ]; then
    state=$(kill -0 "$pid" 2>/dev/null && echo "still running" || echo "gone")
    fail "timed out after 30s waiting for the message box; the program is $state; its standard error: $(cat stderr.txt)"
  fi
  sleep 0.05
done
DISPLAY=":$number" xdotool mousemove --window "$box" 5 5 key Return 2>/dev/null
ended_with 1
grep -q "OpenGL" stderr.txt || fail "no word about OpenGL on standard error: $(cat stderr.txt)"
grep -q "terminate called" stderr.txt && fail "the program aborted: $(cat stderr.txt)"

echo "desktop endings end-to-end: all steps passed"
