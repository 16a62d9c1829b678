// Capture through a real PulseAudio server: run under tests/tools/with-desktop.sh, whose server
// has the virtual microphone "vmic" fed by whatever is played into "vmic_sink".
#include "pulse/PulseAudioSystem.h"
#include "speech/Mic.h"
#include "tools/RequireDesktop.h"
#include "util/ManualClock.h"
#include "util/Pending.h"
#include "util/TestSupport.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quillet;
using namespace quillet::test;

namespace {

using Outcome = std::optional<AudioError>;

int run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(30000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Counts the captures the microphone asks for, so a restart can be seen.
class CountingSystem final : public AudioSystem {
public:
    explicit CountingSystem(Clock& clock)
        : real(clock)
    {}
    bool inputAvailable() const override { return real.inputAvailable(); }
    std::unique_ptr<AudioCapture> capture(qsizetype frames, Handlers handlers) override
    {
        ++made;
        return real.capture(frames, std::move(handlers));
    }
    PulseAudioSystem real;
    int made = 0;
};

struct Capture {
    QMutex mutex;
    qsizetype bytes = 0;
    int chunks = 0;
    int oddChunks = 0;
    int loudChunks = 0; // chunks whose peak is clearly above silence
    float maxLevel = 0;
    int levels = 0;

    void attach(Mic& mic)
    {
        mic.setOnLevel([this](float level) {
            QMutexLocker locker(&mutex);
            ++levels;
            maxLevel = std::max(maxLevel, level);
        });
        mic.setOnAudio([this](QByteArray chunk) {
            const auto* s = reinterpret_cast<const qint16*>(chunk.constData());
            int peak = 0;
            for (qsizetype i = 0; i < chunk.size() / 2; ++i)
                peak = std::max(peak, std::abs(int(s[i])));
            QMutexLocker locker(&mutex);
            bytes += chunk.size();
            ++chunks;
            oddChunks += chunk.size() % 2;
            loudChunks += peak > 1000 ? 1 : 0;
        });
    }
    int loud()
    {
        QMutexLocker locker(&mutex);
        return loudChunks;
    }
};

// A PulseAudio server of the test's own on a socket of its choosing, with one source.
class PrivateServer {
public:
    explicit PrivateServer(QString socket)
        : m_socket(std::move(socket))
    {}
    ~PrivateServer() { stop(); }
    bool start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", m_runtime.path());
        env.insert("HOME", m_runtime.path());
        // Off the session bus, where the desktop's own server holds the name.
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.remove("DISPLAY");
        m_process.setProcessEnvironment(env);
        m_process.start("pulseaudio",
                        {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                         "--load=module-native-protocol-unix auth-anonymous=1 socket=" + m_socket,
                         "--load=module-null-sink sink_name=private_sink",
                         "--load=module-remap-source master=private_sink.monitor "
                         "source_name=private"});
        return m_process.waitForStarted() && QTest::qWaitFor([&] {
                   return run("pactl", {"--server", "unix:" + m_socket, "info"}) == 0;
               });
    }
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished();
        QFile::remove(m_socket);
    }

private:
    QString m_socket;
    QTemporaryDir m_runtime;
    QProcess m_process;
};

Outcome started(Mic& mic)
{
    Pending<Outcome> start(mic.start());
    if (!QTest::qWaitFor([&] { return start.done(); }, 10000))
        return AudioError{"test", -1, "the start never ended"};
    return start.value();
}

} // namespace

class MicPulseTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_speech;
    QStringList m_modules;
    ManualClock m_clock;

    // A sink with the given format and a source fed by it.
    QString addSource(const QString& name, int rate, int channels, const char* format)
    {
        QProcess pactl;
        pactl.start("pactl", {"load-module", "module-null-sink",
                              QStringLiteral("sink_name=%1_sink").arg(name),
                              QStringLiteral("rate=%1").arg(rate),
                              QStringLiteral("channels=%1").arg(channels),
                              QStringLiteral("format=%1").arg(QLatin1String(format))});
        pactl.waitForFinished();
        m_modules << QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
        pactl.start("pactl", {"load-module", "module-remap-source",
                              QStringLiteral("master=%1_sink.monitor").arg(name),
                              QStringLiteral("source_name=%1").arg(name)});
        pactl.waitForFinished();
        m_modules << QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
        return name + QStringLiteral("_sink");
    }

    void setDefault(const QString& source)
    {
        QCOMPARE(run("pactl", {"set-default-source", source}), 0);
    }

    void play(const QString& sink) { QCOMPARE(run("paplay", {"-d", sink, m_speech}), 0); }

