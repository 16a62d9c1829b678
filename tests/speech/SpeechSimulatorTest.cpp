#include "SimulatorProcess.h"
#include "SpeechTestSupport.h"
#include "speech/NetworkThread.h"
#include "speech/SonioxStream.h"
#include "speech/Transcriber.h"
#include "util/Clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>
#include <QtEndian>

using namespace quillet;
using namespace quillet::test;

namespace {

constexpr int kWait = 20000;

// Audio that carries its own time: the first two samples of every millisecond hold the
// millisecond's number (low 15 bits, then the next 15), which the simulator's --timecode reads.
QByteArray timecodedAudio(qint64 fromMs, qint64 toMs)
{
    QByteArray audio((toMs - fromMs) * 32, '\0');
    for (qint64 ms = fromMs; ms < toMs; ++ms) {
        const quint16 code[2] = {quint16(ms & 0x7FFF), quint16((ms >> 15) & 0x7FFF)};
        qToLittleEndian<quint16>(code, 2, audio.data() + (ms - fromMs) * 32);
    }
    return audio;
}

void sendInChunks(Transcriber& transcriber, const QByteArray& audio, qsizetype chunk = 682)
{
    for (qsizetype at = 0; at < audio.size(); at += chunk)
        transcriber.send(audio.mid(at, chunk));
}

QString words(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QStringLiteral("w%1").arg(i);
    return list.join(QLatin1Char(' '));
}

} // namespace

class SpeechSimulatorTest : public QObject {
    Q_OBJECT
private slots:
    void checksKeyAndConfiguration_data();
    void checksKeyAndConfiguration();
    void fullSession();
    void interruptionsKeepEveryFinalisedWord_data();
    void interruptionsKeepEveryFinalisedWord();
    void stallSwitchesSession();

private:
    std::shared_ptr<Transcriber> transcriber(const SimulatorProcess& sim,
                                             const std::shared_ptr<CallbackLog>& reports,
                                             Clock* clock = nullptr,
                                             SpeechStream::Options options = {})
    {
        return Transcriber::create(
            []() -> QCoro::Task<Result<QString>> { co_return Result<QString>("sim-key"); },
            SonioxStream::factory(m_network, {sim.url(), QStringLiteral("stt-rt-v5")},
                                  clock ? *clock : m_clock),
            std::move(options), CallbackLog::forTranscriber(reports), clock ? *clock : m_clock);
    }
    NetworkThread m_network;
    SystemClock m_clock;
};

void SpeechSimulatorTest::checksKeyAndConfiguration_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<bool>("binaryFirst");
    QTest::addColumn<int>("errorCode");
    const QByteArray good = R"("model":"stt-rt-v5","audio_format":"pcm_s16le","sample_rate":16000,)"
                            R"("num_channels":1,"language_hints":["en"])";
    QTest::newRow("key in header only")
        << QByteArray("Bearer right") << "{" + good + "}" << false << 0;
    QTest::newRow("key in message only")
        << QByteArray() << R"({"api_key":"right",)" + good + "}" << false << 0;
    QTest::newRow("wrong key in message")
        << QByteArray() << R"({"api_key":"wrong",)" + good + "}" << false << 401;
    QTest::newRow("no key") << QByteArray() << "{" + good + "}" << false << 401;
    QTest::newRow("wrong audio format")
        << QByteArray("Bearer right")
        << QByteArray(R"({"model":"m","audio_format":"wav","sample_rate":16000,"num_channels":1})")
        << false << 400;
    QTest::newRow("audio before configuration")
        << QByteArray("Bearer right") << QByteArray(640, '\0') << true << 400;
}

