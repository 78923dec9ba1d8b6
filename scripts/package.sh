#!/usr/bin/env bash
# Builds the Debian package riffoscope_<version>_<arch>.deb: a Release build
# (-O3) with Debian's hardening flags, programs, modules, manual pages and
# desktop files installed under /usr, dependencies computed from the binaries
# by dpkg-shlibdeps. Tests and benchmarks are not built.
#   scripts/package.sh [BUILD_DIR]    default build/package
# Prints the path of the .deb on the last line. RIFFOSCOPE_WERROR=ON makes
# compiler warnings fatal (CI sets it).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/package}"

scripts/install-deps.sh >&2

# Debian's own flags, as a debian/rules build would take them, with every
# hardening feature (binding at load time among them); CMake does not read
# CPPFLAGS, so they join the compiler flags. -g is left out: the package
# ships stripped programs and no debug symbols package.
export DEB_BUILD_MAINT_OPTIONS="${DEB_BUILD_MAINT_OPTIONS-hardening=+all}"
nog() { sed -e 's/\(^\| \)-g\( \|$\)/ /g'; }
cflags="${CFLAGS-$(dpkg-buildflags --get CFLAGS | nog) $(dpkg-buildflags --get CPPFLAGS)}"
cxxflags="${CXXFLAGS-$(dpkg-buildflags --get CXXFLAGS | nog) $(dpkg-buildflags --get CPPFLAGS)}"
ldflags="${LDFLAGS-$(dpkg-buildflags --get LDFLAGS)}"

# The flags are given on every run, so that a build folder made earlier
# takes them too (CMake reads CFLAGS and the like only into a new cache).
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" \
  -DRIFFOSCOPE_WERROR="${RIFFOSCOPE_WERROR:-OFF}" \
  -DRIFFOSCOPE_TESTS=OFF -DRIFFOSCOPE_BENCH=OFF >&2
cmake --build "$build" -j "$(nproc)" >&2
rm -f "$build"/riffoscope_*.deb
(cd "$build" && cpack -G DEB >&2)
ls "$build"/riffoscope_*.deb
