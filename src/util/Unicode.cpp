#include "util/Unicode.h"

#include <algorithm>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <vector>

namespace quillet::unicode {

namespace {

uint32_t categoryMask(char32_t c)
{
    return U_GET_GC_MASK(static_cast<UChar32>(c));
}

const UChar* icuChars(QStringView text)
{
    return reinterpret_cast<const UChar*>(text.utf16());
}

int32_t icuLength(QStringView text)
{
    // ICU takes int32_t lengths; texts beyond 2 GiB code units are not realistic input, but
    // clamping keeps the call well defined.
    return static_cast<int32_t>(std::min<qsizetype>(text.size(), INT32_MAX));
}

bool isAscii(QStringView text)
{
    for (QChar ch : text) {
        if (ch.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool isTrimmable(char32_t c)
{
    return c == U'\t' || (c >= 0x0A && c <= 0x0D) || c == 0x85 || isSeparator(c);
}

// The code point ending just before `end`, and its start.
char32_t codePointBefore(QStringView text, qsizetype end, qsizetype* start)
{
    const char16_t low = text[end - 1].unicode();
    if (QChar::isLowSurrogate(low) && end >= 2 && QChar::isHighSurrogate(text[end - 2].unicode())) {
        *start = end - 2;
        return QChar::surrogateToUcs4(text[end - 2].unicode(), low);
    }
    *start = end - 1;
    return low;
}

bool isLetterMarkOrNumber(char32_t c)
{
    return (categoryMask(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

bool isPunctuationOrSymbol(char32_t c)
{
    return (categoryMask(c) & (U_GC_P_MASK | U_GC_S_MASK)) != 0;
}

// ICU fills UTF-16 buffers through a size-probing call; this runs `convert` twice at most.
template <typename Convert> QString icuConvert(QStringView text, Convert convert)
{
    QString out;
    out.resize(text.size());
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = convert(reinterpret_cast<UChar*>(out.data()), icuLength(out), status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(length);
        status = U_ZERO_ERROR;
        length = convert(reinterpret_cast<UChar*>(out.data()), icuLength(out), status);
    }
    if (U_FAILURE(status))
        return text.toString();
    out.resize(length);
    return out;
}

QString caseFolded(QStringView text)
{
    return icuConvert(text, [&](UChar* dest, int32_t capacity, UErrorCode& status) {
        return u_strFoldCase(dest, capacity, icuChars(text), icuLength(text), U_FOLD_CASE_DEFAULT,
                             &status);
    });
}

QString decomposed(QStringView text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status))
        return text.toString();
    const icu::UnicodeString source(false, icuChars(text), icuLength(text));
    if (nfd->isNormalized(source, status) && U_SUCCESS(status))
        return text.toString();
    status = U_ZERO_ERROR;
    const icu::UnicodeString result = nfd->normalize(source, status);
    if (U_FAILURE(status))
        return text.toString();
    return QString(reinterpret_cast<const QChar*>(result.getBuffer()), result.length());
}

// A grapheme iterator per thread: creating one costs far more than reusing it.
icu::BreakIterator* graphemeIterator()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status))
            it.reset();
        return it;
    }();
    return iterator.get();
}

// Calls `visit(start, end)` for every grapheme cluster of `text`.
template <typename Visit> void forEachGrapheme(QStringView text, Visit visit)
{
    if (text.isEmpty())
        return;
    icu::BreakIterator* it = graphemeIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText utext = UTEXT_INITIALIZER;
    if (it)
        utext_openUChars(&utext, icuChars(text), text.size(), &status);
    if (!it || U_FAILURE(status)) {
        // Without ICU's break rules, fall back to code points.
        for (qsizetype i = 0; i < text.size();) {
            qsizetype next = 0;
            codePointAt(text, i, &next);
            visit(i, next);
            i = next;
        }
        return;
    }
    it->setText(&utext, status);
    qsizetype start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; end = it->next()) {
        visit(start, qsizetype(end));
        start = end;
    }
    // Detach the iterator from the caller's buffer before it goes away.
    utext_close(&utext);
    it->setText(icu::UnicodeString());
}

} // namespace

bool isLetter(char32_t c)
{
    return (categoryMask(c) & U_GC_L_MASK) != 0;
}

bool isMark(char32_t c)
{
    return (categoryMask(c) & U_GC_M_MASK) != 0;
}

bool isNumber(char32_t c)
{
    return (categoryMask(c) & U_GC_N_MASK) != 0;
}

bool isPunctuation(char32_t c)
{
    return (categoryMask(c) & U_GC_P_MASK) != 0;
}

bool isSymbol(char32_t c)
{
    return (categoryMask(c) & U_GC_S_MASK) != 0;
}

bool isSeparator(char32_t c)
{
    return (categoryMask(c) & U_GC_Z_MASK) != 0;
}

bool isWhiteSpace(char32_t c)
{
    if (c < 0x80)
        return c == U' ' || (c >= 0x09 && c <= 0x0D);
    return u_isUWhiteSpace(static_cast<UChar32>(c));
}

