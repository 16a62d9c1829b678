#include "vocab/Learner.h"

#include "platform/FakeSpellChecker.h"

#include <QTest>

using namespace quillet;
using Learner::Correction;

namespace {

const QStringList kLanguages{"en", "es", "fr"};

QString words(const QString& stem, int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out.append(stem + QString::number(i));
    return out.join(QLatin1Char(' '));
}

} // namespace

namespace QTest {
template <> char* toString(const Correction& c)
{
    return qstrdup(QStringLiteral("%1 -> %2").arg(c.from, c.to).toUtf8().constData());
}
} // namespace QTest

class LearnerTest : public QObject {
    Q_OBJECT

    FakeSpellChecker m_spelling;

private slots:
    void init()
    {
        m_spelling = FakeSpellChecker();
        m_spelling.addWords("en",
                            {"deploy", "it", "to", "tonight", "there", "their", "cat", "dog",
                             "iphone", "email", "pages", "hello", "k8s", "the", "very", "ok"});
        m_spelling.addWords("es", {"hola"});
        m_spelling.addWords("fr", {"bonjour"});
    }

    void learnsTheMisrecognisedNameInTheField()
    {
        const auto result = Learner::fieldCorrections(
            "deploy it to cuba netties tonight", "Notes: deploy it to Kubernetes tonight, thanks",
            m_spelling, kLanguages);
        QCOMPARE(result, (QList<Correction>{{"cuba netties", "Kubernetes"}}));
        // Every language was asked, in order, before the word counted as unknown.
        QCOMPARE(m_spelling.asked(),
                 (QList<QPair<QString, QString>>{
                     {"Kubernetes", "en"}, {"Kubernetes", "es"}, {"Kubernetes", "fr"}}));
    }

    void aKnownWordIsAnEditNotJargon()
    {
        m_spelling.addWords("es", {"kubernetes"});
        QVERIFY(Learner::fieldCorrections("deploy it to cuba netties tonight",
                                          "deploy it to Kubernetes tonight", m_spelling, kLanguages)
                    .isEmpty());
        // The first accepting language ends the test.
        QCOMPARE(m_spelling.asked().size(), 2);
        // With no languages nothing is known.
        QCOMPARE(Learner::fieldCorrections("deploy it to cuba netties tonight",
                                           "deploy it to Kubernetes tonight", m_spelling, {})
                     .size(),
                 1);
    }

