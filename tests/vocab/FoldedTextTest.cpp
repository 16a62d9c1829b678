// The folding's positions and its record of unusual foldings; its searches and its upkeep
// under replacement are held against a fresh build by the differential tests of TextRulesTest.

#include "vocab/FoldedText.h"

#include <QTest>

using namespace quillet;

class FoldedTextTest : public QObject {
    Q_OBJECT
private slots:
    void foldsPerCodePoint()
    {
        const FoldedText text(QStringLiteral("Stra\u00DFe \u0130 \uFB01 K\u212A \U00010400"));
        QCOMPARE(text.folded(), QStringLiteral("strasse i\u0307 fi kk \U00010428"));
        QCOMPARE(text.sourceOf(4), 4);  // the first 's' of the sharp s
        QCOMPARE(text.sourceOf(5), -1); // inside that folding
        QCOMPARE(text.foldedPosition(5), 6);
        QCOMPARE(text.foldedPosition(text.text().size()), text.folded().size());
        const std::vector<char32_t> sharp{U'\u00DF'};
        const std::vector<char32_t> plain{U's', U'k'};
        QVERIFY(text.simpleFoldDiffersFor(sharp));
        QVERIFY(!text.simpleFoldDiffersFor(plain));
        QVERIFY(!FoldedText(QStringLiteral("Strasse")).simpleFoldDiffersFor(sharp));

        // The second half of a surrogate pair is never a place of its own, whether or not the
        // text holds a character whose folding is longer than itself.
        const FoldedText same(QStringLiteral("a\U00010400b"));
        QCOMPARE(same.folded(), QStringLiteral("a\U00010428b"));
        QCOMPARE(same.sourceOf(1), 1);
        QCOMPARE(same.sourceOf(2), -1);
        QCOMPARE(same.sourceOf(3), 3);
        const FoldedText longer(QStringLiteral("\U00010400\u00DF"));
        QCOMPARE(longer.folded(), QStringLiteral("\U00010428ss"));
        QCOMPARE(longer.sourceOf(0), 0);
        QCOMPARE(longer.sourceOf(1), -1);
        QCOMPARE(longer.sourceOf(2), 2);
        QCOMPARE(longer.sourceOf(3), -1);
        QCOMPARE(longer.foldedPosition(2), 2);
    }

    void halvesOfAPairJoinedByAReplacementFoldTogether()
    {
        const QChar high(0xD801);
        const QChar low(0xDC00);
        FoldedText text(QString(high) + u'x' + low + u' ' + high);
        text.replace({{1, 2}}, QString());
        QCOMPARE(text.folded(), QStringLiteral("\U00010428 ") + high);
        text.replace({{4, 4}}, QString(low));
        QCOMPARE(text.folded(), QStringLiteral("\U00010428 \U00010428"));
        QCOMPARE(text.sourceOf(1), -1);
        QCOMPARE(text.foldedPosition(3), 3);
    }
};

QTEST_GUILESS_MAIN(FoldedTextTest)
#include "FoldedTextTest.moc"
