#!/usr/bin/env bash
# Runs a command inside a private headless Wayland session: its own HOME and runtime folder, a
# private D-Bus session with AT-SPI enabled, and one compositor with software rendering:
#   with-wayland.sh [--sway [--layout de] | --mutter] COMMAND...
# --sway (the default): sway with no input devices of its own; a virtual keyboard (wltool
#   keyboard, from $QUILLET_TEST_TOOLS) stands in for the user's, with the layout of --layout
#   (default us); lines written to the pipe $QUILLET_WAYLAND_KEYS press and release its keys
#   ("press 108", see wltool). Right Alt is bound as a user of the compositor-binding route would
#   bind it: `quillet ptt begin` on press, `quillet ptt end` on release ($QUILLET_BINARY). PulseAudio
#   with the virtual microphone "vmic", as in tests/tools/with-desktop.sh.
# --mutter: GNOME's compositor with a virtual monitor and Xwayland ($DISPLAY), PipeWire, the
#   desktop portal with GNOME's backend (its dialogs appear in the session), and a keyboard on
#   the seat (tests/tools/mutter-hands.py, from $QUILLET_SOURCE_DIR).
# Compositors refuse to run as root, so as root the launcher runs itself again as the user named
# by $QUILLET_TEST_USER (default quillet-test; .ci/run creates it) and exits with 77 (skipped)
# when there is no such user. Every daemon it starts ends with the command, whose exit code is
# returned.
set -euo pipefail

log() { printf 'with-wayland: %s\n' "$*" >&2; }

compositor=sway
while (($#)); do
    case $1 in
    --sway) compositor=sway; shift ;;
    --mutter) compositor=mutter; shift ;;
    --layout) export QUILLET_SWAY_LAYOUT=$2; shift 2 ;;
    *) break ;;
    esac
done

