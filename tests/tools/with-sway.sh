#!/usr/bin/env bash
# Runs a command inside a private headless sway session: its own HOME and runtime folder, a
# private D-Bus session with AT-SPI enabled, and sway with software rendering. sway has no input
# devices of its own here; a virtual keyboard (wltool keyboard, from $QUILLET_TEST_TOOLS) stands in
# for the user's, with the layout given by --layout (default us). The session is configured as a
# user of the compositor-binding route would: Right Alt runs `quillet ptt begin` on press and
# `quillet ptt end` on release ($QUILLET_BINARY).
#   with-sway.sh [--layout de] COMMAND...
# sway refuses to run as root, so as root the launcher runs itself again as the user named by
# $QUILLET_TEST_USER (default quillet-test; .ci/run creates it) and exits with 77 (skipped) when
# there is no such user. Every daemon it starts ends with the command; its exit code is returned.
set -euo pipefail

log() { printf 'with-sway: %s\n' "$*" >&2; }

if [[ ${1:-} == --layout ]]; then
    export QUILLET_SWAY_LAYOUT=$2
    shift 2
fi

if ((EUID == 0)); then
    user=${QUILLET_TEST_USER:-quillet-test}
    if ! id "$user" >/dev/null 2>&1; then
        log "no user \"$user\" to run sway as (sway refuses root); skipped"
        exit 77
    fi
    # The user may not reach this tree (a clone under /root): the session runs copies.
    stage=$(mktemp -d /tmp/quillet-sway-run.XXXXXX)
    mkdir -p "$stage/tools/wltool" "$stage/source/tests/tools"
    cp "$0" "$stage/with-sway.sh"
    cp "$1" "$stage/$(basename "$1")"
    command=("$stage/$(basename "$1")" "${@:2}")
    [[ -n ${QUILLET_BINARY:-} ]] && cp "$QUILLET_BINARY" "$stage/quillet" &&
        export QUILLET_BINARY=$stage/quillet
    [[ -n ${QUILLET_TEST_TOOLS:-} ]] && cp "$QUILLET_TEST_TOOLS/wltool/wltool" "$stage/tools/wltool/" &&
        export QUILLET_TEST_TOOLS=$stage/tools
    [[ -n ${QUILLET_SOURCE_DIR:-} ]] && cp "$QUILLET_SOURCE_DIR"/tests/tools/*.py "$stage/source/tests/tools/" &&
        export QUILLET_SOURCE_DIR=$stage/source
    chown -R "$user" "$stage"
    set +e
    runuser -p -u "$user" -- "$stage/with-sway.sh" ${QUILLET_SWAY_LAYOUT:+--layout "$QUILLET_SWAY_LAYOUT"} \
        "${command[@]}"
    rc=$?
    set -e
    rm -rf "$stage"
    exit $rc
fi

# Everything the session's daemons start (AT-SPI, GTK's settings store) writes to these.
if [[ -z ${QUILLET_SWAY_WORK:-} ]]; then
    work=$(mktemp -d /tmp/quillet-sway.XXXXXX)
    export QUILLET_SWAY_WORK=$work
    export HOME=$work/home
    export XDG_RUNTIME_DIR=$work/run
    export XDG_CONFIG_HOME=$HOME/.config
    export XDG_DATA_HOME=$HOME/.local/share
    export XDG_CACHE_HOME=$HOME/.cache
    mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    unset DISPLAY WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS
    set +e
    dbus-run-session -- "$0" "$@"
    rc=$?
    set -e
    rm -rf "$work"
    exit $rc
fi
work=$QUILLET_SWAY_WORK

pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

quillet=${QUILLET_BINARY:-quillet}
cat >"$work/config" <<CONFIG
output HEADLESS-1 resolution 1280x800
xwayland disable
bindsym --no-repeat Alt_R exec $quillet ptt begin
bindsym --release Alt_R exec $quillet ptt end
CONFIG

export WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway
sway -c "$work/config" >"$work/sway.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    socket=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'sway-ipc.*.sock' -print -quit)
    [[ -n $socket ]] && swaymsg -s "$socket" -t get_version >/dev/null 2>&1 && break
    socket=
    sleep 0.1
done
if [[ -z $socket ]]; then
    log "sway did not start"
    cat "$work/sway.log" >&2
    exit 1
fi
export SWAYSOCK=$socket
WAYLAND_DISPLAY=$(basename "$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'wayland-*' ! -name '*.lock' -print -quit)")
export WAYLAND_DISPLAY

# The user's keyboard. Toolkits that start while the seat has no keyboard (GTK 4) never take
# keys, so it is there before anything else starts.
tools=${QUILLET_TEST_TOOLS:-}
if [[ -x $tools/wltool/wltool ]]; then
    XKB_DEFAULT_LAYOUT=${QUILLET_SWAY_LAYOUT:-us} "$tools/wltool/wltool" keyboard >"$work/keyboard" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do
        grep -q ready "$work/keyboard" && break
        sleep 0.1
    done
    grep -q ready "$work/keyboard" || { log "no keyboard on the seat:"; cat "$work/keyboard" >&2; }
else
    log "no wltool in \$QUILLET_TEST_TOOLS: the seat has no keyboard"
fi

# Accessibility on for every application started from here on.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
    variant:boolean:true >/dev/null 2>&1 || log "AT-SPI bus not available"

set +e
"$@"
rc=$?
set -e
if ((rc != 0)); then
    log "sway's log:"
    tail -n 40 "$work/sway.log" >&2
fi
exit $rc
