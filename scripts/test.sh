#!/usr/bin/env bash
# Installs what is missing, builds, checks the formatting, and runs every test (unit and
# integration) inside a private headless desktop: Xvfb, D-Bus, gnome-keyring, AT-SPI, PulseAudio.
# A test that skips itself there fails the run. Extra arguments go to CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
scripts/build.sh
scripts/run-tests.sh build "$@"
