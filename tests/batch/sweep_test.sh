#!/usr/bin/env bash
# A tiny sweep through GNU parallel: every cell of the grid runs, and each
# run equals the same run made directly.
set -euo pipefail
sweep=$1
batch=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

"$sweep" --batch "$batch" --out "$dir/out" --seeds 1-2 --payoffs "3,0,5,1 4,-1,6,0" \
  --layouts "checkerboard segregated" --generations 5 -j 2 -- --extra-point 2>"$dir/err" \
  || fail "sweep failed: $(cat "$dir/err")"

[ "$(wc -l <"$dir/out/jobs.tsv")" -eq 9 ] || fail "jobs.tsv should hold a header and 8 runs"
[ "$(head -n 1 "$dir/out/jobs.tsv")" = "$(printf 'name\tseed\tpayoffs\tlayout\tcompetition\tgenerations\textra_point')" ] \
  || fail "jobs.tsv header: $(head -n 1 "$dir/out/jobs.tsv")"
while IFS=$'\t' read -r name seed payoffs layout competition generations extra_point; do
  [ "$generations" = 5 ] && [ "$extra_point" = true ] || fail "$name: the options after -- are not recorded"
  [ "$(wc -l <"$dir/out/vemo_$name.csv")" -eq 5 ] || fail "$name: log should hold 5 lines"
  [ "$(wc -l <"$dir/out/world_$name.csv")" -eq 4097 ] || fail "$name: world file should hold 4097 lines"
  [ -s "$dir/out/vemo_$name.json" ] || fail "$name: no record"
done < <(tail -n +2 "$dir/out/jobs.tsv")

# results.csv: a row per run with its parameters and final measures.
[ "$(wc -l <"$dir/out/results.csv")" -eq 9 ] || fail "results.csv should hold a header and 8 rows"
head -n 1 "$dir/out/results.csv" | grep -q '^name,seed,payoffs,layout,competition,generations,extra_point,done,generation_reached,settled,settled_generation,period,settled_by,pair1,share1,pair2,share2,pair3,share3,all_coop_same_last100,' \
  || fail "results.csv header: $(head -n 1 "$dir/out/results.csv")"
row=$(grep '^s2_p4_-1_6_0_segregated_finite,' "$dir/out/results.csv")
case $row in
  's2_p4_-1_6_0_segregated_finite,2,"4,-1,6,0",segregated,finite,5,true,true,5,'*) ;;
  *) fail "results.csv row: $row" ;;
esac

(cd "$dir" && "$batch" --seed 2 --payoffs 4,-1,6,0 --layout segregated --generations 5 --extra-point \
  --log direct.csv --save direct-world.csv 2>/dev/null)
cmp -s "$dir/direct.csv" "$dir/out/vemo_s2_p4_-1_6_0_segregated_finite.csv" || fail "sweep log differs from the direct run"
cmp -s "$dir/direct-world.csv" "$dir/out/world_s2_p4_-1_6_0_segregated_finite.csv" || fail "sweep world differs"

"$sweep" --list-only --out "$dir/listed" --seeds "3 9" --competitions "finite infinite" 2>/dev/null
[ "$(wc -l <"$dir/listed/jobs.tsv")" -eq 5 ] || fail "--list-only should list a header and 4 runs"
[ -z "$(find "$dir/listed" -name 'vemo_*')" ] || fail "--list-only must run nothing"

# The infinite competition takes no payoffs: it runs once per seed and layout,
# given no --payoffs, beside a finite run for each payoff set; its array task too.
"$sweep" --batch "$batch" --out "$dir/inf" --seeds 6 --payoffs "3,0,5,1 4,-1,6,0" \
  --competitions "finite infinite" --generations 4 -j 2 2>"$dir/err" || fail "infinite sweep failed: $(cat "$dir/err")"
[ "$(tail -n +2 "$dir/inf/jobs.tsv" | cut -f1 | tr '\n' ' ')" = \
  "s6_p3_0_5_1_checkerboard_finite s6_pnone_checkerboard_infinite s6_p4_-1_6_0_checkerboard_finite " ] \
  || fail "infinite sweep runs: $(cut -f1 "$dir/inf/jobs.tsv")"
grep -q '^s6_pnone_checkerboard_infinite,6,none,checkerboard,infinite,4,true,4,' "$dir/inf/results.csv" \
  || fail "results.csv infinite row: $(cat "$dir/inf/results.csv")"
