#include "speech/Mic.h"

#include "speech/FakeAudioSystem.h"

#include <QTest>

#include <cmath>
#include <future>
#include <numbers>

using namespace quillet;

namespace {

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

// What reached the callbacks, in order: 'L' for a level, 'A' for audio.
struct Recorder {
    std::mutex mutex;
    QByteArray order;
    std::vector<float> levels;
    std::vector<QByteArray> chunks;
    QStringList failures;

    void attach(Mic& mic)
    {
        mic.setOnLevel([this](float level) {
            std::lock_guard lock(mutex);
            order += 'L';
            levels.push_back(level);
        });
        mic.setOnAudio([this](QByteArray chunk) {
            std::lock_guard lock(mutex);
            order += 'A';
            chunks.push_back(std::move(chunk));
        });
        mic.setOnFailure([this](const QString& text) {
            std::lock_guard lock(mutex);
            failures << text;
        });
    }
};

void settle(Mic& mic)
{
    mic.queue().sync([] {});
}

} // namespace

class MicTest : public QObject {
    Q_OBJECT
private slots:
    void deliversLevelThenChunk()
    {
        FakeAudioSystem system;
        auto mic = Mic::create(system);
        Recorder rec;
        rec.attach(*mic);
        QVERIFY(!mic->start());
        QVERIFY(mic->running());
        auto* engine = system.current();
        QCOMPARE(engine->bufferFrames, Mic::tapFrames);
        for (int i = 0; i < 10; ++i)
            engine->feed(toneBuffer(i));

        QVERIFY(rec.chunks.size() >= 8);
        QCOMPARE(rec.levels.size(), rec.chunks.size());
        QVERIFY(rec.order.startsWith("LALA"));
        QVERIFY(!rec.order.contains("LL") && !rec.order.contains("AA"));
        // The steady state of a 48 kHz 1024-frame buffer: about 341 frames, 682 bytes.
        QVERIFY(std::abs(rec.chunks.back().size() - 682) <= 2);
        QVERIFY(std::abs(rec.levels.back() - 0.4f) < 0.02f);
    }

    void nothingWithoutOnAudio()
    {
        FakeAudioSystem system;
        auto mic = Mic::create(system);
        int levels = 0;
        mic->setOnLevel([&](float) { ++levels; });
        QVERIFY(!mic->start());
        for (int i = 0; i < 5; ++i)
            system.current()->feed(toneBuffer(i));
        QCOMPARE(levels, 0);

        // Listening again resumes; clearing both stops the reports at once.
        QByteArray audio;
        mic->setOnAudio([&](QByteArray chunk) { audio += chunk; });
        for (int i = 5; i < 10; ++i)
            system.current()->feed(toneBuffer(i));
        QVERIFY(levels > 0);
        QVERIFY(!audio.isEmpty());
        const int before = levels;
        mic->clearCallbacks();
        system.current()->feed(toneBuffer(10));
        QCOMPARE(levels, before);
    }

    void startTwiceInstallsOnce()
    {
        FakeAudioSystem system;
        auto mic = Mic::create(system);
        QVERIFY(!mic->start());
        QVERIFY(!mic->start());
        QCOMPARE(system.made, 1);
        QCOMPARE(system.current()->tapsInstalled, 1);
        QCOMPARE(system.current()->observersAdded, 1);
    }

    void stopIsAsynchronousAndOrdered()
    {
        FakeAudioSystem system;
        auto mic = Mic::create(system);
        mic->stop(); // on a stopped microphone: nothing
        settle(*mic);
        QCOMPARE(system.made, 0);

        QVERIFY(!mic->start());
        mic->stop();
        // Serialised after the stop: the microphone ends up running on a fresh engine.
        QVERIFY(!mic->start());
        QVERIFY(mic->running());
        QCOMPARE(system.made, 2);
        QCOMPARE(system.liveCount(), 1);
        QVERIFY(system.current()->started);

        mic->stop();
        settle(*mic);
        QVERIFY(!mic->running());
        QCOMPARE(system.liveCount(), 0);
    }

