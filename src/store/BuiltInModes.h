#pragma once

#include "store/Style.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillet {

// The four built-in modes, in display order: "quillet", "code", "chat", "write".
const QList<Style>& builtInStyles();
// The built-in definition for `id`, nullopt when `id` is not built in.
std::optional<Style> builtInStyle(const QString& id);
// True for exactly "quillet", "code", "chat" and "write" (case-sensitive).
bool isBuiltIn(const QString& id);

// Colours offered to new modes, in order.
const QStringList& newModePalette();

} // namespace quillet
