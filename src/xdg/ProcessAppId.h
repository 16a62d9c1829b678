#pragma once

#include <QString>

#include <optional>

namespace quillet {

// The application id a desktop launched a process under. GNOME and KDE start each application in
// a systemd unit named after its desktop entry ("app-gnome-org.gnome.TextEditor-4321.scope",
// "app-org.kde.konsole@c0ffee.service", or a slice "app-org.gnome.Terminal.slice" for an
// application's helpers), which is also the id its Wayland windows carry.
class ProcessAppId {
public:
    // From the text of /proc/PID/cgroup; none when the process runs in no application unit.
    static std::optional<QString> fromCgroup(const QString& cgroup);
    // For a running process.
    static std::optional<QString> of(qint64 pid);
};

} // namespace quillet
