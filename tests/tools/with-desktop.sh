#!/usr/bin/env bash
# Runs a command inside a private headless desktop: its own HOME and XDG folders, a private D-Bus
# session, Xvfb, an unlocked gnome-keyring, AT-SPI enabled, and PulseAudio with a virtual
# microphone "vmic" (whatever is played into the sink "vmic_sink" is what the microphone hears).
# Every daemon it starts is ended when the command ends; the command's exit code is returned.
set -euo pipefail

if [[ -z ${QUILLET_DESKTOP_BUS:-} ]]; then
    export QUILLET_DESKTOP_BUS=1
    exec dbus-run-session -- "$0" "$@"
fi

log() { printf 'with-desktop: %s\n' "$*" >&2; }

work=$(mktemp -d /tmp/quillet-desktop.XXXXXX)
export HOME=$work/home
export XDG_RUNTIME_DIR=$work/run
export XDG_CONFIG_HOME=$HOME/.config
export XDG_DATA_HOME=$HOME/.local/share
export XDG_CACHE_HOME=$HOME/.cache
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

pids=()
cleanup() {
    pulseaudio --kill >/dev/null 2>&1 || true
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    [[ -n ${GNOME_KEYRING_PID:-} ]] && kill "$GNOME_KEYRING_PID" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

wait_for() { # wait_for SECONDS COMMAND...
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        if ((SECONDS >= deadline)); then
            return 1
        fi
        sleep 0.1
    done
}

# X server on a free display: Xvfb picks it itself (launchers running side by side never take the
# same one) and writes its number once it accepts connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
deadline=$((SECONDS + 15))
until [[ -s $work/display ]]; do
    if ! kill -0 "${pids[-1]}" 2>/dev/null || ((SECONDS >= deadline)); then
        log "Xvfb did not start"
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    sleep 0.05
done
export DISPLAY=":$(head -n 1 "$work/display")"

# Keyring: unlock with an empty password (a newline), then join the running daemon.
eval "$(echo "" | gnome-keyring-daemon --unlock --components=secrets 2>/dev/null)"
eval "$(gnome-keyring-daemon --start --components=secrets 2>/dev/null)"
export GNOME_KEYRING_CONTROL GNOME_KEYRING_PID
wait_for 10 dbus-send --session --print-reply --dest=org.freedesktop.secrets \
    /org/freedesktop/secrets org.freedesktop.DBus.Peer.Ping || log "keyring did not answer"

# Accessibility on for every application started from here on.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
    variant:boolean:true >/dev/null 2>&1 || log "AT-SPI bus not available"

# PulseAudio with the virtual microphone as the default source.
pulseaudio -D -n --exit-idle-time=-1 --disallow-exit --log-target=file:"$work/pulse.log" \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=vmic_sink" \
    --load="module-remap-source master=vmic_sink.monitor source_name=vmic" 2>/dev/null ||
    log "PulseAudio did not start"
if wait_for 10 pactl info; then
    pactl set-default-source vmic
    pactl set-default-sink vmic_sink
else
    log "PulseAudio did not answer"
fi

export QUILLET_DESKTOP=1
set +e
"$@"
rc=$?
set -e
exit $rc
