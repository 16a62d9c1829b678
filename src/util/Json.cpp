#include "util/Json.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <cmath>

namespace quillet::json {

namespace {

// 2001-01-01T00:00:00Z in Unix milliseconds.
constexpr qint64 kReferenceEpochMs = 978'307'200'000;

std::optional<QJsonDocument> parse(const QByteArray& bytes)
{
    QJsonParseError error{};
    QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || doc.isNull())
        return std::nullopt;
    return doc;
}

} // namespace

std::optional<QJsonObject> parseObject(const QByteArray& bytes)
{
    const auto doc = parse(bytes);
    if (!doc || !doc->isObject())
        return std::nullopt;
    return doc->object();
}

std::optional<QJsonArray> parseArray(const QByteArray& bytes)
{
    const auto doc = parse(bytes);
    if (!doc || !doc->isArray())
        return std::nullopt;
    return doc->array();
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray compact(const QJsonArray& array)
{
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

bool isAbsent(const QJsonObject& o, QLatin1StringView key)
{
    const QJsonValue v = o.value(key);
    return v.isUndefined() || v.isNull();
}

std::optional<QString> string(const QJsonObject& o, QLatin1StringView key)
{
    const QJsonValue v = o.value(key);
    return v.isString() ? std::optional<QString>(v.toString()) : std::nullopt;
}

std::optional<bool> boolean(const QJsonObject& o, QLatin1StringView key)
{
    const QJsonValue v = o.value(key);
    return v.isBool() ? std::optional<bool>(v.toBool()) : std::nullopt;
}

std::optional<double> number(const QJsonObject& o, QLatin1StringView key)
{
    const QJsonValue v = o.value(key);
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        return std::nullopt;
    return v.toDouble();
}

std::optional<QStringList> stringList(const QJsonObject& o, QLatin1StringView key)
{
    const QJsonValue v = o.value(key);
    if (!v.isArray())
        return std::nullopt;
    QStringList out;
    const QJsonArray array = v.toArray();
    out.reserve(array.size());
    for (const QJsonValue& item : array) {
        if (!item.isString())
            return std::nullopt;
        out << item.toString();
    }
    return out;
}

double toReferenceSeconds(const QDateTime& time)
{
    return static_cast<double>(time.toMSecsSinceEpoch() - kReferenceEpochMs) / 1000.0;
}

QDateTime fromReferenceSeconds(double seconds)
{
    const double ms = std::round(seconds * 1000.0);
    // Clamp far beyond any real date so a hostile file cannot overflow the conversion.
    const double limit = 1e16;
    const qint64 clamped = static_cast<qint64>(std::clamp(ms, -limit, limit));
    return QDateTime::fromMSecsSinceEpoch(kReferenceEpochMs + clamped, Qt::UTC);
}

std::optional<QDateTime> date(const QJsonObject& o, QLatin1StringView key)
{
    const auto n = number(o, key);
    return n ? std::optional<QDateTime>(fromReferenceSeconds(*n)) : std::nullopt;
}

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parseUuid(QStringView text)
{
    // Exactly 8-4-4-4-12 hexadecimal digits: QUuid::fromString() also takes braces and ignores
    // what follows, and reads anything it cannot parse as the all-zero UUID, a valid id.
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (dash ? c != u'-' : !hex)
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

std::optional<QUuid> uuid(const QJsonObject& o, QLatin1StringView key)
{
    const auto s = string(o, key);
    return s ? parseUuid(*s) : std::nullopt;
}

} // namespace quillet::json
