#pragma once

#include "platform/ChangeNotifier.h"

#include <QDBusConnection>

class QDBusMessage;

namespace quillet {

// The change announcements as signals on the session bus: path /com/fernwick/quillet, interface
// com.fernwick.quillet, member "vocab" (vocabulary or modes) or "history", no arguments. Without
// a session bus it does nothing.
class DBusChangeNotifier final : public ChangeNotifier {
    Q_OBJECT
public:
    static inline const QString path = QStringLiteral("/com/fernwick/quillet");
    static inline const QString interface = QStringLiteral("com.fernwick.quillet");
    static inline const QString vocabMember = QStringLiteral("vocab");
    static inline const QString historyMember = QStringLiteral("history");

    explicit DBusChangeNotifier(QDBusConnection connection = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);

    void post(Topic topic) override;
    QCoro::Task<void> flush() override;

private slots:
    void onSignal(const QDBusMessage& message);

private:
    QDBusConnection m_connection;
};

} // namespace quillet
