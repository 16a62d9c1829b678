#include "speech/SonioxStream.h"

#include "speech/NetworkThread.h"
#include "speech/SonioxResponse.h"
#include "util/Clock.h"

#include <QCoroFuture>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QPointer>
#include <QWebSocket>

#include <algorithm>
#include <utility>
#include <variant>
#include <vector>

namespace quillet {

namespace {

const QString kFinalize = QStringLiteral("{\"type\":\"finalize\"}");

// How long an ending socket may wait for the service's half of the close handshake, in seconds.
constexpr double kCloseGrace = 2.0;

QString closedDescription(const QWebSocket& ws)
{
    QString text = QStringLiteral("The connection to the speech service closed (code %1)")
                       .arg(static_cast<int>(ws.closeCode()));
    if (!ws.closeReason().isEmpty())
        text += QStringLiteral(": ") + ws.closeReason();
    return text;
}

} // namespace

// The network-thread side of a stream: touched only on the network thread.
struct SonioxStream::Socket {
    explicit Socket(Clock& clock)
        : clock(clock)
    {}

    Clock& clock;
    QPointer<QWebSocket> ws;
    bool connected = false;
    bool failed = false;
    bool ending = false;
    // Messages sent before the handshake completed, in order.
    std::vector<std::variant<QString, QByteArray>> pending;

    void send(std::variant<QString, QByteArray> message)
    {
        if (failed || ending || !ws)
            return;
        if (!connected) {
            pending.push_back(std::move(message));
            return;
        }
        write(message);
    }
    void write(const std::variant<QString, QByteArray>& message)
    {
        if (const auto* text = std::get_if<QString>(&message))
            ws->sendTextMessage(*text);
        else
            ws->sendBinaryMessage(std::get<QByteArray>(message));
    }
    void flush()
    {
        for (const auto& message : pending)
            write(message);
        pending.clear();
    }
    // Closes with `code` and lets the socket go once the handshake ends or the grace runs out.
    void end(QWebSocketProtocol::CloseCode code)
    {
        if (!ws || ending)
            return;
        ending = true;
        pending.clear();
        QWebSocket* socket = ws;
        if (socket->state() != QAbstractSocket::ConnectedState) {
            // No session to close yet (still connecting, or already gone).
            socket->abort();
            socket->deleteLater();
            return;
        }
        QObject::connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
        auto grace = std::make_shared<Timer>(clock.singleShot(kCloseGrace, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        }));
        // The timer lasts as long as the socket.
        QObject::connect(socket, &QObject::destroyed, [grace] {});
        socket->close(code);
    }
};

SonioxStream::SonioxStream(NetworkThread& network, Clock& clock, bool translate,
                           Callbacks callbacks)
    : m_network(network)
    , m_clock(clock)
    , m_callbacks(std::move(callbacks))
    , m_translate(translate)
    , m_socket(std::make_shared<Socket>(clock))
    , m_lastMessage(clock.uptime())
{}

std::shared_ptr<SonioxStream> SonioxStream::create(NetworkThread& network, const Service& service,
                                                   Clock& clock, const QString& apiKey,
                                                   const Options& options, Callbacks callbacks)
{
    std::shared_ptr<SonioxStream> stream(
        new SonioxStream(network, clock, options.translateTo.has_value(), std::move(callbacks)));
    stream->open(service, apiKey, options);
    return stream;
}

SpeechStreamFactory SonioxStream::factory(NetworkThread& network, Service service, Clock& clock)
{
    return [&network, service = std::move(service),
            &clock](const QString& apiKey, const Options& options,
                    Callbacks callbacks) -> std::shared_ptr<SpeechStream> {
        return create(network, service, clock, apiKey, options, std::move(callbacks));
    };
}

