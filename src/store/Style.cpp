#include "store/Style.h"

#include "util/Json.h"

#include <QHash>

namespace quillet {

QJsonObject Style::toJson() const
{
    QJsonObject o{
        {QLatin1String("id"), id},       {QLatin1String("name"), name},
        {QLatin1String("color"), color}, {QLatin1String("instructions"), instructions},
        {QLatin1String("fast"), fast},   {QLatin1String("useHistory"), useHistory},
    };
    if (edited)
        o.insert(QLatin1String("edited"), *edited);
    return o;
}

std::optional<Style> Style::fromJson(const QJsonObject& object)
{
    const auto id = json::string(object, QLatin1String("id"));
    const auto name = json::string(object, QLatin1String("name"));
    const auto color = json::string(object, QLatin1String("color"));
    const auto instructions = json::string(object, QLatin1String("instructions"));
    const auto fast = json::boolean(object, QLatin1String("fast"));
    const auto useHistory = json::boolean(object, QLatin1String("useHistory"));
    if (!id || !name || !color || !instructions || !fast || !useHistory)
        return std::nullopt;
    Style style{*id, *name, *color, *instructions, *fast, *useHistory, std::nullopt};
    if (!json::isAbsent(object, QLatin1String("edited"))) {
        style.edited = json::boolean(object, QLatin1String("edited"));
        if (!style.edited)
            return std::nullopt;
    }
    return style;
}

size_t qHash(const Style& style, size_t hashSeed) noexcept
{
    // Absent `edited` hashes apart from false and true.
    const int edited = style.edited ? (*style.edited ? 2 : 1) : 0;
    return qHashMulti(hashSeed, style.id, style.name, style.color, style.instructions, style.fast,
                      style.useHistory, edited);
}

} // namespace quillet
