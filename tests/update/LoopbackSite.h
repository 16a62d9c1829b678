#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace quillet::updatetest {

// A plain-HTTP site on loopback that serves fixed answers by path and records every request.
class LoopbackSite : public QObject {
public:
    struct Answer {
        int status = 200;
        QByteArray body;
        bool stall = false; // accept the request and never answer
    };
    struct Request {
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // lower-case names
    };

    LoopbackSite()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    QString url(const QString& path = {}) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }

    void set(const QByteArray& path, Answer answer) { m_answers[path] = std::move(answer); }
    const QList<Request>& requests() const { return m_requests; }
    int count(const QByteArray& path) const
    {
        return static_cast<int>(std::count_if(m_requests.begin(), m_requests.end(),
                                              [&](const Request& r) { return r.path == path; }));
    }

private:
    void serve(QTcpSocket* socket)
    {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray& buffer = m_buffers[socket];
            buffer += socket->readAll();
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> lines = buffer.left(end).split('\n');
            m_buffers.remove(socket);
            Request request;
            request.path = lines.value(0).split(' ').value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                           lines[i].mid(colon + 1).trimmed());
            }
            m_requests.append(request);
            const Answer answer = m_answers.value(request.path, Answer{404, "not here"});
            if (answer.stall)
                return;
            socket->write("HTTP/1.1 " + QByteArray::number(answer.status) +
                          " Status\r\nContent-Length: " + QByteArray::number(answer.body.size()) +
                          "\r\nConnection: close\r\n\r\n" + answer.body);
            socket->disconnectFromHost();
        });
    }

    QTcpServer m_server;
    QHash<QByteArray, Answer> m_answers;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<Request> m_requests;
};

} // namespace quillet::updatetest
