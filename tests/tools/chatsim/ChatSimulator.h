#pragma once

#include <QByteArray>
#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <memory>
#include <optional>

namespace quillet::chatsim {

// One scripted answer.
struct SimulatedResponse {
    int status = 200;
    // When set, the body is a chat completion whose first choice carries this text.
    std::optional<QString> content{};
    // The raw body otherwise.
    QByteArray body{};
    int delayMs = 0;
    // Close the connection without answering.
    bool drop = false;
    // Extra header lines, such as the Location of a redirect.
    QList<std::pair<QByteArray, QByteArray>> headers{};
    // When set, the body is this many filler bytes instead, written as fast as the client reads.
    qint64 fillBytes = 0;
    // No Content-Length: the body ends when the simulator closes the connection.
    bool untilClose = false;
};

// What the simulator hands out, in order; when a list is used up, its default answers.
struct Script {
    QList<SimulatedResponse> chat{};
    QList<SimulatedResponse> models{};
    SimulatedResponse chatDefault{.content = QStringLiteral("Simulated reply.")};
    SimulatedResponse modelsDefault{};

    // Reads a script object: {"chat": [...], "models": [...], "chatDefault": {...},
    // "modelsDefault": {...}}; each response is {"status", "content" | "body" | "bodyBase64",
    // "delayMs", "drop", "headers": {name: value}, "fillBytes", "untilClose"}. The text of what
    // is wrong on failure.
    static std::optional<Script> fromJson(const QByteArray& json, QString* error);
};

// One request as it arrived.
struct RecordedRequest {
    QString method;
    QString path;
    QList<std::pair<QByteArray, QByteArray>> headers; // names in lower case, in arrival order
    QByteArray body;

    QByteArray header(const QByteArray& lowerName) const;
    // {"seq", "method", "path", "headers": {name: value}, "body"} on one line.
    QByteArray toJsonLine(int seq) const;
};

// An OpenAI-compatible chat service on loopback (HTTP/1.1, keep-alive, Content-Length bodies):
// POST .../chat/completions and GET .../models answer from the script, anything else 404. Every
// request is recorded, and appended to the log file when one is set, before it is answered.
class ChatSimulator : public QObject {
    Q_OBJECT
public:
    explicit ChatSimulator(Script script = {}, QObject* parent = nullptr);
    ~ChatSimulator() override;

    bool listen(quint16 port = 0);
    quint16 port() const;
    // http://127.0.0.1:<port>/v1
    QString baseURL() const;

    // Truncates the file; one JSON line per request follows.
    bool setLogFile(const QString& path);
    void setScript(Script script);

    const QList<RecordedRequest>& requests() const { return m_requests; }
    int connectionsAccepted() const { return m_connections; }

signals:
    void requestReceived(int index);

private:
    class Connection;
    void onNewConnection();
    SimulatedResponse respond(const RecordedRequest& request, QByteArray* body);

    QTcpServer m_server;
    Script m_script;
    int m_chatServed = 0;
    int m_modelsServed = 0;
    int m_connections = 0;
    QList<RecordedRequest> m_requests;
    std::unique_ptr<QFile> m_log;
};

} // namespace quillet::chatsim
