#!/usr/bin/env bash
# scripts/plot draws each figure from small outputs: the file is there, a PNG
# (or PDF) of a sensible size, and the program's colours are on it where they
# belong.
set -euo pipefail
plot=$1
batch=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$plot" --help | grep -q "shares" || { echo "plot --help names no figures" >&2; exit 1; }

"$batch" --generations 30 --seed 4 --size 16 --log vemo.csv --save world.csv 2>/dev/null
"$plot" shares vemo.csv -o shares.png >/dev/null
"$plot" shares vemo.csv -o shares.pdf >/dev/null
[ "$(head -c 4 shares.pdf)" = "%PDF" ] || { echo "shares.pdf is not a PDF" >&2; exit 1; }

# A world of 4 rows and 6 columns: row 3 plays AllC (blue), the rest AllD (green).
{
  echo "row,col,color,self,other"
  for r in 0 1 2 3; do for c in 0 1 2 3 4 5; do
    if [ $r -eq 3 ]; then echo "$r,$c,2,7,7"; else echo "$r,$c,0,0,0"; fi
  done; done
} >small.csv
"$plot" world small.csv -o small.png >/dev/null
"$plot" world small.csv --show colors -o small-colors.png >/dev/null
"$plot" world world.csv -o world.png >/dev/null

# A sweep: the cooperator share steps down as b passes 1.8, two seeds each.
{
  echo "seed,b,layout,share"
  for seed in 1 2; do
    for b in 1.2 1.4 1.6 1.8 2.0 2.2; do
      case $b in 1.2|1.4|1.6) share=0.9 ;; *) share=0.3 ;; esac
      echo "$seed,$b,random,$share"; echo "$seed,$b,checkerboard,$share"
    done
  done
} >results.csv
"$plot" sweep results.csv --x b --y share --drawstyle steps-mid -o step.png >/dev/null
"$plot" sweep results.csv --x b --y share --by layout -o bylayout.png >/dev/null
"$plot" sweep results.csv --x b --y seed --value share --heat -o heat.png >/dev/null

# A sweep's measurement with one run at each b: the band is each run's own
# spread over its window (column NAME_sd), so the figure differs from one
# drawn from the means alone.
printf 'b,share:7/7,share:7/7_sd\n1.5,0.75,0.01\n1.7,0.68,0.05\n1.9,0.32,0.03\n' >measured.csv
cut -d, -f1,2 measured.csv >means.csv
"$plot" sweep measured.csv --x b --y share:7/7 -o band.png >/dev/null
"$plot" sweep means.csv --x b --y share:7/7 -o noband.png >/dev/null
! cmp -s band.png noband.png || { echo "the window's spread draws no band" >&2; exit 1; }

printf 'generation,all_coop_same,all_coop_other,green_coop_same\n0,0.5,0.4,0.6\n1,0.6,0.3,0.7\n2,0.7,0.2,0.8\n' >stats.csv
"$plot" stats stats.csv -o coop.png >/dev/null

# Bad input: one line, no figure.
if "$plot" sweep results.csv --x nothing --y share -o bad.png 2>err.txt; then
  echo "a missing column was accepted" >&2; exit 1
fi
grep -q "no column nothing" err.txt && [ ! -e bad.png ] || { echo "missing column: $(cat err.txt)" >&2; exit 1; }

