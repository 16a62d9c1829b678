#include "ScriptedServer.h"
#include "SpeechTestSupport.h"
#include "TestClock.h"
#include "speech/NetworkThread.h"
#include "speech/SonioxStream.h"
#include "store/Preferences.h"
#include "util/Clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace quillet;
using namespace quillet::test;

namespace {

constexpr int kWait = 15000;
const QString kFinalize = QStringLiteral("{\"type\":\"finalize\"}");

} // namespace

class SonioxStreamTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void configurationAndHandshake();
    void configurationVariants();
    void endpointFromPreferences();
    void transcriptFollowsResponses();
    void translationKeepsOnlyTranslatedPieces();
    void badResponsesAreIgnored();
    void errorResponseThenSocketFailure();
    void connectionRefused_data();
    void connectionRefused();
    void finishReturnsAfterFinMarker();
    void finishWithTranslationWaitsForFinished();
    void finishWithoutAnswerEndsAfterStall();
    void finishWithSteadyResponsesEndsAtLimit();
    void closeDuringFinish();
    void destructionClosesWithGoingAway();

private:
    struct Session {
        std::shared_ptr<CallbackLog> log = std::make_shared<CallbackLog>();
        std::shared_ptr<SonioxStream> stream;
    };
    Session open(ScriptedServer& server, const SonioxStream::Options& options = {},
                 const Clock& clock = SystemClock::instance(), const QString& key = "key-1");

    std::unique_ptr<NetworkThread> m_network;
};

void SonioxStreamTest::initTestCase()
{
    m_network = std::make_unique<NetworkThread>();
}

void SonioxStreamTest::cleanupTestCase()
{
    m_network.reset();
}

