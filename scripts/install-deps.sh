#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Quillet need. Idempotent: it asks
# apt only for what is missing, and refreshes the package lists once when it has to install (a new
# machine has none). Runs as root, or through sudo.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config clang-format git
    qt6-base-dev qt6-websockets-dev qcoro-qt6-dev qtkeychain-qt6-dev libqt6svg6 qt6-qpa-plugins qt6-wayland
    libicu-dev libenchant-2-dev libpulse-dev libsoxr-dev libatspi2.0-dev
    libx11-dev libxi-dev libxtst-dev libsodium-dev libarchive-dev
    libevdev-dev libudev-dev libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev xkb-data
    # bundle and Debian package (scripts/make-bundle.sh, scripts/make-deb.sh)
    minisign patchelf zip dpkg-dev file desktop-file-utils appstream
    # spelling dictionaries
    hunspell-en-us hunspell-es hunspell-fr
    # the desktop the integration tests run in
    xvfb x11-utils xdotool xclip dbus dbus-x11 gnome-keyring at-spi2-core openbox zenity trayer
    pulseaudio pulseaudio-utils espeak-ng sox
    # memory checks (the sanitizer runtimes come with g++)
    valgrind
    # the Wayland sessions the Wayland tests run in (tests/tools/with-wayland.sh)
    sway wtype grim python3-gi gir1.2-gtk-4.0 gir1.2-atspi-2.0
    mutter xwayland pipewire xdg-desktop-portal xdg-desktop-portal-gnome
)

missing=()
for p in "${packages[@]}"; do
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
    if ! command -v sudo >/dev/null; then
        echo "install-deps: missing ${missing[*]}; run this as root or install sudo" >&2
        exit 1
    fi
    sudo=(sudo)
fi

# A new machine may still be running its own apt jobs: wait for the lock instead of failing; try
# again when a mirror did not answer.
apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -qq -o DPkg::Lock::Timeout=600)
retry() {
    local try
    for try in 1 2 3; do
        "$@" && return 0
        echo "install-deps: '$*' failed (try $try of 3)" >&2
        ((try == 3)) || sleep $((try * 10))
    done
    return 1
}
echo "install-deps: installing ${missing[*]}"
retry "${apt[@]}" update
retry "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
