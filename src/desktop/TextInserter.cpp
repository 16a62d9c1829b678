#include "desktop/TextInserter.h"

#include "platform/PasteSender.h"
#include "platform/Workspace.h"
#include "store/Preferences.h"
#include "vocab/Vocabulary.h"

namespace quillet {

TextInserter::TextInserter(PasteSender& pasteSender, Pasteboard& pasteboard, Workspace& workspace,
                           Accessibility& accessibility, Preferences& prefs, Clock& clock,
                           QObject* parent)
    : QObject(parent)
    , m_pasteSender(pasteSender)
    , m_pasteboard(pasteboard)
    , m_workspace(workspace)
    , m_accessibility(accessibility)
    , m_prefs(prefs)
    , m_clock(clock)
{}

ElementHandle TextInserter::insert(const Entry& entry)
{
    const ElementHandle element = m_accessibility.focusedElement();
    const bool watchable = element && m_accessibility.elementValue(element).has_value();
    const std::optional<FrontApp> front = m_workspace.frontApp();
    const std::optional<qint64> pid = front ? front->pid : std::nullopt;

    const QString text = withLeadingSpace(entry.text, element, pid);
    m_lastInsert = LastInsert{pid, m_clock.uptime()};
    const bool terminal =
        isTerminalTarget(front, m_prefs.terminalApps(), m_accessibility.focusedIsTerminal());
    paste(text, watchable, terminal);
    return watchable ? element : nullptr;
}

QString TextInserter::withLeadingSpace(const QString& text, const ElementHandle& element,
                                       const std::optional<qint64>& pid)
{
    if (element) {
        const CaretCharacter before = m_accessibility.characterBeforeCaret(element);
        if (before.kind != CaretCharacter::Kind::undetermined) {
            const std::optional<QString> previous = before.kind == CaretCharacter::Kind::character
                                                        ? std::optional<QString>(before.character)
                                                        : std::nullopt;
            return needsLeadingSpace(previous, text) ? u' ' + text : text;
        }
    }
    // Nothing to read: a dictation soon after the last one into the same application continues
    // it.
    if (m_lastInsert && m_lastInsert->pid == pid &&
        m_clock.uptime() - m_lastInsert->at < continuationWindow &&
        needsLeadingSpace(assumedPrevious, text))
        return u' ' + text;
    return text;
}

void TextInserter::copyOnly(const QString& text)
{
    m_pasteboard.clearContents();
    m_pasteboard.writeText(text, false);
}

void TextInserter::paste(const QString& text, bool restore, bool terminal)
{
    const QList<PasteboardItem> saved = restore ? m_pasteboard.items() : QList<PasteboardItem>();
    m_pasteboard.clearContents();
    // Marked transient only when it is going away again: otherwise it stays for the user.
    m_pasteboard.writeText(text, restore);
    m_pasteSender.postPaste(terminal);
    if (!restore)
        return;
    const qint64 written = m_pasteboard.changeCount();
    m_restore = m_clock.singleShot(restoreDelay, this, [this, saved, written] {
        if (m_pasteboard.changeCount() != written || saved.isEmpty())
            return;
        m_pasteboard.clearContents();
        m_pasteboard.writeItems(saved);
    });
}

} // namespace quillet