if ((EUID == 0)); then
    user=${QUILLET_TEST_USER:-quillet-test}
    if ! id "$user" >/dev/null 2>&1; then
        log "no user \"$user\" to run the compositor as (it refuses root); skipped"
        exit 77
    fi
    # The user may not reach this tree (a clone under /root): the session runs copies.
    stage=$(mktemp -d /tmp/quillet-wayland-run.XXXXXX)
    mkdir -p "$stage/source/tests/tools"
    cp "$0" "$stage/with-wayland.sh"
    cp "$1" "$stage/$(basename "$1")"
    command=("$stage/$(basename "$1")" "${@:2}")
    [[ -n ${QUILLET_BINARY:-} ]] && cp "$QUILLET_BINARY" "$stage/quillet" &&
        export QUILLET_BINARY=$stage/quillet
    if [[ -n ${QUILLET_TEST_TOOLS:-} ]]; then
        for tool in wltool speechsim chatsim; do
            [[ -x $QUILLET_TEST_TOOLS/$tool/$tool ]] || continue
            mkdir -p "$stage/tools/$tool"
            cp "$QUILLET_TEST_TOOLS/$tool/$tool" "$stage/tools/$tool/"
        done
        export QUILLET_TEST_TOOLS=$stage/tools
    fi
    [[ -n ${QUILLET_SOURCE_DIR:-} ]] && cp "$QUILLET_SOURCE_DIR"/tests/tools/*.py "$stage/source/tests/tools/" &&
        export QUILLET_SOURCE_DIR=$stage/source
    chown -R "$user" "$stage"
    set +e
    runuser -p -u "$user" -- "$stage/with-wayland.sh" "--$compositor" "${command[@]}"
    rc=$?
    set -e
    rm -rf "$stage"
    exit $rc
fi

# Everything the session's daemons start (AT-SPI, the portal, GTK's settings store) writes to
# these.
if [[ -z ${QUILLET_WAYLAND_WORK:-} ]]; then
    work=$(mktemp -d /tmp/quillet-wayland.XXXXXX)
    export QUILLET_WAYLAND_WORK=$work
    export HOME=$work/home
    export XDG_RUNTIME_DIR=$work/run
    export XDG_CONFIG_HOME=$HOME/.config
    export XDG_DATA_HOME=$HOME/.local/share
    export XDG_CACHE_HOME=$HOME/.cache
    mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    unset DISPLAY WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS
    set +e
    dbus-run-session -- "$0" "--$compositor" "$@"
    rc=$?
    set -e
    rm -rf "$work"
    exit $rc
fi
work=$QUILLET_WAYLAND_WORK

pids=()
cleanup() {
    [[ -n ${PULSE_SERVER_STARTED:-} ]] && pulseaudio --kill >/dev/null 2>&1
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

wait_for() { # wait_for TENTHS COMMAND...
    local n=$1
    shift
    for _ in $(seq "$n"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

start_sway() {
    local quillet=${QUILLET_BINARY:-quillet} socket
    # Both ways a user binds Right Alt: by name, and by code as the settings window advises (a
    # layout that makes it AltGr, German, has no Alt_R).
    local key=Alt_R bind=bindsym
    [[ ${QUILLET_SWAY_LAYOUT:-us} == us ]] || key=108 bind=bindcode
    cat >"$work/config" <<CONFIG
output HEADLESS-1 resolution 1280x800
xwayland disable
$bind --no-repeat $key exec $quillet ptt begin
$bind --release $key exec $quillet ptt end
CONFIG
    export WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman
    export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway
    sway -c "$work/config" >"$work/compositor.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        socket=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'sway-ipc.*.sock' -print -quit)
        [[ -n $socket ]] && swaymsg -s "$socket" -t get_version >/dev/null 2>&1 && break
        socket=
        sleep 0.1
    done
    [[ -n $socket ]] || return 1
    export SWAYSOCK=$socket
    WAYLAND_DISPLAY=$(basename "$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'wayland-*' \
        ! -name '*.lock' -print -quit)")
    export WAYLAND_DISPLAY

    # The user's keyboard. Toolkits that start while the seat has no keyboard (GTK 4) never take
    # keys, so it is there before anything else starts.
    local tools=${QUILLET_TEST_TOOLS:-}
    if [[ -x $tools/wltool/wltool ]]; then
        # Opened for reading and writing: the keyboard never sees the end of it.
        export QUILLET_WAYLAND_KEYS=$work/keys
        mkfifo "$QUILLET_WAYLAND_KEYS"
        XKB_DEFAULT_LAYOUT=${QUILLET_SWAY_LAYOUT:-us} "$tools/wltool/wltool" keyboard \
            <>"$QUILLET_WAYLAND_KEYS" >"$work/keyboard" 2>&1 &
        pids+=($!)
        wait_for 50 grep -q ready "$work/keyboard" ||
            { log "no keyboard on the seat:"; cat "$work/keyboard" >&2; }
    else
        log "no wltool in \$QUILLET_TEST_TOOLS: the seat has no keyboard"
    fi
    start_microphone
}

# PulseAudio with the virtual microphone as the default source: whatever is played into the sink
# "vmic_sink" is what the microphone hears.
start_microphone() {
    pulseaudio -D -n --exit-idle-time=-1 --disallow-exit --log-target=file:"$work/pulse.log" \
        --load=module-native-protocol-unix \
        --load="module-null-sink sink_name=vmic_sink" \
        --load="module-remap-source master=vmic_sink.monitor source_name=vmic" 2>/dev/null ||
        { log "PulseAudio did not start"; return 0; }
    PULSE_SERVER_STARTED=1
    if wait_for 100 pactl info; then
        pactl set-default-source vmic
        pactl set-default-sink vmic_sink
    else
        log "PulseAudio did not answer"
    fi
}

start_mutter() {
    export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME WAYLAND_DISPLAY=quillet-wayland-0
    # The portal and its GNOME backend are started by the bus: they must find the session.
    dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE \
        XDG_RUNTIME_DIR HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
    mutter --headless --wayland --virtual-monitor 1280x800 --wayland-display="$WAYLAND_DISPLAY" \
        >"$work/compositor.log" 2>&1 &
    pids+=($!)
    wait_for 100 grep -q "Using public X11 display" "$work/compositor.log" || return 1
    wait_for 100 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || return 1
    DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$work/compositor.log")
    XAUTHORITY=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name '.mutter-Xwaylandauth.*' -print -quit)
    export DISPLAY XAUTHORITY
    dbus-update-activation-environment DISPLAY XAUTHORITY
    # The screen-cast half of a remote-desktop session needs PipeWire.
    pipewire >"$work/pipewire.log" 2>&1 &
    pids+=($!)
    # The user's keyboard, there before any toolkit starts (see mutter-hands.py).
    local source=${QUILLET_SOURCE_DIR:-$(dirname "$0")/../..}
    python3 "$source/tests/tools/mutter-hands.py" hold >"$work/keyboard" 2>&1 &
    pids+=($!)
    wait_for 50 grep -q ready "$work/keyboard" ||
        { log "no keyboard on the seat:"; cat "$work/keyboard" >&2; }
}

"start_$compositor" || {
    log "$compositor did not start:"
    cat "$work/compositor.log" >&2
    exit 1
}

# Accessibility on for every application started from here on.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
    variant:boolean:true >/dev/null 2>&1 || log "AT-SPI bus not available"

set +e
"$@"
rc=$?
set -e
if ((rc != 0)); then
    log "$compositor's log:"
    tail -n 40 "$work/compositor.log" >&2
fi
exit $rc
