#!/usr/bin/env bash
# End-to-end test of the desktop program's teaching features: starts `talvane` in a fresh working
# directory on the current X display, uses it as a person would (xdotool keys
# and clicks) and reads the screen back with x_probe.
#   desktop_classroom_e2e.sh TALVANE X_PROBE
# Every wait is for a condition, bounded in time. Exits 77 (skipped) when
# there is no display or no xdotool.
set -euo pipefail

. "$(dirname "$0")/e2e_common.sh"
# The colour of grid cell [i][j], read at its centre.
cell_colour() { "$probe" pixel "$wid" $((20 + 9 * $1 + 4)) $((80 + 9 * $2 + 4)); }

pngcheck=$(dirname "$0")/png_vs_ppm.py
cell_is() { [ "$(cell_colour "$1" "$2")" = "$3" ]; }
process_ended() { ! kill -0 "$pid" 2>/dev/null; }
GREEN="0 255 0"
RED="255 0 0"
log_lines() { if [ -e vemo.csv ]; then wc -l < vemo.csv; else echo 0; fi; }
log_lines_are() { [ "$(log_lines)" -eq "$1" ]; }
file_exists() { [ -s "$1" ]; }
# Shown windows only: a closed file chooser may stay behind unmapped.
window_named() { xdo search --onlyvisible --name "$1" | head -1; }
window_exists() { [ -n "$(window_named "$1")" ]; }
window_gone() { [ -z "$(window_named "$1")" ]; }

# The file chooser: the name field of a save dialog has the focus with the
# suggested name selected, and an absolute path typed into an open dialog
# goes to its location field; Return takes the path. A dialog still being
# built may miss the keys, so the answer is typed again (three times at most).
answer_chooser() {
  local title=$1 path=$2 box attempt
  wait_for 20 "the \"$title\" file chooser" window_exists "^$title"
  for attempt in 1 2 3; do
    box=$(window_named "^$title")
    [ -n "$box" ] || break
    xdo mousemove --window "$box" 5 5
    xdo windowfocus --sync "$box" || true
    xdo key ctrl+a
    xdo type --delay 10 "$path"
    xdo key Return
    local deadline=$((SECONDS + 5))
    while [ $SECONDS -lt $deadline ] && ! window_gone "^$title"; do sleep 0.1; done
    window_gone "^$title" && break
  done
  wait_for 10 "the \"$title\" file chooser to close" window_gone "^$title"
  # No window manager hands the focus on: give it to the windows by hand.
  xdo mousemove --window "$wid" 960 680
  xdo windowfocus "$wid" || true
}

# The question "overwrite?" that a save dialog asks for a path that exists:
# the one shown window with no name that is neither the root nor a 1 x 1 helper.
confirm_box() {
  local w g
  for w in $(xdo search --onlyvisible --name '^$'); do
    g=$(xdo getwindowgeometry "$w" | sed -n 's/.*Geometry: //p')
    [ "${g%x*}" -gt 1 ] && [ "${g%x*}" -lt 1000 ] && { echo "$w"; return 0; }
  done
  return 1
}
confirm_is_open() { [ -n "$(confirm_box)" ]; }
# answer_chooser_over TITLE PATH: saves over a PATH that exists, saying yes
# to the question; Return takes its default button, which overwrites.
answer_chooser_over() {
  local title=$1 path=$2 box
  wait_for 20 "the \"$title\" file chooser" window_exists "^$title"
  box=$(window_named "^$title")
  xdo mousemove --window "$box" 5 5
  xdo windowfocus --sync "$box" || true
  xdo key ctrl+a
  xdo type --delay 10 "$path"
  xdo key Return
  wait_for 10 "the question whether to overwrite $path" confirm_is_open
  box=$(confirm_box)
  xdo mousemove --window "$box" 5 5
  xdo windowfocus --sync "$box" || true
  xdo key Return
  wait_for 10 "the \"$title\" file chooser to close" window_gone "^$title"
  xdo mousemove --window "$wid" 960 680
  xdo windowfocus "$wid" || true
}

