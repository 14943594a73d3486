#!/usr/bin/env bash
# Measurements inside a run: each window mean and spread against the same
# numbers worked out from the statistics table and the population log of the
# run; the refusals; a sweep's results.csv columns and no statistics tables.
set -euo pipefail
sweep=$1
batch=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# A world of every strategy in two colours, so that the shares, the strategy
# counts and the two cooperation rates all differ from one another: on a
# lattice, and on a graph (measured on its nodes, as its table counts them).
for world in "--size 30" "--network small-world:900:4:0.1 --layout segregated"; do
# shellcheck disable=SC2086
"$batch" --seed 3 $world --generations 60 --payoffs 3,0,5,1 --window 5:15 \
  --measure share:6/6,self:TFT --measure other:AllD --measure coop_same,coop_other,red_coop_other,settled \
  --stats "$dir/stats.csv" --log "$dir/vemo.csv" 2>/dev/null || fail "$world: the measured run failed"
python3 - "$dir" <<'PY'
import csv, json, math, sys
d = sys.argv[1]
record = json.load(open(f"{d}/vemo.json"))
got = record["measures"]
stats = list(csv.DictReader(open(f"{d}/stats.csv")))
log = [list(map(int, line.split(","))) for line in open(f"{d}/vemo.csv")]  # generations 1, 2, ...
window = range(5, 16)

def mean_sd(values):
    n = len(values)
    m = sum(values) / n
    return m, math.sqrt(sum((v - m) ** 2 for v in values) / n)

rows = {int(r["generation"]): r for r in stats}
cells = float(rows[0]["all_cells"])
expected = {
    "share:6/6": [log[g - 1][6 * 8 + 6] / cells for g in window],
    "self:TFT": [float(rows[g]["all_self_6"]) / cells for g in window],
    "other:AllD": [float(rows[g]["all_other_0"]) / cells for g in window],
    "coop_same": [float(rows[g]["all_coop_same"]) for g in window],
    "coop_other": [float(rows[g]["all_coop_other"]) for g in window],
    "red_coop_other": [float(rows[g]["red_coop_other"]) for g in window],
}
for name, values in expected.items():
    m, sd = mean_sd(values)
    entry = got[name]
    # The table holds six decimals; the measurement is taken before rounding.
    if abs(entry["mean"] - m) > 1e-6 or abs(entry["sd"] - sd) > 2e-6:
        sys.exit(f"FAIL: {name}: {entry} against mean {m}, sd {sd}")
    if (entry["from"], entry["to"], entry["samples"]) != (5, 15, 11):
        sys.exit(f"FAIL: {name}: window {entry}")
    if not 0 < sd:
        sys.exit(f"FAIL: {name}: a world of every strategy should move over the window")
if len({round(got[n]["mean"], 9) for n in expected}) != len(expected):
    sys.exit(f"FAIL: measurements that should differ are equal: {got}")
settled = record["settled_generation"]
if got["settled"]["mean"] != settled:
    sys.exit(f"FAIL: settled {got['settled']} against the record's {settled}")
if record["options"]["--window"] != "5:15":
    sys.exit("FAIL: the record should list --window")
PY
done

# The default window is the last tenth; a run without measurements has no
# "measures" and does not list the two options in its record.
"$batch" --seed 3 --size 20 --generations 95 --measure coop_same --log "$dir/tenth.csv" 2>/dev/null
python3 -c "
import json, sys
m = json.load(open('$dir/tenth.json'))['measures']['coop_same']
sys.exit(0 if (m['from'], m['to'], m['samples']) == (86, 95, 10) else f'FAIL: default window {m}')"
"$batch" --seed 3 --size 20 --generations 5 --log "$dir/plain.csv" 2>/dev/null
! grep -q -e '"measures"' -e '--measure' -e '--window' "$dir/plain.json" || fail "a plain run's record names the measurements"

refused() {
  local what=$1; shift
  local status=0
  "$batch" --seed 1 --size 10 --generations 20 --log "$dir/refused.csv" "$@" 2>"$dir/err" || status=$?
  [ "$status" -eq 2 ] || fail "$what: status $status, not 2"
  grep -q '^talvane-batch: ' "$dir/err" || fail "$what: $(cat "$dir/err")"
  [ ! -e "$dir/refused.csv" ] || fail "$what: a refused run wrote its log"
}
refused "an unknown measurement" --measure shares:7/7
refused "a pair out of range" --measure share:9/7
refused "a window after the run" --measure coop_same --window 10:21
refused "a window backwards" --measure coop_same --window 15:10
refused "a window with no measurement" --window 10:20
refused "one measurement twice" --measure coop_same,coop_same
refused "measurements of numbered runs" --measure coop_same --runs 2

# A sweep: a column per variable, two per measurement, no statistics tables.
"$sweep" --out "$dir/sw" --vary b=1.5,1.9 --vary seed=1-2 --generations 40 -j 2 --batch "$batch" \
  --measure share:7/7 --measure coop_same --window 30:40 \
  -- --payoffs 1,0,{b},0 --size 30 --play-self --mix 7/7:0.9,0/0:0.1 2>/dev/null
ls "$dir/sw" | grep -q '^stats_' && fail "a sweep with measurements wrote statistics tables"
python3 - "$dir/sw" <<'PY'
import csv, json, sys
d = sys.argv[1]
rows = list(csv.DictReader(open(f"{d}/results.csv")))
if len(rows) != 4:
    sys.exit(f"FAIL: {len(rows)} rows")
for c in ("b", "share:7/7", "share:7/7_sd", "coop_same", "coop_same_sd"):
    if c not in rows[0]:
        sys.exit(f"FAIL: no column {c}: {list(rows[0])}")
for r in rows:
    m = json.load(open(f"{d}/vemo_{r['name']}.json"))["measures"]
    if float(r["share:7/7"]) != m["share:7/7"]["mean"] or float(r["coop_same_sd"]) != m["coop_same"]["sd"]:
        sys.exit(f"FAIL: {r['name']}: results.csv {r} against its record {m}")
# Under play-self AllC and AllD, every cooperator cooperates in every game.
if any(abs(float(r["share:7/7"]) - float(r["coop_same"])) > 1e-12 for r in rows):
    sys.exit("FAIL: the cooperators' share should be the cooperation rate")
if sorted(r["b"] for r in rows) != ["1.5", "1.5", "1.9", "1.9"]:
    sys.exit("FAIL: column b")
PY
status=0
"$sweep" --list-only --out "$dir/nowindow" --window 1:2 -- --size 10 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "--window with no --measure in a sweep: status $status"
echo "measures: all checks passed"
