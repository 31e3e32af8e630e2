#!/usr/bin/env bash
# Checks the bash completion of korvale-cli against the built program: commands, options,
# option values from the help, presets, folders and files. With the program's main source, also
# that every command it dispatches is offered.
# Usage: complete.sh CLI COMPLETION_SCRIPT [MAIN_SOURCE]
set -uo pipefail
cli=$1
script=$2
main_source=${3:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/files/out" "$work/home"
ln -s "$cli" "$work/bin/korvale-cli"
touch "$work/files/a.jpg" "$work/files/b.BMP"
export PATH="$work/bin:$PATH" HOME="$work/home" XDG_DATA_HOME="$work/home/data" \
    XDG_CONFIG_HOME="$work/home/config"
cd "$work/files" || exit 1

source /usr/share/bash-completion/bash_completion || exit 1
source "$script" || exit 1

# Completes LINE as if TAB were pressed at its end; prints the candidates, one per line, sorted.
candidates() {
    COMP_LINE=$1
    COMP_POINT=${#COMP_LINE}
    # Words as bash splits them: at spaces outside quotes and not escaped.
    COMP_WORDS=()
    local i c word='' quote=''
    for ((i = 0; i < ${#COMP_LINE}; i++)); do
        c=${COMP_LINE:i:1}
        if [[ $c == '\' ]]; then
            word+=${COMP_LINE:i:2}
            i=$((i + 1))
        elif [[ -n $quote ]]; then
            [[ $c == "$quote" ]] && quote=''
            word+=$c
        elif [[ $c == '"' || $c == "'" ]]; then
            quote=$c
            word+=$c
        elif [[ $c == ' ' ]]; then
            COMP_WORDS+=("$word")
            word=''
        else
            word+=$c
        fi
    done
    COMP_WORDS+=("$word")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _korvale_cli korvale-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
}

failures=0
expect() {
    local line=$1 want
    want=$(printf '%s\n' "${@:2}" | sed '/^$/d' | sort)
    local got
    got=$(candidates "$line")
    if [[ $got != "$want" ]]; then
        echo "FAIL: '$line'"
        echo "  expected: $(echo $want)"
        echo "  got:      $(echo $got)"
        failures=$((failures + 1))
    fi
}

expect_includes() {
    local line=$1 got word
    got=$(candidates "$line")
    for word in "${@:2}"; do
        if ! grep -qxF -- "$word" <<<"$got"; then
            echo "FAIL: '$line' does not offer $word (got: $(echo $got))"
            failures=$((failures + 1))
        fi
    done
}

expect_includes 'korvale-cli ' probe stamp stats presets options run
expect 'korvale-cli st' stamp stats
expect 'korvale-cli --' --help --version
expect_includes 'korvale-cli run --' -- --width --height --dpi --preset --settings --method \
    --interpolation --keep-aspect --anchor --margin --format --quality --output --overwrite --quiet
expect 'korvale-cli run --inter' --interpolation
expect 'korvale-cli run --interpolation ' nearest area bilinear bicubic lanczos4
expect 'korvale-cli run --method ' resize crop
expect 'korvale-cli run --format j' jpeg
expect 'korvale-cli run --format t' tiff
expect 'korvale-cli run --overwrite ' ask all skip cancel
expect 'korvale-cli run --anchor middle-' middle-left middle-right
expect 'korvale-cli run --width '
expect 'korvale-cli run --margin '
expect 'korvale-cli run --output ' out
expect 'korvale-cli run --preset A4\ 6' 'A4\ 600dpi'
expect 'korvale-cli run --preset "A3' 'A3\ 300dpi' 'A3\ 600dpi'
expect 'korvale-cli run --preset $(touch' 
expect 'korvale-cli run --keep-aspect ' a.jpg b.BMP out
expect 'korvale-cli run --width 800 a' a.jpg
expect 'korvale-cli run -- --' 
expect 'korvale-cli probe ' a.jpg b.BMP out
expect 'korvale-cli stats b' b.BMP
expect 'korvale-cli stamp '
expect 'korvale-cli stamp 300 a' a.jpg
expect 'korvale-cli presets --'

expect 'korvale-cli pl' plan
expect_includes 'korvale-cli plan --' -- --json --width --height --dpi --preset --settings \
    --method --interpolation --keep-aspect --anchor --margin --format --quality --output
expect 'korvale-cli plan --j' --json
expect 'korvale-cli plan --format t' tiff
expect 'korvale-cli plan --metadata ' none no-gps all
expect 'korvale-cli plan --output ' out
expect 'korvale-cli plan --json ' a.jpg b.BMP out
expect 'korvale-cli run --j' --json
expect_includes 'korvale-cli run --' --files-from --null --shard --json --failed-list --to-srgb
expect 'korvale-cli stats --fi' --files-from
expect 'korvale-cli probe --sh' --shard
expect 'korvale-cli run --files-from ' a.jpg b.BMP out
expect 'korvale-cli run --failed-list ' a.jpg b.BMP out

if [[ -n $main_source ]]; then
    # The names in the command table of main.cpp: each must be offered after the program name.
    mapfile -t dispatched < <(sed -n '/kCommands\[\] = {/,/^};/s/^ *{"\([a-z-]*\)",.*/\1/p' \
        "$main_source")
    if ! printf '%s\n' "${dispatched[@]}" | grep -qx probe; then
        echo "FAIL: no command table found in $main_source"
        failures=$((failures + 1))
    fi
    expect_includes 'korvale-cli ' "${dispatched[@]}"
fi

((failures == 0)) && echo "bash completion: all cases pass"
exit $((failures > 0))