# A world: rows 0..31 of the file play STFT (red inner square), 32..63 AllD
# (green); the window draws a file row as a column (cell_colour ROW COL).
# Colours alternate; the others strategy is TFT.
awk 'BEGIN { print "row,col,color,self,other";
             for (r = 0; r < 64; r++) for (c = 0; c < 64; c++)
               printf "%d,%d,%d,%d,%d\n", r, c, (c % 2) * 2, (r < 32 ? 2 : 0), 6 }' > start.csv

step "a bad option ends with one line on standard error and status 2, before any window"
status=0
"$talvane" --no-such-option > out.txt 2> err.txt || status=$?
[ "$status" -eq 2 ] || fail "status $status for an unknown option"
[ "$(wc -l < err.txt)" -eq 1 ] || fail "not one line on standard error: $(cat err.txt)"
"$talvane" --help > help.txt || fail "--help failed"
grep -q -- "--load" help.txt || fail "--help names no --load"

step "--seed repeats a start: the same first generation twice"
# run_seeded DIR: one generation from seed 7 in DIR, then Escape.
run_seeded() {
  mkdir -p "$1"
  (cd "$1" && exec "$talvane" --seed 7 --layout segregated --log first.csv > stdout.txt 2> stderr.txt) &
  pid=$!
  wid=""
  wait_for 20 "the main window" find_window
  xdo mousemove --window "$wid" 960 680
  xdo windowfocus "$wid" || true
  xdo key n
  wait_for 10 "the first generation" file_exists "$1/first.csv"
  xdo key Escape
  wait_for 20 "the program to end" process_ended
  wait "$pid" || true
  pid=""
}
find_window() { wid=$(xdo search --onlyvisible --name '^Talvane \(RUNO64\)$' | head -1); [ -n "$wid" ]; }
wait_for 10 "a connection to the X server" wait_ready
run_seeded one
run_seeded two
cmp -s one/first.csv two/first.csv || fail "two starts with --seed 7 differ"
[ "$(wc -l < one/first.csv)" -eq 1 ] || fail "not one generation in the log"

step "--load shows the world's cells at generation 0"
"$talvane" --load start.csv > stdout.txt 2> stderr.txt &
pid=$!
wait_for 20 "the main window" find_window
eval "$(xdo getwindowgeometry --shell "$wid")"
wait_for 20 "the loaded world's red half" cell_is 10 5 "$RED"
[ "$(cell_colour 50 5)" = "$GREEN" ] || fail "cell 50 5 is $(cell_colour 50 5), not green"
[ "$(cell_colour 31 60)" = "$RED" ] && [ "$(cell_colour 32 60)" = "$GREEN" ] || fail "the halves are not where the file puts them"

step "Ctrl+O opens a world: its cells on screen, in paint mode"
awk 'BEGIN { print "row,col,color,self,other";
             for (r = 0; r < 64; r++) for (c = 0; c < 64; c++)
               printf "%d,%d,%d,%d,%d\n", r, c, 0, (r < 32 ? 0 : 2), 6 }' > swapped.csv
xdo mousemove --window "$wid" 960 680
xdo key ctrl+o
answer_chooser "Open world" "$work/swapped.csv"
wait_for 10 "the opened world's green half" cell_is 10 5 "$GREEN"
[ "$(cell_colour 50 5)" = "$RED" ] || fail "cell 50 5 is $(cell_colour 50 5) after Ctrl+O"
xdo key ctrl+z
wait_for 10 "Ctrl+Z to bring the loaded world back" cell_is 10 5 "$RED"

step "Ctrl+S saves the world back as it was loaded"
xdo mousemove --window "$wid" 960 680
xdo key ctrl+s
answer_chooser "Save world" "$work/saved.csv"
wait_for 10 "the saved world" file_exists saved.csv
cmp -s saved.csv start.csv || fail "the saved world differs from the loaded one"

