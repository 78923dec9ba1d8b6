#!/usr/bin/env bash
# Opens the bundled broadcast-wave sample in the viewer, building it first
# when needed. Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) it
# says so and shows the sample's chunk tree and structure export on the
# terminal instead, through riffoscope-cli.
#   scripts/run-viewer.sh [file.wav]
set -euo pipefail
cd "$(dirname "$0")/.."
sample="${1:-samples/broadcast-sample.wav}"
build=build/default

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  targets=(riffoscope-cli)
else
  targets=(riffoscope)
fi

if [ ! -f "$build/build.ninja" ]; then
  cmake --preset default >/dev/null
fi
cmake --build "$build" -j 2 --target "${targets[@]}" >/dev/null

if [ "${targets[0]}" = riffoscope ]; then
  exec "$build/bin/riffoscope" "$sample"
fi

echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): showing $sample with riffoscope-cli instead."
"$build/bin/riffoscope-cli" tree "$sample"
echo
"$build/bin/riffoscope-cli" export "$sample"
