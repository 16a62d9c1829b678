#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace quillet {

// The running desktop application on the session bus: the name that makes it the only
// instance, and the calls a second `quillet` makes to it. Main thread.
class DesktopService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.fernwick.quillet.App")
public:
    static inline const QString serviceName = QStringLiteral("com.fernwick.quillet");
    static inline const QString objectPath = QStringLiteral("/com/fernwick/quillet/App");
    static inline const QString interfaceName = QStringLiteral("com.fernwick.quillet.App");

    // What the calls do.
    struct Handlers {
        std::function<void()> toggle;
        std::function<void()> cancel;
        std::function<void()> activate;
    };

    explicit DesktopService(Handlers handlers, QObject* parent = nullptr);

    static inline const QString alreadyRunning = QStringLiteral("already running");

    // Takes the name on the session bus and answers calls from then on. Otherwise says why not:
    // alreadyRunning when another process holds the name, or what is wrong with the bus.
    QCoro::Task<std::optional<QString>> claim();
    // Asks the instance that holds the name to show itself; false when none answers.
    static QCoro::Task<bool> activateRunning();

public slots:
    // Idle: starts a dictation locked on; recording: finishes it.
    Q_SCRIPTABLE void Toggle();
    // Cancels a recording.
    Q_SCRIPTABLE void Cancel();
    // Another `quillet` was started: show ourselves.
    Q_SCRIPTABLE void Activate();

private:
    Handlers m_handlers;
};

} // namespace quillet