(cd "$dir" && "$batch" --seed 6 --competition infinite --generations 4 --log direct-inf.csv 2>/dev/null)
cmp -s "$dir/direct-inf.csv" "$dir/inf/vemo_s6_pnone_checkerboard_infinite.csv" || fail "infinite sweep log differs"
mkdir "$dir/inf-task" && cp "$dir/inf/jobs.tsv" "$dir/inf-task/"
"$(dirname "$sweep")/sweep-task" --batch "$batch" "$dir/inf-task" 2 2>"$dir/err" || fail "infinite task failed: $(cat "$dir/err")"
cmp -s "$dir/direct-inf.csv" "$dir/inf-task/vemo_s6_pnone_checkerboard_infinite.csv" || fail "infinite task log differs"

# A folder that holds a sweep is refused, without --resume or with another grid.
if "$sweep" --batch "$batch" --out "$dir/out" --seeds 1-2 --generations 5 2>/dev/null; then
  fail "a second sweep into a used folder must be refused"
fi
if "$sweep" --batch "$batch" --out "$dir/out" --seeds 1-3 --payoffs "3,0,5,1 4,-1,6,0" \
  --layouts "checkerboard segregated" --generations 5 --resume -- --extra-point 2>/dev/null; then
  fail "--resume with another grid must be refused"
fi
[ "$(wc -l <"$dir/out/jobs.tsv")" -eq 9 ] || fail "a refused sweep changed jobs.tsv"

# --resume runs only the runs that failed or never ran. A program that fails
# for seed 2 while a flag file exists stands in for a run cut short.
cat >"$dir/flaky" <<FLAKY
#!/usr/bin/env bash
echo "\$*" >>"$dir/calls"
[ "\$2" = 2 ] && [ -e "$dir/fail" ] && exit 1
exec "$batch" "\$@"
FLAKY
chmod +x "$dir/flaky"
touch "$dir/fail"
if "$sweep" --batch "$dir/flaky" --out "$dir/resumed" --seeds 1-3 --generations 4 -j 1 2>/dev/null; then
  fail "a sweep with a failing run must fail"
fi
grep -q '^s1_p3_0_5_1_checkerboard_finite,1,"3,0,5,1",checkerboard,finite,4,true,4,' "$dir/resumed/results.csv" \
  || fail "results.csv should hold the finished run: $(cat "$dir/resumed/results.csv")"
grep -q '^s2_p3_0_5_1_checkerboard_finite,2,"3,0,5,1",checkerboard,finite,4,false,' "$dir/resumed/results.csv" \
  || fail "results.csv should mark the failed run"
rm "$dir/fail" "$dir/calls"
"$sweep" --batch "$dir/flaky" --out "$dir/resumed" --seeds 1-3 --generations 4 -j 1 --resume 2>/dev/null \
  || fail "the resumed sweep failed"
grep -q -- '--seed 1 ' "$dir/calls" && fail "--resume ran a run that had finished"
grep -q -- '--seed 2 ' "$dir/calls" || fail "--resume did not run the failed run"
grep -q -- '--seed 3 ' "$dir/calls" || fail "--resume did not run the run that never started"
[ "$(grep -c ',true,4,' "$dir/resumed/results.csv")" -eq 3 ] || fail "results.csv after --resume: $(cat "$dir/resumed/results.csv")"

if "$sweep" --batch "$batch" --out "$dir/bad" --seeds 1 --layouts stripes --generations 1 2>/dev/null; then
  fail "a sweep with a bad layout must fail"
fi

# Model variants as sweep lists: their columns, their run names, and each run
# made with its own rule and rate.
"$sweep" --batch "$batch" --out "$dir/variants" --seeds 3 --updates "synchronous fermi" --mutations "0 0.02" \
  --generations 3 -j 2 -- --size 12 2>"$dir/err" || fail "variant sweep failed: $(cat "$dir/err")"
[ "$(head -n 1 "$dir/variants/jobs.tsv")" = "$(printf 'name\tseed\tpayoffs\tlayout\tcompetition\tgenerations\tupdate\tnoise\tmutation\tsize')" ] \
  || fail "variant jobs.tsv header: $(head -n 1 "$dir/variants/jobs.tsv")"
[ "$(wc -l <"$dir/variants/jobs.tsv")" -eq 5 ] || fail "variant sweep should list a header and 4 runs"
record="$dir/variants/vemo_s3_p3_0_5_1_checkerboard_finite_ufermi_n0.1_m0.02.json"
grep -q '"update": "fermi"' "$record" && grep -q '"mutation": 0.02' "$record" \
  || fail "the fermi run with mutation 0.02 was not made so: $(cat "$record" 2>/dev/null)"
