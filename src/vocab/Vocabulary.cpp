#include "vocab/Vocabulary.h"

namespace quillet {

QString Replacement::id() const
{
    return from.toLower();
}
QJsonObject Replacement::toJson() const
{
    return {};
}
std::optional<Replacement> Replacement::fromJson(const QJsonValue&)
{
    return std::nullopt;
}
size_t qHash(const Replacement& r, size_t seed) noexcept
{
    return qHashMulti(seed, r.from, r.to);
}
void Vocabulary::addTerm(const QString&) {}
void Vocabulary::addReplacement(const QString&, const QString&) {}
void Vocabulary::removeTerms(const QSet<qsizetype>&) {}
void Vocabulary::removeReplacements(const QSet<qsizetype>&) {}
void Vocabulary::merge(const Vocabulary&) {}
QStringList Vocabulary::learn(const QList<Learner::Correction>&)
{
    return {};
}
QString Vocabulary::applyReplacements(const QString& text) const
{
    return text;
}
QJsonObject Vocabulary::toJson() const
{
    return {};
}
QByteArray Vocabulary::encode() const
{
    return {};
}
std::optional<Vocabulary> Vocabulary::fromJson(const QJsonObject&)
{
    return std::nullopt;
}
std::optional<Vocabulary> Vocabulary::decode(const QByteArray&)
{
    return std::nullopt;
}
QString applyReplacements(const QList<Replacement>&, const QString& text)
{
    return text;
}
bool needsCleanup(QStringView)
{
    return false;
}
bool needsLeadingSpace(const std::optional<QString>&, QStringView)
{
    return false;
}

} // namespace quillet
