#!/usr/bin/env bash
# One sweep sets the ecology rule against its imitation control: each rule's
# mutation default, the four types' shares in results.csv, each run equal to
# the same run made directly; and scripts/plot types draws and averages them.
set -euo pipefail
sweep=$1
plot=$2
batch=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

"$sweep" --batch "$batch" --out "$dir/out" --seeds 1-2 --layouts random --updates "ecology synchronous" \
  --generations 150 -j 2 -- --size 20 --neighbourhood von-neumann --colors 4 --self-pool 0,7 --other-pool 0,7 \
  2>"$dir/err" || fail "sweep failed: $(cat "$dir/err")"
results=$dir/out/results.csv
head -1 "$results" | grep -q ',agents_last100,ethnocentric_last100,humanitarian_last100,selfish_last100,traitorous_last100$' \
  || fail "results.csv lacks the types' columns: $(head -1 "$results")"
[ "$(grep -c ',ecology,0.1,0.005,' "$results")" = 2 ] || fail "ecology runs do not take mutation 0.005"
[ "$(grep -c ',synchronous,0.1,0,' "$results")" = 2 ] || fail "imitation runs do not take mutation 0"
# The four shares of each run add up to 1 (the pools hold only the four types).
/usr/bin/python3 - "$results" <<'PY' || fail "shares do not add up to 1"
import csv, sys
for row in csv.DictReader(open(sys.argv[1])):
    total = sum(float(row[f"{t}_last100"]) for t in ("ethnocentric", "humanitarian", "selfish", "traitorous"))
    assert abs(total - 1) < 1e-5, (row["name"], total)
PY
# A run of the sweep equals the same run made directly.
(cd "$dir" && "$batch" --seed 2 --update ecology --size 20 --neighbourhood von-neumann --generations 150 \
  --log direct.csv 2>/dev/null)
cmp -s "$dir/direct.csv" "$dir/out/vemo_s2_p3_0_5_1_random_finite_uecology_n0.1_m0.005.csv" \
  || fail "the sweep's ecology run differs from the direct run"

# plot types: the mean of both ecology tables, and the window's table.
"$plot" types "$dir"/out/stats_s1_*uecology*.csv "$dir"/out/stats_s2_*uecology*.csv --window 100:150 \
  -o "$dir/types.png" >"$dir/table.txt" || fail "plot types failed"
[ "$(head -c 8 "$dir/types.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "no PNG"
grep -q '^ethnocentric  0\.[0-9]\{4\} ' "$dir/table.txt" || fail "no table: $(cat "$dir/table.txt")"
if "$plot" types "$dir/out/vemo_s2_p3_0_5_1_random_finite_uecology_n0.1_m0.005.csv" -o "$dir/x.png" 2>"$dir/err"; then
  fail "plot types took a population log"
fi
grep -q "no column" "$dir/err" || fail "plot types: $(cat "$dir/err")"
echo "1 passed, 0 failed"
