#!/usr/bin/env bash
# The manual page made at build time shows every command and option of --help, and groff reads
# it without a warning.
# Usage: ManPageTest.sh PAGE PROGRAM [FEWEST-ENTRIES]
set -uo pipefail
page=$1
program=$2
fewest=${3:-10}
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

[[ -s $page ]] || {
    echo "FAIL: no manual page at $page"
    exit 1
}
help=$("$program" --help) || {
    echo "FAIL: $program --help"
    exit 1
}
# Each tagged entry of the help ("  TERM  description") is a tagged paragraph of the page.
entries=0
while IFS= read -r term; do
    entries=$((entries + 1))
    roff=$(sed -e 's/\\/\\e/g' -e 's/-/\\-/g' <<<"$term")
    grep -qxF "\\fB${roff}\\fR" "$page" || fail "'$term' is not an entry of the page"
done < <(grep -E '^  [^ ]' <<<"$help" | sed -E 's/^  //; s/  .*$//')
((entries >= fewest)) || fail "only $entries entries in --help"
for section in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS "EXIT STATUS" FILES "SEE ALSO"; do
    grep -qx "\\.SH $section" "$page" || fail "no section $section"
done

if command -v groff >/dev/null; then
    warnings=$(groff -man -ww -z -Tutf8 "$page" 2>&1)
    [[ -z $warnings ]] || fail "groff warns: $warnings"
else
    echo "groff is not installed: the page was not typeset"
fi

((failures == 0)) || exit 1
echo "$entries entries of --help are in $(basename "$page")"
