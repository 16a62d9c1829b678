#pragma once

#include <QString>
#include <QStringView>

namespace quillet {

// The desktop's dictionary-backed spell checker.
class SpellChecker {
public:
    virtual ~SpellChecker() = default;

    // True when the dictionary for `language` (a bare code such as "en") finds no misspelling in
    // `text`; false when it finds one or there is no dictionary for that language.
    virtual bool accepts(QStringView text, const QString& language) const = 0;

    // False when the checker cannot work at all on this desktop; it then accepts nothing.
    virtual bool isAvailable() const { return true; }
};

} // namespace quillet
