// The cleanup test and the leading-space rule run on every dictation.

#include "util/Unicode.h"
#include "vocab/Vocabulary.h"

#include <algorithm>
#include <memory>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <unicode/utf16.h>

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

// The filler expression with what lets most positions of a text be skipped without running it.
struct Filler {
    std::unique_ptr<icu::RegexPattern> pattern;
    // The lower-case ASCII text (one or two characters) every match of each alternative starts
    // with; empty when they could not be read off the expression, and then every position is
    // tried.
    QStringList prefixes;
};

// The leading letters and spaces of one alternative, at most two, without one that a following
// quantifier makes optional.
QString literalPrefix(QStringView alternative)
{
    QString prefix;
    for (QChar ch : alternative) {
        const char16_t c = ch.unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (prefix.size() == 2 || !(letter || c == u' '))
            break;
        prefix += ch.toLower();
    }
    const qsizetype after = prefix.size();
    if (after > 0 && after < alternative.size() && QStringView(u"?*{").contains(alternative[after]))
        prefix.chop(1);
    return prefix;
}

// The prefixes of the alternatives in the expression's one top-level group.
QStringList alternativePrefixes(QStringView pattern)
{
    const QStringView open = u"(?<![\\p{L}])(";
    const qsizetype begin = pattern.indexOf(open);
    if (begin < 0)
        return {};
    QStringList prefixes;
    int depth = 0;
    qsizetype start = begin + open.size();
    for (qsizetype i = start; i < pattern.size(); ++i) {
        const char16_t c = pattern[i].unicode();
        const bool groupEnd = c == u')' && depth == 0;
        if ((c == u'|' && depth == 0) || groupEnd) {
            const QString prefix = literalPrefix(pattern.sliced(start, i - start));
            if (prefix.isEmpty())
                return {};
            prefixes.append(prefix);
            start = i + 1;
            if (groupEnd)
                return prefixes;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            --depth;
        }
    }
    return {};
}

const Filler& filler()
{
    static const Filler instance{compileFixed(kFillerPattern), alternativePrefixes(kFillerPattern)};
    return instance;
}

// Whether a match could start at `i`. An ASCII character matches a letter or space of the
// expression, ignoring case, only as its lower-case self, so ASCII text must begin with a
// prefix; anything else (whose case folding may expand) is always tried.
bool mayStartFiller(QStringView text, qsizetype i, const QStringList& prefixes)
{
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    const char16_t first = text[i].unicode();
    if (first >= 0x80)
        return true;
    const char16_t second = i + 1 < text.size() ? text[i + 1].unicode() : 0;
    for (const QString& prefix : prefixes) {
        if (prefix[0].unicode() != lower(first))
            continue;
        if (prefix.size() == 1 || second >= 0x80 || prefix[1].unicode() == lower(second))
            return true;
    }
    return false;
}

// The filler expression can only match where its look-behind holds (after a non-letter) and
// where a filler's first letters stand; running it only there, with the whole text visible to
// the look-around, finds a match exactly when a scan of the whole text does, at a fraction of
// the cost.
bool containsFiller(QStringView text)
{
    const Filler& f = filler();
    if (!f.pattern)
        return false;
    if (f.prefixes.isEmpty())
        return containsMatch(f.pattern.get(), text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(f.pattern->matcher(status));
    if (U_FAILURE(status) || !matcher)
        return false;
    UText input = UTEXT_INITIALIZER;
    utext_openUChars(&input, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
    matcher->reset(&input);
    bool found = false;
    bool afterLetter = false;
    for (qsizetype i = 0; i < text.size() && U_SUCCESS(status);) {
        qsizetype next = 0;
        const char32_t c = unicode::codePointAt(text, i, &next);
        if (!afterLetter && mayStartFiller(text, i, f.prefixes) && matcher->lookingAt(i, status) &&
            U_SUCCESS(status)) {
            found = true;
            break;
        }
        afterLetter = unicode::isLetter(c);
        i = next;
    }
    matcher.reset();
    utext_close(&input);
    return found;
}

const icu::RegexPattern* selfCorrectionPattern()
{
    static const std::unique_ptr<icu::RegexPattern> pattern = compileFixed(kSelfCorrectionPattern);
    return pattern.get();
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
           containsFiller(text);
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
