#!/usr/bin/env bash
# Times what carrying metadata costs on smaller versions of the conversion workloads W1 and W2,
# and the DPI-only method against copying the same files. The sources get a camera-like Exif
# block (orientation, GPS, thumbnail) and an ICC profile through exiftool; "to-srgb" adds
# --to-srgb, whose look at that (sRGB) profile converts nothing.
#
#   bench/metadata-benchmark.sh [--reps N] [--w1 COUNT] [--w2 COUNT] [--work DIR] [--base CLI]
#
# --base names a korvale-cli built from an earlier commit, timed on the same files as "before".
# Runs of one repetition take turns; the median of the repetitions is printed.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
reps=5
w1=10
w2=50
work=${KORVALE_BENCH_DIR:-$here/bench/out}/metadata
base=""
while [ $# -gt 0 ]; do
    case $1 in
        --reps) reps=$2; shift 2 ;;
        --w1) w1=$2; shift 2 ;;
        --w2) w2=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        --base) base=$2; shift 2 ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

"$here/scripts/install-deps.sh"
# An existing build folder keeps its own generator and settings.
if [ ! -f "$here/build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$here/build" --target korvale-cli bench_make_images >/dev/null
bin=$here/build/bin
cli=$bin/korvale-cli

profile=/usr/share/color/icc/ghostscript/srgb.icc
make_sources() {  # NAME COUNT WIDTH HEIGHT
    local dir=$work/$1
    if [ -d "$dir/tagged" ] && [ "$(ls "$dir/tagged" | wc -l)" -eq "$2" ]; then
        return
    fi
    rm -rf "$dir"
    mkdir -p "$dir/plain" "$dir/tagged"
    "$bin/bench_make_images" "$dir/plain" "$2" "$3" "$4" jpg
    cp "$dir"/plain/*.jpg "$dir/tagged/"
    local icc=()
    [ -f "$profile" ] && icc=("-ICC_Profile<=$profile")
    convert "$dir/plain/$(ls "$dir/plain" | head -1)" -resize 160x120 "$dir/thumb.jpg"
    exiftool -q -overwrite_original -Orientation#=6 -Make=Bench -Model=B1 -XResolution=72 \
        -YResolution=72 -ResolutionUnit=inches -GPSLatitude=35.6 -GPSLatitudeRef=N \
        -GPSLongitude=139.7 -GPSLongitudeRef=E "-ThumbnailImage<=$dir/thumb.jpg" "${icc[@]}" \
        "$dir"/tagged/*.jpg
}
make_sources W1 "$w1" 4000 3000
make_sources W2 "$w2" 1600 1200

out=$work/output
seconds() {  # COMMAND...: wall time of one run into an emptied output folder
    rm -rf "$out" && mkdir -p "$out"
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

w1_run() {  # CLI FOLDER [FLAGS]
    local tool=$1 folder=$2; shift 2
    "$tool" run --quiet --width 2480 --height 3508 --dpi 300 --keep-aspect --interpolation lanczos4 \
        --anchor centre --format jpeg --quality 95 --overwrite all "$@" --output "$out" "$folder"/*.jpg
}
w2_run() {
    local tool=$1 folder=$2; shift 2
    "$tool" run --quiet --width 800 --height 600 --interpolation area --format jpeg --quality 85 \
        --overwrite all "$@" --output "$out" "$folder"/*.jpg
}
dpi_run() {
    "$cli" run --quiet --method dpi-only --dpi 350 --overwrite all --output "$out" "$work"/W1/tagged/*.jpg
}
copy_run() {
    cp "$work"/W1/tagged/*.jpg "$out/"
}

declare -A times
variants=()
add() { variants+=("$1"); }
for w in W1 W2; do
    [ -n "$base" ] && add "$w.before(plain)" && add "$w.before(tagged)"
    add "$w.plain"
    add "$w.none"
    add "$w.no-gps"
    add "$w.all"
    add "$w.to-srgb"
done
add "dpi-only"
add "cp"

run_variant() {
    local w=${1%%.*} kind=${1#*.}
    local runner=${w,,}_run
    case $1 in
        dpi-only) seconds dpi_run ;;
        cp) seconds copy_run ;;
        *.before\(plain\)) seconds "$runner" "$base" "$work/$w/plain" ;;
        *.before\(tagged\)) seconds "$runner" "$base" "$work/$w/tagged" ;;
        *.plain) seconds "$runner" "$cli" "$work/$w/plain" ;;
        *.to-srgb) seconds "$runner" "$cli" "$work/$w/tagged" --metadata no-gps --to-srgb ;;
        *) seconds "$runner" "$cli" "$work/$w/tagged" --metadata "$kind" ;;
    esac
}

count=${#variants[@]}
for ((r = 0; r < reps; r++)); do
    for ((i = 0; i < count; i++)); do
        v=${variants[$(((i + r) % count))]}
        times[$v]="${times[$v]:-} $(run_variant "$v")"
    done
done

echo "Metadata costs, median of $reps runs (seconds per workload; W1 $w1 images, W2 $w2 images)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for v in "${variants[@]}"; do
    median=$(tr ' ' '\n' <<<"${times[$v]}" | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}')
    printf '%-20s %8.3f   (%s)\n' "$v" "$median" "${times[$v]# }"
done
rm -rf "$out"
