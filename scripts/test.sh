#!/usr/bin/env bash
# Installs what is missing, builds, checks the formatting, and runs every test (unit and
# integration) inside a private headless desktop: Xvfb, D-Bus, gnome-keyring, AT-SPI, PulseAudio.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
scripts/build.sh
tests/tools/with-desktop.sh ctest --test-dir build --output-on-failure -j2 "$@"
