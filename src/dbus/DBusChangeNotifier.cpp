#include "dbus/DBusChangeNotifier.h"

#include <QCoroSignal>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>

#include <chrono>
#include <memory>

namespace quillet {

DBusChangeNotifier::DBusChangeNotifier(QDBusConnection connection, QObject* parent)
    : ChangeNotifier(parent)
    , m_connection(std::move(connection))
{
    if (!m_connection.isConnected())
        return;
    for (const QString& member : {vocabMember, historyMember})
        m_connection.connect(QString(), path, interface, member, this,
                             SLOT(onSignal(QDBusMessage)));
}

void DBusChangeNotifier::post(Topic topic)
{
    if (!m_connection.isConnected())
        return;
    const QString& member = topic == Topic::history ? historyMember : vocabMember;
    m_connection.send(QDBusMessage::createSignal(path, interface, member));
}

QCoro::Task<void> DBusChangeNotifier::flush()
{
    if (!m_connection.isConnected())
        co_return;
    // The bus handles one connection's messages in order, so once it has answered a call made
    // after the signal, the signal has been delivered.
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
    auto watcher =
        std::make_unique<QDBusPendingCallWatcher>(m_connection.asyncCall(ping, 5000), nullptr);
    if (!watcher->isFinished())
        co_await qCoro(watcher.get(), &QDBusPendingCallWatcher::finished, std::chrono::seconds(6));
}

void DBusChangeNotifier::onSignal(const QDBusMessage& message)
{
    // The bus also hands our own signals back to us.
    if (message.service() == m_connection.baseService())
        return;
    emit received(message.member() == historyMember ? Topic::history : Topic::vocab);
}

} // namespace quillet
