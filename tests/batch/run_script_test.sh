#!/usr/bin/env bash
# scripts/run builds only the programs it starts: it configures a build of
# its own without tests, benchmarks or the Python module and builds the two
# programs' targets alone. Checked with a cmake that records what it is asked.
set -euo pipefail
scripts=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work/tree/scripts" "$work/bin"
cp "$scripts/run" "$work/tree/scripts/run"
printf '#!/usr/bin/env bash\nexit 0\n' >"$work/tree/scripts/install-deps"
cat >"$work/bin/cmake" <<FAKE
#!/usr/bin/env bash
echo "\$*" >>"$work/calls"
FAKE
chmod +x "$work/bin/cmake"
PATH=$work/bin:$PATH DISPLAY= bash "$work/tree/scripts/run" >"$work/out" 2>&1 || true

configure=$(grep -- '-S ' "$work/calls" || true)
build=$(grep -- '--build' "$work/calls" || true)
[ -n "$configure" ] && [ -n "$build" ] || fail "scripts/run did not configure and build: $(cat "$work/calls")"
for option in -DBUILD_TESTING=OFF -DTALVANE_BUILD_BENCHMARKS=OFF -DTALVANE_PYTHON=OFF; do
  [[ " $configure " == *" $option "* ]] || fail "configured without $option: $configure"
done
[[ $configure == *"-B build "* ]] && fail "scripts/run configures scripts/test's build folder: $configure"
[[ $build == *"--target talvane talvane-batch"* ]] || fail "not only the programs built: $build"
[ "$(wc -l <"$work/calls")" -eq 2 ] || fail "more cmake calls than a configure and a build: $(cat "$work/calls")"
echo "1 passed, 0 failed"
