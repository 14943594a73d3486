#!/usr/bin/env bash
# End-to-end test of the desktop program: starts `talvane` in a fresh working
# directory on the current X display, uses it as a person would (xdotool keys
# and clicks) and reads the screen back with x_probe.
#   desktop_e2e.sh TALVANE X_PROBE
# Every wait is for a condition, bounded in time. Exits 77 (skipped) when
# there is no display or no xdotool.
set -euo pipefail

. "$(dirname "$0")/e2e_common.sh"
# Counts of black, green, red and other pixels of an area of the window.
region() { "$probe" region "$wid" "$@"; }
# The window x of the rightmost lit pixel of the title line.
title_extent() { "$probe" extent "$wid" 20 30 560 28; }
# The colour of grid cell [i][j], read at its centre.
cell_colour() { "$probe" pixel "$wid" $((20 + 9 * $1 + 4)) $((80 + 9 * $2 + 4)); }
log_bytes() { stat -c %s vemo.csv 2>/dev/null || echo 0; }
windows_named() { xdo search --name "$1" | wc -l; }

# Predicates for wait_for.
grid_is_drawn() { local c; c=($(region 20 80 576 576)); [ "${c[3]}" -gt 50000 ]; }
grid_shows_colours_only() { local c; c=($(region 20 80 576 576)); [ "${c[3]}" -eq 0 ] && [ "${c[1]}" -gt 10000 ] && [ "${c[2]}" -gt 10000 ]; }
grid_shows_strategies() { local c; c=($(region 20 80 576 576)); [ "${c[3]}" -gt 50000 ]; }
log_longer_than() { [ "$(log_bytes)" -gt "$1" ]; }
matrix_is_blank() { local c; c=($(region 845 270 81 54)); [ "${c[0]}" -eq $((81 * 54)) ]; }
title_narrower_than() { [ "$(title_extent)" -lt "$1" ]; }
title_is() { [ "$(title_extent)" -eq "$1" ]; }
cell_is() { [ "$(cell_colour "$1" "$2")" = "$3" ]; }
# A submenu opens right of the popup menu, whose left edge is at x 300:
# the menus' grey appears there.
submenu_is_open() { [ "$("$probe" count "$wid" 420 300 200 200 192 192 192)" -gt 500 ]; }
# The Competition submenu's items, Finite and Infinite, highlighted in navy
# where the keyboard has them.
finite_is_highlighted() { [ "$("$probe" count "$wid" 470 367 60 12 0 0 128)" -gt 100 ]; }
infinite_is_highlighted() { [ "$("$probe" count "$wid" 470 389 60 12 0 0 128)" -gt 100 ]; }
# The popup menu opens with its top left corner at (300, 300).
menu_is_open() { [ "$("$probe" pixel "$wid" 310 305)" = "192 192 192" ]; }
menu_is_closed() { [ "$("$probe" pixel "$wid" 310 305)" != "192 192 192" ]; }
window_count_is() { [ "$(windows_named "$1")" -eq "$2" ]; }
process_ended() { ! kill -0 "$pid" 2>/dev/null; }
pointer_x_is() { [ "$(xdo getmouselocation --shell | sed -n 's/^X=//p')" -eq "$1" ]; }

# Cursors as x_probe reports them: size and hot spot.
HAND="32 32 12 6"
PENCIL="32 32 6 24"
BUCKET="32 32 23 21"
cursor_is() { [ "$("$probe" cursor)" = "$1" ]; }
cursor_is_not_ours() { local c; c=$("$probe" cursor); [ "$c" != "$HAND" ] && [ "$c" != "$PENCIL" ] && [ "$c" != "$BUCKET" ]; }

GREEN="0 255 0"
RED="255 0 0"

step "start: a centred 980 x 700 window with the seeded, paused world"
wait_for 10 "a connection to the X server" wait_ready
"$talvane" > stdout.txt 2> stderr.txt &
pid=$!
wid=""
find_window() { wid=$(xdo search --name '^Talvane \(RUNO64\)$' | head -1); [ -n "$wid" ]; }
wait_for 20 "the main window" find_window
geometry=$(xdo getwindowgeometry --shell "$wid")
eval "$geometry"
read -r screen_w screen_h < <(xdo getdisplaygeometry)
[ "$WIDTH" -eq 980 ] && [ "$HEIGHT" -eq 700 ] || fail "window is ${WIDTH}x${HEIGHT}"
[ "$X" -eq $(((screen_w - 980) / 2)) ] && [ "$Y" -eq $(((screen_h - 700) / 2)) ] || fail "window at $X,$Y not centred"
wait_for 20 "the first frame" grid_is_drawn
icon=($(region 629 456 24 24))  # the layout icon: a green and red checkerboard
[ "${icon[1]}" -gt 100 ] && [ "${icon[2]}" -gt 100 ] || fail "no layout icon: ${icon[*]}"
[ ! -e vemo.csv ] || fail "a generation ran before the user started the run"
# Our own window icon, and a size the window manager may not change.
xprop -id "$wid" _NET_WM_ICON | grep -q 'Icon (32 x 32)' || fail "no 32 x 32 window icon"
hints=$(xprop -id "$wid" WM_NORMAL_HINTS)
grep -q 'minimum size: 980 by 700' <<< "$hints" && grep -q 'maximum size: 980 by 700' <<< "$hints" \
  || fail "the window can be resized: $hints"

