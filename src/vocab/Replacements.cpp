// Applying the vocabulary's replacements to a transcript.

#include "util/Unicode.h"
#include "vocab/FoldedText.h"
#include "vocab/Vocabulary.h"

#include <QHash>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/uniset.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <vector>

namespace quillet {

namespace {

// Everything derived from one `from`. Building the expression (ICU resolves \p{L} and \p{N}
// into sets each time) costs far more than running it, so the compiled form is kept; the
// pattern text is a pure function of `from`, which makes a kept pattern identical to a fresh one.
struct CompiledFrom {
    CompiledFrom() = default;
    CompiledFrom(const CompiledFrom&) = delete;
    CompiledFrom& operator=(const CompiledFrom&) = delete;
    ~CompiledFrom() { delete spareMatcher.load(); }

    std::unique_ptr<icu::RegexPattern> pattern; // null if ICU rejected it
    qsizetype graphemes = 0;
    // The case-folded longest piece of `from` between spaces. Every match folds to a text that
    // contains it, so a folded transcript without it cannot match. Empty when that cannot be
    // relied on.
    QString foldedPiece;
    std::vector<char32_t> foldedPieceCodePoints;
    // The case-folded piece before the first space: every match starts where the folded
    // transcript has it. Empty when `from` starts with a space or is empty.
    QString firstPiece;
    std::vector<char32_t> firstPieceCodePoints;
    // One matcher kept for reuse (creating one per use is a noticeable share of the work).
    mutable std::atomic<icu::RegexMatcher*> spareMatcher{nullptr};
};

// The class of characters that may not touch a match. The expression ignores case throughout;
// ICU then closes every set over case, which for \p{L} and \p{N} takes milliseconds per
// expression. Here only the literal part ignores case and the boundary class carries the few
// characters the closure adds (U+0345, whose case folding is a letter), so the expression
// matches exactly the same texts and compiles many times faster.
const QString& boundaryClass()
{
    static const QString text = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::UnicodeString base(u"[\\p{L}\\p{N}]");
        icu::UnicodeSet closed(base, status);
        const icu::UnicodeSet plain(base, status);
        closed.closeOver(USET_CASE_INSENSITIVE);
        closed.removeAllStrings();
        closed.removeAll(plain);
        QString out = QStringLiteral("[\\p{L}\\p{N}");
        if (U_SUCCESS(status) && !closed.isEmpty()) {
            icu::UnicodeString extra;
            closed.toPattern(extra, true);
            out += QString(reinterpret_cast<const QChar*>(extra.getBuffer()), extra.length());
        }
        out += QLatin1Char(']');
        return out;
    }();
    return text;
}

// The expression for `from`: metacharacters escaped, each space widened to \s+, letters and
// digits forbidden on both sides, case ignored.
QString patternFor(const QString& from)
{
    const QString& boundary = boundaryClass();
    QString escaped;
    escaped.reserve(from.size() * 2 + 2 * boundary.size() + 20);
    escaped += QLatin1StringView("(?<!") + boundary + QLatin1StringView(")(?i:");
    for (QChar ch : from) {
        const char16_t c = ch.unicode();
        if (c == u' ') {
            escaped += QLatin1StringView("\\s+");
            continue;
        }
        // A backslash before any ASCII character other than a letter or digit makes it literal.
        const bool asciiAlnum =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (c < 0x80 && !asciiAlnum && c > 0x20 && c != 0x7F)
            escaped += QLatin1Char('\\');
        escaped += ch;
    }
    escaped += QLatin1StringView(")(?!") + boundary + QLatin1Char(')');
    return escaped;
}

// Full case folding; nullopt if ICU fails, which disables the quick rejection below.
std::optional<QString> folded(QStringView text)
{
    QString out;
    out.resize(text.size());
    UErrorCode status = U_ZERO_ERROR;
    const auto* source = reinterpret_cast<const UChar*>(text.utf16());
    const auto length = static_cast<int32_t>(text.size());
    int32_t n = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), int32_t(out.size()), source,
                              length, U_FOLD_CASE_DEFAULT, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(n);
        status = U_ZERO_ERROR;
        n = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), n, source, length,
                          U_FOLD_CASE_DEFAULT, &status);
    }
    if (U_FAILURE(status))
        return std::nullopt;
    out.resize(n);
    return out;
}

