#!/usr/bin/env bash
# Checks a built .deb as it would be installed: unpacks it into a temporary
# root, runs the unpacked riffoscope-cli on the bundled sample (it must find
# both modules through ../lib/riffoscope/modules), validates the desktop entry
# and the AppStream metainfo, renders the manual pages with man's warnings
# on, and runs lintian (errors fail; warnings are printed).
#   scripts/check-package.sh [DEB]    default: the one in build/package
set -euo pipefail
cd "$(dirname "$0")/.."
deb="${1:-$(ls build/package/riffoscope_*.deb)}"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

dpkg-deb -x "$deb" "$root"
usr="$root/usr"

echo "-- riffoscope-cli validate from the unpacked root"
ls "$usr"/bin/*.qvx >/dev/null 2>&1 && fail "modules beside the programs: the relative path is not tested"
status=0
report=$(env -u RIFFOSCOPE_MODULE_PATH "$usr/bin/riffoscope-cli" validate samples/broadcast-sample.wav) ||
  status=$?
((status <= 1)) || fail "riffoscope-cli validate exited $status"
grep -q '|Sonolint *|.*\[102\] Loading File: samples/broadcast-sample.wav' <<<"$report" ||
  fail "no Sonolint lines in the report"
echo "Sonolint ran: $(grep -c '|Sonolint ' <<<"$report") report lines"
grep -q '|Loudlint *|.*\[611\] Integrated loudness' <<<"$report" ||
  fail "no Loudlint lines in the report"
echo "Loudlint ran: $(grep -c '|Loudlint ' <<<"$report") report lines"
"$usr/bin/riffoscope" --version | grep -qx "riffoscope [0-9.]*" || fail "riffoscope --version"

echo "-- desktop entry and metainfo"
desktop-file-validate "$usr"/share/applications/*.desktop
appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml

echo "-- manual pages"
for page in "$usr"/share/man/man1/*.1.gz; do
  python3 scripts/manpages.py render "$page" || fail "man warns on $(basename "$page")"
done

echo "-- lintian"
lintian_out=$(lintian --fail-on error "$deb" 2>&1) || { echo "$lintian_out"; fail "lintian errors"; }
grep -v '^running with root privileges' <<<"$lintian_out" || true
echo "check-package: $(basename "$deb") passed"
