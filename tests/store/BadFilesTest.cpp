// Data files that exist but do not decode: the store starts with defaults, never crashes, and
// keeps the original bytes beside the new file when it first overwrites one.

#include "BadFileSamples.h"
#include "StoreFixture.h"

#include <QTest>

using namespace quillet;

namespace {

// Changes the value kept in `file`.
void change(Store& s, const QString& file)
{
    if (file == u"vocabulary.json")
        s.addTerm(QStringLiteral("fresh"));
    else if (file == u"history.json")
        s.addEntry(Entry{QUuid::createUuid(), QDateTime::currentDateTimeUtc(), "r", "t", "quillet",
                         std::nullopt});
    else
        s.setPerApp(true);
}

} // namespace

class BadFilesTest : public QObject {
    Q_OBJECT
private slots:
    void undecodableFilesAreKept_data() { addBadFileRows(); }

    void undecodableFilesAreKept()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        StoreFixture f;
        f.put(file, bytes);
        Store& s = f.open();
        QVERIFY(s.vocab().terms.isEmpty());
        QVERIFY(s.history().isEmpty());
        QCOMPARE(s.modes(), ModeSettings::defaults());
        // Start-up leaves the broken file alone.
        QCOMPARE(f.files(), QStringList({file}));

        change(s, file);
        const QString kept =
            file + QStringLiteral(".corrupt-") + QString::number(f.clock.now().toSecsSinceEpoch());
        QCOMPARE(f.files(), QStringList({file, kept}));
        QVERIFY(f.bytes(kept) == bytes);
        QVERIFY(f.bytes(file) != bytes);
        QCOMPARE(f.warnings,
                 QStringList({f.dataFile(file) + " could not be read; it was kept as " + kept}));

        // Later changes overwrite the now valid file without setting anything else aside.
        f.clock.advance(5);
        change(s, file);
        QCOMPARE(f.files().size(), 2);
        // And the new file reads back.
        Store& again = f.open();
        if (file == u"vocabulary.json")
            QCOMPARE(again.vocab().terms, QStringList({"fresh"}));
        else if (file == u"history.json")
            QCOMPARE(again.history().size(), 2);
        else
            QCOMPARE(again.modes().perApp, std::optional<bool>(true));
    }

    void aFileRepairedByAnotherProcessIsNotSetAside()
    {
        StoreFixture f;
        f.put("history.json", "garbage");
        Store& s = f.open();
        f.put("history.json", "[]"); // someone fixed it meanwhile
        change(s, QStringLiteral("history.json"));
        QCOMPARE(f.files(), QStringList({"history.json"}));
    }

    void twoBrokenVersionsInOneSecondAreBothKept()
    {
        StoreFixture f;
        f.put("modes.json", "first");
        Store& s = f.open();
        s.setPerApp(true);
        f.put("modes.json", "second");
        s.setPerApp(false); // the re-read finds it broken again
        const QString base = QStringLiteral("modes.json.corrupt-") +
                             QString::number(f.clock.now().toSecsSinceEpoch());
        QCOMPARE(f.files(), QStringList({"modes.json", base, base + "-1"}));
        QCOMPARE(f.bytes(base), QByteArray("first"));
        QCOMPARE(f.bytes(base + "-1"), QByteArray("second"));
        QCOMPARE(s.modes().perApp, std::optional<bool>(false));
    }
};

QTEST_GUILESS_MAIN(BadFilesTest)
#include "BadFilesTest.moc"