step "cursors: the pointing hand over the panels and the grid, the arrow elsewhere"
xdo mousemove --window "$wid" 700 140
wait_for 5 "the hand over a panel row" cursor_is "$HAND"
xdo mousemove --window "$wid" 960 680
wait_for 5 "the arrow over the background" cursor_is_not_ours
xdo mousemove --window "$wid" 100 100
wait_for 5 "the hand over the grid" cursor_is "$HAND"
paused_title=$(title_extent)

# press_until_running: Space until the title drops " (Paused)" and keeps it
# dropped. A press that falls inside a restart is undone by it at once (every
# restart ends paused, and repaints), so a few presses are allowed.
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

step "Space runs the simulation: the log grows; Space again pauses"
xdo mousemove --window "$wid" 960 680
press_until_running
wait_for 20 "log lines while running" log_longer_than 8192
xdo key space
wait_for 10 "the paused title (first frame's title ends at x $paused_title)" title_is "$paused_title"

step "V switches to the colour view and back"
xdo key v
wait_for 10 "the colour view" grid_shows_colours_only
shot colour-view
xdo key v
wait_for 10 "the strategy view" grid_shows_strategies

step "the Payoffs dialog: 2.5 and a value outside 32 bits are refused, then Stag Hunt (5, -1, 3, 1) is accepted"
xdo mousemove --window "$wid" 850 300 click 1
dialog=""
find_dialog() { dialog=$(xdo search --name '^Payoffs$' | head -1); [ -n "$dialog" ]; }
wait_for 10 "the Payoffs dialog" find_dialog
# refused VALUE: typed over the selected field, OK brings the integer
# message and the dialog stays open with the field's text selected.
refused() {
  xdo mousemove --window "$dialog" 5 5
  xdo type --delay 20 "$1"
  xdo key Return
  wait_for 10 "the integer message for $1" window_count_is '^Talvane \(RUNO64\)$' 2
  alert=$(xdo search --name '^Talvane \(RUNO64\)$' | grep -v "^$wid\$" | head -1)
  xdo mousemove --window "$alert" 5 5
  xdo key Return
  wait_for 10 "the message to close" window_count_is '^Talvane \(RUNO64\)$' 1
  find_dialog || fail "the dialog closed on $1"
}
refused "2.5"  # not silently 25
refused "99999999999"
xdo mousemove --window "$dialog" 5 5
# The refused field has the focus with its text selected: typing replaces it.
xdo type --delay 20 "5"
xdo key Tab
xdo key minus 1  # a payoff typed with a minus sign is taken as it is
xdo key Tab
xdo type --delay 20 "3"
xdo key Tab
xdo type --delay 20 "1"
xdo key Return
wait_for 10 "the dialog to close" window_count_is '^Payoffs$' 0
# "Spatialized Stag Hunt (Paused)" is shorter than "Spatialized Prisoner's Dilemma (Paused)".
wait_for 10 "the new game name" title_narrower_than $((paused_title - 40))
shot stag-hunt

step "an empty self pool: Space reseeds, and the simulation thread's message box is shown"
xdo mousemove --window "$wid" 960 680
for row in 0 1 2 3 4 5 6 7; do xdo mousemove --window "$wid" 700 $((94 + 18 * row)) click 1; done
xdo mousemove --window "$wid" 960 680
stag_title=$(title_extent)
xdo key space
pool_box=""
find_pool_box() { pool_box=$(xdo search --name "^Can't create a random pool with nothing in it!\$" | head -1); [ -n "$pool_box" ]; }
wait_for 10 "the empty-pool message" find_pool_box
xdo mousemove --window "$pool_box" 5 5
xdo key Return
wait_for 10 "the message to close" window_count_is "^Can't create a random pool" 0
wait_for 10 "the run to stay paused" title_is "$stag_title"
for row in 0 1 2 3 4 5 6 7; do xdo mousemove --window "$wid" 700 $((94 + 18 * row)) click 1; done

step "the About box from the right-button menu"
xdo mousemove --window "$wid" 300 300 click 3
wait_for 10 "the popup menu" menu_is_open
xdo key Down Down Down Down Down Down Return
about=""
find_about() { about=$(xdo search --name '^About Talvane \(RUNO64\)$' | head -1); [ -n "$about" ]; }
wait_for 10 "the About box" find_about
xdo mousemove --window "$about" 5 5
xdo key Return
wait_for 10 "the About box to close" window_count_is '^About Talvane' 0

