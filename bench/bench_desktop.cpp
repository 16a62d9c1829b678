// The desktop application's figures, on the real services of the test desktop and the speech and
// chat simulators. Run it inside that desktop: tests/tools/with-desktop.sh
// build/bench/bench_desktop
//
//   release -> paste       our own time from the key's release to the paste chord at the X server:
//                          the tail is set to none and the speech service's answer to the finalize
//                          is taken off (target: median 10 ms or less);
//   begin -> first buffer  from Controller::begin() to the microphone's first buffer handed through
//                          the converter to the transcriber (target: median 50 ms or less);
//   faults                 100 dictations back to back with dropped sockets, stalls and service
//                          errors at the speech service and slow, failing or dropped chat answers:
//                          every dictation must end idle with every word the service finalised;
//   memory                 resident memory of the quillet program, idle and while recording.
#include "DesktopRig.h"

#include <QCoroTask>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

using namespace quillet;
using namespace quillet::bench;

namespace {

const QString tools = QStringLiteral(QUILLET_TOOLS_DIR);
const QString latencyWords = QStringLiteral("so the quarterly numbers look good");
const QString faultWords = QStringLiteral(
    "um so the quarterly numbers look good and we should ship it on friday before lunch");
constexpr int faultMsPerWord = 120;
constexpr int dictations = 100;

void report(const char* what, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("%-24s no samples\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-24s median %7.2f ms  p90 %7.2f ms  min %7.2f ms  max %7.2f ms (%zu runs)\n",
                what, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.front(), ms.back(), ms.size());
}

// A simulator that ends with the phase that started it.
struct Tool : QProcess {
    ~Tool() override
    {
        kill();
        waitForFinished();
    }
};

// Starts a simulator and returns the port it announced (0 on failure).
quint16 startTool(QProcess& process, const QString& program, const QStringList& args)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(tools + u'/' + program, args);
    if (!process.waitForStarted(10000))
        return 0;
    while (!process.canReadLine())
        if (!process.waitForReadyRead(10000))
            return 0;
    const QByteArray line = process.readLine().trimmed();
    return line.startsWith("PORT ") ? line.mid(5).toUShort() : 0;
}

QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

QCoro::Task<bool> until(Clock& clock, std::function<bool()> condition, double seconds)
{
    for (double waited = 0; !condition(); waited += 0.005) {
        if (waited > seconds)
            co_return false;
        QCoro::Task<void> pause = clock.sleep(0.005);
        co_await pause;
    }
    co_return true;
}

QCoro::Task<void> pause(Clock& clock, double seconds)
{
    QCoro::Task<void> sleeping = clock.sleep(seconds);
    co_await sleeping;
}

// --- release -> paste -----------------------------------------------------------------------

QCoro::Task<void> releaseToPaste(DesktopRig& rig)
{
    std::vector<double> own;
    for (int i = 0; i < 30; ++i) {
        rig.key(true);
        co_await pause(rig.clock, 0.9);
        const int posted = rig.pasteSender.posts.load();
        const auto released = Steady::now();
        rig.key(false);
        QCoro::Task<bool> pasting = until(
            rig.clock, [&] { return rig.pasteSender.posts.load() > posted; }, 30);
        if (co_await pasting)
            own.push_back(msBetween(released, rig.pasteSender.lastPost) - rig.answerMs.load());
        QCoro::Task<bool> idle = until(
            rig.clock, [&] { return rig.dictation().phase() == Dictation::Phase::idle; }, 30);
        co_await idle;
        co_await pause(rig.clock, 0.6);
    }
    report("release -> paste", own);
}

// --- begin -> first buffer ------------------------------------------------------------------

QCoro::Task<void> beginToFirstBuffer(DesktopRig& rig)
{
    std::vector<double> first;
    for (int i = 0; i < 40; ++i) {
        const auto begun = Steady::now();
        rig.controller->begin();
        QCoro::Task<bool> heard = until(
            rig.clock, [&] { return rig.audio.firstBuffer.load() != 0; }, 5);
        if (co_await heard)
            first.push_back(msBetween(
                begun, Steady::time_point(Steady::duration(rig.audio.firstBuffer.load()))));
        rig.controller->cancelRecording();
        co_await pause(rig.clock, 0.2);
    }
    report("begin -> first buffer", first);
}

