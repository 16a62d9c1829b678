#!/usr/bin/env bash
# Checks what a desktop reads from the package: the desktop entry and the metainfo pass their
# validators, and an install puts the program, those files and the icons in their XDG places.
#   check-install.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2

desktop-file-validate "$src/packaging/com.fernwick.quillet.desktop"
appstreamcli validate --no-net --pedantic "$src/packaging/com.fernwick.quillet.metainfo.xml"

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/quillet \
    share/applications/com.fernwick.quillet.desktop \
    share/metainfo/com.fernwick.quillet.metainfo.xml \
    share/icons/hicolor/scalable/apps/quillet.svg \
    share/icons/hicolor/symbolic/apps/quillet-symbolic.svg; do
    [[ -s $prefix/$f ]] || { echo "check-install: $f not installed" >&2; exit 1; }
done
[[ -x $prefix/bin/quillet ]] || { echo "check-install: bin/quillet is not executable" >&2; exit 1; }
# The entry's icon and program are the ones installed.
grep -qx 'Icon=quillet' "$prefix/share/applications/com.fernwick.quillet.desktop"
grep -qx 'Exec=quillet' "$prefix/share/applications/com.fernwick.quillet.desktop"
echo "check-install: ok"
