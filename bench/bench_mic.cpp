// Microphone start-up on the real sound server: from Mic::start() to the first 16 kHz chunk
// reaching the consumer, with the server connection already up (as it is long before the first
// key press). Run it under tests/tools/with-desktop.sh to capture the virtual microphone. A player
// of silence keeps the virtual microphone's sink running, as a hardware input always runs: an idle
// null sink renders in 2 s blocks, and a recording that joins it waits for the next block.
// Target for the whole path from a key press to the first chunk at the transcriber: 50 ms.
#include "pulse/PulseAudioSystem.h"
#include "speech/Mic.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace quillet;

namespace {

using Steady = std::chrono::steady_clock;

double msSince(Steady::time_point start, Steady::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

void report(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s median %6.2f ms  p90 %6.2f ms  min %6.2f ms  max %6.2f ms (%zu runs)\n",
                what, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.front(), ms.back(), ms.size());
}

QCoro::Task<int> measure(Clock& clock)
{
    PulseAudioSystem system(clock);
    for (int i = 0; i < 300 && !system.inputAvailable(); ++i)
        co_await clock.sleep(0.01);
    co_await clock.sleep(0.5); // the player under way
    if (!system.inputAvailable()) {
        std::puts("bench_mic: no default input (run under tests/tools/with-desktop.sh)");
        co_return 1;
    }
    Mic mic(system);
    std::vector<double> started;
    std::vector<double> firstChunk;
    for (int run = 0; run < 40; ++run) {
        std::atomic<Steady::rep> first = 0;
        mic.setOnAudio([&first](QByteArray) {
            Steady::rep none = 0;
            first.compare_exchange_strong(none, Steady::now().time_since_epoch().count());
        });
        const auto begin = Steady::now();
        QCoro::Task<std::optional<AudioError>> start = mic.start();
        const auto error = co_await start;
        const auto running = Steady::now();
        if (error) {
            std::printf("bench_mic: %s\n", qPrintable(error->description));
            co_return 1;
        }
        for (int i = 0; i < 2000 && first.load() == 0; ++i)
            co_await clock.sleep(0.001);
        mic.clearCallbacks();
        mic.stop();
        started.push_back(msSince(begin, running));
        firstChunk.push_back(msSince(begin, Steady::time_point(Steady::duration(first.load()))));
        co_await clock.sleep(0.02);
    }
    report("Mic::start -> running", started);
    report("Mic::start -> first chunk", firstChunk);
    co_return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QProcess player;
    player.setStandardInputFile(QStringLiteral("/dev/zero"));
    player.start(QStringLiteral("pacat"),
                 {QStringLiteral("--playback"), QStringLiteral("-d"), QStringLiteral("vmic_sink"),
                  QStringLiteral("--latency-msec=10")});
    SystemClock clock;
    int code = 1;
    QTimer::singleShot(0, &app, [&] {
        measure(clock).then([&](int result) {
            code = result;
            QCoreApplication::quit();
        });
    });
    app.exec();
    player.kill();
    player.waitForFinished();
    return code;
}
