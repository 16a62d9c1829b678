#pragma once

#include "platform/KeyMonitor.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusObjectPath>

namespace quillet {

// Push-to-talk through the desktop portal's global shortcuts (KDE Plasma 5.27, GNOME 48): the
// desktop binds a chord of its choosing, by default `preferredTrigger`, and reports its press and
// release. A bare modifier cannot be bound there, so it is a chord; the controller sees it as the
// push-to-talk key going down and up. Other keys (Escape, Shift) are not seen this way.
class GlobalShortcutsKeyMonitor final : public KeyMonitor {
    Q_OBJECT
public:
    static inline const QString interface =
        QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
    static inline const QString shortcutId = QStringLiteral("push-to-talk");
    // In the portal's shortcut notation.
    static inline const QString preferredTrigger = QStringLiteral("CTRL+ALT+space");

    explicit GlobalShortcutsKeyMonitor(
        QDBusConnection bus = QDBusConnection::sessionBus(),
        QString portalService = QStringLiteral("org.freedesktop.portal.Desktop"),
        QObject* parent = nullptr);

    // Asks the desktop to bind the shortcut (it may ask the user). Returns at once, true while
    // that can still succeed; availableChanged() follows either way.
    bool start() override;
    bool isAvailable() const override { return m_bound; }
    void setPushToTalkKey(int keyCode) override;

    // The chord the desktop bound, as the desktop writes it (e.g. "Ctrl+Alt+Space"); empty
    // while unknown.
    QString trigger() const { return m_trigger; }

private slots:
    void onActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                     const QVariantMap& options);
    void onDeactivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                       const QVariantMap& options);
    void onClosed();

private:
    QCoro::Task<void> bind();
    void finishBinding(const QDBusObjectPath& session, const QString& trigger);
    void press(bool down);

    QDBusConnection m_bus;
    QString m_service;
    QDBusObjectPath m_session;
    bool m_binding = false;
    bool m_bound = false;
    QString m_trigger;
    int m_keyCode = 61;
    bool m_down = false;
};

} // namespace quillet
