#!/usr/bin/env bash
# GNU parallel drives korvale-cli run over 2000 files in 4 shards: every output is written once,
# with its size and DPI. Then one shard is killed with SIGKILL halfway and started again with
# --overwrite newer: it does the rest, nothing twice, and leaves no temporary file.
# The other recipes of docs/scale-out.md follow: the list cut in blocks (--pipepart), shards
# through --sshlogin with the local machine as the host, and a Slurm array's command line.
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
options="-0 --width 160 --height 120 --dpi 150 --output $work/out --json --quiet"
run="$cli run --files-from $work/list $options"

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

# 3. The list cut in blocks, each on a process's standard input.
rm -rf "$work/out" && mkdir "$work/out"
parallel --pipepart -a "$work/list" --recend '\0' --block -1 -j 4 \
    "$cli run --files-from - $options" >"$work/blocks"
check_outputs
[ "$(written "$work/blocks" | wc -l)" -eq 2000 ] || fail "--pipepart: not 2000 writes"

# 4. Shards through --sshlogin, the local machine (":") standing for the hosts.
rm -rf "$work/out" && mkdir "$work/out"
parallel --sshlogin 2/: -j 2 "$run --shard {}/4" ::: 1 2 3 4 >"$work/hosts"
check_outputs
[ "$(written "$work/hosts" | wc -l)" -eq 2000 ] || fail "--sshlogin: not 2000 writes"

# 5. A Slurm array of 4 tasks, one after the other.
rm -rf "$work/out" && mkdir "$work/out"
for task in 0 1 2 3; do
    SLURM_ARRAY_TASK_ID=$task SLURM_ARRAY_TASK_COUNT=4 bash -c \
        "$run --shard \$((SLURM_ARRAY_TASK_ID+1))/\$SLURM_ARRAY_TASK_COUNT" >>"$work/slurm"
done
check_outputs
[ "$(written "$work/slurm" | wc -l)" -eq 2000 ] || fail "Slurm: not 2000 writes"
echo "ok"
