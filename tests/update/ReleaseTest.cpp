#include "update/Release.h"

#include <QTest>

using namespace quillet;

namespace {

// JSON written with single quotes, for legibility.
QByteArray q(const char* text)
{
    return QByteArray(text).replace('\'', '"');
}

} // namespace

class ReleaseTest : public QObject {
    Q_OBJECT

private slots:
    void manifest_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("build");

        const QByteArray url = q("'url':'https://updates.example/quillet/Quillet-7.zip'");
        const auto with = [&](const QByteArray& rest) { return "{" + url + "," + rest + "}"; };
        QTest::newRow("all four") << with(q("'version':'1.7','build':7,'sha256':'AB'")) << true
                                  << qint64(7);
        QTest::newRow("other keys ignored")
            << with(q("'version':'1.7','build':7,'sha256':'ab','notes':[1,2]")) << true
            << qint64(7);
        QTest::newRow("integral float")
            << with(q("'version':'1','build':7.0,'sha256':''")) << true << qint64(7);
        QTest::newRow("build as text")
            << with(q("'version':'1','build':'7','sha256':'ab'")) << false << qint64(0);
        QTest::newRow("fractional build")
            << with(q("'version':'1','build':7.5,'sha256':'ab'")) << false << qint64(0);
        QTest::newRow("no sha256") << with(q("'version':'1','build':7")) << false << qint64(0);
        QTest::newRow("version as number")
            << with(q("'version':1,'build':7,'sha256':'ab'")) << false << qint64(0);
        QTest::newRow("ftp url")
            << (q("{'url':'ftp://h/q.zip','version':'1','build':7,'sha256':'a'}")) << false
            << qint64(0);
        QTest::newRow("url without host")
            << (q("{'url':'https:///q.zip','version':'1','build':7,'sha256':'a'}")) << false
            << qint64(0);
        QTest::newRow("array") << QByteArray("[]") << false << qint64(0);
        QTest::newRow("not JSON") << QByteArray("<html>") << false << qint64(0);
    }

    void manifest()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QFETCH(qint64, build);
        const std::optional<Release> release = Release::fromJson(json);
        QCOMPARE(release.has_value(), valid);
        if (release) {
            QCOMPARE(release->build, build);
            QCOMPARE(release->url.toString(),
                     QStringLiteral("https://updates.example/quillet/Quillet-7.zip"));
        }
    }
};

QTEST_GUILESS_MAIN(ReleaseTest)
#include "ReleaseTest.moc"
