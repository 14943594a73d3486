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

[ "$(wc -l <"$dir/out/jobs.tsv")" -eq 8 ] || fail "jobs.tsv should list 8 runs"
while IFS=$'\t' read -r name seed payoffs layout competition; do
  [ "$(wc -l <"$dir/out/vemo_$name.csv")" -eq 5 ] || fail "$name: log should hold 5 lines"
  [ "$(wc -l <"$dir/out/world_$name.csv")" -eq 4097 ] || fail "$name: world file should hold 4097 lines"
done <"$dir/out/jobs.tsv"

(cd "$dir" && "$batch" --seed 2 --payoffs 4,-1,6,0 --layout segregated --generations 5 --extra-point \
  --log direct.csv --save direct-world.csv 2>/dev/null)
cmp -s "$dir/direct.csv" "$dir/out/vemo_s2_p4_-1_6_0_segregated_finite.csv" || fail "sweep log differs from the direct run"
cmp -s "$dir/direct-world.csv" "$dir/out/world_s2_p4_-1_6_0_segregated_finite.csv" || fail "sweep world differs"

"$sweep" --list-only --out "$dir/listed" --seeds "3 9" --competitions "finite infinite" 2>/dev/null
[ "$(wc -l <"$dir/listed/jobs.tsv")" -eq 4 ] || fail "--list-only should list 4 runs"
[ -z "$(find "$dir/listed" -name 'vemo_*')" ] || fail "--list-only must run nothing"

if "$sweep" --batch "$batch" --out "$dir/bad" --seeds 1 --layouts stripes --generations 1 2>/dev/null; then
  fail "a sweep with a bad layout must fail"
fi
echo "1 passed, 0 failed"
