#include "vocab/Vocabulary.h"

#include "util/Json.h"
#include "util/Unicode.h"

#include <QJsonArray>

namespace quillet {

namespace {

const auto kTerms = QLatin1StringView("terms");
const auto kReplacements = QLatin1StringView("replacements");
const auto kUpdatedAt = QLatin1StringView("updatedAt");
const auto kFrom = QLatin1StringView("from");
const auto kTo = QLatin1StringView("to");

template <typename T> void removePositions(QList<T>& list, const QSet<qsizetype>& positions)
{
    if (positions.isEmpty())
        return;
    QList<T> kept;
    kept.reserve(list.size());
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (!positions.contains(i))
            kept.append(std::move(list[i]));
    }
    list = std::move(kept);
}

} // namespace

QString Replacement::id() const
{
    return unicode::lowercased(from);
}

QJsonObject Replacement::toJson() const
{
    return QJsonObject{{kFrom, from}, {kTo, to}};
}

std::optional<Replacement> Replacement::fromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    auto from = json::string(o, kFrom);
    auto to = json::string(o, kTo);
    if (!from || !to)
        return std::nullopt;
    return Replacement{std::move(*from), std::move(*to)};
}

size_t qHash(const Replacement& r, size_t base) noexcept
{
    return qHashMulti(base, r.from, r.to);
}

void Vocabulary::addTerm(const QString& term)
{
    QString t = unicode::trimmed(term);
    if (t.isEmpty())
        return;
    for (const QString& existing : std::as_const(terms)) {
        if (unicode::equalsIgnoringCase(existing, t))
            return;
    }
    terms.append(std::move(t));
}

void Vocabulary::addReplacement(const QString& from, const QString& to)
{
    QString f = unicode::trimmed(from);
    QString t = unicode::trimmed(to);
    if (f.isEmpty() || t.isEmpty() || f == t)
        return;
    const QString id = unicode::lowercased(f);
    replacements.removeIf([&](const Replacement& r) { return r.id() == id; });
    replacements.append(Replacement{std::move(f), std::move(t)});
}

void Vocabulary::removeTerms(const QSet<qsizetype>& positions)
{
    removePositions(terms, positions);
}

void Vocabulary::removeReplacements(const QSet<qsizetype>& positions)
{
    removePositions(replacements, positions);
}

void Vocabulary::merge(const Vocabulary& other)
{
    for (const QString& term : other.terms)
        addTerm(term);
    QSet<QString> present;
    present.reserve(replacements.size() + other.replacements.size());
    for (const Replacement& r : std::as_const(replacements))
        present.insert(r.id());
    for (const Replacement& r : other.replacements) {
        QString id = r.id();
        if (present.contains(id))
            continue;
        present.insert(std::move(id));
        replacements.append(r);
    }
}

QStringList Vocabulary::learn(const QList<Learner::Correction>& corrections)
{
    QStringList learned;
    learned.reserve(corrections.size());
    for (const Learner::Correction& c : corrections) {
        addTerm(c.to);
        addReplacement(c.from, c.to);
        learned.append(c.to);
    }
    return learned;
}

QString Vocabulary::applyReplacements(const QString& text) const
{
    return quillet::applyReplacements(replacements, text);
}

QJsonObject Vocabulary::toJson() const
{
    QJsonArray list;
    for (const Replacement& r : replacements)
        list.append(r.toJson());
    QJsonObject o{{kTerms, QJsonArray::fromStringList(terms)}, {kReplacements, list}};
    if (updatedAt)
        o.insert(kUpdatedAt, json::toReferenceSeconds(*updatedAt));
    return o;
}

QByteArray Vocabulary::encode() const
{
    return json::compact(toJson());
}

std::optional<Vocabulary> Vocabulary::fromJson(const QJsonObject& object)
{
    Vocabulary v;
    auto terms = json::stringList(object, kTerms);
    const QJsonValue list = object.value(kReplacements);
    if (!terms || !list.isArray())
        return std::nullopt;
    v.terms = std::move(*terms);
    const QJsonArray array = list.toArray();
    v.replacements.reserve(array.size());
    for (const QJsonValue& item : array) {
        auto r = Replacement::fromJson(item);
        if (!r)
            return std::nullopt;
        v.replacements.append(std::move(*r));
    }
    if (!json::isAbsent(object, kUpdatedAt)) {
        auto date = json::date(object, kUpdatedAt);
        if (!date || !date->isValid())
            return std::nullopt;
        v.updatedAt = std::move(*date);
    }
    return v;
}

std::optional<Vocabulary> Vocabulary::decode(const QByteArray& bytes)
{
    const auto object = json::parseObject(bytes);
    if (!object)
        return std::nullopt;
    return fromJson(*object);
}

} // namespace quillet
