#pragma once

#include <QHostAddress>
#include <QList>
#include <QNetworkRequest>
#include <QUrl>
#include <QWebSocket>
#include <QWebSocketServer>

#include <memory>
#include <vector>

namespace quillet::test {

// A WebSocket server on loopback whose every answer the test writes by hand. Lives on the test's
// thread; what it received is read there too.
class ScriptedServer {
public:
    struct Connection {
        QWebSocket* socket = nullptr;
        QByteArray authorization;
        QString path;
        QStringList texts;
        QList<QByteArray> binaries;
        bool disconnected = false;
        int closeCode = -1;
    };

    ScriptedServer()
        : m_server(QStringLiteral("scripted"), QWebSocketServer::NonSecureMode)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QWebSocketServer::newConnection, &m_server, [this] {
            while (QWebSocket* socket = m_server.nextPendingConnection()) {
                auto c = std::make_shared<Connection>();
                c->socket = socket;
                c->authorization = socket->request().rawHeader("Authorization");
                c->path = socket->requestUrl().path();
                m_connections.push_back(c);
                Connection* raw = c.get();
                QObject::connect(socket, &QWebSocket::textMessageReceived, socket,
                                 [raw](const QString& text) { raw->texts.append(text); });
                QObject::connect(socket, &QWebSocket::binaryMessageReceived, socket,
                                 [raw](const QByteArray& data) { raw->binaries.append(data); });
                QObject::connect(socket, &QWebSocket::disconnected, socket, [raw] {
                    raw->disconnected = true;
                    raw->closeCode = static_cast<int>(raw->socket->closeCode());
                });
            }
        });
    }

    ~ScriptedServer()
    {
        // The sockets' handlers refer to the records; end them first.
        for (const auto& c : m_connections) {
            QObject::disconnect(c->socket, nullptr, nullptr, nullptr);
            delete c->socket;
        }
    }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    QUrl url() const
    {
        return QUrl(
            QStringLiteral("ws://127.0.0.1:%1/transcribe-websocket").arg(m_server.serverPort()));
    }
    int count() const { return static_cast<int>(m_connections.size()); }
    Connection& connection(int i = 0) { return *m_connections.at(static_cast<size_t>(i)); }
    // Sends one response, as a text frame unless `binary`.
    void reply(const QByteArray& data, bool binary = false)
    {
        QWebSocket* socket = connection().socket;
        binary ? socket->sendBinaryMessage(data) : socket->sendTextMessage(QString::fromUtf8(data));
    }
    // Ends the session the normal way, as the service does once it has finished.
    void close() { connection().socket->close(QWebSocketProtocol::CloseCodeNormal); }
    // Drops the connection without a close handshake.
    void drop() { connection().socket->abort(); }

private:
    QWebSocketServer m_server;
    std::vector<std::shared_ptr<Connection>> m_connections;
};

} // namespace quillet::test
