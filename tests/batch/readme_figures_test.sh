#!/usr/bin/env bash
# Every picture the README shows is in the source tree as a PNG, and
# scripts/figures is what makes each of them. Every picture a page of docs/
# shows is a PNG in the tree too, and every relative link to a page (.md) from
# the README or from docs/ names a file that is there, and a heading of it when
# the link has one (#anchor, as GitHub spells headings); other relative links
# name files or folders that are there.
set -euo pipefail
root=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
is_png() { [ "$(head -c 8 "$1" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; }
in_git=false
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then in_git=true; fi
# The PNGs are not ignored, so a commit takes them.
not_ignored() {
  if $in_git && git -C "$root" check-ignore -q "$1"; then fail "$1 is ignored by git"; fi
}
# The targets of the links in a Markdown file: "](target)", alt texts and link
# texts may span lines, the "](target)" part never does.
targets() { grep -o '](\([^)]*\))' "$1" | sed 's/^](//; s/)$//' | sort -u || true; }

pictures=$(grep -o '](docs/figures/[^)]*)' "$root/README.md" | sed 's/^](//; s/)$//' | sort -u)
[ -n "$pictures" ] || fail "the README shows no pictures"
for picture in $pictures; do
  is_png "$root/$picture" || fail "$picture is not a PNG in the source tree"
  grep -q "\$out/$(basename "$picture")" "$root/scripts/figures" || fail "scripts/figures does not make $picture"
  not_ignored "$picture"
done

pages=("$root/README.md" "$root"/docs/*.md)
[ -e "${pages[1]}" ] || fail "docs/ holds no pages"
# GitHub's anchor of each heading of a page: lower case, punctuation but "-"
# and "_" dropped, spaces made "-" (code spans keep their text). Letters
# outside ASCII are dropped here, which GitHub keeps: link to such headings
# by another.
anchors() {
  grep -E '^#{1,6} ' "$1" | sed -E 's/^#+ +//' | tr 'A-Z' 'a-z' \
    | sed -E 's/[^a-z0-9 _-]//g; s/ /-/g'
}
links=0
for page in "${pages[@]}"; do
  dir=$(dirname "$page")
  name=${page#"$root"/}
  while IFS= read -r target; do
    [ -n "$target" ] || continue
    case $target in
      *://*|mailto:*|\#*) continue ;;
    esac
    file=${target%%#*}
    case $file in
      *.png)
        [ "$name" = README.md ] && continue   # checked above, with scripts/figures
        is_png "$dir/$file" || fail "$name shows $file, which is not a PNG in the source tree"
        not_ignored "${dir#"$root"/}/$file" ;;
      *.md)
        [ -f "$dir/$file" ] || fail "$name links to $file, which is not there"
        links=$((links + 1))
        if [ "$file" != "$target" ]; then
          anchor=${target#*#}
          anchors "$dir/$file" | grep -qxF "$anchor" \
            || fail "$name links to $target: $file has no heading with the anchor #$anchor"
        fi ;;
      *)
        [ -e "$dir/$file" ] || fail "$name links to $file, which is not there" ;;
    esac
  done < <(targets "$page")
done
[ "$links" -gt 0 ] || fail "no page links to another"
echo "1 passed, 0 failed"
