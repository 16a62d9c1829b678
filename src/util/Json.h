#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace quillet::json {

// Strict decoding for the data files: a document is either fully valid or rejected, so every
// reader returns nullopt for a missing required key or a value of the wrong type.

// Parses `bytes` as a JSON object (nullopt for invalid JSON or another top-level type).
std::optional<QJsonObject> parseObject(const QByteArray& bytes);
// Parses `bytes` as a JSON array (nullopt for invalid JSON or another top-level type).
std::optional<QJsonArray> parseArray(const QByteArray& bytes);

// Compact (no white space) encodings.
QByteArray compact(const QJsonObject& object);
QByteArray compact(const QJsonArray& array);

// An optional key is absent when it is missing or JSON null.
bool isAbsent(const QJsonObject& o, QLatin1StringView key);

std::optional<QString> string(const QJsonObject& o, QLatin1StringView key);
std::optional<bool> boolean(const QJsonObject& o, QLatin1StringView key);
std::optional<double> number(const QJsonObject& o, QLatin1StringView key);
// An array whose every element is a string.
std::optional<QStringList> stringList(const QJsonObject& o, QLatin1StringView key);

// Timestamps are seconds since 2001-01-01 00:00:00 UTC, as JSON numbers.
double toReferenceSeconds(const QDateTime& time);
QDateTime fromReferenceSeconds(double seconds);
// A timestamp key: nullopt when absent or not a number.
std::optional<QDateTime> date(const QJsonObject& o, QLatin1StringView key);

// Canonical upper-case UUID text without braces, and its strict parse: 8-4-4-4-12 hexadecimal
// digits in either case, nothing before or after.
QString uuidText(const QUuid& id);
std::optional<QUuid> parseUuid(QStringView text);
std::optional<QUuid> uuid(const QJsonObject& o, QLatin1StringView key);

} // namespace quillet::json
