#include "vocab/Learner.h"

#include "platform/SpellChecker.h"
#include "util/Unicode.h"

#include <QHash>

#include <algorithm>
#include <optional>
#include <vector>

namespace quillet::Learner {

namespace {

constexpr qsizetype kFieldWordLimit = 20000;
constexpr qsizetype kMaxCandidates = 24;
// The comparison tables grow with the product of the inserted and the span's word counts. A
// dictation never comes near this (it allows about 4000 words against as many); beyond it the
// texts are not compared at all rather than exhausting memory.
constexpr qsizetype kMaxTableCells = 16'000'000;
// A key that no inserted word has.
constexpr int kForeign = -1;

// The last `limit` words of `text`, found from its end so that a huge field is only walked as
// far as the words that are kept.
QList<QStringView> lastWords(QStringView text, qsizetype limit)
{
    QList<QStringView> words;
    qsizetype end = -1;
    qsizetype i = text.size();
    while (i > 0 && words.size() < limit) {
        const char16_t unit = text[i - 1].unicode();
        qsizetype start = i - 1;
        char32_t c = unit;
        if (QChar::isLowSurrogate(unit) && i >= 2 &&
            QChar::isHighSurrogate(text[i - 2].unicode())) {
            start = i - 2;
            c = QChar::surrogateToUcs4(text[i - 2].unicode(), unit);
        }
        if (unicode::isWhiteSpace(c)) {
            if (end >= 0)
                words.append(text.sliced(i, end - i));
            end = -1;
        } else if (end < 0) {
            end = i;
        }
        i = start;
    }
    if (end >= 0 && words.size() < limit)
        words.append(text.sliced(0, end));
    std::reverse(words.begin(), words.end());
    return words;
}

// Word keys as small integers: the inserted words' keys are numbered, any other key is foreign.
struct Keys {
    std::vector<int> inserted;
    std::vector<int> field;
};

Keys keysOf(const QList<QStringView>& a, const QList<QStringView>& b)
{
    Keys keys;
    QHash<QString, int> ids;
    keys.inserted.reserve(a.size());
    for (QStringView word : a) {
        const QString key = unicode::matchKey(word);
        auto it = ids.constFind(key);
        if (it == ids.constEnd())
            it = ids.insert(key, int(ids.size()));
        keys.inserted.push_back(*it);
    }
    keys.field.reserve(b.size());
    for (QStringView word : b)
        keys.field.push_back(ids.value(unicode::matchKey(word), kForeign));
    return keys;
}

qsizetype lcsLength(const int* x, qsizetype p, const int* y, qsizetype q)
{
    std::vector<qsizetype> previous(q + 1, 0);
    std::vector<qsizetype> current(q + 1, 0);
    for (qsizetype i = 1; i <= p; ++i) {
        for (qsizetype j = 1; j <= q; ++j) {
            current[j] =
                x[i - 1] == y[j - 1] ? previous[j - 1] + 1 : std::max(previous[j], current[j - 1]);
        }
        std::swap(previous, current);
    }
    return previous[q];
}

struct Window {
    qsizetype start = 0;
    qsizetype length = 0;
};

// The window of the field that corresponds to the inserted words, if any.
std::optional<Window> locateSpan(const Keys& keys)
{
    const qsizetype n = qsizetype(keys.inserted.size());
    const qsizetype m = qsizetype(keys.field.size());
    std::vector<qsizetype> lengths;
    for (qsizetype delta = -2; delta <= 2; ++delta) {
        const qsizetype length = std::max<qsizetype>(1, std::min(m, n + delta));
        if (std::find(lengths.begin(), lengths.end(), length) == lengths.end())
            lengths.push_back(length);
    }
    std::sort(lengths.begin(), lengths.end());

    // Candidates grouped by count, each group in the order found; only the first 24 of a group
    // can ever be taken, so a group stops growing there.
    std::vector<std::vector<Window>> byCount(n + 3);
    auto consider = [&](qsizetype start, qsizetype length, qsizetype count) {
        if (2 * count < n)
            return;
        auto& group = byCount[std::min<qsizetype>(count, n + 2)];
        if (qsizetype(group.size()) < kMaxCandidates)
            group.push_back(Window{start, length});
    };
    for (qsizetype length : lengths) {
        qsizetype count = 0;
        for (qsizetype k = 0; k < length; ++k)
            count += keys.field[k] != kForeign;
        consider(0, length, count);
        for (qsizetype start = 1; start + length <= m; ++start) {
            count -= keys.field[start - 1] != kForeign;
            count += keys.field[start + length - 1] != kForeign;
            consider(start, length, count);
        }
    }

    std::optional<Window> best;
    qsizetype bestLength = 0;
    qsizetype examined = 0;
    for (auto group = byCount.rbegin(); group != byCount.rend() && examined < kMaxCandidates;
         ++group) {
        for (const Window& w : *group) {
            if (examined++ == kMaxCandidates)
                break;
            const qsizetype l =
                lcsLength(keys.inserted.data(), n, keys.field.data() + w.start, w.length);
            if (l >= 1 && l > bestLength) {
                best = w;
                bestLength = l;
            }
        }
    }
    if (!best || 2 * bestLength < n)
        return std::nullopt;
    return best;
}

struct Change {
    QList<QStringView> removed;
    QList<QStringView> added;
};

// The runs of removed and added words between unchanged words, in text order. Words are compared
// by their match keys; a word kept but written in another case ('iphone', 'iPhone') is a change
// of its own, for the filter to keep or drop.
QList<Change> changesBetween(const QList<QStringView>& a, const int* aKeys,
                             const QList<QStringView>& span, const int* spanKeys)
{
    const qsizetype p = a.size();
    const qsizetype q = span.size();
    std::vector<int32_t> table((p + 1) * (q + 1), 0);
    auto cell = [&](qsizetype i, qsizetype j) -> int32_t& { return table[i * (q + 1) + j]; };
    for (qsizetype i = 1; i <= p; ++i) {
        for (qsizetype j = 1; j <= q; ++j) {
            cell(i, j) = aKeys[i - 1] == spanKeys[j - 1] ? cell(i - 1, j - 1) + 1
                                                         : std::max(cell(i - 1, j), cell(i, j - 1));
        }
    }

    enum class Step { Same, Removed, Added };
    struct Record {
        Step step;
        QStringView word;
        QStringView spanWord = {}; // for Same
    };
    std::vector<Record> record; // backwards
    qsizetype i = p;
    qsizetype j = q;
    while (i > 0 && j > 0) {
        if (aKeys[i - 1] == spanKeys[j - 1]) {
            record.push_back({Step::Same, a[i - 1], span[j - 1]});
            --i;
            --j;
        } else if (cell(i, j - 1) < cell(i - 1, j)) {
            record.push_back({Step::Removed, a[i - 1]});
            --i;
        } else {
            record.push_back({Step::Added, span[j - 1]});
            --j;
        }
    }
    for (; j > 0; --j)
        record.push_back({Step::Added, span[j - 1]});
    for (; i > 0; --i)
        record.push_back({Step::Removed, a[i - 1]});

    QList<Change> changes;
    Change current;
    auto flush = [&] {
        if (!current.removed.isEmpty() || !current.added.isEmpty())
            changes.append(std::move(current));
        current = Change{};
    };
    for (auto it = record.rbegin(); it != record.rend(); ++it) {
        switch (it->step) {
        case Step::Same:
            flush();
            if (unicode::bareWord(it->word) != unicode::bareWord(it->spanWord)) {
                current.removed.append(it->word);
                current.added.append(it->spanWord);
                flush();
            }
            break;
        case Step::Removed:
            current.removed.append(it->word);
            break;
        case Step::Added:
            current.added.append(it->word);
            break;
        }
    }
    flush();
    return changes;
}

QString joinedBare(const QList<QStringView>& words)
{
    QStringList bare;
    bare.reserve(words.size());
    for (QStringView word : words)
        bare.append(unicode::bareWord(word));
    return bare.join(QLatin1Char(' '));
}

bool isAllowedInTarget(QStringView character)
{
    const char32_t first = unicode::codePointAt(character, 0);
    if (unicode::isLetter(first) || unicode::isNumber(first))
        return true;
    return character.size() == 1 && QStringView(u" -'\u2019.&+").contains(character[0]);
}

// The text after its first user-perceived character.
QStringView afterFirstCharacter(QStringView text)
{
    const QList<QStringView> clusters = unicode::graphemes(text);
    return clusters.isEmpty() ? text : text.sliced(clusters.front().size());
}

// The filter both entry points share; nullopt when the change is not worth a correction.
std::optional<Correction> filtered(const Change& change)
{
    if (change.removed.size() < 1 || change.removed.size() > 3 || change.added.size() < 1 ||
        change.added.size() > 2)
        return std::nullopt;
    Correction c{joinedBare(change.removed), joinedBare(change.added)};
    if (c.from.isEmpty() || c.to.isEmpty() || c.from == c.to)
        return std::nullopt;
    const QList<QStringView> characters = unicode::graphemes(c.to);
    if (!std::all_of(characters.begin(), characters.end(), isAllowedInTarget))
        return std::nullopt;
    const QString fromKey = unicode::letterKey(c.from);
    const QString toKey = unicode::letterKey(c.to);
    if (fromKey == toKey) {
        if (afterFirstCharacter(c.from) == afterFirstCharacter(c.to))
            return std::nullopt;
    } else if (unicode::similarity(fromKey, toKey) < 0.5) {
        return std::nullopt;
    }
    return c;
}

bool isKnown(const QString& word, const SpellChecker& spelling, const QStringList& languages)
{
    // Nothing can be misspelled in an empty word (one that was all punctuation).
    if (word.isEmpty())
        return true;
    return std::any_of(languages.begin(), languages.end(),
                       [&](const QString& language) { return spelling.accepts(word, language); });
}

bool hasInnerCapital(QStringView word)
{
    const QList<QStringView> characters = unicode::graphemes(word);
    return std::any_of(characters.begin() + std::min<qsizetype>(1, characters.size()),
                       characters.end(), [](QStringView character) {
                           return unicode::isUppercase(unicode::codePointAt(character, 0));
                       });
}

bool hasNumber(QStringView word)
{
    const QList<QStringView> characters = unicode::graphemes(word);
    return std::any_of(characters.begin(), characters.end(), [](QStringView character) {
        return unicode::isNumber(unicode::codePointAt(character, 0));
    });
}

// Capitals typed for emphasis ('very' to 'VERY', 'ok' to 'OK') are no correction: a change that
// only upper-cases words the spell checker knows.
bool isEmphasis(const Correction& c, const SpellChecker& spelling, const QStringList& languages)
{
    return c.to == c.from.toUpper() && isKnown(c.to, spelling, languages);
}

// A field change is learned only when one of its new words looks like a name or jargon.
bool looksLikeJargon(const Change& change, const SpellChecker& spelling,
                     const QStringList& languages)
{
    return std::any_of(change.added.begin(), change.added.end(), [&](QStringView added) {
        const QString word = unicode::bareWord(added);
        return !isKnown(word, spelling, languages) || hasInnerCapital(word) || hasNumber(word);
    });
}

QList<Correction> corrections(const QString& first, const QString& second,
                              const SpellChecker* spelling, const QStringList& languages)
{
    const QList<QStringView> a = unicode::splitWords(first);
    const QList<QStringView> b = lastWords(second, kFieldWordLimit);
    if (a.size() < 2 || b.isEmpty())
        return {};
    if (a.size() * std::min(b.size(), a.size() + 2) > kMaxTableCells)
        return {};
    const Keys keys = keysOf(a, b);
    const std::optional<Window> span = locateSpan(keys);
    if (!span)
        return {};
    const QList<QStringView> spanWords = b.sliced(span->start, span->length);
    QList<Correction> result;
    for (const Change& change :
         changesBetween(a, keys.inserted.data(), spanWords, keys.field.data() + span->start)) {
        std::optional<Correction> c = filtered(change);
        if (!c)
            continue;
        if (spelling && (isEmphasis(*c, *spelling, languages) ||
                         !looksLikeJargon(change, *spelling, languages)))
            continue;
        result.append(std::move(*c));
    }
    return result;
}

} // namespace

QList<Correction> fieldCorrections(const QString& inserted, const QString& field,
                                   const SpellChecker& spelling, const QStringList& languages)
{
    return corrections(inserted, field, &spelling, languages);
}

QList<Correction> fixCorrections(const QString& original, const QString& fixed)
{
    return corrections(original, fixed, nullptr, {});
}

} // namespace quillet::Learner