void SpeechSimulatorTest::checksKeyAndConfiguration()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, first);
    QFETCH(bool, binaryFirst);
    QFETCH(int, errorCode);
    SimulatorProcess sim;
    QVERIFY(sim.start({"--words", "one two", "--ms-per-word", "10", "--key", "right"}));
    QWebSocket socket;
    QSignalSpy connected(&socket, &QWebSocket::connected);
    QSignalSpy disconnected(&socket, &QWebSocket::disconnected);
    QSignalSpy received(&socket, &QWebSocket::textMessageReceived);
    QNetworkRequest request(sim.url());
    if (!header.isEmpty())
        request.setRawHeader("Authorization", header);
    socket.open(request);
    QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 1, kWait);
    if (binaryFirst)
        socket.sendBinaryMessage(first);
    else
        socket.sendTextMessage(QString::fromUtf8(first));
    socket.sendBinaryMessage(QByteArray(640, '\0'));
    QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty(), kWait);
    const QJsonObject response =
        QJsonDocument::fromJson(received.first().first().toString().toUtf8()).object();
    if (errorCode == 0) {
        QVERIFY(!response.contains("error_code"));
        QVERIFY(response.contains("final_audio_proc_ms"));
        QCOMPARE(response.value("total_audio_proc_ms").toInt(), 20);
        QVERIFY(disconnected.isEmpty());
    } else {
        QCOMPARE(response.value("error_code").toInt(), errorCode);
        QVERIFY(!response.value("error_message").toString().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(disconnected.size(), 1, kWait);
        QCOMPARE(socket.closeCode(), QWebSocketProtocol::CloseCodeNormal);
    }
}

void SpeechSimulatorTest::fullSession()
{
    SimulatorProcess sim;
    QVERIFY(sim.start(
        {"--words", "hello world from quillet", "--ms-per-word", "300", "--key", "sim-key"}));
    auto reports = std::make_shared<CallbackLog>();
    SpeechStream::Options options;
    options.languages = {QStringLiteral("en")};
    options.terms = {QStringLiteral("Quillet")};
    auto t = transcriber(sim, reports, nullptr, options);
    const QByteArray audio(64000, '\0');
    sendInChunks(*t, audio);
    QTRY_VERIFY_WITH_TIMEOUT(reports->last("update").startsWith("hello world from"), kWait);
    Pending<Transcript> finish(t->finish());
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value().text, QStringLiteral("hello world from quillet"));
    QCOMPARE(reports->count("error"), 0);

    QTRY_COMPARE_WITH_TIMEOUT(sim.log("closed").size(), 1, kWait);
    QCOMPARE(sim.log("closed").first().value("code").toInt(), 1000);
    const auto connects = sim.log("connect");
    QCOMPARE(connects.size(), 1);
    QVERIFY(connects.first().value("authorization").toBool());
    QCOMPARE(connects.first().value("path").toString(), QStringLiteral("/transcribe-websocket"));
    const QJsonObject config = sim.log("config").first().value("config").toObject();
    QCOMPARE(config.value("api_key").toString(), QStringLiteral("<redacted>"));
    QCOMPARE(config.value("language_hints").toArray(), QJsonArray({"en"}));
    QCOMPARE(config.value("context").toObject().value("terms").toArray(), QJsonArray({"Quillet"}));
    qint64 bytes = 0;
    for (const auto& entry : sim.log("audio")) {
        QCOMPARE(entry.value("offset").toInteger(), bytes);
        bytes += entry.value("bytes").toInteger();
        QVERIFY(entry.value("bytes").toInteger() >= Transcriber::frameThreshold ||
                bytes == audio.size());
    }
    QCOMPARE(bytes, audio.size());
    QCOMPARE(sim.log("text").size(), 1);
    QCOMPARE(sim.log("text").first().value("text").toString(),
             QStringLiteral("{\"type\":\"finalize\"}"));
    // The key never reaches the simulator's log.
    QFile log(sim.logPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(!log.readAll().contains("sim-key"));
}

