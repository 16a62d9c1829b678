#include "session/AdapterChoice.h"

#include "FakeKeyMonitor.h"
#include "FakePasteSender.h"
#include "session/FallbackKeyMonitor.h"
#include "session/FallbackPasteSender.h"
#include "session/SessionProbe.h"

#include <QTest>

using namespace quillet;

Q_DECLARE_METATYPE(quillet::SessionInfo)

namespace {

using Adapter = AdapterChoice::Adapter;
using Function = AdapterChoice::Function;

// Sessions as the desktops of Debian 12 present themselves to an ordinary user.
SessionInfo gnome()
{
    SessionInfo s;
    s.kind = SessionInfo::Kind::wayland;
    s.desktops = {"GNOME"};
    s.xDisplay = true;
    s.waylandGlobals = {{"wl_seat", 8}, {"wl_compositor", 5}, {"xdg_wm_base", 4}};
    s.portals = {{"org.freedesktop.portal.RemoteDesktop", 1},
                 {"org.freedesktop.portal.Clipboard", 1}};
    s.keyboards = 2;
    s.qtPlatform = "xcb";
    s.user = "ada";
    return s;
}

SessionInfo kde()
{
    SessionInfo s = gnome();
    s.desktops = {"KDE"};
    s.waylandGlobals.insert("zwlr_layer_shell_v1", 4);
    s.waylandGlobals.insert("zwlr_data_control_manager_v1", 2);
    s.portals.insert("org.freedesktop.portal.GlobalShortcuts", 1);
    s.qtPlatform = {};
    return s;
}

SessionInfo sway()
{
    SessionInfo s;
    s.kind = SessionInfo::Kind::wayland;
    s.desktops = {"sway"};
    s.waylandGlobals = {{"wl_seat", 7},
                        {"zwlr_layer_shell_v1", 4},
                        {"zwlr_data_control_manager_v1", 2},
                        {"zwp_virtual_keyboard_manager_v1", 1}};
    s.swayIpc = true;
    s.qtPlatform = "wayland";
    return s;
}

SessionInfo x11()
{
    SessionInfo s;
    s.kind = SessionInfo::Kind::x11;
    s.desktops = {"XFCE"};
    s.xDisplay = true;
    s.keyboards = 1;
    return s;
}

QStringList names(const QList<Adapter>& adapters)
{
    QStringList out;
    for (const Adapter a : adapters)
        out << AdapterChoice::name(a);
    return out;
}

} // namespace

class AdapterChoiceTest : public QObject {
    Q_OBJECT
private slots:
    // Best first, as the program tries them.
    void candidates_data()
    {
        QTest::addColumn<SessionInfo>("session");
        QTest::addColumn<Function>("function");
        QTest::addColumn<QStringList>("adapters");
        const auto row = [](const char* name, const SessionInfo& s, Function f,
                            QStringList adapters) { QTest::newRow(name) << s << f << adapters; };
        SessionInfo gnomeInput = gnome();
        gnomeInput.readableKeyboards = 2;
        row("gnome key", gnome(), Function::pushToTalkKey,
            {"Keyboard devices", "Shortcut commands (quillet ptt, quillet toggle)"});
        row("gnome paste", gnome(), Function::paste, {"Remote desktop portal", "Copy only"});
        row("gnome clipboard", gnome(), Function::clipboard,
            {"X11 clipboard through Xwayland", "Toolkit clipboard"});
        row("gnome pill", gnome(), Function::pill,
            {"X11 overlay window through Xwayland", "None (tray icon)"});
        row("gnome front app", gnome(), Function::frontApp, {"Accessibility (AT-SPI)"});
        row("kde key", kde(), Function::pushToTalkKey,
            {"Keyboard devices", "Desktop shortcut",
             "Shortcut commands (quillet ptt, quillet toggle)"});
        row("kde clipboard", kde(), Function::clipboard,
            {"Wayland clipboard manager protocol", "Toolkit clipboard"});
        row("kde pill", kde(), Function::pill, {"Layer-shell overlay", "None (tray icon)"});
        row("sway pill", sway(), Function::pill, {"Layer-shell overlay", "None (tray icon)"});
        SessionInfo bare = sway();
        bare.waylandGlobals.remove("zwlr_layer_shell_v1");
        row("no layer shell, no Xwayland", bare, Function::pill, {"None (tray icon)"});
        row("sway key, no keyboard devices", sway(), Function::pushToTalkKey,
            {"Shortcut commands (quillet ptt, quillet toggle)"});
        SessionInfo swayUinput = sway();
        swayUinput.uinputWritable = true;
        row("sway paste", swayUinput, Function::paste,
            {"Virtual keyboard", "Kernel virtual keyboard (uinput)", "Copy only"});
        row("sway front app", sway(), Function::frontApp,
            {"sway window tree", "Accessibility (AT-SPI)"});
        row("x11 key", x11(), Function::pushToTalkKey,
            {"X11 key events", "Shortcut commands (quillet ptt, quillet toggle)"});
        row("x11 paste", x11(), Function::paste, {"X11 test keyboard", "Copy only"});
        row("x11 clipboard", x11(), Function::clipboard, {"X11 clipboard"});
        row("x11 front app", x11(), Function::frontApp,
            {"X11 window manager", "Accessibility (AT-SPI)"});
        row("no display", SessionInfo(), Function::paste, {"Copy only"});
    }
    void candidates()
    {
        QFETCH(SessionInfo, session);
        QFETCH(Function, function);
        QFETCH(QStringList, adapters);
        QCOMPARE(names(AdapterChoice::candidates(function, session)), adapters);
    }

