#include "speech/SerialQueue.h"

#include <QTest>

#include <algorithm>
#include <atomic>
#include <future>
#include <set>
#include <vector>

using namespace quillet;

class SerialQueueTest : public QObject {
    Q_OBJECT
private slots:
    void runsInOrderOnOneThread()
    {
        SerialQueue queue("test.queue");
        std::vector<int> seen;
        std::set<std::thread::id> threads;
        for (int i = 0; i < 200; ++i)
            queue.async([&, i] {
                seen.push_back(i);
                threads.insert(std::this_thread::get_id());
            });
        queue.sync([] {});
        QCOMPARE(int(seen.size()), 200);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(int(threads.size()), 1);
        QVERIFY(*threads.begin() != std::this_thread::get_id());
    }

    void syncWaitsAndNestsInPlace()
    {
        SerialQueue queue("test.queue");
        int value = 0;
        queue.sync([&] {
            QVERIFY(queue.isCurrent());
            // A sync from the queue itself runs at once instead of waiting on itself.
            queue.sync([&] { value = 1; });
            value += 1;
        });
        QCOMPARE(value, 2);
        QVERIFY(!queue.isCurrent());
    }

    void destructionRunsWhatWasSubmitted()
    {
        std::atomic<int> ran = 0;
        {
            SerialQueue queue("test.queue");
            for (int i = 0; i < 50; ++i)
                queue.async([&] { ++ran; });
        }
        QCOMPARE(ran.load(), 50);
    }

    // The owner may drop the queue inside one of its steps; later steps still run.
    void droppedFromItsOwnStep()
    {
        auto queue = std::make_shared<SerialQueue>("test.queue");
        std::promise<void> released;
        auto gate = released.get_future().share();
        std::promise<void> finished;
        auto done = finished.get_future();
        std::atomic<bool> laterRan = false;
        queue->async([holder = queue, gate]() mutable {
            gate.wait();
            holder.reset(); // the last reference: the queue is destroyed on its own thread
        });
        queue->async([&] {
            laterRan = true;
            finished.set_value();
        });
        queue.reset();
        released.set_value();
        QCOMPARE(done.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        QVERIFY(laterRan);
    }
};

QTEST_APPLESS_MAIN(SerialQueueTest)
#include "SerialQueueTest.moc"
