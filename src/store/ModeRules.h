#pragma once

#include "store/ModeSettings.h"
#include "store/Style.h"

#include <QList>
#include <QString>

#include <optional>

namespace quillet {

// The mode a dictation actually uses for `id`: "prompt" (an older id) means "code"; an id not in
// `styles` falls back to "quillet", then to the built-in "quillet" definition.
Style resolveStyle(const QString& id, const QList<Style>& styles);

// The mode a dictation starts in, from the front application's identifier and its focused
// window's title (either may be unknown).
QString startingMode(const std::optional<QString>& appId, const std::optional<QString>& windowTitle,
                     const ModeSettings& settings);

// The mode after `currentId` in display order, wrapping around.
QString nextMode(const QString& currentId, const QList<Style>& styles);

// Brings unedited built-in modes up to the current built-in instructions and flags; names,
// colours, `edited` and positions are kept.
void refreshBuiltIns(QList<Style>& styles);

// What "Add mode" opens in the editor: a fresh UUID, the next palette colour.
Style newModeTemplate(const QList<Style>& styles);

} // namespace quillet
