#!/usr/bin/env bash
# Plants links as a second local user would in a shared sticky folder and runs korvale-cli's
# writing commands through them; counts the cases in which the victim's file stayed as it was.
# Needs the superuser (to make links owned by another user). Usage:
#   bench/planted-links.sh [KORVALE_CLI] [on|off|both]
set -uo pipefail
cli=${1:-build/bin/korvale-cli}
modes=${2:-both}
[ "$(id -u)" -eq 0 ] || { echo "run as root: links owned by another user are made with chown" >&2; exit 2; }
other=65534
setting=/proc/sys/fs/protected_symlinks
previous=$(cat "$setting")
trap 'echo "$previous" > "$setting"' EXIT

work=$(mktemp -d)
trap 'echo "$previous" > "$setting"; rm -rf "$work"' EXIT
convert -size 40x30 xc:'#336699' "$work/photo.jpg"

tried=0
refused=0
# One case: $1 is how the link is planted, $2.. the command after korvale-cli.
attempt() {
    local plant=$1
    shift
    rm -rf "$work/shared" "$work/victim" "$work/etc"
    mkdir -p "$work/shared" "$work/victim" "$work/etc"
    chmod 1777 "$work/shared"
    printf 'secret' > "$work/victim/.bashrc"
    printf 'ssh-ed25519 AAAA' > "$work/victim/authorized_keys"
    printf 'root:*:19000::::::' > "$work/etc/shadow"
    chgrp shadow "$work/etc/shadow" 2>/dev/null; chmod 0640 "$work/etc/shadow"
    cp "$work/photo.jpg" "$work/victim/scan.jpg"
    convert -size 8x8 xc:red "$work/victim/scan.png"
    case $plant in
        direct) ln -s "$work/victim/.bashrc" "$work/shared/photo.jpg" ;;
        relative) ln -s ../victim/authorized_keys "$work/shared/photo.jpg" ;;
        chain) ln -s "$work/victim/.bashrc" "$work/shared/relay"
               chown -h $other:$other "$work/shared/relay"
               ln -s relay "$work/shared/photo.jpg" ;;
        shadow) ln -s "$work/etc/shadow" "$work/shared/photo.jpg" ;;
        picture) ln -s "$work/victim/scan.jpg" "$work/shared/photo.jpg" ;;
        png) ln -s "$work/victim/scan.png" "$work/shared/photo.jpg" ;;
        folder) ln -s "$work/victim" "$work/shared/out" ;;
    esac
    [ -L "$work/shared/photo.jpg" ] && chown -h $other:$other "$work/shared/photo.jpg"
    [ -L "$work/shared/out" ] && chown -h $other:$other "$work/shared/out"
    local before
    before=$(cd "$work" && find victim etc -printf '%p %m %U %G %s\n' | sort; cat victim/.bashrc victim/* etc/* | md5sum)
    (cd "$work" && "$cli" "$@" </dev/null >/dev/null 2>&1)
    local after
    after=$(cd "$work" && find victim etc -printf '%p %m %U %G %s\n' | sort; cat victim/.bashrc victim/* etc/* | md5sum)
    tried=$((tried + 1))
    if [ "$before" = "$after" ]; then
        refused=$((refused + 1))
    else
        echo "  replaced through the link: $plant: $*"
    fi
}

run_all() {
    tried=0
    refused=0
    for plant in direct relative chain shadow picture png; do
        for flags in "--overwrite all" "--overwrite skip" "--overwrite cancel" "" \
                     "--overwrite all --method dpi-only" "--overwrite all --format jpeg"; do
            # shellcheck disable=SC2086
            attempt "$plant" run --output shared $flags photo.jpg
        done
        attempt "$plant" stamp 300 shared/photo.jpg
    done
    for flags in "--overwrite all" ""; do
        # shellcheck disable=SC2086
        attempt folder run --output shared/out $flags photo.jpg
    done
    echo "fs.protected_symlinks=$(cat $setting): $refused of $tried planted-link cases refused"
}

for mode in on off; do
    [ "$modes" = both ] || [ "$modes" = "$mode" ] || continue
    [ "$mode" = on ] && echo 1 > "$setting" || echo 0 > "$setting"
    run_all
done
