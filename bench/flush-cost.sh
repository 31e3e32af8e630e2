#!/bin/bash
# The cost of making outputs durable: korvale-cli run on the W2 workload (200 JPEG 1600x1200,
# stretched to 800x600 with area averaging, JPEG quality 85) into an empty folder (new files,
# nothing flushed) and into a folder holding the outputs of an earlier run (every output
# replaces a file, flushed before and after its rename). With --compare CLI, a korvale-cli
# built from another commit runs the same cases in turn, and the medians are set side by side.
#
#   bench/flush-cost.sh [--reps N] [--work DIR] [--count N] [--compare OTHER_KORVALE_CLI]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
reps=5
work="${KORVALE_BENCH_DIR:-$root/bench/out}/flush"
count=200
compare=""
while [ $# -gt 0 ]; do
    case "$1" in
        --reps) reps="$2"; shift 2 ;;
        --work) work="$2"; shift 2 ;;
        --count) count="$2"; shift 2 ;;
        --compare) compare="$2"; shift 2 ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

cmake --build "$root/build" --target korvale-cli bench_make_images >/dev/null
bin="$root/build/bin"
sources="$work/sources"
if [ ! -f "$sources/.done-$count" ]; then
    rm -rf "$sources"
    mkdir -p "$sources"
    "$bin/bench_make_images" "$sources" "$count" 1600 1200 jpg
    touch "$sources/.done-$count"
fi
files=("$sources"/*.jpg)

declare -A clis=([this]="$bin/korvale-cli")
[ -n "$compare" ] && clis[other]="$compare"

run() {  # CLI OUTPUT_FOLDER -> seconds
    local start end
    start=$(date +%s.%N)
    "$1" run --quiet --width 800 --height 600 --interpolation area --format jpeg --quality 85 \
        --overwrite all --output "$2" "${files[@]}"
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

results="$work/times.tsv"
: >"$results"
for ((r = 1; r <= reps; r++)); do
    for name in "${!clis[@]}"; do
        for mode in new replace; do
            out="$work/out-$name"
            rm -rf "$out"
            mkdir -p "$out"
            if [ "$mode" = replace ]; then
                run "${clis[$name]}" "$out" >/dev/null
            fi
            sync
            printf '%s\t%s\t%s\n' "$name" "$mode" "$(run "${clis[$name]}" "$out")" >>"$results"
        done
    done
done
rm -rf "$work"/out-*

echo "W2-like, $count images, $reps repetitions; median seconds (images per second)"
for name in "${!clis[@]}"; do
    for mode in new replace; do
        median=$(awk -v n="$name" -v m="$mode" '$1 == n && $2 == m { print $3 }' "$results" |
            sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
        printf '%-6s %-8s %7.3f s  (%.1f/s)\n' "$name" "$mode" "$median" "$(echo "$count / $median" | bc -l)"
    done
done
