// The transcriber and its sessions against the speech-service simulator on loopback: the wire
// protocol end to end, and the recovery from dropped sessions and service errors.
#include "SimulatorProcess.h"
#include "SpeechTestSupport.h"
#include "speech/NetworkThread.h"
#include "speech/SonioxStream.h"
#include "speech/Transcriber.h"
#include "util/Clock.h"

#include <QTest>
#include <QtEndian>

using namespace quillet;
using namespace quillet::test;

namespace {

constexpr int kWait = 20000;

// Audio whose every millisecond differs from every other (its first two samples hold its number),
// so the simulator places replayed audio without doubt.
QByteArray distinctAudio(qint64 ms)
{
    QByteArray audio(ms * 32, '\0');
    for (qint64 i = 0; i < ms; ++i) {
        const quint16 code[2] = {quint16(i & 0x7FFF), quint16((i >> 15) & 0x7FFF)};
        qToLittleEndian<quint16>(code, 2, audio.data() + i * 32);
    }
    return audio;
}

void sendInChunks(Transcriber& transcriber, const QByteArray& audio)
{
    for (qsizetype at = 0; at < audio.size(); at += 682)
        transcriber.send(audio.mid(at, 682));
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
    void fullSession();
    void interruptionsKeepEveryFinalisedWord_data();
    void interruptionsKeepEveryFinalisedWord();

private:
    std::shared_ptr<Transcriber> transcriber(const SimulatorProcess& sim,
                                             const std::shared_ptr<CallbackLog>& reports)
    {
        return Transcriber::create(
            []() -> QCoro::Task<Result<QString>> { co_return Result<QString>("sim-key"); },
            SonioxStream::factory(m_network, {sim.url(), QStringLiteral("stt-rt-v5")}, m_clock), {},
            CallbackLog::forTranscriber(reports), m_clock);
    }
    NetworkThread m_network;
    SystemClock m_clock;
};

void SpeechSimulatorTest::fullSession()
{
    SimulatorProcess sim;
    QVERIFY(sim.start(
        {"--words", "hello world from quillet", "--ms-per-word", "300", "--key", "sim-key"}));
    auto reports = std::make_shared<CallbackLog>();
    auto t = transcriber(sim, reports);
    const QByteArray audio(64000, '\0');
    sendInChunks(*t, audio);
    QTRY_VERIFY_WITH_TIMEOUT(reports->last("update").startsWith("hello world from"), kWait);
    Pending<Transcript> finish(t->finish());
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value().text, QStringLiteral("hello world from quillet"));
    QCOMPARE(finish.value().outcome, Transcript::Outcome::complete);
    QCOMPARE(reports->count("error"), 0);

    QTRY_COMPARE_WITH_TIMEOUT(sim.log("closed").size(), 1, kWait);
    QCOMPARE(sim.log("closed").first().value("code").toInt(), 1000);
    QCOMPARE(sim.log("connect").size(), 1);
    // Frames of at least 60 ms, in order, then only the finalize.
    qint64 bytes = 0;
    for (const auto& entry : sim.log("audio")) {
        QCOMPARE(entry.value("offset").toInteger(), bytes);
        bytes += entry.value("bytes").toInteger();
        QVERIFY(entry.value("bytes").toInteger() >= 1920 || bytes == audio.size());
    }
    QCOMPARE(bytes, audio.size());
    QCOMPARE(sim.log("text").size(), 1);
    QCOMPARE(sim.log("text").first().value("text").toString(),
             QStringLiteral("{\"type\":\"finalize\"}"));
}

void SpeechSimulatorTest::interruptionsKeepEveryFinalisedWord_data()
{
    QTest::addColumn<QStringList>("interruption");
    QTest::addColumn<int>("wordCount");
    QTest::addColumn<int>("msPerWord");
    QTest::addColumn<int>("drops");
    QTest::addColumn<QString>("serviceError");
    QTest::newRow("three drops") << QStringList{"--drop-at-ms", "2000", "--drop-connections",
                                                "1,2,3"}
                                 << 24 << 250 << 3 << QString();
    QTest::newRow("service error 503")
        << QStringList{"--error-at-ms", "1000", "--error-code", "503", "--error-connections", "1"}
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
    sendInChunks(*t, distinctAudio((wordCount + 4) * msPerWord));
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

    // Each fresh session replayed the recording from where the previous one's finals ended
    // (the simulator places the replay by its content): at a word boundary, moving on.
    QCOMPARE(sim.log("drop").size(), drops);
    const auto bases = sim.log("base");
    QCOMPARE(bases.size(), reconnects + 1);
    QCOMPARE(bases.first().value("ms").toInteger(), 0);
    for (int i = 1; i < bases.size(); ++i) {
        const qint64 base = bases.at(i).value("ms").toInteger();
        QVERIFY(base > bases.at(i - 1).value("ms").toInteger());
        QCOMPARE(base % msPerWord, 0);
    }
}

QTEST_GUILESS_MAIN(SpeechSimulatorTest)
#include "SpeechSimulatorTest.moc"
