#!/usr/bin/env bash
# korvale-cli run over a long list: COUNT (default 100000) 64x64 JPEGs into 32x32, given
#   1. as --files-from (one process): images per second and peak memory (budget 150 MB);
#   2. as FILE arguments in blocks of 10000 (one process per block, one after the other), the
#      same work for comparison (the list should be within 10% of its images per second);
#   3. as 4 shards of the list at once under GNU parallel, against 1;
#   4. with --json, for its cost per file.
# Each measurement is repeated REPEAT times (default 3) and the median printed.
# Usage: bench/scale-out.sh [KORVALE_CLI] [COUNT] [REPEAT]
set -euo pipefail
cli=$(realpath "${1:-build/bin/korvale-cli}")
count=${2:-100000}
repeat=${3:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

convert -size 64x64 plasma: -quality 90 "$work/seed.jpg"
echo "Making $count sources in $work/in"
made=0
folder=0
while [ "$made" -lt "$count" ]; do
    mkdir -p "$work/in/$folder"
    names=()
    for i in $(seq 1 $((count - made < 500 ? count - made : 500))); do
        names+=("$work/in/$folder/img$((made + i)).jpg")
    done
    tee "${names[@]}" <"$work/seed.jpg" >/dev/null
    made=$((made + ${#names[@]}))
    [ $((made % 10000)) -eq 0 ] && folder=$((folder + 1))
done
find "$work/in" -name '*.jpg' -print0 >"$work/list"
opts=(--width 32 --height 32 --overwrite all --quiet)

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Runs "$@" REPEAT times into a fresh output folder; prints "seconds peak-kB" medians.
measure() {
    local seconds=() peaks=() r
    for r in $(seq 1 "$repeat"); do
        rm -rf "$work/out" && mkdir "$work/out"
        /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
            cat "$work/err" >&2
            return 1
        }
        seconds+=("$(cut -d' ' -f1 "$work/time")")
        peaks+=("$(cut -d' ' -f2 "$work/time")")
    done
    echo "$(printf '%s\n' "${seconds[@]}" | median) $(printf '%s\n' "${peaks[@]}" | median)"
}
report() {
    local name=$1 seconds=$2 peak=$3
    awk -v n="$count" -v s="$seconds" -v p="$peak" -v name="$name" \
        'BEGIN { printf "%-34s %7.2f s  %8.0f images/s  peak %4.0f MB\n", name, s, n / s, p / 1024 }'
}

read -r s p < <(measure "$cli" run --files-from "$work/list" -0 "${opts[@]}" --output "$work/out")
report "--files-from, 1 process" "$s" "$p"
list_seconds=$s

# The same files as arguments, 10000 per process.
blocks() {
    xargs -0 -n 10000 sh -c '"$0" run "$@" || exit 255' "$cli" "${opts[@]}" --output "$work/out" \
        <"$work/list"
}
export -f blocks
export cli work
# /usr/bin/time measures the whole xargs tree; its peak is the largest single process.
read -r s p < <(measure bash -c "$(declare -p opts); blocks")
report "FILE arguments, blocks of 10000" "$s" "$p"
awk -v a="$list_seconds" -v b="$s" 'BEGIN { printf "list / blocks images per second: %.3f\n", b / a }'

if command -v parallel >/dev/null 2>&1; then
    read -r s p < <(measure parallel -j4 "$cli" run --files-from "$work/list" -0 --shard {}/4 \
        "${opts[@]}" --output "$work/out" ::: 1 2 3 4)
    report "4 shards under GNU parallel" "$s" "$p"
else
    echo "GNU parallel is not installed: no shard figures"
fi

read -r s p < <(measure "$cli" run --files-from "$work/list" -0 "${opts[@]}" --json \
    --output "$work/out")
report "--files-from --json" "$s" "$p"
awk -v a="$list_seconds" -v b="$s" -v n="$count" \
    'BEGIN { printf "--json costs %.1f us per file\n", (b - a) / n * 1e6 }'

# What the list's naming holds per path: bench/ListNamingBenchmark (build/bench/).
