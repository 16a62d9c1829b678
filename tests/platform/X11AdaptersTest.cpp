// The X11 adapters against a real X server (the launcher's Xvfb with its window manager, and a
// bare Xvfb of the test's own): keyboard watch, synthetic paste, clipboard, front application.

#include "tools/RequireDesktop.h"
#include "util/TestSupport.h"
#include "x11/QtPasteboard.h"
#include "x11/X11KeyMonitor.h"
#include "x11/X11PasteSender.h"
#include "x11/X11Workspace.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <cstring>

using namespace quillet;

namespace {

// Runs a tool to its end while our event loop keeps turning (it may need our clipboard).
QByteArray run(const QString& program, const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(program, args);
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 10000)) {
        p.kill();
        p.waitForFinished();
        qWarning() << program << args << "did not finish";
    }
    return p.readAllStandardOutput();
}

void xdotool(const QString& args)
{
    run(QStringLiteral("xdotool"), args.split(u' '));
}

QString format(const KeyEvent& e)
{
    return QStringLiteral("%1%2:%3")
        .arg(QChar(e.type == KeyEvent::Type::keyDown ? u'D' : u'F'))
        .arg(e.keyCode)
        .arg(e.flags, 0, 16);
}

// Collects a monitor's events in the format of the key tracker's test.
struct Recorder {
    explicit Recorder(KeyMonitor& m)
    {
        QObject::connect(&m, &KeyMonitor::keyEvent, &m,
                         [this](const KeyEvent& e) { events << format(e); });
    }
    QStringList events;
};

// A top-level window of our own with the properties an application sets.
struct ProbeWindow {
    ProbeWindow(Display* dpy, const char* instance, const char* windowClass,
                std::optional<long> pid, const QByteArray& utf8Title, const QByteArray& latin1Name)
        : dpy(dpy)
    {
        window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 10, 10, 200, 100, 0, 0, 0);
        XClassHint hint{const_cast<char*>(instance), const_cast<char*>(windowClass)};
        XSetClassHint(dpy, window, &hint);
        if (pid) {
            XChangeProperty(dpy, window, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(&*pid), 1);
        }
        if (!utf8Title.isEmpty()) {
            XChangeProperty(dpy, window, XInternAtom(dpy, "_NET_WM_NAME", False),
                            XInternAtom(dpy, "UTF8_STRING", False), 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(utf8Title.constData()),
                            int(utf8Title.size()));
        }
        if (!latin1Name.isEmpty()) {
            XChangeProperty(dpy, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(latin1Name.constData()),
                            int(latin1Name.size()));
        }
        XMapWindow(dpy, window);
        XSync(dpy, False);
    }
    ~ProbeWindow()
    {
        XDestroyWindow(dpy, window);
        XSync(dpy, False);
    }
    Display* dpy;
    Window window = 0;
};

// Presses or releases a key on the X server's own keyboard device, as a physical keyboard does;
// xdotool goes through the XTest device instead, and the server keeps key state per device.
void physicalKey(Display* dpy, int keycode, bool press)
{
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(dpy, XIAllDevices, &count);
    int keyboard = -1;
    for (int i = 0; i < count; ++i) {
        if (devices[i].use == XISlaveKeyboard && !strstr(devices[i].name, "XTEST"))
            keyboard = devices[i].deviceid;
    }
    XIFreeDeviceInfo(devices);
    QVERIFY(keyboard >= 0);
    XDevice* device = XOpenDevice(dpy, XID(keyboard));
    QVERIFY(device);
    XTestFakeDeviceKeyEvent(dpy, device, unsigned(keycode), press, nullptr, 0, CurrentTime);
    XCloseDevice(dpy, device);
    XSync(dpy, False);
}

// The X server's own list of keys held, to check what a paste left behind.
bool keyIsDown(Display* dpy, int keycode)
{
    char keymap[32] = {};
    XQueryKeymap(dpy, keymap);
    return (keymap[keycode / 8] >> (keycode % 8)) & 1;
}

} // namespace

class X11AdaptersTest : public QObject {
    Q_OBJECT
public:
    // The clipboard has to be the X server's, not the offscreen platform's in-process one.
    static void initMain() { qputenv("QT_QPA_PLATFORM", "xcb"); }

private slots:
    void initTestCase()
    {
        QUILLET_REQUIRE_DESKTOP();
        m_dpy = XOpenDisplay(nullptr);
        QVERIFY(m_dpy);
    }
    void cleanupTestCase()
    {
        if (m_dpy)
            XCloseDisplay(m_dpy);
    }

    void keyMonitorSeesPushToTalkShiftAndEscape()
    {
        X11KeyMonitor monitor;
        QVERIFY(monitor.start());
        Recorder rec(monitor);
        // Right Alt by keycode: the keysym would press Left Alt as well.
        xdotool("keydown 108");
        xdotool("key shift");
        xdotool("keyup 108");
        xdotool("key Escape");
        xdotool("key a");
        QTRY_COMPARE(rec.events, QStringList({"F61:80040", "F56:a0042", "F56:80040", "F61:0",
                                              "D53:0", "D1038:0"}));
    }

