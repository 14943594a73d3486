#!/usr/bin/env bash
# Every picture the README shows is in the source tree as a PNG, and
# scripts/figures is what makes each of them.
set -euo pipefail
root=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
pictures=$(grep -o '](docs/figures/[^)]*)' "$root/README.md" | sed 's/^](//; s/)$//' | sort -u)
[ -n "$pictures" ] || fail "the README shows no pictures"
for picture in $pictures; do
  [ "$(head -c 8 "$root/$picture" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] \
    || fail "$picture is not a PNG in the source tree"
  grep -q "\$out/$(basename "$picture")" "$root/scripts/figures" || fail "scripts/figures does not make $picture"
done
# The PNGs are not ignored, so a commit takes them.
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  for picture in $pictures; do
    if git -C "$root" check-ignore -q "$picture"; then fail "$picture is ignored by git"; fi
  done
fi
echo "1 passed, 0 failed"
