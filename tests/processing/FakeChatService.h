#pragma once

#include "processing/ChatService.h"
#include "util/ManualClock.h"

#include <QList>

namespace quillet {

// A chat service that answers at once from a queue and keeps every call it was given;
// `elapsedPerCall` moves a ManualClock forward as if the request had taken that long.
class FakeChatService final : public ChatService {
public:
    struct Call {
        QString system;
        QString user;
        Endpoint endpoint;
        double timeoutSeconds;
    };

    QList<ChatResult> answers; // taken from the front; empty answers with a transport error
    QList<Call> calls;
    ManualClock* clock = nullptr;
    double elapsedPerCall = 0.0;

    QCoro::Task<ChatResult> chatComplete(QString system, QString user, Endpoint endpoint,
                                         double timeoutSeconds, QObject*) override
    {
        calls.append(Call{system, user, endpoint, timeoutSeconds});
        if (clock)
            clock->advance(elapsedPerCall);
        if (answers.isEmpty())
            co_return ChatError{ChatError::Kind::transport, QStringLiteral("timed out")};
        co_return answers.takeFirst();
    }
};

} // namespace quillet
