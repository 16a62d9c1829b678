#pragma once

#include "processing/ChatService.h"

#include <optional>

class QNetworkAccessManager;

namespace quillet {

class Clock;
class ProviderSettings;

// The chat-completions client over the process's one QNetworkAccessManager: a single POST per
// call, no retries, nothing cached. Lives on the main thread.
class ChatClient final : public ChatService {
public:
    // `network` and `clock` must outlive the client. A request still under way when the network
    // manager goes ends as cancelled.
    ChatClient(QNetworkAccessManager& network, Clock& clock);

    QCoro::Task<ChatResult> chatComplete(QString system, QString user, Endpoint endpoint,
                                         double timeoutSeconds, QObject* scope) override;

    // Opens the connection to the provider ahead of a chat request, at most once per 45 s: a GET
    // of base URL + "/models" whose answer nobody waits for. True when a request went out.
    bool warmUp(const ProviderSettings& settings);

private:
    QNetworkAccessManager& m_network;
    Clock& m_clock;
    std::optional<double> m_lastWarm; // uptime; none is the distant past
};

} // namespace quillet
