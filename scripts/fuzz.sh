#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs the loader fuzzer.
#   scripts/fuzz.sh [seconds]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target fuzz_loader
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r fuzz/corpus/loader/. "$work/"
# New crash reproducers land in fuzz/crashes/ so they can be committed and replayed.
mkdir -p fuzz/crashes
build/fuzz/bin/fuzz_loader -max_total_time="$seconds" -max_len=65536 \
  -artifact_prefix=fuzz/crashes/ "$work" 2>&1 | tail -n 5
