#!/usr/bin/env bash
# Opens the bundled broadcast-wave sample in the viewer, building it first
# when needed. Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) it
# says so and shows the sample's chunk tree and structure export on the
# terminal instead, through riffoscope-cli.
#   scripts/run-viewer.sh [file.wav]
#   RIFFOSCOPE_BUILD_DIR=build/mine RIFFOSCOPE_JOBS=2 scripts/run-viewer.sh
set -euo pipefail
cd "$(dirname "$0")/.."
sample="${1:-samples/broadcast-sample.wav}"
build="${RIFFOSCOPE_BUILD_DIR:-build/default}"  # another configured build folder may be named here

scripts/install-deps.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  targets=(riffoscope-cli)
else
  # The viewer finds its validation modules beside itself.
  targets=(riffoscope Sonolint riffoscope-cli)
fi

jobs="${RIFFOSCOPE_JOBS:-$(nproc)}"

if [ ! -f "$build/build.ninja" ]; then
  if [ "$build" = build/default ]; then
    cmake --preset default >/dev/null
  else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cmake --build "$build" -j "$jobs" --target "${targets[@]}" >"$log" 2>&1; then
  cat "$log" >&2
  echo "Building ${targets[*]} in $build failed." >&2
  exit 1
fi

if [ "${targets[0]}" = riffoscope ]; then
  "$build/bin/riffoscope" "$sample"
  exit $?
fi

echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): showing $sample with riffoscope-cli instead."
"$build/bin/riffoscope-cli" tree "$sample"
echo
"$build/bin/riffoscope-cli" export "$sample"
