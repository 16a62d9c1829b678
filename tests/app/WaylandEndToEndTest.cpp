// The desktop application end to end in the headless sway of tests/tools/with-wayland.sh: the
// real quillet with the speech and chat simulators, sway's own Right Alt binding running
// `quillet ptt begin|end` as the seat's keyboard (wltool) presses and releases the key, and the
// text pasted into GTK 3 and GTK 4 entries read back through AT-SPI.

#include "CliRunner.h"
#include "atspi/AtspiAccessibility.h"
#include "wayland/SwayWorkspace.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTest>

#include <algorithm>

using namespace quillet;

namespace {

// Generous: the machine may be busy with other builds.
constexpr int patienceMs = 30000;
// Right Alt's key, whatever the layout makes of it (AltGr on a German one).
constexpr const char* rightAlt = "108";

// What the speech simulator hears (a filler, so the default mode has the chat service clean it
// up) and what the chat simulator answers: text no layout types.
const QString spoken = QStringLiteral("um cafe a sao paulo twenty euros");
const QString cleaned = QStringLiteral("Café à São Paulo — 20 €");
// Another application's clipboard, as wltool takes and shows it: "TYPE=HEX".
const QStringList previousClipboard{
    "image/png=" + QString::fromLatin1(QByteArray("\x89PNG\r\n\x1a\nnot really").toHex()),
    "text/plain;charset=utf-8=" + QString::fromLatin1(QByteArray("Grüße").toHex())};

QString tool(const char* name)
{
    return qEnvironmentVariable("QUILLET_TEST_TOOLS") + u'/' + QLatin1String(name);
}

// Runs a tool to its end while our event loop keeps turning.
QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, patienceMs)) {
        p.kill();
        p.waitForFinished();
    }
    return p.readAllStandardOutput();
}

// The seat's keyboard: its key goes down or up, as a finger would move it.
bool key(const char* action)
{
    QFile keys(qEnvironmentVariable("QUILLET_WAYLAND_KEYS"));
    return keys.open(QIODevice::WriteOnly) &&
           keys.write(QByteArray(action) + ' ' + rightAlt + '\n') > 0;
}

void stop(QProcess& p)
{
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
}

} // namespace

class WaylandEndToEndTest : public QObject {
    Q_OBJECT
    CliRunner m_cli;
    QProcess m_speech;
    QProcess m_chat;
    QProcess m_player;
    QProcess m_app;
    QProcess m_entry;
    QProcess m_clipboardOwner;
    QString m_appErr;
    QElapsedTimer m_playing;
    // Reads the entry as the application does.
    AtspiAccessibility m_accessibility;
    SwayWorkspace m_workspace;

    QString appErr()
    {
        m_appErr += QString::fromUtf8(m_app.readAllStandardError());
        return m_appErr;
    }
    qint64 frontPid()
    {
        const auto front = m_workspace.frontApp();
        return front ? front->pid.value_or(0) : 0;
    }
    QString field()
    {
        const ElementHandle element = m_accessibility.focusedElement();
        return element ? m_accessibility.elementValue(element).value_or(QString()) : QString();
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariable("XDG_CURRENT_DESKTOP") != u"sway" ||
            qEnvironmentVariable("QUILLET_WAYLAND_KEYS").isEmpty())
            QSKIP("needs the session of tests/tools/with-wayland.sh --sway");
        // A microphone always delivers audio; the idle virtual one renders 2 s blocks until a
        // player has kept it busy for a while. Silence will do: the simulator has its script.
        m_player.setStandardInputFile("/dev/zero");
        m_player.start("pacat", {"--playback", "-d", "vmic_sink", "--latency-msec=10"});
        QVERIFY(m_player.waitForStarted());
        m_playing.start();
        const quint16 speechPort = CliRunner::startTool(
            m_speech, "speechsim/speechsim", {"--words", spoken, "--ms-per-word", "150"});
        const quint16 chatPort =
            CliRunner::startTool(m_chat, "chatsim/chatsim", {"--content", cleaned});
        QVERIFY(speechPort && chatPort);

        m_cli.env.insert("SONIOX_API_KEY", "speech-key");
        m_cli.env.insert("CEREBRAS_API_KEY", "chat-key");
        // quillet picks its toolkit platform itself (here Wayland), as on a user's desktop.
        m_cli.env.remove("QT_QPA_PLATFORM");
        m_cli.start(m_app,
                    {"-sonioxEndpoint",
                     QStringLiteral("ws://127.0.0.1:%1/transcribe-websocket").arg(speechPort),
                     "-baseURL.cerebras", QStringLiteral("http://127.0.0.1:%1/v1").arg(chatPort),
                     "-tailSeconds", "0.3"});
        QTRY_VERIFY_WITH_TIMEOUT(appErr().contains("ready: hold Right Alt to dictate"), patienceMs);
        m_accessibility.start();
        QTRY_VERIFY_WITH_TIMEOUT(m_accessibility.isAvailable(), patienceMs);
    }

    void cleanupTestCase()
    {
        for (QProcess* p : {&m_app, &m_player, &m_speech, &m_chat})
            stop(*p);
    }

    // Hold Right Alt, speak, release: the cleaned-up text is in the entry, which kept the
    // keyboard all along, and the other application's clipboard is back.
    void dictate_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("gtk3") << "zenity" << QStringList{"--entry", "--title", "GTK 3 entry"};
        QTest::newRow("gtk4") << "python3"
                              << QStringList{qEnvironmentVariable("QUILLET_SOURCE_DIR") +
                                             "/tests/tools/gtk4-text.py"};
    }
    void dictate()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QProcess& entry = m_entry;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GDK_BACKEND", "wayland");
        entry.setProcessEnvironment(env);
        entry.start(program, args);
        QTRY_VERIFY_WITH_TIMEOUT(entry.processId() && frontPid() == entry.processId(), patienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_accessibility.focusedElement() && field().isEmpty(), patienceMs);
        const ElementHandle element = m_accessibility.focusedElement();

        QProcess& owner = m_clipboardOwner;
        owner.start(tool("wltool/wltool"), QStringList{"own"} + previousClipboard);
        QVERIFY(QTest::qWaitFor([&] { return owner.canReadLine(); }, patienceMs));

        QTest::qWait(std::max(0, 3000 - int(m_playing.elapsed())));
        const QColor background = pillSpot();
        QVERIFY(key("press"));
        // The pill is on screen, above the entry, on a layer surface of sway's.
        QTRY_VERIFY_WITH_TIMEOUT(pillSpot() != background, patienceMs);
        QTest::qWait(1500);
        QCOMPARE(frontPid(), entry.processId());
        QVERIFY(key("release"));

        QTRY_COMPARE_WITH_TIMEOUT(m_accessibility.elementValue(element), std::optional(cleaned),
                                  patienceMs);
        QCOMPARE(frontPid(), entry.processId());
        // The entry holding the text is still the focused element.
        QCOMPARE(field(), cleaned);
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(run(tool("wltool/wltool"), {"show"}))
                                      .split(u'\n', Qt::SkipEmptyParts),
                                  previousClipboard, patienceMs);
    }
    // The middle of the pill's place (bottom centre, 28 px up) as sway shows it now.
    static QColor pillSpot()
    {
        const QImage shot = QImage::fromData(run("grim", {"-"}), "PNG");
        return shot.isNull() ? QColor() : shot.pixelColor(shot.width() / 2, shot.height() - 60);
    }

    void cleanup()
    {
        stop(m_clipboardOwner);
        stop(m_entry);
    }
};

QTEST_GUILESS_MAIN(WaylandEndToEndTest)
#include "WaylandEndToEndTest.moc"
