#include "vocab/Vocabulary.h"

#include "util/Json.h"

#include <QTest>

using namespace quillet;

namespace {

QList<Replacement> pairs(std::initializer_list<std::pair<const char*, const char*>> list)
{
    QList<Replacement> out;
    for (const auto& [from, to] : list)
        out.append(Replacement{QString::fromUtf8(from), QString::fromUtf8(to)});
    return out;
}

} // namespace

class VocabularyTest : public QObject {
    Q_OBJECT
private slots:
    void addTermTrimsAndKeepsTheFirstSpelling()
    {
        Vocabulary v;
        v.addTerm(QStringLiteral("  Kubernetes \n"));
        v.addTerm(QStringLiteral("kubernetes"));
        v.addTerm(QStringLiteral("KUBERNETES\t"));
        v.addTerm(QStringLiteral(""));
        v.addTerm(QStringLiteral(" \u00A0\n"));
        v.addTerm(QStringLiteral("Straße"));
        v.addTerm(QStringLiteral("STRASSE"));
        v.addTerm(QStringLiteral("GitHub"));
        QCOMPARE(v.terms, QStringList({"Kubernetes", "Straße", "GitHub"}));
    }

    void addReplacementKeepsOnePerFrom()
    {
        Vocabulary v;
        v.addReplacement(QStringLiteral(""), QStringLiteral("x"));
        v.addReplacement(QStringLiteral("x"), QStringLiteral(" \t"));
        v.addReplacement(QStringLiteral("same"), QStringLiteral(" same "));
        QVERIFY(v.replacements.isEmpty());

        v.addReplacement(QStringLiteral(" iphone "), QStringLiteral("iPhone\n"));
        v.addReplacement(QStringLiteral("teh"), QStringLiteral("the"));
        v.addReplacement(QStringLiteral("gh"), QStringLiteral("GitHub"));
        v.addReplacement(QStringLiteral("Teh"), QStringLiteral("The"));
        QCOMPARE(v.replacements, pairs({{"iphone", "iPhone"}, {"gh", "GitHub"}, {"Teh", "The"}}));
        QCOMPARE(v.replacements.last().id(), QStringLiteral("teh"));
        QVERIFY(v.terms.isEmpty());
    }

    void removesByPosition()
    {
        Vocabulary v;
        for (const char* t : {"a", "b", "c", "d"})
            v.addTerm(QString::fromLatin1(t));
        v.replacements = pairs({{"1", "one"}, {"2", "two"}, {"3", "three"}});
        v.removeTerms({1, 3, 7, -1});
        v.removeReplacements({0});
        QCOMPARE(v.terms, QStringList({"a", "c"}));
        QCOMPARE(v.replacements, pairs({{"2", "two"}, {"3", "three"}}));
        v.removeReplacements({});
        QCOMPARE(v.replacements.size(), 2);
    }