    void fieldCorrections_data()
    {
        QTest::addColumn<QString>("inserted");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QList<Correction>>("expected");
        const auto row = [](const char* name, const QString& inserted, const QString& field,
                            QList<Correction> expected) {
            QTest::newRow(name) << inserted << field << expected;
        };
        // Both words are known; only their shape makes them jargon.
        row("inner capital", "buy an i phone today", "buy an iPhone today",
            {{"i phone", "iPhone"}});
        row("digit", "run it on k8 s now", "run it on k8s now", {{"k8 s", "k8s"}});
        // A word only re-cased is a change of its own; an inner capital makes it worth keeping.
        row("case of one word", "buy an iphone today", "buy an iPhone today",
            {{"iphone", "iPhone"}});
        row("sentence capital", "it works. the cat sat down", "it works. The cat sat down", {});
        row("trailing punctuation only", "hello big world. see you", "hello big world see you", {});
        row("three words into two", "we host it on get hub pagez today",
            "we host it on GitHub Pages today", {{"get hub pagez", "GitHub Pages"}});
        // Words compare by match key: the re-cased 'Pages' is a change of its own, dropped as a
        // change of the first letter only.
        row("two words into one beside a re-cased word", "we host it on get hub pages today",
            "we host it on GitHub Pages today", {{"get hub", "GitHub"}});
        row("sentence capital beside the correction", "the cuba netties cluster is down",
            "The Kubernetes cluster is down", {{"cuba netties", "Kubernetes"}});
        // Capitals typed for emphasis are no correction; an unknown word in capitals is jargon.
        row("emphasis", "that is very nice ok", "that is VERY nice OK", {});
        row("acronym", "we use nasa data now", "we use NASA data now", {{"nasa", "NASA"}});
        row("four words removed", "we host it on thee get hub pagez today",
            "we host it on GitHub Pages today", {});
        row("three words added", "we host it on hub today", "we host it on Git Hub Pages today",
            {});
        row("spacing and capital of a known word", "so t he cat sat", "so The cat sat", {});
        row("known words", "put it there please", "put it their please", {});
        row("different word", "the cat sat down", "the dog sat down", {});
        row("pure insertion", "deploy it tonight", "deploy Kubernetes it tonight", {});
        row("pure deletion", "deploy it to k8s tonight", "deploy it to tonight", {});
        row("one-word dictation", "kuberneties", "Kubernetes", {});
        row("empty field", "deploy it to cuba netties tonight", "", {});
        row("blank field", "deploy it tonight", " \n\t", {});
        row("less than half left", "one two three four five six", "one two Three3 seven eight nine",
            {});
        // Enough of the words are there, but not half of them in order.
        row("less than half in order", "kubernetes then kuberneties", "then Kubernetes", {});
        // Only the first 24 candidate windows are compared: here the best ones by count are
        // all in a run of one repeated word.
        const QString inserted = "alpha beta gamma delta epsilom zeta";
        const QString corrected = " x y z alpha beta gamma delta Epsilon zeta";
        row("24 windows compared", inserted, QString("alpha ").repeated(11) + corrected, {});
        row("fewer windows ahead", inserted, QString("alpha ").repeated(10) + corrected,
            {{"epsilom", "Epsilon"}});
        row("punctuation attached", "ship it tonight, said kuberneties fan.",
            "(ship it tonight) said Kubernetes fan!", {{"kuberneties", "Kubernetes"}});
        row("two corrections in text order", "push to get hub then ping cuba netties ok",
            "push to GitHub then ping Kubernetes ok",
            {{"get hub", "GitHub"}, {"cuba netties", "Kubernetes"}});
    }

    void fieldCorrections()
    {
        QFETCH(QString, inserted);
        QFETCH(QString, field);
        QFETCH(QList<Correction>, expected);
        QCOMPARE(Learner::fieldCorrections(inserted, field, m_spelling, kLanguages), expected);
    }

