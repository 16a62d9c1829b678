// A smoke test of the chat service simulator that the client and command tests trust.

#include "ChatSimulator.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace quillet::chatsim;

class ChatSimulatorTest : public QObject {
    Q_OBJECT
private slots:
    void answersFromAScriptAndLogs()
    {
        QString error;
        const auto script =
            Script::fromJson(R"({"chat":[{"status":401,"body":"no","headers":{"X-A":"1"}}],)"
                             R"("chatDefault":{"content":"hi"}})",
                             &error);
        QVERIFY2(script, qPrintable(error));
        QVERIFY(!Script::fromJson(R"({"chat":[{"content":3}]})", &error));

        QTemporaryDir dir;
        ChatSimulator sim(*script);
        QVERIFY(sim.setLogFile(dir.filePath("log.jsonl")));
        QVERIFY(sim.listen());
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, sim.port());
        QVERIFY(socket.waitForConnected(10000));
        const QByteArray post = "POST /v1/chat/completions HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}";
        socket.write(post + post + "GET /elsewhere HTTP/1.1\r\n\r\n");
        QByteArray received;
        QTRY_VERIFY_WITH_TIMEOUT((received += socket.readAll()).count("HTTP/1.1 ") == 3, 10000);
        QVERIFY(received.startsWith("HTTP/1.1 401 "));
        QVERIFY(received.contains("\r\nX-A: 1\r\n"));
        QVERIFY(received.contains(R"("content":"hi")"));
        QVERIFY(received.contains("HTTP/1.1 404 "));
        QCOMPARE(sim.requests().size(), 3);

        QFile log(dir.filePath("log.jsonl"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
        QCOMPARE(first["path"].toString(), QString("/v1/chat/completions"));
        QCOMPARE(first["body"].toString(), QString("{}"));
    }
};

QTEST_GUILESS_MAIN(ChatSimulatorTest)
#include "ChatSimulatorTest.moc"
