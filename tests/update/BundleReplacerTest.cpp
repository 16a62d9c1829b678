#include "update/BundleReplacer.h"

#include "util/TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quillet;

class BundleReplacerTest : public QObject {
    Q_OBJECT

private slots:
    void replace_data()
    {
        QTest::addColumn<QString>("replacementParent"); // where the new bundle was unpacked
        QTest::newRow("same file system") << QString();
        // /dev/shm is a tmpfs: another file system than the temporary folder's.
        QTest::newRow("another file system") << QStringLiteral("/dev/shm");
    }

    void replace()
    {
        QFETCH(QString, replacementParent);
        QTemporaryDir home;
        std::optional<QTemporaryDir> elsewhere;
        if (!replacementParent.isEmpty()) {
            if (!QFileInfo(replacementParent).isWritable())
                QSKIP("no writable tmpfs");
            elsewhere.emplace(replacementParent + QStringLiteral("/quillet-test-XXXXXX"));
        }
        const QString installed = home.filePath("apps/Quillet.AppDir");
        const QString replacement =
            (elsewhere ? elsewhere->path() : home.filePath("work")) + "/Quillet.AppDir";
        writeFile(installed + "/AppRun", "old");
        writeFile(installed + "/usr/lib/only-old.so", "old");
        writeFile(replacement + "/AppRun", "new");
        writeFile(replacement + "/usr/bin/quillet", "new");
        QFile::setPermissions(replacement + "/usr/bin/quillet",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        const Result<void> result = BundleReplacer::replace(installed, replacement);
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QCOMPARE(readFile(installed + "/AppRun"), "new");
        QVERIFY(!QFile::exists(installed + "/usr/lib/only-old.so"));
        QCOMPARE(QFile::permissions(installed + "/usr/bin/quillet"),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                     QFile::WriteUser | QFile::ExeUser);
        // Neither the old bundle nor a staging copy is left beside the installed one.
        QCOMPARE(QDir(home.filePath("apps"))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"Quillet.AppDir"});
    }

    void failureLeavesBoth()
    {
        QTemporaryDir home;
        const QString replacement = home.filePath("work/Quillet.AppDir");
        writeFile(replacement + "/AppRun", "new");
        const Result<void> result =
            BundleReplacer::replace(home.filePath("gone/Quillet.AppDir"), replacement);
        QVERIFY(!result);
        QVERIFY2(result.error().contains("No such file or directory"), qPrintable(result.error()));
        QCOMPARE(readFile(replacement + "/AppRun"), "new");
    }
};

QTEST_GUILESS_MAIN(BundleReplacerTest)
#include "BundleReplacerTest.moc"