std::shared_ptr<const CompiledFrom> compile(const QString& from)
{
    auto compiled = std::make_shared<CompiledFrom>();
    const QString pattern = patternFor(from);
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    compiled->pattern.reset(icu::RegexPattern::compile(
        icu::UnicodeString(reinterpret_cast<const UChar*>(pattern.utf16()),
                           static_cast<int32_t>(pattern.size())),
        0, parseError, status));
    if (U_FAILURE(status))
        compiled->pattern.reset();
    compiled->graphemes = unicode::graphemeCount(from);
    QStringView longest;
    for (QStringView piece : QStringView(from).split(u' ')) {
        if (piece.size() > longest.size())
            longest = piece;
    }
    // Both searches rely on every folded piece being its own folding, which full folding
    // promises; a piece that is not is never searched for.
    auto searchable = [](QStringView piece, QString& out, std::vector<char32_t>& codePoints) {
        const std::optional<QString> once = folded(piece);
        if (!once || once->isEmpty() || folded(*once) != *once)
            return;
        out = *once;
        for (char32_t c : out.toUcs4())
            codePoints.push_back(c);
    };
    searchable(longest, compiled->foldedPiece, compiled->foldedPieceCodePoints);
    if (!from.isEmpty() && from.front() != u' ') {
        const qsizetype space = from.indexOf(u' ');
        searchable(QStringView(from).first(space < 0 ? from.size() : space), compiled->firstPiece,
                   compiled->firstPieceCodePoints);
    }
    return compiled;
}

// Compiled patterns shared by all threads; RegexPattern is immutable once built and safe to
// create matchers from concurrently.
class PatternCache {
public:
    std::shared_ptr<const CompiledFrom> get(const QString& from)
    {
        {
            std::lock_guard lock(m_mutex);
            if (auto it = m_entries.constFind(from); it != m_entries.constEnd())
                return *it;
        }
        auto compiled = compile(from);
        std::lock_guard lock(m_mutex);
        if (m_entries.size() >= kCapacity)
            m_entries.clear();
        m_entries.insert(from, compiled);
        return compiled;
    }

private:
    static constexpr qsizetype kCapacity = 8192;
    std::mutex m_mutex;
    QHash<QString, std::shared_ptr<const CompiledFrom>> m_entries;
};

PatternCache& cache()
{
    static PatternCache instance;
    return instance;
}

// A matcher for one compiled `from`, handed back for reuse when done.
class MatcherLease {
public:
    explicit MatcherLease(const CompiledFrom& owner)
        : m_owner(owner)
    {
        m_matcher.reset(owner.spareMatcher.exchange(nullptr));
        if (!m_matcher) {
            UErrorCode status = U_ZERO_ERROR;
            m_matcher.reset(owner.pattern->matcher(status));
            if (U_FAILURE(status))
                m_matcher.reset();
        }
    }
    ~MatcherLease()
    {
        icu::RegexMatcher* expected = nullptr;
        if (m_matcher && m_owner.spareMatcher.compare_exchange_strong(expected, m_matcher.get()))
            m_matcher.release();
    }
    MatcherLease(const MatcherLease&) = delete;
    MatcherLease& operator=(const MatcherLease&) = delete;

    icu::RegexMatcher* get() const { return m_matcher.get(); }

private:
    const CompiledFrom& m_owner;
    std::unique_ptr<icu::RegexMatcher> m_matcher;
};

using Ranges = std::vector<std::pair<qsizetype, qsizetype>>;

// True if the code point just before `position` is a letter or a digit. The expression's
// look-behind forbids at least these there, so no match can start at such a position.
bool letterOrDigitBefore(const QString& text, qsizetype position)
{
    if (position == 0)
        return false;
    const char16_t unit = text[position - 1].unicode();
    if (unit < 0x80)
        return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'z') ||
               (unit >= u'A' && unit <= u'Z');
    char32_t c = unit;
    if (QChar::isLowSurrogate(unit) && position >= 2 && text[position - 2].isHighSurrogate())
        c = QChar::surrogateToUcs4(text[position - 2].unicode(), unit);
    return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_N_MASK)) != 0;
}

