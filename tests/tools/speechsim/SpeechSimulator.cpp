#include "SpeechSimulator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <cstring>
#include <optional>
#include <sys/socket.h>

namespace quillet::sim {

namespace {

constexpr qint64 kBytesPerMs = 32;
// How much of a replacement's first audio may be ambiguous before the earliest match is taken.
constexpr qsizetype kDecideBytes = 2 * 32000;

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

struct SpeechSimulator::Connection {
    int number = 0;
    QWebSocket* socket = nullptr;
    QPointer<QTcpSocket> tcp;
    QString headerKey;
    bool configured = false;
    bool translate = false;
    bool closing = false;
    bool stalled = false;
    bool finishedNormally = false;
    bool finalized = false;
    qint64 bytes = 0;
    // Absolute script time (ms) of this connection's first audio byte.
    std::optional<qint64> baseMs;
    // A replacement's first audio, until it is found in what was heard; and from where on.
    QByteArray head;
    qint64 searchFrom = 0;
    // Absolute index of the next word to report as final.
    int nextFinal = 0;
    qint64 finalMs = 0;
    qint64 totalMs = 0;
};

SpeechSimulator::SpeechSimulator(SimOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_server(QStringLiteral("speechsim"), QWebSocketServer::NonSecureMode)
{
    connect(&m_server, &QWebSocketServer::newConnection, this, &SpeechSimulator::accept);
    connect(&m_tcp, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* tcp = m_tcp.nextPendingConnection()) {
            m_upgrading.insert(tcp->peerPort(), tcp);
            m_server.handleConnection(tcp);
        }
    });
}

SpeechSimulator::~SpeechSimulator() = default;

bool SpeechSimulator::listen(QString& message)
{
    if (!m_options.logPath.isEmpty()) {
        m_log.setFileName(m_options.logPath);
        if (!m_log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            message = QStringLiteral("Cannot open the log file: ") + m_log.errorString();
            return false;
        }
    }
    if (!m_tcp.listen(QHostAddress::LocalHost, m_options.port)) {
        message = m_tcp.errorString();
        return false;
    }
    return true;
}

quint16 SpeechSimulator::port() const
{
    return m_tcp.serverPort();
}

void SpeechSimulator::log(const QString& event, const Connection& c, QJsonObject fields)
{
    if (!m_log.isOpen())
        return;
    fields.insert(QStringLiteral("event"), event);
    fields.insert(QStringLiteral("conn"), c.number);
    m_log.write(compact(fields) + '\n');
    m_log.flush();
}

void SpeechSimulator::accept()
{
    while (QWebSocket* socket = m_server.nextPendingConnection()) {
        auto connection = std::make_unique<Connection>();
        Connection& c = *connection;
        c.number = static_cast<int>(m_connections.size()) + 1;
        c.socket = socket;
        c.tcp = m_upgrading.take(socket->peerPort());
        socket->setParent(this);
        const QByteArray authorization = socket->request().rawHeader("Authorization");
        if (authorization.startsWith("Bearer "))
            c.headerKey = QString::fromUtf8(authorization.mid(7));
        m_connections.push_back(std::move(connection));
        log(QStringLiteral("connect"), c,
            {{QStringLiteral("authorization"), !authorization.isEmpty()},
             {QStringLiteral("path"), socket->requestUrl().path()}});
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, &c](const QString& text) { onText(c, text); });
        connect(socket, &QWebSocket::binaryMessageReceived, this,
                [this, &c](const QByteArray& data) { onBinary(c, data); });
        connect(socket, &QWebSocket::disconnected, this, [this, &c] {
            log(QStringLiteral("closed"), c,
                {{QStringLiteral("code"), static_cast<int>(c.socket->closeCode())}});
            c.closing = true;
            c.socket->deleteLater();
        });
    }
}

