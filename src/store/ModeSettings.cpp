#include "store/ModeSettings.h"

#include "store/AppTables.h"
#include "store/BuiltInModes.h"
#include "util/Json.h"

#include <QJsonArray>

#include <algorithm>

namespace quillet {

ModeSettings ModeSettings::defaults()
{
    return ModeSettings{builtInStyles(), defaultApps(), QStringLiteral("quillet"), std::nullopt};
}

QJsonObject ModeSettings::toJson() const
{
    QJsonArray styleArray;
    for (const Style& style : styles)
        styleArray.append(style.toJson());
    QJsonObject appObject;
    for (auto it = apps.cbegin(); it != apps.cend(); ++it)
        appObject.insert(it.key(), it.value());
    QJsonObject o{
        {QLatin1String("styles"), styleArray},
        {QLatin1String("apps"), appObject},
        {QLatin1String("otherApps"), otherApps},
    };
    if (perApp)
        o.insert(QLatin1String("perApp"), *perApp);
    return o;
}

QByteArray ModeSettings::encode() const
{
    return json::compact(toJson());
}

std::optional<ModeSettings> ModeSettings::fromJson(const QJsonObject& object)
{
    const QJsonValue styleValue = object.value(QLatin1String("styles"));
    const QJsonValue appValue = object.value(QLatin1String("apps"));
    const auto otherApps = json::string(object, QLatin1String("otherApps"));
    if (!styleValue.isArray() || !appValue.isObject() || !otherApps)
        return std::nullopt;

    ModeSettings settings;
    settings.otherApps = *otherApps;
    const QJsonArray styleArray = styleValue.toArray();
    settings.styles.reserve(styleArray.size());
    for (const QJsonValue& item : styleArray) {
        if (!item.isObject())
            return std::nullopt;
        auto style = Style::fromJson(item.toObject());
        if (!style)
            return std::nullopt;
        settings.styles.append(std::move(*style));
    }
    const QJsonObject appObject = appValue.toObject();
    for (auto it = appObject.constBegin(); it != appObject.constEnd(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        settings.apps.insert(it.key(), it.value().toString());
    }
    if (!json::isAbsent(object, QLatin1String("perApp"))) {
        settings.perApp = json::boolean(object, QLatin1String("perApp"));
        if (!settings.perApp)
            return std::nullopt;
    }
    return settings;
}

std::optional<ModeSettings> ModeSettings::decode(const QByteArray& bytes)
{
    const auto object = json::parseObject(bytes);
    return object ? fromJson(*object) : std::nullopt;
}

std::optional<QString> ModeSettings::appMode(const QString& appId) const
{
    const auto exact = apps.constFind(appId);
    if (exact != apps.cend())
        return exact.value();
    for (auto it = apps.cbegin(); it != apps.cend(); ++it) {
        if (it.key().compare(appId, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return std::nullopt;
}

void ModeSettings::saveStyle(Style style)
{
    if (const auto builtIn = builtInStyle(style.id)) {
        style.edited = style.instructions != builtIn->instructions || style.fast != builtIn->fast ||
                       style.useHistory != builtIn->useHistory;
    }
    const auto existing = std::find_if(styles.begin(), styles.end(),
                                       [&](const Style& s) { return s.id == style.id; });
    if (existing != styles.end())
        *existing = std::move(style);
    else
        styles.append(std::move(style));
}

void ModeSettings::deleteStyle(const QString& id)
{
    styles.removeIf([&](const Style& s) { return s.id == id; });
    apps.removeIf([&](const auto& entry) { return entry.value() == id; });
    if (otherApps == id)
        otherApps = QStringLiteral("quillet");
}

void ModeSettings::moveStyles(const std::set<int>& offsets, int destination)
{
    const int count = int(styles.size());
    destination = std::clamp(destination, 0, count);
    QList<Style> moved;
    QList<Style> kept;
    int insertAt = 0;
    for (int i = 0; i < count; ++i) {
        if (offsets.contains(i)) {
            moved.append(styles.at(i));
        } else {
            if (i < destination)
                ++insertAt;
            kept.append(styles.at(i));
        }
    }
    if (moved.isEmpty())
        return;
    for (qsizetype i = 0; i < moved.size(); ++i)
        kept.insert(insertAt + i, moved.at(i));
    styles = std::move(kept);
}

void ModeSettings::addApp(const QString& appId)
{
    apps.insert(appId, otherApps);
}

void ModeSettings::setAppMode(const QString& appId, const QString& id)
{
    apps.insert(appId, id);
}

void ModeSettings::removeApp(const QString& appId)
{
    // Every key appMode() could find for it, so no other spelling stays in effect.
    apps.removeIf(
        [&](const auto& entry) { return entry.key().compare(appId, Qt::CaseInsensitive) == 0; });
}

void ModeSettings::setOtherApps(const QString& id)
{
    otherApps = id;
}

void ModeSettings::setPerApp(bool on)
{
    perApp = on;
}

void ModeSettings::restoreDefaultApps()
{
    const QMap<QString, QString>& defaults = defaultApps();
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        if (!appMode(it.key()))
            apps.insert(it.key(), it.value());
    }
}

void ModeSettings::ensureNotEmpty()
{
    if (styles.isEmpty())
        styles = builtInStyles();
}

} // namespace quillet
