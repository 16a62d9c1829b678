#include "speech/SonioxStream.h"

#include "ScriptedServer.h"
#include "SpeechTestSupport.h"
#include "speech/NetworkThread.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QTest>

using namespace quillet;
using namespace quillet::test;

namespace {

constexpr int kWait = 15000;
const QString kFinalize = QStringLiteral("{\"type\":\"finalize\"}");

QJsonObject baseConfiguration(const QString& key, const QString& model)
{
    return {{"api_key", key},
            {"model", model},
            {"audio_format", "pcm_s16le"},
            {"sample_rate", 16000},
            {"num_channels", 1},
            {"language_hints", QJsonArray()},
            {"enable_language_identification", true},
            {"enable_endpoint_detection", true},
            {"endpoint_latency_adjustment_level", 1},
            {"max_endpoint_delay_ms", 1000}};
}

// The session is over after one onDown and `errors` errors; finish answers at once.
void expectEnded(const CallbackLog& log, SonioxStream& stream, int errors)
{
    QCOMPARE(log.count("down"), 1);
    QCOMPARE(log.count("error"), errors);
    Pending<SpeechStream::Final> finish(stream.finish(3.0, 20.0));
    QVERIFY(finish.done());
    QCOMPARE(finish.value().text, QString());
}

} // namespace

class SonioxStreamTest : public QObject {
    Q_OBJECT
private slots:
    void configurationAndHandshake();
    void transcriptFollowsResponses();
    void errorResponseThenSocketFailure();
    void connectionRefused_data();
    void connectionRefused();
    void finishEnds_data();
    void finishEnds();
    void finishWithTranslationWaitsForFinished();
    void destructionClosesWithGoingAway();

private:
    struct Session {
        std::shared_ptr<CallbackLog> log = std::make_shared<CallbackLog>();
        std::shared_ptr<SonioxStream> stream;
    };
    Session open(ScriptedServer& server, const SonioxStream::Options& options = {});
    // Waits until everything the network thread was asked to do so far, the clock's calls
    // included, has run, and the answers have reached this thread.
    void drain();

    NetworkThread m_network;
    ManualClock m_clock;
};

SonioxStreamTest::Session SonioxStreamTest::open(ScriptedServer& server,
                                                 const SonioxStream::Options& options)
{
    Session s;
    s.stream = SonioxStream::create(m_network, {server.url(), QStringLiteral("stt-rt-v5")}, m_clock,
                                    "key-1", options, CallbackLog::forStream(s.log));
    // Connected and configured; otherwise the session comes back without a stream.
    if (!QTest::qWaitFor(
            [&] { return server.count() == 1 && !server.connection().texts.isEmpty(); }, kWait))
        s.stream.reset();
    return s;
}

void SonioxStreamTest::configurationAndHandshake()
{
    ScriptedServer server;
    SonioxStream::Options options;
    options.languages = {QStringLiteral("en"), QStringLiteral("es")};
    options.terms = {QStringLiteral("Quillet"), QStringLiteral("Soniox")};
    options.translateTo = QStringLiteral("fr");
    auto s = open(server, options);
    QVERIFY(s.stream);
    auto& c = server.connection();
    QCOMPARE(c.authorization, QByteArray("Bearer key-1"));
    QCOMPARE(c.path, QStringLiteral("/transcribe-websocket"));

    QJsonObject expected = baseConfiguration("key-1", "stt-rt-v5");
    expected["language_hints"] = QJsonArray({"en", "es"});
    expected["context"] = QJsonObject({{"terms", QJsonArray({"Quillet", "Soniox"})}});
    expected["translation"] = QJsonObject({{"type", "one_way"}, {"target_language", "fr"}});
    QVERIFY(!c.texts.first().contains(' ')); // compact
    QCOMPARE(QJsonDocument::fromJson(c.texts.first().toUtf8()).object(), expected);
    // Without hints, terms or target: an empty hint list and neither context nor translation.
    QCOMPARE(QJsonDocument::fromJson(SonioxStream::configurationMessage("k", "m1", {})).object(),
             baseConfiguration("k", "m1"));

    // Audio goes out as binary frames, in order, after the configuration.
    s.stream->sendAudio(QByteArray(1920, 'a'));
    s.stream->sendAudio(QByteArray(32000, 'b'));
    QTRY_COMPARE_WITH_TIMEOUT(c.binaries.size(), 2, kWait);
    QCOMPARE(c.binaries[0], QByteArray(1920, 'a'));
    QCOMPARE(c.binaries[1], QByteArray(32000, 'b'));
    QCOMPARE(c.texts.size(), 1);
}

