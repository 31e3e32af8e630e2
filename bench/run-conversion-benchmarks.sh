#!/usr/bin/env bash
# Times `korvale-cli run` against the bare OpenCV calls it makes (for HEIC and WebP sources, the
# decoder alone), ImageMagick and libvips, on the same generated images in the same run. Each measurement is repeated; the median wall time
# counts. The runs of one repetition take turns in a rotating order, so a burst of load on the
# machine does not fall on one tool only.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    cat <<'EOF'
Usage: bench/run-conversion-benchmarks.sh [--quick] [--reps N] [--work DIR] [--no-per-file]
                                          [--keep-outputs] [--only W2,W3]
                                          [--before DIR] [--tools bare,engine,before]

  --quick        small images and counts, one repetition: checks the script in seconds
  --reps N       repetitions of each measurement (default 3, 1 with --quick)
  --work DIR     work folder for images, outputs and results (default bench/out,
                 or $KORVALE_BENCH_DIR)
  --no-per-file  leave out the vips command line run once per file (for information only)
  --keep-outputs keep each tool's last outputs (W3 alone writes 1 GB per tool) for a look
  --only LIST    run only the workloads named, separated by commas (default all)
  --before DIR   also time the korvale-cli in DIR (the bin folder of an older build) on the
                 same work, and check that its outputs are byte for byte the engine's
  --tools LIST   run only the tools named (bare, engine, before, magick, magick2, vips, vips2,
                 vipscli); without a peer the budget table is left out

Results go to DIR/full/results.md (DIR/quick/results.md with --quick), raw times to
times.tsv beside it.
EOF
}

quick=0
reps=""
work=${KORVALE_BENCH_DIR:-bench/out}
per_file=1
keep_outputs=0
only=""
before=""
only_tools=""
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1 ;;
        --reps) [ $# -ge 2 ] || { usage >&2; exit 2; }; reps=$2; shift ;;
        --reps=*) reps=${1#*=} ;;
        --work) [ $# -ge 2 ] || { usage >&2; exit 2; }; work=$2; shift ;;
        --work=*) work=${1#*=} ;;
        --no-per-file) per_file=0 ;;
        --keep-outputs) keep_outputs=1 ;;
        --only) [ $# -ge 2 ] || { usage >&2; exit 2; }; only=$2; shift ;;
        --only=*) only=${1#*=} ;;
        --before) [ $# -ge 2 ] || { usage >&2; exit 2; }; before=$2; shift ;;
        --before=*) before=${1#*=} ;;
        --tools) [ $# -ge 2 ] || { usage >&2; exit 2; }; only_tools=$2; shift ;;
        --tools=*) only_tools=${1#*=} ;;
        -h | --help) usage; exit 0 ;;
        *) usage >&2; exit 2 ;;
    esac
    shift
done
[ -n "$reps" ] || reps=$((quick ? 1 : 3))
if ! [[ $reps =~ ^[1-9][0-9]*$ ]]; then
    echo "--reps takes a whole number from 1 up, not '$reps'" >&2
    exit 2
fi

scripts/install-deps.sh imagemagick libvips-tools libvips-dev pkg-config libheif-examples webp \
    libheif-dev libwebp-dev

# Only the programs the benchmark runs; an existing build keeps its configuration.
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build --target korvale-cli bench_make_images bench_opencv_loop
bin=$PWD/build/bin

mkdir -p "$work"
work=$(cd "$work" && pwd)
mode=$([ "$quick" -eq 1 ] && echo quick || echo full)
data=$work/$mode
mkdir -p "$data" "$work/bin"

vips_loop=$work/bin/bench_vips_loop
if [ ! -x "$vips_loop" ] || [ bench/VipsLoop.cpp -nt "$vips_loop" ]; then
    echo "Building $vips_loop"
    # shellcheck disable=SC2046  # pkg-config prints several words on purpose
    g++ -std=c++17 -O2 -Wall -Wextra bench/VipsLoop.cpp -o "$vips_loop" \
        $(pkg-config --cflags --libs vips-cpp)
fi

decode_loop=$work/bin/bench_decode_loop
if [ ! -x "$decode_loop" ] || [ bench/DecodeLoop.cpp -nt "$decode_loop" ]; then
    echo "Building $decode_loop"
    # shellcheck disable=SC2046  # pkg-config prints several words on purpose
    g++ -std=c++17 -O2 -Wall -Wextra bench/DecodeLoop.cpp -o "$decode_loop" \
        $(pkg-config --cflags --libs libheif libwebp) -pthread
