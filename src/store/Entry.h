#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QUuid>

#include <optional>

namespace quillet {

// One history record: a finished dictation. Identity is `id`.
struct Entry {
    QUuid id;
    // When the dictation finished.
    QDateTime date;
    // The transcript before text processing.
    QString raw;
    // The text that was inserted (the history fix sheet may change it later).
    QString text;
    // The mode id the dictation ended in.
    QString mode;
    // Display name of the application the text went to.
    std::optional<QString> app;

    bool operator==(const Entry&) const = default;

    // "app" is written only when present.
    QJsonObject toJson() const;
    // Every key but "app" is required; a missing key or a wrongly typed value rejects it.
    static std::optional<Entry> fromJson(const QJsonObject& object);

    // The history file: a JSON array of entries, newest first. One bad entry rejects the list.
    static QByteArray encodeList(const QList<Entry>& entries);
    static std::optional<QList<Entry>> decodeList(const QByteArray& bytes);
};

} // namespace quillet

Q_DECLARE_METATYPE(quillet::Entry)