void SpeechSimulatorTest::interruptionsKeepEveryFinalisedWord_data()
{
    QTest::addColumn<QStringList>("interruption");
    QTest::addColumn<int>("wordCount");
    QTest::addColumn<int>("msPerWord");
    QTest::addColumn<int>("drops");
    QTest::addColumn<QString>("serviceError");
    const QStringList threeDrops = {"--drop-at-ms", "2000", "--drop-connections", "1,2,3"};
    // With time codes the simulator recognises replayed audio by its content; without, it
    // trusts the client to resume where the finals stopped.
    QTest::newRow("three drops, timecoded audio")
        << threeDrops + QStringList{"--timecode"} << 24 << 250 << 3 << QString();
    QTest::newRow("three drops, plain audio") << threeDrops << 24 << 250 << 3 << QString();
    QTest::newRow("service error 503")
        << QStringList{"--timecode", "--error-at-ms",       "1000", "--error-code",
                       "503",        "--error-connections", "1"}
        << 10 << 200 << 0 << "Soniox 503: Simulated service error.";
}

void SpeechSimulatorTest::interruptionsKeepEveryFinalisedWord()
{
    QFETCH(QStringList, interruption);
    QFETCH(int, wordCount);
    QFETCH(int, msPerWord);
    QFETCH(int, drops);
    QFETCH(QString, serviceError);
    SimulatorProcess sim;
    QVERIFY(sim.start(
        QStringList{"--words", words(wordCount), "--ms-per-word", QString::number(msPerWord)} +
        interruption));
    auto reports = std::make_shared<CallbackLog>();
    auto t = transcriber(sim, reports);
    sendInChunks(*t, timecodedAudio(0, (wordCount + 4) * msPerWord));
    const int reconnects = std::max(drops, 1);
    QTRY_COMPARE_WITH_TIMEOUT(t->reconnects(), reconnects, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(reports->last("update").endsWith(QString::number(wordCount - 1)),
                             kWait);
    Pending<Transcript> finish(t->finish());
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value().text, words(wordCount));
    QCOMPARE(reports->count("error"), 0);
    QCOMPARE(reports->count("log"), reconnects);
    if (!serviceError.isEmpty())
        QCOMPARE(reports->last("log"), serviceError);

    // Each fresh session resumed exactly where the previous one's finals ended.
    const auto dropped = sim.log("drop");
    QCOMPARE(dropped.size(), drops);
    for (const auto& drop : dropped)
        QVERIFY(drop.value("graceful").toBool());
    const auto bases = sim.log("base");
    QCOMPARE(bases.size(), reconnects + 1);
    QCOMPARE(bases.first().value("ms").toInteger(), 0);
    for (int i = 1; i < bases.size(); ++i) {
        const qint64 base = bases.at(i).value("ms").toInteger();
        QVERIFY(base > bases.at(i - 1).value("ms").toInteger());
        QCOMPARE(base % msPerWord, 0);
    }
}

void SpeechSimulatorTest::stallSwitchesSession()
{
    SimulatorProcess sim;
    QVERIFY(sim.start({"--timecode", "--words", words(30), "--ms-per-word", "200", "--stall-at-ms",
                       "1000", "--stall-connections", "1"}));
    auto reports = std::make_shared<CallbackLog>();
    ManualClock clock;
    auto t = transcriber(sim, reports, &clock);
    const QByteArray audio = timecodedAudio(0, 6500);
    sendInChunks(*t, audio.left(6000 * 32));
    QTRY_COMPARE_WITH_TIMEOUT(sim.log("stall").size(), 1, kWait);
    // Let the answers already under way arrive and count as progress before time moves on.
    QTest::qWait(500);
    t->send(audio.mid(6000 * 32, 682));
    clock.advance(4.5);
    sendInChunks(*t, audio.mid(6000 * 32 + 682));
    QCOMPARE(t->reconnects(), 1);
    QVERIFY((*reports)("log").first().startsWith("Soniox session stalled "));
    QTRY_VERIFY_WITH_TIMEOUT(reports->last("update").endsWith("w29"), kWait);
    Pending<Transcript> finish(t->finish());
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value().text, words(30));
    // The stalled session was closed by us.
    QTRY_VERIFY_WITH_TIMEOUT(!sim.log("closed").isEmpty(), kWait);
    QCOMPARE(sim.log("closed").first().value("conn").toInt(), 1);
    QCOMPARE(sim.log("closed").first().value("code").toInt(), 1000);
}

QTEST_GUILESS_MAIN(SpeechSimulatorTest)
#include "SpeechSimulatorTest.moc"