private slots:
    void initTestCase()
    {
        QUILLET_REQUIRE_DESKTOP();
        m_speech = m_dir.filePath("speech.wav");
        QCOMPARE(run("espeak-ng", {"-w", m_speech, "The quick brown fox jumps over the lazy dog"}),
                 0);
    }

    void cleanup()
    {
        setDefault("vmic");
        for (const auto& module : std::as_const(m_modules))
            run("pactl", {"unload-module", module});
        m_modules.clear();
    }

    void followsTheDefaultSource()
    {
        const QString first = addSource("qtest_a", 44100, 1, "s16le");
        const QString second = addSource("qtest_b", 48000, 2, "float32le");
        setDefault("qtest_a");

        CountingSystem system(m_clock);
        QTRY_VERIFY(system.inputAvailable());
        Mic mic(system);
        Capture capture;
        capture.attach(mic);
        QStringList failures;
        mic.setOnFailure([&](const QString& text) { failures << text; });
        QVERIFY(!started(mic));
        play(first);
        QTRY_VERIFY_WITH_TIMEOUT(capture.loud() >= 10, 10000);

        setDefault("qtest_b");
        QTRY_COMPARE_WITH_TIMEOUT(system.made, 2, 10000);
        QTRY_VERIFY(mic.running());
        const int before = capture.loud();
        // Only the new default hears this; audio keeps flowing through the restarted capture.
        play(second);
        QTRY_VERIFY_WITH_TIMEOUT(capture.loud() >= before + 20, 10000);

        {
            // Whole 16-bit samples, each chunk with its level, at about 32 bytes per ms of speech.
            QMutexLocker locker(&capture.mutex);
            QCOMPARE(capture.oddChunks, 0);
            QCOMPARE(capture.levels, capture.chunks);
            QVERIFY(capture.maxLevel > 0.1f);
            QVERIFY2(capture.bytes > 32 * 3000, qPrintable(QString::number(capture.bytes)));
        }

        // The source in use vanishes: capture moves to whatever the server falls back to.
        run("pactl", {"unload-module", m_modules.takeLast()});
        QTRY_VERIFY_WITH_TIMEOUT(system.made >= 3, 10000);
        QTRY_VERIFY(mic.running());
        QVERIFY(failures.isEmpty());
    }

    // No server, or one that never answers: the start returns at once and reports "no input",
    // at once when nothing listens, after the time-out when the server stays silent.
    void unreachableServer_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::newRow("nothing listens") << false;
        QTest::newRow("silent server") << true;
    }

    void unreachableServer()
    {
        QFETCH(bool, listening);
        const QString path = m_dir.filePath("pulse-server");
        QLocalServer silent;
        QVERIFY(!listening || silent.listen(path));
        EnvGuard server("PULSE_SERVER", "unix:" + path.toUtf8());
        PulseAudioSystem system(m_clock);
        Mic mic(system);
        QElapsedTimer timer;
        timer.start();
        Pending<Outcome> start(mic.start());
        QVERIFY2(timer.elapsed() < 100, qPrintable(QString::number(timer.elapsed())));
        if (listening) {
            QTest::qWait(200);
            QVERIFY(!start.done());
            m_clock.advance(PulseAudioSystem::startTimeout);
        }
        QTRY_VERIFY(start.done());
        QVERIFY(start.value());
        QCOMPARE(start.value()->domain, QStringLiteral("Mic"));
        QCOMPARE(start.value()->code, 1);
        QCOMPARE(start.value()->description, QStringLiteral("No microphone input available"));
        QVERIFY(!mic.running());
        QVERIFY(!system.inputAvailable());
    }

    // The one connection is made again in the background whenever the server comes back.
    void reconnects()
    {
        const QString socket = m_dir.filePath("private-server");
        EnvGuard env("PULSE_SERVER", "unix:" + socket.toUtf8());
        PulseAudioSystem system(m_clock);
        Mic mic(system);
        QStringList failures;
        mic.setOnFailure([&](const QString& text) { failures << text; });
        QTest::qWait(100);
        QVERIFY(!system.inputAvailable());

        PrivateServer server(socket);
        QVERIFY(server.start());
        QTest::qWait(100);
        QVERIFY(!system.inputAvailable());
        m_clock.advance(PulseAudioSystem::firstRetry);
        QTRY_VERIFY(system.inputAvailable());
        QVERIFY(!started(mic));

        // The server goes: capture restarts, finds no server and reports it once.
        server.stop();
        QTRY_COMPARE(failures, QStringList{"No microphone input available"});
        QVERIFY(!mic.running());
        QVERIFY(!system.inputAvailable());

        QVERIFY(server.start());
        m_clock.advance(PulseAudioSystem::lastRetry);
        QTRY_VERIFY(system.inputAvailable());
        QVERIFY(!started(mic));
    }
};

QTEST_GUILESS_MAIN(MicPulseTest)
#include "MicPulseTest.moc"
