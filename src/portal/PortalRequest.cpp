#include "portal/PortalRequest.h"

#include <QCoroDBusPendingCall>
#include <QCoroSignal>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>

#include <atomic>
#include <memory>

namespace quillet {

namespace {

const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// Where the portal puts the request of `token`: its path is made of the caller's bus name.
QString requestPath(const QDBusConnection& bus, const QString& token)
{
    QString sender = bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

} // namespace

QCoro::Task<QDBusObjectPath> PortalRequest::createSession(QDBusConnection bus,
                                                          QString portalService, QString interface,
                                                          std::chrono::milliseconds timeout)
{
    QCoro::Task<Answer> creating =
        call(bus, portalService, interface, QStringLiteral("CreateSession"), {},
             {{QStringLiteral("session_handle_token"), token("session")}}, timeout);
    const Answer created = co_await creating;
    if (!created.granted())
        co_return QDBusObjectPath();
    co_return QDBusObjectPath(created.results.value(QStringLiteral("session_handle")).toString());
}

QString PortalRequest::token(const char* prefix)
{
    static std::atomic<int> counter = 0;
    return QStringLiteral("quillet_%1_%2").arg(QLatin1String(prefix)).arg(++counter);
}

void PortalRequest::onResponse(uint response, const QVariantMap& results)
{
    if (m_done)
        return;
    m_done = true;
    m_answer = {response, results};
    emit answered();
}

QCoro::Task<PortalRequest::Answer> PortalRequest::call(QDBusConnection bus, QString portalService,
                                                       QString interface, QString method,
                                                       QVariantList args, QVariantMap options,
                                                       std::chrono::milliseconds timeout)
{
    const QString handle = token("request");
    const QString expected = requestPath(bus, handle);
    auto request = std::make_unique<PortalRequest>();
    // Listening before calling: the answer may come right behind the reply.
    bus.connect(portalService, expected, requestInterface, QStringLiteral("Response"),
                request.get(), SLOT(onResponse(uint, QVariantMap)));

    options.insert(QStringLiteral("handle_token"), handle);
    args.append(options);
    QDBusMessage message = QDBusMessage::createMethodCall(portalService, path, interface, method);
    message.setArguments(args);
    QDBusPendingCall pending = bus.asyncCall(message);
    const QDBusMessage reply = co_await pending;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return Answer{};
    // Portals before the handle token put the request elsewhere; it names its path.
    const QString actual = reply.arguments().first().value<QDBusObjectPath>().path();
    if (!actual.isEmpty() && actual != expected)
        bus.connect(portalService, actual, requestInterface, QStringLiteral("Response"),
                    request.get(), SLOT(onResponse(uint, QVariantMap)));
    if (!request->m_done)
        co_await qCoro(request.get(), &PortalRequest::answered, timeout);
    co_return request->m_answer;
}

} // namespace quillet
