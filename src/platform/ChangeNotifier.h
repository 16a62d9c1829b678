#pragma once

#include <QCoroTask>
#include <QObject>

namespace quillet {

// The desktop-wide announcement that the vocabulary or the modes changed on disk, so that other
// processes sharing the data files can reload them. The same announcement serves both.
class ChangeNotifier : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Announces a change to every other process; returns at once.
    virtual void post() = 0;
    // Completes once everything posted so far has left this process (a short-lived command
    // awaits it before exiting).
    virtual QCoro::Task<void> flush() = 0;

signals:
    // Another process announced a change (never emitted for this process's own posts).
    void received();
};

} // namespace quillet