void SpeechSimulator::reject(Connection& c, int code, const QString& message)
{
    log(QStringLiteral("reject"), c,
        {{QStringLiteral("code"), code}, {QStringLiteral("message"), message}});
    c.socket->sendTextMessage(QString::fromUtf8(compact(
        {{QStringLiteral("error_code"), code}, {QStringLiteral("error_message"), message}})));
    c.closing = true;
    c.socket->close(QWebSocketProtocol::CloseCodeNormal);
}

void SpeechSimulator::configure(Connection& c, const QString& text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        log(QStringLiteral("text"), c, {{QStringLiteral("text"), text.left(2000)}});
        reject(c, 400, QStringLiteral("The first message must be a JSON configuration object."));
        return;
    }
    QJsonObject config = doc.object();
    const QString messageKey = config.value(QStringLiteral("api_key")).toString();
    QJsonObject logged = config;
    if (logged.contains(QStringLiteral("api_key")))
        logged.insert(QStringLiteral("api_key"), QStringLiteral("<redacted>"));
    log(QStringLiteral("config"), c, {{QStringLiteral("config"), logged}});

    const bool keyGiven = !messageKey.isEmpty() || !c.headerKey.isEmpty();
    const bool keyAccepted =
        m_options.key ? (messageKey == *m_options.key || c.headerKey == *m_options.key) : keyGiven;
    if (!keyAccepted) {
        reject(c, 401, QStringLiteral("Invalid API key."));
        return;
    }
    auto invalid = [&](const char* field) {
        reject(c, 400, QStringLiteral("Invalid configuration: ") + QLatin1String(field));
    };
    if (!config.value(QStringLiteral("model")).isString() ||
        config.value(QStringLiteral("model")).toString().isEmpty())
        return invalid("model");
    if (config.value(QStringLiteral("audio_format")).toString() != QLatin1String("pcm_s16le"))
        return invalid("audio_format");
    if (config.value(QStringLiteral("sample_rate")).toDouble() != 16000.0)
        return invalid("sample_rate");
    if (config.value(QStringLiteral("num_channels")).toDouble() != 1.0)
        return invalid("num_channels");
    const QJsonValue hints = config.value(QStringLiteral("language_hints"));
    if (!hints.isUndefined()) {
        if (!hints.isArray())
            return invalid("language_hints");
        for (const QJsonValue& hint : hints.toArray())
            if (!hint.isString())
                return invalid("language_hints");
    }
    const QJsonValue translation = config.value(QStringLiteral("translation"));
    if (!translation.isUndefined()) {
        const QJsonObject t = translation.toObject();
        if (t.value(QStringLiteral("type")).toString() != QLatin1String("one_way") ||
            !t.value(QStringLiteral("target_language")).isString())
            return invalid("translation");
        c.translate = true;
    }
    c.configured = true;
    // A session after one that ended normally starts a new recording; one that replaces a
    // failed session replays part of what that one heard, found by its content.
    const Connection* previous = nullptr;
    for (int i = c.number - 2; i >= 0 && !previous; --i)
        if (m_connections[static_cast<size_t>(i)]->configured)
            previous = m_connections[static_cast<size_t>(i)].get();
    if (!previous || previous->finishedNormally || !previous->baseMs) {
        m_heard.clear();
        c.baseMs = 0;
        log(QStringLiteral("base"), c, {{QStringLiteral("ms"), qint64(0)}});
    } else {
        c.searchFrom = *previous->baseMs * kBytesPerMs;
    }
}

std::optional<qint64> SpeechSimulator::locate(const Connection& c, bool decide) const
{
    // Where the head matches what was heard (or runs on past its end), at whole milliseconds;
    // the end itself, where nothing overlaps, only when nothing else matches.
    const QByteArray head = c.head.left(kDecideBytes);
    std::optional<qint64> found;
    for (qint64 at = c.searchFrom; at < m_heard.size(); at += kBytesPerMs) {
        const qint64 overlap = std::min<qint64>(head.size(), m_heard.size() - at);
        if (std::memcmp(m_heard.constData() + at, head.constData(), size_t(overlap)) != 0)
            continue;
        if (found)
            return decide ? found : std::nullopt;
        found = at / kBytesPerMs;
    }
    return found ? found : std::optional<qint64>(m_heard.size() / kBytesPerMs);
}

