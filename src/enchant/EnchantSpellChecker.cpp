#include "enchant/EnchantSpellChecker.h"

#include "util/Unicode.h"

#include <QList>

#include <enchant.h>

namespace quillet {

namespace {

bool isWordCharacter(char32_t c)
{
    return unicode::isLetter(c) || unicode::isMark(c) || unicode::isNumber(c);
}

bool isApostrophe(char32_t c)
{
    return c == U'\'' || c == U'\u2019';
}

// The words a dictionary is asked about: runs of letters, marks and numbers, with apostrophes
// kept inside a run ("don't"). Runs of digits alone are not words to check.
QList<QStringView> wordsToCheck(QStringView text)
{
    QList<QStringView> words;
    qsizetype start = -1;
    qsizetype end = -1; // end of the last word character of the current run
    bool hasLetter = false;
    auto flush = [&] {
        if (start >= 0 && hasLetter)
            words.append(text.sliced(start, end - start));
        start = -1;
        hasLetter = false;
    };
    for (qsizetype i = 0; i < text.size();) {
        qsizetype next = 0;
        const char32_t c = unicode::codePointAt(text, i, &next);
        if (isWordCharacter(c)) {
            if (start < 0)
                start = i;
            end = next;
            hasLetter = hasLetter || !unicode::isNumber(c);
        } else if (!(isApostrophe(c) && start >= 0 && end == i)) {
            flush();
        }
        i = next;
    }
    flush();
    return words;
}

} // namespace

EnchantSpellChecker::EnchantSpellChecker()
    : m_broker(enchant_broker_init())
{}

EnchantSpellChecker::~EnchantSpellChecker()
{
    if (!m_broker)
        return;
    for (EnchantDict* dict : std::as_const(m_dicts)) {
        if (dict)
            enchant_broker_free_dict(m_broker, dict);
    }
    enchant_broker_free(m_broker);
}

EnchantDict* EnchantSpellChecker::dictionary(const QString& language) const
{
    if (!m_broker || language.isEmpty())
        return nullptr;
    if (auto it = m_dicts.constFind(language); it != m_dicts.constEnd())
        return *it;
    EnchantDict* dict = enchant_broker_request_dict(m_broker, language.toUtf8().constData());
    m_dicts.insert(language, dict);
    return dict;
}

bool EnchantSpellChecker::hasDictionary(const QString& language) const
{
    std::lock_guard lock(m_mutex);
    return dictionary(language) != nullptr;
}

bool EnchantSpellChecker::accepts(QStringView text, const QString& language) const
{
    std::lock_guard lock(m_mutex);
    EnchantDict* dict = dictionary(language);
    if (!dict)
        return false;
    for (QStringView word : wordsToCheck(text)) {
        const QByteArray utf8 = word.toUtf8();
        // 0 is a correct word, positive a misspelling, negative an error.
        if (enchant_dict_check(dict, utf8.constData(), utf8.size()) != 0)
            return false;
    }
    return true;
}

} // namespace quillet
