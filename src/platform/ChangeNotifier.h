#pragma once

#include <QCoroTask>
#include <QObject>

namespace quillet {

// The desktop-wide announcement that shared data changed on disk, so that other processes
// sharing the data files can reload them.
class ChangeNotifier : public QObject {
    Q_OBJECT
public:
    enum class Topic {
        vocab,   // the vocabulary or the modes (one announcement serves both)
        history, // the dictation history
    };
    Q_ENUM(Topic)

    using QObject::QObject;

    // Announces a change to every other process; returns at once.
    virtual void post(Topic topic) = 0;
    // Completes once everything posted so far has left this process (a short-lived command
    // awaits it before exiting).
    virtual QCoro::Task<void> flush() = 0;

signals:
    // Another process announced a change (never emitted for this process's own posts).
    void received(quillet::ChangeNotifier::Topic topic);
};

} // namespace quillet