fi

# ImageMagick and libvips straight from /usr/bin: a wrapper earlier on PATH would add its own
# start-up to every call.
magick_mogrify=/usr/bin/mogrify
magick_identify=/usr/bin/identify
magick_compare=/usr/bin/compare
vips_cli=/usr/bin/vips

# The workloads: name, count, source size, source type, target size, DPI (0: the source's),
# JPEG quality (0 for the lossless outputs), output type.
if [ "$quick" -eq 1 ]; then
    workloads=(
        "W1 4 1000 750 jpg 620 877 300 95 jpg"
        "W2 10 400 300 jpg 200 150 0 85 jpg"
        "W3 4 750 500 bmp 620 877 300 0 bmp"
        "W5 4 750 500 png 620 877 300 0 png"
        "W6 4 750 500 tif 620 877 300 0 tif"
        "W7 4 1008 756 heic 620 877 300 95 jpg"
        "W8 10 400 300 webp 200 150 0 85 webp"
    )
else
    workloads=(
        "W1 40 4000 3000 jpg 2480 3508 300 95 jpg"
        "W2 200 1600 1200 jpg 800 600 0 85 jpg"
        "W3 40 3000 2000 bmp 2480 3508 300 0 bmp"
        "W5 40 3000 2000 png 2480 3508 300 0 png"
        "W6 40 3000 2000 tif 2480 3508 300 0 tif"
        "W7 40 4032 3024 heic 2480 3508 300 95 jpg"
        "W8 200 1600 1200 webp 800 600 0 85 webp"
    )
fi

if [ -n "$only" ]; then
    chosen=()
    for line in "${workloads[@]}"; do
        [[ ",$only," == *",${line%% *},"* ]] && chosen+=("$line")
    done
    if [ ${#chosen[@]} -eq 0 ]; then
        echo "--only names no workload: '$only'" >&2
        exit 2
    fi
    workloads=("${chosen[@]}")
fi
# The engine's budget against the fastest peer, as a ratio of images per second.
budget_of() {
    case $1 in
        W5 | W6 | W7 | W8) echo 1.2 ;;
        *) echo 2 ;;
    esac
}

tools=(bare engine magick magick2 vips vips2)
# The phone and web workloads have no bare OpenCV loop (OpenCV reads no HEIC): in its place
# the decoder alone, libheif or libwebp on two threads, from memory, writing nothing.
phone_web() { [ "$1" = W7 ] || [ "$1" = W8 ]; }
[ "$per_file" -eq 1 ] && tools+=(vipscli)
if [ -n "$before" ]; then
    before=$(cd "$before" && pwd)
    [ -x "$before/korvale-cli" ] || { echo "--before: no korvale-cli in $before" >&2; exit 2; }
    tools+=(before)
fi
if [ -n "$only_tools" ]; then
    kept=()
    for tool in "${tools[@]}"; do
        [[ ",$only_tools," == *",$tool,"* ]] && kept+=("$tool")
    done
    # The outputs are compared with the bare loop's and the engine's.
    for needed in bare engine; do
        [[ " ${kept[*]} " == *" $needed "* ]] || kept=("$needed" "${kept[@]}")
    done
    tools=("${kept[@]}")
fi
# The peers: the engine's budget is against the fastest of these.
peers=(magick magick2 vips vips2)

tool_label() {
    case $1 in
        bare) echo "bare OpenCV loop" ;;
        engine) echo "korvale-cli run" ;;
        before) echo "korvale-cli run (before)" ;;
        magick) echo "ImageMagick mogrify" ;;
        magick2) echo "ImageMagick, two processes" ;;
        vips) echo "libvips, one process" ;;
        vips2) echo "libvips, two processes" ;;
        vipscli) echo "vips CLI per file (info)" ;;
        decode) echo "decoder alone, 2 threads" ;;
    esac
}

