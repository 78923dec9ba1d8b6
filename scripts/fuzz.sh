#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and fuzzes them, two at a time.
#   scripts/fuzz.sh [SECONDS] [TARGET...]   fuzz each target SECONDS (default 60)
#   scripts/fuzz.sh --merge [TARGET...]     minimise fuzz/corpus/TARGET with the
#                                           seeds of fuzz/make-seeds.py and what
#                                           earlier runs found (build/fuzz/work)
# Targets: loader pipeline detector exporters structure settings hexedit text
# (default: all). Each run starts from the committed corpus plus what earlier
# runs on this machine found; logs are kept in build/fuzz/logs/TARGET.log and
# new crash reproducers land in fuzz/crashes/TARGET/, to be mended and then
# committed, as ctest replays them.
set -euo pipefail
cd "$(dirname "$0")/.."

ALL_TARGETS=(loader pipeline detector exporters structure settings hexedit text)

# Per-target libFuzzer options: input size, dictionary, time per input.
options_for() {
  local common=(-rss_limit_mb=2048 -timeout=25 -print_final_stats=1)
  case "$1" in
    loader|pipeline|structure) echo "${common[*]} -max_len=65536 -dict=fuzz/riff.dict" ;;
    detector) echo "${common[*]} -max_len=65536" ;;
    exporters) echo "${common[*]} -max_len=8192" ;;
    settings) echo "${common[*]} -max_len=16384 -dict=fuzz/store.dict" ;;
    hexedit|text) echo "${common[*]} -max_len=4096" ;;
    *) echo "unknown fuzz target: $1" >&2; return 1 ;;
  esac
}

merge=0
seconds=60
if [[ "${1:-}" == "--merge" ]]; then
  merge=1
  shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds="$1"
  shift
fi
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${ALL_TARGETS[@]}")
for target in "${targets[@]}"; do options_for "$target" >/dev/null; done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

bin=build/fuzz/bin
mkdir -p build/fuzz/logs build/fuzz/work
# The targets that write files (reports, the settings store) do so under
# TMPDIR; memory is quicker and spares the disk.
if [[ -z "${TMPDIR:-}" && -w /dev/shm ]]; then export TMPDIR=/dev/shm; fi
# The font and text layout libraries keep caches for the life of the process.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}"

if [[ $merge -eq 1 ]]; then
  seeds=$(mktemp -d)
  trap 'rm -rf "$seeds"' EXIT
  python3 fuzz/make-seeds.py "$seeds"
  for target in "${targets[@]}"; do
    merged="$seeds/merged-$target"
    mkdir -p "$merged" "build/fuzz/work/$target" "$seeds/$target"
    # shellcheck disable=SC2046
    "$bin/fuzz_$target" -merge=1 $(options_for "$target") "$merged" \
      "fuzz/corpus/$target" "$seeds/$target" "build/fuzz/work/$target" \
      >"build/fuzz/logs/$target-merge.log" 2>&1
    rm -rf "fuzz/corpus/$target"
    mv "$merged" "fuzz/corpus/$target"
    echo "$target: $(ls "fuzz/corpus/$target" | wc -l) inputs, $(du -sh "fuzz/corpus/$target" | cut -f1)"
  done
  exit 0
fi

run_one() {
  local target="$1" work="build/fuzz/work/$1" log="build/fuzz/logs/$1.log"
  mkdir -p "$work" "fuzz/crashes/$target"
  # shellcheck disable=SC2046
  if "$bin/fuzz_$target" $(options_for "$target") -max_total_time="$seconds" \
      -artifact_prefix="fuzz/crashes/$target/" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    echo "$target: clean, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') executions in ${seconds} s"
  else
    echo "$target: FAILED, see $log and fuzz/crashes/$target/"
    tail -n 30 "$log"
    return 1
  fi
}

# Two at a time: the machines this runs on have two cores or more.
parallel=$(( $(nproc) < 2 ? 1 : 2 ))
status=0
running=0
for target in "${targets[@]}"; do
  run_one "$target" &
  running=$((running + 1))
  if [[ $running -ge $parallel ]]; then
    wait -n || status=1
    running=$((running - 1))
  fi
done
while [[ $running -gt 0 ]]; do
  wait -n || status=1
  running=$((running - 1))
done
# Empty crash folders are not worth keeping.
find fuzz/crashes -type d -empty -delete 2>/dev/null || true
exit $status
