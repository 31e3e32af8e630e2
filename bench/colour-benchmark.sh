#!/usr/bin/env bash
# Colour conversions: how far korvale-cli's CMYK and Display P3 outputs lie from ImageMagick's
# colour-managed conversion of the same files (RMSE as a fraction of the full scale), beside
# what ignoring the profile gives; and what converting costs per image, as the wall time of a
# run over CMYK (or Display P3 with --to-srgb) sources less that of a run over the same
# pictures in plain sRGB.
#
#   bench/colour-benchmark.sh [--reps N] [--count N] [--size WxH] [--work DIR]
#
# Runs of one repetition take turns; the median of the repetitions is printed.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
reps=3
count=5
size=2480x3508
work=${KORVALE_BENCH_DIR:-$here/bench/out}/colour
while [ $# -gt 0 ]; do
    case $1 in
        --reps) reps=$2; shift 2 ;;
        --count) count=$2; shift 2 ;;
        --size) size=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
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

icc=/usr/share/color/icc/ghostscript
srgb=$icc/srgb.icc
swop=$icc/default_cmyk.icc  # the standard profile of sources without one
other=$icc/ps_cmyk.icc      # a profile the files carry

rm -rf "$work" && mkdir -p "$work"/{rgb,cmyk,cmyk-none,cmyk16,p3,out,ref}
# Display P3: D65, sRGB's curve, P3 primaries, made by Little CMS through Python's ctypes.
python3 - "$work/p3.icc" <<'EOF'
import ctypes, sys
lcms = ctypes.CDLL("liblcms2.so.2")
class XyY(ctypes.Structure):
    _fields_ = [("x", ctypes.c_double), ("y", ctypes.c_double), ("Y", ctypes.c_double)]
white = XyY(0.3127, 0.3290, 1.0)
primaries = (XyY * 3)(XyY(0.680, 0.320, 1), XyY(0.265, 0.690, 1), XyY(0.150, 0.060, 1))
params = (ctypes.c_double * 5)(2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045)
lcms.cmsBuildParametricToneCurve.restype = ctypes.c_void_p
curve = lcms.cmsBuildParametricToneCurve(None, 4, params)
curves = (ctypes.c_void_p * 3)(curve, curve, curve)
lcms.cmsCreateRGBProfile.restype = ctypes.c_void_p
profile = lcms.cmsCreateRGBProfile(ctypes.byref(white), primaries, curves)
lcms.cmsSaveProfileToFile(ctypes.c_void_p(profile), sys.argv[1].encode())
EOF

"$bin/bench_make_images" "$work/rgb" "$count" "${size%x*}" "${size#*x}" jpg
for f in "$work"/rgb/*.jpg; do
    name=$(basename "$f" .jpg)
    convert "$f" -profile "$srgb" -profile "$other" -quality 95 "$work/cmyk/$name.jpg"
    convert "$f" -profile "$srgb" -profile "$swop" -quality 95 +profile '*' "$work/cmyk-none/$name.jpg"
    convert "$f" -depth 16 -profile "$srgb" -profile "$other" "$work/cmyk16/$name.tif"
    convert "$f" -profile "$srgb" -profile "$work/p3.icc" -quality 95 "$work/p3/$name.jpg"
done

# RMSE of one output against ImageMagick's conversion into the profile the output carries.
rmse() {  # OUTPUT REFERENCE
    { compare -metric RMSE "$1" "$2" null: 2>&1 || true; } | sed -n 's/.*(\(.*\)).*/\1/p'
}
median() {
    tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'
}

echo "Colour conversions over $count pictures of $size (bench_make_images)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "RMSE against ImageMagick's managed conversion, fraction of full scale: median (max)"
for kind in cmyk cmyk-none cmyk16 p3; do
    flags=(--format png)
    [ "$kind" = p3 ] && flags+=(--to-srgb)
    rm -rf "$work/out" && mkdir -p "$work/out"
    "$cli" run --quiet --overwrite all "${flags[@]}" --output "$work/out" "$work/$kind"/*
    carried=$work/carried.icc
    exiftool -b -ICC_Profile "$(ls "$work"/out/*.png | head -1)" >"$carried"
    managed="" naive=""
    for f in "$work/$kind"/*; do
        name=$(basename "${f%.*}")
        assign=()
        [ "$kind" = cmyk-none ] && assign=(-profile "$swop")
        convert "$f" "${assign[@]}" -profile "$carried" "$work/ref/$name.png"
        managed="$managed $(rmse "$work/out/$name.png" "$work/ref/$name.png")"
        # What a conversion that ignores every profile makes of the same file.
        convert "$f" +profile '*' -colorspace sRGB "$work/ref/$name-naive.png"
        naive="$naive $(rmse "$work/ref/$name-naive.png" "$work/ref/$name.png")"
    done
    printf '%-10s korvale %.4f (%.4f)   profile ignored %.4f\n' "$kind" \
        "$(median <<<"$managed")" "$(tr ' ' '\n' <<<"$managed" | sort -g | tail -1)" \
        "$(median <<<"$naive")"
done

out=$work/out
seconds() {  # COMMAND...: wall time of one run into an emptied output folder
    rm -rf "$out" && mkdir -p "$out"
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
run() {  # FOLDER [FLAGS]
    local folder=$1; shift
    "$cli" run --quiet --width 2480 --height 3508 --dpi 300 --keep-aspect --format jpeg \
        --quality 95 --overwrite all "$@" --output "$out" "$folder"/*
}
declare -A times
variants=(rgb cmyk p3 p3.to-srgb)
for ((r = 0; r < reps; r++)); do
    for ((i = 0; i < ${#variants[@]}; i++)); do
        v=${variants[$(((i + r) % ${#variants[@]}))]}
        case $v in
            p3.to-srgb) t=$(seconds run "$work/p3" --to-srgb) ;;
            *) t=$(seconds run "$work/$v") ;;
        esac
        times[$v]="${times[$v]:-} $t"
    done
done
echo
echo "Runs to A4 at 300 DPI as JPEG, median of $reps (seconds per run of $count; per image)"
base=$(median <<<"${times[rgb]}")
for v in "${variants[@]}"; do
    m=$(median <<<"${times[$v]}")
    printf '%-12s %8.3f   %+.3f s per image against rgb   (%s)\n' "$v" "$m" \
        "$(echo "($m - $base) / $count" | bc -l)" "${times[$v]# }"
done
