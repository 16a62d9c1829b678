#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Quillet need. Idempotent: it asks
# apt only for what is missing, and refreshes the package lists once when it has to install.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config clang-format
    qt6-base-dev qt6-websockets-dev qcoro-qt6-dev qtkeychain-qt6-dev libqt6svg6 qt6-qpa-plugins
    libicu-dev libenchant-2-dev libpulse-dev libsoxr-dev libatspi2.0-dev
    libx11-dev libxi-dev libxtst-dev libsodium-dev libarchive-dev
    libevdev-dev libudev-dev libwayland-dev libwayland-bin libxkbcommon-dev xkb-data
    # bundle and Debian package (scripts/make-bundle.sh, scripts/make-deb.sh)
    minisign patchelf zip dpkg-dev file
    # spelling dictionaries
    hunspell-en-us hunspell-es hunspell-fr
    # the desktop the integration tests run in
    xvfb x11-utils xdotool xclip dbus dbus-x11 gnome-keyring at-spi2-core openbox zenity
    pulseaudio pulseaudio-utils espeak-ng sox
    # the Wayland sessions the Wayland tests run in (tests/tools/with-wayland.sh)
    sway wtype python3-gi gir1.2-gtk-4.0 gir1.2-atspi-2.0
    mutter xwayland pipewire xdg-desktop-portal xdg-desktop-portal-gnome
)

missing=()
for p in "${packages[@]}"; do
    [[ $p == \#* ]] && continue
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "install-deps: all ${#packages[@]} packages present"
    exit 0
fi

sudo=()
if ((EUID != 0)); then
    sudo=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