# Generates a workload's images once; a marker records what they are, so a changed workload
# is generated again instead of reused.
make_images() {
    local folder=$1 count=$2 width=$3 height=$4 type=$5
    local marker="$count $width $height $type"
    if [ -f "$folder/.made" ] && [ "$(cat "$folder/.made")" = "$marker" ]; then
        return
    fi
    echo "Generating $count images ${width}x$height $type in $folder"
    rm -rf "$folder"
    mkdir -p "$folder"
    case $type in
        heic | webp)
            # Photo-like JPEGs first, then the phone's or the web's encoder over each (x265 at
            # its fastest preset, as a phone's hardware encoder: the slower ones take 30 s a file).
            "$bin/bench_make_images" "$folder" "$count" "$width" "$height" jpg
            local source
            for source in "$folder"/img*.jpg; do
                if [ "$type" = heic ]; then
                    heif-enc -q 90 -p preset=ultrafast -o "${source%.jpg}.heic" "$source" >/dev/null
                else
                    cwebp -quiet -q 85 "$source" -o "${source%.jpg}.webp"
                fi
                rm "$source"
            done
            ;;
        *) "$bin/bench_make_images" "$folder" "$count" "$width" "$height" "$type" ;;
    esac
    echo "$marker" >"$folder/.made"
}

# The vips command line's output of one file, with the engine's encoder settings.
vips_target() {
    case $output_type in
        jpg) echo "$1.jpg[Q=$quality,subsample-mode=on,optimize-coding=false]" ;;
        png) echo "$1.png[compression=1,filter=sub]" ;;
        tif) echo "$1.tif[compression=none,resunit=inch]" ;;
    esac
}

# The vips command line, one file at a time: what a shell loop over files would do.
vips_per_file() {
    local kind=$1 out=$2
    shift 2
    local file name
    for file in "$@"; do
        name=$(basename "${file%.*}")
        case $kind in
            fit)
                "$vips_cli" resize "$file" .ppm "$hscale" --vscale "$vscale" --kernel lanczos3 |
                    "$vips_cli" gravity stdin .ppm centre "$tw" "$th" --extend background \
                        --background 255 |
                    "$vips_cli" copy stdin "$(vips_target "$out/$name")" \
                        --xres "$xres" --yres "$xres"
                ;;
            crop-tif)
                "$vips_cli" gravity "$file" .ppm centre "$tw" "$th" --extend background \
                    --background 255 |
                    "$vips_cli" copy stdin "$(vips_target "$out/$name")" --xres "$xres" --yres "$xres"
                ;;
            stretch)
                "$vips_cli" shrink "$file" \
                    "$out/$name.jpg[Q=$quality,subsample-mode=on,optimize-coding=false]" \
                    "$hshrink" "$vshrink"
                ;;
            crop)
                # The BMP saver drops the resolution: this output keeps none.
                "$vips_cli" gravity "$file" "$out/$name.bmp[format=BMP3]" centre "$tw" "$th" \
                    --extend background --background 255
                ;;
        esac
    done
}

