#include "speech/SonioxResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace quillet {

namespace {

// A JSON number that is a whole number a double holds exactly.
std::optional<qint64> integer(const QJsonValue& value)
{
    const double number = value.toDouble();
    if (!value.isDouble() || std::trunc(number) != number || std::fabs(number) > 9.0e15)
        return std::nullopt;
    return static_cast<qint64>(number);
}

// Error codes and messages as plain text: a string as itself, a whole number as its digits,
// anything else as compact JSON.
QString printed(const QJsonValue& value)
{
    if (value.isString() || value.isUndefined())
        return value.toString();
    if (value.isDouble()) {
        const auto whole = integer(value);
        return whole ? QString::number(*whole) : QString::number(value.toDouble(), 'g', 17);
    }
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isNull())
        return QStringLiteral("null");
    const QJsonDocument nested =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return QString::fromUtf8(nested.toJson(QJsonDocument::Compact));
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
    if (object.contains(QLatin1String("error_code"))) {
        response.error = QStringLiteral("Soniox ") + printed(object[QLatin1String("error_code")]) +
                         QStringLiteral(": ") + printed(object[QLatin1String("error_message")]);
        return response;
    }
    for (const QJsonValue& item : object[QLatin1String("tokens")].toArray()) {
        const QJsonObject token = item.toObject();
        const QJsonValue textValue = token[QLatin1String("text")];
        if (!textValue.isString())
            continue;
        const QString text = textValue.toString();
        if (text == QLatin1String("<fin>")) {
            response.fin = true;
            continue;
        }
        if (text == QLatin1String("<end>"))
            continue;
        // Without translation the translated pieces are dropped; with it only they are kept.
        const bool translated =
            token[QLatin1String("translation_status")].toString() == QLatin1String("translation");
        if (translated != translate)
            continue;
        (token[QLatin1String("is_final")].toBool(false) ? response.finals : response.tail) += text;
    }
    response.finalMs = integer(object[QLatin1String("final_audio_proc_ms")]);
    response.totalMs = integer(object[QLatin1String("total_audio_proc_ms")]);
    response.finished = object[QLatin1String("finished")].toBool(false);
    return response;
}

} // namespace quillet
