#pragma once

#include "vocab/Learner.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillet {

// A literal rewrite: `from` as recognition writes it (matched ignoring case) to `to` as stored.
struct Replacement {
    QString from;
    QString to;

    // The identity used by list views and duplicate detection: `from` lower-cased.
    QString id() const;

    friend bool operator==(const Replacement&, const Replacement&) = default;

    QJsonObject toJson() const;
    // nullopt unless "from" and "to" are both strings.
    static std::optional<Replacement> fromJson(const QJsonValue& value);
};

size_t qHash(const Replacement& r, size_t base = 0) noexcept;

// The user's terms and replacements. A plain value: the store applies each operation to its
// copy, then stamps `updatedAt` and saves.
struct Vocabulary {
    QStringList terms;
    QList<Replacement> replacements;
    std::optional<QDateTime> updatedAt;

    friend bool operator==(const Vocabulary&, const Vocabulary&) = default;

    // Trims; ignores an empty term or one equal to a stored term ignoring case.
    void addTerm(const QString& term);
    // Trims both; ignores empty or identical pairs; replaces any entry with the same `from`
    // ignoring case and appends.
    void addReplacement(const QString& from, const QString& to);
    // Positions out of range are ignored; the others keep their order.
    void removeTerms(const QSet<qsizetype>& positions);
    void removeReplacements(const QSet<qsizetype>& positions);
    // Adds the other's terms and the replacements whose `from` is not present yet; entries
    // already present win. Leaves `updatedAt` alone.
    void merge(const Vocabulary& other);
    // Adds each correction's `to` as a term and the pair as a replacement, in order, and
    // returns every `to`. Stamping and saving (only for a non-empty list) is the store's part.
    QStringList learn(const QList<Learner::Correction>& corrections);

    // Applies every replacement, longest `from` first, at letter/digit boundaries.
    QString applyReplacements(const QString& text) const;

    // Compact JSON: "terms", "replacements" and, when present, "updatedAt".
    QJsonObject toJson() const;
    QByteArray encode() const;
    // Strict: a missing or wrongly typed key rejects the whole document.
    static std::optional<Vocabulary> fromJson(const QJsonObject& object);
    static std::optional<Vocabulary> decode(const QByteArray& bytes);
};

// Applies `replacements` to `text` (what Vocabulary::applyReplacements does).
QString applyReplacements(const QList<Replacement>& replacements, const QString& text);

// True when a dictation in the default mode shows a repeated word, a self-correction or a
// filler word, so it is worth a cleanup pass.
bool needsCleanup(QStringView text);

// True when a space must go before `text` inserted after `previous` (the character just before
// the insertion point, or nullopt when it cannot be read).
bool needsLeadingSpace(const std::optional<QString>& previous, QStringView text);

} // namespace quillet
