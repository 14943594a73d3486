#!/usr/bin/env bash
# Figures of the desktop program, measured on the current X display (run it
# under xvfb-run for Mesa's software renderer):
#   generations per second at "Normal" speed (every generation drawn),
#   generations per second at "Drop 99 frames",
#   how long the window takes to answer a key while the simulation runs;
# each without and then with the "Population" chart window open.
#   desktop_bench.sh TALVANE X_PROBE [SECONDS]
set -euo pipefail

talvane=$1
probe=$2
seconds=${3:-5}

work=$(mktemp -d)
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
  exec 3>&- 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# One client stays connected throughout: an X server whose last client
# leaves resets, and refuses connections meanwhile.
mkfifo hold
"$probe" hold < hold > hold.out &
exec 3> hold

xdo() { xdotool "$@" 2>/dev/null; }
now_ms() { date +%s%3N; }
die() { echo "desktop_bench: $*" >&2; cat talvane.out >&2 2>/dev/null; exit 1; }

wait_for() {  # SECONDS COMMAND...
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || die "timed out waiting for: $*"
    sleep 0.02
  done
}

title_extent() { "$probe" extent "$wid" 20 30 560 28; }
grid_all_colours() { local c; c=($("$probe" region "$wid" 20 80 576 576)); [ "${c[3]}" -eq 0 ]; }
# A corner of the grid, read quickly for the key timing.
corner_all_colours() { local c; c=($("$probe" region "$wid" 20 80 54 54)); [ "${c[3]}" -eq 0 ]; }
corner_has_strategies() { local c; c=($("$probe" region "$wid" 20 80 54 54)); [ "${c[3]}" -gt 0 ]; }
grid_has_strategies() { local c; c=($("$probe" region "$wid" 20 80 576 576)); [ "${c[3]}" -gt 0 ]; }
# Running: the title has dropped " (Paused)" and still has a moment later (a
# press inside a restart is undone by it at once).
running() { [ "$(title_extent)" -lt "$paused_title" ] && sleep 0.3 && [ "$(title_extent)" -lt "$paused_title" ]; }
ended() { ! kill -0 "$pid" 2>/dev/null; }

start() {
  rm -f vemo.csv
  "$talvane" >>talvane.out 2>&1 &
  pid=$!
  wid=""
  find_window() { wid=$(xdo search --name '^Talvane \(RUNO64\)$' | head -1); [ -n "$wid" ]; }
  wait_for 20 find_window
  wait_for 20 grid_has_strategies
  xdo mousemove --window "$wid" 960 680
  if [ "$with_chart" = 1 ]; then
    xdo key g
    wait_for 10 chart_shown
    # The keys go to the main window (Escape in the chart closes only the chart).
    xdo windowfocus "$wid" || true
    xdo mousemove --window "$wid" 960 680
  fi
  paused_title=$(title_extent)
}
chart_shown() { [ -n "$(xdo search --onlyvisible --name '^Population$' | head -1)" ]; }

# Runs for the given seconds and prints generations per second, from the
# log's line count after a clean end.
run_and_count() {
  local t1
  start_running
  sleep "$seconds"
  xdo key Escape
  t1=$(now_ms)
  wait_for 20 ended
  wait "$pid" || true
  pid=""
  local lines
  lines=$(wc -l < vemo.csv)
  awk -v n="$lines" -v ms=$((t1 - t0)) 'BEGIN { printf "%.0f generations/s (%d generations in %.2f s)\n", n * 1000 / ms, n, ms / 1000 }'
}

wait_for_fast() {  # COMMAND...: polls without pausing, for at most 10 s
  local deadline=$((SECONDS + 10))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || die "timed out waiting for: $*"
  done
}

# Space until the run is on; t0 is when the press that started it was sent
# (a press undone by a restart runs no generation).
start_running() {
  local attempt
  for attempt in 1 2 3 4 5; do
    t0=$(now_ms)
    xdo key space
    if wait_for_quiet 3 running; then return 0; fi
  done
  die "Space did not start the run"
}

wait_for_quiet() {  # SECONDS COMMAND...: like wait_for, but returns 1 on time-out
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.02
  done
}

held() { grep -q ready hold.out; }
wait_for 10 held

drop_99_frames() {
  xdo mousemove --window "$wid" 300 300 click 3
  sleep 0.3
  # Speed is the third item; "Drop 99 frames" the sixth of its submenu.
  xdo key Down Down Down Right Down Down Down Down Down Down Return
  xdo mousemove --window "$wid" 960 680
}

# Ten presses of V while the run is on; prints the median and worst time
# from the press to the frame of the other view.
key_response() {
  local samples=() i
  start_running
  for i in $(seq 10); do
    t0=$(now_ms)
    xdo key v
    if [ $((i % 2)) -eq 1 ]; then wait_for_fast corner_all_colours; else wait_for_fast corner_has_strategies; fi
    samples+=($(( $(now_ms) - t0 )))
  done
  xdo key Escape
  wait_for 20 ended
  pid=""
  printf '%s\n' "${samples[@]}" | sort -n | awk '{ a[NR] = $1 } END { printf "key to frame: median %d ms, worst %d ms (includes the probe reading the screen)\n", a[int((NR + 1) / 2)], a[NR] }'
}

for with_chart in 0 1; do
  label=""
  [ "$with_chart" = 0 ] || label=", chart open"
  echo "== Normal speed (every generation drawn)$label"
  start
  run_and_count

  echo "== Drop 99 frames$label"
  start
  drop_99_frames
  run_and_count

  echo "== Key response while running (V, ten presses)$label"
  start
  key_response

  echo "== Key response while running at Drop 99 frames (V, ten presses)$label"
  start
  drop_99_frames
  key_response
done
