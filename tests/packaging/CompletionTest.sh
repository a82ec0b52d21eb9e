#!/usr/bin/env bash
# The bash completion of lumo-publish offers what lumo-publish --help lists, so that a command
# or option added to the tool and not to the completion fails here.
# Usage: CompletionTest.sh COMPLETION-FILE LUMO-PUBLISH
set -uo pipefail
completion=$1
program=$2
# shellcheck source=/dev/null
source "$completion"
failures=0

# Completes line as bash would with the cursor at its end; prints the offers sorted.
complete_line() {
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _lumo_publish 2>/dev/null
    ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | sort
}

expect() {
    local line=$1 got want
    shift
    got=$(complete_line "$line")
    want=$( (($#)) && printf '%s\n' "$@" | sort)
    if [[ "$got" != "$want" ]]; then
        echo "FAIL: '$line' offers [${got//$'\n'/ }], --help says [${want//$'\n'/ }]"
        failures=$((failures + 1))
    fi
}

help=$("$program" --help) || {
    echo "FAIL: $program --help"
    exit 1
}
# An entry of the Commands section: "  NAME ARGUMENTS   description"; term() is its first part.
term() { sed -n '/^Commands:/,/^[^ ]/p' <<<"$help" | grep -E "^  $1( |$)" | sed -E 's/^  //; s/  .*$//'; }
mapfile -t commands < <(sed -n '/^Commands:/,/^[^ ]/p' <<<"$help" | grep -E '^  [a-z]' | awk '{print $1}')
if ((${#commands[@]} < 5)); then
    echo "FAIL: read only '${commands[*]}' from the Commands section of --help"
    exit 1
fi

expect "lumo-publish " "${commands[@]}" --help
expect "lumo-publish pu" $(printf '%s\n' "${commands[@]}" | grep '^pu')
for command in "${commands[@]}"; do
    arguments=$(term "$command" | awk '{print $2}')
    if [[ $arguments == *"|"* ]]; then
        # A choice of words, such as the media classes: music|photos.
        # shellcheck disable=SC2086
        expect "lumo-publish $command " ${arguments//|/ }
    elif [[ $arguments =~ ^[a-z]+$ ]]; then
        # A fixed word, such as "cache stats".
        expect "lumo-publish $command " "$arguments"
    fi
    mapfile -t options < <(term "$command" | grep -oE -- '(^| |\[)--?[A-Za-z][A-Za-z-]*' | tr -d ' [' | sort -u)
    if ((${#options[@]})); then
        expect "lumo-publish $command -" "${options[@]}"
    fi
done
expect "lumo-publish modules "

if ((failures)); then
    echo "$failures completion(s) differ from lumo-publish --help"
    exit 1
fi
echo "completion of ${#commands[@]} commands matches lumo-publish --help"