    void targetsAllowOnlyLettersNumbersAndAFewMarks_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("accepted");
        const auto row = [](const char* name, const char* from, const char* to, bool accepted) {
            QTest::newRow(name) << QString(from) << QString(to) << accepted;
        };
        row("at sign", "ab cd", "ab@cd", false);
        row("slash", "ab cd", "ab/cd", false);
        row("underscore", "ab cd", "ab_cd", false);
        row("colon", "abc d", "abc:d", false);
        row("too many words removed", "a b c d e f g", "A&B-C.D+E'F’G", false);
        row("allowed marks, two words", "ab cd", "A&B-C.D+E'F’G", true);
        row("accents", "cafe creme", "café crème", true);
        row("digits", "m", "M2", true);
    }

    void targetsAllowOnlyLettersNumbersAndAFewMarks()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, accepted);
        const auto result =
            Learner::fixCorrections("we said " + from + " again", "we said " + to + " again");
        QCOMPARE(result, (accepted ? QList<Correction>{{from, to}} : QList<Correction>{}));
    }

    // The user's intent is explicit in a fix: no jargon test.
    void fixCorrections_data()
    {
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("fixed");
        QTest::addColumn<QList<Correction>>("expected");
        const auto row = [](const char* name, const char* original, const char* fixed,
                            QList<Correction> expected) {
            QTest::newRow(name) << QString(original) << QString(fixed) << expected;
        };
        row("known words", "put it there please", "put it their please", {{"there", "their"}});
        row("different word", "the cat sat down", "the dog sat down", {});
        row("two words into one", "buy an i phone today", "buy an iPhone today",
            {{"i phone", "iPhone"}});
        row("hyphen only", "send an e-mail now", "send an email now", {{"e-mail", "email"}});
        row("case only", "buy an iphone today", "buy an iPhone today", {{"iphone", "iPhone"}});
        row("first capital only", "the cat", "The cat", {});
        row("punctuation only", "hello big world.", "hello big world", {});
        row("one-word text", "hello", "Hello there", {});
        // Walking back, a tie takes the fixed text's word first: the second 'at' pairs with
        // 'ate'.
        row("tie between two alignments", "see you at ate", "see you at at", {{"ate", "at"}});
    }

    void fixCorrections()
    {
        QFETCH(QString, original);
        QFETCH(QString, fixed);
        QFETCH(QList<Correction>, expected);
        QCOMPARE(Learner::fixCorrections(original, fixed), expected);
    }

    void onlyTheLastTwentyThousandFieldWordsAreSearched()
    {
        const QString inserted = "deploy it to cuba netties tonight";
        const QString corrected = "deploy it to Kubernetes tonight";
        const QString early = words("a", 100) + " " + corrected + " " + words("b", 29900);
        QVERIFY(Learner::fieldCorrections(inserted, early, m_spelling, kLanguages).isEmpty());
        const QString late = words("a", 19000) + " " + corrected + " " + words("b", 10000);
        QCOMPARE(Learner::fieldCorrections(inserted, late, m_spelling, kLanguages),
                 (QList<Correction>{{"cuba netties", "Kubernetes"}}));
        // At the edge: with "it" the first word kept, "it to … tonight" still holds half of the
        // inserted words; one word later, "to … tonight" does not.
        const QString edge = words("a", 100) + " " + corrected + " " + words("b", 19996);
        QCOMPARE(Learner::fieldCorrections(inserted, edge, m_spelling, kLanguages).size(), 1);
        const QString beyond = words("a", 100) + " " + corrected + " " + words("b", 19997);
        QVERIFY(Learner::fieldCorrections(inserted, beyond, m_spelling, kLanguages).isEmpty());
    }

    void theBestWindowIsTheFirstWithTheLongestCommonRun()
    {
        // Two places hold the inserted words; the one that matches in order wins.
        const QString inserted = "alpha beta gamma delta epsilom zeta";
        const QString field = "zeta epsilon delta gamma beta alpha and then "
                              "alpha beta gamma delta Epsilon zeta";
        QCOMPARE(Learner::fieldCorrections(inserted, field, m_spelling, kLanguages),
                 (QList<Correction>{{"epsilom", "Epsilon"}}));
        // With the same words twice in order, the earlier place is taken.
        const QString twice = "alpha beta gamma delta Epsilon zeta alpha beta gamma delta "
                              "Epsilonn zeta";
        QCOMPARE(Learner::fieldCorrections(inserted, twice, m_spelling, kLanguages),
                 (QList<Correction>{{"epsilom", "Epsilon"}}));
    }

    void badInputYieldsNothingAndNeverBreaks()
    {
        const QString lone = QString(QChar(0xD800));
        QVERIFY(
            Learner::fieldCorrections(lone + " " + lone, lone, m_spelling, kLanguages).isEmpty());
        QVERIFY(Learner::fixCorrections(lone + " a b", lone + " a c" + lone).size() <= 1);
        const QString big = QStringLiteral("word ").repeated(200 * 1024);
        QVERIFY(Learner::fieldCorrections(big, big, m_spelling, kLanguages).isEmpty());
        QVERIFY(Learner::fieldCorrections("— — —", "— … —", m_spelling, kLanguages).isEmpty());
        QVERIFY(Learner::fixCorrections("", "").isEmpty());
        // A dictation far longer than any real one is compared within bounded memory or not at
        // all; either way the answer comes back.
        const QString longText = words("w", 3000) + " cuba netties " + words("v", 900);
        const QString longFixed = words("w", 3000) + " Kubernetes " + words("v", 900);
        QCOMPARE(Learner::fixCorrections(longText, longFixed),
                 (QList<Correction>{{"cuba netties", "Kubernetes"}}));
        const QString huge = words("w", 30000);
        QVERIFY(Learner::fixCorrections(huge, huge).isEmpty());
    }
};

QTEST_GUILESS_MAIN(LearnerTest)
#include "LearnerTest.moc"
