#include "hud/PillText.h"

#include "hud/PillState.h"
#include "util/Unicode.h"

namespace quillet::pilltext {

namespace {

const QString defaultModeId = QStringLiteral("quillet");

} // namespace

QString shortTranscript(const QString& text)
{
    // Counted in user-perceived characters, so an accent or an emoji is never cut in half.
    const QList<QStringView> characters = unicode::graphemes(text);
    if (characters.size() <= transcriptTail)
        return text;
    const QStringView first = characters[characters.size() - transcriptTail];
    QString tail = text.mid(first.data() - text.constData());
    if (const qsizetype space = tail.indexOf(u' '); space >= 0)
        tail.remove(0, space + 1);
    return u'…' + tail;
}

QString statusLine(const PillState& state)
{
    if (!state.liveText.isEmpty())
        return shortTranscript(state.liveText);
    if (state.locked)
        return QStringLiteral("Locked on · tap %1 to finish").arg(state.hotkey.symbol());
    if (state.mode.id == defaultModeId)
        return QStringLiteral("Listening");
    return QStringLiteral("%1 mode · ⇧ to switch").arg(state.mode.name);
}

QString processingLabel(const Style& mode)
{
    return mode.id == defaultModeId ? QStringLiteral("…") : mode.name + u'…';
}

} // namespace quillet::pilltext
