// The desktop application end to end, in the launcher's headless desktop: the real quillet with
// the speech and chat simulators, dictating into a GTK text entry with the push-to-talk key
// pressed through XTest.

#include "CliRunner.h"
#include "atspi/AtspiAccessibility.h"
#include "store/Entry.h"
#include "tools/RequireDesktop.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <algorithm>

using namespace quillet;

namespace {

constexpr int rightAlt = 108;
// Generous: the machine may be busy with other builds.
constexpr int patienceMs = 30000;

// What the speech simulator hears (a filler, so the default mode has the chat service clean it
// up) and what the chat simulator answers.
const QString spoken = QStringLiteral("um deploy it to cuba netties tonight");
const QString cleaned = QStringLiteral("Deploy it to cuba netties tonight.");
const QString fixedByHand = QStringLiteral("Deploy it to Kubernetes tonight.");
const QByteArray previousClipboard = QByteArrayLiteral("\x89PNG\r\n\x1a\nnot really an image");

QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(patienceMs))
        p.kill();
    return p.readAllStandardOutput();
}

void xdotool(const QStringList& args)
{
    run(QStringLiteral("xdotool"), args);
}

// Holds the push-to-talk key for `ms`.
void hold(int ms)
{
    xdotool({"keydown", QString::number(rightAlt), "sleep", QString::number(ms / 1000.0), "keyup",
             QString::number(rightAlt)});
}

} // namespace

class DesktopEndToEndTest : public QObject {
    Q_OBJECT
    CliRunner m_cli;
    QProcess m_speech;
    QProcess m_chat;
    QProcess m_player;
    QProcess m_entry;
    QProcess m_clipboardOwner;
    QProcess m_app;
    QString m_appErr;
    QElapsedTimer m_playing;
    // Reads the entry as the application does.
    AtspiAccessibility m_accessibility;

    QStringList quilletArgs() const
    {
        return {"-sonioxEndpoint", m_speechUrl,    "-baseURL.cerebras",
                m_chatUrl,         "-tailSeconds", "0.3"};
    }
    QString m_speechUrl;
    QString m_chatUrl;
    QString m_entryWindow;

    // The pill is on screen: a visible window of ours of its size.
    bool pillShown() const { return ourWindowOfSize("420x64"); }

    // A visible window of ours titled "Quillet" is `size` ("600x560") large.
    bool ourWindowOfSize(const char* size) const
    {
        const QByteArray ids =
            run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(m_app.processId()),
                            "--name", "^Quillet$"});
        for (const QByteArray& id : ids.split('\n')) {
            if (!id.isEmpty() &&
                run("xdotool", {"getwindowgeometry", QString::fromUtf8(id)}).contains(size))
                return true;
        }
        return false;
    }

    // What the application said on standard error so far.
    QString appErr()
    {
        m_appErr += QString::fromUtf8(m_app.readAllStandardError());
        return m_appErr;
    }
    QList<Entry> history() const
    {
        return Entry::decodeList(readFile(m_cli.dataFile("history.json"))).value_or(QList<Entry>());
    }
    // The text of the focused field.
    QString field()
    {
        const ElementHandle element = m_accessibility.focusedElement();
        return element ? m_accessibility.elementValue(element).value_or(QString()) : QString();
    }
    QByteArray clipboard(const QString& type) const
    {
        return run("xclip", {"-selection", "clipboard", "-o", "-t", type});
    }

