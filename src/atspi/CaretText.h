#pragma once

#include "platform/Accessibility.h"

#include <QString>

namespace quillet {

// The character before a caret that AT-SPI places in code points, in a text that Qt holds in
// UTF-16: the whole grapheme cluster containing the code unit just before the caret. None for a
// caret at the start; undetermined for one beyond the end.
CaretCharacter characterBeforeCaret(const QString& text, qint64 caretCodePoints);

} // namespace quillet