    void mergeAddsTermsAsAddTermDoesAndKeepsTheStamp()
    {
        Vocabulary local;
        local.terms = {"Kubernetes"};
        local.updatedAt = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
        Vocabulary remote;
        remote.terms = {"kubernetes", " Quillet ", "", "quillet"};
        remote.updatedAt = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
        local.merge(remote);
        QCOMPARE(local.terms, QStringList({"Kubernetes", "Quillet"}));
        QCOMPARE(local.updatedAt, QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC));
    }

    // A replacement whose `from` is present already, ignoring case, is skipped; the others are
    // taken over as they are.
    void mergeKeepsReplacementsAlreadyPresent_data()
    {
        QTest::addColumn<QList<Replacement>>("local");
        QTest::addColumn<QList<Replacement>>("other");
        QTest::addColumn<QList<Replacement>>("expected");
        const auto row = [](const char* name, QList<Replacement> local, QList<Replacement> other,
                            QList<Replacement> expected) {
            QTest::newRow(name) << local << other << expected;
        };
        row("local wins", {{"teh", "the"}}, {{"TEH", "x"}}, {{"teh", "the"}});
        row("untrimmed, even from equal to to", {{"teh", "the"}},
            {{" gh ", "GitHub"}, {"same", "same"}},
            {{"teh", "the"}, {" gh ", "GitHub"}, {"same", "same"}});
        row("one taken over earlier wins", {}, {{"gh", "GitHub"}, {"GH", "Git Hub"}},
            {{"gh", "GitHub"}});
    }

    void mergeKeepsReplacementsAlreadyPresent()
    {
        QFETCH(QList<Replacement>, local);
        QFETCH(QList<Replacement>, other);
        QFETCH(QList<Replacement>, expected);
        Vocabulary v;
        v.replacements = local;
        Vocabulary remote;
        remote.replacements = other;
        v.merge(remote);
        QCOMPARE(v.replacements, expected);
    }

    void learnAddsTermsAndReplacementsAndReturnsEveryTarget()
    {
        Vocabulary v;
        v.addTerm(QStringLiteral("kubernetes"));
        const QStringList learned =
            v.learn({{"cuba netties", "Kubernetes"}, {"iphone", "iPhone"}, {"x", "x"}});
        QCOMPARE(learned, QStringList({"Kubernetes", "iPhone", "x"}));
        QCOMPARE(v.terms, QStringList({"kubernetes", "iPhone", "x"}));
        QCOMPARE(v.replacements, pairs({{"cuba netties", "Kubernetes"}, {"iphone", "iPhone"}}));
        QVERIFY(!v.updatedAt);

        const Vocabulary before = v;
        QVERIFY(v.learn({}).isEmpty());
        QCOMPARE(v, before);
    }

    void jsonRoundTrip()
    {
        Vocabulary v;
        v.terms = {"Kubernetes", "naïve \"quoted\""};
        v.replacements = pairs({{"open ai", "OpenAI"}, {"c\\d", "$1"}});
        const QByteArray expected = "{\"replacements\":[{\"from\":\"open ai\",\"to\":\"OpenAI\"},"
                                    "{\"from\":\"c\\\\d\",\"to\":\"$1\"}],\"terms\":"
                                    "[\"Kubernetes\",\"naïve \\\"quoted\\\"\"]}";
        QCOMPARE(v.encode(), expected);
        QCOMPARE(Vocabulary::decode(v.encode()), v);

        v.updatedAt = QDateTime::fromMSecsSinceEpoch(978'307'200'000 + 123'456'789, Qt::UTC);
        const QByteArray bytes = v.encode();
        QVERIFY(bytes.contains(R"("updatedAt":123456.789)"));
        QCOMPARE(Vocabulary::decode(bytes), v);

        const auto empty = Vocabulary::decode(R"({"terms":[],"replacements":[]})");
        QVERIFY(empty && *empty == Vocabulary());
        QCOMPARE(Vocabulary().encode(), QByteArray(R"({"replacements":[],"terms":[]})"));
        // Unknown keys and a null stamp are tolerated.
        const auto extra = Vocabulary::decode(
            R"({"terms":["a"],"replacements":[{"from":"b","to":"c","x":1}],"updatedAt":null,"v":2})");
        QVERIFY(extra);
        QCOMPARE(extra->replacements, pairs({{"b", "c"}}));
        QVERIFY(!extra->updatedAt);
    }

    void jsonRejectsDamagedDocuments_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not json") << QByteArray("terms");
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("no terms") << QByteArray(R"({"replacements":[]})");
        QTest::newRow("no replacements") << QByteArray(R"({"terms":[]})");
        QTest::newRow("replacement not object")
            << QByteArray(R"({"terms":[],"replacements":["a"]})");
        QTest::newRow("replacement without to")
            << QByteArray(R"({"terms":[],"replacements":[{"from":"a"}]})");
        QTest::newRow("stamp as text")
            << QByteArray(R"({"terms":[],"replacements":[],"updatedAt":"2024-01-01"})");
        QTest::newRow("truncated") << QByteArray(R"({"terms":[],"replacements":[)");
    }
    void jsonRejectsDamagedDocuments()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!Vocabulary::decode(bytes));
    }

    void badInputIsHarmless()
    {
        Vocabulary v;
        const QString lone = QString(QChar(0xD800));
        const QString big = QString(QStringLiteral("x ")).repeated(512 * 1024);
        v.addTerm(lone);
        v.addTerm(big);
        v.addReplacement(lone, QStringLiteral("y"));
        v.addReplacement(big, lone);
        QCOMPARE(v.terms.size(), 2);
        QCOMPARE(v.terms[1].size(), big.size() - 1);
        QCOMPARE(v.replacements.size(), 2);
        const auto decoded = Vocabulary::decode(v.encode());
        QVERIFY(decoded);
        QCOMPARE(decoded->terms.size(), 2);
        QCOMPARE(decoded->replacements[1].from, v.replacements[1].from);
    }
};

QTEST_GUILESS_MAIN(VocabularyTest)
#include "VocabularyTest.moc"
