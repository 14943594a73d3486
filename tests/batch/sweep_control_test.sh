#!/usr/bin/env bash
# scripts/sweep keeps control of what it starts and of its folder: a signal
# ends GNU parallel and every run and leaves only finished files, two sweeps
# cannot share a folder, and options after -- cannot name one file for every
# run. Every wait is bounded.
set -euo pipefail
# Job control: background sweeps get their own process groups and keep SIGINT
# (a non-interactive shell would start them with it ignored).
set -m
sweep=$1
batch=$2
dir=$(mktemp -d)
started=()
cleanup() {
  # A sweep left by a failed check is asked to end its runs; whatever of this
  # test's processes is left after that is killed.
  local pid tries
  for pid in "${started[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for ((tries = 0; tries < 100; tries++)); do pgrep -f -- "$dir/" >/dev/null || break; sleep 0.05; done
  for pid in $(pgrep -f -- "$dir/"); do kill -KILL "$pid" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local limit=$1; shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

# Processes whose command line names this test's folder (the runs, parallel).
ours() { pgrep -f -- "$dir/" >/dev/null; }
none_of_ours() { ! ours; }
running_runs() { [ "$(pgrep -f -- "^[^ ]*talvane-batch .*--log $dir/$1/vemo_" | wc -l)" -ge "$2" ]; }
ended() { ! kill -0 "$1" 2>/dev/null; }

# A stand-in for talvane-batch that makes every run long while $dir/slow exists.
cat >"$dir/slowable" <<SLOW
#!/usr/bin/env bash
args=("\$@")
if [ -e "$dir/slow" ]; then
  for ((i = 0; i < \${#args[@]}; i++)); do
    [ "\${args[i]}" = --generations ] && args[i + 1]=100000000
  done
fi
exec "$batch" "\${args[@]}"
SLOW
chmod +x "$dir/slowable"

# --- Per-run outputs and the sweep's own parameters after -- are refused,
# before anything is written.
cd "$dir"
for options in "--meta m.json" "--log l.csv" "--save w.csv" "--stats s.csv" "--image i.png" \
  "--snapshot s.png" "--frames f" "--movie m.mp4" "--checkpoint c.ckpt" "--checkpoint-every 5" \
  "--resume c.ckpt" "--runs 2" "--seed 4" "--payoffs 1,0,2,0" "--generations 9" "--layout=random"; do
  # shellcheck disable=SC2086
  if "$sweep" --batch "$batch" --out "$dir/refused" --seeds 1 --generations 2 -- $options 2>err; then
    fail "-- $options was accepted"
  else
    code=$?
  fi
  [ "$code" -eq 2 ] || fail "-- $options: status $code, not 2"
  [ "$(wc -l <err)" -eq 1 ] || fail "-- $options: not one line: $(cat err)"
  [ ! -e "$dir/refused" ] || fail "-- $options: the folder was made"
done
[ -z "$(ls "$dir" | grep -v -e '^slowable$' -e '^err$')" ] || fail "a refused sweep wrote $(ls "$dir")"
"$sweep" --batch "$batch" --out "$dir/upd" --seeds 1 --updates fermi --generations 1 -- --update fermi 2>err \
  && fail "--update after -- beside --updates was accepted"
"$sweep" --batch "$batch" --out "$dir/upd" --seeds 1 --generations 1 -- --update fermi --size 8 2>err \
  || fail "--update after -- without the variants' lists was refused: $(cat err)"
grep -q '"update": "fermi"' "$dir/upd/vemo_s1_p3_0_5_1_checkerboard_finite.json" || fail "--update fermi after -- not passed on"
cd - >/dev/null

# --- A signal ends the sweep, GNU parallel and every run; what stays is
# finished files only, results.csv says no run finished, and --resume then
# runs each run once.
grid=(--seeds 1-4 --generations 3 -j 2 -- --size 32)
for signal in TERM INT HUP; do
  out=$dir/signalled-$signal
  touch "$dir/slow"
  "$sweep" --batch "$dir/slowable" --out "$out" "${grid[@]}" 2>"$dir/err-$signal" &
  pid=$!
  started+=("$pid")
  wait_for 30 running_runs "signalled-$signal" 2 || fail "$signal: the runs did not start: $(cat "$dir/err-$signal")"
  kill -s "$signal" "$pid"
  wait_for 20 ended "$pid" || fail "$signal: the sweep did not end"
  wait "$pid" && code=0 || code=$?
  wait_for 10 none_of_ours || fail "$signal: left running: $(pgrep -af -- "$dir/")"
  case $signal in TERM) want=143 ;; INT) want=130 ;; HUP) want=129 ;; esac
  [ "$code" -eq "$want" ] || fail "$signal: status $code, not $want"
  [ -f "$out/results.csv" ] || fail "$signal: no results.csv"
  [ "$(grep -c ',false,' "$out/results.csv")" -eq 4 ] || fail "$signal: results.csv: $(cat "$out/results.csv")"
  leftovers=$(find "$out" -name '.tv*' -o -name 'vemo_*' -o -name 'world_*' -o -name '*.tmp')
  [ -z "$leftovers" ] || fail "$signal: half-written files left: $leftovers"
done

rm "$dir/slow"
: >"$dir/calls"
cat >"$dir/counting" <<COUNT
#!/usr/bin/env bash
echo "\$2" >>"$dir/calls"
exec "$batch" "\$@"
COUNT
chmod +x "$dir/counting"
"$sweep" --resume --batch "$dir/counting" --out "$dir/signalled-TERM" "${grid[@]}" 2>"$dir/err" \
  || fail "--resume after a signal failed: $(cat "$dir/err")"
[ "$(sort -n "$dir/calls" | tr '\n' ' ')" = "1 2 3 4 " ] || fail "--resume ran: $(cat "$dir/calls")"
[ "$(grep -c ',true,3,' "$dir/signalled-TERM/results.csv")" -eq 4 ] || fail "results.csv after --resume"

# --- The folder is the sweep's while it runs: a --resume into it is refused
# and changes nothing, and it can be taken again once the sweep has ended.
touch "$dir/slow"
"$sweep" --batch "$dir/slowable" --out "$dir/owned" "${grid[@]}" 2>/dev/null &
pid=$!
started+=("$pid")
wait_for 30 running_runs owned 2 || fail "the owned sweep did not start"
if "$sweep" --resume --batch "$batch" --out "$dir/owned" "${grid[@]}" 2>"$dir/err"; then
  fail "a --resume into a running sweep's folder was accepted"
else
  code=$?
fi
[ "$code" -eq 2 ] && grep -q "in use" "$dir/err" || fail "resume into a running sweep: $code $(cat "$dir/err")"
kill -TERM "$pid"
wait_for 20 ended "$pid" || fail "the owned sweep did not end"
wait_for 10 none_of_ours || fail "the owned sweep left processes"

# --- Two sweeps started together into one empty folder: one runs, the other
# is refused, and the folder holds the first one's runs.
rm "$dir/slow"
for try in 1 2 3 4 5 6; do
  out=$dir/race-$try
  "$sweep" --batch "$batch" --out "$out" --seeds 1-2 --generations 2 -j 1 -- --size 8 2>"$dir/race-a" &
  a=$!
  "$sweep" --batch "$batch" --out "$out" --seeds 5-6 --generations 2 -j 1 -- --size 8 2>"$dir/race-b" &
  b=$!
  started+=("$a" "$b")
  wait_for 60 ended "$a" && wait_for 60 ended "$b" || fail "race $try: the sweeps did not end"
  wait "$a" && sa=0 || sa=$?
  wait "$b" && sb=0 || sb=$?
  winner=1
  [ "$sa" -eq 0 ] || winner=5
  [ "$sa$sb" = 02 ] || [ "$sa$sb" = 20 ] || fail "race $try: statuses $sa and $sb: $(cat "$dir/race-a" "$dir/race-b")"
  [ "$(cut -f2 "$out/jobs.tsv" | tail -n +2 | tr '\n' ' ')" = "$winner $((winner + 1)) " ] \
    || fail "race $try: jobs.tsv is not the winner's"
  [ "$(grep -c ',true,2,' "$out/results.csv")" -eq 2 ] || fail "race $try: results.csv"
done
echo "1 passed, 0 failed"
