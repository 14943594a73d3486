#!/usr/bin/env bash
# The snapshot library draws the frame description it is handed and carries
# everything it uses: no engine symbol is left for talvane-batch to provide,
# it exports only its entry points, and it holds no engine of its own (no
# shared record, no World). talvane-batch exports nothing for it. The Python
# picture module, when given, holds no engine either: the package's one
# engine is talvane._talvane's.
set -euo pipefail
batch=$1
library=$2
picture=${3:-}

fail() { echo "$*" >&2; exit 1; }

# The names a file defines, demangled, one a line.
defined() { nm -C --defined-only "$1" | awk '{ $1 = ""; $2 = ""; print substr($0, 3) }'; }

# No engine: neither the shared record, nor worlds, nor seeding or scoring.
engine='talvane::(sim$|resetSimState|World::|classifyGame|strategyNames|colorNames|seedWorld|finitePayoffTable)'

undefined=$(nm -uC "$library" | grep 'talvane::' || true)
[ -z "$undefined" ] || fail "$library leaves talvane symbols to the program: $undefined"
exports=$(nm -DC --defined-only "$library" | awk '$2 ~ /[TDBR]/ {print $3}' | grep -v '^_' | sort)
[ "$exports" = "$(printf '%s\n' talvane_snapshot_check talvane_snapshot_description_size talvane_snapshot_render)" ] ||
  fail "$library exports more than its entry points: $exports"
carried=$(defined "$library" | grep -E "$engine" || true)
[ -z "$carried" ] || fail "$library carries engine code: $(head -3 <<<"$carried")"
batch_exports=$(nm -DC --defined-only "$batch" | grep 'talvane::' || true)
[ -z "$batch_exports" ] || fail "talvane-batch exports engine symbols: $(head -3 <<<"$batch_exports")"

if [ -n "$picture" ]; then
  undefined=$(nm -uC "$picture" | grep 'talvane::' || true)
  [ -z "$undefined" ] || fail "$picture leaves talvane symbols undefined: $undefined"
  carried=$(defined "$picture" | grep -E "$engine" || true)
  [ -z "$carried" ] || fail "$picture carries an engine: $(head -3 <<<"$carried")"
fi
echo "snapshot library: self-contained, no engine, only its entry points exported"
