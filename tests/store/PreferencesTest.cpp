#include "store/Preferences.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quillet;

namespace {

// Writes an INI file by hand, the way a user or an older build would have left it.
QString iniFile(const QTemporaryDir& dir, const QByteArray& generalLines)
{
    const QString path = dir.filePath("Quillet.conf");
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write("[General]\n" + generalLines + "\n");
    return path;
}

} // namespace

class PreferencesTest : public QObject {
    Q_OBJECT
private slots:
    void everyKeyHasItsDefault()
    {
        QTemporaryDir dir;
        Preferences p(dir.filePath("none.conf"));
        QCOMPARE(p.hotkey(), 61);
        QCOMPARE(p.tailSeconds(), 0.3);
        QCOMPARE(p.autoUpdate(), true);
        QCOMPARE(p.cleanup(), true);
        QCOMPARE(p.languages(), QStringList({"en", "es", "fr"}));
        QVERIFY(!p.translateTo());
        QCOMPARE(p.settingsTab(), 0);
        QCOMPARE(p.showSettings(), false);
        QCOMPARE(p.selftest(), false);
        QCOMPARE(p.selftestNoHUD(), false);
        QCOMPARE(p.updateNow(), false);
        QVERIFY(!p.verifyUpdate());
        QCOMPARE(p.sonioxEndpoint(),
                 QStringLiteral("wss://stt-rt.soniox.com/transcribe-websocket"));
        QCOMPARE(p.sonioxModel(), QStringLiteral("stt-rt-v5"));
        QVERIFY(!p.syncFolder());
        QVERIFY(p.terminalApps().isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("none.conf"))); // reading writes nothing
    }

    // Each row is a line of the file and what the key before "=" then reads as; unusable values
    // read as the default.
    void typedReadsOfStoredText_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QVariant>("expected");
        const auto row = [](const char* line, const QVariant& expected) {
            QTest::newRow(line) << QByteArray(line) << expected;
        };
        row("hotkey=54", 54);
        row("hotkey=1", 61); // not a key code
        row("hotkey=ctrl", 61);
        row("hotkey=54.5", 61);
        row("tailSeconds=0.45", 0.45);
        row("tailSeconds=0", 0.0);
        row("tailSeconds=slow", 0.3);
        row("tailSeconds=nan", 0.3);
        row("autoUpdate=false", false);
        row("autoUpdate=maybe", true);
        row("cleanup=0", false);
        row("cleanup=NO", false);
        row("languages=de, it, pt", QStringList{"de", "it", "pt"});
        row("languages=", QStringList{"en", "es", "fr"});
        row("translateTo=de", "de");
        row("translateTo=", QVariant()); // cleared
        row("settingsTab=x", 0);
        row("showSettings=true", true);
        row("verifyUpdate=/tmp/q.zip", "/tmp/q.zip");
        row("syncFolder=/home/u/Sync", "/home/u/Sync");
        row("sonioxModel=", "stt-rt-v5");
    }

    void typedReadsOfStoredText()
    {
        QFETCH(QByteArray, line);
        QFETCH(QVariant, expected);
        QTemporaryDir dir;
        Preferences p(iniFile(dir, line));
        QCOMPARE(read(p, QString::fromLatin1(line.left(line.indexOf('=')))), expected);
    }

    void settersRoundTripThroughTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Quillet.conf");
        {
            Preferences p(path);
            p.setTailSeconds(0.65);
            p.setLanguages({"fr", "de"});
            p.setTranslateTo("en");
            p.setSyncFolder("/srv/sync");
        }
        Preferences p(path); // the next run
        QCOMPARE(p.tailSeconds(), 0.65);
        QCOMPARE(p.languages(), QStringList({"fr", "de"}));
        QCOMPARE(p.translateTo(), std::optional<QString>("en"));
        QCOMPARE(p.syncFolder(), std::optional<QString>("/srv/sync"));

        p.setTranslateTo(QString());
        p.setSyncFolder(QString());
        Preferences again(path);
        QVERIFY(!again.translateTo());
        QCOMPARE(again.value("translateTo"), QVariant(QString())); // cleared as ""
        QVERIFY(!again.syncFolder());
    }

    void anotherInstancesWritesAreSeen()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Quillet.conf");
        Preferences reader(path);
        QCOMPARE(reader.cleanup(), true);
        Preferences writer(path);
        writer.setCleanup(false);
        QCOMPARE(reader.cleanup(), false);
    }

    // Pairs are taken up to the first word that is not one; the rest is the command's.
    void argumentPairsComeBeforeTheCommand_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("pairs");
        const auto row = [](const char* name, QStringList args, QStringList kept,
                            QStringList pairs) { QTest::newRow(name) << args << kept << pairs; };
        row("pairs, then the command", {"q", "-a", "1", "-b", "-2", "vocab", "-c", "3"},
            {"q", "vocab", "-c", "3"}, {"a=1", "b=-2"});
        row("a command text with a hyphen", {"q", "vocab", "replace", "-ish", "ish"},
            {"q", "vocab", "replace", "-ish", "ish"}, {});
        row("a negative number", {"q", "rewrite", "-5", "degrees", "today"},
            {"q", "rewrite", "-5", "degrees", "today"}, {});
        row("an option ends the pairs", {"q", "-a", "1", "--json", "-b", "2"},
            {"q", "--json", "-b", "2"}, {"a=1"});
        row("so does a lone hyphen", {"q", "-", "-b", "2"}, {"q", "-", "-b", "2"}, {});
        row("a key without a value", {"q", "-a", "1", "-b"}, {"q", "-b"}, {"a=1"});
    }

    void argumentPairsComeBeforeTheCommand()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, pairs);
        const auto domain = Preferences::takeArgumentDomain(args);
        QCOMPARE(args, kept);
        QStringList taken;
        for (auto it = domain.cbegin(); it != domain.cend(); ++it)
            taken << it.key() + u'=' + it.value();
        taken.sort();
        QCOMPARE(taken, pairs);
    }

    void argumentDomain()
    {
        QStringList args{"quillet", "-selftest",  "YES",         "-tailSeconds",
                         "0.1",     "-languages", "(en, \"de\")"};
        const auto domain = Preferences::takeArgumentDomain(args);

        QTemporaryDir dir;
        const QString path = iniFile(dir, "tailSeconds=0.5\nselftest=false\ncleanup=false");
        const QByteArray before = [&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        Preferences p(path, domain);
        QCOMPARE(p.selftest(), true);
        QCOMPARE(p.tailSeconds(), 0.1);
        QCOMPARE(p.languages(), QStringList({"en", "de"}));
        QCOMPARE(p.cleanup(), false); // from the file
        p.setArgument("sonioxEndpoint", "ws://127.0.0.1:8765/ws");
        p.setArgument("terminalApps", "kitty,foot");
        p.setArgument("showSettings", "1");
        QCOMPARE(p.sonioxEndpoint(), QStringLiteral("ws://127.0.0.1:8765/ws"));
        QCOMPARE(p.terminalApps(), QStringList({"kitty", "foot"}));
        QCOMPARE(p.showSettings(), true);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before); // never written back
        QCOMPARE(Preferences(path).tailSeconds(), 0.5);
    }

private:
    static QVariant read(const Preferences& p, const QString& getter)
    {
        auto opt = [](const std::optional<QString>& s) { return s ? QVariant(*s) : QVariant(); };
        if (getter == u"hotkey")
            return p.hotkey();
        if (getter == u"tailSeconds")
            return p.tailSeconds();
        if (getter == u"autoUpdate")
            return p.autoUpdate();
        if (getter == u"cleanup")
            return p.cleanup();
        if (getter == u"languages")
            return p.languages();
        if (getter == u"translateTo")
            return opt(p.translateTo());
        if (getter == u"settingsTab")
            return p.settingsTab();
        if (getter == u"showSettings")
            return p.showSettings();
        if (getter == u"verifyUpdate")
            return opt(p.verifyUpdate());
        if (getter == u"syncFolder")
            return opt(p.syncFolder());
        if (getter == u"sonioxModel")
            return p.sonioxModel();
        return QStringLiteral("unknown getter");
    }
};

QTEST_GUILESS_MAIN(PreferencesTest)
#include "PreferencesTest.moc"
