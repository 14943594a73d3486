#!/usr/bin/env bash
# Outputs of 64 x 64 runs pinned by checksum: the log and the final world of
# each seed and option set must stay byte for byte what they have always been.
set -euo pipefail
batch=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

failures=0
check() {  # name, log sha256, world sha256, options...
  local name=$1 log_sum=$2 world_sum=$3; shift 3
  "$batch" "$@" --log "$name.csv" --save "$name-world.csv" 2>/dev/null || { echo "FAIL: $name: exit $?"; failures=1; return; }
  local got_log got_world
  got_log=$(sha256sum <"$name.csv" | cut -c1-64)
  got_world=$(sha256sum <"$name-world.csv" | cut -c1-64)
  [ "$got_log" = "$log_sum" ] || { echo "FAIL: $name: log differs ($*)"; failures=1; }
  [ "$got_world" = "$world_sum" ] || { echo "FAIL: $name: world differs ($*)"; failures=1; }
}

check a e3bd62755fa2cd7d34632b67d8743b1a89a78e8969423b613b901ba23311afd6 abf8069982d1b9b8528910aa145bc0917bac727a386ae5014403b13a4e651b89 \
  --seed 1 --generations 300
check b 1e7b638651edb622285fd734aa77dcabe59677f107cbbdbd643520f3c3d1bae5 d59575c1f2d94e0653713ea5082f4609cd5d2b4b17dc19ff8e8dca3360978b54 \
  --seed 42 --generations 200 --layout random --extra-point --play-self
check c d1a7450ca77fc5a76023a117d06628f1b0bed9aeaf26c88344180aee4a12ab4c ada7a7e81fa89362c53222694a812e8c561ff8b162098b42aa3cfe2a6096173d \
  --seed 7 --generations 150 --layout segregated --competition infinite
check d 92e5bab89fb20244fff3aff7c9b754555b06fcf00d3f5db426a2d131ae486601 deaac3e7838d4f93b201f6d6834c6d18b9d7c43f98b0fb844b8c57331bd60d4b \
  --seed 99 --generations 100 --payoffs 10,0,19,0 --self-pool 0,6,7 --other-pool 1,2,3
check e 34d8b74378fdc889b5ae61ae4d26df6d8ae0ea50ee5e2fc712a6ac041d1e0d0e 8d54a07c1dcb912050782f5a2268a80413d78faf6298315c8b77a31ff45aa69f \
  --seed 123 --generations 120 --payoffs -3,-5,2,-1 --play-self
check f ccca879c75747255711517e7f3674be7e4b5de9f08453366c9283b6121360aeb 4841dae4b9c960b8e62b3c2c857398e45f184ed6ab607ee3762e6cb35806347b \
  --seed 5 --generations 50 --extra-point --competition infinite --layout random
# A loaded world (the final world of run a) run on with another seed.
check g 68f28c34fa5030737c8fd375374ac57d3ded7d16ed5727f7ceac2c10f469ff27 871505b60f1b4aa8ab1bd73e70a7aea83c35c068985bdf3ec563e6907ce80655 \
  --seed 3 --generations 80 --load a-world.csv
exit $failures