void SonioxStreamTest::transcriptFollowsResponses()
{
    ScriptedServer server;
    auto s = open(server);
    QVERIFY(s.stream);
    server.reply(R"({"tokens":[{"text":"Hel","is_final":true},{"text":"lo","is_final":true},)"
                 R"({"text":" wor","is_final":false}],"final_audio_proc_ms":2500,)"
                 R"("total_audio_proc_ms":3000})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->last("update"), QStringLiteral("Hello wor"), kWait);
    server.reply(R"({"tokens":[{"text":" world","is_final":false}],"final_audio_proc_ms":1000,)"
                 R"("total_audio_proc_ms":2000})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->last("update"), QStringLiteral("Hello world"), kWait);
    // Neither processed time goes back.
    QCOMPARE(s.stream->progress().finalMs, 2500);
    QCOMPARE(s.stream->progress().totalMs, 3000);
    // What is not a JSON object is ignored; any object is a response, even an empty one.
    server.reply("{not json");
    server.reply(QByteArray("[1,2,3]"), true);
    server.reply(R"({})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->last("update"), QStringLiteral("Hello"), kWait);
    // Markers are never text; a binary frame is parsed like a text one.
    server.reply(R"({"tokens":[{"text":"<end>","is_final":true},{"text":" there",)"
                 R"("is_final":true},{"text":"<end>","is_final":false}],)"
                 R"("final_audio_proc_ms":4000,"total_audio_proc_ms":4100})",
                 true);
    QTRY_COMPARE_WITH_TIMEOUT(s.log->last("update"), QStringLiteral("Hello there"), kWait);
    QCOMPARE(s.stream->progress().finals, QStringLiteral("Hello there"));
    QCOMPARE(s.stream->progress().finalMs, 4000);
    QCOMPARE(s.stream->progress().totalMs, 4100);
    QCOMPARE((*s.log)("update"), QStringList({"Hello wor", "Hello world", "Hello", "Hello there"}));
    QCOMPARE(s.log->count("error"), 0);
}

void SonioxStreamTest::errorResponseThenSocketFailure()
{
    ScriptedServer server;
    auto s = open(server);
    QVERIFY(s.stream);
    server.reply(R"({"error_code":401,"error_message":"unauthorised"})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->count("down"), 1, kWait);
    QCOMPARE((*s.log)("error"), QStringList{QStringLiteral("Soniox 401: unauthorised")});
    server.drop();
    QTRY_COMPARE_WITH_TIMEOUT(s.log->count("error"), 2, kWait);
    QVERIFY(!(*s.log)("error").at(1).isEmpty());
    QCOMPARE(s.log->count("update"), 0);
    expectEnded(*s.log, *s.stream, 2);
}

void SonioxStreamTest::connectionRefused_data()
{
    QTest::addColumn<QUrl>("url");
    QUrl closedPort;
    {
        ScriptedServer gone;
        closedPort = gone.url();
    }
    QTest::newRow("nothing listening") << closedPort;
    QTest::newRow("not a WebSocket URL") << QUrl(QStringLiteral("not a url"));
    QTest::newRow("empty") << QUrl();
}

void SonioxStreamTest::connectionRefused()
{
    QFETCH(QUrl, url);
    auto log = std::make_shared<CallbackLog>();
    auto stream =
        SonioxStream::create(m_network, {url, "m"}, m_clock, "k", {}, CallbackLog::forStream(log));
    stream->sendAudio(QByteArray(100, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(log->count("down"), 1, kWait);
    expectEnded(*log, *stream, 1);
}

void SonioxStreamTest::finishEnds_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("transcript");
    QTest::newRow("after the <fin> marker")
        << QStringLiteral("fin") << QStringLiteral("Hello there");
    QTest::newRow("after a stall without answer")
        << QStringLiteral("stall") << QStringLiteral("Hello th");
    QTest::newRow("at once when closed") << QStringLiteral("close") << QStringLiteral("Hello th");
    QTest::newRow("at the time limit, answers or not")
        << QStringLiteral("limit") << QStringLiteral("Hellooooooooo");
}

void SonioxStreamTest::finishEnds()
{
    QFETCH(QString, how);
    ScriptedServer server;
    auto s = open(server);
    QVERIFY(s.stream);
    server.reply(
        R"({"tokens":[{"text":"Hello","is_final":true},{"text":" th","is_final":false}]})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->count("update"), 1, kWait);
    Pending<SpeechStream::Final> finish(s.stream->finish(3.0, 20.0));
    QTRY_COMPARE_WITH_TIMEOUT(server.connection().texts.size(), 2, kWait);
    QCOMPARE(server.connection().texts.at(1), kFinalize);
    QVERIFY(!finish.done());
    if (how == "fin") {
        server.reply(
            R"({"tokens":[{"text":" there","is_final":true},{"text":"<fin>","is_final":true}]})");
    } else if (how == "stall") {
        // Several checks pass before the stall has elapsed; the first one after it ends the wait.
        m_clock.advance(2.9);
        drain();
        QVERIFY(!finish.done());
        m_clock.advance(SonioxStream::checkInterval + 0.1);
    } else if (how == "limit") {
        // A response every 2.5 s keeps the stall from ending the wait; only the limit does.
        for (int i = 1; i <= 8; ++i) {
            m_clock.advance(2.5);
            server.reply(R"({"tokens":[{"text":"o","is_final":true}]})");
            QTRY_COMPARE_WITH_TIMEOUT(s.log->count("update"), i + 1, kWait);
            QVERIFY2(!finish.done(), qPrintable(QStringLiteral("ended after %1 s").arg(i * 2.5)));
        }
        m_clock.advance(SonioxStream::checkInterval + 0.1);
    } else {
        s.stream->close();
        QTRY_VERIFY_WITH_TIMEOUT(finish.done(), 1000);
        QTRY_VERIFY_WITH_TIMEOUT(server.connection().disconnected, kWait);
        QCOMPARE(server.connection().closeCode, 1000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QTEST(finish.value().text, "transcript");
    QCOMPARE(s.log->count("error"), 0);
    QCOMPARE(s.log->count("down"), 0);
}

void SonioxStreamTest::finishWithTranslationWaitsForFinished()
{
    ScriptedServer server;
    SonioxStream::Options options;
    options.translateTo = QStringLiteral("de");
    auto s = open(server, options);
    QVERIFY(s.stream);
    Pending<SpeechStream::Final> finish(s.stream->finish(3.0, 20.0));
    QTRY_COMPARE_WITH_TIMEOUT(server.connection().texts.size(), 3, kWait);
    QCOMPARE(server.connection().texts.at(1), kFinalize);
    QCOMPARE(server.connection().texts.at(2), QString());
    server.reply(R"({"tokens":[{"text":"Hello","is_final":true,"translation_status":"original"},)"
                 R"({"text":"Hallo","is_final":true,"translation_status":"translation"},)"
                 R"({"text":" Welt","is_final":false,"translation_status":"translation"},)"
                 R"({"text":" world","is_final":false,"translation_status":"original"},)"
                 R"({"text":"<fin>","is_final":true}]})");
    // Only the translated pieces make the transcript.
    QTRY_COMPARE_WITH_TIMEOUT(s.log->last("update"), QStringLiteral("Hallo Welt"), kWait);
    drain();
    QVERIFY(!finish.done());
    // The service finishes and closes the session: an ending, not a failure.
    server.reply(R"({"tokens":[],"finished":true})");
    server.close();
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value().text, QStringLiteral("Hallo"));
    QVERIFY(!finish.value().failure);
    QTRY_VERIFY_WITH_TIMEOUT(server.connection().disconnected, kWait);
    drain();
    QCOMPARE(s.log->count("error"), 0);
    QCOMPARE(s.log->count("down"), 0);
}

void SonioxStreamTest::destructionClosesWithGoingAway()
{
    ScriptedServer server;
    auto s = open(server);
    QVERIFY(s.stream);
    s.stream.reset();
    QTRY_VERIFY_WITH_TIMEOUT(server.connection().disconnected, kWait);
    QCOMPARE(server.connection().closeCode, 1001);
    QCOMPARE(s.log->count("down"), 0);
}

void SonioxStreamTest::drain()
{
    QSemaphore done;
    m_network.post([&done] { done.release(); });
    done.acquire();
    QCoreApplication::processEvents();
}

QTEST_GUILESS_MAIN(SonioxStreamTest)
#include "SonioxStreamTest.moc"
