#pragma once

#include "processing/ChatError.h"
#include "processing/Endpoint.h"

#include <QCoroTask>
#include <QString>

class QObject;

#include <optional>

namespace quillet {

// The reply text, or why there is none.
class ChatResult {
public:
    ChatResult() = default; // a failure without a description; QCoro's waitFor() needs one
    ChatResult(QString reply)
        : m_reply(std::move(reply))
    {}
    ChatResult(ChatError error)
        : m_error(std::move(error))
    {}

    bool ok() const { return m_reply.has_value(); }
    const QString& reply() const { return *m_reply; }
    const ChatError& error() const { return m_error; }

private:
    std::optional<QString> m_reply;
    ChatError m_error;
};

// One OpenAI-compatible chat-completions request. An interface so that the caller's retry and
// fallback rules can be exercised over a recording fake.
class ChatService {
public:
    virtual ~ChatService() = default;
    // Sends the system and user messages to `endpoint`; `timeoutSeconds` bounds the request. The
    // request ends early, as cancelled, when `scope` (if any) is destroyed: its owner stops it so.
    virtual QCoro::Task<ChatResult> chatComplete(QString system, QString user, Endpoint endpoint,
                                                 double timeoutSeconds, QObject* scope) = 0;
};

} // namespace quillet
