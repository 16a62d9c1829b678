#include "atspi/CaretText.h"

#include "util/Unicode.h"

namespace quillet {

namespace {

// A cluster longer than this (in UTF-16 code units) past the caret is cut short; the longest
// emoji sequences are about 30.
constexpr qsizetype clusterMargin = 256;

} // namespace

CaretCharacter characterBeforeCaret(const QString& text, qint64 caretCodePoints)
{
    if (caretCodePoints < 1)
        return CaretCharacter::none();
    qsizetype index = 0;
    for (qint64 n = 0; n < caretCodePoints; ++n) {
        if (index >= text.size())
            return CaretCharacter::undetermined();
        unicode::codePointAt(text, index, &index);
    }
    // Clusters before the caret depend only on what precedes them, the last one on a few code
    // units after: a bounded prefix keeps a long document cheap.
    const QStringView prefix = QStringView(text).left(index + clusterMargin);
    qsizetype start = 0;
    for (const QStringView cluster : unicode::graphemes(prefix)) {
        const qsizetype end = start + cluster.size();
        if (index - 1 < end)
            return CaretCharacter::of(cluster.toString());
        start = end;
    }
    return CaretCharacter::undetermined();
}

} // namespace quillet
