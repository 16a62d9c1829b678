#include "StoreFixture.h"
#include "StyleHelpers.h"
#include "store/ModeRules.h"
#include "util/Json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace quillet;

namespace {

Entry makeEntry(int n, std::optional<QString> app = std::nullopt)
{
    Entry e;
    e.id = QUuid::createUuid();
    e.date = QDateTime::fromSecsSinceEpoch(1'700'000'000 + n, Qt::UTC);
    e.raw = QStringLiteral("raw %1").arg(n);
    e.text = QStringLiteral("text %1").arg(n);
    e.mode = QStringLiteral("quillet");
    e.app = std::move(app);
    return e;
}

// 2026-01-15 (unix 1'768'435'200) as seconds since 2001-01-01.
constexpr double kStamp = 1'768'435'200.0 - 978'307'200.0;

QByteArray vocabJson(const QStringList& terms, std::optional<double> updatedAt)
{
    QJsonObject o{{"terms", QJsonArray::fromStringList(terms)}, {"replacements", QJsonArray()}};
    if (updatedAt)
        o.insert("updatedAt", *updatedAt);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

class StoreTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartCreatesTheFolderAndWritesNothing()
    {
        StoreFixture f;
        Store& s = f.open();
        QVERIFY(QFileInfo(f.dataDir()).isDir());
        QVERIFY(f.files().isEmpty());
        QVERIFY(s.vocab().terms.isEmpty());
        QVERIFY(!s.vocab().updatedAt);
        QVERIFY(s.history().isEmpty());
        QCOMPARE(s.modes(), ModeSettings::defaults());
        QCOMPARE(f.notifier.posts, 0);
        // Observers reach the values through the property system too.
        QCOMPARE(s.property("modes").value<ModeSettings>(), ModeSettings::defaults());
        QVERIFY(s.property("vocab").value<Vocabulary>().terms.isEmpty());
        QVERIFY(s.property("history").value<QList<Entry>>().isEmpty());
        QCOMPARE(Store::defaultDir().section('/', -1), QStringLiteral("Quillet"));
    }

    void historyKeepsTheNewest500()
    {
        StoreFixture f;
        QList<Entry> added; // newest first
        for (int i = 0; i < 499; ++i)
            added.prepend(makeEntry(i));
        f.put("history.json", Entry::encodeList(added));
        Store& s = f.open();
        QSignalSpy changed(&s, &Store::historyChanged);
        for (int i = 499; i < 501; ++i) {
            added.prepend(makeEntry(i));
            s.addEntry(added.first());
        }
        QCOMPARE(changed.count(), 2);
        QCOMPARE(s.history(), added.first(500)); // the very first one was pushed out
        const auto onDisk = Entry::decodeList(f.bytes("history.json"));
        QCOMPARE(onDisk, std::optional(s.history()));
        QCOMPARE(f.notifier.posts, 0); // announced apart from the vocabulary and modes
        QCOMPARE(f.notifier.historyPosts, 2);

        // A fresh start reads the same list, and its next addition keeps the file in step.
        Store& again = f.open();
        QCOMPARE(again.history(), *onDisk);
        again.addEntry(makeEntry(501));
        again.updateEntry([&] {
            Entry e = again.history()[7];
            e.text = QStringLiteral("fixed later");
            return e;
        }());
        QCOMPARE(again.history().size(), 500);
        QCOMPARE(Entry::decodeList(f.bytes("history.json")), std::optional(again.history()));
    }

    void updateAndClearHistory()
    {
        StoreFixture f;
        Store& s = f.open();
        const Entry a = makeEntry(1, QStringLiteral("Terminal"));
        const Entry b = makeEntry(2);
        s.addEntry(a);
        s.addEntry(b);
        Entry fixed = a;
        fixed.text = QStringLiteral("fixed");
        s.updateEntry(fixed);
        QCOMPARE(s.history(), QList<Entry>({b, fixed}));
        QCOMPARE(Entry::decodeList(f.bytes("history.json")), std::optional(s.history()));

        const QByteArray before = f.bytes("history.json");
        QSignalSpy changed(&s, &Store::historyChanged);
        s.updateEntry(makeEntry(3)); // unknown id: nothing at all
        QCOMPARE(changed.count(), 0);
        QCOMPARE(f.bytes("history.json"), before);

        s.clearHistory();
        QVERIFY(s.history().isEmpty());
        QCOMPARE(f.bytes("history.json"), QByteArray("[]"));
        s.addEntry(a);
        QCOMPARE(Entry::decodeList(f.bytes("history.json")), std::optional(QList<Entry>({a})));
    }

    void historyFileFormat()
    {
        StoreFixture f;
        Store& s = f.open();
        Entry e = makeEntry(0, QStringLiteral("Firefox"));
        e.id = QUuid::fromString(QStringLiteral("{0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d}"));
        e.date = QDateTime::fromMSecsSinceEpoch(978'307'200'000 + 1'500, Qt::UTC);
        e.raw = QStringLiteral("a/b \"q\"");
        Entry noApp = makeEntry(1);
        noApp.id = QUuid::fromString(QStringLiteral("{11111111-2222-4333-8444-555555555555}"));
        s.addEntry(e);
        s.addEntry(noApp);
        const QByteArray bytes = f.bytes("history.json");
        QVERIFY(!bytes.contains('\n'));
        QVERIFY(!bytes.contains(": "));
        QVERIFY(bytes.contains("\"id\":\"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D\""));
        QVERIFY(bytes.contains("\"date\":1.5"));
        QVERIFY(bytes.contains("\"app\":\"Firefox\""));
        const QJsonArray array = QJsonDocument::fromJson(bytes).array();
        QCOMPARE(array.size(), 2);
        QVERIFY(!array[0].toObject().contains("app")); // absent, not null
        QCOMPARE(array[0].toObject().keys(), QStringList({"date", "id", "mode", "raw", "text"}));
    }

    void historyReadersAreLenient()
    {
        // Spaces, key order, a lower-case id and an escaped slash.
        const QByteArray bytes(
            "[ {\n \"text\" : \"x\\/y\", \"mode\":\"code\", \"raw\":\"r\",\n"
            "  \"date\": 12.25, \"id\": \"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d\","
            " \"app\": \"Kate\" } ]");
        StoreFixture f;
        f.put("history.json", bytes);
        Store& s = f.open();
        QCOMPARE(s.history().size(), 1);
        const Entry& e = s.history().first();
        QCOMPARE(e.text, QStringLiteral("x/y"));
        QCOMPARE(e.app, std::optional<QString>("Kate"));
        QCOMPARE(json::uuidText(e.id), QStringLiteral("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"));
        QCOMPARE(e.date, QDateTime::fromMSecsSinceEpoch(978'307'200'000 + 12'250, Qt::UTC));
        QVERIFY(f.files() == QStringList({"history.json"})); // loading writes nothing
    }

    void addingATermStampsWritesSyncsAndAnnounces()
    {
        StoreFixture f;
        f.enableSync();
        Store& s = f.open();
        QSignalSpy changed(&s, &Store::vocabChanged);
        s.addTerm(QStringLiteral("  Kubernetes \n"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(s.vocab().terms, QStringList({"Kubernetes"}));
        QCOMPARE(s.vocab().updatedAt, std::optional<QDateTime>(f.clock.now()));
        const QByteArray file = f.bytes("vocabulary.json");
        QCOMPARE(Vocabulary::decode(file), std::optional<Vocabulary>(s.vocab()));
        QCOMPARE(readFile(f.cloudFile()), file);
        QCOMPARE(f.notifier.posts, 1);

        // A mode change announces too, but touches neither the vocabulary nor the sync folder.
        const QByteArray cloudBefore = readFile(f.cloudFile());
        f.clock.advance(60);
        s.setPerApp(true);
        QCOMPARE(f.notifier.posts, 2);
        QCOMPARE(f.bytes("vocabulary.json"), file);
        QCOMPARE(readFile(f.cloudFile()), cloudBefore);
        QCOMPARE(s.modes().perApp, std::optional<bool>(true));
        QCOMPARE(ModeSettings::decode(f.bytes("modes.json")),
                 std::optional<ModeSettings>(s.modes()));
    }

    void replacementFromSettingsAlsoAddsTheTerm()
    {
        StoreFixture f;
        Store& s = f.open();
        s.addReplacement(QStringLiteral("open ai"), QStringLiteral("OpenAI"));
        QCOMPARE(s.vocab().replacements.size(), 1);
        QCOMPARE(s.vocab().replacements.first().to, QStringLiteral("OpenAI"));
        QCOMPARE(s.vocab().terms, QStringList({"OpenAI"}));
        s.removeReplacements({0});
        s.removeTerms({0});
        QVERIFY(s.vocab().terms.isEmpty());
        QVERIFY(s.vocab().replacements.isEmpty());
        QCOMPARE(f.notifier.posts, 3);
    }

    void aChangeKeepsWhatAnotherProcessWrote()
    {
        StoreFixture f;
        Store& s = f.open();
        s.addTerm(QStringLiteral("mine"));
        // Another process adds a term behind our back.
        f.put("vocabulary.json", vocabJson({"mine", "theirs"}, kStamp));
        f.clock.advance(1);
        s.addTerm(QStringLiteral("more"));
        QCOMPARE(s.vocab().terms, QStringList({"mine", "theirs", "more"}));

        // The same for modes.
        ModeSettings other = s.modes();
        other.setOtherApps(QStringLiteral("write"));
        f.put("modes.json", other.encode());
        s.setPerApp(true);
        QCOMPARE(s.modes().otherApps, QStringLiteral("write"));
        QCOMPARE(s.modes().perApp, std::optional<bool>(true));

        // And for the history: what another process cleared does not come back.
        s.addEntry(makeEntry(1));
        s.addEntry(makeEntry(2));
        f.put("history.json", "[]");
        const Entry third = makeEntry(3);
        s.addEntry(third);
        QCOMPARE(s.history(), QList<Entry>({third}));
        QCOMPARE(Entry::decodeList(f.bytes("history.json")), std::optional(s.history()));
        // Nor does an entry it fixed meanwhile lose the fix.
        Entry fixedElsewhere = third;
        fixedElsewhere.text = QStringLiteral("fixed elsewhere");
        f.put("history.json", Entry::encodeList({fixedElsewhere}));
        const Entry fourth = makeEntry(4);
        s.addEntry(fourth);
        QCOMPARE(s.history(), QList<Entry>({fourth, fixedElsewhere}));
    }

    // A change that cannot be written says so and why; the value in memory keeps it.
    void aFailedWriteIsReported_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* file : {"vocabulary.json", "history.json", "modes.json"})
            QTest::newRow(file) << QString(file);
    }

    void aFailedWriteIsReported()
    {
        QFETCH(QString, file);
        StoreFixture f;
        Store& s = f.open();
        // A file where the data folder should be: nothing can be written there, even by root.
        QDir(f.dataDir()).removeRecursively();
        writeFile(f.dataDir(), "in the way");
        Result<void> result = file == u"vocabulary.json" ? s.addTerm(QStringLiteral("Two"))
                              : file == u"history.json"  ? s.addEntry(makeEntry(1))
                                                         : s.setPerApp(true);
        QVERIFY(!result);
        QVERIFY2(result.error().startsWith("cannot write " + f.dataFile(file)),
                 qPrintable(result.error()));
        QCOMPARE(f.notifier.posts + f.notifier.historyPosts, 0);
        QVERIFY(s.vocab().terms.size() + s.history().size() + (s.modes().perApp ? 1 : 0) == 1);
        QCOMPARE(readFile(f.dataDir()), QByteArray("in the way"));
    }

    void learnWithNoCorrectionsChangesNothing()
    {
        StoreFixture f;
        f.enableSync();
        Store& s = f.open();
        s.addTerm(QStringLiteral("Quillet"));
        const QByteArray before = f.bytes("vocabulary.json");
        const auto stamp = s.vocab().updatedAt;
        const QDateTime mtime = QFileInfo(f.dataFile("vocabulary.json")).lastModified();
        f.clock.advance(3600);
        QSignalSpy changed(&s, &Store::vocabChanged);
        QCOMPARE(s.learn({}).value(), QStringList());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(s.vocab().updatedAt, stamp);
        QCOMPARE(f.bytes("vocabulary.json"), before);
        QCOMPARE(QFileInfo(f.dataFile("vocabulary.json")).lastModified(), mtime);
        QCOMPARE(f.notifier.posts, 1);

        const QStringList learned =
            s.learn({{"cube cuddle", "kubectl"}, {"Quillet", "Quillet"}}).value();
        QCOMPARE(learned, QStringList({"kubectl", "Quillet"}));
        QCOMPARE(s.vocab().updatedAt, std::optional<QDateTime>(f.clock.now()));
        QVERIFY(s.vocab().terms.contains("kubectl"));
        QCOMPARE(f.notifier.posts, 2);
    }

    // At start-up the vocabulary with the later stamp wins; a stamped one beats an unstamped one,
    // which is merged in rather than lost.
    void startUpSyncsWithTheCloudCopy_data()
    {
        QTest::addColumn<QStringList>("local");
        QTest::addColumn<std::optional<double>>("localStamp");
        QTest::addColumn<QStringList>("cloud");
        QTest::addColumn<std::optional<double>>("cloudStamp");
        QTest::addColumn<QStringList>("terms");
        QTest::addColumn<bool>("cloudWins");
        const auto row = [](const char* name, QStringList local, std::optional<double> localStamp,
                            QStringList cloud, std::optional<double> cloudStamp, QStringList terms,
                            bool cloudWins) {
            QTest::newRow(name) << local << localStamp << cloud << cloudStamp << terms << cloudWins;
        };
        row("cloud newer than an unstamped local: merged", {"local", "shared"}, {},
            {"Shared", "remote"}, kStamp, {"Shared", "remote", "local"}, true);
        row("cloud newer than a stamped local: wins", {"local"}, kStamp - 10, {"remote"}, kStamp,
            {"remote"}, true);
        row("cloud older: overwritten", {"local"}, kStamp, {"remote"}, kStamp - 10, {"local"},
            false);
        row("both stamps absent: nothing", {"local"}, {}, {"remote"}, {}, {"local"}, false);
    }

    void startUpSyncsWithTheCloudCopy()
    {
        QFETCH(QStringList, local);
        QFETCH(std::optional<double>, localStamp);
        QFETCH(QStringList, cloud);
        QFETCH(std::optional<double>, cloudStamp);
        QFETCH(QStringList, terms);
        QFETCH(bool, cloudWins);
        StoreFixture f;
        f.enableSync();
        const QByteArray localBytes = vocabJson(local, localStamp);
        const QByteArray cloudBytes = vocabJson(cloud, cloudStamp);
        f.put("vocabulary.json", localBytes);
        writeFile(f.cloudFile(), cloudBytes);
        Store& s = f.open();
        QCOMPARE(s.vocab().terms, terms);
        const auto winner = cloudWins ? cloudStamp : localStamp;
        QCOMPARE(s.vocab().updatedAt,
                 winner ? std::optional(json::fromReferenceSeconds(*winner)) : std::nullopt);
        // The older side is rewritten with the result; without any stamp nothing is written.
        QCOMPARE(f.bytes("vocabulary.json"), cloudWins ? s.vocab().encode() : localBytes);
        QCOMPARE(readFile(f.cloudFile()),
                 cloudWins || !localStamp ? cloudBytes : s.vocab().encode());
        QCOMPARE(f.notifier.posts, 0);
    }

    void missingOrBrokenCloudCopyIsReplacedOnlyByAStampedVocabulary()
    {
        StoreFixture f;
        f.enableSync();
        f.put("vocabulary.json", vocabJson({"local"}, {}));
        f.open();
        QVERIFY(!QFileInfo::exists(f.cloudFile())); // unstamped: nothing to publish

        // A damaged copy is kept aside, as a damaged local file is.
        writeFile(f.cloudFile(), "{\"terms\":[1]}");
        f.put("vocabulary.json", vocabJson({"local"}, kStamp));
        Store& s = f.open();
        QCOMPARE(readFile(f.cloudFile()), s.vocab().encode());
        const QString kept = SyncFolder::fileName + QStringLiteral(".corrupt-") +
                             QString::number(f.clock.now().toSecsSinceEpoch());
        QCOMPARE(readFile(QDir(f.syncDir()).filePath(kept)), QByteArray("{\"terms\":[1]}"));
        QCOMPARE(f.warnings,
                 QStringList({f.cloudFile() + " could not be read; it was kept as " + kept}));

        // A sync folder that is gone (an unmounted drive) is not made again; said once.
        QDir(f.syncDir()).removeRecursively();
        s.addTerm(QStringLiteral("one"));
        s.addTerm(QStringLiteral("two"));
        QVERIFY(!QFileInfo::exists(f.syncDir()));
        QCOMPARE(f.warnings.size(), 2);
        QCOMPARE(f.warnings.last(), "the sync folder " + f.syncDir() +
                                        " does not exist; the vocabulary was not copied there");
        QCOMPARE(Vocabulary::decode(f.bytes("vocabulary.json"))->terms,
                 QStringList({"local", "one", "two"}));

        // Without a sync folder nothing is written anywhere but the data folder.
        f.prefs->remove("syncFolder");
        QFile::remove(f.cloudFile());
        f.open().addTerm(QStringLiteral("x"));
        QVERIFY(!QFileInfo::exists(f.cloudFile()));
    }

    void choosingASyncFolderLaterPublishesTheVocabulary()
    {
        StoreFixture f;
        Store& s = f.open();
        s.addTerm(QStringLiteral("before sync"));
        QDir().mkpath(f.syncDir());
        f.prefs->setSyncFolder(f.syncDir());
        f.clock.advance(0.2);
        QCOMPARE(readFile(f.cloudFile()), s.vocab().encode());

        // "~/" means the home folder.
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(f.root.path()));
        f.prefs->setSyncFolder(QStringLiteral("~/sync"));
        s.addTerm(QStringLiteral("via home"));
        qputenv("HOME", oldHome);
        QVERIFY(s.vocab().terms.contains("via home"));
        QCOMPARE(readFile(f.cloudFile()), s.vocab().encode());
    }

    void deletingEveryModeLeavesTheBuiltIns()
    {
        StoreFixture f;
        Store& s = f.open();
        Style custom = newModeTemplate(s.modes().styles);
        s.saveStyle(custom);
        QCOMPARE(s.modes().styles.size(), 5);
        const QList<Style> all = s.modes().styles;
        for (const Style& style : all)
            s.deleteStyle(style.id);
        const auto onDisk = ModeSettings::decode(f.bytes("modes.json"));
        QVERIFY(onDisk);
        QCOMPARE(idsOf(onDisk->styles), QStringList({"quillet", "code", "chat", "write"}));
        QCOMPARE(onDisk->styles, s.modes().styles);
        QCOMPARE(f.notifier.posts, 6);
    }

    void startUpRefreshesUneditedBuiltInsWithoutWriting()
    {
        StoreFixture f;
        ModeSettings old = ModeSettings::defaults();
        old.styles[3].instructions = QStringLiteral("old write instructions");
        old.styles[3].name = QStringLiteral("Prose");
        old.styles[1].instructions = QStringLiteral("my code instructions");
        old.styles[1].edited = true;
        const QByteArray bytes = old.encode();
        f.put("modes.json", bytes);
        Store& s = f.open();
        QVERIFY(s.modes().styles[3].instructions.startsWith("Turn the dictated speech into well-"));
        QCOMPARE(s.modes().styles[3].name, QStringLiteral("Prose"));
        QCOMPARE(s.modes().styles[1].instructions, QStringLiteral("my code instructions"));
        QCOMPARE(f.bytes("modes.json"), bytes);
    }

    void anotherProcessesAnnouncementReloads()
    {
        StoreFixture f;
        Store& s = f.open();
        QSignalSpy vocab(&s, &Store::vocabChanged);
        QSignalSpy modes(&s, &Store::modesChanged);
        f.put("vocabulary.json", vocabJson({"elsewhere"}, kStamp));
        ModeSettings other = ModeSettings::defaults();
        other.setPerApp(true);
        f.put("modes.json", other.encode());
        f.notifier.announceFromElsewhere();
        QCOMPARE(s.vocab().terms, QStringList({"elsewhere"}));
        QCOMPARE(s.modes().perApp, std::optional<bool>(true));
        QCOMPARE(vocab.count(), 1);
        QCOMPARE(modes.count(), 1);
        f.notifier.announceFromElsewhere(); // nothing new: no churn
        QCOMPARE(vocab.count(), 1);

        // The history has an announcement of its own.
        QSignalSpy history(&s, &Store::historyChanged);
        const Entry elsewhere = makeEntry(1);
        f.put("history.json", Entry::encodeList({elsewhere}));
        f.notifier.announceFromElsewhere(ChangeNotifier::Topic::vocab);
        QVERIFY(s.history().isEmpty());
        f.notifier.announceFromElsewhere(ChangeNotifier::Topic::history);
        QCOMPARE(s.history(), QList<Entry>({elsewhere}));
        QCOMPARE(history.count(), 1);
        QCOMPARE(f.notifier.posts + f.notifier.historyPosts, 0);
    }
};

QTEST_GUILESS_MAIN(StoreTest)
#include "StoreTest.moc"