# Runs one tool over the files given, into $2; each process under the meter.
run_on() {
    local tool=$1 out=$2
    shift 2
    local cli=$bin/korvale-cli
    [ "$tool" = before ] && cli=$before/korvale-cli
    case "$workload.$tool" in
        W1.bare) meter "$bin/bench_opencv_loop" resize "$out" "$tw" "$th" 4 1 "$quality" .jpg "$@" ;;
        W2.bare) meter "$bin/bench_opencv_loop" resize "$out" "$tw" "$th" 3 0 "$quality" .jpg "$@" ;;
        W3.bare) meter "$bin/bench_opencv_loop" crop "$out" "$tw" "$th" 0 0 0 .bmp "$@" ;;
        W5.bare) meter "$bin/bench_opencv_loop" resize "$out" "$tw" "$th" 4 1 0 .png "$@" ;;
        W6.bare) meter "$bin/bench_opencv_loop" crop "$out" "$tw" "$th" 0 0 0 .tif "$@" ;;
        W7.decode) meter "$decode_loop" heif 2 "$@" >/dev/null ;;
        W8.decode) meter "$decode_loop" webp 2 "$@" >/dev/null ;;
        W1.engine | W5.engine | W7.engine | W1.before | W5.before | W7.before)
            meter "$cli" run --quiet --width "$tw" --height "$th" --dpi "$dpi" --keep-aspect \
                --interpolation lanczos4 --anchor centre --margin 255,255,255 --format "$format" \
                --quality "$quality" --overwrite all --output "$out" "$@"
            ;;
        W2.engine | W8.engine | W2.before | W8.before)
            meter "$cli" run --quiet --width "$tw" --height "$th" --interpolation area \
                --format "$format" --quality "$quality" --overwrite all --output "$out" "$@"
            ;;
        W3.engine | W6.engine | W3.before | W6.before)
            meter "$cli" run --quiet --method crop --width "$tw" --height "$th" --dpi "$dpi" \
                --anchor centre --margin 255,255,255 --format "$format" --overwrite all --output "$out" \
                "$@"
            ;;
        # JPEG: 4:2:0 and no Huffman optimisation, as OpenCV writes; ImageMagick would
        # otherwise add an optimisation pass.
        W1.magick | W7.magick)
            meter "$magick_mogrify" -path "$out" -filter Lanczos -resize "${tw}x$th" -background white \
                -gravity center -extent "${tw}x$th" -quality "$quality" -sampling-factor 2x2 \
                -define jpeg:optimize-coding=false -units PixelsPerInch -density "$dpi" \
                -format jpg "$@"
            ;;
        # -scale averages the source pixels each output pixel covers, which is OpenCV's area
        # interpolation; -resize with a box filter matches it only at whole ratios.
        W2.magick)
            meter "$magick_mogrify" -path "$out" -scale "${tw}x$th!" -quality "$quality" \
                -sampling-factor 2x2 -define jpeg:optimize-coding=false -format jpg "$@"
            ;;
        W8.magick)
            meter "$magick_mogrify" -path "$out" -scale "${tw}x$th!" -quality "$quality" \
                -define webp:method=4 -format webp "$@"
            ;;
        W3.magick)
            meter "$magick_mogrify" -path "$out" -background white -gravity center -extent "${tw}x$th" \
                -type TrueColor -define bmp:format=bmp3 -units PixelsPerInch -density "$dpi" \
                -format bmp "$@"
            ;;
        # PNG at zlib level 1 with the Sub filter and RLE, and TIFF uncompressed, as the engine
        # writes them.
        W5.magick)
            meter "$magick_mogrify" -path "$out" -filter Lanczos -resize "${tw}x$th" -background white \
                -gravity center -extent "${tw}x$th" -type TrueColor -define png:compression-level=1 \
                -define png:compression-filter=1 -define png:compression-strategy=3 \
                -units PixelsPerInch -density "$dpi" -format png "$@"
            ;;
        W6.magick)
            meter "$magick_mogrify" -path "$out" -background white -gravity center -extent "${tw}x$th" \
                -type TrueColor -compress None -units PixelsPerInch -density "$dpi" -format tif "$@"
            ;;
        W1.vips | W7.vips) meter "$vips_loop" fit "$out" "$tw" "$th" "$dpi" "$quality" .jpg "$@" ;;
        W2.vips) meter "$vips_loop" stretch "$out" "$tw" "$th" "$dpi" "$quality" .jpg "$@" ;;
        W8.vips) meter "$vips_loop" stretch "$out" "$tw" "$th" "$dpi" "$quality" .webp "$@" ;;
        W3.vips) meter "$vips_loop" crop "$out" "$tw" "$th" "$dpi" 0 .bmp "$@" ;;
        W5.vips) meter "$vips_loop" fit "$out" "$tw" "$th" "$dpi" 0 .png "$@" ;;
        W6.vips) meter "$vips_loop" crop "$out" "$tw" "$th" "$dpi" 0 .tif "$@" ;;
        W1.vipscli) vips_per_file fit "$out" "$@" ;;
        W2.vipscli) vips_per_file stretch "$out" "$@" ;;
        W3.vipscli) vips_per_file crop "$out" "$@" ;;
        W5.vipscli) vips_per_file fit "$out" "$@" ;;
        W6.vipscli) vips_per_file crop-tif "$out" "$@" ;;
    esac
}