void SpeechSimulator::settle(Connection& c, bool decide)
{
    if (c.baseMs || !c.configured)
        return;
    c.baseMs = locate(c, decide || c.head.size() >= kDecideBytes);
    if (!c.baseMs)
        return;
    log(QStringLiteral("base"), c, {{QStringLiteral("ms"), *c.baseMs}});
    hear(c, c.head, 0);
    c.head.clear();
}

void SpeechSimulator::hear(const Connection& c, const QByteArray& data, qint64 offset)
{
    const qint64 at = *c.baseMs * kBytesPerMs + offset;
    if (m_heard.size() < at + data.size())
        m_heard.resize(at + data.size());
    std::memcpy(m_heard.data() + at, data.constData(), size_t(data.size()));
}

qint64 SpeechSimulator::lagFor(const Connection& c) const
{
    if (m_options.lagConnections.isEmpty() || m_options.lagConnections.contains(c.number))
        return m_options.lagMs;
    return 0;
}

void SpeechSimulator::onText(Connection& c, const QString& text)
{
    if (c.closing)
        return;
    if (!c.configured) {
        configure(c, text);
        return;
    }
    log(QStringLiteral("text"), c, {{QStringLiteral("text"), text.left(2000)}});
    settle(c, true);
    if (c.stalled)
        return;
    if (text.isEmpty()) {
        // End of audio: everything heard is final, then the session is complete.
        answer(c, true, false, true);
        c.finishedNormally = true;
        c.closing = true;
        c.socket->close(QWebSocketProtocol::CloseCodeNormal);
        return;
    }
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    if (message.value(QStringLiteral("type")).toString() == QLatin1String("finalize")) {
        answer(c, true, true, false);
        c.finalized = true;
        // Without translation the client ends after "<fin>"; count that as a normal end.
        c.finishedNormally = true;
    }
}

void SpeechSimulator::onBinary(Connection& c, const QByteArray& data)
{
    if (c.closing)
        return;
    if (!c.configured) {
        log(QStringLiteral("audio"), c,
            {{QStringLiteral("bytes"), data.size()}, {QStringLiteral("offset"), c.bytes}});
        reject(c, 400, QStringLiteral("Audio arrived before the configuration."));
        return;
    }
    log(QStringLiteral("audio"), c,
        {{QStringLiteral("bytes"), data.size()}, {QStringLiteral("offset"), c.bytes}});
    c.bytes += data.size();
    if (c.baseMs) {
        hear(c, data, c.bytes - data.size());
    } else {
        c.head += data;
        settle(c, false);
        // Answers wait until the replay is placed.
        if (!c.baseMs)
            return;
    }
    if (c.stalled || !applyFaults(c))
        return;
    answer(c, false, false, false);
}

bool SpeechSimulator::drop(QWebSocket& socket, QTcpSocket* tcp)
{
    // End the byte stream without a close handshake, after what was already answered: the
    // client reads every response sent so far, then the connection is simply gone. (Closing the
    // descriptor outright would reset the connection and could discard those responses.)
    socket.flush();
    const bool graceful = tcp && tcp->socketDescriptor() >= 0 &&
                          ::shutdown(static_cast<int>(tcp->socketDescriptor()), SHUT_WR) == 0;
    if (!graceful)
        socket.abort();
    QTimer::singleShot(2000, &socket, [&socket] { socket.abort(); });
    return graceful;
}

