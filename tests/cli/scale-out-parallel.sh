#!/usr/bin/env bash
# GNU parallel drives korvale-cli run over 2000 files in 4 shards: every output is written once,
# with its size and DPI. Then one shard is killed with SIGKILL halfway and started again with
# --overwrite newer: it does the rest, nothing twice, and leaves no temporary file.
# Usage: scale-out-parallel.sh KORVALE_CLI. Exits 77 (skipped) without GNU parallel.
set -euo pipefail
cli=$1
if ! command -v parallel >/dev/null 2>&1; then
    echo "SKIPPED: GNU parallel is not installed (Debian package 'parallel'," \
        "which scripts/install-deps.sh installs)"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$work/in/a" "$work/in/b" "$work/out"
convert -size 320x240 gradient:'#3366aa-#aa6633' "$work/seed.jpg"
# 2000 sources in two folders, written by a few tee processes rather than 2000 copies.
for folder in a b; do
    for block in 0 1 2 3 4; do
        names=()
        for i in $(seq 1 200); do names+=("$work/in/$folder/img-$folder$block-$i.jpg"); done
        tee "${names[@]}" <"$work/seed.jpg" >/dev/null
    done
done
find "$work/in" -name '*.jpg' -print0 >"$work/list"
total=$(tr -cd '\0' <"$work/list" | wc -c)
[ "$total" -eq 2000 ]
run="$cli run --files-from $work/list -0 --width 160 --height 120 --dpi 150 --output $work/out --json --quiet"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
written() { grep -h '"status": "written"' "$@" | sed 's/^{"source": "\([^"]*\)".*/\1/'; }
check_outputs() {
    local count temporaries
    count=$(find "$work/out" -type f -name '*.jpg' | wc -l)
    [ "$count" -eq 2000 ] || fail "$count outputs, not 2000"
    temporaries=$(find "$work/out" -name '.korvale-*' | wc -l)
    [ "$temporaries" -eq 0 ] || fail "$temporaries temporary files left"
    # Each output has its size and DPI.
    "$cli" probe --files-from <(find "$work/out" -type f -print0) -0 |
        awk -F'\t' '$2 != "ok" || $3 != 160 || $4 != 120 || $5 != 150 { bad++ }
                    END { exit bad > 0 }' || fail "an output has the wrong size or DPI"
}

# 1. Four shards at once.
parallel -j4 "$run --shard {}/4 >$work/json{}" ::: 1 2 3 4
check_outputs
[ "$(written "$work"/json? | wc -l)" -eq 2000 ] || fail "not 2000 writes reported"
[ -z "$(written "$work"/json? | sort | uniq -d)" ] || fail "a file was written twice"
shard4=$(written "$work/json4" | wc -l)
echo "shards wrote $(for k in 1 2 3 4; do written "$work/json$k" | wc -l; done | xargs)"

# 2. Again from nothing, shard 4 killed halfway, then started again with --overwrite newer.
rm -rf "$work/out" && mkdir "$work/out"
parallel -j3 "$run --shard {}/4 >$work/again{}" ::: 1 2 3 &
others=$!
$run --shard 4/4 >"$work/killed" &
victim=$!
while [ "$(grep -c '"status"' "$work/killed" || true)" -lt $((shard4 / 2)) ]; do
    kill -0 "$victim" 2>/dev/null || fail "shard 4 ended before it could be killed"
    sleep 0.01
done
kill -KILL "$victim"
wait "$victim" || true
wait "$others"
before=$(written "$work/killed" | wc -l)
$run --shard 4/4 --overwrite newer >"$work/resumed"
after=$(written "$work/resumed" | wc -l)
skipped=$(grep -c '"status": "skipped"' "$work/resumed" || true)
echo "killed after $before of $shard4; the second run wrote $after and skipped $skipped"
check_outputs
[ -z "$(written "$work/killed" "$work/resumed" | sort | uniq -d)" ] || fail "a file was done twice"
# A file whose name was given just before the kill, before its line was printed, is skipped
# without being reported as written.
[ $((before + after)) -ge $((shard4 - 1)) ] || fail "writes unaccounted for"
[ $((after + skipped)) -eq "$shard4" ] || fail "the second run did not see every file"
[ "$after" -gt 0 ] && [ "$skipped" -gt 0 ] || fail "the second run did not resume"
echo "ok"