SonioxStreamTest::Session SonioxStreamTest::open(ScriptedServer& server,
                                                 const SonioxStream::Options& options,
                                                 const Clock& clock, const QString& key)
{
    Session s;
    const int before = server.count();
    s.stream = SonioxStream::create(*m_network, {server.url(), QStringLiteral("stt-rt-v5")}, clock,
                                    key, options, CallbackLog::attach(s.log));
    [&] {
        QTRY_COMPARE_WITH_TIMEOUT(server.count(), before + 1, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(server.connection(before).texts.size(), 1, kWait);
    }();
    return s;
}

void SonioxStreamTest::configurationAndHandshake()
{
    ScriptedServer server;
    SonioxStream::Options options;
    options.languages = {QStringLiteral("en"), QStringLiteral("es")};
    options.terms = {QStringLiteral("Quillet"), QStringLiteral("Soniox")};
    auto s = open(server, options);
    if (QTest::currentTestFailed())
        return;
    auto& c = server.connection();
    QCOMPARE(c.authorization, QByteArray("Bearer key-1"));
    QCOMPARE(c.path, QStringLiteral("/transcribe-websocket"));

    const QJsonObject config = QJsonDocument::fromJson(c.texts.first().toUtf8()).object();
    QStringList keys = config.keys();
    keys.sort();
    QCOMPARE(keys, QStringList({"api_key", "audio_format", "context", "enable_endpoint_detection",
                                "enable_language_identification",
                                "endpoint_latency_adjustment_level", "language_hints",
                                "max_endpoint_delay_ms", "model", "num_channels", "sample_rate"}));
    QCOMPARE(config["api_key"].toString(), QStringLiteral("key-1"));
    QCOMPARE(config["model"].toString(), QStringLiteral("stt-rt-v5"));
    QCOMPARE(config["audio_format"].toString(), QStringLiteral("pcm_s16le"));
    QCOMPARE(config["sample_rate"].toDouble(), 16000.0);
    QCOMPARE(config["num_channels"].toDouble(), 1.0);
    QCOMPARE(config["language_hints"].toArray(), QJsonArray({"en", "es"}));
    QCOMPARE(config["enable_language_identification"], QJsonValue(true));
    QCOMPARE(config["enable_endpoint_detection"], QJsonValue(true));
    QCOMPARE(config["endpoint_latency_adjustment_level"].toDouble(), 1.0);
    QCOMPARE(config["max_endpoint_delay_ms"].toDouble(), 1000.0);
    QCOMPARE(config["context"].toObject(),
             QJsonObject({{"terms", QJsonArray({"Quillet", "Soniox"})}}));

    // Audio goes out as binary frames, in order, after the configuration.
    s.stream->sendAudio(QByteArray(1920, 'a'));
    s.stream->sendAudio(QByteArray(32000, 'b'));
    QTRY_COMPARE_WITH_TIMEOUT(c.binaries.size(), 2, kWait);
    QCOMPARE(c.binaries[0], QByteArray(1920, 'a'));
    QCOMPARE(c.binaries[1], QByteArray(32000, 'b'));
    QCOMPARE(c.texts.size(), 1);
}

void SonioxStreamTest::configurationVariants()
{
    SonioxStream::Options plain;
    const QJsonObject a =
        QJsonDocument::fromJson(SonioxStream::configurationMessage("k", "m1", plain)).object();
    QCOMPARE(a["language_hints"].toArray(), QJsonArray());
    QVERIFY(!a.contains("context"));
    QVERIFY(!a.contains("translation"));
    QCOMPARE(a["model"].toString(), QStringLiteral("m1"));

    SonioxStream::Options translating;
    translating.translateTo = QStringLiteral("fr");
    const QByteArray bytes = SonioxStream::configurationMessage("k", "m", translating);
    QVERIFY(!bytes.contains(' ')); // compact
    const QJsonObject b = QJsonDocument::fromJson(bytes).object();
    QCOMPARE(b["translation"].toObject(),
             QJsonObject({{"type", "one_way"}, {"target_language", "fr"}}));
}

void SonioxStreamTest::endpointFromPreferences()
{
    QTemporaryDir dir;
    {
        Preferences defaults(dir.filePath("defaults.conf"));
        const auto endpoint = SonioxStream::Endpoint::fromPreferences(defaults);
        QCOMPARE(endpoint.url, QUrl("wss://stt-rt.soniox.com/transcribe-websocket"));
        QCOMPARE(endpoint.model, QStringLiteral("stt-rt-v5"));
    }
    ScriptedServer server;
    Preferences preferences(dir.filePath("test.conf"),
                            {{"sonioxEndpoint", server.url().toString()}, {"sonioxModel", "m-2"}});
    auto log = std::make_shared<CallbackLog>();
    auto stream =
        SonioxStream::create(*m_network, SonioxStream::Endpoint::fromPreferences(preferences),
                             SystemClock::instance(), "k", {}, CallbackLog::attach(log));
    QTRY_COMPARE_WITH_TIMEOUT(server.count(), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(server.connection().texts.size(), 1, kWait);
    QCOMPARE(
        QJsonDocument::fromJson(server.connection().texts.first().toUtf8())["model"].toString(),
        QStringLiteral("m-2"));
}

void SonioxStreamTest::transcriptFollowsResponses()
{
    ScriptedServer server;
    auto s = open(server);
    if (QTest::currentTestFailed())
        return;
    server.reply(R"({"tokens":[{"text":"Hel","is_final":true},{"text":"lo","is_final":true},)"
                 R"({"text":" wor","is_final":false}],"final_audio_proc_ms":2500,)"
                 R"("total_audio_proc_ms":3000})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->updatesNow().size(), 1, kWait);
    QCOMPARE(s.log->lastUpdate(), QStringLiteral("Hello wor"));
    server.reply(R"({"tokens":[{"text":" world","is_final":false}],"final_audio_proc_ms":1000,)"
                 R"("total_audio_proc_ms":2000})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->updatesNow().size(), 2, kWait);
    QCOMPARE(s.log->lastUpdate(), QStringLiteral("Hello world"));
    // Neither processed time goes back.
    QCOMPARE(s.stream->finalMs(), 2500);
    QCOMPARE(s.stream->totalMs(), 3000);
    server.reply(R"({})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->updatesNow().size(), 3, kWait);
    QCOMPARE(s.log->lastUpdate(), QStringLiteral("Hello"));
    // Markers are never text; a binary frame is parsed like a text one.
    server.replyBinary(R"({"tokens":[{"text":"<end>","is_final":true},{"text":" there",)"
                       R"("is_final":true},{"text":"<end>","is_final":false}],)"
                       R"("final_audio_proc_ms":4000,"total_audio_proc_ms":4100})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->updatesNow().size(), 4, kWait);
    QCOMPARE(s.log->lastUpdate(), QStringLiteral("Hello there"));
    QCOMPARE(s.stream->finals(), QStringLiteral("Hello there"));
    QCOMPARE(s.stream->finalMs(), 4000);
    QCOMPARE(s.stream->totalMs(), 4100);
    QVERIFY(s.log->errorsNow().isEmpty());
}

void SonioxStreamTest::translationKeepsOnlyTranslatedPieces()
{
    ScriptedServer server;
    SonioxStream::Options options;
    options.translateTo = QStringLiteral("en");
    auto s = open(server, options);
    if (QTest::currentTestFailed())
        return;
    server.reply(R"({"tokens":[{"text":"Hola","is_final":true,"translation_status":"original"},)"
                 R"({"text":"Hello","is_final":true,"translation_status":"translation"},)"
                 R"({"text":" mundo","is_final":false,"translation_status":"original"},)"
                 R"({"text":" world","is_final":false,"translation_status":"translation"}]})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->updatesNow().size(), 1, kWait);
    QCOMPARE(s.log->lastUpdate(), QStringLiteral("Hello world"));
}

void SonioxStreamTest::badResponsesAreIgnored()
{
    ScriptedServer server;
    auto s = open(server);
    if (QTest::currentTestFailed())
        return;
    server.reply(R"({"tokens":[{"text":"Good","is_final":true}],"final_audio_proc_ms":900,)"
                 R"("total_audio_proc_ms":1000})");
    server.reply("{not json");
    server.reply("[1,2,3]");
    server.reply(QByteArray(200000, '[') + QByteArray(200000, ']'));
    server.replyBinary(QByteArray("\x00\x01\x02", 3));
    // Objects that parse but carry nothing usable still count as responses.
    server.reply(R"({"tokens":[{"is_final":true},{"text":null}],"final_audio_proc_ms":-20,)"
                 R"("total_audio_proc_ms":-1,"surprise":{"deep":[1,2,3]}})");
    QByteArray huge = R"({"tokens":[{"text":" day","is_final":true}],"pad":")";
    huge += QByteArray(1 << 20, 'p') + R"("})";
    server.reply(huge);
    server.reply(R"({"tokens":"nope","final_audio_proc_ms":"5000","total_audio_proc_ms":1e300})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->updatesNow().size(), 4, kWait);
    QCOMPARE(s.log->lastUpdate(), QStringLiteral("Good day"));
    QCOMPARE(s.stream->finalMs(), 900);
    QCOMPARE(s.stream->totalMs(), 1000);
    QVERIFY(s.log->errorsNow().isEmpty());
    QCOMPARE(s.log->downsNow(), 0);
}

void SonioxStreamTest::errorResponseThenSocketFailure()
{
    ScriptedServer server;
    auto s = open(server);
    if (QTest::currentTestFailed())
        return;
    server.reply(R"({"error_code":401,"error_message":"unauthorised"})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->downsNow(), 1, kWait);
    QCOMPARE(s.log->errorsNow(), QStringList{QStringLiteral("Soniox 401: unauthorised")});
    server.drop();
    QTRY_COMPARE_WITH_TIMEOUT(s.log->errorsNow().size(), 2, kWait);
    QVERIFY(!s.log->errorsNow().at(1).isEmpty());
    QTest::qWait(200);
    QCOMPARE(s.log->downsNow(), 1);
    QCOMPARE(s.log->errorsNow().size(), 2);
    QVERIFY(s.log->updatesNow().isEmpty());
    // The session is done: finish answers at once without asking the service.
    PendingText finish(s.stream->finish(3.0, 20.0));
    QVERIFY(finish.done());
    QCOMPARE(finish.value(), QString());
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
    auto stream = SonioxStream::create(*m_network, {url, "m"}, SystemClock::instance(), "k", {},
                                       CallbackLog::attach(log));
    stream->sendAudio(QByteArray(100, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(log->downsNow(), 1, kWait);
    QCOMPARE(log->errorsNow().size(), 1);
    QTest::qWait(200);
    QCOMPARE(log->downsNow(), 1);
    QCOMPARE(log->errorsNow().size(), 1);
    // The session is over: finish answers at once.
    PendingText finish(stream->finish(3.0, 20.0));
    QVERIFY(finish.done());
}

void SonioxStreamTest::finishReturnsAfterFinMarker()
{
    ScriptedServer server;
    auto s = open(server);
    if (QTest::currentTestFailed())
        return;
    server.reply(
        R"({"tokens":[{"text":"Hello","is_final":true},{"text":" th","is_final":false}]})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->updatesNow().size(), 1, kWait);
    PendingText finish(s.stream->finish(3.0, 20.0));
    QTRY_COMPARE_WITH_TIMEOUT(server.connection().texts.size(), 2, kWait);
    QCOMPARE(server.connection().texts.at(1), kFinalize);
    QVERIFY(!finish.done());
    server.reply(
        R"({"tokens":[{"text":" there","is_final":true},{"text":"<fin>","is_final":true}]})");
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value(), QStringLiteral("Hello there"));
    // No empty end-of-audio frame without translation.
    QTest::qWait(100);
    QCOMPARE(server.connection().texts.size(), 2);
}

void SonioxStreamTest::finishWithTranslationWaitsForFinished()
{
    ScriptedServer server;
    SonioxStream::Options options;
    options.translateTo = QStringLiteral("de");
    auto s = open(server, options);
    if (QTest::currentTestFailed())
        return;
    PendingText finish(s.stream->finish(3.0, 20.0));
    QTRY_COMPARE_WITH_TIMEOUT(server.connection().texts.size(), 3, kWait);
    QCOMPARE(server.connection().texts.at(1), kFinalize);
    QCOMPARE(server.connection().texts.at(2), QString());
    server.reply(
        R"({"tokens":[{"text":"Hallo","is_final":true,"translation_status":"translation"},)"
        R"({"text":"<fin>","is_final":true}]})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->updatesNow().size(), 1, kWait);
    QTest::qWait(300);
    QVERIFY(!finish.done());
    server.reply(R"({"tokens":[],"finished":true})");
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value(), QStringLiteral("Hallo"));
}

void SonioxStreamTest::finishWithoutAnswerEndsAfterStall()
{
    ScriptedServer server;
    SharedManualClock clock;
    auto s = open(server, {}, clock);
    if (QTest::currentTestFailed())
        return;
    server.reply(R"({"tokens":[{"text":"So far","is_final":false}]})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->updatesNow().size(), 1, kWait);
    PendingText finish(s.stream->finish(3.0, 20.0));
    QTRY_COMPARE_WITH_TIMEOUT(server.connection().texts.size(), 2, kWait);
    // Several checks pass without the stall having elapsed.
    clock.advance(2.9);
    QTest::qWait(4 * SonioxStream::checkIntervalMs);
    QVERIFY(!finish.done());
    clock.advance(0.2);
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value(), QStringLiteral("So far"));
    QVERIFY(s.log->errorsNow().isEmpty());
}

void SonioxStreamTest::finishWithSteadyResponsesEndsAtLimit()
{
    ScriptedServer server;
    SharedManualClock clock;
    auto s = open(server, {}, clock);
    if (QTest::currentTestFailed())
        return;
    PendingText finish(s.stream->finish(3.0, 20.0));
    QTRY_COMPARE_WITH_TIMEOUT(server.connection().texts.size(), 2, kWait);
    // A response every 2.5 s keeps the stall timer from firing; only the limit ends the wait.
    for (int i = 1; i <= 8; ++i) {
        clock.advance(2.5);
        server.reply(R"({"tokens":[{"text":"x","is_final":true}]})");
        QTRY_COMPARE_WITH_TIMEOUT(s.log->updatesNow().size(), i, kWait);
        QVERIFY2(!finish.done(), qPrintable(QStringLiteral("ended after %1 s").arg(i * 2.5)));
    }
    clock.advance(0.5);
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value(), QStringLiteral("xxxxxxxx"));
}

void SonioxStreamTest::closeDuringFinish()
{
    ScriptedServer server;
    auto s = open(server);
    if (QTest::currentTestFailed())
        return;
    server.reply(
        R"({"tokens":[{"text":"Partial","is_final":true},{"text":" tail","is_final":false}]})");
    QTRY_COMPARE_WITH_TIMEOUT(s.log->updatesNow().size(), 1, kWait);
    PendingText finish(s.stream->finish(3.0, 20.0));
    QTRY_COMPARE_WITH_TIMEOUT(server.connection().texts.size(), 2, kWait);
    s.stream->close();
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), 1000);
    QCOMPARE(finish.value(), QStringLiteral("Partial tail"));
    QTRY_VERIFY_WITH_TIMEOUT(server.connection().disconnected, kWait);
    QCOMPARE(server.connection().closeCode, 1000);
    QTest::qWait(200);
    QVERIFY(s.log->errorsNow().isEmpty());
    QCOMPARE(s.log->downsNow(), 0);
}

void SonioxStreamTest::destructionClosesWithGoingAway()
{
    ScriptedServer server;
    auto s = open(server);
    if (QTest::currentTestFailed())
        return;
    s.stream.reset();
    QTRY_VERIFY_WITH_TIMEOUT(server.connection().disconnected, kWait);
    QCOMPARE(server.connection().closeCode, 1001);
    QCOMPARE(s.log->downsNow(), 0);
}

QTEST_GUILESS_MAIN(SonioxStreamTest)
#include "SonioxStreamTest.moc"
