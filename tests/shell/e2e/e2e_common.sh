# What the desktop end-to-end tests share: the arguments (TALVANE X_PROBE),
# the skip when there is no display, a private working directory, a client
# that keeps the X server from resetting, and the helpers for waiting,
# failing and reading the window. Sourced, not run.

talvane=$1
probe=$2

if [ -z "${DISPLAY:-}" ] || ! command -v xdotool >/dev/null; then
  echo "no X display or no xdotool: skipped"
  exit 77
fi

work=$(mktemp -d)
pid=""
wid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
  exec 3>&- 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# One client stays connected for the whole test: an X server whose last
# client leaves resets, and refuses connections meanwhile.
mkfifo hold
"$probe" hold < hold > hold.out &
exec 3> hold
wait_ready() { grep -q ready hold.out; }

step() { echo "--- $*"; }
# shot NAME: keeps a picture of the window in $E2E_SHOTS, when that is set.
shot() { [ -z "${E2E_SHOTS:-}" ] || "$probe" ppm "$wid" "$E2E_SHOTS/$1.ppm"; }
fail() {
  echo "FAIL: $*" >&2
  [ -z "${E2E_SHOTS:-}" ] || [ -z "$wid" ] || "$probe" ppm "$wid" "$E2E_SHOTS/failure.ppm" || true
  exit 1
}

# wait_for SECONDS DESCRIPTION COMMAND...: polls COMMAND every 50 ms.
wait_for() {
  local seconds=$1 what=$2; shift 2
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || fail "timed out after ${seconds}s waiting for: $what"
    sleep 0.05
  done
}

xdo() { xdotool "$@" 2>/dev/null; }
