#include "processing/ChatError.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace quillet {

QString errorSummary(const ChatError& error)
{
    if (error.kind != ChatError::Kind::badServerResponse)
        return error.description;
    const QJsonDocument document = QJsonDocument::fromJson(error.description.toUtf8());
    if (!document.isObject())
        return error.description;
    const QJsonObject top = document.object();
    const QJsonValue inner = top.value(QLatin1StringView("error"));
    if (inner.isObject()) {
        const QJsonValue message = inner.toObject().value(QLatin1StringView("message"));
        if (message.isString() && !message.toString().isEmpty())
            return message.toString();
    }
    if (inner.isString() && !inner.toString().isEmpty())
        return inner.toString();
    const QJsonValue message = top.value(QLatin1StringView("message"));
    if (message.isString() && !message.toString().isEmpty())
        return message.toString();
    return error.description;
}

} // namespace quillet