    void errors()
    {
        FakeAudioSystem system;
        auto mic = Mic::create(system);

        system.format = {AudioFormat::SampleType::Float32, 0, 0};
        auto error = mic->start();
        QVERIFY(error);
        QCOMPARE(error->domain, QStringLiteral("Mic"));
        QCOMPARE(error->code, 1);
        QCOMPARE(error->description, QStringLiteral("No microphone input available"));

        system.format = {AudioFormat::SampleType::Int16, 44100, 0};
        QCOMPARE(mic->start()->code, 1);

        system.format = {AudioFormat::SampleType::Float32, 48000, 200};
        error = mic->start();
        QVERIFY(error);
        QCOMPARE(error->code, 2);
        QCOMPARE(error->description,
                 QStringLiteral("Unsupported mic format float32le 200ch 48000Hz"));

        system.format = {AudioFormat::SampleType::Int16, 44100, 2};
        system.startError =
            AudioError{QStringLiteral("PulseAudio"), 3, QStringLiteral("Access denied")};
        error = mic->start();
        QVERIFY(error);
        QCOMPARE(error->domain, QStringLiteral("PulseAudio"));
        QCOMPARE(error->description, QStringLiteral("Access denied"));

        QVERIFY(!mic->running());
        QCOMPARE(system.liveCount(), 0); // nothing stays installed
    }

    void restartOnConfigurationChange()
    {
        FakeAudioSystem system;
        auto mic = Mic::create(system);
        Recorder rec;
        rec.attach(*mic);
        QVERIFY(!mic->start());
        auto* first = system.current();

        // The new default input runs at 44.1 kHz mono 16-bit: chunks keep their 16 kHz size.
        system.format = {AudioFormat::SampleType::Int16, 44100, 1};
        first->changeConfiguration();
        settle(*mic);
        QVERIFY(mic->running());
        QCOMPARE(system.made, 2);
        QCOMPARE(system.liveCount(), 1);
        auto* second = system.current();
        QVERIFY(second->started);
        QVERIFY(second->observed());

        QByteArray pcm(1024 * 2 * 20, 0);
        for (int i = 0; i < 20; ++i)
            second->feed(pcm.mid(i * 2048, 2048));
        QVERIFY(!rec.chunks.empty());
        QVERIFY(std::abs(rec.chunks.back().size() - 1024 * 16000 / 44100 * 2) <= 4);
        QVERIFY(rec.failures.isEmpty());
    }

    void failedRestartReportsOnce()
    {
        FakeAudioSystem system;
        auto mic = Mic::create(system);
        Recorder rec;
        rec.attach(*mic);
        QVERIFY(!mic->start());
        system.format = {AudioFormat::SampleType::Float32, 0, 0};
        system.current()->changeConfiguration();
        settle(*mic);
        QVERIFY(!mic->running());
        QCOMPARE(rec.failures, QStringList{QStringLiteral("No microphone input available")});
        QCOMPARE(system.liveCount(), 0);
    }

    void changeWhileStoppedDoesNothing()
    {
        FakeAudioSystem system;
        auto mic = Mic::create(system);
        Recorder rec;
        rec.attach(*mic);
        QVERIFY(!mic->start());
        auto* engine = system.current();
        // A change notice queued behind a stop finds the microphone stopped. The queue is held
        // until both are in, so their order is the one written here.
        std::promise<void> gate;
        auto opened = gate.get_future().share();
        mic->queue().async([opened] { opened.wait(); });
        mic->stop();
        engine->changeConfiguration();
        gate.set_value();
        settle(*mic);
        QVERIFY(!mic->running());
        QCOMPARE(system.made, 1);
        QVERIFY(rec.failures.isEmpty());
    }

    void droppedWhileRunning()
    {
        FakeAudioSystem system;
        auto mic = Mic::create(system);
        QVERIFY(!mic->start());
        mic->stop();
        mic.reset();
        QCOMPARE(system.liveCount(), 0);
    }
};

QTEST_GUILESS_MAIN(MicTest)
#include "MicTest.moc"
