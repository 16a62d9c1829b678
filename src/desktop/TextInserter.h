#pragma once

#include "platform/Accessibility.h"
#include "platform/Pasteboard.h"
#include "store/Entry.h"
#include "util/Clock.h"

#include <QObject>

#include <optional>

namespace quillet {

class PasteSender;
class Preferences;
class Workspace;

// Puts a dictation's text into the focused application the way a user would: the clipboard,
// then the paste shortcut. It decides on a leading space so that consecutive dictations do not
// run together, and puts the user's previous clipboard back once the paste has been read. The
// accessibility trust check, the toast and the learn watcher are the controller's. Main thread.
class TextInserter : public QObject {
    Q_OBJECT
public:
    // A dictation into the same application within this many seconds continues the previous one.
    static constexpr double continuationWindow = 300;
    // What stands before the caret when a continuation is assumed.
    static inline const QString assumedPrevious = QStringLiteral("x");
    // After the paste, before the previous clipboard is put back.
    static constexpr double restoreDelay = 0.8;

    // The front application and time of the last insertion.
    struct LastInsert {
        std::optional<qint64> pid;
        double at = 0; // uptime
    };

    // All must outlive the inserter.
    TextInserter(PasteSender& pasteSender, Pasteboard& pasteboard, Workspace& workspace,
                 Accessibility& accessibility, Preferences& prefs, Clock& clock,
                 QObject* parent = nullptr);

    // Pastes `entry.text` (with a leading space when needed) into the focused application.
    // Returns the focused element when its text could be read, for a learn watcher; null when
    // there is nothing to watch.
    ElementHandle insert(const Entry& entry);
    // Leaves `text` on the clipboard for the user to paste by hand.
    void copyOnly(const QString& text);
    // Writes `text` to the clipboard and posts the paste shortcut (the terminal one when
    // `terminal`). With `restore`, the previous contents come back after restoreDelay unless
    // someone changed the clipboard meanwhile.
    void paste(const QString& text, bool restore, bool terminal);

    const std::optional<LastInsert>& lastInsert() const { return m_lastInsert; }

private:
    QString withLeadingSpace(const QString& text, const ElementHandle& element,
                             const std::optional<qint64>& pid);

    PasteSender& m_pasteSender;
    Pasteboard& m_pasteboard;
    Workspace& m_workspace;
    Accessibility& m_accessibility;
    Preferences& m_prefs;
    Clock& m_clock;
    std::optional<LastInsert> m_lastInsert;
    Timer m_restore;
};

} // namespace quillet
