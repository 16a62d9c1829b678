// Capture through a real PulseAudio server: run under tests/tools/with-desktop.sh, whose server
// has the virtual microphone "vmic" fed by whatever is played into "vmic_sink".
#include "pulse/PulseAudioSystem.h"
#include "speech/Mic.h"
#include "tools/RequireDesktop.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <mutex>

using namespace quillet;

namespace {

int run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(30000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Counts the engines the microphone makes, so a restart can be seen.
class CountingSystem final : public AudioSystem {
public:
    std::unique_ptr<AudioEngine> makeEngine() override
    {
        ++made;
        return real.makeEngine();
    }
    PulseAudioSystem real;
    std::atomic<int> made = 0;
};

struct Capture {
    std::mutex mutex;
    qsizetype bytes = 0;
    int chunks = 0;
    int oddChunks = 0;
    int loudChunks = 0; // chunks whose peak is clearly above silence
    float maxLevel = 0;
    int levels = 0;

    void attach(Mic& mic)
    {
        mic.setOnLevel([this](float level) {
            std::lock_guard lock(mutex);
            ++levels;
            maxLevel = std::max(maxLevel, level);
        });
        mic.setOnAudio([this](QByteArray chunk) {
            const auto* s = reinterpret_cast<const qint16*>(chunk.constData());
            int peak = 0;
            for (qsizetype i = 0; i < chunk.size() / 2; ++i)
                peak = std::max(peak, std::abs(int(s[i])));
            std::lock_guard lock(mutex);
            bytes += chunk.size();
            ++chunks;
            oddChunks += chunk.size() % 2;
            loudChunks += peak > 1000 ? 1 : 0;
        });
    }
    int loud()
    {
        std::lock_guard lock(mutex);
        return loudChunks;
    }
};

} // namespace

class MicPulseTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_speech;
    QStringList m_modules;

    // A sink with the given format and a source fed by it, made the default input.
    QString addSource(const QString& name, int rate, int channels, const char* format)
    {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"),
                    {QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                     QStringLiteral("sink_name=%1_sink").arg(name),
                     QStringLiteral("rate=%1").arg(rate),
                     QStringLiteral("channels=%1").arg(channels),
                     QStringLiteral("format=%1").arg(QLatin1String(format))});
        pactl.waitForFinished();
        m_modules << QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
        pactl.start(QStringLiteral("pactl"),
                    {QStringLiteral("load-module"), QStringLiteral("module-remap-source"),
                     QStringLiteral("master=%1_sink.monitor").arg(name),
                     QStringLiteral("source_name=%1").arg(name)});
        pactl.waitForFinished();
        m_modules << QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
        return name + QStringLiteral("_sink");
    }

    void setDefault(const QString& source)
    {
        QCOMPARE(run(QStringLiteral("pactl"), {QStringLiteral("set-default-source"), source}), 0);
    }

    void play(const QString& sink)
    {
        QCOMPARE(run(QStringLiteral("paplay"), {QStringLiteral("-d"), sink, m_speech}), 0);
    }

