#!/usr/bin/env bash
# Runs one validator over an installed data file and fails on any error or warning.
# Usage: validate.sh desktop|metainfo|man FILE
set -uo pipefail
kind=$1
file=$2

case $kind in
    desktop)
        output=$(desktop-file-validate "$file" 2>&1)
        status=$?
        # Hints suggest optional extra keys; errors and warnings are faults.
        grep -qE '(error|warning):' <<<"$output" && status=1
        ;;
    metainfo)
        output=$(appstreamcli validate --no-net "$file" 2>&1)
        status=$?
        # Software centres want what the infos call missing (content rating, screenshots).
        grep -qE '^(E|W):|^I: .*-missing' <<<"$output" && status=1
        ;;
    man)
        # The page itself goes to /dev/null; anything on standard error is a warning.
        output=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
        status=$?
        [[ -n $output ]] && status=1
        ;;
    *)
        echo "unknown kind '$kind'"
        exit 2
        ;;
esac
[[ -n $output ]] && echo "$output"
((status == 0)) && echo "$kind $file: valid"
exit $status
