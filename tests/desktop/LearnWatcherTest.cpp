#include "desktop/LearnWatcher.h"

#include "platform/FakeAccessibility.h"
#include "platform/FakeSpellChecker.h"
#include "store/StoreFixture.h"

#include <QSignalSpy>
#include <QTest>

using namespace quillet;

namespace {

const QString inserted = QStringLiteral("deploy it to cuba netties tonight");
const QString corrected = QStringLiteral("Notes: deploy it to Kubernetes tonight, thanks");

// A watcher over the field a dictation went into; it notes when it learned, in seconds after
// its start, and how many times it read the field.
struct Rig {
    StoreFixture data;
    Store& store = data.open();
    FakeAccessibility accessibility;
    FakeSpellChecker spelling;
    std::shared_ptr<FakeElement> field = std::make_shared<FakeElement>(inserted);
    double startedAt = data.clock.uptime();
    QList<double> learnedAt;
    QStringList words;
    LearnWatcher watcher{
        {accessibility, store, spelling, *data.prefs, data.clock},
        Entry{QUuid::createUuid(), data.clock.now(), inserted, inserted, "quillet", {}},
        field,
        [this](const QStringList& w) {
            learnedAt << data.clock.uptime() - startedAt;
            words << w;
        }};

    int reads() const { return int(accessibility.reads.count("elementValue")); }
    // Moves the clock on to `seconds` after the start, a second at a time.
    void runUntil(double seconds)
    {
        while (data.clock.uptime() - startedAt < seconds)
            data.clock.advance(1);
    }
};

} // namespace

class LearnWatcherTest : public QObject {
    Q_OBJECT
private slots:
    void schedule_data()
    {
        QTest::addColumn<double>("fixedAt");
        QTest::addColumn<QList<double>>("learnedAt");
        QTest::addColumn<int>("reads");
        QTest::newRow("within 8 s") << 5.0 << QList<double>{8} << 1;
        QTest::newRow("20 s after") << 20.0 << QList<double>{25} << 2;
        QTest::newRow("50 s after") << 50.0 << QList<double>{60} << 3;
        QTest::newRow("70 s after") << 70.0 << QList<double>() << 3;
    }

    // Reads 8, 25 and 60 s after the start; a correction seen is learned once, and the watch
    // ends there.
    void schedule()
    {
        QFETCH(double, fixedAt);
        Rig rig;
        QSignalSpy ended(&rig.watcher, &LearnWatcher::ended);
        rig.runUntil(fixedAt);
        rig.field->value = corrected;
        rig.runUntil(120);
        QTEST(rig.learnedAt, "learnedAt");
        QTEST(rig.reads(), "reads");
        QCOMPARE(ended.size(), 1);
        QVERIFY(!rig.watcher.isRunning());
        if (!rig.learnedAt.isEmpty()) {
            QCOMPARE(rig.words, QStringList{"Kubernetes"});
            QVERIFY(rig.store.vocab().terms.contains("Kubernetes"));
        }
    }

    // A cancelled watch reads nothing more; a field that no longer reads as text ends it.
    void endsEarly_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("reads");
        QTest::newRow("cancelled") << true << 0;
        QTest::newRow("field gone") << false << 1;
    }

    void endsEarly()
    {
        QFETCH(bool, cancel);
        Rig rig;
        QSignalSpy ended(&rig.watcher, &LearnWatcher::ended);
        if (cancel)
            rig.watcher.cancel();
        else
            rig.field->value.reset();
        rig.runUntil(9);
        rig.field->value = corrected;
        rig.runUntil(120);
        QTEST(rig.reads(), "reads");
        QVERIFY(rig.learnedAt.isEmpty());
        QCOMPARE(ended.size(), 1);
        QCOMPARE(rig.data.clock.pendingTimers(), 0);
    }
};

QTEST_GUILESS_MAIN(LearnWatcherTest)
#include "LearnWatcherTest.moc"