// --- faults ---------------------------------------------------------------------------------

// Connection numbers (from 1) that get a fault: about `share` of the first `count`.
QStringList pick(std::mt19937& random, int count, double share)
{
    std::bernoulli_distribution hit(share);
    QStringList picked;
    for (int n = 1; n <= count; ++n)
        if (hit(random))
            picked << QString::number(n);
    return picked.isEmpty() ? QStringList{QStringLiteral("2")} : picked;
}

QByteArray chatScript(std::mt19937& random)
{
    QJsonArray answers;
    std::uniform_int_distribution<int> kind(0, 9);
    for (int i = 0; i < 2 * dictations; ++i) {
        switch (kind(random)) {
        case 0:
            answers.append(QJsonObject{{"delayMs", 2500}, {"content", "A slow answer."}});
            break;
        case 1:
            answers.append(QJsonObject{{"status", 500}, {"body", "{\"error\":\"down\"}"}});
            break;
        case 2:
            answers.append(QJsonObject{{"drop", true}});
            break;
        default:
            answers.append(QJsonObject{{"content", "So the quarterly numbers look good."}});
        }
    }
    return QJsonDocument(QJsonObject{{"chat", answers}}).toJson(QJsonDocument::Compact);
}

struct Connection {
    qint64 base = -1;
    qint64 bytes = 0;
    bool fin = false;
};

std::map<int, Connection> readLog(const QString& path, QMap<QString, int>& faults)
{
    std::map<int, Connection> connections;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return connections;
    while (!file.atEnd()) {
        const QJsonObject entry = QJsonDocument::fromJson(file.readLine()).object();
        const QString event = entry["event"].toString();
        Connection& c = connections[entry["conn"].toInt()];
        if (event == u"base")
            c.base = entry["ms"].toInteger();
        else if (event == u"audio")
            c.bytes += entry["bytes"].toInteger();
        else if (event == u"fin")
            c.fin = true;
        else if (event == u"drop" || event == u"stall" || event == u"error")
            ++faults[event];
    }
    return connections;
}

// What the simulator logged about some connections, audio left out.
void printConnections(const QString& path, int first, int last)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        const int conn = entry["conn"].toInt();
        if (conn >= first && conn <= last && entry["event"].toString() != u"audio" &&
            entry["event"].toString() != u"config")
            std::printf("    %s", line.constData());
    }
}

int connectionsSoFar(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return int(file.readAll().count("\"event\":\"connect\""));
}

