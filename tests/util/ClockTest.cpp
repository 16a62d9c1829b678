#include "util/Clock.h"

#include <QCoroTask>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

using namespace quillet;

// The system clock's timers on real time, kept to a few milliseconds each. Everything built on
// them is tested on the manual clock.
class ClockTest : public QObject {
    Q_OBJECT
private slots:
    void timersFireOnceRepeatAndStop()
    {
        SystemClock clock;
        int once = 0;
        int cancelled = 0;
        int orphaned = 0;
        int ticks = 0;
        auto context = std::make_unique<QObject>();
        Timer a = clock.singleShot(0.005, this, [&] { ++once; });
        Timer b = clock.singleShot(0.005, this, [&] { ++cancelled; });
        Timer c = clock.singleShot(0.005, context.get(), [&] { ++orphaned; });
        Timer d;
        d = clock.repeating(0.002, this, [&] {
            if (++ticks == 3)
                d.cancel();
        });
        QVERIFY(a.isActive() && d.isActive());
        b.cancel();
        context.reset();
        QVERIFY(!c.isActive());
        QTRY_COMPARE(once, 1);
        QTRY_COMPARE(ticks, 3);
        QTest::qWait(20);
        QCOMPARE(once, 1);
        QVERIFY(!a.isActive());
        QCOMPARE(ticks, 3);
        QCOMPARE(cancelled, 0);
        QCOMPARE(orphaned, 0);
    }

    void callsRunOnTheContextsThreadAndSleepsEnd()
    {
        SystemClock clock;
        QThread worker;
        worker.start();
        auto* onWorker = new QObject;
        onWorker->moveToThread(&worker);
        connect(&worker, &QThread::finished, onWorker, &QObject::deleteLater);
        std::atomic<QThread*> ranOn = nullptr;
        Timer t = clock.singleShot(0.001, onWorker, [&] { ranOn = QThread::currentThread(); });
        QTRY_COMPARE(ranOn.load(), &worker);

        bool slept = false;
        // A coroutine lambda reads its captures through the closure, which must outlive it.
        const auto sleepThenMark = [&]() -> QCoro::Task<void> {
            co_await clock.sleep(0.002);
            slept = true;
        };
        auto sleeper = sleepThenMark();
        QTRY_VERIFY(slept);
        worker.quit();
        worker.wait();
    }
};

QTEST_GUILESS_MAIN(ClockTest)
#include "ClockTest.moc"
