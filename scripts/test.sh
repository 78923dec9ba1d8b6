#!/usr/bin/env bash
# Builds everything and runs every test: the one command a newcomer needs.
#   scripts/test.sh            default build (build/default)
#   scripts/test.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer
#   scripts/test.sh tsan       ThreadSanitizer (threaded parts only)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

scripts/install-deps.sh
jobs=$(nproc)

case "$preset" in
  tsan)
    cmake --preset tsan >/dev/null
    # Only the threaded parts are built and run under ThreadSanitizer: the
    # modules' workers and objects, the host's sink and run driver, the platform.
    threaded=(platform_tests modulekit_tests sonolint_rules_tests sonolint_engine_tests loudlint_tests host_tests)
    cmake --build --preset tsan -j "$jobs" --target "${threaded[@]}"
    pattern="^($(IFS='|'; echo "${threaded[*]}"))\\."
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp" \
      ctest --preset tsan -j "$jobs" -R "$pattern"
    ;;
  asan)
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$jobs"
    ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
    LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    QT_QPA_PLATFORM=offscreen \
      ctest --preset asan -j "$jobs"
    ;;
  default)
    cmake --preset default >/dev/null
    cmake --build --preset default -j "$jobs"
    QT_QPA_PLATFORM=offscreen ctest --preset default -j "$jobs"
    ;;
  *)
    echo "usage: scripts/test.sh [default|asan|tsan]" >&2
    exit 2
    ;;
esac
