#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one long, then prints the
# executions and coverage per target.
#
#   scripts/fuzz.sh [--runs N] [--time SECONDS] [--parallel] [TARGET...]
#   scripts/fuzz.sh --coverage [TARGET...]
#
# --runs N        executions per target (default 10000000)
# --time SECONDS  stop a target after this long even if N is not reached (default: no limit)
# --parallel      run all targets at once instead of one after another
# --coverage      instead of fuzzing, replay each target's grown and committed corpus in a
#                 source-coverage build (build-fuzz-cov/) and print the line and branch
#                 coverage of the code it reaches
# TARGET          probe, stamp, preset_csv, options, metadata (default: all)
#
# Each target grows its own corpus in build-fuzz/fuzz-corpus/TARGET (seeded from fuzz/corpus/);
# an input that finds a fault is written to build-fuzz/fuzz-artifacts/TARGET/. Keep such an
# input as fuzz/corpus/TARGET/regression-NAME once the fault is mended. Logs go to
# build-fuzz/fuzz-logs/.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=10000000
max_time=0
parallel=0
coverage=0
targets=()
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --time) max_time=$2; shift 2 ;;
        --parallel) parallel=1; shift ;;
        --coverage) coverage=1; shift ;;
        -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
        -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done
if [ ${#targets[@]} -eq 0 ]; then
    targets=()
    for folder in fuzz/corpus/*/; do
        targets+=("$(basename "$folder")")
    done
fi

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

if [ "$coverage" -eq 1 ]; then
    scripts/install-deps.sh llvm
    flags="-fprofile-instr-generate -fcoverage-mapping"
    cmake -S . -B build-fuzz-cov -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
          -DCMAKE_CXX_COMPILER=clang++ -DKORVALE_FUZZ=ON -DKORVALE_BUILD_TESTS=OFF \
          -DKORVALE_BUILD_BENCHMARKS=OFF -DCMAKE_CXX_FLAGS="$flags" \
          -DCMAKE_EXE_LINKER_FLAGS="$flags" "${launcher[@]}" >/dev/null
    cmake --build build-fuzz-cov -j "$(nproc)" --target korvale_fuzzers
    profiles=build-fuzz-cov/profiles
    rm -rf "$profiles"
    mkdir -p "$profiles"
    for name in "${targets[@]}"; do
        corpora=("fuzz/corpus/$name")
        [ -d "build-fuzz/fuzz-corpus/$name" ] && corpora+=("build-fuzz/fuzz-corpus/$name")
        LLVM_PROFILE_FILE="$profiles/$name.profraw" "build-fuzz-cov/bin/fuzz_$name" -runs=0 \
            "${corpora[@]}" >"$profiles/$name.log" 2>&1
        llvm-profdata merge -sparse "$profiles/$name.profraw" -o "$profiles/$name.profdata"
        echo "== fuzz_$name: $(find "${corpora[@]}" -type f | wc -l) inputs"
        # The project's sources only, without the target itself.
        llvm-cov report "build-fuzz-cov/bin/fuzz_$name" -instr-profile="$profiles/$name.profdata" \
            -ignore-filename-regex='(^/usr/|Fuzzer\.cpp$|FuzzFiles\.(cpp|h)$)'
    done
    exit 0
fi

scripts/install-deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DKORVALE_FUZZ=ON -DKORVALE_BUILD_TESTS=OFF -DKORVALE_BUILD_BENCHMARKS=OFF \
      -DKORVALE_WERROR=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target korvale_fuzzers

logs=build-fuzz/fuzz-logs
mkdir -p "$logs"

run_target() {
    local name=$1
    local corpus=build-fuzz/fuzz-corpus/$name artifacts=build-fuzz/fuzz-artifacts/$name/
    mkdir -p "$corpus" "$artifacts"
    local options=(-runs="$runs" -max_total_time="$max_time" -timeout=10 -rss_limit_mb=2048
                   -max_len=2048 -print_final_stats=1 -artifact_prefix="$artifacts")
    [ -f "fuzz/$name.dict" ] && options+=(-dict="fuzz/$name.dict")
    "build-fuzz/bin/fuzz_$name" "${options[@]}" "$corpus" "fuzz/corpus/$name" \
        >"$logs/$name.log" 2>&1
}

summarise() {
    local name=$1 status=$2 log=$logs/$1.log
    local executions cov ft seconds
    executions=$(sed -n 's/^stat::number_of_executed_units: //p' "$log" | tail -1)
    seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    local result=ok
    [ "$status" -ne 0 ] && result="FAULT (exit $status, see $log)"
    printf '%-12s %12s %8s %6s %7s  %s\n' "$name" "${executions:-?}" "${seconds:-?}" \
        "${cov:-?}" "${ft:-?}" "$result"
}

declare -A status
if [ "$parallel" -eq 1 ]; then
    declare -A pids
    for name in "${targets[@]}"; do
        run_target "$name" &
        pids[$name]=$!
    done
    for name in "${targets[@]}"; do
        if wait "${pids[$name]}"; then status[$name]=0; else status[$name]=$?; fi
    done
else
    for name in "${targets[@]}"; do
        if run_target "$name"; then status[$name]=0; else status[$name]=$?; fi
    done
fi

printf '%-12s %12s %8s %6s %7s  %s\n' target executions seconds cov ft result
failed=0
for name in "${targets[@]}"; do
    summarise "$name" "${status[$name]}"
    [ "${status[$name]}" -ne 0 ] && failed=1
done
exit $failed
