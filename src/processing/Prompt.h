#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillet {

struct Entry;
struct Style;

// The two chat messages of a rewrite: the system message (the mode's instructions, the fixed
// rules, the target application, the terms and the user's recent results) and the user message
// wrapping the transcript. Pure text assembly.
QString composeSystemPrompt(const Style& style, const std::optional<QString>& appName,
                            const QStringList& terms, const QStringList& recent);
// "<dictation>" + text + "</dictation>"; the text is not escaped.
QString composeUserMessage(const QString& text);
// The final texts of the newest `limit` entries of `history` (newest first) whose mode resolves
// to `modeId` against `styles`, oldest of them first.
QStringList recentResults(const QString& modeId, int limit, const QList<Entry>& history,
                          const QList<Style>& styles);

} // namespace quillet
