#include "update/Bundle.h"

#include "UpdateFixture.h"
#include "update/Installer.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quillet;
using namespace quillet::updatetest;

class BundleTest : public QObject {
    Q_OBJECT

private slots:
    // The list is what the release script signs, computed there by other means: pin it byte for
    // byte, with a file, a program, a folder and a link.
    void fileListFormat()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("Quillet.AppDir");
        writeFile(root + QStringLiteral("/usr/share/hello.txt"), "hi\n");
        writeExecutable(root + QStringLiteral("/AppRun"), "x");
        QFile::setPermissions(root + QStringLiteral("/usr/share/hello.txt"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QFile::link(QStringLiteral("usr/share/hello.txt"), root + QStringLiteral("/hello"));
        QFile::setPermissions(root + QStringLiteral("/usr"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                  QFile::ReadGroup | QFile::ExeGroup);
        QFile::setPermissions(root + QStringLiteral("/usr/share"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeFile(root + QStringLiteral("/bundle.minisig"), "left out");

        const Result<QByteArray> list = Bundle::fileList(root);
        QVERIFY(list);
        QCOMPARE(*list,
                 "100755 2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881 AppRun\n"
                 "120777 e4993f21f6b3a4b3306ab502e4b7e14a55e62119f0afda3dfd4ac435fe1dc4d0 hello\n"
                 "040750 - usr\n"
                 "040700 - usr/share\n"
                 "100604 98ea6e4f216f2fb4b69fff9b3a44842c38686ca685f3f55dc48c5d3fb1107be4 "
                 "usr/share/hello.txt\n");
    }

    void signature_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("expected"); // empty: accepted

        const QString unreadable = Bundle::unreadableSignature;
        const QString notSigned = Bundle::notSigned;
        QTest::newRow("signed as shipped") << ""
                                           << "";
        QTest::newRow("legacy signature format") << "legacy"
                                                 << "";
        QTest::newRow("a file changed after signing") << "change file" << notSigned;
        QTest::newRow("a file added") << "add file" << notSigned;
        QTest::newRow("an empty folder added") << "add folder" << notSigned;
        QTest::newRow("a file removed") << "remove file" << notSigned;
        QTest::newRow("a file made executable") << "chmod" << notSigned;
        QTest::newRow("signed with another key") << "other key" << notSigned;
        QTest::newRow("another identifier")
            << "comment com.fernwick.quillet.mac build 2" << notSigned;
        QTest::newRow("identifier as a prefix")
            << "comment com.fernwick.quillet.linuxx" << notSigned;
        QTest::newRow("identifier alone") << "comment com.fernwick.quillet.linux"
                                          << "";
        QTest::newRow("trusted comment edited") << "edit comment" << notSigned;
        QTest::newRow("no signature file") << "remove signature" << unreadable;
        QTest::newRow("garbled signature file") << "garble signature" << unreadable;
        QTest::newRow("no public key") << "no key" << unreadable;
        QTest::newRow("public key line only") << "bare key"
                                              << "";
    }

    void signature()
    {
        QFETCH(QString, change);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString root = dir.filePath("Quillet.AppDir");
        makeAppDir(root, 2);
        const QString sig = root + u'/' + Bundle::signatureName;
        QString key = publicKey();

        if (change == u"other key") {
            QVERIFY(sign(root, QStringLiteral("other")));
        } else if (change.startsWith(u"comment ")) {
            QVERIFY(sign(root, QStringLiteral("test"), change.mid(8)));
        } else if (change == u"legacy") {
            QVERIFY(Bundle::fileList(root));
            QTemporaryFile list;
            QVERIFY(list.open());
            list.write(*Bundle::fileList(root));
            list.close();
            QCOMPARE(QProcess::execute("minisign",
                                       {"-S", "-l", "-s", keyFile("test", ".key"), "-m",
                                        list.fileName(), "-x", sig, "-t", BuildInfo::identifier}),
                     0);
        } else {
            QVERIFY(sign(root));
        }

        if (change == u"change file")
            writeExecutable(root + QStringLiteral("/usr/bin/quillet"), "program of build 3");
        else if (change == u"add file")
            writeFile(root + QStringLiteral("/usr/lib/extra.so"), "x");
        else if (change == u"add folder")
            QVERIFY(QDir().mkpath(root + QStringLiteral("/usr/plugins")));
        else if (change == u"remove file")
            QVERIFY(QFile::remove(root + QStringLiteral("/usr/lib/libexample.so.1")));
        else if (change == u"chmod")
            writeExecutable(root + QStringLiteral("/bundle.json"),
                            readFile(root + QStringLiteral("/bundle.json")));
        else if (change == u"edit comment")
            writeFile(sig, readFile(sig).replace("test build", "best build"));
        else if (change == u"remove signature")
            QVERIFY(QFile::remove(sig));
        else if (change == u"garble signature")
            writeFile(sig, readFile(sig).left(60));
        else if (change == u"no key")
            key.clear();
        else if (change == u"bare key")
            key = key.split(u'\n').value(1);

        const Result<void> result = Bundle::checkSignature(root, key, BuildInfo::identifier);
        QCOMPARE(result.error(), expected);
        QCOMPARE(result.ok(), expected.isEmpty());
    }

    void buildNumbers_data()
    {
        QTest::addColumn<QByteArray>("info"); // bundle.json; null: no file at all
        QTest::addColumn<qint64>("build");
        QTest::newRow("number") << QByteArray(R"({"build":42})") << qint64(42);
        QTest::newRow("text") << QByteArray(R"({"build":"17"})") << qint64(17);
        QTest::newRow("signed text") << QByteArray(R"({"build":"+8"})") << qint64(8);
        QTest::newRow("negative text") << QByteArray(R"({"build":"-3"})") << qint64(-3);
        QTest::newRow("text with space") << QByteArray(R"({"build":" 5"})") << qint64(0);
        QTest::newRow("dotted text") << QByteArray(R"({"build":"1.5"})") << qint64(0);
        QTest::newRow("only a sign") << QByteArray(R"({"build":"+"})") << qint64(0);
        QTest::newRow("overflow") << QByteArray(R"({"build":"99999999999999999999"})") << qint64(0);
        QTest::newRow("fraction") << QByteArray(R"({"build":2.5})") << qint64(0);
        QTest::newRow("missing") << QByteArray(R"({"version":"1"})") << qint64(0);
        QTest::newRow("not JSON") << QByteArray("build=4") << qint64(0);
        QTest::newRow("no file") << QByteArray() << qint64(0);
    }

    void buildNumbers()
    {
        QFETCH(QByteArray, info);
        QFETCH(qint64, build);
        QTemporaryDir dir;
        if (!info.isNull())
            writeFile(dir.filePath(Bundle::infoName), info);
        QCOMPARE(Bundle::build(dir.path()), build);
    }
};

QTEST_GUILESS_MAIN(BundleTest)
#include "BundleTest.moc"