step "Save world writes through a link and into a pipe, and keeps the file's mode"
printf 'old\n' > kept.csv
chmod 600 kept.csv
ln -s kept.csv link.csv
xdo key ctrl+s
answer_chooser_over "Save world" "$work/link.csv"
wait_for 10 "the world saved through the link" cmp -s kept.csv start.csv
[ -L link.csv ] || fail "the link was replaced by a file"
[ "$(stat -c %a kept.csv)" = 600 ] || fail "the saved file's mode became $(stat -c %a kept.csv)"
mkfifo pipe.csv
cat pipe.csv > from_pipe.csv 2>/dev/null &  # off the test's output, should it stay blocked
reader=$!
xdo key ctrl+s
answer_chooser_over "Save world" "$work/pipe.csv"
wait_for 10 "the reader of the pipe to end" eval '! kill -0 $reader'
cmp -s from_pipe.csv start.csv || fail "the world written into the pipe differs"
[ -p pipe.csv ] || fail "the pipe was replaced by a file"

step "N runs one generation and stays paused; again, one more"
xdo key n
wait_for 10 "one log line" log_lines_are 1
xdo key n
wait_for 10 "two log lines" log_lines_are 2
sleep 0.3
log_lines_are 2 || fail "N left the run going: $(log_lines) lines"

step "F12 saves the frame as a PNG; it matches the window"
xdo key F12
answer_chooser "Save picture" "$work/picture.png"
wait_for 10 "the picture" file_exists picture.png
sleep 0.3
"$probe" ppm "$wid" window.ppm
python3 "$pngcheck" picture.png window.ppm || fail "the picture differs from the window"
printf 'old\n' > kept.png
chmod 640 kept.png
ln -s kept.png picture-link.png
xdo key F12
answer_chooser_over "Save picture" "$work/picture-link.png"
wait_for 10 "the picture saved through the link" cmp -s kept.png picture.png
[ -L picture-link.png ] || fail "the picture's link was replaced by a file"
[ "$(stat -c %a kept.png)" = 640 ] || fail "the picture's mode became $(stat -c %a kept.png)"

step "Ctrl+Z after a pencil stroke restores the cells"
before=$(cell_colour 10 20)
[ "$before" = "$RED" ] || fail "cell 10 20 is $before before the stroke"
# The brush "000 AllD" (green) on both sides, then a click on a red cell.
xdo mousemove --window "$wid" 700 94 click 1
xdo mousemove --window "$wid" 850 94 click 1
xdo mousemove --window "$wid" $((20 + 9 * 10 + 4)) $((80 + 9 * 20 + 4)) click 1
wait_for 5 "the stroke" cell_is 10 20 "$GREEN"
xdo mousemove --window "$wid" 960 680
xdo key ctrl+z
wait_for 5 "the cell restored" cell_is 10 20 "$RED"
xdo key ctrl+y
wait_for 5 "the stroke redone" cell_is 10 20 "$GREEN"

step "G opens the Population chart beside the window; its curves move while running"
xdo key g
wait_for 10 "the chart window" window_exists '^Population$'
chart=$(window_named '^Population$')
eval "$(xdo getwindowgeometry --shell "$chart" | sed 's/^/CHART_/')"
read -r screen_w screen_h < <(xdo getdisplaygeometry)
if [ $((X + 980 + CHART_WIDTH)) -le "$screen_w" ] || [ "$X" -ge "$CHART_WIDTH" ]; then
  [ "$CHART_X" -ge $((X + 980)) ] || [ $((CHART_X + CHART_WIDTH)) -le "$X" ] || fail "the chart covers the main window"
fi
chart_picture() { "$probe" region "$chart" 0 0 380 400; }
# Paused at generation 2 the curves span a fifth of the plot; running, they
# reach across it (the world may settle at once, so a later picture of a
# running chart need not differ from an earlier one).
chart_drawn() { local c; c=($(chart_picture)); [ "${c[3]}" -gt 0 ]; }
wait_for 10 "the chart's curves" chart_drawn
first=$(chart_picture)
xdo key space
chart_changed() { [ "$(chart_picture)" != "$first" ]; }
wait_for 20 "the chart's curves to move" chart_changed
xdo key space
xdo key g
wait_for 10 "the chart window to close" window_gone '^Population$'