    // XTest keys do not auto-repeat here; pressing a held key again is what a repeat looks like
    // to a raw-event client whose server does not flag repeats.
    void keyMonitorDropsRepeatedPresses()
    {
        X11KeyMonitor monitor;
        QVERIFY(monitor.start());
        Recorder rec(monitor);
        // A second watcher of our own counts what the server sends.
        Display* raw = XOpenDisplay(nullptr);
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawKeyPress);
        XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
        XISelectEvents(raw, DefaultRootWindow(raw), &mask, 1);
        XSync(raw, False);

        xdotool("keydown 38");
        xdotool("keydown 38");
        xdotool("keydown 38");
        xdotool("keyup 38");
        xdotool("key Escape");
        QTRY_COMPARE(rec.events, QStringList({"D1038:0", "D53:0"}));

        int presses = 0;
        XSync(raw, False);
        while (XPending(raw) > 0) {
            XEvent ev;
            XNextEvent(raw, &ev);
            presses += ev.type == GenericEvent;
        }
        XCloseDisplay(raw);
        QCOMPARE(presses, 4);
    }

    void keyMonitorCountsKeysHeldAtStart()
    {
        xdotool("keydown 108");
        X11KeyMonitor monitor;
        QVERIFY(monitor.start());
        Recorder rec(monitor);
        xdotool("keydown 50");
        xdotool("keyup 50");
        xdotool("keyup 108");
        QTRY_COMPARE(rec.events, QStringList({"F56:a0042", "F56:80040", "F61:0"}));
    }

    void pasteReachesTheFocusedEntry()
    {
        QtPasteboard pasteboard;
        X11PasteSender sender;
        QVERIFY(sender.isAvailable());
        X11KeyMonitor monitor;
        QVERIFY(monitor.start());
        Recorder rec(monitor);

        QProcess zenity;
        zenity.start("zenity", {"--entry", "--title", "Paste target"});
        const QByteArray wid =
            run("xdotool", {"search", "--sync", "--onlyvisible", "--name", "Paste target"})
                .split('\n')
                .first();
        QVERIFY(!wid.isEmpty());
        xdotool("windowactivate --sync " + QString::fromLatin1(wid));
        pasteboard.writeText(QString::fromUtf8("Grüße, 世界 😀"), false);

        // The user still holds Right Alt: without its release the chord is Ctrl+Alt+V.
        physicalKey(m_dpy, 108, true);
        QTRY_COMPARE(rec.events, QStringList({"F61:80040"}));
        rec.events.clear();
        QElapsedTimer clock;
        qint64 seenNs = 0;
        connect(&monitor, &KeyMonitor::keyEvent, this, [&](const KeyEvent& e) {
            if (e.keyCode == 1055 && seenNs == 0)
                seenNs = clock.nsecsElapsed();
        });
        clock.start();
        QVERIFY(sender.postPaste(false));
        const qint64 postedNs = clock.nsecsElapsed();
        QTRY_VERIFY(seenNs > 0);
        qInfo("paste: chord posted %.2f ms after the call, seen by the key monitor after %.2f ms",
              double(postedNs) / 1e6, double(seenNs) / 1e6);
        QCOMPARE(rec.events, QStringList({"F61:0", "F59:40001", "D1055:40001", "F59:0"}));
        QVERIFY(!keyIsDown(m_dpy, 108) && !keyIsDown(m_dpy, 37) && !keyIsDown(m_dpy, 55));
        // Letting go of the key later changes nothing more.
        physicalKey(m_dpy, 108, false);
        rec.events.clear();
        xdotool("key Return");
        QTRY_COMPARE(rec.events, QStringList({"D1036:0"}));
        QTRY_COMPARE(zenity.state(), QProcess::NotRunning);
        QCOMPARE(QString::fromUtf8(zenity.readAllStandardOutput()).trimmed(),
                 QString::fromUtf8("Grüße, 世界 😀"));
    }

    void terminalPasteAddsShift()
    {
        X11PasteSender sender;
        X11KeyMonitor monitor;
        QVERIFY(monitor.start());
        Recorder rec(monitor);
        QVERIFY(sender.postPaste(true));
        QTRY_COMPARE(rec.events,
                     QStringList({"F59:40001", "F56:60003", "D1055:60003", "F56:40001", "F59:0"}));
    }

    void clipboardSavesAndRestoresOtherFormats()
    {
        QtPasteboard pasteboard;
        QVERIFY(pasteboard.isAvailable());
        QByteArray png("\x89PNG\r\n\x1a\n", 8);
        for (int i = 0; i < 4096; ++i)
            png.append(char(i * 7));
        QTemporaryDir dir;
        const QString file = writeFile(dir.path() + "/image.png", png);

        const qint64 before = pasteboard.changeCount();
        // xclip stays in the background as the owner until someone else takes the clipboard.
        run("xclip", {"-selection", "clipboard", "-t", "image/png", "-i", file});
        QTRY_VERIFY(pasteboard.changeCount() > before);
        const QList<PasteboardItem> saved = pasteboard.items();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.first(), PasteboardItem({{"image/png", png}}));

        // Our own write counts at once, so a restore can tell whether anyone wrote after us.
        const qint64 beforeWrite = pasteboard.changeCount();
        pasteboard.writeText("dictated", true);
        QCOMPARE(pasteboard.changeCount(), beforeWrite + 1);
        const QList<QByteArray> targets =
            run("xclip", {"-selection", "clipboard", "-o", "-t", "TARGETS"}).split('\n');
        QVERIFY2(targets.contains("org.nspasteboard.TransientType"), targets.join(' '));
        QCOMPARE(run("xclip", {"-selection", "clipboard", "-o", "-t", "x-kde-passwordManagerHint"}),
                 QByteArray("secret"));
        QCOMPARE(run("xclip", {"-selection", "clipboard", "-o", "-t", "UTF8_STRING"}),
                 QByteArray("dictated"));

        pasteboard.writeText("kept", false);
        const QList<QByteArray> plain =
            run("xclip", {"-selection", "clipboard", "-o", "-t", "TARGETS"}).split('\n');
        QVERIFY(!plain.contains("org.nspasteboard.TransientType"));
        QVERIFY(!plain.contains("x-kde-passwordManagerHint"));

        pasteboard.writeItems(saved);
        QCOMPARE(run("xclip", {"-selection", "clipboard", "-o", "-t", "image/png"}), png);

        const qint64 beforeClear = pasteboard.changeCount();
        pasteboard.clearContents();
        QVERIFY(pasteboard.changeCount() > beforeClear);
        QCOMPARE(pasteboard.items(), QList<PasteboardItem>());
    }

    void frontAppFromTheWindowManager()
    {
        QTemporaryDir dir;
        writeFile(dir.path() + "/applications/probe.desktop",
                  "[Desktop Entry]\nName=Quillet Probe\nStartupWMClass=QuilletProbe\n");
        X11Workspace workspace({}, DesktopEntries({dir.path()}, "C"));
        QVERIFY(workspace.isAvailable());

        ProbeWindow probe(m_dpy, "quillet-probe", "QuilletProbe", 4242,
                          QByteArray("Überschrift — ✓"), {});
        ProbeWindow term(m_dpy, "xterm", "XTerm", 4343, {}, QByteArray("Caf\xe9", 4));
        ProbeWindow own(m_dpy, "quillet", "Quillet", QCoreApplication::applicationPid(), {}, {});
        ProbeWindow zeta(m_dpy, "zeta", "zeta", 4444, {}, {});

        xdotool(QStringLiteral("windowactivate --sync %1").arg(probe.window));
        QTRY_COMPARE(workspace.frontApp(),
                     FrontApp({"QuilletProbe", 4242, "Quillet Probe", "Überschrift — ✓", false}));
        xdotool(QStringLiteral("windowactivate --sync %1").arg(term.window));
        QTRY_COMPARE(workspace.frontApp(), FrontApp({"XTerm", 4343, "XTerm", "Café", true}));

        const QList<RunningApp> apps = workspace.runningApps();
        QCOMPARE(apps,
                 QList<RunningApp>(
                     {{"QuilletProbe", "Quillet Probe"}, {"XTerm", "XTerm"}, {"zeta", "zeta"}}));
    }

    // Without a window manager the input focus decides.
    void frontAppWithoutWindowManager()
    {
        // The server picks a free display and writes its number once it accepts connections
        // (a connection tried earlier fails, and libX11 leaks what a failed one allocated).
        QProcess xvfb;
        xvfb.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
        QTRY_VERIFY(xvfb.canReadLine());
        const QByteArray name = ":" + xvfb.readLine().trimmed();
        Display* bare = XOpenDisplay(name.constData());
        QVERIFY(bare);
        {
            X11Workspace workspace(name, DesktopEntries({}, "C"));
            QCOMPARE(workspace.frontApp(), std::nullopt);

            ProbeWindow editor(bare, "editor", "Editor", 5151, QByteArray("notes.txt"), {});
            ProbeWindow other(bare, "other", "Other", 5252, {}, {});
            // Focus on the desktop itself is no application's.
            XSetInputFocus(bare, DefaultRootWindow(bare), RevertToNone, CurrentTime);
            XSync(bare, False);
            QCOMPARE(workspace.frontApp(), std::nullopt);
            // The focus sits on a child of the client, as toolkits often put it.
            const Window child = XCreateSimpleWindow(bare, editor.window, 0, 0, 10, 10, 0, 0, 0);
            XMapWindow(bare, child);
            XSync(bare, False);
            XSetInputFocus(bare, child, RevertToParent, CurrentTime);
            XSync(bare, False);
            QCOMPARE(workspace.frontApp(),
                     FrontApp({"Editor", 5151, "Editor", "notes.txt", false}));
            QCOMPARE(workspace.runningApps(),
                     QList<RunningApp>({{"Editor", "Editor"}, {"Other", "Other"}}));
        }
        XCloseDisplay(bare);
        xvfb.terminate();
        xvfb.waitForFinished();
    }

private:
    Display* m_dpy = nullptr;
};

QTEST_MAIN(X11AdaptersTest)
#include "X11AdaptersTest.moc"
