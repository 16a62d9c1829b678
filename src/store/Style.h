#pragma once

#include <QHashFunctions>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace quillet {

// One mode: a named, coloured set of rewriting instructions. Identity is `id`; equality and
// hashing cover every field, and an absent `edited` differs from false.
struct Style {
    QString id;
    QString name;
    // "#RRGGBB", upper-case hexadecimal.
    QString color;
    QString instructions;
    bool fast = false;
    bool useHistory = false;
    // Meaningful for built-in ids only: whether the saved instructions or flags differ from the
    // built-in definition; absent when never judged.
    std::optional<bool> edited;

    bool operator==(const Style&) const = default;

    // "edited" is written only when present.
    QJsonObject toJson() const;
    // Every key but "edited" is required; a missing key or a wrongly typed value rejects it.
    static std::optional<Style> fromJson(const QJsonObject& object);
};

size_t qHash(const Style& style, size_t hashSeed = 0) noexcept;

} // namespace quillet