alive() { kill -0 "$pid" 2>/dev/null; }

step "Escape in the Population chart closes only the chart, the pointer over either window"
for over in main chart; do
  xdo key g
  wait_for 10 "the chart window" window_exists '^Population$'
  chart=$(window_named '^Population$')
  if [ "$over" = main ]; then xdo mousemove --window "$wid" 960 680; else xdo mousemove --window "$chart" 200 200; fi
  xdo windowfocus --sync "$chart" || true
  xdo key Escape
  wait_for 10 "the chart to close (pointer over the $over window)" window_gone '^Population$'
  sleep 0.3  # an ending would take the main window with it by now
  alive || fail "Escape in the chart (pointer over the $over window) ended the program"
  window_exists '^Talvane \(RUNO64\)$' || fail "Escape in the chart closed the main window"
done
xdo mousemove --window "$wid" 960 680
xdo windowfocus "$wid" || true

step "Escape in the Guide closes only the guide"
xdo mousemove --window "$wid" 300 300 click 3
menu_is_open() { [ "$("$probe" pixel "$wid" 310 305)" = "192 192 192" ]; }
wait_for 10 "the popup menu" menu_is_open
xdo key Up Return  # the last item: "Guide..."
wait_for 10 "the Guide window" window_exists '^Guide$'
guide=$(window_named '^Guide$')
xdo windowfocus --sync "$guide" || true
xdo mousemove --window "$wid" 960 680
xdo key Escape
wait_for 10 "the Guide to close" window_gone '^Guide$'
sleep 0.3
alive || fail "Escape in the Guide ended the program"
xdo windowfocus "$wid" || true

step "Undo and Redo of a restart bring back the chart and the log as they were"
xdo key g
wait_for 10 "the chart window" window_exists '^Population$'
chart=$(window_named '^Population$')
xdo mousemove --window "$wid" 960 680
xdo windowfocus "$wid" || true
# Paused, the file holds every line; one more generation first.
lines_settled() { local a; a=$(log_lines); sleep 0.2; [ "$(log_lines)" -eq "$a" ]; }
wait_for 10 "the log to stand still" lines_settled
lines=$(log_lines)
xdo key n
wait_for 10 "the generation stepped" log_lines_are $((lines + 1))
cp vemo.csv log-before.csv
wait_for 10 "the chart's curves" chart_drawn
sleep 0.2  # the chart draws at most 60 times a second
chart_before=$(chart_picture)
xdo key r
xdo key n
wait_for 10 "a fresh log of one line after the restart" log_lines_are 1
cp vemo.csv log-after.csv
chart_not_before() { [ "$(chart_picture)" != "$chart_before" ]; }
wait_for 10 "the chart started afresh" chart_not_before
sleep 0.2
chart_after=$(chart_picture)
log_is() { cmp -s vemo.csv "$1"; }
chart_is() { [ "$(chart_picture)" = "$1" ]; }
xdo key ctrl+z
wait_for 10 "the log of before the restart" log_is log-before.csv
wait_for 10 "the chart of before the restart" chart_is "$chart_before"
xdo key ctrl+y
wait_for 10 "the log of after the restart" log_is log-after.csv
wait_for 10 "the chart of after the restart" chart_is "$chart_after"
xdo key n
wait_for 10 "the run going on from the redone state" log_lines_are 2
xdo key g
wait_for 10 "the chart window to close" window_gone '^Population$'

step "Escape in the main window ends with status 0, the chart open or not"
xdo key g
wait_for 10 "the chart window again" window_exists '^Population$'
xdo windowfocus "$wid" || true
xdo mousemove --window "$wid" 960 680
xdo key Escape
wait_for 20 "the program to end" process_ended
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "exit status $status"
echo "desktop classroom end-to-end: all steps passed"
