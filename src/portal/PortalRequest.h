#pragma once

#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

#include <chrono>

namespace quillet {

// One call to a desktop portal method that answers later through a Request object (the portal's
// pattern for anything that may ask the user): the call carries a fresh handle token, the answer
// comes as the request's Response signal.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    static inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
    static inline const QString path = QStringLiteral("/org/freedesktop/portal/desktop");

    struct Answer {
        // 0 granted, 1 the user cancelled, 2 anything else (including no answer at all).
        uint response = 2;
        QVariantMap results;

        bool granted() const { return response == 0; }
    };

    // Calls `method` of `interface` on the portal `portalService` with `args` followed by
    // `options` (which gain the handle token), and waits up to `timeout` for the answer.
    static QCoro::Task<Answer> call(QDBusConnection bus, QString portalService, QString interface,
                                    QString method, QVariantList args, QVariantMap options,
                                    std::chrono::milliseconds timeout);

    // Creates a session of `interface` (CreateSession); its handle, or empty when the portal
    // refused or did not answer in time.
    static QCoro::Task<QDBusObjectPath> createSession(QDBusConnection bus, QString portalService,
                                                      QString interface,
                                                      std::chrono::milliseconds timeout);

    // A token no other request or session of this process has used.
    static QString token(const char* prefix);

signals:
    void answered();

private slots:
    void onResponse(uint response, const QVariantMap& results);

private:
    Answer m_answer;
    bool m_done = false;
};

} // namespace quillet
