#!/bin/bash
# Start-up of korvale-cli, as whole processes timed by hyperfine (median of 20 runs after 3
# warm-ups): every command that converts no image, one file each where a command takes files,
# then `probe` over 10000 small files (half BMP, half JPEG) against the bare open / read 64
# bytes / close loop of bench_probe over the same kind of files, and, when Xvfb and xwininfo
# are present, the time from starting the window program until its window is mapped (as many
# runs, median).
#
#   bench/startup-times.sh [--runs N] [--work DIR] [--window-only] [--compare OTHER_KORVALE]
#
# --window-only times the window alone; --compare times another build's `korvale` beside this
# one's, alternating, so both see the same load.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
runs=20
work="${KORVALE_BENCH_DIR:-$root/bench/out}/startup"
window_only=0
compare=""
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs="$2"; shift 2 ;;
        --work) work="$2"; shift 2 ;;
        --window-only) window_only=1; shift ;;
        --compare) compare="$2"; shift 2 ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

"$root/scripts/install-deps.sh" hyperfine xvfb x11-utils imagemagick jq
cmake --build "$root/build" --target korvale korvale-cli korvale-cli-run korvale-cli-plan \
    korvale-cli-settings korvale-cli-version bench_probe >/dev/null
bin="$root/build/bin"
cli="$bin/korvale-cli"

mkdir -p "$work/home"
files="$work/files"
if [ "$window_only" = 1 ]; then
    :
elif [ ! -f "$files/.done" ]; then
    rm -rf "$files"
    mkdir -p "$files"
    convert -size 64x48 xc:'#c87828' -density 96 -units PixelsPerInch "BMP3:$work/one.bmp"
    convert -size 64x48 xc:'#c87828' -quality 90 "$work/one.jpg"
    for i in $(seq 0 2 9998); do
        cp "$work/one.bmp" "$files/img$i.bmp"
        cp "$work/one.jpg" "$files/img$((i + 1)).jpg"
    done
    touch "$files/.done"
fi
if [ "$window_only" = 0 ]; then
one="$files/img1.jpg"
stamped="$work/stamped.jpg"
cp "$one" "$stamped"

median_ms() {  # hyperfine's JSON -> median in ms
    jq -r '.results[0].median * 1000 | . * 10 | round / 10' "$1"
}

printf '| Command | Median ms |\n|---|---:|\n'
time_one() {
    local label=$1
    shift
    # -N: no shell in between; -i: a command that reports a problem is timed all the same.
    hyperfine --runs "$runs" --warmup 3 -N -i --export-json "$work/h.json" "$*" >/dev/null 2>&1
    printf '| %s | %s |\n' "$label" "$(median_ms "$work/h.json")"
}
time_one "--help" "$cli" --help
time_one "--version" "$cli" --version
time_one "probe (1 file)" "$cli" probe "$one"
time_one "stamp (1 file)" "$cli" stamp 300 "$stamped"
time_one "stats (1 file)" "$cli" stats "$one"
time_one "presets" "$cli" presets
time_one "options" "$cli" options
time_one "plan (1 file)" "$cli" plan --width 800 --height 600 "$one"
time_one "run (1 file, for comparison)" "$cli" run --quiet --width 32 --height 24 \
    --overwrite all --output "$work" "$one"

hyperfine --runs 10 --warmup 2 --export-json "$work/h.json" \
    "$cli probe $files/*.bmp $files/*.jpg > /dev/null" >/dev/null 2>&1
probe=$(median_ms "$work/h.json")
floor=$(TMPDIR="$work" "$bin/bench_probe" --benchmark_filter=Floor --benchmark_repetitions=10 \
    --benchmark_report_aggregates_only=true --benchmark_format=json 2>/dev/null |
    jq -r '.benchmarks[] | select(.aggregate_name == "median") | .real_time')
printf '\nprobe over 10000 files, whole process: %s ms; bare open/read/close loop: %.1f ms; ' \
    "$probe" "$floor"
awk -v p="$probe" -v f="$floor" 'BEGIN { printf "ratio %.2f\n", p / f }'

fi

if command -v Xvfb >/dev/null && command -v xwininfo >/dev/null; then
    export DISPLAY=:97
    # -noreset: the server would restart when the probe below disconnects, refusing the window.
    Xvfb :97 -noreset -screen 0 1280x1024x24 >/dev/null 2>&1 &
    xvfb=$!
    # A window program started before the server answers would end at once.
    until xwininfo -root >/dev/null 2>&1; do
        sleep 0.05
    done
    declare -A times=()
    programs=("$bin/korvale")
    [ -n "$compare" ] && programs+=("$compare")
    for _ in $(seq 1 "$runs"); do
        for program in "${programs[@]}"; do
            start=$(date +%s%N)
            HOME="$work/home" "$program" >/dev/null 2>&1 &
            app=$!
            until xwininfo -name Korvale 2>/dev/null | grep -q IsViewable; do
                if ! kill -0 "$app" 2>/dev/null; then
                    echo "the window program ended before its window showed" >&2
                    kill "$xvfb"
                    exit 1
                fi
                sleep 0.002
            done
            times[$program]+="$((($(date +%s%N) - start) / 1000000)) "
            kill "$app"
            wait "$app" 2>/dev/null || true
        done
    done
    kill "$xvfb"
    for program in "${programs[@]}"; do
        printf 'window mapped after start, %s (ms, %s runs): %s; median %s\n' "$program" \
            "$runs" "${times[$program]}" \
            "$(printf '%s\n' ${times[$program]} | sort -n |
                awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')"
    done
fi
