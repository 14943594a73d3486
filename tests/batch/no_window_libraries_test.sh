#!/usr/bin/env bash
# talvane-batch links no window-system or GL library: those come only with the
# snapshot module it loads for --snapshot. Checks the program's own NEEDED
# entries and everything ldd resolves, then that a run with --image works
# with the module out of reach.
set -euo pipefail
batch=$1
window='lib(GL|GLX|GLU|OpenGL|EGL|X11|xcb|Xext|glut|fltk)[^ ]*\.so'

needed=$(readelf -d "$batch" | grep NEEDED || true)
if grep -Eq "$window" <<<"$needed"; then
  echo "talvane-batch needs window or GL libraries:" >&2
  grep -E "$window" <<<"$needed" >&2
  exit 1
fi
if ldd "$batch" | grep -Eq "$window"; then
  echo "talvane-batch loads window or GL libraries at start:" >&2
  ldd "$batch" | grep -E "$window" >&2
  exit 1
fi

# A copy of the program alone, without the module beside it, draws pictures.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$batch" "$work/talvane-batch"
(cd "$work" && env -u DISPLAY ./talvane-batch --generations 3 --seed 2 --image p.png --log v.csv 2>/dev/null)
[ "$(head -c 4 "$work/p.png" | tail -c 3)" = "PNG" ] || { echo "no picture written" >&2; exit 1; }
# ... and says clearly that --snapshot needs the module.
set +e
(cd "$work" && ./talvane-batch --generations 3 --snapshot s.png --log w.csv 2>"$work/err")
status=$?
set -e
if [ "$status" -ne 5 ] || ! grep -q "snapshot module" "$work/err"; then
  echo "--snapshot without its module: status $status, said: $(cat "$work/err")" >&2
  exit 1
fi
echo "talvane-batch: no window or GL libraries; --image works without the snapshot module"
