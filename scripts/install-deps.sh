#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need; silent and quick
# when everything is there already.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache clang-format clang libclang-rt-14-dev
    qt6-base-dev qt6-multimedia-dev gstreamer1.0-plugins-good qt6-svg-dev qt6-image-formats-plugins
    # lupdate and lrelease for our translations; Qt's own translations for its dialogs.
    qt6-l10n-tools qt6-translations-l10n
    libxcb1-dev libxcb-cursor-dev
    libjpeg62-turbo-dev libturbojpeg0-dev libtag1-dev libexif-dev libsqlite3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    shared-mime-info adwaita-icon-theme xvfb xdotool imagemagick
    rygel-2.8-dev libgupnp-1.6-dev libgupnp-av-1.0-dev libgee-0.8-dev libsoup-3.0-dev libxml2-dev
    # The server's allocator.
    libgoogle-perftools-dev
    gupnp-tools python3-gi gir1.2-gupnp-1.6 gir1.2-gupnp-av-1.0 iproute2 util-linux
    # The packaging tests: AppStream and desktop-entry validators, and groff for the manual page.
    appstream desktop-file-utils groff-base
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
    sudo=sudo
else
    sudo=
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
