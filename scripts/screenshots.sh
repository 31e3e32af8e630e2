#!/usr/bin/env bash
# Screenshots of the main window under Xvfb on a 1600x1000 screen at display scales 1 and 2, in
# Japanese and in English, with a few files listed and the Japanese fonts the package installs,
# for looking at by eye: main-window-scale1.png, main-window-en-scale1.png and so on.
#
#   scripts/screenshots.sh [OUTPUT_DIR]    (default: build/screenshots)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/screenshots}"
"$root/scripts/install-deps.sh" xvfb x11-utils imagemagick
cmake --build "$root/build" --target korvale korvale-engine >/dev/null
mkdir -p "$out"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/images"
convert -size 1200x800 gradient:'#3070c0-#f0d080' -density 300 -units PixelsPerInch \
    "$work/images/landscape.jpg"
convert -size 600x900 plasma:fractal -density 96 -units PixelsPerInch "$work/images/portrait.png"
convert -size 640x480 xc:'#c87828' -density 72 -units PixelsPerInch "BMP3:$work/images/scan.bmp"
convert -size 1024x768 pattern:checkerboard -density 150 -units PixelsPerInch \
    "$work/images/chart.tif"

display=:93
for language in ja en; do
for scale in 1 2; do
    if [ "$language" = ja ]; then
        locale=ja_JP.UTF-8 shot="$out/main-window-scale$scale.png"
    else
        locale=en_US.UTF-8 shot="$out/main-window-en-scale$scale.png"
    fi
    Xvfb "$display" -noreset -screen 0 1600x1000x24 >/dev/null 2>&1 &
    xvfb=$!
    until DISPLAY=$display xwininfo -root >/dev/null 2>&1; do
        sleep 0.05
    done
    DISPLAY=$display HOME="$work/home" XDG_CACHE_HOME="$work/home/.cache" LANG=$locale \
        LANGUAGE= LC_ALL= LC_MESSAGES= \
        QT_SCALE_FACTOR=$scale QT_QPA_PLATFORM=xcb "$root/build/bin/korvale" \
        "$work"/images/* >/dev/null 2>&1 &
    app=$!
    until DISPLAY=$display xwininfo -name Korvale 2>/dev/null | grep -q IsViewable; do
        sleep 0.05
    done
    sleep 1.5  # the start-up hand-off fills the list and its statistics
    DISPLAY=$display import -window root "$shot"
    kill "$app"
    wait "$app" 2>/dev/null || true
    kill "$xvfb"
    wait "$xvfb" 2>/dev/null || true
    echo "$shot"
done
done
