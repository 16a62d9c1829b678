#!/usr/bin/env bash
# Runs a command inside a private headless desktop: its own HOME and XDG folders, a private D-Bus
# session, Xvfb with a window manager, an unlocked gnome-keyring, AT-SPI enabled, and PulseAudio
# with a virtual microphone "vmic" (whatever is played into the sink "vmic_sink" is what the
# microphone hears).
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

# X server on a free display that the server picks itself, so that launchers started at the same
# moment never share one; it writes the number once it listens. -noreset: a server that resets
# whenever its last client leaves refuses connections for a moment each time.
Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for 15 grep -q . "$work/display" ||
    { log "Xvfb did not start"; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"
wait_for 15 xdpyinfo || { log "Xvfb did not answer"; cat "$work/xvfb.log" >&2; exit 1; }

# A small EWMH window manager, as desktops have: it keeps _NET_ACTIVE_WINDOW and _NET_CLIENT_LIST.
if command -v openbox >/dev/null; then
    # Openbox's default key bindings (Alt+Escape lowers and unfocuses the window, for one) would
    # act on the keys the tests type; this desktop has none.
    cat >"$work/openbox.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"><keyboard/><mouse/></openbox_config>
XML
    openbox --sm-disable --config-file "$work/openbox.xml" >"$work/wm.log" 2>&1 &
    pids+=($!)
    wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
        { log "window manager did not start"; cat "$work/wm.log" >&2; }
else
    log "no window manager (openbox) installed"
fi

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
