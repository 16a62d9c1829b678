// The cleanup test and the leading-space rule run on every dictation.

#include "util/Unicode.h"
#include "vocab/Vocabulary.h"

#include <algorithm>
#include <memory>
#include <unicode/regex.h>
#include <unicode/utext.h>

namespace quillet {

namespace {

const char16_t kFillerPattern[] =
    u"(?i)(?<![\\p{L}])(um+|uh+|uhm|erm|hmm+|you know|i mean|like,|kind of like|sort of|no "
    u"wait|wait,|sorry,|scratch that|actually,|este|o sea|bueno,|pues,|eh+|euh+|ben,|genre|"
    u"enfin|en fait|no,? (?:perd[oó]n|espera))(?![\\p{L}])";
const char16_t kSelfCorrectionPattern[] = u"(?i), no,? ";

// Compiled once, on first use, and only read afterwards. Both patterns are fixed and valid, so a
// null pattern means a broken ICU.
std::unique_ptr<icu::RegexPattern> compileFixed(const char16_t* pattern)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString(pattern), 0, parseError, status));
    if (U_FAILURE(status))
        compiled.reset();
    return compiled;
}

const icu::RegexPattern* fillerPattern()
{
    static const std::unique_ptr<icu::RegexPattern> pattern = compileFixed(kFillerPattern);
    return pattern.get();
}

const icu::RegexPattern* selfCorrectionPattern()
{
    static const std::unique_ptr<icu::RegexPattern> pattern = compileFixed(kSelfCorrectionPattern);
    return pattern.get();
}

bool containsMatch(const icu::RegexPattern* pattern, QStringView text)
{
    if (!pattern)
        return false;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(status));
    if (U_FAILURE(status) || !matcher)
        return false;
    UText input = UTEXT_INITIALIZER;
    utext_openUChars(&input, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
    matcher->reset(&input);
    const bool found = U_SUCCESS(status) && matcher->find(status) && U_SUCCESS(status);
    matcher.reset();
    utext_close(&input);
    return found;
}

bool isAscii(QStringView text)
{
    for (QChar ch : text) {
        if (ch.unicode() >= 0x80)
            return false;
    }
    return true;
}

// Two stripped words have the same match key when their lower-cased forms are equal.
bool sameKey(QStringView a, QStringView b)
{
    if (isAscii(a) && isAscii(b))
        return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
    return unicode::lowercased(a) == unicode::lowercased(b);
}

// A word's match key is its lower-cased form without leading and trailing punctuation and
// symbols (a word of letters, marks and numbers has none to strip); neighbours are compared
// without building the keys.
bool hasRepeatedWord(QStringView text)
{
    QStringView previous;
    qsizetype start = -1;
    auto endWord = [&](qsizetype end) {
        const QStringView stripped =
            unicode::stripPunctuationAndSymbols(text.sliced(start, end - start));
        const bool repeated =
            !stripped.isEmpty() && !previous.isEmpty() && sameKey(previous, stripped);
        previous = stripped;
        start = -1;
        return repeated;
    };
    for (qsizetype i = 0; i < text.size();) {
        qsizetype next = 0;
        const char32_t c = unicode::codePointAt(text, i, &next);
        if (unicode::isWhiteSpace(c)) {
            if (start >= 0 && endWord(i))
                return true;
        } else if (start < 0) {
            start = i;
        }
        i = next;
    }
    return start >= 0 && endWord(text.size());
}

bool isWhiteSpaceCharacter(QStringView character)
{
    return !character.isEmpty() && unicode::isWhiteSpace(unicode::codePointAt(character, 0));
}

constexpr qsizetype kEnd = 64;

bool isOneOf(QStringView character, QStringView set)
{
    return character.size() == 1 && set.contains(character[0]);
}

} // namespace

bool needsCleanup(QStringView text)
{
    return hasRepeatedWord(text) || containsMatch(selfCorrectionPattern(), text) ||
           containsMatch(fillerPattern(), text);
}

bool needsLeadingSpace(const std::optional<QString>& previous, QStringView text)
{
    if (text.isEmpty() || !previous || previous->isEmpty())
        return false;
    // Only the clusters at the two ends matter; a long text or previous string is not walked.
    const QList<QStringView> first = unicode::graphemes(text.first(std::min(text.size(), kEnd)));
    const QStringView f = first.isEmpty() ? text : first.front();
    if (isWhiteSpaceCharacter(f))
        return false;
    if (isOneOf(f, u".,;:!?)]}\u2026%"))
        return false;
    const QStringView previousView(*previous);
    const QList<QStringView> before =
        unicode::graphemes(previousView.last(std::min(previousView.size(), kEnd)));
    const QStringView p = before.isEmpty() ? previousView : before.back();
    if (isWhiteSpaceCharacter(p))
        return false;
    if (isOneOf(p, u"([{\u00BF\u00A1/@#$\"'\u201C\u2018-"))
        return false;
    return true;
}

} // namespace quillet
