#!/usr/bin/env bash
# Runs the GNU parallel recipe of docs/cluster.md with three local shards and
# checks that the joined summaries hold the same results as one run.
#   cluster_recipe.sh PATH/TO/riffoscope-cli
set -euo pipefail
cli=$(realpath "$1")
command -v parallel >/dev/null || { echo "GNU parallel is not installed"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/riffo-cluster-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - <<'PY'
import os, struct
def wav(path, frames, level):
    data = b''.join(struct.pack('<hh', level if i % 2 else -level, level) for i in range(frames))
    fmt = struct.pack('<HHIIHH', 1, 2, 44100, 44100 * 4, 4, 16)
    body = b'WAVE' + b'fmt ' + struct.pack('<I', 16) + fmt + b'data' + struct.pack('<I', len(data)) + data
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', len(body)) + body)
for i in range(30):
    wav(f'archive/d{i % 4}/take{i}.wav', 50 + 37 * i, 0 if i % 5 == 0 else 2000)
os.makedirs('archive/bad', exist_ok=True)
open('archive/bad/empty.wav', 'wb').close()
open('archive/bad/text.wav', 'w').write('not a RIFF file\n')
PY

# The recipe, as documented (exit statuses of the shards are the usual rule).
parallel -j3 "$cli" validate --jobs 1 --shard {}/3 --summary part{}.json archive ::: 1 2 3 \
  >/dev/null 2>&1 || true
"$cli" validate --jobs 2 --summary all.json archive >/dev/null 2>&1 || true

python3 - <<'PY'
import json, sys
def results(files):
    return sorted((f["path"], f["verdict"], f["errors"], f["warnings"], f["infos"]) for f in files)
parts = [f for k in (1, 2, 3) for f in json.load(open(f"part{k}.json"))["files"]]
whole = json.load(open("all.json"))["files"]
if len(whole) != 32:
    sys.exit(f"one run saw {len(whole)} files, expected 32")
sizes = [len(json.load(open(f"part{k}.json"))["files"]) for k in (1, 2, 3)]
if min(sizes) == 0:
    sys.exit(f"a shard was empty: {sizes}")
if results(parts) != results(whole):
    sys.exit("the shards' results differ from one run")
print(f"3 shards of {sizes} files give the same {len(whole)} results as one run")
PY
