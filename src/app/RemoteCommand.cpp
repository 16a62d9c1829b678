#include "app/Commands.h"
#include "app/DesktopService.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <qcorodbuspendingcall.h>

namespace quillet {

namespace {

// The running application answers at once; a bus that does not is not worth waiting for.
constexpr int callTimeoutMs = 5000;

} // namespace

QCoro::Task<int> runRemoteCommand(CommandEnv env, QString command)
{
    if (!env.args.isEmpty()) {
        env.err << "quillet " << command << ": takes no arguments\n";
        co_return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        env.err << "quillet " << command << ": no session bus, so no running Quillet to reach\n";
        co_return 1;
    }
    const QString method =
        command == u"toggle" ? QStringLiteral("Toggle") : QStringLiteral("Cancel");
    const QDBusMessage call =
        QDBusMessage::createMethodCall(DesktopService::serviceName, DesktopService::objectPath,
                                       DesktopService::interfaceName, method);
    const QDBusPendingCall pending = bus.asyncCall(call, callTimeoutMs);
    const QDBusMessage reply = co_await pending;
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (reply.errorName() == u"org.freedesktop.DBus.Error.ServiceUnknown")
            env.err << "quillet " << command
                    << ": Quillet is not running (start it with \"quillet\")\n";
        else
            env.err << "quillet " << command << ": " << reply.errorMessage() << "\n";
        co_return 1;
    }
    co_return 0;
}

} // namespace quillet
