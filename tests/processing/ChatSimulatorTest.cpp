// The chat service simulator is what the client tests trust, so its own behaviour is pinned here.

#include "ChatSimulator.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace quillet::chatsim;

namespace {

QByteArray post(const QByteArray& path, const QByteArray& body, const QByteArray& extra = {})
{
    return "POST " + path + " HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n" + extra +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// Reads, while the event loop runs, until `count` complete responses (head and Content-Length body)
// have arrived.
QList<std::pair<int, QByteArray>> readResponses(QTcpSocket& socket, int count)
{
    QList<std::pair<int, QByteArray>> responses;
    QByteArray buffer;
    QElapsedTimer timer;
    timer.start();
    while (responses.size() < count && timer.elapsed() < 30000) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end >= 0) {
            const QByteArray head = buffer.left(end);
            const qsizetype at = head.toLower().indexOf("content-length: ");
            const int length = head.mid(at + 16).split('\r').first().toInt();
            if (buffer.size() >= end + 4 + length) {
                responses.append({head.mid(9, 3).toInt(), buffer.mid(end + 4, length)});
                buffer.remove(0, end + 4 + length);
                continue;
            }
        }
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            break;
        QTest::qWait(10); // the simulator runs on this thread's event loop
        buffer += socket.readAll();
    }
    return responses;
}

} // namespace

class ChatSimulatorTest : public QObject {
    Q_OBJECT
private slots:
    void readsScripts()
    {
        QString error;
        const auto script = Script::fromJson(
            "{\"chat\":[{\"status\":401,\"body\":\"{\\\"error\\\":{}}\"},"
            R"({"content":"hi","delayMs":5}],)"
            R"("chatDefault":{"status":500,"bodyBase64":"/w=="},"models":[{"drop":true}]})",
            &error);
        QVERIFY2(script, qPrintable(error));
        QCOMPARE(script->chat.size(), 2);
        QCOMPARE(script->chat[0].status, 401);
        QCOMPARE(script->chat[0].body, QByteArray(R"({"error":{}})"));
        QCOMPARE(script->chat[1].content, std::optional<QString>("hi"));
        QCOMPARE(script->chat[1].delayMs, 5);
        QCOMPARE(script->chatDefault.body, QByteArray("\xff"));
        QVERIFY(script->models[0].drop);
        QVERIFY(!Script::fromJson("[]", &error));
        QVERIFY(!Script::fromJson(R"({"chat":{}})", &error));
        QVERIFY(!Script::fromJson(R"({"chat":[{"content":3}]})", &error));
    }

    void answersPipelinedRequestsInOrderAndLogsThem()
    {
        QTemporaryDir dir;
        ChatSimulator sim(Script{{SimulatedResponse{200, QString("one"), {}, 50, false}},
                                 {},
                                 SimulatedResponse{200, QString("two"), {}, 0, false},
                                 {}});
        QVERIFY(sim.setLogFile(dir.filePath("log.jsonl")));
        QVERIFY(sim.listen());
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, sim.port());
        QVERIFY(socket.waitForConnected(10000));
        // Both requests in one write; the first answer is delayed and must still come first.
        socket.write(
            post("/v1/chat/completions", R"({"model":"a"})", "Authorization: Bearer k\r\n") +
            post("/v1/chat/completions", R"({"model":"b"})") +
            "GET /v1/chat/completions HTTP/1.1\r\n\r\n" + "GET /v1/models HTTP/1.1\r\n\r\n" +
            "GET /elsewhere HTTP/1.1\r\n\r\n");
        const auto responses = readResponses(socket, 5);
        QCOMPARE(responses.size(), 5);
        const auto content = [](const QByteArray& body) {
            return QJsonDocument::fromJson(body)["choices"][0]["message"]["content"].toString();
        };
        QCOMPARE(responses[0].first, 200);
        QCOMPARE(content(responses[0].second), QString("one"));
        QCOMPARE(QJsonDocument::fromJson(responses[0].second)["model"].toString(), QString("a"));
        QCOMPARE(content(responses[1].second), QString("two"));
        QCOMPARE(responses[2].first, 405);
        QCOMPARE(responses[3].first, 200);
        QVERIFY(responses[3].second.contains("\"data\""));
        QCOMPARE(responses[4].first, 404);
        QCOMPARE(sim.connectionsAccepted(), 1);

        QFile log(dir.filePath("log.jsonl"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 5);
        const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
        QCOMPARE(first["seq"].toInt(), 1);
        QCOMPARE(first["method"].toString(), QString("POST"));
        QCOMPARE(first["path"].toString(), QString("/v1/chat/completions"));
        QCOMPARE(first["headers"]["authorization"].toString(), QString("Bearer k"));
        QCOMPARE(first["body"].toString(), QString(R"({"model":"a"})"));
    }

    void malformedRequestsGet400AndTheConnectionCloses()
    {
        ChatSimulator sim;
        QVERIFY(sim.listen());
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, sim.port());
        QVERIFY(socket.waitForConnected(10000));
        socket.write("NONSENSE\r\n\r\n");
        const auto responses = readResponses(socket, 1);
        QCOMPARE(responses.size(), 1);
        QCOMPARE(responses[0].first, 400);
        QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 10000);
    }
};

QTEST_GUILESS_MAIN(ChatSimulatorTest)
#include "ChatSimulatorTest.moc"
