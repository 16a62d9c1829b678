#pragma once

#include "desktop/HotKey.h"
#include "desktop/PressMachine.h"
#include "platform/KeyEvent.h"
#include "store/Entry.h"
#include "util/Clock.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace quillet {

class Accessibility;
class AudioSystem;
class Dictation;
class Hud;
class KeyMonitor;
class KeyStore;
class LearnWatcher;
class PasteSender;
class Pasteboard;
class Preferences;
class SpellChecker;
class Store;
class TextInserter;
class Updater;
class Workspace;

// The one coordinator of the running desktop application. It watches the keyboard for the
// push-to-talk key and turns the press machine's decisions into starting, finishing and
// cancelling the dictation; Shift while talking switches the mode, Escape cancels. Each finished
// dictation is inserted into the focused application and its field watched for corrections to
// learn. It publishes the permission state the settings window shows and raises the HUD's
// messages. Main thread only.
class Controller : public QObject {
    Q_OBJECT
    Q_MOC_INCLUDE("desktop/Dictation.h")
    Q_PROPERTY(quillet::Dictation* dictation READ dictation CONSTANT)
    Q_PROPERTY(quillet::HotKey hotkey READ hotkey WRITE setHotkey NOTIFY hotkeyChanged)
    // Synthetic paste and reading other applications' fields both work.
    Q_PROPERTY(bool axTrusted READ axTrusted NOTIFY axTrustedChanged)
    // The sound server answers and has an input.
    Q_PROPERTY(bool micAllowed READ micAllowed NOTIFY micAllowedChanged)
    // The last dictation of this run that produced text (an Entry), or an invalid QVariant.
    Q_PROPERTY(QVariant lastEntry READ lastEntryVariant NOTIFY lastEntryChanged)
public:
    static constexpr double startDelay = 0.12;
    static constexpr double accessibilityPoll = 1.5;

    static inline const QString cancelledMessage = QStringLiteral("Cancelled");
    static inline const QString learnedPrefix = QStringLiteral("Learned ");
    static inline const QString copiedMessage =
        QStringLiteral("Copied — allow Accessibility to paste automatically");
    static inline const QString noKeyMessage =
        QStringLiteral("Add your Soniox key in Settings → Account to dictate");

    struct Services {
        Preferences& prefs;
        Store& store;
        KeyStore& keys;
        Clock& clock;
        KeyMonitor& keyMonitor;
        PasteSender& pasteSender;
        Pasteboard& pasteboard;
        Workspace& workspace;
        Accessibility& accessibility;
        AudioSystem& audio;
        SpellChecker& spelling;
        // Opens the text-processing connection ahead of a request (at most every 45 s).
        std::function<void()> warmUp;
        // None: this run has no updater.
        Updater* updater = nullptr;
    };

    // Takes the dictation and the HUD; everything in `services` must outlive the controller.
    Controller(Services services, std::unique_ptr<Dictation> dictation, std::unique_ptr<Hud> hud,
               QObject* parent = nullptr);
    ~Controller() override;

    // Once at launch: permissions, the key monitor, the HUD, the updater.
    void setUp();
    // Every key event of the desktop.
    void handle(const KeyEvent& event);
    void decide(PressDecision decision);
    // Starts a dictation now.
    void begin();
    // Finishes the running dictation and inserts its result.
    void complete();
    // Pastes an entry's text into the focused application and watches the field.
    void insert(const Entry& entry);
    // Stores the key and forgets any gesture under way.
    void setHotkey(HotKey key);

    // For desktops whose keys we cannot see: starts a dictation locked on when idle, finishes
    // the one recording otherwise.
    void toggle();
    // Cancels a recording (or a start still pending), as Escape does.
    void cancelRecording();

    Dictation* dictation() const { return m_dictation.get(); }
    HotKey hotkey() const { return m_hotkey; }
    bool axTrusted() const { return m_axTrusted; }
    bool micAllowed() const { return m_micAllowed; }
    const std::optional<Entry>& lastEntry() const { return m_lastEntry; }
    Hud& hud() const { return *m_hud; }
    const PressMachine& machine() const { return m_machine; }
    // The watcher of the field that received the last insertion, while it watches.
    LearnWatcher* watcher() const;
    const TextInserter& inserter() const { return *m_inserter; }

signals:
    void hotkeyChanged(quillet::HotKey hotkey);
    void axTrustedChanged(bool trusted);
    void micAllowedChanged(bool allowed);
    void lastEntryChanged();
    // At launch something the user must provide is missing (accessibility, microphone, speech
    // key) and this is not an automation run: the application should come to the front.
    void activationRequested();

private:
    QCoro::Task<void> completeTask(std::optional<QString> app);
    void startPending();
    void dropPending();
    void syncLocked();
    void refreshPermissions();
    void pollPermissions();
    void setAxTrusted(bool trusted);
    void setMicAllowed(bool allowed);
    void setLastEntry(const Entry& entry);
    void learned(const QStringList& words);
    QVariant lastEntryVariant() const;

    Services m_services;
    const std::unique_ptr<Dictation> m_dictation;
    const std::unique_ptr<Hud> m_hud;
    std::unique_ptr<TextInserter> m_inserter;
    HotKey m_hotkey;
    bool m_axTrusted = false;
    bool m_micAllowed = false;
    std::optional<Entry> m_lastEntry;
    PressMachine m_machine;
    // Watchers belong to the controller and go when their watch ends.
    QPointer<LearnWatcher> m_watcher;
    Timer m_axPoll;
    Timer m_pendingStart;
    bool m_shiftDown = false;
};

} // namespace quillet
