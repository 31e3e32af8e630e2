#!/usr/bin/env bash
# The CTest smoke of one fuzz target: FUZZER WORK CORPUS [libFuzzer options...]. New inputs go
# to WORK (emptied first), so the committed CORPUS is only read.
set -euo pipefail
fuzzer=$1 work=$2 corpus=$3
shift 3
rm -rf "$work"
mkdir -p "$work"
exec "$fuzzer" "$@" "$work" "$corpus"
