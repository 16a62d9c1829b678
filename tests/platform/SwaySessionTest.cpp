// The Wayland adapters in a real compositor: the headless sway of tests/tools/with-wayland.sh, with
// GTK 3 and GTK 4 entries read back through AT-SPI, the clipboard of another client (wltool) and
// sway's own key bindings running `quillet ptt`.

#include "atspi/AtspiAccessibility.h"
#include "atspi/AtspiWorkspace.h"
#include "dbus/CommandKeyMonitor.h"
#include "platform/KeyMonitor.h"
#include "platform/PasteSender.h"
#include "session/DesktopAdapters.h"
#include "session/SessionProbe.h"
#include "util/Clock.h"
#include "util/TestSupport.h"
#include "wayland/DataControlPasteboard.h"
#include "wayland/SeatKeymap.h"
#include "wayland/SwayWorkspace.h"
#include "wayland/VirtualKeyboardPasteSender.h"
#include "wayland/WaylandConnection.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace quillet;

namespace {

// Runs a tool to its end while our event loop keeps turning (it may be reading our clipboard).
QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 10000)) {
        p.kill();
        p.waitForFinished();
        qWarning() << program << args << "did not finish";
    }
    return p.readAllStandardOutput();
}

QString tool(const char* name)
{
    return qEnvironmentVariable("QUILLET_TEST_TOOLS") + u'/' + QLatin1String(name);
}

// What wltool prints: "TYPE=HEX" lines, in the order offered.
PasteboardItem shown(const QByteArray& lines)
{
    PasteboardItem item;
    for (const QString& line : QString::fromUtf8(lines).split(u'\n', Qt::SkipEmptyParts))
        item.append(
            {line.section(u'=', 0, -2), QByteArray::fromHex(line.section(u'=', -1).toLatin1())});
    return item;
}

// Another client's clipboard entry, held while the object lives.
class ForeignClipboard {
public:
    explicit ForeignClipboard(const PasteboardItem& item)
    {
        QStringList args{"own"};
        for (const auto& [type, bytes] : item)
            args << type + u'=' + QString::fromLatin1(bytes.toHex());
        m_process.start(tool("wltool/wltool"), args);
        ready = QTest::qWaitFor([&] { return m_process.canReadLine(); }, 10000);
    }
    ~ForeignClipboard()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    bool ready = false;

private:
    QProcess m_process;
};

// A window with one text entry, which takes the focus as sway shows it.
class EntryWindow {
public:
    EntryWindow(const QString& program, const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GDK_BACKEND", "wayland");
        m_process.setProcessEnvironment(env);
        m_process.start(program, args);
    }
    ~EntryWindow()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
};

} // namespace

class SwaySessionTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qEnvironmentVariable("XDG_CURRENT_DESKTOP") != u"sway")
            QSKIP("needs the session of tests/tools/with-wayland.sh");
        m_connection = WaylandConnection::open();
        QVERIFY(m_connection);
        // The layout of the user's keyboard, as the compositor tells every client; one virtual
        // keyboard for the run, as the program keeps it.
        m_keymap = std::make_unique<SeatKeymap>(*m_connection);
        QVERIFY(m_keymap->fromCompositor());
        m_layout = qEnvironmentVariable("QUILLET_EXPECTED_LAYOUT", "English (US)");
        QCOMPARE(m_keymap->keymap()->layoutName(), m_layout);
        m_sender = std::make_unique<VirtualKeyboardPasteSender>(*m_connection, *m_keymap);
        QVERIFY(m_sender->isAvailable());
        m_accessibility.start();
        QTRY_VERIFY_WITH_TIMEOUT(m_accessibility.isAvailable(), 10000);
    }

    // The probe sees sway's globals and socket; each function gets its best adapter here, and
    // the key counts as working because sway's configuration binds the commands.
    void probeAndChoice()
    {
        SessionInfo info = SessionProbe::local();
        QCOMPARE(info.kind, SessionInfo::Kind::wayland);
        QVERIFY(info.isDesktop("sway"));
        QVERIFY(info.hasGlobal("zwp_virtual_keyboard_manager_v1"));
        QVERIFY(info.hasGlobal("zwlr_data_control_manager_v1"));
        QVERIFY(info.hasGlobal("zwlr_layer_shell_v1"));
        QVERIFY(info.swayIpc);
        QVERIFY(!info.xDisplay);
        QCOMPARE(SessionProbe::qtPlatform(info), QByteArray());
        // The portal's GNOME backend is not for sway: it offers neither typing nor shortcuts.
        finish([&]() -> QCoro::Task<void> {
            QCoro::Task<SessionInfo> asking = SessionProbe::withPortals(info);
            info = co_await asking;
        }());
        QVERIFY(!info.hasPortal("org.freedesktop.portal.RemoteDesktop"));
        QVERIFY(!info.hasPortal("org.freedesktop.portal.GlobalShortcuts"));

        SystemClock clock;
        DesktopAdapters adapters(info, clock, m_accessibility);
        QVERIFY(adapters.keyMonitor().start());
        QVERIFY(adapters.pasteSender().isAvailable());
        QVERIFY(adapters.overlay());
        QStringList inUse;
        for (const AdapterChoice::Status& status : adapters.status())
            inUse << status.functionName + ": " + status.adapterName;
        QCOMPARE(inUse,
                 (QStringList{
                     "Push-to-talk key: Shortcut commands (quillet ptt, quillet toggle)",
                     "Pasting: Virtual keyboard", "Clipboard: Wayland clipboard manager protocol",
                     "Floating pill: Layer-shell overlay", "Front application: sway window tree"}));
        QVERIFY(adapters.pushToTalkReady());
    }

    // Another client's entry with several types is saved whole, the toolkit's own image type
    // left out; what we write and put back is what another client reads.
    void clipboard()
    {
        DataControlPasteboard clipboard(*m_connection);
        QVERIFY(clipboard.isAvailable());
        QCOMPARE(clipboard.protocol(), QByteArray("zwlr_data_control_manager_v1"));

        const QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
        const PasteboardItem theirs{{"text/plain;charset=utf-8", "Grüße"},
                                    {"image/png", png},
                                    {"application/x-qt-image", "decoded"},
                                    {"SAVE_TARGETS", "x"},
                                    {"text/html", "<b>Grüße</b>"}};
        const PasteboardItem saved{theirs[0], theirs[1], theirs[4]};
        qint64 count = clipboard.changeCount();
        {
            ForeignClipboard other(theirs);
            QVERIFY(other.ready);
            QTRY_VERIFY(clipboard.changeCount() > count);
            QCOMPARE(clipboard.items(), QList<PasteboardItem>{saved});

            count = clipboard.changeCount();
            clipboard.writeText("dictated", true);
            QCOMPARE(clipboard.changeCount(), count + 1);
            const PasteboardItem pasted = shown(run(tool("wltool/wltool"), {"show"}));
            QCOMPARE(pasted.value(0),
                     (QPair<QString, QByteArray>("text/plain;charset=utf-8", "dictated")));
            // Marked for clipboard managers to pass over.
            const QByteArray types = run(tool("wltool/wltool"), {"types"});
            QVERIFY(types.contains("\norg.nspasteboard.TransientType\n"));
            QVERIFY(types.contains("\nx-kde-passwordManagerHint\n"));
            // Our own change came back from the compositor without counting twice.
            QCOMPARE(clipboard.changeCount(), count + 1);
        }
        clipboard.writeItems({saved});
        QCOMPARE(shown(run(tool("wltool/wltool"), {"show"})), saved);

        // Someone else copies: the count moves, and theirs is what we read.
        count = clipboard.changeCount();
        ForeignClipboard later(PasteboardItem{{"text/plain", "later"}});
        QVERIFY(later.ready);
        QTRY_VERIFY(clipboard.changeCount() > count);
        QCOMPARE(clipboard.items(), (QList<PasteboardItem>{{{"text/plain", "later"}}}));
    }

    // The paste chord from a virtual keyboard with the user's layout lands in GTK 3 and GTK 4
    // entries, whatever the characters; sway names the window's application.
    void paste_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QString>("toolkitName");
        QTest::newRow("gtk3") << "zenity" << QStringList{"--entry", "--title", "GTK 3 entry"}
                              << "zenity"
                              << "zenity";
        QTest::newRow("gtk4") << "python3"
                              << QStringList{qEnvironmentVariable("QUILLET_SOURCE_DIR") +
                                             "/tests/tools/gtk4-text.py"}
                              << "com.fernwick.quillet.TestText"
                              << "python3";
    }
    void paste()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, appId);
        QFETCH(QString, toolkitName);
        DataControlPasteboard clipboard(*m_connection);
        SwayWorkspace workspace;

        EntryWindow window(program, args);
        QTRY_VERIFY_WITH_TIMEOUT(workspace.frontApp() && workspace.frontApp()->pid == window.pid(),
                                 15000);
        const auto front = workspace.frontApp();
        QCOMPARE(front->appId, appId);
        QVERIFY(!front->terminal);
        const QList<RunningApp> running = workspace.runningApps();
        QVERIFY(std::any_of(running.cbegin(), running.cend(),
                            [&](const RunningApp& app) { return app.appId == appId; }));
        // Any desktop: AT-SPI's view of the same window (the app id is the toolkit's name here,
        // as nothing launched these in an application unit).
        AtspiWorkspace accessible(m_accessibility);
        std::optional<FrontApp> seen;
        QTRY_VERIFY_WITH_TIMEOUT((seen = accessible.frontApp()) && seen->pid == window.pid(),
                                 10000);
        QCOMPARE(seen->windowTitle, front->windowTitle);
        QCOMPARE(seen->appId, toolkitName);
        const QList<RunningApp> apps = accessible.runningApps();
        QVERIFY(std::any_of(apps.cbegin(), apps.cend(),
                            [&](const RunningApp& app) { return app.appId == toolkitName; }));
        ElementHandle entry;
        QTRY_VERIFY_WITH_TIMEOUT((entry = m_accessibility.focusedElement()) &&
                                     m_accessibility.elementValue(entry) == QString(),
                                 15000);

        const QString text = QStringLiteral("Grüße aus Köln — café 25 €, naïve 😀");
        clipboard.writeText(text, true);
        QVERIFY(m_sender->postPaste(false));
        // Our own keyboard's layout came back as the seat's: still the user's.
        QCOMPARE(m_keymap->keymap()->layoutName(), m_layout);
        QTRY_COMPARE_WITH_TIMEOUT(m_accessibility.elementValue(entry), std::optional(text), 10000);
    }

    // sway's own bindings on Right Alt run `quillet ptt begin` on press and `quillet ptt end` on
    // release; the running instance turns them into the push-to-talk key.
    void pushToTalkBinding()
    {
        SystemClock clock;
        CommandKeyMonitor monitor(clock);
        QVERIFY(monitor.start());
        QVERIFY(QDBusConnection::sessionBus().registerService(CommandKeyMonitor::service));
        QStringList seen;
        connect(&monitor, &KeyMonitor::keyEvent, this, [&](const KeyEvent& e) {
            seen << QStringLiteral("F%1:%2").arg(e.keyCode).arg(e.flags, 0, 16);
        });
        // One typing client presses and releases: a release from another keyboard is not this
        // key's.
        QProcess typing;
        typing.start("wtype", {"-P", "Alt_R", "-s", "1500", "-p", "Alt_R"});
        QTRY_COMPARE_WITH_TIMEOUT(seen, QStringList{"F61:40"}, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(seen, (QStringList{"F61:40", "F61:0"}), 10000);
        typing.waitForFinished();
        QDBusConnection::sessionBus().unregisterService(CommandKeyMonitor::service);
    }

private:
    std::unique_ptr<WaylandConnection> m_connection;
    std::unique_ptr<SeatKeymap> m_keymap;
    std::unique_ptr<VirtualKeyboardPasteSender> m_sender;
    QString m_layout;
    AtspiAccessibility m_accessibility;
};

QTEST_GUILESS_MAIN(SwaySessionTest)
#include "SwaySessionTest.moc"
