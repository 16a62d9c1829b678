#include "ChatSimulator.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace quillet::chatsim {

namespace {

constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
constexpr qsizetype kMaxBodyBytes = 16 * 1024 * 1024;
constexpr qint64 kFillSlice = 256 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray errorBody(const QString& message, const QString& type)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("error"),
                                      QJsonObject{{QStringLiteral("message"), message},
                                                  {QStringLiteral("type"), type}}}})
        .toJson(QJsonDocument::Compact);
}

std::optional<SimulatedResponse> responseFromJson(const QJsonValue& value, QString* error)
{
    if (!value.isObject()) {
        *error = QStringLiteral("a response must be an object");
        return std::nullopt;
    }
    const QJsonObject o = value.toObject();
    SimulatedResponse r;
    r.status = o.value(QLatin1StringView("status")).toInt(200);
    r.delayMs = o.value(QLatin1StringView("delayMs")).toInt(0);
    r.drop = o.value(QLatin1StringView("drop")).toBool(false);
    r.fillBytes = o.value(QLatin1StringView("fillBytes")).toInteger(0);
    r.untilClose = o.value(QLatin1StringView("untilClose")).toBool(false);
    const QJsonObject headers = o.value(QLatin1StringView("headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        r.headers.append({it.key().toUtf8(), it.value().toString().toUtf8()});
    if (o.contains(QLatin1StringView("content"))) {
        if (!o.value(QLatin1StringView("content")).isString()) {
            *error = QStringLiteral("\"content\" must be a string");
            return std::nullopt;
        }
        r.content = o.value(QLatin1StringView("content")).toString();
    } else if (o.contains(QLatin1StringView("bodyBase64"))) {
        r.body =
            QByteArray::fromBase64(o.value(QLatin1StringView("bodyBase64")).toString().toLatin1());
    } else {
        r.body = o.value(QLatin1StringView("body")).toString().toUtf8();
    }
    return r;
}

std::optional<QList<SimulatedResponse>> listFromJson(const QJsonValue& value, QString* error)
{
    QList<SimulatedResponse> list;
    if (value.isUndefined())
        return list;
    if (!value.isArray()) {
        *error = QStringLiteral("a response list must be an array");
        return std::nullopt;
    }
    for (const QJsonValue& item : value.toArray()) {
        auto r = responseFromJson(item, error);
        if (!r)
            return std::nullopt;
        list << *r;
    }
    return list;
}

} // namespace

std::optional<Script> Script::fromJson(const QByteArray& json, QString* error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (!document.isObject()) {
        *error = parseError.error != QJsonParseError::NoError
                     ? parseError.errorString()
                     : QStringLiteral("the script must be a JSON object");
        return std::nullopt;
    }
    const QJsonObject o = document.object();
    Script script;
    auto chat = listFromJson(o.value(QLatin1StringView("chat")), error);
    auto models = listFromJson(o.value(QLatin1StringView("models")), error);
    if (!chat || !models)
        return std::nullopt;
    script.chat = *chat;
    script.models = *models;
    for (auto [key, slot] :
         {std::pair{QLatin1StringView("chatDefault"), &script.chatDefault},
          std::pair{QLatin1StringView("modelsDefault"), &script.modelsDefault}}) {
        if (!o.contains(key))
            continue;
        auto r = responseFromJson(o.value(key), error);
        if (!r)
            return std::nullopt;
        *slot = *r;
    }
    return script;
}

QByteArray RecordedRequest::header(const QByteArray& lowerName) const
{
    for (const auto& [name, value] : headers) {
        if (name == lowerName)
            return value;
    }
    return {};
}

QByteArray RecordedRequest::toJsonLine(int seq) const
{
    QJsonObject headerObject;
    for (const auto& [name, value] : headers) {
        const QString key = QString::fromLatin1(name);
        const QString text = QString::fromUtf8(value);
        headerObject.insert(key, headerObject.contains(key) ? headerObject.value(key).toString() +
                                                                  QStringLiteral(", ") + text
                                                            : text);
    }
    const QJsonObject line{
        {QStringLiteral("seq"), seq},
        {QStringLiteral("method"), method},
        {QStringLiteral("path"), path},
        {QStringLiteral("headers"), headerObject},
        {QStringLiteral("body"), QString::fromUtf8(body)},
    };
    return QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
}

// One client connection: parses requests in order and answers each before reading the next.
class ChatSimulator::Connection : public QObject {
public:
    Connection(ChatSimulator& owner, QTcpSocket* socket)
        : QObject(socket)
        , m_owner(owner)
        , m_socket(socket)
    {
        connect(socket, &QTcpSocket::readyRead, this, &Connection::process);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void process()
    {
        m_buffer += m_socket->readAll();
        while (!m_busy) {
            RecordedRequest request;
            bool keepAlive = true;
            const int parsed = parse(&request, &keepAlive);
            if (parsed == 0)
                return;
            if (parsed < 0) {
                m_buffer.clear();
                writeResponse(400,
                              errorBody(QStringLiteral("Malformed request"),
                                        QStringLiteral("invalid_request_error")),
                              false);
                return;
            }
            answer(request, keepAlive);
        }
    }

    // 1: one request taken from the buffer; 0: more bytes needed; -1: malformed.
    int parse(RecordedRequest* request, bool* keepAlive)
    {
        const qsizetype headerEnd = m_buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return m_buffer.size() > kMaxHeaderBytes ? -1 : 0;
        const QList<QByteArray> lines = m_buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/1."))
            return -1;
        request->method = QString::fromLatin1(requestLine[0]);
        request->path = QString::fromUtf8(requestLine[1]);
        *keepAlive = requestLine[2] != "HTTP/1.0";
        qint64 length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                return -1;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            request->headers.append({name, value});
            if (name == "content-length") {
                bool ok = false;
                length = value.toLongLong(&ok);
                if (!ok || length < 0 || length > kMaxBodyBytes)
                    return -1;
            } else if (name == "transfer-encoding") {
                return -1; // clients of this service send Content-Length bodies
            } else if (name == "connection") {
                if (value.toLower() == "close")
                    *keepAlive = false;
                else if (value.toLower() == "keep-alive")
                    *keepAlive = true;
            }
        }
        const qsizetype total = headerEnd + 4 + length;
        if (m_buffer.size() < total)
            return 0;
        request->body = m_buffer.mid(headerEnd + 4, length);
        m_buffer.remove(0, total);
        return 1;
    }

    void answer(const RecordedRequest& request, bool keepAlive)
    {
        QByteArray body;
        const SimulatedResponse response = m_owner.respond(request, &body);
        m_busy = true;
        QPointer<QTcpSocket> socket = m_socket;
        const bool delayed = response.delayMs > 0;
        auto send = [this, socket, response, body, keepAlive, delayed] {
            if (!socket || socket->state() != QAbstractSocket::ConnectedState)
                return;
            m_busy = false;
            if (response.drop) {
                socket->abort();
                return;
            }
            if (response.fillBytes > 0) {
                writeFiller(response);
                return; // the last answer on this connection
            }
            writeResponse(response.status, body, keepAlive && !response.untilClose,
                          response.headers, !response.untilClose);
            // Requests that arrived during the delay wait in the buffer.
            if (delayed && keepAlive && !response.untilClose)
                process();
        };
        if (delayed)
            QTimer::singleShot(response.delayMs, this, send);
        else
            send();
    }

    static QByteArray head(int status, std::optional<qint64> length, bool keepAlive,
                           const QList<std::pair<QByteArray, QByteArray>>& headers)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
                          "\r\nContent-Type: application/json\r\n";
        if (length)
            head += "Content-Length: " + QByteArray::number(*length) + "\r\n";
        for (const auto& [name, value] : headers)
            head += name + ": " + value + "\r\n";
        return head + (keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n");
    }

    void writeResponse(int status, const QByteArray& body, bool keepAlive,
                       const QList<std::pair<QByteArray, QByteArray>>& headers = {},
                       bool withLength = true)
    {
        m_socket->write(head(status, withLength ? std::optional(body.size()) : std::nullopt,
                             keepAlive, headers) +
                        body);
        if (!keepAlive)
            m_socket->disconnectFromHost();
    }

    // Streams `fillBytes` spaces a slice at a time, so that a huge body costs the simulator little.
    void writeFiller(const SimulatedResponse& response)
    {
        m_socket->write(head(response.status,
                             response.untilClose ? std::nullopt : std::optional(response.fillBytes),
                             false, response.headers));
        auto left = std::make_shared<qint64>(response.fillBytes);
        auto more = [socket = QPointer(m_socket), left] {
            while (socket && *left > 0 && socket->bytesToWrite() < kFillSlice) {
                const qint64 n = std::min(*left, kFillSlice);
                socket->write(QByteArray(n, ' '));
                *left -= n;
            }
            if (socket && *left == 0 && socket->bytesToWrite() == 0)
                socket->disconnectFromHost();
        };
        connect(m_socket, &QTcpSocket::bytesWritten, this, more);
        more();
    }

    ChatSimulator& m_owner;
    QTcpSocket* m_socket;
    QByteArray m_buffer;
    bool m_busy = false;
};

ChatSimulator::ChatSimulator(Script script, QObject* parent)
    : QObject(parent)
    , m_script(std::move(script))
{
    connect(&m_server, &QTcpServer::newConnection, this, &ChatSimulator::onNewConnection);
}

ChatSimulator::~ChatSimulator() = default;

bool ChatSimulator::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

quint16 ChatSimulator::port() const
{
    return m_server.serverPort();
}

QString ChatSimulator::baseURL() const
{
    return QStringLiteral("http://127.0.0.1:%1/v1").arg(port());
}

bool ChatSimulator::setLogFile(const QString& path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    m_log = std::move(file);
    return true;
}

void ChatSimulator::setScript(Script script)
{
    m_script = std::move(script);
    m_chatServed = 0;
    m_modelsServed = 0;
}

void ChatSimulator::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_connections;
        new Connection(*this, socket);
    }
}

