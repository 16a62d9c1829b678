#!/usr/bin/env bash
# Installs what is missing, builds, and runs Quillet with the given arguments: none starts the
# desktop application, a command (see --help) runs that command.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec build/src/app/quillet "$@"
