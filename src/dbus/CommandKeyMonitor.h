#pragma once

#include "platform/KeyMonitor.h"
#include "util/Clock.h"

#include <QDBusConnection>

namespace quillet {

// Push-to-talk for desktops whose keys we cannot watch: a shortcut of the desktop's own runs
// `quillet ptt begin` on press and `quillet ptt end` on release, which reach the running instance
// as the D-Bus calls Begin and End and come out as the push-to-talk key going down and up. The
// controller's gestures (hold, double tap to lock) then work unchanged. Desktops repeat a held
// shortcut, so a begin while the key is down is ignored; a begin whose end never comes (a
// shortcut that fires on press only) is ended after `maxHold`.
class CommandKeyMonitor final : public KeyMonitor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.fernwick.quillet.PushToTalk")
public:
    static inline const QString service = QStringLiteral("com.fernwick.quillet");
    static inline const QString path = QStringLiteral("/com/fernwick/quillet/PushToTalk");
    static inline const QString interface = QStringLiteral("com.fernwick.quillet.PushToTalk");
    // The longest recording a dictation keeps whole, in seconds.
    static constexpr double maxHold = 600;

    explicit CommandKeyMonitor(Clock& clock,
                               QDBusConnection connection = QDBusConnection::sessionBus(),
                               QObject* parent = nullptr);
    ~CommandKeyMonitor() override;

    // Puts the object on the bus (the running instance owns `service`); false without a bus.
    bool start() override;
    bool isAvailable() const override { return m_registered; }
    void setPushToTalkKey(int keyCode) override;

    void begin();
    void end();

public slots:
    // The bus's names for begin() and end().
    Q_SCRIPTABLE void Begin() { begin(); }
    Q_SCRIPTABLE void End() { end(); }

private:
    Clock& m_clock;
    QDBusConnection m_connection;
    bool m_registered = false;
    int m_keyCode = 61;
    bool m_down = false;
    Timer m_giveUp;
};

} // namespace quillet
