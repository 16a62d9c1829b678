#include "desktop/Controller.h"

#include "desktop/Dictation.h"
#include "desktop/Hud.h"
#include "desktop/LearnWatcher.h"
#include "desktop/TextInserter.h"
#include "platform/Accessibility.h"
#include "platform/AudioSystem.h"
#include "platform/KeyMonitor.h"
#include "platform/PasteSender.h"
#include "platform/Workspace.h"
#include "store/KeyStore.h"
#include "store/ModeRules.h"
#include "store/Preferences.h"
#include "store/Store.h"
#include "update/Updater.h"

namespace quillet {

namespace {

std::optional<QString> nonEmpty(const QString& text)
{
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

} // namespace

Controller::Controller(Services services, std::unique_ptr<Dictation> dictation,
                       std::unique_ptr<Hud> hud, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_dictation(std::move(dictation))
    , m_hud(std::move(hud))
    , m_inserter(std::make_unique<TextInserter>(m_services.pasteSender, m_services.pasteboard,
                                                m_services.workspace, m_services.accessibility,
                                                m_services.prefs, m_services.clock))
    , m_hotkey(HotKey::fromKeyCode(m_services.prefs.hotkey()))
    , m_axTrusted(m_services.pasteSender.isAvailable() && m_services.accessibility.isAvailable())
    , m_micAllowed(m_services.audio.inputAvailable())
{}

Controller::~Controller() = default;

LearnWatcher* Controller::watcher() const
{
    return m_watcher;
}

void Controller::setUp()
{
    refreshPermissions();

    m_services.keyMonitor.setPushToTalkKey(m_hotkey.keyCode());
    connect(&m_services.keyMonitor, &KeyMonitor::keyEvent, this, &Controller::handle);
    m_services.keyMonitor.start();

    if (!m_services.prefs.selftestNoHUD())
        m_hud->bind(m_dictation.get());

    if (Updater* updater = m_services.updater) {
        const QPointer<Controller> self(this);
        updater->onMessage = [self](const QString& text) {
            if (self)
                self->m_hud->toast(text);
        };
        updater->isIdle = [self] {
            return self && self->m_dictation->phase() == Dictation::Phase::idle;
        };
        updater->start();
    }

    const bool hasKey = m_services.keys.speechKey().has_value();
    // The settings window then opens on its Account tab.
    if (!hasKey)
        m_services.prefs.setSettingsTab(3);
    const Preferences& prefs = m_services.prefs;
    const bool automation = prefs.selftest() || prefs.updateNow() || prefs.verifyUpdate();
    if (!automation && (!m_axTrusted || !m_micAllowed || !hasKey))
        emit activationRequested();

    pollPermissions();
}

void Controller::handle(const KeyEvent& event)
{
    const double now = m_services.clock.uptime();
    switch (event.type) {
    case KeyEvent::Type::keyDown:
        if (event.keyCode == KeyEvent::escapeKeyCode &&
            m_dictation->phase() == Dictation::Phase::recording) {
            cancelRecording();
            return;
        }
        decide(m_machine.interrupt());
        return;
    case KeyEvent::Type::flagsChanged:
        if (event.keyCode != m_hotkey.keyCode()) {
            // Another modifier: a Shift going down while talking switches the mode, once per
            // press however many other modifiers change meanwhile.
            const bool shift = (event.flags & KeyEvent::shiftFlag) != 0;
            if (shift && !m_shiftDown && m_dictation->phase() == Dictation::Phase::recording &&
                m_hotkey != HotKey::rightShift)
                m_dictation->setMode(
                    nextMode(m_dictation->mode(), m_services.store.modes().styles));
            m_shiftDown = shift;
            return;
        }
        decide((event.flags & m_hotkey.flagMask()) != 0 ? m_machine.down(now) : m_machine.up(now));
        syncLocked();
        return;
    }
}

void Controller::decide(PressDecision decision)
{
    switch (decision) {
    case PressDecision::start:
        startPending();
        return;
    case PressDecision::finish:
        // Released before the delayed start ran: start now, so that the finish has something to
        // finish.
        if (m_pendingStart.isActive()) {
            m_pendingStart.cancel();
            begin();
        }
        complete();
        return;
    case PressDecision::cancel:
        dropPending();
        m_dictation->cancel();
        return;
    case PressDecision::none:
        return;
    }
}

void Controller::startPending()
{
    // A quick tap is over before this fires and never opens the microphone.
    m_pendingStart = m_services.clock.singleShot(startDelay, this, [this] { begin(); });
}

void Controller::dropPending()
{
    m_pendingStart.cancel();
}

void Controller::begin()
{
    m_pendingStart.cancel();
    if (m_watcher)
        m_watcher->cancel();
    if (!m_services.keys.speechKey()) {
        m_hud->toast(noKeyMessage);
        m_machine.reset();
        syncLocked();
        return;
    }
    if (m_services.warmUp)
        m_services.warmUp();
    // The window title comes with the front application on this desktop (one quick read of the
    // window manager's properties) rather than through the accessibility bus.
    const std::optional<FrontApp> front = m_services.workspace.frontApp();
    const std::optional<QString> appId = front ? nonEmpty(front->appId) : std::nullopt;
    const std::optional<QString> title = front ? nonEmpty(front->windowTitle) : std::nullopt;
    m_dictation->start(startingMode(appId, title, m_services.store.modes()));
}

void Controller::complete()
{
    const std::optional<FrontApp> front = m_services.workspace.frontApp();
    completeTask(front ? nonEmpty(front->displayName) : std::nullopt);
}

QCoro::Task<void> Controller::completeTask(std::optional<QString> app)
{
    const QPointer<Controller> self(this);
    QCoro::Task<std::optional<Entry>> finishing = m_dictation->finish(std::move(app));
    const std::optional<Entry> entry = co_await finishing;
    if (!self)
        co_return;
    if (entry) {
        setLastEntry(*entry);
        insert(*entry);
    } else if (!m_dictation->error().isEmpty()) {
        m_hud->toast(m_dictation->error());
    }
}

void Controller::insert(const Entry& entry)
{
    if (!m_services.pasteSender.isAvailable() || !m_services.accessibility.isAvailable()) {
        m_inserter->copyOnly(entry.text);
        setAxTrusted(false);
        pollPermissions();
        m_hud->toast(m_services.pasteSender.isAvailable()
                         ? copiedMessage
                         : m_services.pasteSender.copyOnlyMessage());
        return;
    }
    const ElementHandle element = m_inserter->insert(entry);
    if (!element)
        return;
    const QPointer<Controller> self(this);
    // A watcher replaced by the next insertion keeps watching its own field until it ends.
    auto* watcher = new LearnWatcher(
        {m_services.accessibility, m_services.store, m_services.spelling, m_services.prefs,
         m_services.clock},
        entry, element,
        [self](const QStringList& words) {
            if (self)
                self->learned(words);
        },
        this);
    connect(watcher, &LearnWatcher::ended, watcher, &QObject::deleteLater);
    m_watcher = watcher;
}

void Controller::learned(const QStringList& words)
{
    m_hud->toast(learnedPrefix + words.join(QStringLiteral(", ")));
}

void Controller::setHotkey(HotKey key)
{
    const bool changed = std::exchange(m_hotkey, key) != key;
    m_services.prefs.setHotkey(key.keyCode());
    m_services.keyMonitor.setPushToTalkKey(key.keyCode());
    // A release of the old key must not finish anything.
    m_machine.reset();
    syncLocked();
    if (changed)
        emit hotkeyChanged(key);
}

void Controller::toggle()
{
    switch (m_dictation->phase()) {
    case Dictation::Phase::recording:
        m_machine.reset();
        syncLocked();
        complete();
        return;
    case Dictation::Phase::processing:
        return;
    case Dictation::Phase::idle:
        begin();
        if (m_dictation->phase() == Dictation::Phase::recording) {
            // Hands-free, as after a double tap: the next press of the key finishes it too.
            m_machine.lock();
            syncLocked();
        }
        return;
    }
}

void Controller::cancelRecording()
{
    if (m_dictation->phase() != Dictation::Phase::recording) {
        if (m_pendingStart.isActive()) {
            dropPending();
            m_machine.reset();
        }
        return;
    }
    m_machine.reset();
    if (m_hud->locked())
        m_hud->setLocked(false);
    dropPending();
    m_dictation->cancel();
    m_hud->toast(cancelledMessage);
}

void Controller::syncLocked()
{
    if (m_machine.locked != m_hud->locked())
        m_hud->setLocked(m_machine.locked);
}

void Controller::refreshPermissions()
{
    setAxTrusted(m_services.pasteSender.isAvailable() && m_services.accessibility.isAvailable());
    setMicAllowed(m_services.audio.inputAvailable());
}

void Controller::pollPermissions()
{
    // Polls only while something is missing; nothing repeats once all is there.
    if (m_axTrusted && m_micAllowed) {
        m_axPoll.cancel();
        return;
    }
    if (m_axPoll.isActive())
        return;
    m_axPoll = m_services.clock.repeating(accessibilityPoll, this, [this] {
        refreshPermissions();
        if (m_axTrusted && m_micAllowed)
            m_axPoll.cancel();
    });
}

void Controller::setAxTrusted(bool trusted)
{
    if (std::exchange(m_axTrusted, trusted) != trusted)
        emit axTrustedChanged(trusted);
}

void Controller::setMicAllowed(bool allowed)
{
    if (std::exchange(m_micAllowed, allowed) != allowed)
        emit micAllowedChanged(allowed);
}

void Controller::setLastEntry(const Entry& entry)
{
    m_lastEntry = entry;
    emit lastEntryChanged();
}

QVariant Controller::lastEntryVariant() const
{
    return m_lastEntry ? QVariant::fromValue(*m_lastEntry) : QVariant();
}

} // namespace quillet
