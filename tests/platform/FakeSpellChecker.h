#pragma once

#include "platform/SpellChecker.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

namespace quillet {

// A spell checker with word lists per language that keeps every question it was asked.
class FakeSpellChecker final : public SpellChecker {
public:
    // Words `language` accepts, compared ignoring case.
    void addWords(const QString& language, const QStringList& words)
    {
        for (const QString& w : words)
            m_words[language].insert(w.toLower());
    }

    bool accepts(QStringView text, const QString& language) const override
    {
        m_asked.append({text.toString(), language});
        return m_words.value(language).contains(text.toString().toLower());
    }

    // (text, language) pairs in the order asked.
    const QList<QPair<QString, QString>>& asked() const { return m_asked; }

private:
    QHash<QString, QSet<QString>> m_words;
    mutable QList<QPair<QString, QString>> m_asked;
};

} // namespace quillet
