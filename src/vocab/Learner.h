#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace quillet {

class SpellChecker;

// Turns a text the system produced and the same text after the user corrected it into the
// word-level corrections worth remembering. Keeps no state.
namespace Learner {

struct Correction {
    QString from; // the words as the system wrote them, joined by single spaces
    QString to;   // the user's words, joined by single spaces
    friend bool operator==(const Correction&, const Correction&) = default;
};

// `inserted` is the text pasted into another application, `field` the text now in its field.
// Accepts only corrections whose new words look like names or jargon: a word counts as known
// when one of `languages` (tried in order) accepts it.
QList<Correction> fieldCorrections(const QString& inserted, const QString& field,
                                   const SpellChecker& spelling, const QStringList& languages);

// `original` is a history entry's text, `fixed` the text the user typed in its place.
QList<Correction> fixCorrections(const QString& original, const QString& fixed);

} // namespace Learner
} // namespace quillet
