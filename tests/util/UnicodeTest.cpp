#include "util/Unicode.h"

#include <QTest>

using namespace quillet;

namespace {

QStringList strings(const QList<QStringView>& views)
{
    QStringList out;
    for (QStringView v : views)
        out.append(v.toString());
    return out;
}

const QString kLoneHigh = QString(QChar(0xD83D));
const QString kLoneLow = QString(QChar(0xDE00));

} // namespace

class UnicodeTest : public QObject {
    Q_OBJECT
private slots:
    void trimmingRemovesSeparatorsTabsAndLineBreaks_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& input, const QString& expected) {
            QTest::newRow(name) << input << expected;
        };
        row("spaces and newline", "  Kubernetes \n", "Kubernetes");
        row("tab, CR, VT, FF, NEL", "\t\r\v\f\u0085x\u0085", "x");
        row("space separators", "\u00A0x\u2028", "x");
        row("inner space kept", " a  b ", "a  b");
        row("blank", " \t\n ", "");
        row("empty", "", "");
        row("lone surrogate stays", " " + kLoneHigh + " ", kLoneHigh);
    }

    void trimmingRemovesSeparatorsTabsAndLineBreaks()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(unicode::trimmed(input), expected);
    }

    void splitsAtWhiteSpaceKeepingWordsAsWritten()
    {
        QCOMPARE(strings(unicode::splitWords(u"  Notes: deploy\tit\n\nto\u00A0K8s,  ")),
                 QStringList({"Notes:", "deploy", "it", "to", "K8s,"}));
        QVERIFY(unicode::splitWords(u"").isEmpty());
        QVERIFY(unicode::splitWords(u" \n\t ").isEmpty());
        const QString emoji = QStringLiteral("\U0001F600");
        QCOMPARE(strings(unicode::splitWords(emoji + "\u0085x")), QStringList({emoji, "x"}));
    }

    void normalisesWordsIntoKeys_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("match");
        QTest::addColumn<QString>("bare");
        const auto row = [](const char* word, const char* match, const char* bare) {
            QTest::newRow(word) << QString(word) << QString(match) << QString(bare);
        };
        row("Tonight", "tonight", "Tonight");
        row("tonight,", "tonight", "tonight");
        row("«Hola»", "hola", "Hola");
        row("(e-mail).", "e-mail", "e-mail"); // inner punctuation kept
        row("$100%", "100", "100");
        row("—", "", "");
        row("Éte\u0301,", "éte\u0301", "Éte\u0301");   // marks stay
        row("İstanbul", "i\u0307stanbul", "İstanbul"); // full lower-casing
    }

    void normalisesWordsIntoKeys()
    {
        QFETCH(QString, word);
        QFETCH(QString, match);
        QFETCH(QString, bare);
        QCOMPARE(unicode::matchKey(word), match);
        QCOMPARE(unicode::bareWord(word), bare);
    }

    void letterKeyKeepsOnlyLettersAndNumbers()
    {
        QCOMPARE(unicode::letterKey(u"cuba netties"), QStringLiteral("cubanetties"));
        QCOMPARE(unicode::letterKey(u"E-Mail's 2"), QStringLiteral("emails2"));
        QCOMPARE(unicode::letterKey(u"O’Neil & Co."), QStringLiteral("oneilco"));
        // A combining mark stays with its letter.
        QCOMPARE(unicode::letterKey(u"Cafe\u0301!"), QStringLiteral("cafe\u0301"));
        QCOMPARE(unicode::letterKey(u"— ..."), QString());
    }

    void countsUserPerceivedCharacters()
    {
        QCOMPARE(unicode::graphemeCount(u""), 0);
        QCOMPARE(unicode::graphemeCount(u"open ai"), 7);
        QCOMPARE(unicode::graphemeCount(u"e\u0301\U0001F600"), 2);
        QCOMPARE(unicode::graphemes(u"ñe\u0301").size(), 2);
    }

    void similarityIsOneMinusEditDistanceOverLength_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<double>("expected");
        const auto row = [](const char* name, const char* a, const char* b, double expected) {
            QTest::newRow(name) << QString(a) << QString(b) << expected;
        };
        row("misrecognised name", "cubanetties", "kubernetes", 1.0 - 5.0 / 11.0);
        row("homophones", "there", "their", 0.6);
        row("unrelated", "cat", "dog", 0.0);
        row("equal", "abc", "abc", 1.0);
        row("both empty", "", "", 1.0);
        row("one empty", "", "abc", 0.0);
        row("clusters count once", "cafe\u0301", "cafe", 0.75);
    }

    void similarityIsOneMinusEditDistanceOverLength()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(double, expected);
        QVERIFY2(qAbs(unicode::similarity(a, b) - expected) < 1e-9,
                 qPrintable(QString::number(unicode::similarity(a, b))));
        QVERIFY(qAbs(unicode::similarity(b, a) - expected) < 1e-9);
    }

    void comparesIgnoringCase()
    {
        QVERIFY(unicode::equalsIgnoringCase(u"Kubernetes", u"kUBERNETES"));
        QVERIFY(unicode::equalsIgnoringCase(u"Straße", u"STRASSE"));
        QVERIFY(unicode::equalsIgnoringCase(u"Café", u"CAFE\u0301"));
        QVERIFY(!unicode::equalsIgnoringCase(u"cafe", u"café"));
        QVERIFY(!unicode::equalsIgnoringCase(u"a", u"a "));
    }

    void badInputNeverBreaksAnything()
    {
        const QString surrogates =
            kLoneLow + "a" + kLoneHigh + " " + kLoneHigh + kLoneHigh + " b" + kLoneLow;
        QCOMPARE(unicode::splitWords(surrogates).size(), 3);
        QCOMPARE(unicode::matchKey(kLoneHigh + "X"), kLoneHigh + "x");
        QCOMPARE(unicode::bareWord(kLoneLow), kLoneLow);
        QCOMPARE(unicode::trimmed(surrogates), surrogates);
        QCOMPARE(unicode::graphemeCount(kLoneHigh + kLoneLow), 1); // a valid pair after all
        QVERIFY(unicode::graphemeCount(surrogates) >= 6);
        QVERIFY(unicode::similarity(surrogates, kLoneHigh) >= 0.0);
        QCOMPARE(unicode::letterKey(surrogates), QStringLiteral("ab"));

        const QString big = QStringLiteral("Wörd, ").repeated(1024 * 1024 / 6);
        QCOMPARE(unicode::splitWords(big).size(), 1024 * 1024 / 6);
        QCOMPARE(unicode::lowercased(big).size(), big.size());
        QCOMPARE(unicode::trimmed(big), big.chopped(1));
        QCOMPARE(unicode::graphemeCount(big), big.size());
        QVERIFY(unicode::letterKey(big).startsWith(u"wördwörd"));
    }
};

QTEST_GUILESS_MAIN(UnicodeTest)
#include "UnicodeTest.moc"