QCoro::Task<void> faults(DesktopRig& rig, const QString& log, std::mt19937& random)
{
    std::uniform_real_distribution<double> holdFor(0.8, 2.6);
    struct Run {
        int firstConnection = 0;
        int lastConnection = 0;
        bool idle = false;
        std::optional<Entry> entry;
        QStringList toasts;
    };
    std::vector<Run> runs;
    for (int i = 0; i < dictations; ++i) {
        Run r;
        r.firstConnection = connectionsSoFar(log) + 1;
        const qsizetype entries = rig.store.history().size();
        rig.hud->toasts.clear();
        rig.key(true);
        co_await pause(rig.clock, holdFor(random));
        rig.key(false);
        QCoro::Task<bool> idle = until(
            rig.clock, [&] { return rig.dictation().phase() == Dictation::Phase::idle; }, 60);
        r.idle = co_await idle;
        if (rig.store.history().size() > entries)
            r.entry = rig.store.history().first();
        r.lastConnection = connectionsSoFar(log);
        r.toasts = rig.hud->toasts;
        runs.push_back(r);
        co_await pause(rig.clock, 0.6);
    }
    co_await pause(rig.clock, 1);

    QMap<QString, int> injected;
    const std::map<int, Connection> connections = readLog(log, injected);
    const QStringList script = faultWords.split(u' ');
    int endedIdle = 0;
    int withEntry = 0;
    int complete = 0;
    int shortOfFinals = 0;
    int garbled = 0;
    int lostAtTheEnd = 0;
    const auto wordAt = [](qint64 ms) {
        return (std::max<qint64>(ms, 0) + faultMsPerWord - 1) / faultMsPerWord;
    };
    for (const Run& r : runs) {
        endedIdle += r.idle;
        withEntry += r.entry.has_value();
        const QStringList heard =
            r.entry ? r.entry->raw.split(u' ', Qt::SkipEmptyParts) : QStringList();
        const auto first = connections.find(r.firstConnection);
        const auto last = connections.find(r.lastConnection);
        if (r.lastConnection < r.firstConnection || first == connections.end() ||
            last == connections.end()) {
            ++garbled;
            std::printf("  no speech session: \"%s\"\n", qPrintable(heard.join(u' ')));
            continue;
        }
        // The simulator takes a recording that follows a session it saw end badly for a replay
        // of that one, and starts it where that one's audio ended: its words start there.
        const qsizetype from = std::min<qsizetype>(script.size(), wordAt(first->second.base));
        const QStringList said = script.mid(from);
        if (heard != said.mid(0, heard.size())) {
            ++garbled;
            std::printf("  garbled: \"%s\"\n", qPrintable(heard.join(u' ')));
            printConnections(log, r.firstConnection, r.lastConnection);
            continue;
        }
        if (!last->second.fin || last->second.base < 0) {
            ++lostAtTheEnd;
            continue;
        }
        // At the finalize every word begun in the audio heard is final.
        const qsizetype finalised =
            std::min<qsizetype>(script.size(),
                                wordAt(last->second.base + last->second.bytes / 32)) -
            from;
        if (heard.size() == finalised) {
            ++complete;
        } else {
            ++shortOfFinals;
            std::printf("  %lld of %lld finalised words: \"%s\" (connections %d to %d; %s)\n",
                        qlonglong(heard.size()), qlonglong(finalised), qPrintable(heard.join(u' ')),
                        r.firstConnection, r.lastConnection,
                        qPrintable(r.toasts.join(QStringLiteral("; "))));
            printConnections(log, r.firstConnection, r.lastConnection);
        }
    }
    std::printf("faults: %d dictations over %zu speech connections; injected %d drops, %d "
                "stalls, %d service errors; chat answers slow, failing or dropped at random\n",
                dictations, connections.size(), injected.value("drop"), injected.value("stall"),
                injected.value("error"));
    std::printf("faults: %d ended idle, %d produced an entry, %d with every finalised word, %d "
                "missing finalised words, %d garbled, %d whose last session was lost while "
                "finishing (its words so far kept, in order)\n",
                endedIdle, withEntry, complete, shortOfFinals, garbled, lostAtTheEnd);
}

// --- memory ---------------------------------------------------------------------------------

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

QCoro::Task<void> memory(Clock& clock, quint16 speechPort)
{
    QTemporaryDir home;
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    app.setProcessEnvironment(env);
    QString err;
    app.start(QStringLiteral(QUILLET_BINARY),
              {"-sonioxEndpoint",
               QStringLiteral("ws://127.0.0.1:%1/transcribe-websocket").arg(speechPort),
               "-tailSeconds", "0"});
    QCoro::Task<bool> ready = until(
        clock,
        [&] {
            err += QString::fromUtf8(app.readAllStandardError());
            return err.contains("ready:");
        },
        60);
    if (!co_await ready) {
        std::printf("memory: quillet did not start: %s\n", qPrintable(err));
        co_return;
    }
    co_await pause(clock, 2);
    const qint64 idle = residentKiB(app.processId());
    run("xdotool", {"keydown", "108"});
    co_await pause(clock, 3);
    const qint64 recording = residentKiB(app.processId());
    run("xdotool", {"keyup", "108"});
    co_await pause(clock, 2);
    const qint64 after = residentKiB(app.processId());
    std::printf("memory: quillet resident %.1f MiB idle after start, %.1f MiB while recording, "
                "%.1f MiB idle after the dictation\n",
                idle / 1024.0, recording / 1024.0, after / 1024.0);
    app.kill();
    app.waitForFinished();
}

