#include "store/Entry.h"

#include "util/Json.h"

#include <QJsonArray>

namespace quillet {

QJsonObject Entry::toJson() const
{
    QJsonObject o{
        {QLatin1String("id"), json::uuidText(id)},
        {QLatin1String("date"), json::toReferenceSeconds(date)},
        {QLatin1String("raw"), raw},
        {QLatin1String("text"), text},
        {QLatin1String("mode"), mode},
    };
    if (app)
        o.insert(QLatin1String("app"), *app);
    return o;
}

std::optional<Entry> Entry::fromJson(const QJsonObject& o)
{
    Entry e;
    const auto id = json::uuid(o, QLatin1String("id"));
    const auto date = json::date(o, QLatin1String("date"));
    const auto raw = json::string(o, QLatin1String("raw"));
    const auto text = json::string(o, QLatin1String("text"));
    const auto mode = json::string(o, QLatin1String("mode"));
    if (!id || !date || !raw || !text || !mode)
        return std::nullopt;
    if (!json::isAbsent(o, QLatin1String("app"))) {
        e.app = json::string(o, QLatin1String("app"));
        if (!e.app)
            return std::nullopt;
    }
    e.id = *id;
    e.date = *date;
    e.raw = *raw;
    e.text = *text;
    e.mode = *mode;
    return e;
}

QByteArray Entry::encode() const
{
    return json::compact(toJson());
}

QByteArray Entry::joinEncoded(const QList<QByteArray>& encoded)
{
    qsizetype size = 2 + encoded.size();
    for (const QByteArray& e : encoded)
        size += e.size();
    QByteArray out;
    out.reserve(size);
    out.append('[');
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (i)
            out.append(',');
        out.append(encoded[i]);
    }
    out.append(']');
    return out;
}

QByteArray Entry::encodeList(const QList<Entry>& entries)
{
    QJsonArray array;
    for (const Entry& e : entries)
        array.append(e.toJson());
    return json::compact(array);
}

std::optional<QList<Entry>> Entry::decodeList(const QByteArray& bytes)
{
    const auto array = json::parseArray(bytes);
    if (!array)
        return std::nullopt;
    QList<Entry> out;
    out.reserve(array->size());
    for (const QJsonValue& v : *array) {
        if (!v.isObject())
            return std::nullopt;
        auto e = fromJson(v.toObject());
        if (!e)
            return std::nullopt;
        out.append(std::move(*e));
    }
    return out;
}

} // namespace quillet
