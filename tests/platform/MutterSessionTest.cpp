// The GNOME route in GNOME's own compositor, headless (tests/tools/with-wayland.sh --mutter):
// what the probe finds, the desktop portal asked to let Quillet type, and the clipboard through
// Xwayland to and from a native Wayland window. The program runs on X11 through Xwayland here,
// as the probe advises on GNOME. The user's keys come from tests/tools/mutter-hands.py.

#include "atspi/AtspiAccessibility.h"
#include "platform/PasteSender.h"
#include "platform/Pasteboard.h"
#include "session/DesktopAdapters.h"
#include "session/SessionProbe.h"
#include "util/Clock.h"
#include "util/TestSupport.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTest>

#include <atspi/atspi.h>

using namespace quillet;

class MutterSessionTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!qEnvironmentVariableIsSet("QUILLET_WAYLAND_WORK") ||
            qEnvironmentVariable("XDG_CURRENT_DESKTOP") != u"GNOME")
            QSKIP("needs the session of tests/tools/with-wayland.sh --mutter");
        m_accessibility.start();
        QTRY_VERIFY_WITH_TIMEOUT(m_accessibility.isAvailable(), 10000);
    }

    // What the probe finds on GNOME, and what the adapters make of it.
    void probeAndChoice()
    {
        SessionInfo info = SessionProbe::local();
        QCOMPARE(info.kind, SessionInfo::Kind::wayland);
        QVERIFY(info.isDesktop("GNOME"));
        QVERIFY(info.xDisplay);
        // Mutter offers ordinary clients none of these.
        QVERIFY(!info.hasGlobal("zwp_virtual_keyboard_manager_v1"));
        QVERIFY(!info.hasGlobal("zwlr_data_control_manager_v1"));
        QVERIFY(!info.hasGlobal("zwlr_layer_shell_v1"));
        QCOMPARE(SessionProbe::qtPlatform(info), QByteArray("xcb"));
        finish([&]() -> QCoro::Task<void> {
            QCoro::Task<SessionInfo> asking = SessionProbe::withPortals(info);
            info = co_await asking;
        }());
        QVERIFY(info.hasPortal("org.freedesktop.portal.RemoteDesktop"));
        info.qtPlatform = QGuiApplication::platformName();
        m_info = info;
    }

    // Our X11 clipboard, through Xwayland, reaches a native Wayland window; what a Wayland
    // window copies comes back the same way, for saving and restoring.
    void clipboardThroughXwayland()
    {
        SystemClock clock;
        SessionInfo noPortal = m_info;
        noPortal.portals.clear();
        DesktopAdapters adapters(noPortal, clock, m_accessibility);
        QCOMPARE(adapters.status().at(2).adapterName, QString("X11 clipboard through Xwayland"));
        Pasteboard& clipboard = adapters.pasteboard();

        QProcess entry;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GDK_BACKEND", "wayland");
        entry.setProcessEnvironment(env);
        entry.start("zenity", {"--entry", "--title", "GTK 3 entry"});
        // Headless mutter never marks a window active, so the field is looked up, not followed.
        QTRY_COMPARE_WITH_TIMEOUT(entryText(entry.processId()), std::optional(QString()), 15000);

        const QString text = QStringLiteral("Grüße aus Köln — café 25 €, naïve 😀");
        clipboard.writeText(text, true);
        hands({"Control_L+v"});
        QTRY_COMPARE_WITH_TIMEOUT(entryText(entry.processId()), std::optional(text), 10000);

        const qint64 before = clipboard.changeCount();
        hands({"x", "Control_L+a", "Control_L+c"});
        QTRY_VERIFY_WITH_TIMEOUT(clipboard.changeCount() > before, 10000);
        const QList<PasteboardItem> items = clipboard.items();
        QCOMPARE(items.size(), 1);
        QVERIFY(
            items[0].contains({QStringLiteral("text/plain;charset=utf-8"), (text + "x").toUtf8()}));
        entry.kill();
        entry.waitForFinished();
    }

    // Nothing better can type, so the adapters ask the desktop at once: its dialog appears, and
    // while it is open the settings say so; the user declines, and the settings offer to ask
    // again. (Accepting cannot be played here: GTK 4.8's dialog answers no accessible click and
    // keeps its Share button out of the keyboard's reach; the fake portal's test accepts.)
    void typingAsked()
    {
        SystemClock clock;
        DesktopAdapters adapters(m_info, clock, m_accessibility);
        QVERIFY(!adapters.pasteSender().isAvailable());
        QCOMPARE(adapters.status().at(1).missing,
                 QString("The desktop is asking whether Quillet may type: answer its dialog."));
        QTRY_VERIFY_WITH_TIMEOUT(portalDialogShown(), 20000);
        QCOMPARE(adapters.status().at(1).adapterName, QString("Copy only"));

        hands({"Escape"});
        QTRY_COMPARE_WITH_TIMEOUT(adapters.status().at(1).fix.label, QString("Allow typing"),
                                  20000);
        QVERIFY(!adapters.pasteSender().isAvailable());
        QCOMPARE(adapters.pasteSender().copyOnlyMessage(),
                 QString("Copied — press Ctrl+V to paste"));
    }

private:
    static void hands(const QStringList& chords)
    {
        QProcess p;
        p.start("python3", QStringList{qEnvironmentVariable("QUILLET_SOURCE_DIR") +
                                           "/tests/tools/mutter-hands.py",
                                       "keys"} +
                               chords);
        // Our event loop keeps turning: a paste reads our clipboard.
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 20000));
        QCOMPARE(p.exitCode(), 0);
    }

    // The text of the first text field of the application with process `pid`.
    static std::optional<QString> entryText(qint64 pid)
    {
        std::optional<QString> found;
        AtspiAccessible* desktop = atspi_get_desktop(0);
        const int apps = atspi_accessible_get_child_count(desktop, nullptr);
        for (int i = 0; i < apps && !found; ++i) {
            AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
            if (app && atspi_accessible_get_process_id(app, nullptr) == pid)
                found = textBelow(app, 0);
            if (app)
                g_object_unref(app);
        }
        g_object_unref(desktop);
        return found;
    }
    static std::optional<QString> textBelow(AtspiAccessible* node, int depth)
    {
        if (atspi_accessible_get_role(node, nullptr) == ATSPI_ROLE_TEXT) {
            gchar* text = atspi_text_get_text(ATSPI_TEXT(node), 0, -1, nullptr);
            std::optional<QString> out =
                text ? std::optional(QString::fromUtf8(text)) : std::nullopt;
            g_free(text);
            return out;
        }
        std::optional<QString> found;
        const int children = depth < 20 ? atspi_accessible_get_child_count(node, nullptr) : 0;
        for (int c = 0; c < children && !found; ++c) {
            AtspiAccessible* child = atspi_accessible_get_child_at_index(node, c, nullptr);
            if (child) {
                found = textBelow(child, depth + 1);
                g_object_unref(child);
            }
        }
        return found;
    }

    // The desktop portal's remote-desktop dialog is on the screen.
    bool portalDialogShown()
    {
        for (const AccessibleApp& app : m_accessibility.applications()) {
            if (app.name == u"xdg-desktop-portal-gnome")
                return true;
        }
        return false;
    }

    AtspiAccessibility m_accessibility;
    SessionInfo m_info;
};

int main(int argc, char** argv)
{
    // The platform the probe advises on GNOME, whatever the test runner asks for.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    MutterSessionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MutterSessionTest.moc"
