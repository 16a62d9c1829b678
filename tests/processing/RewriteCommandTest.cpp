// `quillet rewrite` end to end: the real binary, the chat service simulator on loopback, the
// user's data files in a private data folder.

#include "processing/Prompt.h"
#include "store/BuiltInModes.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quillet;

namespace {

const QString kKey = QStringLiteral("sk-cli-4hQ7secret");
constexpr int kWaitMs = 60000;

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class RewriteCommandTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_sim;
    QString m_baseURL;

    QString logPath() const { return m_dir.filePath("requests.jsonl"); }

    QList<QJsonObject> loggedRequests() const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<QJsonObject> lines;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty())
                lines << QJsonDocument::fromJson(line).object();
        }
        return lines;
    }

    Run quillet(const QStringList& args, const QByteArray& input = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        env.insert("CEREBRAS_API_KEY", kKey);
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("QUILLET_BINARY"),
                      QStringList{"-baseURL.cerebras", m_baseURL} + args);
        if (!process.waitForStarted(kWaitMs))
            return {};
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(kWaitMs))
            process.kill();
        return Run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                   QString::fromUtf8(process.readAllStandardOutput()),
                   QString::fromUtf8(process.readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(m_dir.filePath("data/Quillet")));
        QFile vocabulary(m_dir.filePath("data/Quillet/vocabulary.json"));
        QVERIFY(vocabulary.open(QIODevice::WriteOnly));
        vocabulary.write(R"({"terms":["OpenAI","Kubernetes"],)"
                         R"("replacements":[{"from":"open ai","to":"OpenAI"}]})");
        vocabulary.close();

        m_sim.setProgram(qEnvironmentVariable("QUILLET_TEST_TOOLS") + "/chatsim/chatsim");
        m_sim.setArguments(
            {"--log", logPath(), "--content", "  Rewritten by the simulator.\n", "--watch-stdin"});
        m_sim.start();
        QVERIFY(m_sim.waitForStarted(kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(m_sim.canReadLine(), kWaitMs);
        const QByteArray first = m_sim.readLine().trimmed();
        QVERIFY(first.startsWith("PORT "));
        m_baseURL = QStringLiteral("http://127.0.0.1:%1/v1").arg(QString::fromLatin1(first.mid(5)));
    }

    void cleanupTestCase()
    {
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.kill();
            m_sim.waitForFinished(kWaitMs);
        }
    }

    void sendsTheRequestAndPrintsTheReply()
    {
        const Run run =
            quillet({"rewrite", "--mode", "write", "--app", "Notes"}, "we use open ai today\n");
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QString("Rewritten by the simulator.\n"));

        const QList<QJsonObject> requests = loggedRequests();
        QCOMPARE(requests.size(), 1);
        const QJsonObject r = requests.first();
        QCOMPARE(r["method"].toString(), QString("POST"));
        QCOMPARE(r["path"].toString(), QString("/v1/chat/completions"));
        QCOMPARE(r["headers"]["authorization"].toString(), "Bearer " + kKey);
        QCOMPARE(r["headers"]["content-type"].toString(), QString("application/json"));
        const QJsonObject body = QJsonDocument::fromJson(r["body"].toString().toUtf8()).object();
        QCOMPARE(body.size(), 4);
        QCOMPARE(body["model"].toString(), QString("qwen-3.8-27b"));
        QCOMPARE(body["temperature"].toDouble(), 0.2);
        QCOMPARE(body["max_tokens"].toInt(), 4096);
        const QJsonArray messages = body["messages"].toArray();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages[0]["role"].toString(), QString("system"));
        QCOMPARE(messages[0]["content"].toString(),
                 builtInStyle("write")->instructions + prompt::rulesBlock +
                     "\nThe result will be pasted into: Notes." +
                     "\nSpell these terms exactly like this: OpenAI, Kubernetes");
        QCOMPARE(messages[1]["role"].toString(), QString("user"));
        QCOMPARE(messages[1]["content"].toString(),
                 QString("<dictation>we use OpenAI today</dictation>"));
    }

    void cleanDefaultModeTextIsNotSent()
    {
        const Run run = quillet({"rewrite", "we", "use", "open", "ai"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QString("we use OpenAI\n"));
        QCOMPARE(loggedRequests().size(), 1); // only the earlier test's request
    }

    void withoutTheServicePrintsTheReplacedText()
    {
        m_sim.closeWriteChannel(); // the simulator leaves when its standard input closes
        QVERIFY(m_sim.waitForFinished(kWaitMs));
        const Run run = quillet({"rewrite", "--mode", "write"}, "we use open ai today\n");
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QString("we use OpenAI today\n"));
        QVERIFY(run.err.contains("text processing failed"));
        QVERIFY(!run.err.contains(kKey));
        QVERIFY(!run.out.contains(kKey));
    }

    void rejectsUnknownOptions()
    {
        const Run run = quillet({"rewrite", "--frobnicate"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(RewriteCommandTest)
#include "RewriteCommandTest.moc"
