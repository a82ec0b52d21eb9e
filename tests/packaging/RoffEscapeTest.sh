#!/usr/bin/env bash
# HelpToMan.cmake keeps what roff would otherwise eat: backslashes, leading dots and quotes.
# Usage: RoffEscapeTest.sh CMAKE HELP-TO-MAN TRICKY-PROGRAM WORK-FOLDER
set -uo pipefail
cmake=$1
script=$2
program=$3
work=$4
mkdir -p "$work"
page=$work/tricky.1
"$cmake" -DPROGRAM="$program" -DNAME=tricky -DSECTION=1 -DSUMMARY="a test" -DSOURCE=test \
    -DOUTPUT="$page" -P "$script" || exit 1
if ! command -v groff >/dev/null; then
    echo "groff is not installed"
    exit 77
fi
text=$(groff -man -Tascii -P-cbou "$page" 2>&1 | tr -s ' \n' '  ')
failures=0
for expected in 'tricky [--flag] FILE\NAME' '.dotted lines stay text' "'quoted ones too" 'C:\temp keeps' \
    '--one first\second' '--two-words ARG described on the next line and on a second'; do
    if [[ $text != *"$expected"* ]]; then
        echo "FAIL: '$expected' is not in the typeset page"
        failures=$((failures + 1))
    fi
done
((failures == 0)) || {
    echo "$text"
    exit 1
}
echo "the typeset page keeps every character of the help"
