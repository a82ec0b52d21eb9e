#!/bin/sh
# A help text with what roff would misread: backslashes, lines opening with a dot or a quote.
cat <<'TEXT'
Usage: tricky [--flag] FILE\NAME

.dotted lines stay text,
'quoted ones too, and C:\temp keeps its backslash.

Options:
  --one                first\second
  --two-words ARG
                       described on the next line
                       and on a second
TEXT
