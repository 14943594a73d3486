#!/usr/bin/env bash
# The libraries of the batch runner form layers, each including only the
# headers of its own layer and those below: the output writer (engine-free),
# the run's files, the shared options, the run, the run's options, the
# program. A header that reached upwards would tie the libraries in a cycle.
set -euo pipefail
root=${1:?usage: library_layers_test.sh SOURCE_DIR}
cd "$root"

# layer NAME: the files of each layer, lowest first.
layers=(
  "outputs/output_file"
  "outputs/file_clash outputs/png_text outputs/checkpoint outputs/checkpoint_copy outputs/metadata"
  "command_line/shared_options"
  "run/run run/run_world run/world_run run/run_description run/measures run/start_conditions run/batch_plan"
  "command_line/options command_line/ecology_options command_line/graph_options"
  "batch/main batch/pictures batch/runs batch/snapshot_loader"
)

declare -A layerOf
for i in "${!layers[@]}"; do
  for stem in ${layers[$i]}; do
    layerOf[$(basename "$stem").h]=$i
  done
done

failures=0
for i in "${!layers[@]}"; do
  for stem in ${layers[$i]}; do
    for file in "$stem.h" "$stem.cpp"; do
      [ -f "$file" ] || continue
      while read -r header; do
        if [ -n "${layerOf[$header]:-}" ] && [ "${layerOf[$header]}" -gt "$i" ]; then
          echo "$file includes $header, of a layer above its own"
          failures=$((failures + 1))
        fi
        if [ "$i" -eq 0 ] && [ -f "engine/$header" ]; then
          echo "$file includes the engine's $header; the output writer knows nothing of the engine"
          failures=$((failures + 1))
        fi
      done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
    done
  done
done

# Every source of those folders belongs to a layer, so that a new file is placed on purpose.
for file in outputs/*.cpp outputs/*.h command_line/*.cpp command_line/*.h run/*.cpp run/*.h batch/*.cpp batch/*.h; do
  name=$(basename "$file")
  if [ -z "${layerOf[${name%.*}.h]:-}" ]; then
    echo "$file is in no layer of this test"
    failures=$((failures + 1))
  fi
done

[ "$failures" -eq 0 ] && echo "the libraries form layers"
exit $((failures > 0))
