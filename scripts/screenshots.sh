#!/usr/bin/env bash
# Renders the README's pictures into docs/screenshots/: the pill in each of its states and the
# settings window's tabs over sample data (bench_settings draws those). It runs
# inside a private headless desktop (tests/tools/with-desktop.sh), whose X server has no
# compositor, so the pill shows the capsule cut it uses on such desktops. Run it again after
# changing what they show.
#   --build-dir DIR   the build tree to take the programs from (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
while (($#)); do
    case $1 in
    --build-dir) build_dir=$2; shift 2 ;;
    *) echo "screenshots: unknown option $1" >&2; exit 2 ;;
    esac
done

if [[ -z ${QUILLET_DESKTOP:-} ]]; then
    cmake --build "$build_dir" --target shots quillet bench_settings
    exec tests/tools/with-desktop.sh "$0" --build-dir "$build_dir"
fi

out=docs/screenshots
mkdir -p "$out"
"$build_dir/tests/tools/shots/shots" pill "$out"
tabs=(general dictionary history account modes)   # the tabs' tags, in tag order
for tag in "${!tabs[@]}"; do
    "$build_dir/bench/bench_settings" -showSettings true -settingsTab "$tag" \
        -grab "$out/settings-${tabs[$tag]}.png"
done
