#include "app/UpdateSwitches.h"

#include "update/UpdateFixture.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quillet;
using namespace quillet::updatetest;

class UpdateSwitchesTest : public QObject {
    Q_OBJECT

private slots:
    // -verifyUpdate checks a release offline, as the release tooling runs it.
    void verifyUpdate_data()
    {
        QTest::addColumn<QString>("target"); // "zip", "appdir", "tampered", "missing"
        QTest::addColumn<qint64>("runningBuild");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("printed");
        QTest::newRow("zip") << "zip" << qint64(1) << 0 << "build 2, signed by Quillet's developer";
        QTest::newRow("AppDir") << "appdir" << qint64(1) << 0
                                << "build 2, signed by Quillet's developer";
        QTest::newRow("tampered AppDir")
            << "tampered" << qint64(1) << 1 << "the update isn't signed by Quillet's developer";
        QTest::newRow("not newer than the running build")
            << "zip" << qint64(2) << 1 << "downloaded build isn't newer";
        QTest::newRow("no such file")
            << "missing" << qint64(1) << 1 << "couldn't unpack the update";
    }

    void verifyUpdate()
    {
        QFETCH(QString, target);
        QFETCH(qint64, runningBuild);
        QFETCH(int, code);
        QFETCH(QString, printed);
        QTemporaryDir dir;
        const QString appDir = dir.filePath("Quillet.AppDir");
        makeAppDir(appDir, 2);
        QVERIFY(sign(appDir));
        QVERIFY(zipFolder(appDir, dir.filePath("Quillet.zip")));
        if (target == "tampered")
            writeFile(appDir + "/usr/lib/libexample.so.1", "patched");
        const QString path = target == "zip"       ? dir.filePath("Quillet.zip")
                             : target == "missing" ? dir.filePath("none.zip")
                                                   : appDir;

        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        QCOMPARE(quillet::verifyUpdate(path, publicKey(), runningBuild, out, err), code);
        out.flush();
        err.flush();
        QCOMPARE(code == 0 ? outText : errText, "verifyUpdate: " + path + ": " + printed + "\n");
    }
};

QTEST_GUILESS_MAIN(UpdateSwitchesTest)
#include "UpdateSwitchesTest.moc"
