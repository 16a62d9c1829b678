// The store shared between processes on a real session bus: the quillet binary and this process
// change one data folder, the change announcement crosses the bus, and the sync folder is
// watched for changes made by a sync tool.

#include "app/CliRunner.h"
#include "dbus/DBusChangeNotifier.h"
#include "store/Preferences.h"
#include "store/Store.h"
#include "tools/RequireDesktop.h"
#include "util/Clock.h"
#include "util/Json.h"

#include <QDBusConnection>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace quillet;

namespace {

// Writes the way sync tools do: a temporary file renamed over the old one.
void replaceFile(const QString& path, const QByteArray& bytes)
{
    const QString temp = writeFile(path + ".tmp-sync", bytes);
    QVERIFY(::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) ==
            0);
}

// The quillet binary's folders, and a store in this process over the same ones.
struct Shared {
    CliRunner cli;
    Preferences prefs{cli.root.filePath("config/Quillet/Quillet.conf")};
    DBusChangeNotifier notifier;
    SystemClock m_clock;
    std::optional<Store> store;
    Store& open() { return store.emplace(cli.dataDir(), prefs, m_clock, notifier); }
};

QByteArray vocabJson(const QStringList& terms, const QDateTime& stamp)
{
    QJsonObject o{{"terms", QJsonArray::fromStringList(terms)},
                  {"replacements", QJsonArray()},
                  {"updatedAt", json::toReferenceSeconds(stamp)}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

class SharedDataIntegrationTest : public QObject {
    Q_OBJECT
public slots:
    void countAnnouncement() { ++m_announcements; }
    void countHistoryAnnouncement() { ++m_historyAnnouncements; }

private slots:
    void initTestCase()
    {
        QUILLET_REQUIRE_DESKTOP();
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QVERIFY(QFileInfo(qEnvironmentVariable("QUILLET_BINARY")).isExecutable());
    }

    void twoProcessesDoNotLoseEachOthersTerms()
    {
        Shared shared;
        CliRunner& cli = shared.cli;
        Store& store = shared.open();
        store.addTerm(QStringLiteral("alpha"));

        QCOMPARE(cli.run({"vocab", "add", "beta"}).code, 0);
        // Without waiting for the announcement: the next change re-reads the file first.
        store.addTerm(QStringLiteral("gamma"));
        QCOMPARE(store.vocab().terms, QStringList({"alpha", "beta", "gamma"}));
        QCOMPARE(Vocabulary::decode(readFile(cli.dataFile("vocabulary.json")))->terms,
                 QStringList({"alpha", "beta", "gamma"}));

        // The announcement alone makes this process pick up the other's change.
        QSignalSpy changed(&store, &Store::vocabChanged);
        QCOMPARE(cli.run({"vocab", "replace", "dee lta", "delta"}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(store.vocab().terms.contains("delta"), 20000);
        QVERIFY(changed.count() >= 1);

        const auto listed = cli.run({"vocab"});
        QCOMPARE(listed.code, 0);
        for (const char* term : {"alpha", "beta", "gamma", "delta"})
            QVERIFY2(listed.out.contains(term), qPrintable(listed.out));
    }

    void changesAreAnnouncedOnTheSessionBus()
    {
        QDBusConnection listener = QDBusConnection::connectToBus(
            QDBusConnection::SessionBus, QStringLiteral("quillet-test-listener"));
        QVERIFY(listener.isConnected());
        QVERIFY(listener.connect(QString(), QStringLiteral("/com/fernwick/quillet"),
                                 QStringLiteral("com.fernwick.quillet"), QStringLiteral("vocab"),
                                 this, SLOT(countAnnouncement())));
        QVERIFY(listener.connect(QString(), QStringLiteral("/com/fernwick/quillet"),
                                 QStringLiteral("com.fernwick.quillet"), QStringLiteral("history"),
                                 this, SLOT(countHistoryAnnouncement())));
        m_announcements = 0;
        m_historyAnnouncements = 0;
        Shared shared;
        CliRunner& cli = shared.cli;
        Store& store = shared.open();
        QSignalSpy ownEcho(&shared.notifier, &ChangeNotifier::received);

        store.addTerm(QStringLiteral("one"));
        QTRY_COMPARE_WITH_TIMEOUT(m_announcements, 1, 20000);
        store.setPerApp(true);
        QTRY_COMPARE_WITH_TIMEOUT(m_announcements, 2, 20000);
        store.addEntry(Entry{QUuid::createUuid(), QDateTime::currentDateTimeUtc(), "r", "t",
                             "quillet", std::nullopt});
        QTRY_COMPARE_WITH_TIMEOUT(m_historyAnnouncements, 1, 20000);
        QCOMPARE(cli.run({"vocab", "add", "two"}).code, 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_announcements, 3, 20000); // the history has its own member
        QTRY_COMPARE_WITH_TIMEOUT(ownEcho.count(), 1, 20000); // only the other process's
        QDBusConnection::disconnectFromBus(QStringLiteral("quillet-test-listener"));
    }

    void aHistoryClearedElsewhereStaysCleared()
    {
        Shared shared;
        Store& store = shared.open();
        for (int i = 0; i < 3; ++i)
            store.addEntry(Entry{QUuid::createUuid(), QDateTime::currentDateTimeUtc(), "r", "t",
                                 "quillet", std::nullopt});
        const auto cleared = shared.cli.run({"history", "clear"});
        QCOMPARE(cleared.out, QStringLiteral("Cleared 3 entries\n"));
        QTRY_VERIFY_WITH_TIMEOUT(store.history().isEmpty(), 20000);
        const Entry next{
            QUuid::createUuid(), QDateTime::currentDateTimeUtc(), "r", "next", "quillet",
            std::nullopt};
        store.addEntry(next);
        QCOMPARE(Entry::decodeList(readFile(shared.cli.dataFile("history.json"))),
                 std::optional(QList<Entry>({next})));
    }

    void externalChangesInTheSyncFolderAreMerged()
    {
        Shared shared;
        CliRunner& cli = shared.cli;
        const QString syncDir = cli.root.filePath("Sync");
        QDir().mkpath(syncDir);
        shared.prefs.setSyncFolder(syncDir);
        Store& store = shared.open();
        const QString cloud = QDir(syncDir).filePath(SyncFolder::fileName);

        store.addTerm(QStringLiteral("local"));
        QCOMPARE(readFile(cloud), readFile(cli.dataFile("vocabulary.json")));

        const QDateTime now = QDateTime::currentDateTimeUtc();
        replaceFile(cloud, vocabJson({"local", "remote"}, now.addSecs(100)));
        QTRY_VERIFY_WITH_TIMEOUT(store.vocab().terms.contains("remote"), 20000);
        QCOMPARE(Vocabulary::decode(readFile(cli.dataFile("vocabulary.json")))->terms,
                 QStringList({"local", "remote"}));

        // The watch survives the replacement: a second one is seen too.
        replaceFile(cloud, vocabJson({"remote", "again"}, now.addSecs(200)));
        QTRY_VERIFY_WITH_TIMEOUT(store.vocab().terms.contains("again"), 20000);

        // So is a file rewritten in place.
        {
            QFile f(cloud);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(vocabJson({"in place"}, now.addSecs(300)));
        }
        QTRY_VERIFY_WITH_TIMEOUT(store.vocab().terms.contains("in place"), 20000);

        // An older copy from elsewhere is answered with ours.
        replaceFile(cloud, vocabJson({"stale"}, now.addSecs(-1000)));
        QTRY_VERIFY_WITH_TIMEOUT(readFile(cloud) == store.vocab().encode(), 20000);
        QCOMPARE(store.vocab().terms, QStringList({"in place"}));
    }

private:
    int m_announcements = 0;
    int m_historyAnnouncements = 0;
};

QTEST_GUILESS_MAIN(SharedDataIntegrationTest)
#include "SharedDataIntegrationTest.moc"
