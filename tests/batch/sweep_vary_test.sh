#!/usr/bin/env bash
# Named parameters of a sweep: decimal ranges with no drift, the product of
# the variables, refusals of placeholders and variables that do not meet,
# and a varied run equal to the same run made directly.
set -euo pipefail
sweep=$1
batch=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# 1.1:2.1:0.1 counted in decimals: 11 values, each as typed, 2.1 included.
"$sweep" --list-only --out "$dir/range" --seeds 1 --vary b=1.1:2.1:0.1 -- --payoffs 1,0,{b},0 2>/dev/null
[ "$(tail -n +2 "$dir/range/jobs.tsv" | cut -f7 | tr '\n' ' ')" = "1.1 1.2 1.3 1.4 1.5 1.6 1.7 1.8 1.9 2.0 2.1 " ] \
  || fail "range values: $(cut -f7 "$dir/range/jobs.tsv" | tr '\n' ' ')"
[ "$(tail -n +2 "$dir/range/jobs.tsv" | cut -f3 | sed -n 9p)" = "1,0,1.9,0" ] || fail "payoffs of b=1.9"

# The product: two variables and the seeds, the first --vary varying slowest.
"$sweep" --list-only --out "$dir/product" --vary n=5,7 --vary k=1-3 --vary seed=4-5 \
  -- --size {n}x{k}0 2>/dev/null
[ "$(wc -l <"$dir/product/jobs.tsv")" -eq 13 ] || fail "2 x 3 x 2 runs should be listed"
[ "$(sed -n 2,4p "$dir/product/jobs.tsv" | cut -f2,7,8,9 | tr '\t\n' ', ')" = "4,5,1,5x10 4,5,2,5x20 4,5,3,5x30 " ] \
  || fail "product order: $(sed -n 2,4p "$dir/product/jobs.tsv")"
[ "$(tail -n +2 "$dir/product/jobs.tsv" | cut -f1 | sort -u | wc -l)" -eq 12 ] || fail "run names must differ"

# Refused with status 2 and one line: a placeholder with no --vary, a
# --vary used nowhere, a range that is not one.
refused() {
  local what=$1; shift
  local status=0
  "$sweep" --list-only --out "$dir/refused" "$@" 2>"$dir/err" || status=$?
  [ "$status" -eq 2 ] || fail "$what: status $status, not 2"
  [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "$what: $(cat "$dir/err")"
  [ ! -e "$dir/refused" ] || fail "$what: a refused sweep made its folder"
}
refused "placeholder with no --vary" -- --size {n}
refused "--vary used nowhere" --vary n=5,7 -- --size 9
refused "a placeholder of another name" --vary n=5,7 -- --size {m}
refused "bad range" --vary b=1:x:0.1 -- --payoffs 1,0,{b},0
refused "descending range" --vary b=2:1:0.1 -- --payoffs 1,0,{b},0
refused "--vary seed beside --seeds" --seeds 1-2 --vary seed=1-2
refused "--networks beside --network" --networks scale-free:100:2 -- --network random-regular:100:4

# A varied sweep runs; results.csv has the variable as a numeric column, and
# a run equals the same run made directly.
"$sweep" --batch "$batch" --out "$dir/run" --seeds 3 --generations 6 -j 2 --vary b=1.5,1.9 \
  -- --payoffs 1,0,{b},0 --size 12 --play-self 2>"$dir/err" || fail "varied sweep failed: $(cat "$dir/err")"
head -n 1 "$dir/run/results.csv" | grep -q '^name,seed,payoffs,layout,competition,generations,b,size,play_self,done,' \
  || fail "results.csv header: $(head -n 1 "$dir/run/results.csv")"
grep -q '^s3_p1_0_1.9_0_checkerboard_finite_b1.9,3,"1,0,1.9,0",checkerboard,finite,6,1.9,12,true,true,6,' \
  "$dir/run/results.csv" || fail "results.csv row: $(cat "$dir/run/results.csv")"
(cd "$dir" && "$batch" --seed 3 --payoffs 1,0,1.9,0 --generations 6 --size 12 --play-self --log direct.csv 2>/dev/null)
cmp -s "$dir/direct.csv" "$dir/run/vemo_s3_p1_0_1.9_0_checkerboard_finite_b1.9.csv" || fail "varied run differs from the direct run"
# Its array task runs the same run.
mkdir "$dir/task" && cp "$dir/run/jobs.tsv" "$dir/task/"
"$(dirname "$sweep")/sweep-task" --batch "$batch" "$dir/task" 2 2>/dev/null || fail "task of a varied sweep failed"
cmp -s "$dir/direct.csv" "$dir/task/vemo_s3_p1_0_1.9_0_checkerboard_finite_b1.9.csv" || fail "varied task differs"

# --networks: a column network, coloured at random unless told; a run equals
# the same run made directly, and its task too.
"$sweep" --batch "$batch" --out "$dir/nets" --seeds 4 --generations 5 -j 2 \
  --networks "scale-free:200:2 small-world:200:4:0.1" 2>"$dir/err" || fail "network sweep failed: $(cat "$dir/err")"
head -n 1 "$dir/nets/results.csv" | grep -q '^name,seed,payoffs,layout,competition,generations,network,done,' \
  || fail "network results.csv header: $(head -n 1 "$dir/nets/results.csv")"
[ "$(grep -c ',random,finite,5,small-world:200:4:0.1,true,' "$dir/nets/results.csv")" -eq 1 ] \
  || fail "network results.csv rows: $(cat "$dir/nets/results.csv")"
(cd "$dir" && "$batch" --seed 4 --generations 5 --network small-world:200:4:0.1 --layout random --log net.csv 2>/dev/null)
cmp -s "$dir/net.csv" "$dir/nets/vemo_s4_p3_0_5_1_random_finite_networksmall-world_200_4_0.1.csv" \
  || fail "network run differs from the direct run: $(ls "$dir/nets")"
# Schedules and match lengths are lists of their own, one column each; a run
# equals the same run made directly.
refused "--schedules beside --vary schedule" --schedules synchronous --vary schedule=synchronous -- --schedule {schedule}
refused "--rounds-list beside --rounds" --rounds-list "1 2" -- --rounds 3
"$sweep" --batch "$batch" --out "$dir/rules" --seeds 4 --generations 5 -j 2 --updates "fermi proportional" \
  --schedules "synchronous random-sequential" --rounds-list "1 200" -- --size 10 2>"$dir/err" \
  || fail "sweep of rules failed: $(cat "$dir/err")"
[ "$(wc -l <"$dir/rules/results.csv")" -eq 9 ] || fail "rules sweep: $(wc -l <"$dir/rules/results.csv") lines"
head -n 1 "$dir/rules/results.csv" | grep -q '^name,seed,payoffs,layout,competition,generations,update,noise,mutation,size,schedule,rounds,done,' \
  || fail "rules results.csv header: $(head -n 1 "$dir/rules/results.csv")"
(cd "$dir" && "$batch" --seed 4 --generations 5 --size 10 --update proportional --schedule random-sequential --rounds 1 \
  --log rule-direct.csv 2>/dev/null)
cmp -s "$dir/rule-direct.csv" "$dir/rules/vemo_s4_p3_0_5_1_checkerboard_finite_uproportional_n0.1_m0_schedulerandom-sequential_rounds1.csv" \
  || fail "a rules sweep's run differs from the direct run"
echo "1 passed, 0 failed"