bool SpeechSimulator::applyFaults(Connection& c)
{
    const qint64 ms = c.bytes / kBytesPerMs;
    if (m_options.error.appliesTo(c.number) && ms >= *m_options.error.atMs) {
        log(QStringLiteral("error"), c, {{QStringLiteral("ms"), ms}});
        reject(c, m_options.errorCode, QStringLiteral("Simulated service error."));
        return false;
    }
    if (m_options.drop.appliesTo(c.number) && ms >= *m_options.drop.atMs) {
        c.closing = true;
        const bool graceful = drop(*c.socket, c.tcp);
        log(QStringLiteral("drop"), c,
            {{QStringLiteral("ms"), ms}, {QStringLiteral("graceful"), graceful}});
        return false;
    }
    if (m_options.stall.appliesTo(c.number) && ms >= *m_options.stall.atMs) {
        log(QStringLiteral("stall"), c, {{QStringLiteral("ms"), ms}});
        c.stalled = true;
        return false;
    }
    return true;
}

void SpeechSimulator::answer(Connection& c, bool everything, bool fin, bool finished)
{
    const qint64 receivedMs = c.bytes / kBytesPerMs;
    const qint64 processedMs =
        everything ? receivedMs : std::max<qint64>(0, receivedMs - lagFor(c));
    const qint64 base = c.baseMs.value_or(0);
    const qint64 now = base + processedMs;
    const qint64 m = m_options.msPerWord;
    const int count = static_cast<int>(m_options.words.size());
    // Words that began before this connection's audio were heard by an earlier session.
    const int first = static_cast<int>(std::min<qint64>(count, (base + m - 1) / m));
    c.nextFinal = std::max(c.nextFinal, first);

    QJsonArray tokens;
    auto addWord = [&](int i, bool isFinal) {
        const QString spacing = i == 0 ? QString() : QStringLiteral(" ");
        QJsonObject token{{QStringLiteral("text"), spacing + m_options.words[i]},
                          {QStringLiteral("is_final"), isFinal},
                          {QStringLiteral("start_ms"), i * m - base},
                          {QStringLiteral("end_ms"), (i + 1) * m - base},
                          {QStringLiteral("confidence"), 0.97}};
        if (c.translate) {
            token.insert(QStringLiteral("translation_status"), QStringLiteral("original"));
            tokens.append(token);
            const QString translated = i < m_options.translations.size()
                                           ? m_options.translations[i]
                                           : m_options.words[i].toUpper();
            token.insert(QStringLiteral("text"), spacing + translated);
            token.insert(QStringLiteral("translation_status"), QStringLiteral("translation"));
        }
        tokens.append(token);
    };
    while (c.nextFinal < count &&
           (everything ? c.nextFinal * m < now : (c.nextFinal + 1) * m <= now))
        addWord(c.nextFinal++, true);
    if (!everything)
        for (int i = c.nextFinal; i < count && i * m + m / 2 <= now; ++i)
            addWord(i, false);
    if (fin)
        tokens.append(QJsonObject{{QStringLiteral("text"), QStringLiteral("<fin>")},
                                  {QStringLiteral("is_final"), true}});

    // Audio is final up to the first word still open; silence after the script is final at once.
    qint64 finalMs = processedMs;
    if (c.nextFinal < count && !everything)
        finalMs = std::min(finalMs, c.nextFinal * m - base);
    c.finalMs = std::max(c.finalMs, finalMs);
    c.totalMs = std::max(c.totalMs, processedMs);

    QJsonObject response{{QStringLiteral("tokens"), tokens},
                         {QStringLiteral("final_audio_proc_ms"), c.finalMs},
                         {QStringLiteral("total_audio_proc_ms"), c.totalMs}};
    if (finished)
        response.insert(QStringLiteral("finished"), true);
    if (fin || finished)
        log(fin ? QStringLiteral("fin") : QStringLiteral("finished"), c,
            {{QStringLiteral("final_ms"), c.finalMs}});
    c.socket->sendTextMessage(QString::fromUtf8(compact(response)));
}

} // namespace quillet::sim
