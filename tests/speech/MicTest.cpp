#include "speech/Mic.h"

#include "platform/FakeAudioSystem.h"
#include "util/Pending.h"

#include <QCoreApplication>
#include <QMutex>
#include <QTest>

#include <cmath>
#include <numbers>

using namespace quillet;
using namespace quillet::test;

namespace {

using Outcome = std::optional<AudioError>;

// 1024 frames of 48 kHz stereo float: a tone at rms 0.1 on both channels.
QByteArray toneBuffer(int index)
{
    QByteArray bytes(1024 * 8, Qt::Uninitialized);
    auto* f = reinterpret_cast<float*>(bytes.data());
    for (int i = 0; i < 1024; ++i) {
        const double t = (index * 1024 + i) / 48000.0;
        const auto v =
            static_cast<float>(0.1 * std::sqrt(2.0) * std::sin(2 * std::numbers::pi * 440 * t));
        f[2 * i] = v;
        f[2 * i + 1] = v;
    }
    return bytes;
}

// What reached the microphone's callbacks, in order: 'L' for a level, 'A' for audio.
struct MicLog {
    QMutex mutex;
    QByteArray order;
    std::vector<float> levels;
    std::vector<QByteArray> chunks;
    QStringList failures;

    void attach(Mic& mic)
    {
        mic.setOnLevel([this](float level) {
            QMutexLocker locker(&mutex);
            order += 'L';
            levels.push_back(level);
        });
        mic.setOnAudio([this](QByteArray chunk) {
            QMutexLocker locker(&mutex);
            order += 'A';
            chunks.push_back(std::move(chunk));
        });
        mic.setOnFailure([this](const QString& text) { failures << text; });
    }
};

qsizetype bytes(const std::vector<QByteArray>& chunks)
{
    qsizetype sum = 0;
    for (const auto& chunk : chunks)
        sum += chunk.size();
    return sum;
}

// Starts the microphone and waits for the outcome.
Outcome started(Mic& mic)
{
    Pending<Outcome> start(mic.start());
    if (!QTest::qWaitFor([&] { return start.done(); }, 5000))
        return AudioError{"test", -1, "the start never ended"};
    return start.value();
}

} // namespace

class MicTest : public QObject {
    Q_OBJECT
private slots:
    void deliversLevelThenChunk()
    {
        FakeAudioSystem system;
        Mic mic(system);
        MicLog log;
        log.attach(mic);
        QVERIFY(!started(mic));
        QVERIFY(mic.running());
        QCOMPARE(system.bufferFrames(), Mic::tapFrames);
        for (int i = 0; i < 10; ++i)
            system.feed(toneBuffer(i));

        QVERIFY(log.chunks.size() >= 8);
        QCOMPARE(log.levels.size(), log.chunks.size());
        QVERIFY(log.order.startsWith("LALA"));
        QVERIFY(!log.order.contains("LL") && !log.order.contains("AA"));
        // 16 kHz for 48 kHz: a third of the frames, less what the resampler still holds.
        QVERIFY(std::abs(bytes(log.chunks) - 10 * 682) < 600);
        QVERIFY(std::abs(log.levels.back() - 0.4f) < 0.02f);

        // Without a listener nothing is converted and no level reported.
        mic.clearCallbacks();
        mic.setOnLevel([&](float) { log.order += '!'; });
        system.feed(toneBuffer(10));
        QVERIFY(!log.order.contains('!'));
    }

    // What the resampler still holds belongs to the consumer that heard the rest of it.
    void consumerChangeHandsOnTheTail()
    {
        FakeAudioSystem system;
        Mic mic(system);
        QByteArray first;
        mic.setOnAudio([&](QByteArray chunk) { first += chunk; });
        QVERIFY(!started(mic));
        for (int i = 0; i < 30; ++i)
            system.feed(toneBuffer(i));
        mic.clearCallbacks();
        // All of it: 30 buffers of 1024 frames at 48 kHz are 10240 frames at 16 kHz.
        QVERIFY2(std::abs(first.size() - 20480) <= 4, qPrintable(QString::number(first.size())));

        // The microphone keeps running; the next consumer hears only what comes after it.
        system.feed(toneBuffer(30));
        QByteArray second;
        mic.setOnAudio([&](QByteArray chunk) { second += chunk; });
        for (int i = 0; i < 10; ++i)
            system.feed(QByteArray(1024 * 8, '\0'));
        QVERIFY(!second.isEmpty());
        QCOMPARE(second, QByteArray(second.size(), '\0'));
    }

