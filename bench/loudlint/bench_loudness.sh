#!/usr/bin/env bash
# Times the loudness measurement with true peak of a 10-minute 48 kHz stereo
# 24-bit file against ffmpeg's ebur128 filter on the same file, in the same
# run, and prints both results and the ratio (ffmpeg's time over ours). Then times the measurement of a
# 30-minute 48 kHz stereo 16-bit file with every rule on against a profile with
# the true-peak rules (615, 622, 630) off, which skips the oversampling.
#
#   bench/loudlint/bench_loudness.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR defaults to build/default (it must hold bin/loudlint_measure);
# RUNS (default 3) alternates the two meters (the two profiles) and keeps each
# one's best time. The load average is printed with the figures: on a busy
# machine the times grow and the ratios move.
set -euo pipefail

build=${1:-build/default}
runs=${2:-3}
measure="$build/bin/loudlint_measure"
[[ -x "$measure" ]] || { echo "bench_loudness: $measure not built" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "bench_loudness: ffmpeg not found" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# noise FILE SECONDS SEED CODEC: two independent pink-noise channels whose
# level changes every few seconds, so the gates and the range have work to do.
noise() {
  ffmpeg -hide_banner -loglevel error -f lavfi \
    -i "anoisesrc=d=$2:c=pink:r=48000:a=0.25:seed=$3" -f lavfi \
    -i "anoisesrc=d=$2:c=pink:r=48000:a=0.25:seed=$(($3 + 1))" \
    -filter_complex "[0][1]amerge=inputs=2,volume='0.5+0.4*sin(t/3)':eval=frame" \
    -c:a "$4" "$1"
}

now() { date +%s.%N; }
# timed BEST_VAR OUT_VAR COMMAND...: runs the command, keeps its first output
# line in OUT_VAR and lowers BEST_VAR to its time when it was faster.
timed() {
  local -n best=$1 out=$2
  shift 2
  local start t
  start=$(now)
  out=$("$@" | head -1)
  t=$(echo "$(now) - $start" | bc -l)
  if (($(echo "$t < $best" | bc -l))); then best=$t; fi
}
ffmpeg_ebur128() {
  ffmpeg -hide_banner -nostats -i "$1" -af ebur128=peak=true -f null - 2>&1 |
    sed -n '/Summary:/,$p' | grep -E " I:|LRA:|Peak:" | tr -s ' ' | tr '\n' ' '
  echo
}

file="$work/programme.wav"
noise "$file" 600 1 pcm_s24le
best_ours=999999
best_ffmpeg=999999
for ((i = 0; i < runs; ++i)); do
  timed best_ours ours "$measure" "$file"
  timed best_ffmpeg theirs ffmpeg_ebur128 "$file"
done

echo "file: 600 s, 48000 Hz, 2 channels, 24-bit; cores: $(nproc); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "loudlint: $ours"
echo "ffmpeg:   $theirs"
printf 'best of %d: loudlint %.2f s, ffmpeg %.2f s, ratio %.2f\n' "$runs" "$best_ours" "$best_ffmpeg" \
  "$(echo "$best_ffmpeg / $best_ours" | bc -l)"

# A 30-minute 16-bit programme: the same kind of noise, true-peak rules on and off.
long="$work/long16.wav"
noise "$long" 1800 3 pcm_s16le
rm -f "$file"
best_on=999999
best_off=999999
for ((i = 0; i < runs; ++i)); do
  timed best_on on "$measure" "$long" 0
  timed best_off off "$measure" "$long" 0 615,622,630
done
echo "file: 1800 s, 48000 Hz, 2 channels, 16-bit; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "every rule on:         $on"
echo "615, 622, 630 off:     $off"
printf 'best of %d: every rule on %.2f s, true-peak rules off %.2f s, ratio %.2f\n' "$runs" \
  "$best_on" "$best_off" "$(echo "$best_on / $best_off" | bc -l)"
