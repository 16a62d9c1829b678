#!/usr/bin/env bash
# The packaging check of CI, after the test run has built build/: builds bundles at build 1 and 2
# from one Release tree (signed with the test key in tests/update/keys), shows that a bundle starts
# with the system's copies of what it bundles hidden, lets the build-1 bundle update itself to
# build 2 from a loopback update site, then builds, installs, runs and removes the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
log() { printf 'ci-package: %s\n' "$*" >&2; }
fail() {
    log "FAILED: $*"
    exit 1
}

work=$(mktemp -d /tmp/quillet-package.XXXXXX)
site_pid=
cleanup() {
    [[ -n $site_pid ]] && kill "$site_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
sudo=()
((EUID == 0)) || sudo=(sudo)
# The updater never offers itself in a build with a built-in speech key.
unset SONIOX_API_KEY

# The update site: a folder on loopback.
cmake --build build --target updatesite >/dev/null
mkdir -p "$work/site/quillet"
coproc SITE { exec build/tests/tools/updatesite/updatesite "$work/site"; }
site_pid=$SITE_PID
read -r -t 30 port_line <&"${SITE[0]}" || fail "the update site did not start"
site=http://127.0.0.1:${port_line#PORT }

keys=tests/update/keys
for build in 1 2; do
    scripts/make-bundle.sh --build "$build" --site "$site" --public-key "$keys/test.pub" \
        --secret-key "$keys/test.key" --out "$work/b$build" >"$work/make-bundle-$build.log" ||
        { cat "$work/make-bundle-$build.log"; fail "make-bundle.sh --build $build"; }
done
zip2=$(ls "$work"/b2/Quillet-*-2.zip)

# Starts on a desktop without what the bundle carries: every system copy of a bundled library, and
# Qt's plugins, are hidden in a private mount namespace. (mount itself needs some of them, so it
# runs on the bundle's copies.)
hide_and_run() {
    local appdir=$1 lib d
    shift
    mount -t tmpfs none /usr/lib/x86_64-linux-gnu/qt6
    for lib in "$appdir"/usr/lib/*; do
        for d in /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu; do
            [[ -e $d/${lib##*/} ]] &&
                LD_LIBRARY_PATH=$appdir/usr/lib mount --bind /dev/null "$d/${lib##*/}"
        done
    done
    env -i PATH=/usr/bin:/bin HOME="${appdir%/*}" "$appdir/AppRun" "$@"
}
if ((EUID == 0)) && unshare --mount --propagation private true 2>/dev/null; then
    export -f hide_and_run
    version=$(unshare --mount --propagation private bash -c 'hide_and_run "$@"' _ \
        "$work/b1/Quillet.AppDir" --version) || fail "the bundle does not start alone"
else
    log "not root: checking the bundle without hiding the system's libraries"
    version=$(env -i PATH=/usr/bin:/bin HOME="$work" "$work/b1/Quillet.AppDir/AppRun" --version)
fi
[[ $version == "Quillet "*" (build 1)" ]] || fail "bundle 1 says: $version"
log "bundle runs alone: $version"

# Release tooling: the running build verifies the next one offline, and not the other way round.
"$work/b1/Quillet.AppDir/AppRun" -verifyUpdate "$zip2" || fail "build 1 rejects build 2"
if "$work/b2/Quillet.AppDir/AppRun" -verifyUpdate "$work/b1/Quillet.AppDir" 2>/dev/null; then
    fail "build 2 accepts build 1"
fi

# Self-update over loopback: build 1, installed under apps/, updates itself to build 2 and
# relaunches; the relaunched copy (no arguments) starts the desktop application, which finds no
# display here and says so into the same output, and the output ends only once it has finished.
cp "$zip2" "$work/b2/latest.json" "$work/site/quillet/"
mkdir -p "$work/apps" "$work/config"
cp -a "$work/b1/Quillet.AppDir" "$work/apps/"
output=$(env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" TMPDIR="$work" \
    "$work/apps/Quillet.AppDir/AppRun" -updateNow true 2>&1) || fail "the update failed: $output"
printf '%s\n' "$output" | sed 's/^/  | /' >&2
[[ $output == *"Updating Quillet…"*"no desktop session"* ]] || fail "no relaunch after the update"
updated=$("$work/apps/Quillet.AppDir/AppRun" --version)
[[ $updated == "Quillet "*" (build 2)" ]] || fail "after the update: $updated"
[[ $(ls -A "$work/apps") == Quillet.AppDir ]] || fail "left beside the bundle: $(ls -A "$work/apps")"
check=$("$work/apps/Quillet.AppDir/AppRun" -verifyUpdate "$work/apps/Quillet.AppDir" 2>&1 || true)
[[ $check == *"downloaded build isn't newer" ]] ||
    fail "the installed bundle is not the signed build 2: $check"
log "build 1 updated itself to build 2 and relaunched"

# The Debian package, from the same tree.
scripts/make-deb.sh --out "$work/deb" >"$work/make-deb.log" ||
    { cat "$work/make-deb.log"; fail "make-deb.sh"; }
deb=$(ls "$work"/deb/quillet_*_amd64.deb)
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "$deb" >/dev/null
installed=$(/usr/bin/quillet --version)
refused=$(/usr/bin/quillet -updateNow true || true)
rule=/usr/share/quillet/udev/70-quillet-input.rules
[[ -f $rule ]] || fail "the package has no access rule at $rule"
active=$(ls /lib/udev/rules.d /etc/udev/rules.d 2>/dev/null | grep -i quillet || true)
[[ -z $active ]] || fail "the access rule is active after installing: $active"
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get remove -y -qq quillet >/dev/null
[[ $installed == "Quillet "* ]] || fail "the installed package says: $installed"
[[ $refused == "This build has built-in keys — rebuild it to update" ]] ||
    fail "the packaged build offered to update itself: $refused"
[[ ! -e /usr/bin/quillet ]] || fail "the package left /usr/bin/quillet behind"
log "package ${deb##*/} installed, ran ($installed) and was removed"