SimulatedResponse ChatSimulator::respond(const RecordedRequest& request, QByteArray* body)
{
    m_requests.append(request);
    if (m_log) {
        m_log->write(request.toJsonLine(static_cast<int>(m_requests.size())));
        m_log->flush();
    }
    emit requestReceived(static_cast<int>(m_requests.size() - 1));

    const QString path = request.path.section(u'?', 0, 0);
    SimulatedResponse response;
    if (path.endsWith(u"/chat/completions")) {
        if (request.method != u"POST") {
            *body = errorBody(QStringLiteral("Use POST"), QStringLiteral("invalid_request_error"));
            return SimulatedResponse{.status = 405, .body = *body};
        }
        response = m_chatServed < m_script.chat.size() ? m_script.chat[m_chatServed]
                                                       : m_script.chatDefault;
        ++m_chatServed;
    } else if (path.endsWith(u"/models")) {
        response = m_modelsServed < m_script.models.size() ? m_script.models[m_modelsServed]
                                                           : m_script.modelsDefault;
        ++m_modelsServed;
        if (!response.content && response.body.isEmpty() && response.status == 200) {
            response.body = QByteArrayLiteral(
                R"({"object":"list","data":[{"id":"sim-model","object":"model"}]})");
        }
    } else {
        *body = errorBody(QStringLiteral("Unknown path"), QStringLiteral("not_found"));
        return SimulatedResponse{.status = 404, .body = *body};
    }

    if (!response.content) {
        *body = response.body;
        return response;
    }
    const QJsonObject requestBody = QJsonDocument::fromJson(request.body).object();
    const QJsonObject completion{
        {QStringLiteral("id"), QStringLiteral("chatcmpl-sim-%1").arg(m_requests.size())},
        {QStringLiteral("object"), QStringLiteral("chat.completion")},
        {QStringLiteral("created"), QDateTime::currentSecsSinceEpoch()},
        {QStringLiteral("model"), requestBody.value(QLatin1StringView("model"))},
        {QStringLiteral("choices"),
         QJsonArray{QJsonObject{{QStringLiteral("index"), 0},
                                {QStringLiteral("message"),
                                 QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")},
                                             {QStringLiteral("content"), *response.content}}},
                                {QStringLiteral("finish_reason"), QStringLiteral("stop")}}}},
    };
    *body = QJsonDocument(completion).toJson(QJsonDocument::Compact);
    return response;
}

} // namespace quillet::chatsim
