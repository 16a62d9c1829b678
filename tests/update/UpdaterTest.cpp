#include "update/Updater.h"

#include "LoopbackSite.h"
#include "UpdateFixture.h"
#include "store/Preferences.h"
#include "update/Installer.h"
#include "util/ManualClock.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>

using namespace quillet;
using namespace quillet::updatetest;

namespace {

const QString kUpdating = QStringLiteral("Updating Quillet…");
const QString kFailed = QStringLiteral("Update failed: ");

// An installed bundle at build 1, a site that serves the manifest and the archive, and an
// updater over them whose relaunch and quit are recorded instead of done.
struct Rig {
    QTemporaryDir root;
    EnvGuard tmp{"TMPDIR", QFile::encodeName(root.filePath("tmp"))};
    EnvGuard key{"SONIOX_API_KEY", std::nullopt};
    LoopbackSite site;
    ManualClock clock;
    QNetworkAccessManager network;
    Preferences prefs{root.filePath("Quillet.conf")};
    QString installed = root.filePath("apps/Quillet.AppDir");
    std::unique_ptr<Updater> updater;
    QStringList messages;
    QStringList launched; // program, then arguments
    int quits = 0;

    explicit Rig(QString bundlePath = {})
    {
        QDir().mkpath(root.filePath("tmp"));
        makeAppDir(installed, 1);
        Updater::Config config{site.url(), publicKey(), BuildInfo::identifier, 1,
                               bundlePath.isEmpty() ? installed : bundlePath};
        updater = std::make_unique<Updater>(config, prefs, network, clock);
        updater->onMessage = [this](const QString& text) { messages << text; };
        updater->launch = [this](const QString& program, const QStringList& arguments) {
            launched = QStringList{program} + arguments;
            return Result<void>();
        };
        updater->quit = [this] { ++quits; };
    }

    // Builds, signs and zips a bundle at `build` and serves it with a manifest for
    // `manifestBuild`; `tamper` runs between signing and zipping.
    QByteArray publish(qint64 build, qint64 manifestBuild, const QString& signingKey = "test",
                       const QString& comment = BuildInfo::identifier + " 0.1.2 build 2",
                       const std::function<void(const QString&)>& tamper = {})
    {
        const QString appDir = root.filePath("release/Quillet.AppDir");
        QDir(appDir).removeRecursively();
        makeAppDir(appDir, build);
        if (!sign(appDir, signingKey, comment))
            return {};
        if (tamper)
            tamper(appDir);
        const QString zip = root.filePath("release/Quillet.zip");
        if (!zipFolder(appDir, zip))
            return {};
        const QByteArray archive = readFile(zip);
        serve(archive, manifest(manifestBuild, sha256Hex(archive)));
        return archive;
    }

    QByteArray manifest(qint64 build, const QString& sha256) const
    {
        return QStringLiteral(R"({"version":"0.1.%1","build":%1,"url":"%2","sha256":"%3"})")
            .arg(build)
            .arg(site.url("/quillet/Quillet.zip"), sha256)
            .toUtf8();
    }

    void serve(const QByteArray& archive, const QByteArray& manifestJson)
    {
        site.set("/quillet/Quillet.zip", {200, archive, false});
        site.set("/quillet/latest.json", {200, manifestJson, false});
    }

    bool check(bool interactive)
    {
        auto task = updater->check(interactive);
        return QTest::qWaitFor([&] { return task.isReady(); }, 30000);
    }

    QStringList relaunch() const
    {
        return {"/bin/sh", "-c", "sleep 0.7; exec \"$0\"", installed + "/AppRun"};
    }
};

} // namespace

class UpdaterTest : public QObject {
    Q_OBJECT

private slots:
    void installs_data()
    {
        QTest::addColumn<bool>("upperCaseDigest");
        QTest::newRow("lower-case digest") << false;
        QTest::newRow("upper-case digest") << true;
    }

