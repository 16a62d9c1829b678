// The vocab and history commands of the quillet binary, over a private data folder.

#include "CliRunner.h"
#include "store/Entry.h"
#include "vocab/Vocabulary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <memory>
#include <unistd.h>
#include <vector>

using namespace quillet;

namespace {

QList<Entry> entries(int count)
{
    QList<Entry> out;
    for (int i = 0; i < count; ++i) {
        Entry e;
        e.id = QUuid::createUuid();
        e.date = QDateTime::fromSecsSinceEpoch(1'760'000'000 - i * 60, Qt::UTC);
        e.raw = QStringLiteral("raw %1").arg(i);
        e.text = QStringLiteral("text %1\nsecond line").arg(i);
        e.mode = QStringLiteral("code");
        if (i == 0)
            e.app = QStringLiteral("Terminal");
        out << e;
    }
    return out;
}

bool setMode(const QString& path, QFile::Permissions mode)
{
    return QFile::setPermissions(path, mode);
}

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!QFileInfo(qEnvironmentVariable("QUILLET_BINARY")).isExecutable())
            QSKIP("QUILLET_BINARY is not set");
    }

    void vocabularyEdits()
    {
        CliRunner cli;
        auto r = cli.run({"vocab"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Terms: none\nReplacements: none\n"));
        QVERIFY(!QFile::exists(cli.dataFile("vocabulary.json")));

        QCOMPARE(cli.run({"vocab", "add", "  Kubernetes "}).code, 0);
        r = cli.run({"vocab", "add", "kubernetes"});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains("already"));
        QCOMPARE(cli.run({"vocab", "replace", "open ai", "OpenAI"}).code, 0);

        auto v = Vocabulary::decode(readFile(cli.dataFile("vocabulary.json")));
        QVERIFY(v);
        QCOMPARE(v->terms, QStringList({"Kubernetes", "OpenAI"}));
        QCOMPARE(v->replacements, QList<Replacement>({{"open ai", "OpenAI"}}));
        QVERIFY(v->updatedAt);

        r = cli.run({"vocab"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Terms (2):\n  Kubernetes\n  OpenAI\n"
                                       "Replacements (1):\n  open ai \u2192 OpenAI\n"));

        // Remove by a replacement's FROM, then a term, ignoring case.
        r = cli.run({"vocab", "remove", "Open AI"});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains("replacement"));
        QCOMPARE(cli.run({"vocab", "remove", "KUBERNETES"}).code, 0);
        v = Vocabulary::decode(readFile(cli.dataFile("vocabulary.json")));
        QVERIFY(v);
        QCOMPARE(v->terms, QStringList({"OpenAI"}));
        QVERIFY(v->replacements.isEmpty());

        // Nothing to remove: an error, and the file is left alone.
        const QByteArray before = readFile(cli.dataFile("vocabulary.json"));
        r = cli.run({"vocab", "remove", "nothing"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("no term or replacement \"nothing\""));
        QCOMPARE(readFile(cli.dataFile("vocabulary.json")), before);

        // A text of the command may start with a hyphen.
        QCOMPARE(cli.run({"vocab", "replace", "-ish", "ish"}).code, 0);
        QCOMPARE(Vocabulary::decode(readFile(cli.dataFile("vocabulary.json")))->replacements,
                 QList<Replacement>({{"-ish", "ish"}}));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown action") << QStringList{"vocab", "frobnicate"};
        QTest::newRow("add without term") << QStringList{"vocab", "add"};
        QTest::newRow("add two words unquoted") << QStringList{"vocab", "add", "a", "b"};
        QTest::newRow("blank term") << QStringList{"vocab", "add", "   "};
        QTest::newRow("replace one side") << QStringList{"vocab", "replace", "a"};
        QTest::newRow("replace same") << QStringList{"vocab", "replace", "same", " same"};
        QTest::newRow("remove nothing") << QStringList{"vocab", "remove"};
        QTest::newRow("list with junk") << QStringList{"vocab", "extra", "words"};
        QTest::newRow("limit missing") << QStringList{"history", "--limit"};
        QTest::newRow("limit text") << QStringList{"history", "--limit", "ten"};
        QTest::newRow("limit negative") << QStringList{"history", "--limit", "-1"};
        QTest::newRow("unknown option") << QStringList{"history", "--xml"};
        QTest::newRow("clear with options") << QStringList{"history", "clear", "--json"};
    }

    void usageErrors()
    {
        QFETCH(QStringList, args);
        CliRunner cli;
        const auto r = cli.run(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("Usage: quillet " + args.first()), qPrintable(r.err));
        QVERIFY(!QFile::exists(cli.dataFile("vocabulary.json")));
    }

    void historyListing()
    {
        CliRunner cli;
        QCOMPARE(cli.run({"history"}).out, QStringLiteral("No dictations yet\n"));
        const QList<Entry> entries = ::entries(3);
        writeFile(cli.dataFile("history.json"), Entry::encodeList(entries));

        auto r = cli.run({"history", "--limit", "2"});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains("  code  Terminal\n    text 0\n    second line\n"));
        QVERIFY(r.out.contains("text 1"));
        QVERIFY(!r.out.contains("text 2"));
        QVERIFY(r.out.indexOf("text 0") < r.out.indexOf("text 1"));

        r = cli.run({"history", "--json"});
        QCOMPARE(r.code, 0);
        QCOMPARE(Entry::decodeList(r.out.trimmed().toUtf8()), std::optional(entries));
        r = cli.run({"history", "--limit", "1", "--json"});
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).array().size(), 1);

        r = cli.run({"history", "clear"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Cleared 3 entries\n"));
        QCOMPARE(readFile(cli.dataFile("history.json")), QByteArray("[]"));
    }

    void parallelChangesAllSurvive()
    {
        CliRunner cli;
        QStringList added;
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < 20; ++i) {
            added << QStringLiteral("T%1").arg(i, 2, 10, QLatin1Char('0'));
            runs.push_back(std::make_unique<QProcess>());
            cli.start(*runs.back(), {"vocab", "add", added.last()});
        }
        for (const auto& run : runs) {
            QVERIFY(run->waitForFinished(60000));
            QCOMPARE(run->exitCode(), 0);
        }
        QStringList terms = Vocabulary::decode(readFile(cli.dataFile("vocabulary.json")))->terms;
        terms.sort();
        QCOMPARE(terms, added);
    }

    void aFailedChangeIsAnError()
    {
        CliRunner cli;
        QCOMPARE(cli.run({"vocab", "add", "One"}).code, 0);
        writeFile(cli.dataFile("history.json"), Entry::encodeList(entries(3)));
        const QByteArray vocabulary = readFile(cli.dataFile("vocabulary.json"));
        // A read-only data folder; root writes anyway, so the binary then runs as nobody.
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(setMode(cli.root.path(), open) && setMode(cli.root.filePath("data"), open));
        QVERIFY(setMode(cli.dataDir(), open & ~QFile::WriteOwner));
        if (::geteuid() == 0)
            cli.prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};

        auto r = cli.run({"vocab", "add", "Two"});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, "quillet vocab: \"Two\" was not added: cannot write " +
                            cli.dataFile("vocabulary.json") + " (Permission denied)\n");
        r = cli.run({"history", "clear"});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, "quillet history: the history was not cleared: cannot write " +
                            cli.dataFile("history.json") + " (Permission denied)\n");
        QCOMPARE(readFile(cli.dataFile("vocabulary.json")), vocabulary);
        QCOMPARE(Entry::decodeList(readFile(cli.dataFile("history.json")))->size(), 3);
        setMode(cli.dataDir(), open);
    }

    void aDamagedFileKeptAsideIsNamed_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("vocabulary") << "vocabulary.json" << QStringList{"vocab", "add", "Two"};
        QTest::newRow("history") << "history.json" << QStringList{"history", "clear"};
    }

    void aDamagedFileKeptAsideIsNamed()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, args);
        CliRunner cli;
        writeFile(cli.dataFile(file), "{damaged");
        const auto r = cli.run(args);
        QCOMPARE(r.code, 0);
        const QStringList kept = QDir(cli.dataDir()).entryList({file + ".corrupt-*"});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(readFile(cli.dataFile(kept.first())), QByteArray("{damaged"));
        QCOMPARE(r.err, "quillet: " + cli.dataFile(file) + " could not be read; it was kept as " +
                            kept.first() + "\n");
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
