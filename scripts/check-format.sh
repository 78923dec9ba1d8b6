#!/usr/bin/env bash
# Checks that C++ sources follow .clang-format.
#   scripts/check-format.sh            files changed since the merge base with main
#                                      (every tracked source when run on main itself)
#   scripts/check-format.sh --all      every tracked source
#   scripts/check-format.sh REF        files changed since REF
# Prints the files that need formatting and exits 1 if there are any; run
# `clang-format -i FILE` to fix one.
set -euo pipefail
cd "$(dirname "$0")/.."

formatter=$(command -v clang-format-14 || command -v clang-format || true)
if [[ -z "$formatter" ]]; then
  echo "check-format: clang-format not found" >&2
  exit 2
fi

mode="${1:-}"
if [[ "$mode" == "--all" ]]; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  base="$mode"
  if [[ -z "$base" ]]; then
    base=$(git merge-base HEAD main 2>/dev/null || git merge-base HEAD origin/main 2>/dev/null || true)
    # On main itself (or without a main to compare with) every source counts.
    if [[ -z "$base" || "$base" == "$(git rev-parse HEAD)" ]]; then
      base=$(git hash-object -t tree /dev/null)
    fi
  fi
  mapfile -t files < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp' '*.h')
fi

bad=0
for f in "${files[@]}"; do
  [[ -f "$f" ]] || continue
  if ! "$formatter" --style=file --dry-run -Werror "$f" >/dev/null 2>&1; then
    echo "needs formatting: $f"
    bad=1
  fi
done
if ((bad)); then
  echo "check-format: run clang-format -i on the files above" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