    void installs()
    {
        QFETCH(bool, upperCaseDigest);
        Rig rig;
        const QByteArray archive = rig.publish(2, 2);
        QVERIFY(!archive.isEmpty());
        const QString digest = sha256Hex(archive);
        rig.site.set("/quillet/latest.json",
                     {200, rig.manifest(2, upperCaseDigest ? digest.toUpper() : digest), false});

        QVERIFY(rig.check(true));
        QCOMPARE(rig.messages, QStringList{kUpdating});
        QCOMPARE(rig.launched, rig.relaunch());
        QCOMPARE(rig.quits, 1);
        // Neither the download nor the old bundle is left behind.
        QCOMPARE(tree(rig.root.filePath("tmp")), QStringList());
        QCOMPARE(tree(rig.root.filePath("apps")).filter(QRegularExpression("^[^/]*$")),
                 QStringList{"Quillet.AppDir"});
        QCOMPARE(Bundle::build(rig.installed), 2);
        QCOMPARE(readFile(rig.installed + "/usr/bin/quillet"), "program of build 2");
        QVERIFY(Bundle::checkSignature(rig.installed, publicKey(), BuildInfo::identifier));
        QVERIFY(rig.updater->busy());
        QCOMPARE(rig.updater->available()->build, 2);
        QCOMPARE(rig.site.requests().first().headers.value("cache-control"), "no-cache");
    }

    void outcomes_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("interactive");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<qint64>("available"); // the build offered afterwards, 0 for none

        const auto failed = [](const QString& why) {
            return QStringList{kUpdating, kFailed + why};
        };
        const QStringList checkFailed{"Couldn't check for updates"};
        const QString notSigned = "the update isn't signed by Quillet's developer";

