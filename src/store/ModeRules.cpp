#include "store/ModeRules.h"

#include "store/AppTables.h"
#include "store/BuiltInModes.h"
#include "util/Json.h"

#include <QLocale>
#include <QUuid>

#include <algorithm>

namespace quillet {

namespace {

const QString kDefaultId = QStringLiteral("quillet");

bool hasStyle(const QList<Style>& styles, const QString& id)
{
    return std::any_of(styles.cbegin(), styles.cend(), [&](const Style& s) { return s.id == id; });
}

} // namespace

Style resolveStyle(const QString& id, const QList<Style>& styles)
{
    const QString wanted = id == QLatin1String("prompt") ? QStringLiteral("code") : id;
    for (const Style& style : styles) {
        if (style.id == wanted)
            return style;
    }
    for (const Style& style : styles) {
        if (style.id == kDefaultId)
            return style;
    }
    return builtInStyles().constFirst();
}

QString startingMode(const std::optional<QString>& appId, const std::optional<QString>& windowTitle,
                     const ModeSettings& settings)
{
    if (!settings.perApp.value_or(false))
        return kDefaultId;
    if (appId) {
        const auto mapped = settings.appMode(*appId);
        if (mapped && hasStyle(settings.styles, *mapped))
            return *mapped;
    }
    if (windowTitle) {
        // Case-insensitive under the user's locale; a plain substring test.
        const QLocale locale;
        const QString title = locale.toLower(*windowTitle);
        for (const WebApp& row : webApps()) {
            if (!title.contains(locale.toLower(row.name)))
                continue;
            if (hasStyle(settings.styles, row.modeId))
                return row.modeId;
            break;
        }
    }
    return hasStyle(settings.styles, settings.otherApps) ? settings.otherApps : kDefaultId;
}

QString nextMode(const QString& currentId, const QList<Style>& styles)
{
    if (styles.isEmpty())
        return kDefaultId;
    const QString resolved = resolveStyle(currentId, styles).id;
    for (qsizetype i = 0; i < styles.size(); ++i) {
        if (styles.at(i).id == resolved)
            return styles.at((i + 1) % styles.size()).id;
    }
    return styles.constFirst().id;
}

void refreshBuiltIns(QList<Style>& styles)
{
    for (Style& style : styles) {
        if (style.edited.value_or(false))
            continue;
        if (const auto builtIn = builtInStyle(style.id)) {
            style.instructions = builtIn->instructions;
            style.fast = builtIn->fast;
            style.useHistory = builtIn->useHistory;
        }
    }
}

Style newModeTemplate(const QList<Style>& styles)
{
    const QStringList& palette = newModePalette();
    Style style;
    style.id = json::uuidText(QUuid::createUuid());
    style.name = QStringLiteral("New mode");
    style.color = palette.at(styles.size() % palette.size());
    style.instructions = QStringLiteral("Describe what Quillet should do with what you say.\n- ");
    return style;
}

} // namespace quillet