// Sets the matcher to look from `start` to the end of the text while its look-behind and
// look-ahead still see the whole text, so an attempt at `start` is the one a scan of the
// whole text makes there.
void lookFrom(icu::RegexMatcher& matcher, qsizetype start, qsizetype length, UErrorCode& status)
{
    matcher.region(start, length, status);
    matcher.useTransparentBounds(true);
    matcher.useAnchoringBounds(false);
}

// Every match of the expression, left to right, in the order and at the places a scan of the
// whole text with a fresh matcher finds them; nullopt if ICU failed.
//
// A scan tries each position from where the last match ended. A match can only begin where
// the folded text has the folded first piece of `from` (the literal that follows the
// look-behind compares full foldings, or a single folded character, and single characters
// whose simple folding is not their full folding are ruled out first), and never right after
// a letter or digit. So the positions in between are skipped, each place is tried alone, and
// the scan's own find() (which may also pass over a position) confirms every match from the
// place where it succeeded. Too many failing places and the rest is scanned as before.
std::optional<Ranges> findMatches(const CompiledFrom& entry, const FoldedText& current)
{
    const MatcherLease lease(entry);
    icu::RegexMatcher* matcher = lease.get();
    if (!matcher)
        return std::nullopt;
    const QString& text = current.text();
    const qsizetype length = text.size();
    UErrorCode status = U_ZERO_ERROR;
    UText input = UTEXT_INITIALIZER;
    utext_openUChars(&input, reinterpret_cast<const UChar*>(text.utf16()), length, &status);
    matcher->reset(&input);
    Ranges ranges;
    qsizetype position = 0;
    auto record = [&] {
        const qsizetype start = matcher->start64(status);
        const qsizetype end = matcher->end64(status);
        if (U_SUCCESS(status))
            ranges.emplace_back(start, end);
        return end;
    };

    bool scanRest = true;
    if (U_SUCCESS(status) && current.valid() && !entry.firstPiece.isEmpty() &&
        !current.simpleFoldDiffersFor(entry.firstPieceCodePoints)) {
        qsizetype attemptsLeft = 32 + length / 64;
        qsizetype at = current.find(entry.firstPiece);
        scanRest = false;
        while (at >= 0 && U_SUCCESS(status)) {
            const qsizetype candidate = current.sourceOf(at);
            if (candidate < position || letterOrDigitBefore(text, candidate)) {
                at = current.find(entry.firstPiece, at + 1);
                continue;
            }
            if (--attemptsLeft < 0) {
                scanRest = true;
                break;
            }
            lookFrom(*matcher, candidate, length, status);
            if (!matcher->lookingAt(status) || U_FAILURE(status)) {
                at = current.find(entry.firstPiece, at + 1);
                continue;
            }
            lookFrom(*matcher, candidate, length, status);
            if (!matcher->find(status) || U_FAILURE(status))
                break;
            position = record();
            at = current.find(entry.firstPiece, current.foldedPosition(position));
        }
    }
    if (scanRest && U_SUCCESS(status)) {
        lookFrom(*matcher, position, length, status);
        while (U_SUCCESS(status) && matcher->find(status))
            record();
    }
    utext_close(&input);
    if (U_FAILURE(status))
        return std::nullopt;
    return ranges;
}

} // namespace

QString applyReplacements(const QList<Replacement>& replacements, const QString& text)
{
    if (replacements.isEmpty())
        return text;
    std::vector<std::shared_ptr<const CompiledFrom>> compiled;
    compiled.reserve(replacements.size());
    for (const Replacement& r : replacements)
        compiled.push_back(cache().get(r.from));
    std::vector<qsizetype> order(replacements.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return compiled[a]->graphemes > compiled[b]->graphemes;
    });

    FoldedText current(text);
    for (qsizetype index : order) {
        const CompiledFrom& entry = *compiled[index];
        if (!entry.pattern)
            continue;
        if (current.valid() && !entry.foldedPiece.isEmpty() &&
            !current.simpleFoldDiffersFor(entry.foldedPieceCodePoints) &&
            current.find(entry.foldedPiece) < 0)
            continue;
        if (const std::optional<Ranges> ranges = findMatches(entry, current))
            current.replace(*ranges, replacements[index].to);
    }
    return current.text();
}

} // namespace quillet