QCoro::Task<int> measure(QStringList phases)
{
    const auto wanted = [&](const char* phase) {
        return phases.isEmpty() || phases.contains(QLatin1String(phase));
    };
    DesktopRig rig;
    QCoro::Task<void> loading = rig.keys.load();
    co_await loading;
    rig.accessibility.start();
    QCoro::Task<bool> services = until(
        rig.clock, [&] { return rig.pulse.inputAvailable() && rig.accessibility.isAvailable(); },
        10);
    if (!co_await services) {
        std::puts("bench_desktop: no microphone or accessibility bus (run it under "
                  "tests/tools/with-desktop.sh)");
        co_return 1;
    }
    // The virtual microphone's sink settles into short blocks once a player has run a while.
    co_await pause(rig.clock, 3);
    rig.controller->setUp();

    Tool speech;
    const quint16 speechPort =
        startTool(speech, "speechsim/speechsim", {"--words", latencyWords, "--ms-per-word", "100"});
    if (!speechPort) {
        std::puts("bench_desktop: the speech simulator did not start");
        co_return 1;
    }
    rig.prefs.setArgument("sonioxEndpoint",
                          QStringLiteral("ws://127.0.0.1:%1/transcribe-websocket").arg(speechPort));
    rig.prefs.setArgument("tailSeconds", "0");
    if (wanted("latency")) {
        co_await releaseToPaste(rig);
        co_await beginToFirstBuffer(rig);
    }

    std::mt19937 random(20260);
    QTemporaryDir work;
    const QString log = work.filePath("speechsim.jsonl");
    QFile script(work.filePath("chat.json"));
    script.open(QIODevice::WriteOnly);
    script.write(chatScript(random));
    script.close();
    if (!wanted("faults")) {
        if (wanted("memory"))
            co_await memory(rig.clock, speechPort);
        co_return 0;
    }
    Tool faultySpeech;
    QStringList faultArgs{"--words", faultWords, "--ms-per-word", QString::number(faultMsPerWord),
                          "--log",   log};
    faultArgs << "--drop-at-ms"
              << "700"
              << "--drop-connections" << pick(random, 150, 0.1).join(u',');
    faultArgs << "--stall-at-ms"
              << "500"
              << "--stall-connections" << pick(random, 150, 0.05).join(u',');
    faultArgs << "--error-at-ms"
              << "600"
              << "--error-code"
              << "503"
              << "--error-connections" << pick(random, 150, 0.05).join(u',');
    const quint16 faultyPort = startTool(faultySpeech, "speechsim/speechsim", faultArgs);
    Tool chat;
    const quint16 chatPort = startTool(chat, "chatsim/chatsim", {"--script", script.fileName()});
    if (!faultyPort || !chatPort) {
        std::puts("bench_desktop: a simulator did not start");
        co_return 1;
    }
    rig.prefs.setArgument("sonioxEndpoint",
                          QStringLiteral("ws://127.0.0.1:%1/transcribe-websocket").arg(faultyPort));
    rig.prefs.setArgument("baseURL.cerebras",
                          QStringLiteral("http://127.0.0.1:%1/v1").arg(chatPort));
    rig.prefs.setArgument("tailSeconds", "0.3");
    co_await faults(rig, log, random);
    if (wanted("memory"))
        co_await memory(rig.clock, speechPort);
    co_return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariable("QUILLET_DESKTOP") != u"1") {
        std::puts("bench_desktop: run it under tests/tools/with-desktop.sh");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("SONIOX_API_KEY", "bench-speech-key");
    QGuiApplication app(argc, argv);

    // A microphone always delivers audio, here noise: a replayed session is placed by its sound.
    QProcess player;
    player.setStandardInputFile(QStringLiteral("/dev/urandom"));
    player.start(QStringLiteral("pacat"), {"--playback", "-d", "vmic_sink", "--latency-msec=10"});
    // The text goes into a field of another application, as it would.
    QProcess entry;
    entry.start(QStringLiteral("zenity"), {"--entry", "--text", "bench"});
    const QByteArray windows =
        run("xdotool", {"search", "--sync", "--onlyvisible", "--class", "zenity"});
    run("xdotool",
        {"windowfocus", "--sync", QString::fromUtf8(windows.trimmed().split('\n').last())});

    int code = 1;
    QTimer::singleShot(0, &app, [&] {
        measure(QCoreApplication::arguments().mid(1)).then([&](int result) {
            code = result;
            QCoreApplication::quit();
        });
    });
    QGuiApplication::exec();
    for (QProcess* p : {&entry, &player}) {
        p->kill();
        p->waitForFinished();
    }
    return code;
}