    // The toolkit goes through Xwayland only where the native platform lacks the pill's overlay
    // or the clipboard.
    void qtPlatform()
    {
        SessionInfo kdeOldClipboard = kde();
        kdeOldClipboard.waylandGlobals.remove("zwlr_data_control_manager_v1");
        SessionInfo kdeNewClipboard = kdeOldClipboard;
        kdeNewClipboard.waylandGlobals.insert("ext_data_control_manager_v1", 1);
        SessionInfo swayXwayland = sway();
        swayXwayland.xDisplay = true;
        const struct {
            const char* name;
            SessionInfo session;
            QByteArray platform;
        } rows[] = {
            {"gnome", gnome(), "xcb"},
            {"kde", kde(), ""},
            {"kde without data-control", kdeOldClipboard, "xcb"},
            {"kde with the ext clipboard", kdeNewClipboard, ""},
            {"sway with Xwayland", swayXwayland, ""},
            {"sway without", sway(), ""},
            {"x11", x11(), ""},
        };
        for (const auto& row : rows)
            QVERIFY2(SessionProbe::qtPlatform(row.session) == row.platform, row.name);
    }

    // What the settings say is missing, and the one thing that fixes it.
    void fixIts_data()
    {
        QTest::addColumn<SessionInfo>("session");
        QTest::addColumn<Function>("function");
        QTest::addColumn<Adapter>("adapter");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("works");
        QTest::addColumn<QString>("fix"); // "label: command"
        const auto row = [](const char* name, const SessionInfo& s, Function f, Adapter a,
                            bool works, const char* fix, const QString& detail = {}) {
            QTest::newRow(name) << s << f << a << detail << works << QString(fix);
        };
        row("gnome, keyboards locked", gnome(), Function::pushToTalkKey, Adapter::shortcutCommands,
            false, "Copy command: sudo usermod -aG input ada");
        SessionInfo noKeyboards = gnome();
        noKeyboards.keyboards = 0;
        row("no keyboard devices at all", noKeyboards, Function::pushToTalkKey,
            Adapter::shortcutCommands, false, "Copy command: quillet toggle");
        row("sway binding", sway(), Function::pushToTalkKey, Adapter::shortcutCommands, false,
            "Copy sway lines: bindcode --no-repeat 108 exec quillet ptt begin\n"
            "bindcode --release 108 exec quillet ptt end");
        SessionInfo kdeInput = kde();
        kdeInput.readableKeyboards = 2;
        row("kde shortcut", kdeInput, Function::pushToTalkKey, Adapter::portalShortcut, true,
            "Change shortcut: systemsettings kcm_keys");
        row("evdev", kdeInput, Function::pushToTalkKey, Adapter::evdevKeys, true, "");
        row("gnome, typing not allowed", gnome(), Function::paste, Adapter::copyOnly, false,
            "Allow typing: ");
        // Nothing to press while the desktop's own dialog is open.
        row("gnome, the desktop asks", gnome(), Function::paste, Adapter::copyOnly, false, "",
            AdapterChoice::asking);
        SessionInfo noPortal = sway();
        noPortal.waylandGlobals.remove("zwp_virtual_keyboard_manager_v1");
        row("no portal, no uinput", noPortal, Function::paste, Adapter::copyOnly, false,
            "Copy command: sudo ln -sf /usr/share/quillet/udev/70-quillet-input.rules "
            "/etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger");
        row("focused clipboard", gnome(), Function::clipboard, Adapter::focusedClipboard, false,
            "");
        row("tray only", gnome(), Function::pill, Adapter::trayOnly, false, "");
    }
    void fixIts()
    {
        QFETCH(SessionInfo, session);
        QFETCH(Function, function);
        QFETCH(Adapter, adapter);
        QFETCH(QString, detail);
        QFETCH(bool, works);
        QFETCH(QString, fix);
        const auto status = AdapterChoice::status(function, adapter, session, detail);
        QCOMPARE(status.works, works);
        QCOMPARE(status.fix.kind == AdapterChoice::FixIt::Kind::none, fix.isEmpty());
        if (!fix.isEmpty())
            QCOMPARE(status.fix.label + ": " + status.fix.command, fix);
        // Whatever does not simply work says why.
        QVERIFY(works || !status.missing.isEmpty());
    }

