#!/usr/bin/env bash
# Makes the screenshot that the manual shows and the AppStream metadata names: the real
# program on a virtual X server, the Photos page over a sandbox of generated pictures with two
# folders published, the window alone at 1024x720.
# Usage: make-screenshot.sh BUILD-FOLDER OUTPUT.png
set -euo pipefail

build=$(realpath "$1")
output=$(realpath -m "$2")

if [[ "${3:-}" != --inside ]]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$build" "$output" --inside
fi

sandbox=$(mktemp -d)
pid=
cleanup() {
    [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
    rm -rf "$sandbox"
}
trap cleanup EXIT

# Nothing of the real user's: home, settings, published sets and cache all in the sandbox.
export HOME=$sandbox/alex
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
mkdir -p "$XDG_CONFIG_HOME/Lumo" "$HOME/Music" "$HOME/Pictures"
cat >"$XDG_CONFIG_HOME/user-dirs.dirs" <<'EOF'
XDG_MUSIC_DIR="$HOME/Music"
XDG_PICTURES_DIR="$HOME/Pictures"
EOF
cat >"$XDG_CONFIG_HOME/Lumo/Desktop.ini" <<'EOF'
[Publisher]
MainWindowWidth=1024
MainWindowHeight=720
MainWindowTop=0
MainWindowLeft=0
PhotosItemBrowserSplitter=250
PhotosHeightSplitter=400
EOF

# Pictures drawn here, so the screenshot holds nothing of anyone else's: a sun over two hills.
picture() {
    local file=$1 sky=$2 horizon=$3 far=$4 near=$5 seed=$6
    local sun_x=$((90 + seed * 97 % 460)) sun_y=$((70 + seed * 31 % 90))
    local far_x=$((seed * 71 % 640)) near_x=$((640 - seed * 113 % 640))
    convert -size 640x480 "gradient:$sky-$horizon" \
        -fill "#fff4c8" -draw "circle $sun_x,$sun_y $((sun_x + 34)),$sun_y" \
        -fill "$far" -draw "ellipse $far_x,470 $((380 + seed * 37 % 160)),$((150 + seed * 19 % 60)) 0,360" \
        -fill "$near" -draw "ellipse $near_x,520 $((420 + seed * 53 % 140)),$((150 + seed * 23 % 50)) 0,360" \
        -quality 88 "$file"
}
mkdir -p "$HOME/Pictures/Coast trip" "$HOME/Pictures/Garden" "$HOME/Pictures/Winter"
n=0
for name in Harbour Cliffs Lighthouse "Low tide" Dunes Sunset Boats Pier; do
    n=$((n + 1))
    picture "$HOME/Pictures/Coast trip/$name.jpg" "#3f7fc8" "#f3e2b3" "#2f6f9f" "#d9c38a" "$n"
done
for name in Roses Tulips "Apple tree"; do
    n=$((n + 1))
    picture "$HOME/Pictures/Garden/$name.jpg" "#7db9ec" "#ffffff" "#6aa84f" "#3f7f2f" "$n"
done
for name in Snowfall "Frozen lake"; do
    n=$((n + 1))
    picture "$HOME/Pictures/Winter/$name.jpg" "#8fa9cf" "#eef3fa" "#c9d6e6" "#f4f7fb" "$n"
done

"$build/bin/lumo-publish" publish photos "$HOME/Pictures/Garden" "$HOME/Pictures/Winter" \
    "$HOME/Pictures/Coast trip/Lighthouse.jpg" >/dev/null

# Where namespaces allow it, a neutral computer name and a user the system does not name, so
# the titles read "Available photos on living-room:" and "Published photos:".
if unshare --uts true 2>/dev/null && unshare --user --map-user=54321 true 2>/dev/null; then
    # The X cookie is filed under the host name; a wildcard copy lets the renamed host in.
    cookie=$(xauth nlist "$DISPLAY" | sed -e 's/^..../ffff/')
    xauth nmerge - <<<"$cookie"
    unshare --uts sh -c 'hostname living-room && exec unshare --user --map-user=54321 "$@"' sh \
        "$build/bin/lumo-publisher" &
else
    "$build/bin/lumo-publisher" &
fi
pid=$!
window=
for _ in $(seq 1 200); do
    window=$(xdotool search --onlyvisible --name '^Lumo Publisher$' 2>/dev/null | head -n 1 || true)
    [[ -n "$window" ]] && break
    kill -0 "$pid" 2>/dev/null || {
        echo "lumo-publisher ended before showing its window" >&2
        exit 1
    }
    sleep 0.1
done
[[ -n "$window" ]] || {
    echo "lumo-publisher showed no window within 20 s" >&2
    exit 1
}
# The splash's minimum time, then the Photos tab, the Pictures folder opened and the trip chosen.
sleep 3
xdotool windowfocus --sync "$window" key --clearmodifiers alt+p
sleep 0.5
xdotool key Tab Home Right
sleep 1
xdotool key Down
sleep 3
import -window "$window" "$output"
echo "Screenshot: $output ($(identify -format '%wx%h' "$output"))"

xdotool key --clearmodifiers alt+f x 2>/dev/null || true
for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || exit 0
    sleep 0.1
done
