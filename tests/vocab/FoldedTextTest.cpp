#include "vocab/FoldedText.h"

#include <QRandomGenerator>
#include <QTest>

#include <unicode/uchar.h>

using namespace quillet;

namespace {

const QStringList kPieces{"a",
                          "B",
                          "k",
                          "\u212A",
                          "\u00DF",
                          "\u1E9E",
                          "\u0130",
                          "\u0131",
                          "I",
                          "\uFB01",
                          "\u0390",
                          "\u1F88",
                          "\u03A3",
                          "\u03C2",
                          "\u0301",
                          " ",
                          ",",
                          "7",
                          "\U00010400",
                          "\U00010428",
                          QString(QChar(0xD801)),
                          QString(QChar(0xDC00))};

QString randomText(QRandomGenerator& random, int maxPieces)
{
    QString out;
    for (int n = random.bounded(maxPieces + 1); n > 0; --n)
        out += kPieces[random.bounded(int(kPieces.size()))];
    return out;
}

bool insidePair(const QString& text, qsizetype i)
{
    return i > 0 && i < text.size() && text[i - 1].isHighSurrogate() && text[i].isLowSurrogate();
}

// The kept state must be what folding the current text afresh gives.
void compareWithFresh(const FoldedText& kept)
{
    const FoldedText fresh(kept.text());
    QVERIFY(kept.valid());
    QCOMPARE(kept.folded(), fresh.folded());
    for (qsizetype j = 0; j < fresh.folded().size(); ++j)
        QCOMPARE(kept.sourceOf(j), fresh.sourceOf(j));
    for (qsizetype p = 0; p <= kept.text().size(); ++p) {
        if (!insidePair(kept.text(), p))
            QCOMPARE(kept.foldedPosition(p), fresh.foldedPosition(p));
    }
    // Replaced text may leave its unusual foldings counted, never the other way round.
    for (const QString& piece : kPieces) {
        const std::vector<char32_t> simple{char32_t(u_foldCase(piece.toUcs4().value(0), 0))};
        if (fresh.simpleFoldDiffersFor(simple))
            QVERIFY(kept.simpleFoldDiffersFor(simple));
    }
}

} // namespace

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

    void replacingKeepsTheFoldingInStep()
    {
        QRandomGenerator random(5150);
        for (int round = 0; round < 3000; ++round) {
            FoldedText text(randomText(random, 24));
            for (int step = 0; step < 4; ++step) {
                const QString& current = text.text();
                std::vector<std::pair<qsizetype, qsizetype>> ranges;
                qsizetype at = 0;
                while (at < current.size() && random.bounded(3) != 0) {
                    qsizetype start = at + random.bounded(int(current.size() - at));
                    qsizetype end = start + random.bounded(4);
                    end = std::min(end, current.size());
                    if (insidePair(current, start))
                        ++start;
                    if (insidePair(current, end))
                        ++end;
                    if (start > end)
                        break;
                    ranges.emplace_back(start, end);
                    at = end + 1;
                }
                text.replace(ranges, randomText(random, 3));
                compareWithFresh(text);
                if (QTest::currentTestFailed())
                    return;
            }
        }
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
        compareWithFresh(text);
    }

    void findAgreesWithIndexOf()
    {
        QRandomGenerator random(808);
        for (int round = 0; round < 2000; ++round) {
            const FoldedText text(randomText(random, 60));
            const QString& folded = text.folded();
            QString needle = randomText(random, 3);
            if (!folded.isEmpty() && random.bounded(2) == 0) {
                const auto start = random.bounded(int(folded.size()));
                needle = folded.mid(start, 1 + random.bounded(12));
            }
            if (needle.isEmpty())
                continue;
            const qsizetype from = random.bounded(int(folded.size()) + 2);
            const qsizetype expected = from > folded.size() ? -1 : folded.indexOf(needle, from);
            QCOMPARE(text.find(needle, from), expected);
        }
    }
};

QTEST_GUILESS_MAIN(FoldedTextTest)
#include "FoldedTextTest.moc"