        QTest::newRow("no build, asked") << "no build" << true << checkFailed << qint64(0);
        QTest::newRow("no build, quiet") << "no build" << false << QStringList() << qint64(0);
        QTest::newRow("url not a URL, asked") << "bad url" << true << checkFailed << qint64(0);
        QTest::newRow("relative url") << "relative url" << true << checkFailed << qint64(0);
        QTest::newRow("no manifest") << "no manifest" << true << checkFailed << qint64(0);
        QTest::newRow("same build, asked")
            << "same build" << true << QStringList{"Quillet is up to date"} << qint64(0);
        QTest::newRow("same build, quiet") << "same build" << false << QStringList() << qint64(0);
        QTest::newRow("autoUpdate off, quiet") << "auto off" << false << QStringList() << qint64(2);
        QTest::newRow("flipped byte")
            << "flip" << false << failed("download didn't match its checksum") << qint64(2);
        QTest::newRow("changed after signing")
            << "change" << true << failed(notSigned) << qint64(2);
        QTest::newRow("signed with another key")
            << "other key" << true << failed(notSigned) << qint64(2);
        QTest::newRow("another identifier")
            << "other identifier" << true << failed(notSigned) << qint64(2);
        QTest::newRow("bundle not newer")
            << "not newer" << true << failed("downloaded build isn't newer") << qint64(2);
        QTest::newRow("archive escapes its folder")
            << "escape" << true << failed("couldn't unpack the update") << qint64(2);
    }

    void outcomes()
    {
        QFETCH(QString, setup);
        QFETCH(bool, interactive);
        QFETCH(QStringList, messages);
        QFETCH(qint64, available);
        Rig rig;
        const QString url = rig.site.url("/quillet/Quillet.zip");
        QByteArray archive = rig.publish(2, 2);
        QVERIFY(!archive.isEmpty());
        const auto manifest = [&](const QByteArray& json) {
            rig.site.set("/quillet/latest.json", {200, json, false});
        };

        if (setup == "no build")
            manifest(R"({"version":"2","url":")" + url.toUtf8() + R"(","sha256":"00"})");
        else if (setup == "bad url")
            manifest(R"({"version":"2","build":2,"url":"not a url","sha256":"00"})");
        else if (setup == "relative url")
            manifest(R"({"version":"2","build":2,"url":"/quillet/Quillet.zip","sha256":"00"})");
        else if (setup == "no manifest")
            rig.site.set("/quillet/latest.json", {404, "gone", false});
        else if (setup == "same build")
            manifest(rig.manifest(1, sha256Hex(archive)));
        else if (setup == "auto off")
            rig.prefs.setAutoUpdate(false);
        else if (setup == "flip")
            archive[archive.size() / 2] = static_cast<char>(archive[archive.size() / 2] ^ 0x01),
                                     rig.site.set("/quillet/Quillet.zip", {200, archive, false});
        else if (setup == "change")
            rig.publish(2, 2, "test", BuildInfo::identifier, [](const QString& appDir) {
                writeFile(appDir + "/usr/lib/libexample.so.1", "patched");
            });
        else if (setup == "other key")
            rig.publish(2, 2, "other");
        else if (setup == "other identifier")
            rig.publish(2, 2, "test", "com.fernwick.quillet.mac");
        else if (setup == "not newer")
            rig.publish(1, 2);
        else if (setup == "escape") {
            QVERIFY(writeZip(rig.root.filePath("evil.zip"),
                             {{"Quillet.AppDir/AppRun", "x", AE_IFREG | 0755, {}, {}},
                              {"Quillet.AppDir/../../escaped", "x", AE_IFREG | 0644, {}, {}}}));
            archive = readFile(rig.root.filePath("evil.zip"));
            rig.serve(archive, rig.manifest(2, sha256Hex(archive)));
        }

        QVERIFY(rig.check(interactive));
        QCOMPARE(rig.messages, messages);
        QCOMPARE(rig.updater->available() ? rig.updater->available()->build : 0, available);
        // Nothing replaced, nothing relaunched, ready for the next attempt.
        QCOMPARE(Bundle::build(rig.installed), 1);
        QCOMPARE(readFile(rig.installed + "/usr/bin/quillet"), "program of build 1");
        QVERIFY(rig.launched.isEmpty());
        QCOMPARE(rig.quits, 0);
        QVERIFY(!rig.updater->busy());
        if (setup == "flip")
            QVERIFY(!QFile::exists(Installer::workFolder(2)));
        // Refused before anything was written: the work folder stays empty.
        if (setup == "escape") {
            QCOMPARE(tree(rig.root.filePath("tmp")), QStringList{"quillet-update-2"});
            QVERIFY(tree(rig.root.path()).filter("escaped").isEmpty());
        }
    }

    void downloadFailureIsReported()
    {
        Rig rig;
        rig.site.set("/quillet/latest.json", {200, rig.manifest(2, "00"), false});
        QVERIFY(rig.check(false));
        QCOMPARE(rig.messages.size(), 2);
        QVERIFY2(rig.messages[1].startsWith(kFailed) && rig.messages[1].size() > kFailed.size(),
                 qPrintable(rig.messages[1]));
        QVERIFY(!rig.updater->busy());
    }

    // Automatic updating waits for the dictation to be idle, polling every 5 s.
    void waitsUntilIdle()
    {
        Rig rig;
        QVERIFY(!rig.publish(2, 2).isEmpty());
        bool idle = false;
        rig.updater->isIdle = [&] { return idle; };
        auto task = rig.updater->check(false);
        QTRY_VERIFY(rig.updater->available().has_value());
        // Polls at 5 and 10 s find a dictation in progress; the one at 15 s finds none.
        const auto step = [&](double seconds) {
            rig.clock.advance(seconds);
            QTest::qWait(20);
        };
        step(5);
        step(5);
        QVERIFY(rig.messages.isEmpty());
        idle = true;
        step(4.5);
        QVERIFY(rig.messages.isEmpty());
        QCOMPARE(rig.site.count("/quillet/Quillet.zip"), 0);
        rig.clock.advance(0.5);
        QTRY_COMPARE(rig.messages, QStringList{kUpdating});
        QTRY_COMPARE(rig.quits, 1);
    }

    void schedule()
    {
        Rig rig;
        rig.site.set("/quillet/latest.json", {200, rig.manifest(1, "00"), false});
        rig.updater->start();
        rig.clock.advance(19.9);
        QTest::qWait(50);
        QCOMPARE(rig.site.count("/quillet/latest.json"), 0);
        rig.clock.advance(0.1);
        QTRY_COMPARE(rig.site.count("/quillet/latest.json"), 1);
        rig.clock.advance(Updater::checkInterval - 20.1);
        QTest::qWait(50);
        QCOMPARE(rig.site.count("/quillet/latest.json"), 1);
        rig.clock.advance(0.1);
        QTRY_COMPARE(rig.site.count("/quillet/latest.json"), 2);
        rig.clock.advance(Updater::checkInterval);
        QTRY_COMPARE(rig.site.count("/quillet/latest.json"), 3);
        QVERIFY(rig.messages.isEmpty());
    }

    void canUpdate_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("speechKey"); // SONIOX_API_KEY
        QTest::addColumn<QString>("bundle");                      // empty: the rig's AppDir
        QTest::addColumn<bool>("expected");
        QTest::newRow("bundled, no built-in key") << std::optional<QByteArray>() << "" << true;
        QTest::newRow("built-in key empty") << std::optional<QByteArray>("") << "" << true;
        QTest::newRow("built-in key") << std::optional<QByteArray>("sk-built-in") << "" << false;
        QTest::newRow("installed by a package") << std::optional<QByteArray>() << "/usr" << false;
        QTest::newRow("a folder that only contains the name")
            << std::optional<QByteArray>() << "/opt/Quillet.AppDir/sub" << false;
    }

    void canUpdate()
    {
        QFETCH(std::optional<QByteArray>, speechKey);
        QFETCH(QString, bundle);
        QFETCH(bool, expected);
        Rig rig(bundle);
        EnvGuard key("SONIOX_API_KEY", speechKey);
        QCOMPARE(rig.updater->canUpdate(), expected);
        rig.site.set("/quillet/latest.json", {200, rig.manifest(1, "00"), false});
        rig.updater->start();
        QCOMPARE(rig.clock.pendingTimers(), expected ? 2 : 0);
        QVERIFY(rig.check(true));
        QCOMPARE(rig.messages, QStringList{expected ? "Quillet is up to date"
                                                    : "This build has built-in keys — rebuild "
                                                      "it to update"});
        QCOMPARE(rig.site.count("/quillet/latest.json"), expected ? 1 : 0);
    }

    void manifestTimesOutOrIsEnded()
    {
        Rig rig;
        rig.site.set("/quillet/latest.json", {200, {}, true});
        auto task = rig.updater->check(true);
        QTRY_COMPARE(rig.site.count("/quillet/latest.json"), 1);
        rig.clock.advance(14.9);
        QTest::qWait(50);
        QVERIFY(rig.messages.isEmpty());
        rig.clock.advance(0.1);
        QTRY_COMPARE(rig.messages, QStringList{"Couldn't check for updates"});

        // Destroyed while a request is under way, the updater ends the task waiting for it.
        auto pending = rig.updater->check(true);
        QTRY_COMPARE(rig.site.count("/quillet/latest.json"), 2);
        rig.updater.reset();
        QVERIFY(pending.isReady());
    }

    void noSiteNoUpdates()
    {
        Rig rig;
        Updater updater({{}, publicKey(), BuildInfo::identifier, 1, rig.installed}, rig.prefs,
                        rig.network, rig.clock);
        QVERIFY(!updater.canUpdate());
    }
};

QTEST_GUILESS_MAIN(UpdaterTest)
#include "UpdaterTest.moc"
