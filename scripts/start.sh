#!/usr/bin/env bash
# Builds Korvale (build/) and opens its window; arguments (image files) are passed on.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
exec build/bin/korvale "$@"