private slots:
    void initTestCase()
    {
        QUILLET_REQUIRE_DESKTOP();
        // A microphone always delivers audio; the idle virtual one renders 2 s blocks until a
        // player has kept it busy for a while.
        m_player.setStandardInputFile("/dev/zero");
        m_player.start("pacat", {"--playback", "-d", "vmic_sink", "--latency-msec=10"});
        QVERIFY(m_player.waitForStarted());
        m_playing.start();
        m_cli.env.insert("SONIOX_API_KEY", "speech-key");
        m_cli.env.insert("CEREBRAS_API_KEY", "chat-key");
        const quint16 speechPort = CliRunner::startTool(
            m_speech, "speechsim/speechsim", {"--words", spoken, "--ms-per-word", "150"});
        const quint16 chatPort =
            CliRunner::startTool(m_chat, "chatsim/chatsim", {"--content", cleaned});
        QVERIFY(speechPort && chatPort);
        m_speechUrl = QStringLiteral("ws://127.0.0.1:%1/transcribe-websocket").arg(speechPort);
        m_chatUrl = QStringLiteral("http://127.0.0.1:%1/v1").arg(chatPort);

        m_entry.start("zenity", {"--entry", "--text", "Dictate here"});
        const QByteArray windows =
            run("xdotool", {"search", "--sync", "--onlyvisible", "--class", "zenity"});
        QVERIFY(!windows.trimmed().isEmpty());
        const QString window = QString::fromUtf8(windows.trimmed().split('\n').last());
        m_entryWindow = window;
        m_accessibility.start();
        QTRY_VERIFY_WITH_TIMEOUT(m_accessibility.isAvailable(), patienceMs);
        // The entry has the focus, as the application will see it, once a letter typed shows up
        // there.
        for (int attempt = 0; attempt < 10 && field().isEmpty(); ++attempt) {
            xdotool({"windowfocus", "--sync", window});
            xdotool({"type", "x"});
            (void)QTest::qWaitFor([&] { return !field().isEmpty(); }, 3000);
        }
        QVERIFY(field().startsWith(u'x'));
        xdotool({"key", "ctrl+a", "BackSpace"});
        QTRY_COMPARE_WITH_TIMEOUT(field(), "", patienceMs);

        // Another application's clipboard, in a format that is not text.
        m_clipboardOwner.start("xclip", {"-selection", "clipboard", "-t", "image/png", "-i"});
        m_clipboardOwner.write(previousClipboard);
        m_clipboardOwner.closeWriteChannel();
        QTRY_COMPARE_WITH_TIMEOUT(clipboard("image/png"), previousClipboard, patienceMs);
    }

    void cleanupTestCase()
    {
        for (QProcess* p : {&m_app, &m_entry, &m_player, &m_speech, &m_chat, &m_clipboardOwner}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
        }
    }

    void toggleNeedsARunningApplication()
    {
        const auto r = m_cli.run({"toggle"});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, "quillet toggle: Quillet is not running (start it with \"quillet\")\n");
    }

    // One instance per session: a second one hands over, and the first brings its settings
    // window up; the entry then takes the keyboard back.
    void startsOnce()
    {
        m_cli.start(m_app, quilletArgs());
        QTRY_VERIFY_WITH_TIMEOUT(appErr().contains("ready: hold Right Alt to dictate"), patienceMs);
        const auto second = m_cli.run(quilletArgs());
        QCOMPARE(second.code, 0);
        QCOMPARE(second.err, "quillet: Quillet is already running\n");
        QTRY_VERIFY_WITH_TIMEOUT(ourWindowOfSize("600x560"), patienceMs);
        xdotool({"windowfocus", "--sync", m_entryWindow});
    }

    // Hold, speak, release: the text is in the entry, and the previous clipboard is back.
    void holdToDictate()
    {
        QTest::qWait(std::max(0, 3000 - int(m_playing.elapsed())));
        // The pill comes up while the key is held, and the entry keeps the keyboard.
        xdotool({"keydown", QString::number(rightAlt)});
        QTRY_VERIFY_WITH_TIMEOUT(pillShown(), patienceMs);
        QCOMPARE(QString::fromUtf8(run("xdotool", {"getwindowfocus"}).trimmed()), m_entryWindow);
        QTest::qWait(1500);
        xdotool({"keyup", QString::number(rightAlt)});
        QTRY_COMPARE_WITH_TIMEOUT(field(), cleaned, patienceMs);
        QCOMPARE(history().size(), 1);
        QCOMPARE(history().first().raw, spoken);
        QCOMPARE(history().first().text, cleaned);
        QTRY_COMPARE_WITH_TIMEOUT(clipboard("image/png"), previousClipboard, patienceMs);
        QVERIFY(!clipboard("TARGETS").contains("TransientType"));

        // A fix typed into the field soon after is learned.
        xdotool({"key", "ctrl+a"});
        xdotool({"type", "--delay", "10", fixedByHand});
        QTRY_VERIFY_WITH_TIMEOUT(appErr().contains("quillet: Learned Kubernetes\n"), patienceMs);
        const QJsonObject vocab =
            QJsonDocument::fromJson(readFile(m_cli.dataFile("vocabulary.json"))).object();
        QCOMPARE(vocab["replacements"].toArray().first()["from"].toString(), "cuba netties");
        QCOMPARE(vocab["replacements"].toArray().first()["to"].toString(), "Kubernetes");
    }

    // A second dictation goes after the first with a space; what was learned applies to it.
    void secondDictation()
    {
        hold(1800);
        QTRY_COMPARE_WITH_TIMEOUT(field(), fixedByHand + u' ' + fixedByHand, patienceMs);
        QCOMPARE(history().first().text, fixedByHand);
    }

    // Double tap locks; the next press finishes. Then the same from the command line.
    void lockedDictations()
    {
        const QString key = QString::number(rightAlt);
        xdotool({"keydown", key, "keyup", key, "sleep", "0.15", "keydown", key, "keyup", key,
                 "sleep", "1.8", "keydown", key, "sleep", "0.05", "keyup", key});
        QTRY_COMPARE_WITH_TIMEOUT(field(), QStringList(3, fixedByHand).join(u' '), patienceMs);

        QCOMPARE(m_cli.run({"toggle"}).code, 0);
        QTest::qWait(1800);
        QCOMPARE(m_cli.run({"toggle"}).code, 0);
        QTRY_COMPARE_WITH_TIMEOUT(field(), QStringList(4, fixedByHand).join(u' '), patienceMs);
    }

    // Escape while recording: nothing is inserted (last: the simulator resumes a session that
    // did not finish where it stopped).
    void escapeCancels()
    {
        xdotool({"keydown", QString::number(rightAlt), "sleep", "0.8", "key", "Escape", "sleep",
                 "0.2", "keyup", QString::number(rightAlt)});
        QTRY_VERIFY_WITH_TIMEOUT(appErr().contains("quillet: Cancelled\n"), patienceMs);
        QTest::qWait(1000);
        QCOMPARE(history().size(), 4);
    }

    // The entry holds every dictation once, one space apart, and nothing of the cancelled one.
    void theEntryHoldsEverything()
    {
        xdotool({"key", "Return"});
        QVERIFY(m_entry.waitForFinished(patienceMs));
        const QString text = QString::fromUtf8(m_entry.readAllStandardOutput()).trimmed();
        QCOMPARE(text, QStringList(4, fixedByHand).join(u' '));
    }
};

QTEST_GUILESS_MAIN(DesktopEndToEndTest)
#include "DesktopEndToEndTest.moc"
