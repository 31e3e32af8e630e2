#!/usr/bin/env bash
# Builds Korvale and runs the whole test suite through CTest twice: in a normal build (build/)
# and in an AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/) that halts on the
# first error. Then builds the fuzz targets with clang (build-fuzz/) and runs each over its seed
# corpus plus a fixed number of mutations, also through CTest. Warnings are errors in all three.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVALE_SANITIZE=ON \
      -DKORVALE_WERROR=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DKORVALE_FUZZ=ON -DKORVALE_BUILD_TESTS=OFF -DKORVALE_BUILD_BENCHMARKS=OFF \
      -DKORVALE_WERROR=ON
cmake --build build-fuzz -j "$jobs" --target korvale_fuzzers
ctest --test-dir build-fuzz --output-on-failure -j "$jobs"

echo "All tests passed (normal and sanitizer builds, fuzz smoke)."
