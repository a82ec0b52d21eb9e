#!/usr/bin/env bash
# The installed tree as a software centre reads it: the metainfo, the desktop entry it launches
# and the icon they name all agree (appstreamcli validate-tree).
# Usage: InstalledTreeTest.sh CMAKE BUILD-FOLDER WORK-FOLDER
set -euo pipefail
command -v appstreamcli >/dev/null || exit 77
cmake=$1
build=$2
root=$3
rm -rf "$root"
DESTDIR=$root "$cmake" --install "$build" --prefix /usr >/dev/null
appstreamcli validate-tree --no-net "$root"
