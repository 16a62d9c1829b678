#include "processing/ChatClient.h"

#include "processing/ProviderSettings.h"
#include "processing/ReplyWatch.h"
#include "store/KeyStore.h"
#include "util/Clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStringDecoder>

#include <memory>

namespace quillet {

namespace {

constexpr double kWarmInterval = 45.0;
constexpr double kWarmTimeout = 5.0;
// Far above any chat reply (4096 tokens); a bigger one is a misbehaving server, not text.
constexpr qint64 kMaxReplyBytes = 4 * 1024 * 1024;

// Texts standing in for the platform's own descriptions of these conditions.
const QString kAuthenticationRequired = QStringLiteral("User authentication required.");
const QString kUnsupportedURL =
    QStringLiteral("Unsupported URL: the base URL must start with https:// or http://.");
const QString kTimedOut = QStringLiteral("The request timed out.");
const QString kCancelled = QStringLiteral("The request was cancelled.");
const QString kTooLarge = QStringLiteral("The reply is larger than 4 MB; it was not read.");
const QString kRedirected =
    QStringLiteral("The service redirected the request to another host; the key was not sent "
                   "there. Use the base URL it redirects to.");
const QString kRedactedKey = QStringLiteral("[redacted]");

ChatError transport(QString description)
{
    return ChatError{ChatError::Kind::transport, std::move(description)};
}

QByteArray bearer(const QString& key)
{
    return QByteArrayLiteral("Bearer ") + key.toUtf8();
}

// `baseURL` + `suffix` joined as plain text; none when the text is not a URL at all.
std::optional<QUrl> joinedURL(const QString& baseURL, QStringView suffix)
{
    QUrl url(baseURL + suffix.toString(), QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

bool isSupported(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return (scheme == u"https" || scheme == u"http") && !url.host().isEmpty();
}

QByteArray requestBody(const QString& system, const QString& user, const QString& model)
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

// The description of a bad server response: the body as UTF-8, empty when it is not UTF-8.
QString bodyText(const QByteArray& body)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(body);
    if (decoder.hasError())
        return {};
    return text;
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

ChatResult interpret(const ReplyWatch::Outcome& outcome)
{
    switch (outcome.end) {
    case ReplyWatch::End::timedOut:
        return transport(kTimedOut);
    case ReplyWatch::End::cancelled:
        return transport(kCancelled);
    case ReplyWatch::End::tooLarge:
        return transport(kTooLarge);
    case ReplyWatch::End::finished:
        break;
    }
    // Redirects within the service's own host are followed; the one left is to another host.
    if (outcome.error == QNetworkReply::InsecureRedirectError ||
        (outcome.status >= 300 && outcome.status < 400))
        return transport(kRedirected);
    if (outcome.status != 0 && outcome.status != 200)
        return ChatError{ChatError::Kind::badServerResponse, bodyText(outcome.body)};
    if (outcome.error != QNetworkReply::NoError || outcome.status == 0)
        return transport(outcome.errorString);

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(outcome.body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return transport(parseError.errorString());
    const std::optional<QString> content = firstChoiceContent(document);
    if (!content)
        return ChatError{ChatError::Kind::badServerResponse, bodyText(outcome.body)};
    return content->trimmed();
}

// A server may echo the key it was sent, and error texts are shown to the user.
ChatResult withoutKey(ChatResult result, const QString& key)
{
    if (result.ok() || !result.error().description.contains(key))
        return result;
    ChatError error = result.error();
    error.description.replace(key, kRedactedKey);
    return error;
}

} // namespace

ChatClient::ChatClient(QNetworkAccessManager& network, Clock& clock)
    : m_network(network)
    , m_clock(clock)
{}

QCoro::Task<ChatResult> ChatClient::chatComplete(QString system, QString user, Endpoint endpoint,
                                                 double timeoutSeconds, QObject* scope)
{
    // A key with a line break would write headers of its own into the request.
    if (!KeyStore::isUsableKey(endpoint.key))
        co_return ChatError{ChatError::Kind::userAuthenticationRequired, kAuthenticationRequired};
    const std::optional<QUrl> url = joinedURL(endpoint.baseURL, u"/chat/completions");
    if (!url)
        co_return ChatError{ChatError::Kind::userAuthenticationRequired, kAuthenticationRequired};
    if (!isSupported(*url))
        co_return transport(kUnsupportedURL);

    QNetworkRequest request(*url);
    request.setRawHeader("Authorization", bearer(endpoint.key));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    // The bearer key must not follow a redirect to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);

    ReplyWatch watch(m_network.post(request, requestBody(system, user, endpoint.model)), m_clock,
                     timeoutSeconds, kMaxReplyBytes, scope);
    // Only frame locals from here on: the client may be gone by the time the reply ends.
    ReplyWatch::Ended ended = watch.ended();
    const ReplyWatch::Outcome outcome = co_await ended;
    co_return withoutKey(interpret(outcome), endpoint.key);
}

bool ChatClient::warmUp(const ProviderSettings& settings)
{
    const double now = m_clock.uptime();
    if (m_lastWarm && now - *m_lastWarm <= kWarmInterval)
        return false;
    const std::optional<QUrl> url = joinedURL(settings.providerBaseURL(), u"/models");
    if (!url || !isSupported(*url))
        return false;
    m_lastWarm = now;

    QNetworkRequest request(*url);
    request.setRawHeader("Authorization", bearer(settings.providerKey().value_or(QString())));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    QNetworkReply* reply = m_network.get(request);
    // The timer dies with the reply, and the reply goes once it has ended.
    auto timer = std::make_shared<Timer>(
        m_clock.singleShot(kWarmTimeout, reply, [reply] { reply->abort(); }));
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, timer] {
        timer->cancel();
        reply->deleteLater();
    });
    return true;
}

} // namespace quillet
