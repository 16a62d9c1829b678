#pragma once

#include "util/Clock.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <coroutine>

namespace quillet {

// Follows one network reply to its end, for a coroutine that co_awaits it. It collects the body
// up to a size limit and ends the reply early when the time limit passes, when `scope` is
// destroyed or when the body outgrows the limit.
//
// The awaiting coroutine always resumes from the event loop, never inside the Qt call that ended
// the reply: abort() emits finished() at once, and the chain of callers that completes when this
// coroutine does may destroy the network manager whose abort() is still on the stack.
class ReplyWatch final : public QObject {
    Q_OBJECT
public:
    enum class End { finished, timedOut, cancelled, tooLarge };

    // What is left of the reply once it has ended; nothing here points into the reply.
    struct Outcome {
        End end = End::cancelled;
        int status = 0; // 0: no HTTP answer
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        QString errorString;
        QByteArray body;
    };

    // Takes over `reply` (deleted later, aborted first if still running). `scope` may be null.
    ReplyWatch(QNetworkReply* reply, Clock& clock, double timeoutSeconds, qint64 maxBodyBytes,
               QObject* scope);
    ~ReplyWatch() override;

    // co_await watch.ended() gives the outcome, once.
    struct Ended {
        ReplyWatch* watch;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiter) noexcept { watch->m_waiter = waiter; }
        Outcome await_resume() const { return std::move(watch->m_outcome); }
    };
    Ended ended() { return Ended{this}; }

private:
    void read();
    void checkDeclaredLength();
    // The first call decides the outcome; the resumption is queued to the event loop.
    void end(End how);

    QPointer<QNetworkReply> m_reply;
    qint64 m_maxBodyBytes;
    Timer m_timer;
    Outcome m_outcome;
    bool m_ended = false;
    std::coroutine_handle<> m_waiter;
};

} // namespace quillet
