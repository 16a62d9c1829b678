#include "update/Unpacker.h"

#include "UpdateFixture.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quillet;
using namespace quillet::updatetest;

Q_DECLARE_METATYPE(std::vector<quillet::updatetest::ZipEntry>)

namespace {

ZipEntry fileEntry(QByteArray path, QByteArray content, unsigned mode = 0644)
{
    return {std::move(path), std::move(content), AE_IFREG | mode, {}, {}};
}
ZipEntry folderEntry(QByteArray path)
{
    return {std::move(path), {}, AE_IFDIR | 0755, {}, {}};
}
ZipEntry softLink(QByteArray path, QByteArray target)
{
    return {std::move(path), {}, AE_IFLNK | 0777, std::move(target), {}};
}
} // namespace

class UnpackerTest : public QObject {
    Q_OBJECT

private slots:
    // Each archive is unpacked into sandbox/work; whatever happens, nothing may appear in the
    // sandbox beside the work folder, and a refused archive writes nothing at all.
    void unpack_data()
    {
        QTest::addColumn<std::vector<ZipEntry>>("entries");
        QTest::addColumn<QStringList>("written"); // empty: refused

        const ZipEntry fine = fileEntry("Quillet.AppDir/AppRun", "#!/bin/sh\n", 0755);
        QTest::newRow("files, folders and an inner link")
            << std::vector{folderEntry("Quillet.AppDir/"), fine,
                           fileEntry("Quillet.AppDir/usr/lib/libq.so.1", "lib"),
                           softLink("Quillet.AppDir/usr/lib/libq.so", "libq.so.1"),
                           softLink("Quillet.AppDir/run", "./usr/../AppRun")}
            << QStringList{"Quillet.AppDir",
                           "Quillet.AppDir/AppRun",
                           "Quillet.AppDir/run",
                           "Quillet.AppDir/usr",
                           "Quillet.AppDir/usr/lib",
                           "Quillet.AppDir/usr/lib/libq.so",
                           "Quillet.AppDir/usr/lib/libq.so.1"};
        QTest::newRow("parent folder")
            << std::vector{fine, fileEntry("../evil", "x")} << QStringList();
        QTest::newRow("parent folder inside a path")
            << std::vector{fine, fileEntry("Quillet.AppDir/../../evil", "x")} << QStringList();
        QTest::newRow("absolute path")
            << std::vector{fine, fileEntry("/tmp/quillet-evil", "x")} << QStringList();
        QTest::newRow("link to a parent folder")
            << std::vector{fine, softLink("Quillet.AppDir/out", "../../..")} << QStringList();
        QTest::newRow("link out through an inner folder")
            << std::vector{fine, softLink("Quillet.AppDir/usr/out", "../lib/../../..")}
            << QStringList();
        QTest::newRow("absolute link")
            << std::vector{fine, softLink("Quillet.AppDir/etc", "/etc")} << QStringList();
    }

    void unpack()
    {
        QFETCH(std::vector<ZipEntry>, entries);
        QFETCH(QStringList, written);
        QTemporaryDir sandbox;
        const QString zip = sandbox.filePath("update.zip");
        QVERIFY(writeZip(zip, entries));
        const QString work = sandbox.filePath("a/b/work");
        QVERIFY(QDir().mkpath(work));

        const Result<void> result = Unpacker::unpack(zip, work);
        QCOMPARE(result.ok(), !written.isEmpty());
        QCOMPARE(tree(work), written);
        QStringList everything{"a", "a/b", "a/b/work", "update.zip"};
        for (const QString& path : written)
            everything << "a/b/work/" + path;
        everything.sort();
        QCOMPARE(tree(sandbox.path()), everything);
        QVERIFY(!QFile::exists("/tmp/quillet-evil"));
    }

    // Permission bits come out as they went in, whatever the umask.
    void keepsModes()
    {
        QTemporaryDir sandbox;
        const QString zip = sandbox.filePath("update.zip");
        QVERIFY(writeZip(zip, {folderEntry("d/"), fileEntry("d/run", "x", 0750),
                               fileEntry("d/data", "y", 0600)}));
        const mode_t old = umask(077);
        const Result<void> result = Unpacker::unpack(zip, sandbox.path());
        umask(old);
        QVERIFY2(result.ok(), qPrintable(result.error()));
        struct stat st {};
        QCOMPARE(lstat(QFile::encodeName(sandbox.filePath("d/run")).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0750u);
        QCOMPARE(lstat(QFile::encodeName(sandbox.filePath("d/data")).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);
        QCOMPARE(lstat(QFile::encodeName(sandbox.filePath("d")).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0755u);
    }

    void notAZip()
    {
        QTemporaryDir sandbox;
        writeFile(sandbox.filePath("update.zip"), "PK\x03\x04 but nothing more");
        QVERIFY(!Unpacker::unpack(sandbox.filePath("update.zip"), sandbox.filePath("work")));
        QVERIFY(!Unpacker::unpack(sandbox.filePath("missing.zip"), sandbox.path()));
    }
};

QTEST_GUILESS_MAIN(UnpackerTest)
#include "UnpackerTest.moc"
