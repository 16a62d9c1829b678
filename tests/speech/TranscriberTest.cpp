#include "speech/Transcriber.h"

#include "FakeSpeechStream.h"
#include "SpeechTestSupport.h"
#include "speech/TextJoin.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QSemaphore>
#include <QTest>
#include <QThread>

using namespace quillet;
using namespace quillet::test;

namespace {

constexpr int kWait = 15000;

// Audio whose every byte depends on its position, so an offset error shows.
QByteArray recording(qsizetype bytes, qsizetype from = 0)
{
    QByteArray audio(bytes, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes; ++i)
        audio[i] = static_cast<char>(((from + i) * 7 + (from + i) / 251) & 0xff);
    return audio;
}

// A key the test hands over (or refuses) when it chooses.
struct KeyGate {
    std::shared_ptr<QPromise<Result<QString>>> promise =
        std::make_shared<QPromise<Result<QString>>>();

    KeyGate() { promise->start(); }
    Transcriber::KeyProvider provider()
    {
        return [future = promise->future()]() -> QCoro::Task<Result<QString>> {
            co_return co_await future;
        };
    }
    void answer(const Result<QString>& key)
    {
        promise->addResult(key);
        promise->finish();
    }
};

Transcriber::KeyProvider keyAtOnce()
{
    return []() -> QCoro::Task<Result<QString>> { co_return Result<QString>("key-1"); };
}

QList<qsizetype> sizes(const QList<QByteArray>& frames)
{
    QList<qsizetype> result;
    for (const auto& f : frames)
        result.append(f.size());
    return result;
}

} // namespace

class TranscriberTest : public QObject {
    Q_OBJECT
private slots:
    void joinText();
    void framesBeforeAndAfterTheKey();
    void withoutKey_data();
    void withoutKey();
    void updatesJoinCommittedTextOfCurrentStream();
    void dropReplaysFromLastFinalisedPoint();
    void stallSwitchesToFreshSession();
    void lagIsReported();
    void recordingIsCapped();
    void finishSendsRestAndJoins();
    void cancelDuringFinish();
    void concurrentReplayKeepsAudioInOrder();
    void finalizeFollowsAFrameUnderWay();
    void streamFailingAtOnceIsReplaced();

private:
    // A transcriber started on fake streams and a manual clock.
    struct Rig {
        explicit Rig(Transcriber::KeyProvider key = keyAtOnce(), SpeechStream::Options options = {},
                     bool answersAtOnce = true)
        {
            streams.answersAtOnce = answersAtOnce;
            transcriber = Transcriber::create(std::move(key), streams.factory(), std::move(options),
                                              CallbackLog::forTranscriber(reports), clock);
        }
        std::shared_ptr<CallbackLog> reports = std::make_shared<CallbackLog>();
        FakeStreamFactory streams;
        ManualClock clock;
        std::shared_ptr<Transcriber> transcriber;
    };
};

void TranscriberTest::joinText()
{
    QCOMPARE(quillet::joinText(" Hello \n", "\tworld "), QStringLiteral("Hello world"));
    QCOMPARE(quillet::joinText("", " world"), QStringLiteral("world"));
    QCOMPARE(quillet::joinText("Hello ", " \n "), QStringLiteral("Hello"));
    QCOMPARE(quillet::joinText("", ""), QString());
}

