#include "settings/SoundSettings.h"

#include <QStandardPaths>

#include <algorithm>

namespace quillet {

std::optional<SoundSettings> SoundSettings::find(const QString& desktop,
                                                 const QStringList& searchPaths)
{
    const SoundSettings gnome{QStringLiteral("gnome-control-center"), {QStringLiteral("sound")}};
    const SoundSettings plasma{QStringLiteral("systemsettings"),
                               {QStringLiteral("kcm_pulseaudio")}};
    const SoundSettings pulse{QStringLiteral("pavucontrol"), {}};

    const QStringList names = desktop.toLower().split(u':', Qt::SkipEmptyParts);
    const auto on = [&](QStringView name) { return names.contains(name); };
    // The desktop's own page first; the volume control serves every other desktop.
    QList<SoundSettings> candidates;
    if (on(u"kde"))
        candidates = {plasma, pulse, gnome};
    else if (on(u"gnome") || on(u"unity") || on(u"budgie"))
        candidates = {gnome, pulse, plasma};
    else
        candidates = {pulse, gnome, plasma};

    const auto found = std::find_if(candidates.cbegin(), candidates.cend(), [&](auto& c) {
        return !QStandardPaths::findExecutable(c.program, searchPaths).isEmpty();
    });
    if (found == candidates.cend())
        return std::nullopt;
    return *found;
}

} // namespace quillet
