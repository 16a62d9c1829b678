#pragma once

#include <QString>

namespace quillet {

struct PillState;
struct Style;

// The texts of the pill.
namespace pilltext {

// At most this many characters of the live transcript are shown.
constexpr int transcriptTail = 44;

// The live transcript, whole when short; otherwise "…" and the end of its last characters,
// starting after the first space there so that the line starts on a word.
QString shortTranscript(const QString& text);

// The status line beside the meter: the transcript, or what the user can do next.
QString statusLine(const PillState& state);

// Beside the spinner while the text is processed: the mode's name and "…"; "…" alone in the
// default mode.
QString processingLabel(const Style& mode);

inline const QString catchingUp = QStringLiteral("catching up…");

} // namespace pilltext
} // namespace quillet