    // The desktop shortcut names its chord; until it is bound, or when it is lost, the next
    // monitor takes over, and only the monitor in use is heard.
    void fallbackKeyMonitor()
    {
        auto evdev = std::make_unique<FakeKeyMonitor>();
        auto shortcut = std::make_unique<FakeKeyMonitor>();
        auto commands = std::make_unique<FakeKeyMonitor>();
        FakeKeyMonitor* e = evdev.get();
        FakeKeyMonitor* s = shortcut.get();
        FakeKeyMonitor* c = commands.get();
        e->available = false;
        s->deferred = true;
        std::vector<std::unique_ptr<KeyMonitor>> all;
        all.push_back(std::move(evdev));
        all.push_back(std::move(shortcut));
        all.push_back(std::move(commands));
        FallbackKeyMonitor monitor(std::move(all));
        QStringList seen;
        connect(&monitor, &KeyMonitor::keyEvent, this,
                [&](const KeyEvent& ev) { seen << QString::number(ev.keyCode); });

        QVERIFY(monitor.start());
        QCOMPARE(monitor.activeIndex(), 1);
        QVERIFY(!monitor.isAvailable());
        s->settle(true);
        QVERIFY(monitor.isAvailable());
        s->flagsChanged(61, 0x40);
        c->flagsChanged(62, 0x2000);
        QCOMPARE(seen, QStringList{"61"});

        monitor.setPushToTalkKey(54);
        QCOMPARE(e->pushToTalkKey, 54);
        QCOMPARE(c->pushToTalkKey, 54);

        s->settle(false);
        QCOMPARE(monitor.activeIndex(), 2);
        QVERIFY(monitor.isAvailable());
        s->flagsChanged(61, 0x40);
        c->flagsChanged(54, 0x10);
        QCOMPARE(seen, (QStringList{"61", "54"}));
        QCOMPARE(e->startCalls, 1);
    }

    // The first sender that works at the moment of pasting pastes.
    void fallbackPasteSender()
    {
        FakePasteSender portal;
        FakePasteSender uinput;
        portal.available = false;
        uinput.available = false;
        FallbackPasteSender sender({&portal, &uinput});
        QVERIFY(!sender.isAvailable());
        QVERIFY(!sender.postPaste(false));
        QCOMPARE(sender.copyOnlyMessage(), QString("Copied — press Ctrl+V to paste"));
        uinput.available = true;
        QVERIFY(sender.postPaste(false));
        portal.available = true; // the user allowed the desktop's session
        QVERIFY(sender.postPaste(true));
        QCOMPARE(uinput.chords, QStringList{"ctrl+v"});
        QCOMPARE(portal.chords, QStringList{"ctrl+shift+v"});
    }
};

QTEST_GUILESS_MAIN(AdapterChoiceTest)
#include "AdapterChoiceTest.moc"
