#!/usr/bin/env bash
# Times `korvale-cli stats --recursive` over a tree of COUNT image files in FOLDERS folders (the
# whole process: walk, probe, sort, duplicates, statistics), warm, and prints each run and the
# median. Usage:
#   bench/folder-walk.sh [--cli KORVALE_CLI] [--count N] [--folders N] [--runs N] [--work DIR]
set -euo pipefail
cli=build/bin/korvale-cli
count=10000
folders=500
runs=9
work=
while [ $# -gt 0 ]; do
    case $1 in
        --cli) cli=$2; shift 2 ;;
        --count) count=$2; shift 2 ;;
        --folders) folders=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
if [ -z "$work" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
tree=$work/tree

# Folders nested two deep (a tree, not one flat level); each file a valid BMP header of its
# own size, so the statistics have something to do. Made once with one Python process.
if [ ! -d "$tree" ]; then
    python3 - "$tree" "$count" "$folders" <<'PY'
import os, struct, sys
root, count, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
def bmp(w, h):
    return (b"BM" + struct.pack("<IHHI", 54, 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, 0, 2835, 2835, 0, 0))
per = -(-count // folders)
made = 0
for f in range(folders):
    folder = os.path.join(root, "g%02d" % (f % 20), "f%03d" % f)
    os.makedirs(folder, exist_ok=True)
    for i in range(per):
        if made == count:
            break
        ext = (".bmp", ".BMP", ".Bmp")[i % 3]
        with open(os.path.join(folder, "img%05d%s" % (made, ext)), "wb") as out:
            out.write(bmp(32 + made % 97, 32 + made % 89))
        made += 1
PY
fi

# One untimed run warms the cache and checks the count.
listed=$("$cli" stats --recursive "$tree" | awk -F'\t' '$1 == "files" { print $2 }')
[ "$listed" = "$count" ] || { echo "listed $listed files, expected $count" >&2; exit 1; }

times=()
for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$cli" stats --recursive "$tree" > /dev/null
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000000 )))
done
printf 'run ms: %s\n' "${times[*]}"
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
echo "files $count, folders $folders, runs $runs, median ${median} ms"