    void startsWithoutWaiting()
    {
        FakeAudioSystem system;
        system.answersAtOnce = false;
        Mic mic(system);
        // Two starts while the server has not answered share one capture and one outcome.
        Pending<Outcome> first(mic.start());
        Pending<Outcome> second(mic.start());
        QCOMPARE(system.made(), 1);
        QVERIFY(!first.done() && !mic.running());
        system.answer();
        QTRY_VERIFY(first.done() && second.done());
        QVERIFY(!first.value() && !second.value());
        QVERIFY(mic.running());
        QVERIFY(!started(mic));
        QCOMPARE(system.made(), 1);

        // A stop while starting ends the start without an error, and nothing stays open.
        mic.stop();
        QCOMPARE(system.live(), 0);
        Pending<Outcome> third(mic.start());
        mic.stop();
        QTRY_VERIFY(third.done());
        QVERIFY(!third.value());
        system.answer();
        QCoreApplication::processEvents();
        QVERIFY(!mic.running());
        QCOMPARE(system.live(), 0);

        // Stop, then start again: running on a fresh capture.
        system.answersAtOnce = true;
        QVERIFY(!started(mic));
        QVERIFY(mic.running());
        QCOMPARE(system.made(), 3);

        // A microphone that goes away while starting ends the start the same way.
        system.answersAtOnce = false;
        auto going = std::make_unique<Mic>(system);
        Pending<Outcome> fourth(going->start());
        going.reset();
        QTRY_VERIFY(fourth.done());
        QVERIFY(!fourth.value());
    }

    void errors_data()
    {
        QTest::addColumn<AudioFormat>("format");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");
        using Type = AudioFormat::SampleType;
        QTest::newRow("no input") << AudioFormat{Type::Float32, 0, 0} << false << "Mic" << 1
                                  << "No microphone input available";
        QTest::newRow("no channels") << AudioFormat{Type::Int16, 44100, 0} << false << "Mic" << 1
                                     << "No microphone input available";
        QTest::newRow("unconvertible") << AudioFormat{Type::Float32, 48000, 200} << false << "Mic"
                                       << 2 << "Unsupported mic format float32le 200ch 48000Hz";
        QTest::newRow("server refuses")
            << AudioFormat{Type::Int16, 44100, 2} << true << "PulseAudio" << 3 << "Access denied";
    }

    void errors()
    {
        QFETCH(AudioFormat, format);
        QFETCH(bool, refused);
        FakeAudioSystem system;
        system.format = format;
        if (refused)
            system.startError = AudioError{"PulseAudio", 3, "Access denied"};
        Mic mic(system);
        const Outcome error = started(mic);
        QVERIFY(error);
        QTEST(error->domain, "domain");
        QTEST(error->code, "code");
        QTEST(error->description, "description");
        QVERIFY(!mic.running());
        QCOMPARE(system.live(), 0);
    }

    void restartsOnConfigurationChange()
    {
        FakeAudioSystem system;
        Mic mic(system);
        MicLog log;
        log.attach(mic);
        QVERIFY(!started(mic));

        // The new default input runs at 44.1 kHz mono 16-bit: chunks keep their 16 kHz size.
        system.format = {AudioFormat::SampleType::Int16, 44100, 1};
        const auto before = log.chunks;
        system.changeConfiguration();
        QTRY_COMPARE(system.made(), 2);
        QTRY_VERIFY(mic.running());
        QCOMPARE(system.live(), 1);
        const QByteArray pcm(2048, 0);
        for (int i = 0; i < 20; ++i)
            system.feed(pcm);
        QVERIFY(std::abs(bytes(log.chunks) - bytes(before) - 20 * 743) < 600);

        // A restart that fails leaves the microphone stopped, with one report.
        system.format = {};
        system.changeConfiguration();
        QTRY_COMPARE(log.failures, QStringList{"No microphone input available"});
        QVERIFY(!mic.running());
        QCOMPARE(system.live(), 0);
        QCOMPARE(system.made(), 3);
    }
};

QTEST_GUILESS_MAIN(MicTest)
#include "MicTest.moc"