QByteArray SonioxStream::configurationMessage(const QString& apiKey, const QString& model,
                                              const Options& options)
{
    QJsonObject config{
        {QStringLiteral("api_key"), apiKey},
        {QStringLiteral("model"), model},
        {QStringLiteral("audio_format"), QStringLiteral("pcm_s16le")},
        {QStringLiteral("sample_rate"), 16000},
        {QStringLiteral("num_channels"), 1},
        {QStringLiteral("language_hints"), QJsonArray::fromStringList(options.languages)},
        {QStringLiteral("enable_language_identification"), true},
        {QStringLiteral("enable_endpoint_detection"), true},
        {QStringLiteral("endpoint_latency_adjustment_level"), 1},
        {QStringLiteral("max_endpoint_delay_ms"), 1000},
    };
    if (!options.terms.isEmpty())
        config.insert(
            QStringLiteral("context"),
            QJsonObject{{QStringLiteral("terms"), QJsonArray::fromStringList(options.terms)}});
    if (options.translateTo)
        config.insert(QStringLiteral("translation"),
                      QJsonObject{{QStringLiteral("type"), QStringLiteral("one_way")},
                                  {QStringLiteral("target_language"), *options.translateTo}});
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

void SonioxStream::open(const Service& service, const QString& apiKey, const Options& options)
{
    QNetworkRequest request(service.url);
    request.setRawHeader("Authorization", "Bearer " + apiKey.toUtf8());
    const QString config = QString::fromUtf8(configurationMessage(apiKey, service.model, options));
    std::weak_ptr<SonioxStream> weak = weak_from_this();
    NetworkThread* network = &m_network;
    m_network.post([weak, socket = m_socket, network, request, config] {
        auto* ws = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, network->context());
        socket->ws = ws;
        QObject::connect(ws, &QWebSocket::connected, ws, [socket] {
            socket->connected = true;
            socket->flush();
        });
        QObject::connect(ws, &QWebSocket::textMessageReceived, ws, [weak](const QString& text) {
            if (auto self = weak.lock())
                self->receive(text.toUtf8());
        });
        QObject::connect(ws, &QWebSocket::binaryMessageReceived, ws,
                         [weak](const QByteArray& data) {
                             if (auto self = weak.lock())
                                 self->receive(data);
                         });
        // The first sign that the connection is gone is reported; the rest are not.
        auto fail = [weak, socket](const QString& description) {
            if (socket->failed)
                return;
            socket->failed = true;
            socket->connected = false;
            socket->pending.clear();
            if (auto self = weak.lock())
                self->fail({description, false});
        };
        QObject::connect(ws, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), ws,
                         [ws, fail](QAbstractSocket::SocketError) { fail(ws->errorString()); });
        QObject::connect(ws, &QWebSocket::disconnected, ws, [ws, fail] {
            fail(closedDescription(*ws));
            ws->deleteLater();
        });
        socket->pending.push_back(config);
        ws->open(request);
    });
}

SonioxStream::~SonioxStream()
{
    std::optional<QPromise<Final>> waiter;
    Final final;
    {
        QMutexLocker locker(&m_mutex);
        waiter = std::exchange(m_waiter, std::nullopt);
        final = finalLocked();
    }
    if (waiter) {
        waiter->addResult(final);
        waiter->finish();
    }
    m_network.post([socket = m_socket] { socket->end(QWebSocketProtocol::CloseCodeGoingAway); });
}

void SonioxStream::sendAudio(QByteArray frame)
{
    m_network.post([socket = m_socket, frame = std::move(frame)] { socket->send(frame); });
}

void SonioxStream::sendText(const QString& text)
{
    m_network.post([socket = m_socket, text] { socket->send(text); });
}

void SonioxStream::close()
{
    {
        QMutexLocker locker(&m_mutex);
        m_closed = true;
    }
    m_network.post([socket = m_socket] { socket->end(QWebSocketProtocol::CloseCodeNormal); });
    resolve(false);
}

SpeechStream::Progress SonioxStream::progress() const
{
    QMutexLocker locker(&m_mutex);
    return {m_finals, m_finalMs, m_totalMs};
}

