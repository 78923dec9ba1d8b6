#!/usr/bin/env bash
# Installs the Debian packages the project needs, and only those missing.
# Safe to run again and again; needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config python3
  # unit tests, mocks, benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # JSON reports and summaries; the batch tests run a shard recipe with parallel
  nlohmann-json3-dev parallel
  # GUI toolkit and GUI tests (offscreen platform)
  qt6-base-dev qt6-qpa-plugins libgl-dev
  # loudness measurement (Loudlint)
  libebur128-dev
  # PDF page engine
  libcairo2-dev libpango1.0-dev libfontconfig-dev fontconfig fonts-dejavu-core fonts-liberation
  # checking PDFs in tests
  poppler-utils qpdf
  # fuzzing and sanitizers, and the source format check
  clang-14 libclang-rt-14-dev clang-format-14
  # icons, manual pages, and the Debian package with its checks
  librsvg2-bin man-db dpkg-dev fakeroot file desktop-file-utils appstream lintian
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [[ "$status" == ii* ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