void TranscriberTest::framesBeforeAndAfterTheKey()
{
    KeyGate gate;
    SpeechStream::Options options;
    options.languages = {QStringLiteral("en")};
    options.translateTo = QStringLiteral("fr");
    Rig rig(gate.provider(), options);
    const QByteArray audio = recording(160000 + 682 * 7);
    for (qsizetype at = 0; at < 160000; at += 640)
        rig.transcriber->send(audio.mid(at, 640));
    QCOMPARE(rig.streams.count(), size_t(0));
    gate.answer(QStringLiteral("late-key"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.streams.count(), size_t(1), kWait);
    auto stream = rig.streams.stream(0);
    QCOMPARE(stream->apiKey, QStringLiteral("late-key"));
    QCOMPARE(stream->options.languages, QStringList{QStringLiteral("en")});
    QCOMPARE(stream->options.translateTo, std::optional<QString>(QStringLiteral("fr")));
    // What came before the key goes out in frames of one second.
    QCOMPARE(sizes(stream->state().frames), QList<qsizetype>(5, 32000));
    // Afterwards chunks are batched: a frame leaves with every third 682-byte chunk, holding
    // only new audio.
    for (int i = 0; i < 7; ++i) {
        rig.transcriber->send(audio.mid(160000 + i * 682, 682));
        QCOMPARE(stream->state().frames.size(), 5 + (i + 1) / 3);
    }
    QCOMPARE(sizes(stream->state().frames).mid(5), QList<qsizetype>({2046, 2046}));
    QCOMPARE(stream->audio(), audio.left(160000 + 2046 * 2));
}

void TranscriberTest::withoutKey_data()
{
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("key refused") << false;
    QTest::newRow("cancelled before the key") << true;
}

void TranscriberTest::withoutKey()
{
    QFETCH(bool, cancelled);
    KeyGate gate;
    Rig rig(gate.provider());
    rig.transcriber->send(recording(4000));
    if (cancelled)
        rig.transcriber->cancel();
    // Finish waits for the key, then returns at once with nothing.
    Pending<Transcript> finish(rig.transcriber->finish());
    QCoreApplication::processEvents();
    QVERIFY(!finish.done());
    gate.answer(Result<QString>::failure(QStringLiteral("No Soniox key")));
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value().text, QString());
    QCOMPARE((*rig.reports)("error"),
             cancelled ? QStringList() : QStringList{QStringLiteral("No Soniox key")});
    // The recording is still kept; no session starts.
    rig.transcriber->send(recording(4000));
    QCOMPARE(rig.transcriber->audioSize(), 8000);
    QCOMPARE(rig.streams.count(), size_t(0));
}

void TranscriberTest::updatesJoinCommittedTextOfCurrentStream()
{
    Rig rig;
    auto first = rig.streams.stream(0);
    first->update(QStringLiteral("  alone  "));
    QCOMPARE(rig.reports->last("update"), QStringLiteral("alone"));
    first->setProgress(QStringLiteral(" Hello there \n"), 0, 0);
    first->fail(QStringLiteral("gone"));
    QCOMPARE(rig.transcriber->committed(), QStringLiteral("Hello there"));
    auto second = rig.streams.stream(1);
    QVERIFY(second);
    second->update(QStringLiteral("  and more "));
    QCOMPARE(rig.reports->last("update"), QStringLiteral("Hello there and more"));
    second->update(QStringLiteral(" \n "));
    QCOMPARE(rig.reports->last("update"), QStringLiteral("Hello there"));
    // The replaced stream is no longer heard: neither its updates nor a late failure.
    const qsizetype updates = rig.reports->count("update");
    first->update(QStringLiteral("stale"));
    first->fail(QStringLiteral("late"));
    QCOMPARE(rig.reports->count("update"), updates);
    QCOMPARE(rig.streams.count(), size_t(2));
}

void TranscriberTest::dropReplaysFromLastFinalisedPoint()
{
    Rig rig;
    const QByteArray audio = recording(192000) + recording(1920, 192000);
    for (qsizetype at = 0; at < 192000; at += 640)
        rig.transcriber->send(audio.mid(at, 640));
    auto first = rig.streams.stream(0);
    QCOMPARE(first->audio(), audio.left(192000));
    first->setProgress(QStringLiteral("Hello"), 2500, 3000, QStringLiteral(" provisional"));
    first->fail(QStringLiteral("Socket closed"));

    // The fresh session hears everything after the last finalised point, in 1 s frames; the
    // finals are kept, the provisional tail is not.
    QCOMPARE((*rig.reports)("log"), QStringList{QStringLiteral("Socket closed")});
    QVERIFY((*rig.reports)("error").isEmpty());
    auto second = rig.streams.stream(1);
    QCOMPARE(sizes(second->state().frames), QList<qsizetype>({32000, 32000, 32000, 16000}));
    QCOMPARE(second->audio(), audio.mid(80000, 112000));
    QCOMPARE(rig.transcriber->committed(), QStringLiteral("Hello"));
    QCOMPARE(rig.transcriber->reconnects(), 1);

    // The next drop resumes from the new start plus that stream's finals, read in one go: a
    // response landing while the stream is replaced changes neither.
    rig.transcriber->send(audio.mid(192000));
    second->setProgress(QStringLiteral("world"), 1000, 1000);
    second->afterNextRead([&] { second->setProgress(QStringLiteral("world again"), 2000, 2000); });
    second->fail(QStringLiteral("again"));
    QCOMPARE(rig.streams.stream(2)->audio(), audio.mid(80000 + 32000));
    QCOMPARE(rig.transcriber->committed(), QStringLiteral("Hello world"));
}

