#pragma once

#include "platform/ChangeNotifier.h"

#include <QDBusConnection>

class QDBusMessage;

namespace quillet {

// The change announcement as a signal on the session bus: path /com/fernwick/quillet, interface
// com.fernwick.quillet, member "vocab", no arguments. Without a session bus it does nothing.
class DBusChangeNotifier final : public ChangeNotifier {
    Q_OBJECT
public:
    static inline const QString path = QStringLiteral("/com/fernwick/quillet");
    static inline const QString interface = QStringLiteral("com.fernwick.quillet");
    static inline const QString member = QStringLiteral("vocab");

    explicit DBusChangeNotifier(QDBusConnection connection = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);

    void post() override;
    QCoro::Task<void> flush() override;

private slots:
    void onSignal(const QDBusMessage& message);

private:
    QDBusConnection m_connection;
};

} // namespace quillet
