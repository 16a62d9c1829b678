#include "vocab/FoldedText.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillet {

namespace {

// Longer than any full folding of one code point.
constexpr int32_t kFoldCapacity = 32;

bool isPairAt(const QString& text, qsizetype index)
{
    return index > 0 && index < text.size() && QChar::isHighSurrogate(text[index - 1].unicode()) &&
           QChar::isLowSurrogate(text[index].unicode());
}

} // namespace

FoldedText::FoldedText(QString text)
    : m_text(std::move(text))
{
    build();
}

void FoldedText::build()
{
    m_folded.clear();
    m_origin.clear();
    m_oddFolds.clear();
    m_valid = m_text.size() < std::numeric_limits<int32_t>::max() / 4;
    if (!m_valid)
        return;
    m_folded.reserve(m_text.size());
    const auto* source = reinterpret_cast<const UChar*>(m_text.utf16());
    const auto length = static_cast<int32_t>(m_text.size());
    bool aligned = true;
    for (int32_t i = 0; i < length;) {
        const UChar unit = source[i];
        if (unit < 0x80) {
            // ASCII folds by itself: only A to Z change.
            m_folded.append(QChar(unit >= u'A' && unit <= u'Z' ? unit + 0x20 : unit));
            if (!aligned)
                m_origin.push_back(i);
            ++i;
            continue;
        }
        int32_t next = i;
        UChar32 c;
        U16_NEXT(source, next, length, c);
        UChar buffer[kFoldCapacity];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t n = u_strFoldCase(buffer, kFoldCapacity, source + i, next - i,
                                        U_FOLD_CASE_DEFAULT, &status);
        if (U_FAILURE(status) || n > kFoldCapacity) {
            m_valid = false;
            return;
        }
        const UChar32 simple = u_foldCase(c, U_FOLD_CASE_DEFAULT);
        int32_t k = 0;
        UChar32 first;
        U16_NEXT(buffer, k, n, first);
        if (first != simple || k != n)
            m_oddFolds.push_back(static_cast<char32_t>(simple));
        if (aligned && n != next - i) {
            aligned = false;
            std::vector<int32_t> origin(size_t(m_folded.size()));
            for (qsizetype j = 0; j < m_folded.size(); ++j)
                origin[size_t(j)] = static_cast<int32_t>(originAt(j));
            m_origin = std::move(origin);
        }
        m_folded.append(reinterpret_cast<const QChar*>(buffer), n);
        if (!aligned)
            m_origin.insert(m_origin.end(), n, i);
        i = next;
    }
    std::sort(m_oddFolds.begin(), m_oddFolds.end());
    m_oddFolds.erase(std::unique(m_oddFolds.begin(), m_oddFolds.end()), m_oddFolds.end());
}

qsizetype FoldedText::find(QStringView needle, qsizetype from) const
{
    // Searched once per replacement over the whole text, so it is worth more than indexOf:
    // eight places at a time are tested for the needle's first and last unit, and only those
    // holding both are compared in full.
    const auto* haystack = reinterpret_cast<const char16_t*>(m_folded.utf16());
    const auto* wanted = reinterpret_cast<const char16_t*>(needle.utf16());
    const qsizetype size = needle.size();
    if (size == 0 || from < 0 || from + size > m_folded.size())
        return -1;
    const qsizetype lastStart = m_folded.size() - size;
    const char16_t first = wanted[0];
    const char16_t last = wanted[size - 1];
    const size_t bytes = size_t(size) * sizeof(char16_t);
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i firsts = _mm_set1_epi16(static_cast<short>(first));
    const __m128i lasts = _mm_set1_epi16(static_cast<short>(last));
    for (; i + 7 <= lastStart; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(haystack + i));
        const __m128i b =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(haystack + i + size - 1));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi16(a, firsts), _mm_cmpeq_epi16(b, lasts))));
        while (mask != 0) {
            const int bit = __builtin_ctz(mask);
            const qsizetype at = i + bit / 2;
            if (std::memcmp(haystack + at, wanted, bytes) == 0)
                return at;
            mask &= ~(3u << bit);
        }
    }
#endif
    for (; i <= lastStart; ++i) {
        if (haystack[i] == first && haystack[i + size - 1] == last &&
            std::memcmp(haystack + i, wanted, bytes) == 0)
            return i;
    }
    return -1;
}