void TranscriberTest::stallSwitchesToFreshSession()
{
    Rig rig;
    auto first = rig.streams.stream(0);
    first->setProgress(QStringLiteral("early"), 500, 1000);
    // 5 s sent, the service at 1 s: behind, but the stream is young.
    rig.transcriber->send(recording(160000));
    QCOMPARE(rig.streams.count(), size_t(1));
    rig.clock.advance(4.5);
    rig.transcriber->send(recording(640, 160000));
    QCOMPARE(rig.streams.count(), size_t(2));
    QVERIFY(first->state().closed);
    QCOMPARE((*rig.reports)("log"),
             QStringList{QStringLiteral(
                 "Soniox session stalled 4020 ms behind; switching to a fresh session")});
    auto second = rig.streams.stream(1);
    QCOMPARE(second->audio(), (recording(160000) + recording(640, 160000)).mid(500 * 32));
    QCOMPARE(rig.transcriber->committed(), QStringLiteral("early"));

    // The fresh stream is young again: no switch until it too is older than 4 s.
    rig.transcriber->send(recording(160000));
    QCOMPARE(rig.streams.count(), size_t(2));
    // Progress restarts the no-progress timer.
    rig.clock.advance(4.5);
    second->setProgress(QString(), 0, 100);
    rig.transcriber->send(recording(640));
    QCOMPARE(rig.streams.count(), size_t(2));
    rig.clock.advance(4.1);
    rig.transcriber->send(recording(640));
    QCOMPARE(rig.streams.count(), size_t(3));
}

void TranscriberTest::lagIsReported()
{
    Rig rig;
    rig.transcriber->send(recording(2000 * 32));
    QVERIFY(!rig.transcriber->lagging());
    rig.transcriber->send(recording(32 * 2));
    QVERIFY(rig.transcriber->lagging());
    rig.transcriber->send(recording(32));
    QCOMPARE((*rig.reports)("lag"), QStringList{"true"});
    rig.streams.stream(0)->setProgress(QString(), 1000, 1500);
    rig.transcriber->send(recording(32));
    QCOMPARE((*rig.reports)("lag"), QStringList({"true", "false"}));
    QVERIFY(!rig.transcriber->lagging());
}

void TranscriberTest::recordingIsCapped()
{
    // 600 s are kept, to the byte: the chunk that crosses the cap is cut there (it is not kept
    // whole, which would grow the reserved buffer, a copy of the whole recording).
    Rig rig;
    const QByteArray chunk = recording(64001);
    for (int i = 0; i < 301; ++i)
        rig.transcriber->send(chunk);
    QCOMPARE(rig.transcriber->audioSize(), 19'200'000);
    auto first = rig.streams.stream(0);
    QCOMPARE(first->audio().size(), 301 * 64001);
    // A replacement beyond the cap resumes at most up to the cap.
    first->setProgress(QStringLiteral("long"), 700'000, 700'000);
    first->fail(QStringLiteral("drop"));
    QCOMPARE(rig.streams.stream(1)->audio().size(), 0);
    rig.transcriber->send(recording(1920));
    QCOMPARE(rig.streams.stream(1)->audio().size(), 1920);
}

void TranscriberTest::finishSendsRestAndJoins()
{
    Rig rig;
    auto first = rig.streams.stream(0);
    first->setProgress(QStringLiteral("One"), 0, 0);
    first->fail(QStringLiteral("drop"));
    auto second = rig.streams.stream(1);
    second->setProgress(QStringLiteral(" two "), 0, 0, QStringLiteral("three"));
    rig.transcriber->send(recording(1000));
    QVERIFY(second->state().frames.isEmpty());
    Pending<Transcript> finish(rig.transcriber->finish());
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value().text, QStringLiteral("One two three"));
    QCOMPARE(sizes(second->state().frames), QList<qsizetype>{1000});
    QCOMPARE(second->state().finishes, (QList<std::pair<double, double>>{{3.0, 20.0}}));
    QVERIFY(second->state().closed);
    // Nothing follows the finalize.
    rig.transcriber->send(recording(1920));
    QCOMPARE(sizes(second->state().frames), QList<qsizetype>{1000});
    // Once ended, a failure starts no session.
    second->fail(QStringLiteral("late"));
    QCOMPARE(rig.streams.count(), size_t(2));
}