(cd "$dir" && "$batch" --seed 3 --generations 3 --size 12 --update fermi --mutation 0.02 --log direct-fermi.csv 2>/dev/null)
cmp -s "$dir/direct-fermi.csv" "$dir/variants/vemo_s3_p3_0_5_1_checkerboard_finite_ufermi_n0.1_m0.02.csv" \
  || fail "variant sweep log differs from the direct run"

# A cluster's array task runs one listed run by the columns' names: for a grid
# with the variants' columns and options after --, each task makes what the
# sweep itself makes.
task=$(dirname "$sweep")/sweep-task
grid=(--seeds "4 5" --updates "synchronous asynchronous" --generations 3 -- --size 12 --extra-point --edges fixed)
"$sweep" --batch "$batch" --out "$dir/swept" "${grid[@]}" 2>/dev/null || fail "the variants sweep failed"
"$sweep" --list-only --out "$dir/array" "${grid[@]}" 2>/dev/null
runs=$(($(wc -l <"$dir/array/jobs.tsv") - 1))
[ "$runs" -eq 4 ] || fail "the listed grid holds $runs runs"
for ((n = 1; n <= runs; n++)); do
  "$task" --batch "$batch" "$dir/array" "$n" 2>"$dir/err" || fail "task $n failed: $(cat "$dir/err")"
done
for name in $(tail -n +2 "$dir/array/jobs.tsv" | cut -f1); do
  for file in "vemo_$name.csv" "world_$name.csv" "stats_$name.csv"; do
    cmp -s "$dir/array/$file" "$dir/swept/$file" || fail "task output $file differs from the sweep's"
  done
  grep -q '"edges": "fixed"' "$dir/array/vemo_$name.json" || fail "task $name: --edges fixed not passed on"
done
"$task" --batch "$batch" "$dir/array" 5 2>/dev/null && fail "a task beyond the grid was accepted"
"$task" --batch "$batch" "$dir/array" 0 2>/dev/null && fail "task 0 was accepted"
# results.csv is read from the record's values, not from its layout: the same
# records written with other indentation and key order give the same file.
"$sweep" --batch "$batch" --out "$dir/json" --seeds 1-4 --updates asynchronous --generations 40 \
  -- --size 6 --until-settled 2>"$dir/err" || fail "the settling sweep failed: $(cat "$dir/err")"
grep -q ',true,[0-9]*,true,[0-9][0-9]*,' "$dir/json/results.csv" \
  || fail "no run of the settling sweep settled: $(cat "$dir/json/results.csv")"
cp "$dir/json/results.csv" "$dir/json-results.csv"
for record in "$dir"/json/vemo_*.json; do
  python3 -c 'import json, sys; r = json.load(open(sys.argv[1])); json.dump(r, open(sys.argv[1], "w"), indent="\t", sort_keys=True)' "$record"
  ! grep -q '^  "' "$record" || fail "$record was not rewritten"
done
"$sweep" --batch "$batch" --out "$dir/json" --seeds 1-4 --updates asynchronous --generations 40 --resume \
  -- --size 6 --until-settled 2>"$dir/err" || fail "the resumed settling sweep failed: $(cat "$dir/err")"
cmp -s "$dir/json-results.csv" "$dir/json/results.csv" \
  || fail "reformatted records give another results.csv: $(diff "$dir/json-results.csv" "$dir/json/results.csv")"

# A run of no generations leaves an empty log: its row keeps every column in
# place, with the pairs of the seeded world it saved.
"$sweep" --batch "$batch" --out "$dir/none" --seeds 1 --generations 0 -- --size 8 2>"$dir/err" \
  || fail "the sweep of no generations failed: $(cat "$dir/err")"
fields() { sed 's/"[^"]*"/q/g' | tr -cd , | wc -c; }
[ "$(head -n 1 "$dir/none/results.csv" | fields)" -eq "$(tail -n 1 "$dir/none/results.csv" | fields)" ] \
  || fail "the row of no generations has other columns than the header: $(cat "$dir/none/results.csv")"
case $(tail -n 1 "$dir/none/results.csv") in
  's1_p3_0_5_1_checkerboard_finite,1,"3,0,5,1",checkerboard,finite,0,8,true,0,false,,,,'[0-7]/[0-7],0.*) ;;
  *) fail "the row of no generations has no commonest pair: $(cat "$dir/none/results.csv")" ;;
esac
echo "1 passed, 0 failed"
