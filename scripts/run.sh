#!/usr/bin/env bash
# Installs what is missing, builds, and runs Quillet with the given arguments (default: --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
if (($# == 0)); then
    set -- --help
fi
exec build/src/app/quillet "$@"