bool isUppercase(char32_t c)
{
    return u_isUUppercase(static_cast<UChar32>(c));
}

char32_t codePointAt(QStringView text, qsizetype index, qsizetype* next)
{
    const char16_t high = text[index].unicode();
    if (QChar::isHighSurrogate(high) && index + 1 < text.size() &&
        QChar::isLowSurrogate(text[index + 1].unicode())) {
        if (next)
            *next = index + 2;
        return QChar::surrogateToUcs4(high, text[index + 1].unicode());
    }
    if (next)
        *next = index + 1;
    return high;
}

QString trimmed(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end) {
        qsizetype next = 0;
        if (!isTrimmable(codePointAt(text, begin, &next)))
            break;
        begin = next;
    }
    while (end > begin) {
        qsizetype start = 0;
        if (!isTrimmable(codePointBefore(text, end, &start)))
            break;
        end = start;
    }
    return text.sliced(begin, end - begin).toString();
}

QString lowercased(QStringView text)
{
    if (isAscii(text)) {
        QString out(text.size(), Qt::Uninitialized);
        QChar* data = out.data();
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            data[i] = QChar(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
        }
        return out;
    }
    return icuConvert(text, [&](UChar* dest, int32_t capacity, UErrorCode& status) {
        return u_strToLower(dest, capacity, icuChars(text), icuLength(text), "", &status);
    });
}

bool equalsIgnoringCase(QStringView a, QStringView b)
{
    if (isAscii(a) && isAscii(b))
        return a.compare(b, Qt::CaseInsensitive) == 0;
    return decomposed(caseFolded(decomposed(a))) == decomposed(caseFolded(decomposed(b)));
}

QList<QStringView> splitWords(QStringView text)
{
    QList<QStringView> words;
    qsizetype start = -1;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype next = 0;
        const char32_t c = codePointAt(text, i, &next);
        if (isWhiteSpace(c)) {
            if (start >= 0)
                words.append(text.sliced(start, i - start));
            start = -1;
        } else if (start < 0) {
            start = i;
        }
        i = next;
    }
    if (start >= 0)
        words.append(text.sliced(start));
    return words;
}

QStringView stripPunctuationAndSymbols(QStringView word)
{
    qsizetype begin = 0;
    qsizetype end = word.size();
    while (begin < end) {
        qsizetype next = 0;
        if (!isPunctuationOrSymbol(codePointAt(word, begin, &next)))
            break;
        begin = next;
    }
    while (end > begin) {
        qsizetype start = 0;
        if (!isPunctuationOrSymbol(codePointBefore(word, end, &start)))
            break;
        end = start;
    }
    return word.sliced(begin, end - begin);
}

QString matchKey(QStringView word)
{
    for (qsizetype i = 0; i < word.size();) {
        qsizetype next = 0;
        if (!isLetterMarkOrNumber(codePointAt(word, i, &next)))
            return lowercased(stripPunctuationAndSymbols(word));
        i = next;
    }
    return lowercased(word);
}

QString bareWord(QStringView word)
{
    return stripPunctuationAndSymbols(word).toString();
}

QString letterKey(QStringView text)
{
    const QString lower = lowercased(text);
    QString out;
    out.reserve(lower.size());
    const QStringView view(lower);
    forEachGrapheme(view, [&](qsizetype start, qsizetype end) {
        const char32_t first = codePointAt(view, start);
        if ((categoryMask(first) & (U_GC_L_MASK | U_GC_N_MASK)) != 0)
            out.append(view.sliced(start, end - start));
    });
    return out;
}

QList<QStringView> graphemes(QStringView text)
{
    QList<QStringView> out;
    forEachGrapheme(
        text, [&](qsizetype start, qsizetype end) { out.append(text.sliced(start, end - start)); });
    return out;
}

qsizetype graphemeCount(QStringView text)
{
    if (isAscii(text)) {
        // In ASCII only CR LF forms a cluster of more than one character.
        qsizetype count = text.size();
        for (qsizetype i = 1; i < text.size(); ++i) {
            if (text[i] == u'\n' && text[i - 1] == u'\r')
                --count;
        }
        return count;
    }
    qsizetype count = 0;
    forEachGrapheme(text, [&](qsizetype, qsizetype) { ++count; });
    return count;
}

double similarity(QStringView a, QStringView b)
{
    const QList<QStringView> x = graphemes(a);
    const QList<QStringView> y = graphemes(b);
    const qsizetype longest = std::max(x.size(), y.size());
    if (longest == 0)
        return 1.0;
    // Levenshtein distance with two rows.
    std::vector<qsizetype> previous(y.size() + 1);
    std::vector<qsizetype> current(y.size() + 1);
    for (qsizetype j = 0; j <= y.size(); ++j)
        previous[j] = j;
    for (qsizetype i = 1; i <= x.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= y.size(); ++j) {
            const qsizetype substitution = previous[j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return 1.0 - double(previous[y.size()]) / double(longest);
}

} // namespace quillet::unicode
