// `quillet rewrite`, and the text processing of `quillet transcribe`, end to end: the real binary,
// the chat and speech service simulators on loopback, the user's data in a private data folder.

#include "app/CliRunner.h"
#include "tools/RequireDesktop.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace quillet;

namespace {

const QString kKey = QStringLiteral("sk-cli-4hQ7secret");
constexpr int kWaitMs = 60000;

QByteArray le32(qint64 value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

} // namespace

class RewriteCommandTest : public QObject {
    Q_OBJECT

    CliRunner m_cli;
    QTemporaryDir& m_dir = m_cli.root;
    QProcess m_sim;
    QString m_baseURL;

    QString logPath() const { return m_dir.filePath("requests.jsonl"); }

    QList<QJsonObject> loggedRequests() const
    {
        QList<QJsonObject> lines;
        for (const QByteArray& line : readFile(logPath()).split('\n')) {
            if (!line.isEmpty())
                lines << QJsonDocument::fromJson(line).object();
        }
        return lines;
    }

    // The messages of the last request: system, then user.
    std::pair<QString, QString> lastMessages() const
    {
        const QJsonObject body =
            QJsonDocument::fromJson(loggedRequests().last()["body"].toString().toUtf8()).object();
        return {body["messages"][0]["content"].toString(),
                body["messages"][1]["content"].toString()};
    }

    CliRunner::Run quillet(const QStringList& args, const QByteArray& input = {})
    {
        return m_cli.run(QStringList{"-baseURL.cerebras", m_baseURL} + args, input);
    }

private slots:
    void initTestCase()
    {
        QUILLET_REQUIRE_DESKTOP();
        QVERIFY(m_dir.isValid());
        m_cli.env.insert("CEREBRAS_API_KEY", kKey);
        m_cli.env.insert("SONIOX_API_KEY", "speech-key");
        writeFile(m_cli.dataFile("vocabulary.json"),
                  R"({"terms":["OpenAI","Kubernetes"],)"
                  R"("replacements":[{"from":"open ai","to":"OpenAI"}]})");
        const quint16 port = CliRunner::startTool(
            m_sim, "chatsim/chatsim",
            {"--log", logPath(), "--content", "  Rewritten by the simulator.\n", "--watch-stdin"});
        QVERIFY(port);
        m_baseURL = QStringLiteral("http://127.0.0.1:%1/v1").arg(port);
    }

    void cleanupTestCase()
    {
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.kill();
            m_sim.waitForFinished(kWaitMs);
        }
    }

    // The user's data, the key from the environment and the options all reach the request.
    void sendsTheRequestAndPrintsTheReply()
    {
        const auto run =
            quillet({"rewrite", "--mode", "write", "--app", "Notes"}, "we use open ai today\n");
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QString("Rewritten by the simulator.\n"));
        QCOMPARE(loggedRequests().size(), 1);
        const QJsonObject request = loggedRequests().last();
        QCOMPARE(request["headers"]["authorization"].toString(), "Bearer " + kKey);
        const auto [system, user] = lastMessages();
        QVERIFY(system.endsWith("\nThe result will be pasted into: Notes."
                                "\nSpell these terms exactly like this: OpenAI, Kubernetes"));
        QCOMPARE(user, QString("<dictation>we use OpenAI today</dictation>"));
    }

    void transcribeRewritesInTheGivenMode()
    {
        QProcess speech;
        const quint16 port =
            CliRunner::startTool(speech, "speechsim/speechsim",
                                 {"--words", "draft open ai notes", "--ms-per-word", "200"});
        QVERIFY(port);
        // One second of silence; the simulator recognises its scripted words from any audio.
        QByteArray pcm(32000, '\0');
        QByteArray wav = "RIFF" + le32(36 + pcm.size()) + "WAVEfmt " + le32(16) +
                         QByteArray("\x01\x00\x01\x00", 4) + le32(16000) + le32(32000) +
                         QByteArray("\x02\x00\x10\x00", 4) + "data" + le32(pcm.size()) + pcm;
        const QString file = writeFile(m_dir.filePath("speech.wav"), wav);
        const qsizetype before = loggedRequests().size();
        const auto run = quillet(
            {"-sonioxEndpoint", QStringLiteral("ws://127.0.0.1:%1/transcribe-websocket").arg(port),
             "-transcribePace", "0", "transcribe", file, "--mode", "write", "--app", "Notes"});
        speech.kill();
        speech.waitForFinished(kWaitMs);
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QString("Rewritten by the simulator.\n"));
        QCOMPARE(loggedRequests().size(), before + 1);
        const auto [system, user] = lastMessages();
        QCOMPARE(user, QString("<dictation>draft OpenAI notes</dictation>"));
        QVERIFY(system.contains("\nThe result will be pasted into: Notes."));
    }

    void cleanDefaultModeTextIsNotSent()
    {
        const auto run = quillet({"rewrite", "we", "use", "open", "ai"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QString("we use OpenAI\n"));
        QCOMPARE(loggedRequests().size(), 2); // only the earlier tests' requests
    }

    // An empty key, or one that would write a header of its own, is no key: nothing is sent.
    void unusableKeysAreNoKey_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("empty") << QString("");
        QTest::newRow("line break") << QString("abc\r\nX-Evil: 1");
    }
    void unusableKeysAreNoKey()
    {
        QFETCH(QString, key);
        m_cli.env.insert("CEREBRAS_API_KEY", key);
        const auto run = quillet({"rewrite", "--mode", "write"}, "we use open ai today\n");
        m_cli.env.insert("CEREBRAS_API_KEY", kKey);
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QString("we use OpenAI today\n"));
        QCOMPARE(run.err, QString("quillet: text processing failed (no API key for Cerebras); the "
                                  "text has the replacements only\n"));
        QCOMPARE(loggedRequests().size(), 2);
    }

    void withoutTheServicePrintsTheReplacedText()
    {
        m_sim.closeWriteChannel(); // the simulator leaves when its standard input closes
        QVERIFY(m_sim.waitForFinished(kWaitMs));
        const auto run = quillet({"rewrite", "--mode", "write"}, "we use open ai today\n");
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QString("we use OpenAI today\n"));
        QVERIFY(run.err.contains("text processing failed"));
        QVERIFY(!run.err.contains(kKey));
    }

    void rejectsUnknownOptions()
    {
        const auto run = quillet({"rewrite", "--frobnicate"});
        QCOMPARE(run.code, 2);
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(RewriteCommandTest)
#include "RewriteCommandTest.moc"
