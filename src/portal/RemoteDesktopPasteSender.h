#pragma once

#include "platform/PasteSender.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>

namespace quillet {

// Posts the paste chord through the desktop portal's remote-desktop session (GNOME, KDE): the
// desktop asks the user once whether Quillet may type, and the session then serves the whole run.
// Keys go by symbol, so the desktop finds Ctrl and V on whatever layout is active. Portals before
// 1.17 keep no permission between runs, so each run asks again.
class RemoteDesktopPasteSender final : public QObject, public PasteSender {
    Q_OBJECT
public:
    static inline const QString interface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");

    explicit RemoteDesktopPasteSender(
        QDBusConnection bus = QDBusConnection::sessionBus(),
        QString portalService = QStringLiteral("org.freedesktop.portal.Desktop"),
        QObject* parent = nullptr);
    ~RemoteDesktopPasteSender() override;

    // Opens the session; the desktop asks the user. Returns at once; availableChanged() follows
    // when the user has answered (allowed: available). A refusal or a session the desktop ends
    // later leaves the sender unavailable until start() is called again.
    void start();
    // The session is being set up (the user has not answered yet).
    bool isStarting() const { return m_starting; }

    bool isAvailable() const override { return !m_session.path().isEmpty(); }
    bool postPaste(bool terminal) override;

signals:
    void availableChanged();

private slots:
    void onClosed();

private:
    QCoro::Task<void> open();
    void key(quint32 keysym, bool down);
    void setSession(const QDBusObjectPath& session);

    QDBusConnection m_bus;
    QString m_service;
    QDBusObjectPath m_session;
    bool m_starting = false;
};

} // namespace quillet
