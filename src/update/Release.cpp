#include "update/Release.h"

#include "util/Json.h"

#include <cmath>

namespace quillet {

namespace {

// Integers beyond 2^53 do not survive a JSON number; they are no build number either.
constexpr double maxExactInteger = 9007199254740992.0;

std::optional<qint64> integer(const QJsonObject& o, QLatin1StringView key)
{
    const std::optional<double> n = json::number(o, key);
    if (!n || !std::isfinite(*n) || std::trunc(*n) != *n || std::fabs(*n) > maxExactInteger)
        return std::nullopt;
    return static_cast<qint64>(*n);
}

} // namespace

std::optional<Release> Release::fromJson(const QByteArray& json)
{
    const std::optional<QJsonObject> o = json::parseObject(json);
    if (!o)
        return std::nullopt;
    const auto version = json::string(*o, QLatin1StringView("version"));
    const auto build = integer(*o, QLatin1StringView("build"));
    const auto url = json::string(*o, QLatin1StringView("url"));
    const auto sha256 = json::string(*o, QLatin1StringView("sha256"));
    if (!version || !build || !url || !sha256)
        return std::nullopt;
    const QUrl parsed(*url, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || parsed.isRelative() || parsed.host().isEmpty() ||
        (scheme != u"http" && scheme != u"https"))
        return std::nullopt;
    return Release{*version, *build, parsed, *sha256};
}

} // namespace quillet
