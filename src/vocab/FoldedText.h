#pragma once

#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

namespace quillet {

// A text with its full case folding (per code point, without a locale), kept in step while
// ranges of the text are replaced, so literal searches on the folding can point at the places
// where a case-insensitive expression might match without folding the whole text again.
class FoldedText {
public:
    explicit FoldedText(QString text);

    const QString& text() const { return m_text; }
    const QString& folded() const { return m_folded; }
    // The first position at or after `from` where folded() has `needle` (not empty), or -1.
    qsizetype find(QStringView needle, qsizetype from = 0) const;

    // False if ICU failed to fold some code point; the folding must not be used then.
    bool valid() const { return m_valid; }

    // The position in text() of the code point whose folding starts at folded()[index], or -1
    // when folded()[index] is inside a folding.
    qsizetype sourceOf(qsizetype index) const;
    // The position in folded() where the folding of the code point at text()[position] starts
    // (folded().size() for text().size()).
    qsizetype foldedPosition(qsizetype position) const;

    // True if some code point of the text (or one that was replaced away) folds, by simple
    // folding, to one of `codePoints` while its full folding is something else. Searching the
    // full folding can miss a match that compares single characters by simple folding there.
    bool simpleFoldDiffersFor(const std::vector<char32_t>& codePoints) const;

    // Replaces each range [start, end) of text(), ascending, disjoint and at code point
    // boundaries, by `to`.
    void replace(const std::vector<std::pair<qsizetype, qsizetype>>& ranges, const QString& to);

private:
    void build();
    // The start in m_text of the code point whose folding holds m_folded[index].
    qsizetype originAt(qsizetype index) const;

    QString m_text;
    QString m_folded;
    // Source position of each unit of m_folded; empty while every code point folds to as many
    // UTF-16 units as it has, which makes the two positions equal.
    std::vector<int32_t> m_origin;
    // Simple foldings of the code points whose simple and full foldings differ, sorted.
    std::vector<char32_t> m_oddFolds;
    bool m_valid = true;
};

} // namespace quillet
