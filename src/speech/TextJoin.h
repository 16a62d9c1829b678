#pragma once

#include <QString>

namespace quillet {

// Joins two pieces of transcript: each trimmed; an empty one yields the other; otherwise the
// first, one space, the second.
inline QString joinText(const QString& first, const QString& second)
{
    const QString a = first.trimmed();
    const QString b = second.trimmed();
    if (a.isEmpty())
        return b;
    if (b.isEmpty())
        return a;
    return a + QLatin1Char(' ') + b;
}

} // namespace quillet