# Runs one tool over all files of the current workload into $2. The two-process variants split
# the list in halves and run the one-process tool on each half at the same time, one thread
# each.
run_tool() {
    local tool=$1 out=$2 status=0
    case $tool in
        magick2 | vips2)
            local half=$(((${#files[@]} + 1) / 2)) first
            MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1 run_on "${tool%2}" "$out" "${files[@]:0:half}" &
            first=$!
            MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1 run_on "${tool%2}" "$out" "${files[@]:half}" || status=1
            wait "$first" || status=1
            return "$status"
            ;;
        *) run_on "$tool" "$out" "${files[@]}" ;;
    esac
}

# GNU time records each process's wall, user and system seconds and peak resident KiB.
meter() {
    /usr/bin/time -a -o "$usage_log" -f '%e %U %S %M' "$@"
}

median() {
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Checks one tool's outputs: one per source, each the target size (and DPI where the workload
# sets it), with the encoder settings asked for; prints a short note for the results.
check_outputs() {
    local tool=$1 out=$2 problems=()
    if [ "$tool" = decode ]; then
        echo "decodes only, writes nothing"
        return
    fi
    local outputs=()
    mapfile -t outputs < <(find "$out" -mindepth 1 -maxdepth 1 | sort)
    if [ "${#outputs[@]}" -ne "$count" ]; then
        problems+=("${#outputs[@]} files in $out, expected $count")
    fi
    # The bare loop stamps nothing, and libvips's BMP saver drops the resolution.
    local expect_dpi=$dpi
    case "$workload.$tool" in *.bare | W3.vipscli) expect_dpi=0 ;; esac
    local path status width height resolution dpis=""
    while IFS=$'\t' read -r path status width height resolution; do
        if [ "$status" != ok ] || [ "$width" != "$tw" ] || [ "$height" != "$th" ]; then
            problems+=("$path: $status ${width:-?}x${height:-?}, expected ${tw}x$th")
        elif [ "$expect_dpi" -gt 0 ] && [ "$resolution" != "$expect_dpi" ]; then
            problems+=("$path: $resolution DPI, expected $expect_dpi")
        fi
        dpis+=" $resolution"
    done < <("$bin/korvale-cli" probe "${outputs[@]}")
    dpis=$(tr ' ' '\n' <<<"$dpis" | sed '/^$/d' | sort -u | tr '\n' ' ')
    local first=${outputs[0]}
    local note="${#outputs[@]} files ${tw}x$th, DPI ${dpis% }"
    if [ "$output_type" = png ]; then
        # Bit depth and colour type from IHDR: 8-bit RGB.
        local ihdr
        ihdr=$(od -A n -t u1 -j 24 -N 2 "$first" | tr -s ' ')
        [ "$ihdr" = " 8 2" ] || problems+=("$first: PNG depth and colour type '$ihdr', expected '8 2'")
        note+=", PNG 8-bit RGB"
    elif [ "$output_type" = tif ]; then
        local encoding
        encoding=$("$magick_identify" -ping -format '%C %z %[channels]' "$first")
        note+=", TIFF $encoding"
    elif [ "$output_type" = webp ]; then
        # Lossy WebP: a RIFF holding a VP8 image (VP8X first when the Exif resolution is in).
        local chunk
        chunk=$(od -A n -c -j 12 -N 4 "$first" | tr -d ' ')
        [ "$chunk" = "VP8" ] || [ "$chunk" = "VP8X" ] ||
            problems+=("$first: first WebP chunk '$chunk', expected VP8 or VP8X")
        note+=", WebP $chunk"
    elif [ "$quality" -gt 0 ]; then
        local encoding
        encoding=$("$magick_identify" -ping -format '%Q %[jpeg:sampling-factor]' "$first")
        [ "$encoding" = "$quality 2x2,1x1,1x1" ] ||
            problems+=("$first: quality and sampling '$encoding', expected '$quality 2x2,1x1,1x1'")
        note+=", Q $quality 4:2:0"
    else
        local header bits
        header=$(od -A n -t u4 -j 14 -N 4 "$first" | tr -d ' ')
        bits=$(od -A n -t u2 -j 28 -N 2 "$first" | tr -d ' ')
        [ "$header" = 40 ] && [ "$bits" = 24 ] ||
            problems+=("$first: BMP header $header bytes, $bits bits, expected 40 and 24")
        note+=", BMP3 24-bit"
    fi
    # How far the pixels are from the bare loop's, or the engine's where there is no bare
    # loop: different kernels show here.
    local against=bare
    phone_web "$workload" && against=engine
    if [ "$tool" != "$against" ]; then
        local reference difference
        reference="$data/$workload/out-$against/$(basename "$first")"
        difference=$("$magick_compare" -metric RMSE "$reference" "$first" null: 2>&1 || true)
        note+=", RMSE vs $against ${difference#* }"
    fi
    if [ "$tool" = before ]; then
        # The same work must give the same bytes, whichever build wrote them.
        local output differing=0
        for output in "${outputs[@]}"; do
            cmp -s "$output" "$data/$workload/out-engine/$(basename "$output")" ||
                differing=$((differing + 1))
        done
        [ "$differing" -eq 0 ] || problems+=("$differing files differ from korvale-cli run's")
        note+=", bytes identical to korvale-cli run's"
    fi
    if [ ${#problems[@]} -gt 0 ]; then
        printf "$workload, $(tool_label "$tool"): %s\n" "${problems[@]}" >&2
        return 1
    fi
    echo "$note"
}

results=$data/results.md
times=$data/times.tsv
: >"$times"
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')

table=()
summary=()
checks=()
failed=0
all_tools=("${tools[@]}")
for spec in "${workloads[@]}"; do
    read -r workload count sw sh type tw th dpi quality <<<"$spec"
    tools=()
    for tool in "${all_tools[@]}"; do
        if phone_web "$workload"; then
            # The per-file vips line is left out of these (an older build must read them).
            case $tool in
                bare) tool=decode ;;
                vipscli) continue ;;
            esac
        fi
        tools+=("$tool")
    done
    base=bare
    phone_web "$workload" && base=decode
    # The last field, the output type, came after the others; `quality` took both.
    output_type=${quality#* }
    quality=${quality%% *}
    case $output_type in
        jpg) format=jpeg ;;
        tif) format=tiff ;;
        *) format=$output_type ;;
    esac
    make_images "$data/$workload/in" "$count" "$sw" "$sh" "$type"
    files=("$data/$workload/in"/img*."$type")

    # The engine's fitted size, for the vips command line's two scale factors.
    read -r hscale vscale < <(awk -v sw="$sw" -v sh="$sh" -v tw="$tw" -v th="$th" 'BEGIN {
        sx = tw / sw; sy = th / sh; fw = tw; fh = th
        if (sx > sy) fw = int(sw * sy); else if (sy > sx) fh = int(sh * sx)
        printf "%.17g %.17g\n", fw / sw, fh / sh }')
    hshrink=$((sw / tw))
    vshrink=$((sh / th))
    xres=$(awk -v d="$dpi" 'BEGIN { printf "%.17g", d / 25.4 }')

    cat "${files[@]}" >/dev/null # sources in the page cache before the first timed run
    echo "== $workload: $count x ${sw}x$sh $type -> ${tw}x$th, $reps repetition(s)"
    for ((rep = 0; rep < reps; ++rep)); do
        for ((k = 0; k < ${#tools[@]}; ++k)); do
            tool=${tools[$(((rep + k) % ${#tools[@]}))]}
            out=$data/$workload/out-$tool
            rm -rf "$out"
            mkdir -p "$out"
            sync # the previous run's writes are not flushed during this one
            usage_log=$data/usage.log
            : >"$usage_log"
            begin=$(date +%s%N)
            if ! run_tool "$tool" "$out"; then
                echo "$workload: $(tool_label "$tool") failed" >&2
                exit 1
            fi
            end=$(date +%s%N)
            seconds=$(awk -v b="$begin" -v e="$end" 'BEGIN { printf "%.3f", (e - b) / 1e9 }')
            # CPU seconds of all processes; peak memory of the largest, or of both halves
            # together (they run at the same time). The per-file vips runs are not metered.
            read -r cpu peak < <(awk -v two="$([[ $tool == *2 ]] && echo 1 || echo 0)" '
                NF == 4 { cpu += $2 + $3; sum += $4; if ($4 > max) max = $4; n++ }
                END { if (n == 0) print "-", "-"
                      else printf "%.2f %.0f\n", cpu, (two ? sum : max) / 1024 }' "$usage_log")
            printf '%s\t%s\t%d\t%s\t%s\t%s\n' "$workload" "$tool" "$((rep + 1))" "$seconds" \
                "$cpu" "$peak" >>"$times"
            printf '   %-26s run %d: %6.2f s, CPU %s s, peak %s MB\n' "$(tool_label "$tool")" \
                "$((rep + 1))" "$seconds" "$cpu" "$peak"
        done
    done

    declare -A rate=() middle=()
    for tool in "${tools[@]}"; do
        middle[$tool]=$(awk -F'\t' -v w="$workload" -v t="$tool" '$1 == w && $2 == t { print $4 }' \
            "$times" | median)
        rate[$tool]=$(awk -v n="$count" -v s="${middle[$tool]}" 'BEGIN { printf "%.2f", n / s }')
        # CPU time over wall time (the median of the repetitions) and the highest peak.
        busy=$(awk -F'\t' -v w="$workload" -v t="$tool" '$1 == w && $2 == t && $5 != "-" {
            printf "%.2f\n", $5 / $4 }' "$times" | median)
        peak=$(awk -F'\t' -v w="$workload" -v t="$tool" '$1 == w && $2 == t && $6 != "-" {
            if ($6 > m) m = $6 } END { print (m == "" ? "-" : m) }' "$times")
        if note=$(check_outputs "$tool" "$data/$workload/out-$tool"); then
            checks+=("| $workload | $(tool_label "$tool") | $note |")
        else
            failed=1
        fi
        table+=("| $workload | $(tool_label "$tool") | $count | ${middle[$tool]} | ${rate[$tool]} | ${busy:--} | $peak |")
    done
    peer=""
    for candidate in "${peers[@]}"; do
        [ -n "${rate[$candidate]:-}" ] || continue
        [ -z "$peer" ] && peer=$candidate
        awk -v a="${rate[$candidate]}" -v b="${rate[$peer]}" 'BEGIN { exit !(a > b) }' &&
            peer=$candidate
    done
    [ -n "$peer" ] && summary+=("$(awk -v w="$workload" -v e="${rate[engine]}" -v b="${rate[$base]}" \
        -v te="${middle[engine]}" -v tb="${middle[$base]}" -v p="${rate[$peer]}" \
        -v name="$(tool_label "$peer")" -v budget="$(budget_of "$workload")" \
        -v decoder="$([ "$base" = decode ] && echo 1 || echo 0)" 'BEGIN {
        bare = e / b; fast = e / p
        printf "| %s | %.3f%s | %s | %s | %.2f | %s | %s |", w, bare, \
            (decoder ? " of the decoder alone" : ""), \
            (decoder ? "-" : (te <= 1.05 * tb ? "met" : "MISSED")), name, fast, budget "x", \
            (fast >= budget ? "met" : "MISSED") }')")
    unset rate middle
    [ "$keep_outputs" -eq 1 ] || rm -rf "$data/$workload"/out-*
done
load_end=$(cut -d' ' -f1-3 /proc/loadavg)

{
    echo "# Conversion benchmarks ($mode)"
    echo
    echo "- started $started, $(nproc) cores, load average $load_start at the start, $load_end at the end"
    echo "- commit $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- . 2>/dev/null || echo ' (with changes)'), $reps repetition(s), median wall time"
    echo "- $("$bin/korvale-cli" --version | paste -sd ' '); $("$magick_mogrify" -version |
        sed -n '1s/^Version: \(.*\) https.*/\1/p'); $("$vips_cli" --version)"
    echo
    echo "| Workload | Tool | Images | Median s | Images/s | CPU / wall | Peak MB |"
    echo "|---|---|---:|---:|---:|---:|---:|"
    printf '%s\n' "${table[@]}"
    echo
    echo "Engine against its budgets (ratios of images per second; the bare loop: at most 5%"
    echo "slower; the fastest peer, one process or two: at least the workload's budget, 2 times"
    echo "for W1 to W3, 1.2 times for W5 to W8; for W7 and W8 the first column is the engine's"
    echo "share of its decoder's own speed, libheif or libwebp alone on two threads):"
    echo
    echo "| Workload | Engine / bare | Within 5% | Fastest peer | Engine / peer | Budget | Met |"
    echo "|---|---:|---|---|---:|---:|---|"
    printf '%s\n' "${summary[@]}"
    echo
    echo "Outputs checked after the last repetition:"
    echo
    echo "| Workload | Tool | Outputs |"
    echo "|---|---|---|"
    printf '%s\n' "${checks[@]}"
} >"$results"

echo
cat "$results"
echo
echo "Results: $results; raw times: $times"
if [ "$failed" -ne 0 ]; then
    echo "Some outputs were wrong (see above): their times do not count." >&2
    exit 1
fi
