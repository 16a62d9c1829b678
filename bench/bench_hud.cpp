// The desktop application in-process, idle and dictating, in the headless desktop of
// tests/tools/with-desktop.sh. It prints
//   - the timer events the application handles over 10 idle seconds (target: none; only the
//     accessibility poll while trust is missing, and the weekly update check, may repeat);
//   - the time from the dictation's phase change to the pill's first paint (target: one frame,
//     16 ms).
#include "app/DesktopApp.h"
#include "app/Engine.h"
#include "app/HudTee.h"
#include "desktop/Controller.h"
#include "desktop/Dictation.h"
#include "hud/FloatingHud.h"
#include "hud/HudPanel.h"
#include "session/SessionProbe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace quillet;

namespace {

// Counts the timer events of the main thread's objects, and notes when the pill paints.
class Watch : public QObject {
public:
    QElapsedTimer clock;
    int timers = 0;
    QObject* panel = nullptr;
    qint64 painted = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Timer)
            ++timers;
        else if (event->type() == QEvent::Paint && watched == panel && painted < 0)
            painted = clock.nsecsElapsed();
        return false;
    }
};

// Runs the event loop for `ms` (the loop's own timer is counted once).
void run(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QCoro::Task<void> start(DesktopApp& app, bool& ok)
{
    QCoro::Task<bool> claiming = app.claim();
    ok = co_await claiming;
    if (!ok)
        co_return;
    QCoro::Task<void> starting = app.start();
    co_await starting;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QUILLET_DESKTOP")) {
        std::puts("bench_hud: run it under tests/tools/with-desktop.sh");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("SONIOX_API_KEY", "bench-key");
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setQuitOnLastWindowClosed(false);
    // No service answers: the sessions fail quietly in the background, which is all the pill
    // needs.
    Engine engine({{QStringLiteral("sonioxEndpoint"), QStringLiteral("ws://127.0.0.1:9/none")}});
    SessionInfo session = SessionProbe::local();
    session.qtPlatform = QGuiApplication::platformName();
    DesktopApp app(engine, session);
    Dictation& dictation = *app.controller().dictation();

    Watch watch;
    watch.clock.start();
    qint64 phaseAt = -1;
    // Connected before the HUD binds, so it runs first.
    QObject::connect(&dictation, &Dictation::phaseChanged, &watch, [&](Dictation::Phase p) {
        if (p == Dictation::Phase::recording)
            phaseAt = watch.clock.nsecsElapsed();
    });

    bool ok = false;
    QCoro::Task<void> starting = start(app, ok);
    run(3000);
    if (!ok) {
        std::puts("bench_hud: another Quillet runs on this bus");
        return 1;
    }
    auto* tee = dynamic_cast<HudTee*>(&app.controller().hud());
    auto* hud = tee ? dynamic_cast<FloatingHud*>(&tee->shown()) : nullptr;
    if (!hud) {
        std::puts("bench_hud: the application has no pill");
        return 1;
    }
    watch.panel = &hud->panel();

    qApp->installEventFilter(&watch);
    watch.timers = 0;
    run(10000);
    std::printf("timer events over 10 idle seconds   %d (1 is this bench's own)\n", watch.timers);

    std::vector<double> ms;
    for (int round = 0; round < 30; ++round) {
        watch.painted = -1;
        app.controller().begin();
        QElapsedTimer wait;
        wait.start();
        while (watch.painted < 0 && wait.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (watch.painted >= 0 && phaseAt >= 0)
            ms.push_back(double(watch.painted - phaseAt) / 1e6);
        dictation.cancel();
        run(100);
    }
    qApp->removeEventFilter(&watch);
    if (ms.empty()) {
        std::puts("bench_hud: the pill never painted");
        return 1;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("phase change -> pill painted        median %5.2f ms  p90 %5.2f ms  max %5.2f ms "
                "(%zu runs)\n",
                ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back(), ms.size());
    return 0;
}
