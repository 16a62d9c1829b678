#include "processing/ChatClient.h"

#include "processing/ProviderSettings.h"
#include "util/Clock.h"

#include <QCoroNetworkReply>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

namespace quillet {

namespace {

// Texts standing in for the platform's own descriptions of these conditions.
const QString kAuthenticationRequired = QStringLiteral("User authentication required.");
const QString kTimedOut = QStringLiteral("The request timed out.");

ChatError authenticationRequired()
{
    return ChatError{ChatError::Kind::userAuthenticationRequired, kAuthenticationRequired};
}

QByteArray bearer(const QString& key)
{
    return QByteArrayLiteral("Bearer ") + key.toUtf8();
}

// Reads choices[0].message.content; none when any step of the path is missing or mistyped.
std::optional<QString> firstChoiceContent(const QJsonDocument& document)
{
    if (!document.isObject())
        return std::nullopt;
    const QJsonValue choices = document.object().value(QLatin1StringView("choices"));
    if (!choices.isArray() || choices.toArray().isEmpty())
        return std::nullopt;
    const QJsonValue message =
        choices.toArray().first().toObject().value(QLatin1StringView("message"));
    if (!message.isObject())
        return std::nullopt;
    const QJsonValue content = message.toObject().value(QLatin1StringView("content"));
    if (!content.isString())
        return std::nullopt;
    return content.toString();
}

} // namespace

ChatClient::ChatClient(QNetworkAccessManager& network, Clock& clock, double timeScale)
    : m_network(network)
    , m_clock(clock)
    , m_timeScale(timeScale)
{}

std::chrono::milliseconds ChatClient::scaled(double seconds) const
{
    return std::chrono::milliseconds(static_cast<qint64>(seconds * m_timeScale * 1000.0));
}

QByteArray ChatClient::requestBody(const QString& system, const QString& user, const QString& model)
{
    QJsonObject body{
        {QStringLiteral("model"), model},
        {QStringLiteral("temperature"), 0.2},
        {QStringLiteral("max_tokens"), 4096},
        {QStringLiteral("messages"),
         QJsonArray{
             QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                         {QStringLiteral("content"), system}},
             QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                         {QStringLiteral("content"), user}},
         }},
    };
    // Reasoning models of that family think at length unless told otherwise.
    if (model.startsWith(u"gpt-oss"))
        body.insert(QStringLiteral("reasoning_effort"), QStringLiteral("low"));
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

std::optional<QUrl> ChatClient::serviceURL(const QString& baseURL, QStringView suffix)
{
    const QUrl url(baseURL + suffix.toString(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != u"https" && scheme != u"http")
        return std::nullopt;
    return url;
}

QString ChatClient::bodyText(const QByteArray& body)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(body);
    if (decoder.hasError())
        return {};
    return text;
}

QCoro::Task<ChatResult> ChatClient::chatComplete(QString system, QString user, Endpoint endpoint,
                                                 double timeoutSeconds)
{
    if (endpoint.key.isEmpty())
        co_return authenticationRequired();
    const std::optional<QUrl> url = serviceURL(endpoint.baseURL, u"/chat/completions");
    if (!url)
        co_return authenticationRequired();

    QNetworkRequest request(*url);
    request.setRawHeader("Authorization", bearer(endpoint.key));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    // The bearer key must not follow a redirect to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);

    QPointer<QNetworkReply> reply =
        m_network.post(request, requestBody(system, user, endpoint.model));
    bool timedOut = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, reply.get(), [&timedOut, reply] {
        timedOut = true;
        reply->abort();
    });
    timer.start(scaled(timeoutSeconds));

    co_await reply.get();
    timer.stop();
    if (!reply)
        co_return ChatError{ChatError::Kind::transport,
                            QStringLiteral("The request was cancelled.")};
    reply->deleteLater();

    if (timedOut)
        co_return ChatError{ChatError::Kind::transport, kTimedOut};
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QByteArray body = reply->readAll();
    if (status.isValid() && status.toInt() != 200)
        co_return ChatError{ChatError::Kind::badServerResponse, bodyText(body)};
    if (reply->error() != QNetworkReply::NoError || !status.isValid())
        co_return ChatError{ChatError::Kind::transport, reply->errorString()};

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        co_return ChatError{ChatError::Kind::transport, parseError.errorString()};
    const std::optional<QString> content = firstChoiceContent(document);
    if (!content)
        co_return ChatError{ChatError::Kind::badServerResponse, bodyText(body)};
    co_return content->trimmed();
}

bool ChatClient::warmUp(const ProviderSettings& settings)
{
    const double now = m_clock.uptime();
    if (m_lastWarm && now - *m_lastWarm <= warmInterval)
        return false;
    const std::optional<QUrl> url = serviceURL(settings.providerBaseURL(), u"/models");
    if (!url)
        return false;
    m_lastWarm = now;

    QNetworkRequest request(*url);
    request.setRawHeader("Authorization", bearer(settings.providerKey().value_or(QString())));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(scaled(warmTimeout).count()));
    QNetworkReply* reply = m_network.get(request);
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    return true;
}

} // namespace quillet
