// `quillet transcribe` end to end: a spoken recording streamed to the speech-service simulator on
// loopback. Run under tests/tools/with-desktop.sh (the key store wants a session bus).
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kWords = QStringLiteral("alpha bravo charlie delta echo foxtrot golf hotel");

struct Run {
    int code = -1;
    QString out;
    QString err;
};

} // namespace

class TranscribeCommandTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_speech;
    QProcess m_sim;
    quint16 m_port = 0;

    QProcessEnvironment environment(bool withKey) const
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        if (withKey)
            env.insert(QStringLiteral("SONIOX_API_KEY"), QStringLiteral("test-key"));
        else
            env.remove(QStringLiteral("SONIOX_API_KEY"));
        return env;
    }

    Run quillet(const QStringList& args, bool withKey = true)
    {
        QProcess p;
        p.setProcessEnvironment(environment(withKey));
        p.start(qEnvironmentVariable("QUILLET_BINARY"), args);
        Run r;
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            r.err = QStringLiteral("timed out");
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    // Starts the simulator with the scripted words and `faults`; false when it did not come up.
    bool startSimulator(const QStringList& faults)
    {
        m_sim.start(qEnvironmentVariable("QUILLET_TEST_TOOLS") +
                        QStringLiteral("/speechsim/speechsim"),
                    QStringList{QStringLiteral("--words"), kWords, QStringLiteral("--ms-per-word"),
                                QStringLiteral("400"), QStringLiteral("--log"),
                                m_dir.filePath(QStringLiteral("sim.log"))} +
                        faults);
        if (!m_sim.waitForStarted(10000))
            return false;
        while (!m_sim.canReadLine() && m_sim.waitForReadyRead(10000)) {
        }
        const QString line = QString::fromUtf8(m_sim.readLine()).trimmed();
        if (!line.startsWith(QStringLiteral("PORT ")))
            return false;
        m_port = line.mid(5).toUShort();
        return m_port != 0;
    }

    QStringList transcribe(const QString& file, bool paced = false) const
    {
        QStringList args{QStringLiteral("-sonioxEndpoint"),
                         QStringLiteral("ws://127.0.0.1:%1/transcribe-websocket").arg(m_port)};
        if (!paced)
            args << QStringLiteral("-transcribePace") << QStringLiteral("0");
        return args << QStringLiteral("transcribe") << file << QStringLiteral("--mode")
                    << QStringLiteral("quillet") << QStringLiteral("--app")
                    << QStringLiteral("Terminal");
    }

    int connections() const
    {
        QFile log(m_dir.filePath(QStringLiteral("sim.log")));
        if (!log.open(QIODevice::ReadOnly))
            return 0;
        return int(QString::fromUtf8(log.readAll()).count(QStringLiteral("\"connect\"")));
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("QUILLET_DESKTOP"))
            QSKIP("needs the headless desktop (tests/tools/with-desktop.sh)");
        m_speech = m_dir.filePath(QStringLiteral("speech.wav"));
        QProcess espeak;
        espeak.start(QStringLiteral("espeak-ng"),
                     {QStringLiteral("-w"), m_speech,
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
        QFile::remove(m_dir.filePath(QStringLiteral("sim.log")));
    }

    void printsTheTranscript()
    {
        QVERIFY(startSimulator({}));
        QElapsedTimer timer;
        timer.start();
        const Run r = quillet(transcribe(m_speech, true));
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, kWords + QStringLiteral("\n"));
        // Streamed at the pace of speech: not before the recording's own length (over 4 s).
        QVERIFY2(timer.elapsed() > 4000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(connections(), 1);
    }

    void survivesThreeDrops()
    {
        QVERIFY(startSimulator({QStringLiteral("--drop-at-ms"), QStringLiteral("700"),
                                QStringLiteral("--drop-connections"), QStringLiteral("1,2,3")}));
        const Run r = quillet(transcribe(m_speech, true));
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, kWords + QStringLiteral("\n"));
        QCOMPARE(connections(), 4);
    }

    void connectionLostForGood()
    {
        QVERIFY(startSimulator({QStringLiteral("--drop-at-ms"), QStringLiteral("900")}));
        const Run r = quillet(transcribe(m_speech, true));
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QStringLiteral("quillet transcribe: Lost the connection to Soniox\n"));
        // What the sessions had finalised before giving up is still printed, in order.
        const QStringList said = r.out.split(u' ', Qt::SkipEmptyParts);
        QVERIFY(!said.isEmpty());
        QVERIFY(kWords.startsWith(r.out.trimmed()));
        QCOMPARE(connections(), 4);
    }

    // Sent at once, the file is finished before the session drops: nothing can replace it then.
    void dropWhileFinishing()
    {
        QVERIFY(startSimulator({QStringLiteral("--drop-at-ms"), QStringLiteral("1000"),
                                QStringLiteral("--drop-connections"), QStringLiteral("1")}));
        const Run r = quillet(transcribe(m_speech));
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QStringLiteral("quillet transcribe: Lost the connection to Soniox\n"));
        QVERIFY(r.out.startsWith(QStringLiteral("alpha")));
        QVERIFY(kWords.startsWith(r.out.trimmed()));
        QCOMPARE(connections(), 1);
    }

    void refusesBadInput_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("nothing.wav"))
                                 << QStringLiteral("cannot read");
        QTest::newRow("not a wav")
            << writeFile(QStringLiteral("notes.wav"), "just some text, not audio")
            << QStringLiteral("not a WAV file");
        QByteArray eightBit("RIFF\x2c\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0"
                            "\x01\0\x08\0data\x08\0\0\0\x80\x80\x80\x80\x80\x80\x80\x80",
                            52);
        QTest::newRow("8-bit") << writeFile(QStringLiteral("eight.wav"), eightBit)
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
        QVERIFY2(r.err.contains(QStringLiteral("no Soniox key")), qPrintable(r.err));
        QCOMPARE(r.err.count(u'\n'), 1);
    }

    void usageErrors()
    {
        QCOMPARE(quillet({QStringLiteral("transcribe")}).code, 2);
        QCOMPARE(quillet({QStringLiteral("transcribe"), m_speech, QStringLiteral("--mode")}).code,
                 2);
        QCOMPARE(quillet({QStringLiteral("transcribe"), m_speech, QStringLiteral("--bogus")}).code,
                 2);
    }
};

QTEST_GUILESS_MAIN(TranscribeCommandTest)
#include "TranscribeCommandTest.moc"