QString SonioxStream::transcript() const
{
    QMutexLocker locker(&m_mutex);
    return transcriptLocked();
}

QString SonioxStream::transcriptLocked() const
{
    return (m_finals + m_tail).trimmed();
}

void SonioxStream::receive(const QByteArray& bytes)
{
    const auto response = SonioxResponse::parse(bytes, m_translate);
    if (!response)
        return;
    if (response->error) {
        fail({*response->error, true});
        return;
    }
    QString text;
    {
        QMutexLocker locker(&m_mutex);
        m_finals += response->finals;
        m_tail = response->tail;
        if (response->finalMs)
            m_finalMs = std::max(m_finalMs, *response->finalMs);
        if (response->totalMs)
            m_totalMs = std::max(m_totalMs, *response->totalMs);
        m_lastMessage = m_clock.uptime();
        m_finished = m_finished || response->finished;
        text = transcriptLocked();
    }
    if (m_callbacks.onUpdate)
        m_callbacks.onUpdate(text);
    if (response->finished)
        resolve(true);
    else if (response->fin && !m_translate)
        resolve(false);
}

void SonioxStream::fail(const Failure& failure)
{
    bool closed = false;
    {
        QMutexLocker locker(&m_mutex);
        // A stream its owner closed keeps quiet, and so does one whose service said it had
        // finished: the connection ending after that is the session's normal end.
        closed = m_closed || (m_finished && !failure.byService);
        // Otherwise the first failure is why the session ended.
        if (!closed && !m_failure)
            m_failure = failure;
    }
    if (!closed && m_callbacks.onError)
        m_callbacks.onError(failure.description);
    resolve(true);
    if (!closed)
        fireDown();
}

void SonioxStream::resolve(bool done)
{
    std::optional<QPromise<Final>> waiter;
    Final final;
    Timer check;
    {
        QMutexLocker locker(&m_mutex);
        if (done)
            m_done = true;
        waiter = std::exchange(m_waiter, std::nullopt);
        final = finalLocked();
        check = std::move(m_finishCheck);
    }
    if (waiter) {
        waiter->addResult(final);
        waiter->finish();
    }
}

void SonioxStream::fireDown()
{
    bool closed = false;
    Failure failure;
    {
        QMutexLocker locker(&m_mutex);
        if (m_downFired)
            return;
        closed = m_closed;
        m_downFired = true;
        failure = m_failure.value_or(Failure{});
    }
    if (!closed && m_callbacks.onDown)
        m_callbacks.onDown(failure);
}

QCoro::Task<SpeechStream::Final> SonioxStream::finish(double stall, double maxWait)
{
    // Keeps the stream alive until the answer is in.
    const auto self = shared_from_this();
    QFuture<Final> answer;
    std::optional<QPromise<Final>> previous;
    Final now;
    {
        QMutexLocker locker(&m_mutex);
        if (m_done)
            co_return finalLocked();
        // A second finish while one is pending: the first gets the text as it stands.
        previous = std::exchange(m_waiter, std::nullopt);
        now = finalLocked();
        QPromise<Final> promise;
        promise.start();
        answer = promise.future();
        m_waiter = std::move(promise);
        m_lastMessage = m_clock.uptime();
        m_finishCheck =
            m_clock.repeating(checkInterval, m_network.context(),
                              [weak = weak_from_this(), stall, maxWait, start = m_lastMessage] {
                                  if (const auto stream = weak.lock())
                                      stream->checkFinish(stall, maxWait, start);
                              });
    }
    if (previous) {
        previous->addResult(now);
        previous->finish();
    }
    sendText(kFinalize);
    if (m_translate)
        sendText(QString());
    co_return co_await answer;
}

void SonioxStream::checkFinish(double stall, double maxWait, double start)
{
    double last = 0;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_waiter)
            return;
        last = m_lastMessage;
    }
    const double now = m_clock.uptime();
    if (now - last > stall || now - start > maxWait)
        resolve(false);
}

} // namespace quillet
