#pragma once

#include <QString>

namespace quillet {

// Why a chat request produced no reply.
struct ChatError {
    enum class Kind {
        userAuthenticationRequired, // no key, or no usable URL; nothing was sent
        badServerResponse,          // not a 200, or no text at the first choice's message
        transport,                  // network failure, timeout, body that is not JSON
    };
    Kind kind = Kind::transport;
    // For a bad server response: the response body as UTF-8 text (empty when it is not UTF-8).
    QString description;
};

// A short text for a person: the "message" of an error body in either the wrapped
// {"error": {"message": ...}} or the flat {"message": ...} / {"error": "..."} shape, else the
// description itself.
QString errorSummary(const ChatError& error);

} // namespace quillet