# Inputs and options that cannot make the figure asked for: one line naming
# the fault, status 2, no traceback and no figure; the input is never written over.
"$batch" --generations 4 --seed 2 --size 8 --stats table.csv --log tiny.csv 2>/dev/null
awk '{ print $0 ",0" }' tiny.csv >wide.csv
awk -F, -v OFS=, 'NR == 3 { $3 = 9 } 1' small.csv >code9.csv
awk -F, -v OFS=, 'NR == 4 { $4 = -1 } 1' small.csv >negative.csv
awk -F, -v OFS=, 'NR == 5 { $5 = 1.5 } 1' small.csv >fraction.csv
head -n 10 small.csv >partial.csv
cp tiny.csv log.png
refused() {
  local what=$1; shift
  rm -f bad.png
  if "$plot" "$@" >/dev/null 2>err.txt; then
    echo "$what: accepted" >&2; exit 1
  else
    code=$?
  fi
  [ "$code" -eq 2 ] || { echo "$what: status $code, not 2: $(cat err.txt)" >&2; exit 1; }
  [ "$(wc -l <err.txt)" -eq 1 ] && grep -q '^plot: ' err.txt && ! grep -q Traceback err.txt \
    || { echo "$what: not one line: $(cat err.txt)" >&2; exit 1; }
  [ ! -e bad.png ] || { echo "$what: a figure was written" >&2; exit 1; }
}
refused "a statistics table as a log" shares table.csv -o bad.png
refused "a world file as a log" shares small.csv -o bad.png
refused "a log of 65 columns" shares wide.csv -o bad.png
refused "a world with colour code 9" world code9.csv -o bad.png
refused "a world with code -1" world negative.csv -o bad.png
refused "a world with code 1.5" world fraction.csv -o bad.png
refused "a world missing cells" world partial.csv -o bad.png
refused "a log as a world" world tiny.csv -o bad.png
refused "a log as a statistics table" stats tiny.csv -o bad.png
refused "a missing input" shares nothing/here.csv -o bad.png
refused "a folder as input" shares . -o bad.png
refused "-o o.txt" shares tiny.csv -o bad.txt
refused "a missing output folder" shares tiny.csv -o nothing/bad.png
refused "--dpi 0" shares tiny.csv --dpi 0 -o bad.png
refused "the input as output" shares log.png
refused "the input as output by another spelling" shares tiny.csv -o ./tiny.csv
cmp -s log.png tiny.csv || { echo "plot wrote over its own input" >&2; exit 1; }
grep -q "code 0 to 7" <("$plot" world code9.csv -o bad.png 2>&1) || { echo "code 9: the message names no code" >&2; exit 1; }

/usr/bin/python3 - <<'PY'
import sys
import matplotlib.image as mpimg
import numpy as np

def load(name):
    image = mpimg.imread(name)[:, :, :3]
    return np.rint(image * 255).astype(int)

def where(image, rgb, tolerance=3):
    return np.all(np.abs(image - np.array(rgb)) <= tolerance, axis=2)

failures = []
def check(condition, what):
    if not condition:
        failures.append(what)

for name, low in [("shares.png", 600), ("small.png", 300), ("world.png", 300), ("step.png", 300),
                  ("bylayout.png", 300), ("heat.png", 300), ("coop.png", 300)]:
    image = load(name)
    check(image.shape[1] >= low and image.shape[0] >= 200, f"{name}: {image.shape[1]} x {image.shape[0]}")

shares = load("shares.png")
check(where(shares, (79, 79, 79)).sum() > 50, "shares: no TFT line (dark grey)")
check(where(shares, (0, 0, 255)).sum() > 50, "shares: no AllC line (blue)")

small = load("small.png")
blue, green = where(small, (0, 0, 255)), where(small, (0, 255, 0))
check(blue.sum() > 100 and green.sum() > 100, "world: AllC and AllD cells missing")
if blue.sum() and green.sum():
    # Along a line through the middle of the grid, row 3 (the last row) lies
    # at the right, as in the window.
    middle = small.shape[0] * 2 // 5
    blue_x = np.nonzero(blue[middle])[0]
    green_x = np.nonzero(green[middle])[0]
    check(len(blue_x) > 0 and len(green_x) > 0 and blue_x.min() >= green_x.max(), "world: row 3 is not at the right")
    # Six columns down, four rows across: the blue band is taller than wide.
    ys, xs = np.nonzero(blue[:, blue_x.min():] if len(blue_x) else blue)
    check(len(ys) > 0 and ys.max() - ys.min() > 2 * (xs.max() - xs.min()), "world: columns do not run down")
colors = load("small-colors.png")
check(where(colors, (255, 0, 0)).sum() > 100, "world colours: no Red cells")

step = load("step.png")
check(where(step, (0, 0, 0), 40).sum() > 200, "sweep: no black line")
check(where(load("bylayout.png"), (0, 0, 255), 10).sum() > 30, "sweep by layout: first line not blue")
check(where(load("coop.png"), (0, 178, 0), 10).sum() > 30, "stats: no green_ line")

if failures:
    print("\n".join(failures), file=sys.stderr)
    sys.exit(1)
PY
echo "plot: every figure drawn"