void TranscriberTest::cancelDuringFinish()
{
    Rig rig(keyAtOnce(), {}, false);
    auto stream = rig.streams.stream(0);
    stream->setProgress(QStringLiteral("Collected"), 0, 0, QStringLiteral(" so far"));
    Pending<Transcript> finish(rig.transcriber->finish());
    QTRY_COMPARE_WITH_TIMEOUT(stream->state().finishes.size(), 1, kWait);
    QVERIFY(!finish.done());
    rig.transcriber->cancel();
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QCOMPARE(finish.value().text, QStringLiteral("Collected so far"));
    QVERIFY(stream->state().closed);
    QVERIFY((*rig.reports)("error").isEmpty());
}

void TranscriberTest::concurrentReplayKeepsAudioInOrder()
{
    // The audio thread keeps sending while the stream is replaced: the fresh stream must hear
    // the recording from its start point exactly once and in order.
    Rig rig;
    const QByteArray audio = recording(682 * 3000);
    QAtomicInt sent = 0;
    std::unique_ptr<QThread> audioThread(QThread::create([&] {
        for (int i = 0; i < 3000; ++i) {
            rig.transcriber->send(audio.mid(i * 682, 682));
            sent.storeRelaxed(i + 1);
        }
    }));
    audioThread->start();
    QTRY_VERIFY_WITH_TIMEOUT(sent.loadRelaxed() > 500, kWait);
    rig.streams.stream(0)->fail(QStringLiteral("drop"));
    QVERIFY(audioThread->wait(kWait));
    auto second = rig.streams.stream(1);
    QVERIFY(second);
    Pending<Transcript> finish(rig.transcriber->finish());
    QTRY_VERIFY_WITH_TIMEOUT(finish.done(), kWait);
    QVERIFY(second->audio() == audio);
}

void TranscriberTest::finalizeFollowsAFrameUnderWay()
{
    // The audio thread has taken a frame and is handing it to the socket when finish() begins:
    // the finalize must not overtake it.
    Rig rig;
    auto stream = rig.streams.stream(0);
    QSemaphore entered;
    QSemaphore release;
    stream->beforeSend([&] {
        if (QThread::currentThread() == qApp->thread())
            return;
        entered.release();
        // Held until the test lets go; a finish that waits for it lets go by itself.
        release.tryAcquire(1, 200);
    });
    std::unique_ptr<QThread> audioThread(
        QThread::create([&] { rig.transcriber->send(recording(1920)); }));
    audioThread->start();
    QVERIFY(entered.tryAcquire(1, kWait));
    Pending<Transcript> finish(rig.transcriber->finish());
    release.release();
    QVERIFY(audioThread->wait(kWait));
    QTRY_VERIFY(finish.done());
    QCOMPARE(stream->state().framesAtFinish, 1);
}

void TranscriberTest::streamFailingAtOnceIsReplaced()
{
    // The first session fails on the network thread while it is still being made.
    FakeStreamFactory streams;
    std::unique_ptr<QThread> network;
    streams.onMade = [&](FakeSpeechStream& stream) {
        if (network)
            return;
        network.reset(QThread::create([&stream] { stream.fail("Connection refused"); }));
        network->start();
        // A failure report that waits for the transcriber is let through when the factory returns.
        network->wait(200);
    };
    ManualClock clock;
    auto reports = std::make_shared<CallbackLog>();
    auto transcriber = Transcriber::create(keyAtOnce(), streams.factory(), {},
                                           CallbackLog::forTranscriber(reports), clock);
    QVERIFY(network->wait(kWait));
    QCOMPARE(streams.count(), size_t(2));
    QCOMPARE(transcriber->reconnects(), 1);
}

QTEST_GUILESS_MAIN(TranscriberTest)
#include "TranscriberTest.moc"
