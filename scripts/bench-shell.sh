#!/usr/bin/env bash
# Prints the desktop application's figures: launch to tray icon, resident memory idle, recording
# and around the settings window, wakeups and timer events while idle, and how soon the pill
# paints after a dictation starts. Both benchmarks run in a private headless desktop
# (tests/tools/with-desktop.sh); use a Release tree for figures worth comparing.
#   --build-dir DIR   the build tree (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
while (($#)); do
    case $1 in
    --build-dir) build_dir=$2; shift 2 ;;
    *) echo "bench-shell: unknown option $1" >&2; exit 2 ;;
    esac
done

cmake --build "$build_dir" --target quillet speechsim bench_shell bench_hud
# The application's own lines (what the pill also says) are left out.
tests/tools/with-desktop.sh "$build_dir/bench/bench_shell" 2>/dev/null
tests/tools/with-desktop.sh "$build_dir/bench/bench_hud" 2>/dev/null