qsizetype FoldedText::originAt(qsizetype index) const
{
    if (!m_origin.empty() && size_t(index) < m_origin.size())
        return m_origin[size_t(index)];
    // Aligned: the units of a folding sit where the units of its code point do.
    return isPairAt(m_text, index) ? index - 1 : index;
}

qsizetype FoldedText::sourceOf(qsizetype index) const
{
    if (m_origin.empty())
        return isPairAt(m_text, index) ? -1 : index;
    const int32_t position = m_origin[size_t(index)];
    return index > 0 && m_origin[size_t(index) - 1] == position ? -1 : position;
}

qsizetype FoldedText::foldedPosition(qsizetype position) const
{
    if (m_origin.empty())
        return position;
    return std::lower_bound(m_origin.begin(), m_origin.end(), position) - m_origin.begin();
}

bool FoldedText::simpleFoldDiffersFor(const std::vector<char32_t>& codePoints) const
{
    if (m_oddFolds.empty())
        return false;
    return std::any_of(codePoints.begin(), codePoints.end(), [this](char32_t c) {
        return std::binary_search(m_oddFolds.begin(), m_oddFolds.end(), c);
    });
}

void FoldedText::replace(const std::vector<std::pair<qsizetype, qsizetype>>& ranges,
                         const QString& to)
{
    if (ranges.empty())
        return;
    const FoldedText piece(to);
    QString text;
    text.reserve(m_text.size() + qsizetype(ranges.size()) * to.size());
    std::vector<qsizetype> seams;
    seams.reserve(ranges.size() * 2 + 1);
    if (!m_valid || !piece.m_valid) {
        qsizetype last = 0;
        for (const auto& [start, end] : ranges) {
            text.append(QStringView(m_text).sliced(last, start - last));
            text.append(to);
            last = end;
        }
        text.append(QStringView(m_text).sliced(last));
        m_text = std::move(text);
        build();
        return;
    }

    const bool aligned = m_origin.empty() && piece.m_origin.empty();
    QString folded;
    folded.reserve(m_folded.size() + qsizetype(ranges.size()) * piece.m_folded.size());
    std::vector<int32_t> origin;
    if (!aligned)
        origin.reserve(size_t(m_folded.size()) + ranges.size() * size_t(piece.m_folded.size()));
    // Appends a part of `from`'s text with its folding, shifting the source positions.
    auto append = [&](const FoldedText& from, qsizetype start, qsizetype end) {
        const qsizetype shift = text.size() - start;
        const qsizetype foldedStart = from.foldedPosition(start);
        const qsizetype foldedEnd = from.foldedPosition(end);
        seams.push_back(text.size());
        text.append(QStringView(from.m_text).sliced(start, end - start));
        folded.append(QStringView(from.m_folded).sliced(foldedStart, foldedEnd - foldedStart));
        if (aligned)
            return;
        if (from.m_origin.empty()) {
            for (qsizetype j = foldedStart; j < foldedEnd; ++j)
                origin.push_back(static_cast<int32_t>(from.originAt(j) + shift));
            return;
        }
        // The usual case once the text holds an expanding character: a shifted copy.
        const size_t was = origin.size();
        origin.resize(was + size_t(foldedEnd - foldedStart));
        const int32_t* source = from.m_origin.data() + foldedStart;
        const auto by = static_cast<int32_t>(shift);
        for (size_t k = was; k < origin.size(); ++k)
            origin[k] = *source++ + by;
    };
    qsizetype last = 0;
    for (const auto& [start, end] : ranges) {
        append(*this, last, start);
        append(piece, 0, to.size());
        last = end;
    }
    append(*this, last, m_text.size());

    std::vector<char32_t> odd;
    std::set_union(m_oddFolds.begin(), m_oddFolds.end(), piece.m_oddFolds.begin(),
                   piece.m_oddFolds.end(), std::back_inserter(odd));
    m_text = std::move(text);
    // Two halves of a surrogate pair brought together form a new code point: fold afresh.
    if (std::any_of(seams.begin(), seams.end(),
                    [this](qsizetype s) { return isPairAt(m_text, s); })) {
        build();
        // Code points replaced away may still be counted; that only makes searches more careful.
        std::vector<char32_t> both;
        std::set_union(m_oddFolds.begin(), m_oddFolds.end(), odd.begin(), odd.end(),
                       std::back_inserter(both));
        m_oddFolds = std::move(both);
        return;
    }
    m_folded = std::move(folded);
    m_origin = std::move(origin);
    m_oddFolds = std::move(odd);
}

} // namespace quillet