step "paint mode: a pencil stroke that crosses the right edge goes on at the left"
xdo mousemove --window "$wid" 960 680
xdo key p
# Brush "010 STFT" on both sides (red), fill the whole grid with it, then brush "000 AllD" (green).
xdo mousemove --window "$wid" 700 130 click 1
xdo mousemove --window "$wid" 850 130 click 1
xdo mousemove --window "$wid" 640 460 click 1
wait_for 10 "the grid filled red" cell_is 30 30 "$RED"
xdo mousemove --window "$wid" 700 94 click 1
xdo mousemove --window "$wid" 850 94 click 1
y=$((80 + 9 * 10 + 4))
xdo mousemove --window "$wid" $((20 + 9 * 60 + 4)) $y mousedown 1
wait_for 5 "the first cell of the stroke" cell_is 60 10 "$GREEN"
xdo mousemove --window "$wid" $((20 + 9 * 62 + 4)) $y
wait_for 5 "the stroke to reach cell 62" cell_is 62 10 "$GREEN"
xdo mousemove --window "$wid" 600 $y
wait_for 5 "the pointer moved to the left edge" pointer_x_is $((X + 24))
wait_for 5 "the stroke to go on at the left edge" cell_is 0 10 "$GREEN"
xdo mousemove --window "$wid" $((20 + 9 * 2 + 4)) $y
wait_for 5 "the stroke to reach cell 2" cell_is 2 10 "$GREEN"
cursor_is "$PENCIL" || fail "not the pencil over the grid: $("$probe" cursor)"
xdo mouseup 1
shot stroke
xdo mousemove --window "$wid" $((20 + 9 * 5 + 4)) $y
[ "$(cell_colour 5 10)" = "$RED" ] || fail "a move after the release painted"
[ "$(cell_colour 30 10)" = "$RED" ] || fail "cells outside the stroke changed"
[ "$(cell_colour 60 11)" = "$RED" ] || fail "the stroke strayed off its row"
# The fill tool shows the paint bucket over the grid; then back to the pencil.
xdo mousemove --window "$wid" 710 460 click 1
xdo mousemove --window "$wid" 300 500
wait_for 5 "the paint bucket over the grid" cursor_is "$BUCKET"
xdo mousemove --window "$wid" 670 460 click 1

step "a dismissed right-button menu swallows the next left press"
xdo mousemove --window "$wid" 300 300 click 3
wait_for 10 "the popup menu" menu_is_open
xdo mousemove --window "$wid" 900 600 click 1
wait_for 10 "the popup menu to close" menu_is_closed
xdo mousemove --window "$wid" $((20 + 9 * 30 + 4)) $((80 + 9 * 40 + 4)) click 1
xdo mousemove --window "$wid" $((20 + 9 * 31 + 4)) $((80 + 9 * 40 + 4)) click 1
wait_for 5 "the second press to paint" cell_is 31 40 "$GREEN"
[ "$(cell_colour 30 40)" = "$RED" ] || fail "the press after the dismissed menu painted"

step "the right-button menu: Competition > Infinite hides the payoff matrix"
xdo mousemove --window "$wid" 300 300 click 3
wait_for 10 "the popup menu" menu_is_open
xdo key Down Down Down Down Right
wait_for 10 "the Competition submenu" submenu_is_open
# Each key once the menu shows the last: a key that comes before the
# submenu has the keyboard moves in the menu behind it.
wait_for 10 "Finite highlighted" finite_is_highlighted
shot menu
xdo key Down
wait_for 10 "Infinite highlighted" infinite_is_highlighted
xdo key Return
wait_for 10 "infinite competition" matrix_is_blank

step "Escape while running ends the program with a complete log"
xdo mousemove --window "$wid" 960 680
press_until_running
before=$(log_bytes)
wait_for 20 "log lines while running" log_longer_than $((before + 8192))
xdo key Escape
wait_for 20 "the program to end" process_ended
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "exit status $status"
check_log() {
  [ -s vemo.csv ] || fail "no log"
  [ "$(tail -c 1 vemo.csv | od -An -c | tr -d ' ')" = '\n' ] || fail "the log ends in the middle of a line"
  local bad
  bad=$(awk -F, 'NF != 64 { n++ } END { print n + 0 }' vemo.csv)
  [ "$bad" -eq 0 ] || fail "$bad log lines without 64 counts"
}
check_log
lines_after_escape=$(wc -l < vemo.csv)

step "Quit from the right-button menu while running: status 0 and a complete log"
rm -f vemo.csv
"$talvane" > stdout.txt 2> stderr.txt &
pid=$!
wid=""
wait_for 20 "the main window" find_window
wait_for 20 "the first frame" grid_is_drawn
paused_title=$(title_extent)
xdo mousemove --window "$wid" 960 680
press_until_running
wait_for 20 "log lines while running" log_longer_than 8192
xdo mousemove --window "$wid" 300 300 click 3
wait_for 10 "the popup menu" menu_is_open
xdo key Down Down Down Down Down Down Down Return
wait_for 20 "the program to end" process_ended
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "exit status $status after Quit"
check_log
echo "desktop end-to-end: all steps passed ($lines_after_escape and $(wc -l < vemo.csv) log lines at the ends)"
