#!/usr/bin/env bash
# Every Chinese text written in the program's code has an English form: it stands as the
# first argument of Tr("中文", "English"). The string table's own entries are checked by the
# build (strings_en.inc). Allowed: comments, the CSV file's header (a file format, not a
# text shown), and the constant that Tr pairs with "Untitled".
#   check_english_texts.sh SOURCE_DIR
set -euo pipefail
cd "${1:?source folder}"
cjk='"[^"]*[\x{4e00}-\x{9fff}\x{3000}-\x{303f}\x{ff00}-\x{ffef}][^"]*"'
found=$(grep -rnP "$cjk" --include='*.cpp' --include='*.h' app ui persistence docview forwarding opc platform |
    grep -vP '^\S+:\d+:\s*//' |
    sed -E 's#[[:space:]]//.*$##' |
    grep -P "$cjk" |
    grep -v 'Tr("' |
    grep -v '^persistence/csv_format.cpp:.*kColumnNames' |
    grep -v '^docview/document.h:.*kUntitled = ' || true)
if [ -n "$found" ]; then
    echo "Chinese texts without an English form (write them as Tr(\"中文\", \"English\")):"
    echo "$found"
    exit 1
fi
echo "every Chinese text in the code has an English form"
