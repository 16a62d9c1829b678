#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quillet {

// The desktop's sound settings, where the user picks, plugs in or unmutes a microphone: GNOME's
// settings, Plasma's, or the PulseAudio volume control, whichever fits the desktop and is
// installed.
struct SoundSettings {
    QString program;
    QStringList arguments;

    // `desktop` is $XDG_CURRENT_DESKTOP (a colon-separated list); `searchPaths` where to look for
    // the programs (empty: $PATH). None when no candidate is installed.
    static std::optional<SoundSettings> find(const QString& desktop,
                                             const QStringList& searchPaths = {});

    friend bool operator==(const SoundSettings&, const SoundSettings&) = default;
};

} // namespace quillet
