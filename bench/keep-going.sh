#!/usr/bin/env bash
# A run that goes on after errors over 1000 files in a kept tree, 100 of which fail: 40 cut
# short (they cannot be read), 30 whose output name is taken by a folder and 30 whose output
# subfolder is taken by a file (they cannot be written). Counts the good outputs written, the
# failed files listed, and anything half-written (temporary files, outputs of failed files).
# Usage: bench/keep-going.sh [KORVALE_CLI]
set -uo pipefail
cli=$(realpath "${1:-build/bin/korvale-cli}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -size 64x48 plasma: "$work/seed.png"
for d in 0 1 2 3 4 5 6 7 8; do
    mkdir -p "$work/in/d$d"
    for i in $(seq -w 0 99); do cp "$work/seed.png" "$work/in/d$d/img$i.png"; done
done
# d9 has its images one folder deeper, so that a file can stand where that folder should be.
mkdir -p "$work/in/d9/sub"
for i in $(seq -w 0 99); do cp "$work/seed.png" "$work/in/d9/sub/img$i.png"; done

size=$(stat -c %s "$work/seed.png")
bad=()
for i in $(seq -w 0 39); do        # cut short: the header reads, the pixels do not
    head -c $((size / 2)) "$work/seed.png" > "$work/in/d0/img$i.png"
    bad+=("in/d0/img$i.png")
done
mkdir -p "$work/out/d1"
for i in $(seq -w 0 29); do        # a folder at the output's name
    mkdir "$work/out/d1/img$i.png"
    bad+=("in/d1/img$i.png")
done
mkdir -p "$work/out/d9"
: > "$work/out/d9/sub"             # a file where the output subfolder should be
for i in $(seq -w 0 29); do
    mv "$work/in/d9/sub/img$i.png" "$work/in/d9/sub/img$i.tmp"
done
# Only 30 of d9's files are to fail: the other 70 go to a folder of their own.
mkdir -p "$work/in/d9/ok"
for i in $(seq -w 30 99); do mv "$work/in/d9/sub/img$i.png" "$work/in/d9/ok/img$i.png"; done
for i in $(seq -w 0 29); do
    mv "$work/in/d9/sub/img$i.tmp" "$work/in/d9/sub/img$i.png"
    bad+=("in/d9/sub/img$i.png")
done

cd "$work" || exit 2
find in -name '*.png' | sort > list.txt
start=$(date +%s.%N)
mapfile -t files < list.txt
"$cli" run --keep-tree --keep-going --quiet --format png \
    --width 40 --height 32 --mkdir --output out "${files[@]}" 2> err.txt
status=$?
end=$(date +%s.%N)

listed=$(wc -l < list.txt)
failedLines=$(grep -c ': 画像ファイルの' err.txt)
missing=0
for f in "${bad[@]}"; do grep -qF "$f: " err.txt || missing=$((missing + 1)); done
goodWritten=0
goodMissing=0
while read -r f; do
    case " ${bad[*]} " in *" $f "*) continue ;; esac
    out="out/${f#in/}"
    if [ -f "$out" ] && [ "$(identify -format '%wx%h' "$out" 2>/dev/null)" = 40x32 ]; then
        goodWritten=$((goodWritten + 1))
    else
        goodMissing=$((goodMissing + 1))
    fi
done < list.txt
temporaries=$(find out -name '.korvale-*' | wc -l)
badOutputs=0
for f in "${bad[@]}"; do [ -f "out/${f#in/}" ] && badOutputs=$((badOutputs + 1)); done

echo "files listed:                $listed"
echo "exit status:                 $status (1 expected)"
echo "good outputs written:        $goodWritten of $((listed - ${#bad[@]})) (missing or wrong: $goodMissing)"
echo "failed files listed:         $failedLines of ${#bad[@]} (bad ones not named: $missing)"
echo "temporary files left:        $temporaries"
echo "outputs of failed files:     $badOutputs"
printf 'run time:                    %.2f s\n' "$(echo "$end - $start" | bc)"
[ "$status" -eq 1 ] && [ "$goodMissing" -eq 0 ] && [ "$failedLines" -eq ${#bad[@]} ] &&
    [ "$missing" -eq 0 ] && [ "$temporaries" -eq 0 ] && [ "$badOutputs" -eq 0 ]
