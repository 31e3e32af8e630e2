#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Korvale need, only when some
# are missing; quick when everything is present. Extra package names may be passed as arguments.
set -euo pipefail

packages=(
    g++ cmake ninja-build
    qt6-base-dev qt6-svg-dev libopencv-dev libjpeg62-turbo-dev libpng-dev
    qt6-l10n-tools qt6-tools-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    fonts-ipafont-gothic fonts-noto-cjk qt6-translations-l10n
    librsvg2-bin help2man
    desktop-file-utils appstream man-db bash-completion
    libimage-exiftool-perl imagemagick libtiff-tools python3-pil zlib1g-dev libtiff-dev
    pkg-config libheif-dev libwebp-dev libjxl-dev libbrotli-dev libavcodec-dev
    libheif-examples libavif-bin webp libjxl-tools
    liblcms2-dev libgs-common
    parallel
    "$@"
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    if [ "$status" != "installed" ]; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
