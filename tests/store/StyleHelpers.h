#pragma once

#include "store/Style.h"

#include <QStringList>

namespace quillet {

inline Style customStyle(const QString& id)
{
    return Style{id, "Mine", "#123456", "do it", false, true, std::nullopt};
}

inline QStringList idsOf(const QList<Style>& styles)
{
    QStringList ids;
    for (const Style& s : styles)
        ids << s.id;
    return ids;
}

inline QList<Style> withoutIds(QList<Style> styles, const QStringList& ids)
{
    styles.removeIf([&](const Style& s) { return ids.contains(s.id); });
    return styles;
}

} // namespace quillet
