// Applying the vocabulary's replacements to a transcript.

#include "util/Unicode.h"
#include "vocab/Vocabulary.h"

#include <QHash>

#include <algorithm>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <unicode/regex.h>
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
    std::unique_ptr<icu::RegexPattern> pattern; // null if ICU rejected it
    qsizetype graphemes = 0;
    // The case-folded longest piece of `from` between spaces. Every match folds to a text that
    // contains it, so a folded transcript without it cannot match.
    QString foldedPiece;
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
    compiled->foldedPiece = folded(longest).value_or(QString());
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

// Replaces every match of `pattern` in `text` by `to`, inserted literally. Returns false (and
// leaves `text` alone) when nothing matched or ICU failed.
bool replaceAll(const icu::RegexPattern& pattern, const QString& to, QString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(status));
    if (U_FAILURE(status) || !matcher)
        return false;
    UText input = UTEXT_INITIALIZER;
    utext_openUChars(&input, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
    matcher->reset(&input);
    QString out;
    qsizetype last = 0;
    bool matched = false;
    while (U_SUCCESS(status) && matcher->find(status)) {
        const qsizetype start = matcher->start64(status);
        const qsizetype end = matcher->end64(status);
        if (U_FAILURE(status))
            break;
        if (!matched)
            out.reserve(text.size() + to.size());
        matched = true;
        out.append(QStringView(text).sliced(last, start - last));
        out.append(to);
        last = end;
    }
    matcher.reset();
    utext_close(&input);
    if (!matched || U_FAILURE(status))
        return false;
    out.append(QStringView(text).sliced(last));
    text = std::move(out);
    return true;
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

    QString result = text;
    std::optional<QString> foldedResult = folded(result);
    for (qsizetype index : order) {
        const CompiledFrom& entry = *compiled[index];
        if (!entry.pattern)
            continue;
        if (foldedResult && !entry.foldedPiece.isEmpty() &&
            !foldedResult->contains(entry.foldedPiece))
            continue;
        if (replaceAll(*entry.pattern, replacements[index].to, result))
            foldedResult = folded(result);
    }
    return result;
}

} // namespace quillet
