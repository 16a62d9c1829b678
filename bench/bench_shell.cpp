// The desktop application as the user runs it, measured from outside: the real quillet binary
// in the headless desktop of tests/tools/with-desktop.sh, with trayer as the tray host and the
// speech simulator as the service. It prints
//   - launch to tray icon: from starting the program to its icon docked in the tray (median of 7);
//   - resident memory idle (tray shown, settings never opened), with the settings window open,
//     after it was closed again, and while recording;
//   - wakeups over 10 idle seconds: how often each thread was scheduled (context switches).
// Targets: launch ≤ 300 ms median; idle ≤ 45 MB; recording ≤ 70 MB; after settings within 10 MB
// of idle.
//   bench_shell [QUILLET_BINARY [TEST_TOOLS_DIR]]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

QString binary;
QString tools;
QProcessEnvironment environment;
QStringList arguments;

Display* display = nullptr;

std::optional<qint64> windowPid(::Window w)
{
    static const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long rest = 0;
    unsigned char* data = nullptr;
    std::optional<qint64> pid;
    if (XGetWindowProperty(display, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &rest, &data) == Success &&
        data && count == 1 && format == 32)
        pid = qint64(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

// Walks the window tree; `visit` gets each window and whether a window of `host` is above it.
void walk(::Window w, qint64 host, bool inside,
          const std::function<void(::Window, bool inside)>& visit)
{
    ::Window root = 0;
    ::Window parent = 0;
    ::Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, w, &root, &parent, &children, &count))
        return;
    for (unsigned i = 0; i < count; ++i) {
        const ::Window child = children[i];
        visit(child, inside);
        walk(child, host, inside || windowPid(child) == host, visit);
    }
    if (children)
        XFree(children);
}

// A window of process `pid` inside a window of the tray host.
bool docked(qint64 pid, qint64 trayHost)
{
    bool found = false;
    walk(DefaultRootWindow(display), trayHost, false,
         [&](::Window w, bool inside) { found = found || (inside && windowPid(w) == pid); });
    return found;
}

// A mapped, managed window of process `pid` titled `title` (the pill has the same title but is
// not managed).
std::optional<::Window> windowTitled(qint64 pid, const QByteArray& title)
{
    std::optional<::Window> hit;
    walk(DefaultRootWindow(display), -1, false, [&](::Window w, bool) {
        char* name = nullptr;
        XWindowAttributes a{};
        if (!hit && windowPid(w) == pid && XFetchName(display, w, &name) && name && title == name &&
            XGetWindowAttributes(display, w, &a) && a.map_state == IsViewable &&
            !a.override_redirect)
            hit = w;
        if (name)
            XFree(name);
    });
    return hit;
}

void closeWindow(::Window w)
{
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, w, False, NoEventMask, &e);
    XFlush(display);
}

bool waitFor(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        QThread::usleep(1000);
    }
    return true;
}

double residentMb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

// Context switches of each thread, by thread name.
QMap<QString, qint64> switches(qint64 pid)
{
    QMap<QString, qint64> out;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + "/comm"));
        QFile status(tasks.filePath(tid + "/status"));
        if (!comm.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly))
            continue;
        qint64 n = 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.contains("ctxt_switches:"))
                n += line.split(':').last().trimmed().toLongLong();
        }
        out[QString::fromUtf8(comm.readAll().trimmed()) + " (" + tid + ")"] += n;
    }
    return out;
}

void quillet(const QStringList& args)
{
    QProcess p;
    p.setProcessEnvironment(environment);
    p.start(binary, arguments + args);
    p.waitForFinished(30000);
}

void stop(QProcess& p)
{
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished();
    }
    QThread::msleep(200); // the bus lets go of the name
}

