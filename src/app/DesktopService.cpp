#include "app/DesktopService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QPointer>
#include <qcorodbuspendingcall.h>

namespace quillet {

namespace {

// RequestName's flag and answer, as the D-Bus standard numbers them.
constexpr uint doNotQueue = 4;
constexpr uint primaryOwner = 1;

} // namespace

DesktopService::DesktopService(Handlers handlers, QObject* parent)
    : QObject(parent)
    , m_handlers(std::move(handlers))
{}

QCoro::Task<std::optional<QString>> DesktopService::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        co_return QStringLiteral("no session bus");
    // The object first, so that a call arriving the moment the name is ours finds it.
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots))
        co_return QStringLiteral("cannot register %1 on the session bus").arg(objectPath);
    const QPointer<DesktopService> self(this);
    const QDBusPendingCall request =
        bus.interface()->asyncCall(QStringLiteral("RequestName"), serviceName, doNotQueue);
    const QDBusMessage reply = co_await request;
    if (reply.type() == QDBusMessage::ErrorMessage)
        co_return reply.errorMessage();
    if (reply.arguments().value(0).toUInt() == primaryOwner)
        co_return std::nullopt;
    if (self)
        bus.unregisterObject(objectPath);
    co_return alreadyRunning;
}

QCoro::Task<bool> DesktopService::activateRunning()
{
    const QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName,
                                                             QStringLiteral("Activate"));
    const QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call, 5000);
    const QDBusMessage reply = co_await pending;
    co_return reply.type() != QDBusMessage::ErrorMessage;
}

void DesktopService::Toggle()
{
    if (m_handlers.toggle)
        m_handlers.toggle();
}

void DesktopService::Cancel()
{
    if (m_handlers.cancel)
        m_handlers.cancel();
}

void DesktopService::Activate()
{
    if (m_handlers.activate)
        m_handlers.activate();
}

} // namespace quillet
