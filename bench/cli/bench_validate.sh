#!/usr/bin/env bash
# Command-line validation speed, three figures:
#   (a) the whole-process cost of `validate` on a 44-byte WAV file (target: under 15 ms);
#   (b) one `validate --jobs 2` run over a folder of 500 files of 1 KB to 5 MB against a
#       shell loop of single-file runs over the same folder (target: at least 15 times
#       faster);
#   (c) one run on a cached 1 GiB 16-bit stereo file against `cat FILE > /dev/null`
#       (target: at most 2.5 times).
# (b) and (c) run with every module found, with a rules profile that turns off
# Loudlint's measuring rules, and with `--modules Sonolint`.
# Usage: bench/cli/bench_validate.sh [build/default/bin/riffoscope-cli]
# BENCH_FILES (500), BENCH_BIG_MIB (1024) and BENCH_RUNS (200) change the sizes;
# BENCH_BIG_MIB=0 skips (c).
set -euo pipefail
cli=$(realpath "${1:-build/default/bin/riffoscope-cli}")
files=${BENCH_FILES:-500}
big_mib=${BENCH_BIG_MIB:-1024}
runs=${BENCH_RUNS:-200}
work=$(mktemp -d "${TMPDIR:-/tmp}/riffo-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
elapsed() { python3 -c "print(f'{$2 - $1:.3f}')"; }

python3 - "$work" "$files" "$big_mib" <<'PY'
import math, os, random, struct, sys
work, count, big_mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
def header(data_bytes, channels=2, rate=44100):
    fmt = struct.pack('<HHIIHH', 1, channels, rate, rate * channels * 2, channels * 2, 16)
    return (b'RIFF' + struct.pack('<I', 36 + data_bytes) + b'WAVE' + b'fmt ' +
            struct.pack('<I', 16) + fmt + b'data' + struct.pack('<I', data_bytes))
with open(os.path.join(work, 'tiny.wav'), 'wb') as f:
    f.write(header(0))
# A second of programme-like signal (a tone with a little noise), repeated.
rng = random.Random(7)
second = b''.join(struct.pack('<hh', int(8000 * math.sin(i / 20.0)) + rng.randint(-300, 300),
                              int(8000 * math.sin(i / 23.0)) + rng.randint(-300, 300))
                  for i in range(44100))
def write(path, size):
    data = (second * (size // len(second) + 1))[:size - size % 4]
    with open(path, 'wb') as f:
        f.write(header(len(data)) + data)
# Sizes spread evenly on a log scale from 1 KB to 5 MB.
os.makedirs(os.path.join(work, 'folder'))
for i in range(count):
    size = int(1000 * (5000 ** (i / max(1, count - 1))))
    write(os.path.join(work, 'folder', f'f{i:04d}.wav'), max(size, 64))
if big_mib > 0:
    chunk = second * 100
    with open(os.path.join(work, 'big.wav'), 'wb') as f:
        total = big_mib * 1024 * 1024 - 44
        f.write(header(total))
        while total > 0:
            piece = chunk[:min(len(chunk), total)]
            f.write(piece)
            total -= len(piece)
PY

echo "riffoscope-cli: $cli"
echo "modules beside it: $(cd "$(dirname "$cli")" && ls *.qvx 2>/dev/null | tr '\n' ' ')"

# (a) whole-process cost per 44-byte file. A module may find fault with a file
# that holds no audio (exit status 1): the verdict does not matter here.
"$cli" validate "$work/tiny.wav" >/dev/null || true
start=$(now)
for ((i = 0; i < runs; i++)); do "$cli" validate "$work/tiny.wav" >/dev/null || true; done
end=$(now)
python3 -c "print(f'(a) validate on a 44-byte WAV: {($end - $start) / $runs * 1000:.1f} ms per run ({$runs} runs; target < 15 ms)')"

# (b) and (c) for one choice of modules and rules (the options after the
# label): a batch over a whole archive that does not want the loudness
# measured turns off Loudlint's measuring rules or runs Sonolint alone.
measure() {
  local label="$1"
  shift
  local batch loop catTime run
  bytes=$(du -sb "$work/folder" | cut -f1)
  cat "$work"/folder/* >/dev/null
  # A batch run of the small files takes a fraction of a second, so one
  # stray pause of the machine moves it a lot: the median of three runs.
  local times=()
  for ((i = 0; i < 3; i++)); do
    start=$(now)
    "$cli" validate "$@" --jobs 2 --quiet "$work/folder" >/dev/null || true
    end=$(now)
    times+=("$(elapsed "$start" "$end")")
  done
  batch=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)
  start=$(now)
  for f in "$work"/folder/*.wav; do "$cli" validate "$@" "$f" >/dev/null || true; done
  end=$(now)
  loop=$(elapsed "$start" "$end")
  python3 -c "print(f'(b) [$label] {$files} files, {$bytes / 1e6:.0f} MB: --jobs 2 run {$batch} s (median of ${times[*]}), shell loop {$loop} s: {$loop / $batch:.1f} times faster (target >= 15)')"

  if ((big_mib > 0)); then
    cat "$work/big.wav" >/dev/null
    start=$(now)
    cat "$work/big.wav" >/dev/null
    end=$(now)
    catTime=$(elapsed "$start" "$end")
    start=$(now)
    "$cli" validate "$@" "$work/big.wav" >/dev/null || true
    end=$(now)
    run=$(elapsed "$start" "$end")
    python3 -c "print(f'(c) [$label] {$big_mib} MiB cached file: validate {$run} s, cat {$catTime} s: {$run / $catTime:.2f} times (target <= 2.5)')"
  fi
}

modules=$(cd "$(dirname "$cli")" && ls ./*.qvx 2>/dev/null | sed 's|^\./||; s|\.qvx$||' | paste -sd, -)
measure "every module: $modules"
if [[ "$modules" == *Loudlint* ]]; then
  # The profile of docs/cli.md with which Loudlint reads no sample.
  printf '%s = off\n' 611 612 613 614 615 616 621 622 630 640 641 642 643 >"$work/structural.txt"
  measure "every module, --rules structural.txt" --rules "$work/structural.txt"
fi
if [[ "$modules" == *Sonolint* && "$modules" != Sonolint ]]; then
  measure "--modules Sonolint" --modules Sonolint
fi