private slots:
    void initTestCase()
    {
        QUILLET_REQUIRE_DESKTOP();
        m_speech = m_dir.filePath(QStringLiteral("speech.wav"));
        QCOMPARE(run(QStringLiteral("espeak-ng"),
                     {QStringLiteral("-w"), m_speech,
                      QStringLiteral("The quick brown fox jumps over the lazy dog")}),
                 0);
    }

    void cleanup()
    {
        setDefault(QStringLiteral("vmic"));
        for (const auto& module : std::as_const(m_modules))
            run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
        m_modules.clear();
    }

    void capturesSpeech_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("44.1 kHz mono s16") << 44100 << 1 << QByteArray("s16le");
        QTest::newRow("48 kHz stereo float") << 48000 << 2 << QByteArray("float32le");
    }

    void capturesSpeech()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QByteArray, format);
        const QString sink =
            addSource(QStringLiteral("qtest_src"), rate, channels, format.constData());
        setDefault(QStringLiteral("qtest_src"));

        PulseAudioSystem system;
        const auto probe = system.makeEngine()->inputFormat();
        QCOMPARE(probe.sampleRate, double(rate));
        QCOMPARE(probe.channels, channels);

        auto mic = Mic::create(system);
        Capture capture;
        capture.attach(*mic);
        const auto error = mic->start();
        QVERIFY2(!error, error ? qPrintable(error->description) : "");
        play(sink);
        QTRY_VERIFY_WITH_TIMEOUT(capture.loud() >= 20, 10000);
        mic->stop();
        mic->queue().sync([] {});
        QVERIFY(!mic->running());

        std::lock_guard lock(capture.mutex);
        QCOMPARE(capture.oddChunks, 0);
        QCOMPARE(capture.levels, capture.chunks);
        QVERIFY(capture.maxLevel > 0.1f);
        // About 2.5 s of speech at 32 bytes per millisecond.
        QVERIFY2(capture.bytes > 32 * 1500, qPrintable(QString::number(capture.bytes)));
    }

    void followsTheDefaultSource()
    {
        const QString first = addSource(QStringLiteral("qtest_a"), 44100, 1, "s16le");
        const QString second = addSource(QStringLiteral("qtest_b"), 48000, 2, "float32le");
        setDefault(QStringLiteral("qtest_a"));

        CountingSystem system;
        auto mic = Mic::create(system);
        Capture capture;
        capture.attach(*mic);
        QStringList failures;
        mic->setOnFailure([&](const QString& text) { failures << text; });
        QVERIFY(!mic->start());
        play(first);
        QTRY_VERIFY_WITH_TIMEOUT(capture.loud() >= 10, 10000);

        setDefault(QStringLiteral("qtest_b"));
        QTRY_COMPARE_WITH_TIMEOUT(system.made.load(), 2, 10000);
        mic->queue().sync([] {});
        QVERIFY(mic->running());
        const int before = capture.loud();
        // Only the new default hears this; audio keeps flowing through the restarted capture.
        play(second);
        QTRY_VERIFY_WITH_TIMEOUT(capture.loud() >= before + 20, 10000);
        QVERIFY(failures.isEmpty());

        // The source in use vanishes: capture moves to whatever the server falls back to.
        run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), m_modules.takeLast()});
        QTRY_VERIFY_WITH_TIMEOUT(system.made.load() >= 3, 10000);
        mic->queue().sync([] {});
        QVERIFY(mic->running());
        QVERIFY(failures.isEmpty());
        mic->stop();
        mic->queue().sync([] {});
    }

    void noServerFailsFast()
    {
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER",
                "unix:" + m_dir.filePath(QStringLiteral("no-such-socket")).toUtf8());
        PulseAudioSystem system;
        auto mic = Mic::create(system);
        QElapsedTimer timer;
        timer.start();
        const auto error = mic->start();
        const auto elapsed = timer.elapsed();
        saved.isNull() ? qunsetenv("PULSE_SERVER") : qputenv("PULSE_SERVER", saved);
        QVERIFY(error);
        QCOMPARE(error->domain, QStringLiteral("Mic"));
        QCOMPARE(error->code, 1);
        QCOMPARE(error->description, QStringLiteral("No microphone input available"));
        QVERIFY2(elapsed < 10000, qPrintable(QString::number(elapsed)));
        QVERIFY(!mic->running());
    }

    // A server that accepts the connection and never answers must not hold the start.
    void silentServerIsBounded()
    {
        QLocalServer server;
        const QString path = m_dir.filePath(QStringLiteral("mute-server"));
        QVERIFY(server.listen(path));
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:" + path.toUtf8());
        PulseAudioSystem system(500);
        auto mic = Mic::create(system);
        std::optional<AudioError> error;
        std::atomic<bool> done = false;
        // The start waits on the microphone's queue; keep this thread's loop accepting.
        std::thread starter([&] {
            error = mic->start();
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
        starter.join();
        saved.isNull() ? qunsetenv("PULSE_SERVER") : qputenv("PULSE_SERVER", saved);
        QVERIFY(error);
        QCOMPARE(error->code, 1);
    }
};

QTEST_GUILESS_MAIN(MicPulseTest)
#include "MicPulseTest.moc"
