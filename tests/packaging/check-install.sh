#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that it holds exactly the expected
# files, and that the installed korvale-cli runs and finds its default presets in share/korvale.
# Usage: check-install.sh BUILD_DIR EXPECTED_FILES VERSION
set -euo pipefail
build=$1
expected=$2
version=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

"${CMAKE:-cmake}" --install "$build" --prefix "$prefix" >/dev/null

if ! diff -u <(sort "$expected") <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
then
    echo "FAIL: the installed files differ from $expected (- expected, + installed)"
    exit 1
fi
for program in korvale korvale-cli; do
    if [[ ! -x $prefix/bin/$program ]]; then
        echo "FAIL: bin/$program is not executable"
        exit 1
    fi
done

first=$("$prefix/bin/korvale-cli" --version | head -n 1)
if [[ $first != "korvale-cli $version" ]]; then
    echo "FAIL: the installed korvale-cli --version printed '$first'"
    exit 1
fi

# A new user: no preset file yet, so the first use copies the installed default.
home=$work/home
mkdir -p "$home"
listed=$(HOME=$home XDG_DATA_HOME=$home/.local/share XDG_CONFIG_HOME=$home/.config \
    "$prefix/bin/korvale-cli" presets)
copy=$home/.local/share/Brenvik/Korvale/KVPreset.csv
if ! cmp -s "$copy" "$prefix/share/korvale/KVPreset.csv"; then
    echo "FAIL: the first use did not copy share/korvale/KVPreset.csv to $copy"
    exit 1
fi
if [[ $(wc -l <<<"$listed") -lt 1 || $listed != 0$'\t'* ]]; then
    echo "FAIL: the installed korvale-cli listed no presets: '$listed'"
    exit 1
fi
echo "install into a prefix: $(wc -l <"$expected") files as expected; $first; $(wc -l <<<"$listed") presets"