qint64 startTool(QProcess& tool, const QString& program, const QStringList& args)
{
    tool.start(tools + u'/' + program, args);
    if (!tool.waitForStarted() || !tool.waitForReadyRead(30000))
        return 0;
    const QByteArray line = tool.readLine().trimmed();
    return line.startsWith("PORT ") ? line.mid(5).toLongLong() : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString here = QCoreApplication::applicationDirPath();
    binary = argc > 1 ? argv[1] : here + "/../src/app/quillet";
    tools = argc > 2 ? argv[2] : here + "/../tests/tools";
    if (qEnvironmentVariableIsEmpty("QUILLET_DESKTOP") || !(display = XOpenDisplay(nullptr))) {
        std::puts("bench_shell: run it under tests/tools/with-desktop.sh");
        return 1;
    }
    // Windows come and go while the tree is walked.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });

    QTemporaryDir home;
    environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("SONIOX_API_KEY", "bench-key");

    QProcess speech;
    const qint64 port = startTool(speech, "speechsim/speechsim", {"--words", "one two three"});
    if (!port) {
        std::puts("bench_shell: the speech simulator did not start");
        return 1;
    }
    arguments = {"-sonioxEndpoint",
                 QStringLiteral("ws://127.0.0.1:%1/transcribe-websocket").arg(port)};
    // The virtual microphone's sink kept running, as a hardware input always runs.
    QProcess player;
    player.setStandardInputFile("/dev/zero");
    player.start("pacat", {"--playback", "-d", "vmic_sink", "--latency-msec=10"});

    QProcess tray;
    tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                          "64", "--heighttype", "pixel", "--height", "24"});
    if (!tray.waitForStarted()) {
        std::puts("bench_shell: trayer is not installed");
        return 1;
    }
    QThread::msleep(500);

    std::vector<double> launches;
    for (int run = 0; run < 7; ++run) {
        QProcess p;
        p.setProcessEnvironment(environment);
        QElapsedTimer t;
        t.start();
        p.start(binary, arguments);
        p.waitForStarted();
        if (!waitFor([&] { return docked(p.processId(), tray.processId()); }, 20000)) {
            std::puts("bench_shell: the tray icon never docked");
            return 1;
        }
        launches.push_back(double(t.nsecsElapsed()) / 1e6);
        stop(p);
    }
    std::sort(launches.begin(), launches.end());
    std::printf("launch to tray icon          median %6.1f ms  min %6.1f  max %6.1f (%zu runs)\n",
                launches[launches.size() / 2], launches.front(), launches.back(), launches.size());

    QProcess p;
    p.setProcessEnvironment(environment);
    p.start(binary, arguments);
    p.waitForStarted();
    const qint64 pid = p.processId();
    waitFor([&] { return docked(pid, tray.processId()); }, 20000);
    QThread::sleep(3);
    const double idle = residentMb(pid);
    std::printf("resident, idle               %6.1f MB\n", idle);

    const QMap<QString, qint64> before = switches(pid);
    QThread::sleep(10);
    const QMap<QString, qint64> after = switches(pid);
    qint64 total = 0;
    std::puts("wakeups over 10 idle seconds, by thread:");
    for (auto it = after.begin(); it != after.end(); ++it) {
        const qint64 n = it.value() - before.value(it.key());
        total += n;
        std::printf("  %-26s %6lld\n", qPrintable(it.key()), static_cast<long long>(n));
    }
    std::printf("  %-26s %6lld\n", "all", static_cast<long long>(total));

    // A second start opens the settings window.
    quillet({});
    std::optional<::Window> window;
    if (!waitFor([&] { return (window = windowTitled(pid, "Quillet")).has_value(); }, 20000)) {
        std::puts("bench_shell: the settings window did not open");
    } else {
        QThread::sleep(2);
        std::printf("resident, settings open      %6.1f MB\n", residentMb(pid));
        closeWindow(*window);
        waitFor([&] { return !windowTitled(pid, "Quillet"); }, 10000);
        QThread::sleep(3);
        const double closed = residentMb(pid);
        std::printf("resident, settings closed    %6.1f MB (%+.1f MB from idle)\n", closed,
                    closed - idle);
    }

    // Recording last, so that what it keeps (the audio and network threads' memory) is not
    // counted as the settings window's.
    quillet({"toggle"});
    QThread::sleep(2);
    std::printf("resident, recording          %6.1f MB\n", residentMb(pid));
    quillet({"cancel"});
    QThread::sleep(1);

    stop(p);
    for (QProcess* q : {&tray, &player, &speech}) {
        q->kill();
        q->waitForFinished();
    }
    XCloseDisplay(display);
    return 0;
}
