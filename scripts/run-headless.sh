#!/usr/bin/env bash
# Runs the publisher on a virtual X server, saves a screenshot of the screen once its window
# is up, then closes it. Usage: run-headless.sh PROGRAM SCREENSHOT.png
set -euo pipefail

program=$1
screenshot=$2

if [[ "${3:-}" != --inside ]]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$program" "$screenshot" --inside
fi

"$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

window=
for _ in $(seq 1 200); do
    window=$(xdotool search --onlyvisible --name '^Lumo Publisher$' 2>/dev/null | head -n 1 || true)
    [[ -n "$window" ]] && break
    kill -0 "$pid" 2>/dev/null || { echo "lumo-publisher ended before showing its window" >&2; exit 1; }
    sleep 0.1
done
if [[ -z "$window" ]]; then
    echo "lumo-publisher showed no window within 20 s" >&2
    exit 1
fi

# The splash stays up for its minimum time; the window behind it is what we want to see.
sleep 3
import -window root "$screenshot"
echo "Screenshot: $screenshot"

# Leave through File > Exit, so the layout is saved as on a real close.
xdotool windowfocus --sync "$window" key --clearmodifiers alt+f x 2>/dev/null || true
for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || exit 0
    sleep 0.1
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
