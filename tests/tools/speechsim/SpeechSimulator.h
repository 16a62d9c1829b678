#pragma once

#include "SimOptions.h"

#include <QFile>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocketServer>

#include <memory>
#include <optional>
#include <vector>

class QWebSocket;

namespace quillet::sim {

// A stand-in for the real-time speech service on loopback. Each connection must open with the
// configuration message; audio then advances the connection's clock and the scripted words are
// reported as they are "heard": first provisional, then final. See main.cpp for the behaviour of
// each option.
class SpeechSimulator : public QObject {
    Q_OBJECT
public:
    explicit SpeechSimulator(SimOptions options, QObject* parent = nullptr);
    ~SpeechSimulator() override;

    bool listen(QString& message);
    quint16 port() const;

private:
    struct Connection;

    void accept();
    void onText(Connection& c, const QString& text);
    void onBinary(Connection& c, const QByteArray& data);
    void configure(Connection& c, const QString& text);
    void reject(Connection& c, int code, const QString& message);
    // Sends the current transcript; `everything` finalises all audio received (finalize).
    void answer(Connection& c, bool everything, bool fin, bool finished);
    bool applyFaults(Connection& c);
    // Returns whether the byte stream could be ended gracefully (else it was reset).
    static bool drop(QWebSocket& socket, QTcpSocket* tcp);
    // Where a replacement's first audio was heard before (ms of the recording); none while it
    // is ambiguous, unless `decide` (then the earliest place).
    std::optional<qint64> locate(const Connection& c, bool decide) const;
    void settle(Connection& c, bool decide);
    // Keeps audio of `c` from its byte `offset` on in the recording heard so far.
    void hear(const Connection& c, const QByteArray& data, qint64 offset);
    qint64 lagFor(const Connection& c) const;
    void log(const QString& event, const Connection& c, QJsonObject fields = {});

    SimOptions m_options;
    // Connections are accepted here and upgraded by m_server, so that each connection's TCP
    // socket stays reachable for a drop.
    QTcpServer m_tcp;
    QHash<quint16, QPointer<QTcpSocket>> m_upgrading;
    QWebSocketServer m_server;
    QFile m_log;
    std::vector<std::unique_ptr<Connection>> m_connections;
    // The recording as heard so far, across the sessions that replaced one another.
    QByteArray m_heard;
};

} // namespace quillet::sim
