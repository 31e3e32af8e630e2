#!/usr/bin/env bash
# Lists the texts that lack a translation: texts in the sources that the .ts
# does not hold yet, entries left unfinished or empty, and entries whose text the sources no
# longer have. lupdate works on a copy, so the repository's file is never changed.
# Usage: check-translations.sh LUPDATE SOURCE_LIST TS_FILE
set -euo pipefail
lupdate=$1 list=$2 ts=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ts" "$work/check.ts"
"$lupdate" -silent -locations none "@$list" -ts "$work/check.ts" >"$work/lupdate.log" 2>&1 ||
    { cat "$work/lupdate.log"; exit 1; }
python3 - "$work/check.ts" <<'PY'
import sys
import xml.etree.ElementTree as ET

lacking = []
for context in ET.parse(sys.argv[1]).getroot().iter("context"):
    name = context.findtext("name")
    for message in context.iter("message"):
        source = message.findtext("source")
        translation = message.find("translation")
        kind = translation.get("type", "") if translation is not None else "missing"
        if kind in ("vanished", "obsolete"):
            lacking.append(f"{name}: {source!r}: no longer in the sources")
        elif kind == "unfinished" or not (translation.text or "").strip():
            lacking.append(f"{name}: {source!r}: no translation")
for line in lacking:
    print(line)
print(f"{len(lacking)} text(s) lack a translation")
sys.exit(1 if lacking else 0)
PY
