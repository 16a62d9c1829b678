#pragma once

#include "processing/ChatService.h"

#include <QByteArray>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;

namespace quillet {

class Clock;
class ProviderSettings;

// The chat-completions client over the process's one QNetworkAccessManager: a single POST per
// call, no retries, nothing cached. Lives on the main thread.
class ChatClient final : public ChatService {
public:
    // `network` and `clock` must outlive the client. `timeScale` multiplies every time limit and
    // exists for tests, which shrink seconds instead of waiting them out.
    ChatClient(QNetworkAccessManager& network, Clock& clock, double timeScale = 1.0);

    QCoro::Task<ChatResult> chatComplete(QString system, QString user, Endpoint endpoint,
                                         double timeoutSeconds) override;

    // Opens the connection to the provider ahead of a chat request, at most once per 45 s: a GET
    // of base URL + "/models" whose answer nobody waits for.
    // True when a request went out.
    bool warmUp(const ProviderSettings& settings);

    // The compact JSON body of one request.
    static QByteArray requestBody(const QString& system, const QString& user, const QString& model);
    // `baseURL` + `suffix` joined as plain text, when that is a usable http(s) URL.
    static std::optional<QUrl> serviceURL(const QString& baseURL, QStringView suffix);
    // The description of a bad server response: `body` as UTF-8, empty when it is not UTF-8.
    static QString bodyText(const QByteArray& body);

    static constexpr double warmInterval = 45.0;
    static constexpr double warmTimeout = 5.0;

private:
    std::chrono::milliseconds scaled(double seconds) const;

    QNetworkAccessManager& m_network;
    Clock& m_clock;
    double m_timeScale;
    std::optional<double> m_lastWarm; // uptime; none is the distant past
};

} // namespace quillet
