// `quillet transcribe` end to end: a spoken recording streamed to the speech-service simulator on
// loopback. Run under tests/tools/with-desktop.sh (the key store wants a session bus).
#include "CliRunner.h"
#include "tools/RequireDesktop.h"

#include <QElapsedTimer>

using namespace quillet;

namespace {

const QString kWords = "alpha bravo charlie delta echo foxtrot golf hotel";
using Run = CliRunner::Run;

} // namespace

class TranscribeCommandTest : public QObject {
    Q_OBJECT

private:
    CliRunner m_cli;
    QTemporaryDir& m_dir = m_cli.root;
    QString m_speech;
    QProcess m_sim;
    quint16 m_port = 0;

    Run quillet(const QStringList& args, bool withKey = true)
    {
        if (withKey)
            m_cli.env.insert("SONIOX_API_KEY", "test-key");
        else
            m_cli.env.remove("SONIOX_API_KEY");
        return m_cli.run(args);
    }

    // Starts the simulator with the scripted words and `faults`; false when it did not come up.
    bool startSimulator(const QStringList& faults)
    {
        m_port = CliRunner::startTool(m_sim, "speechsim/speechsim",
                                      QStringList{"--words", kWords, "--ms-per-word", "400",
                                                  "--log", m_dir.filePath("sim.log")} +
                                          faults);
        return m_port != 0;
    }

    QStringList transcribe(const QString& file, bool paced = false,
                           const QStringList& options = {}) const
    {
        QStringList args{"-sonioxEndpoint",
                         QStringLiteral("ws://127.0.0.1:%1/transcribe-websocket").arg(m_port)};
        if (!paced)
            args += QStringList{"-transcribePace", "0"};
        return args + options +
               QStringList{"transcribe", file, "--mode", "quillet", "--app", "Terminal"};
    }

    int connections() const
    {
        QFile log(m_dir.filePath("sim.log"));
        if (!log.open(QIODevice::ReadOnly))
            return 0;
        return int(QString::fromUtf8(log.readAll()).count("\"connect\""));
    }

private slots:
    void initTestCase()
    {
        QUILLET_REQUIRE_DESKTOP();
        m_speech = m_dir.filePath("speech.wav");
        QProcess espeak;
        espeak.start("espeak-ng",
                     {"-w", m_speech,
                      QStringLiteral("Quillet turns speech into text. This recording checks that "
                                     "every word arrives, even when the connection drops.")});
        QVERIFY(espeak.waitForFinished(30000));
        QCOMPARE(espeak.exitCode(), 0);
    }

    void cleanup()
    {
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.kill();
            m_sim.waitForFinished();
        }
        QFile::remove(m_dir.filePath("sim.log"));
    }

    void streamsTheRecording_data()
    {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("paced");
        QTest::addColumn<int>("connections");
        QTest::addColumn<QString>("output"); // empty: lost, whatever was finalised before
        QTest::newRow("clean") << QStringList() << QStringList() << true << 1 << kWords;
        QTest::newRow("survives three drops")
            << QStringList{"--drop-at-ms", "700", "--drop-connections", "1,2,3"} << QStringList()
            << true << 4 << kWords;
        QTest::newRow("lost for good")
            << QStringList{"--drop-at-ms", "900"} << QStringList() << true << 4 << QString();
        // Sent at once, the file is finished before the session drops: nothing can replace it.
        QTest::newRow("drop while finishing")
            << QStringList{"--drop-at-ms", "1000", "--drop-connections", "1"} << QStringList()
            << false << 1 << QString();
        // The service closes the session once it has finished the translation.
        QTest::newRow("translated")
            << QStringList() << QStringList{"-translateTo", "fr"} << false << 1 << kWords.toUpper();
    }

    void streamsTheRecording()
    {
        QFETCH(QStringList, faults);
        QFETCH(QStringList, options);
        QFETCH(bool, paced);
        QFETCH(int, connections);
        QFETCH(QString, output);
        QVERIFY(startSimulator(faults));
        QElapsedTimer timer;
        timer.start();
        const Run r = quillet(transcribe(m_speech, paced, options));
        QCOMPARE(this->connections(), connections);
        if (output.isEmpty()) {
            QCOMPARE(r.code, 1);
            // With the connection's own last word.
            QVERIFY2(r.err.startsWith("quillet transcribe: Lost the connection to Soniox (") &&
                         r.err.endsWith(")\n"),
                     qPrintable(r.err));
            // What the sessions had finalised before giving up is still printed, in order.
            QVERIFY(r.out.startsWith("alpha"));
            QVERIFY(kWords.startsWith(r.out.trimmed()));
            return;
        }
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, output + "\n");
        // Streamed at the pace of speech: not before the recording's own length (over 4 s).
        QVERIFY2(!paced || timer.elapsed() > 4000, qPrintable(QString::number(timer.elapsed())));
    }

    // The service's own reason reaches the user once the transcriber gives up.
    void wrongKey()
    {
        QVERIFY(startSimulator({"--key", "the-right-key"}));
        // Paced, so that every refusal arrives while recording and is retried.
        const Run r = quillet(transcribe(m_speech, true));
        QCOMPARE(r.err, QString("quillet transcribe: Lost the connection to Soniox (Soniox 401: "
                                "Invalid API key.)\n"));
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(connections(), 4);
    }

    void refusesBadInput_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << m_dir.filePath("nothing.wav") << QStringLiteral("cannot read");
        QTest::newRow("not a wav")
            << writeFile(m_dir.filePath("notes.wav"), "just some text, not audio")
            << QStringLiteral("not a WAV file");
        QByteArray eightBit("RIFF\x2c\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0"
                            "\x01\0\x08\0data\x08\0\0\0\x80\x80\x80\x80\x80\x80\x80\x80",
                            52);
        QTest::newRow("8-bit") << writeFile(m_dir.filePath("eight.wav"), eightBit)
                               << QStringLiteral("unsupported WAV encoding");
    }

    void refusesBadInput()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        const Run r = quillet(transcribe(file));
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(r.err.count(u'\n'), 1);
        QVERIFY(r.out.isEmpty());
    }

    void needsAKey()
    {
        const Run r = quillet(transcribe(m_speech), false);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("no Soniox key"), qPrintable(r.err));
        QCOMPARE(r.err.count(u'\n'), 1);
    }

    void usageErrors()
    {
        QCOMPARE(quillet({"transcribe"}).code, 2);
        QCOMPARE(quillet({"transcribe", m_speech, "--mode"}).code, 2);
        QCOMPARE(quillet({"transcribe", m_speech, "--bogus"}).code, 2);
    }
};

QTEST_GUILESS_MAIN(TranscribeCommandTest)
#include "TranscribeCommandTest.moc"
