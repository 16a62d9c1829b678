#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace quillet::unicode {

// Text helpers shared by the vocabulary rules and the learner, on ICU. Every function is total:
// empty text, unpaired surrogates (treated as code points of their own) and very long texts are
// all valid input. Functions returning views return views into their argument.

// General-category and property tests on one code point.
bool isLetter(char32_t c);      // L*
bool isMark(char32_t c);        // M*
bool isNumber(char32_t c);      // N*
bool isPunctuation(char32_t c); // P*
bool isSymbol(char32_t c);      // S*
bool isSeparator(char32_t c);   // Z*
bool isWhiteSpace(char32_t c);  // the White_Space property
bool isUppercase(char32_t c);   // the Uppercase property

// The code point starting at `index` (a lone surrogate is returned as itself) and the index
// just after it.
char32_t codePointAt(QStringView text, qsizetype index, qsizetype* next = nullptr);

// Removes from both ends the space separators (category Z), the tab and the line breaks
// U+000A to U+000D and U+0085.
QString trimmed(QStringView text);

// Full lower-casing without a locale.
QString lowercased(QStringView text);

// Case-insensitive equality (full case folding of canonically decomposed texts).
bool equalsIgnoringCase(QStringView a, QStringView b);

// Splits at White_Space code points, dropping empty pieces; pieces are kept as written.
QList<QStringView> splitWords(QStringView text);

// Removes leading and trailing code points of categories P and S.
QStringView stripPunctuationAndSymbols(QStringView word);

// The word lower-cased when all its code points are letters, marks or numbers; otherwise the
// word without leading and trailing punctuation and symbols, lower-cased. Empty for a word
// made only of punctuation.
QString matchKey(QStringView word);

// The word without leading and trailing punctuation and symbols, case kept.
QString bareWord(QStringView word);

// The lower-cased text keeping only the characters that are letters or numbers.
QString letterKey(QStringView text);

// Extended grapheme clusters (user-perceived characters).
QList<QStringView> graphemes(QStringView text);
qsizetype graphemeCount(QStringView text);

// 1 - d / max(|a|, |b|) with d the Levenshtein distance counted in grapheme clusters; 1.0 for
// two empty texts.
double similarity(QStringView a, QStringView b);

} // namespace quillet::unicode
