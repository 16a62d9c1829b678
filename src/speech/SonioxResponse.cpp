#include "speech/SonioxResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace quillet {

namespace {

// How an error field prints: a number as its digits, a string as itself.
QString printed(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (std::trunc(d) == d && std::fabs(d) < 9.0e15)
            return QString::number(static_cast<qint64>(d));
        return QString::number(d, 'g', 17);
    }
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Undefined:
        break;
    }
    return QString();
}

// An integral JSON number within range, else nullopt.
std::optional<qint64> integer(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (std::trunc(d) != d || std::fabs(d) > 9.0e15)
        return std::nullopt;
    return static_cast<qint64>(d);
}

} // namespace

std::optional<SonioxResponse> SonioxResponse::parse(const QByteArray& bytes, bool translate)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    SonioxResponse response;
    const auto errorCode = object.constFind(QLatin1String("error_code"));
    if (errorCode != object.constEnd()) {
        response.error = QStringLiteral("Soniox ") + printed(*errorCode) + QStringLiteral(": ") +
                         printed(object.value(QLatin1String("error_message")));
        return response;
    }

    const QJsonArray tokens = object.value(QLatin1String("tokens")).toArray();
    for (const QJsonValue& item : tokens) {
        const QJsonObject token = item.toObject();
        const QJsonValue text = token.value(QLatin1String("text"));
        if (!text.isString())
            continue;
        const QString piece = text.toString();
        if (piece == QLatin1String("<fin>")) {
            response.fin = true;
            continue;
        }
        if (piece == QLatin1String("<end>"))
            continue;
        const bool translated = token.value(QLatin1String("translation_status")).toString() ==
                                QLatin1String("translation");
        if (translated != translate)
            continue;
        if (token.value(QLatin1String("is_final")).toBool(false))
            response.finals += piece;
        else
            response.tail += piece;
    }
    response.finalMs = integer(object.value(QLatin1String("final_audio_proc_ms")));
    response.totalMs = integer(object.value(QLatin1String("total_audio_proc_ms")));
    response.finished = object.value(QLatin1String("finished")).toBool(false);
    return response;
}

} // namespace quillet
