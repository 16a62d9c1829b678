#include "store/Preferences.h"

#include <QDir>
#include <QMutexLocker>
#include <QStandardPaths>

#include <cmath>

namespace quillet {

namespace {

const QStringList kDefaultLanguages{QStringLiteral("en"), QStringLiteral("es"),
                                    QStringLiteral("fr")};

// QSettings' INI format and the argument domain hand back text for every scalar, so a boolean or
// a number may arrive as a string; only unambiguous spellings count.
std::optional<bool> toBool(const QVariant& v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        if (s == u"true" || s == u"yes" || s == u"1")
            return true;
        if (s == u"false" || s == u"no" || s == u"0")
            return false;
    }
    if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) {
        const qint64 n = v.toLongLong();
        if (n == 0 || n == 1)
            return n == 1;
    }
    return std::nullopt;
}

std::optional<double> toDouble(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return v.toDouble();
    case QMetaType::QString: {
        bool ok = false;
        const double d = v.toString().trimmed().toDouble(&ok);
        if (ok && std::isfinite(d))
            return d;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<qint64> toInteger(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        return v.toLongLong();
    case QMetaType::Double: {
        const double d = v.toDouble();
        if (std::isfinite(d) && d == std::trunc(d) && std::abs(d) < 9e15)
            return static_cast<qint64>(d);
        return std::nullopt;
    }
    case QMetaType::QString: {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        return ok ? std::optional<qint64>(n) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

} // namespace

Preferences::Preferences(const QString& filePath, QHash<QString, QString> arguments,
                         QObject* parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
    , m_arguments(std::move(arguments))
{}

Preferences::~Preferences() = default;

QString Preferences::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Quillet/Quillet.conf");
}

QHash<QString, QString> Preferences::takeArgumentDomain(QStringList& args)
{
    // Only the pairs before the first other word: what follows belongs to the command, whose
    // texts may well start with a hyphen ("-ish", "-5 degrees").
    QHash<QString, QString> domain;
    qsizetype i = 1;
    for (; i + 1 < args.size(); i += 2) {
        const QString& a = args[i];
        if (a.size() < 2 || !a.startsWith(u'-') || a.startsWith(u"--"))
            break;
        domain.insert(a.mid(1), args[i + 1]);
    }
    if (i > 1)
        args.remove(1, i - 1);
    return domain;
}

QVariant Preferences::fileValue(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    m_settings->sync(); // picks up writes made by another process since the last read
    return m_settings->value(key);
}

QVariant Preferences::value(const QString& key) const
{
    {
        QMutexLocker lock(&m_mutex);
        const auto it = m_arguments.constFind(key);
        if (it != m_arguments.cend())
            return *it;
    }
    return fileValue(key);
}

void Preferences::setValue(const QString& key, const QVariant& value)
{
    {
        QMutexLocker lock(&m_mutex);
        m_settings->setValue(key, value);
        m_settings->sync();
    }
    emit changed(key);
}

void Preferences::remove(const QString& key)
{
    {
        QMutexLocker lock(&m_mutex);
        m_settings->remove(key);
        m_settings->sync();
    }
    emit changed(key);
}

void Preferences::setArgument(const QString& key, const QString& value)
{
    {
        QMutexLocker lock(&m_mutex);
        m_arguments.insert(key, value);
    }
    emit changed(key);
}

QString Preferences::string(const QString& key, const QString& fallback) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QString ? v.toString() : fallback;
}

bool Preferences::boolean(const QString& key, bool fallback) const
{
    return toBool(value(key)).value_or(fallback);
}

double Preferences::number(const QString& key, double fallback) const
{
    return toDouble(value(key)).value_or(fallback);
}

qint64 Preferences::integer(const QString& key, qint64 fallback) const
{
    return toInteger(value(key)).value_or(fallback);
}

std::optional<QString> Preferences::argument(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_arguments.constFind(key);
    if (it == m_arguments.cend())
        return std::nullopt;
    return *it;
}

QStringList Preferences::stringList(const QString& key, const QStringList& fallback) const
{
    // On the command line a list is written "en,fr" or, as a property list, "(en, fr)".
    if (auto arg = argument(key)) {
        QString text = arg->trimmed();
        if (text.startsWith(u'(') && text.endsWith(u')'))
            text = text.mid(1, text.size() - 2);
        QStringList out;
        for (QString item : text.split(u',')) {
            item = item.trimmed();
            if (item.size() >= 2 && item.startsWith(u'"') && item.endsWith(u'"'))
                item = item.mid(1, item.size() - 2);
            if (!item.isEmpty())
                out << item;
        }
        return out.isEmpty() ? fallback : out;
    }
    const QVariant v = value(key);
    // The INI format stores a one-element list as a plain string; a blank one is no list.
    if (v.typeId() == QMetaType::QString)
        return v.toString().trimmed().isEmpty() ? fallback : QStringList{v.toString()};
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList();
    if (v.typeId() == QMetaType::QVariantList) {
        QStringList out;
        for (const QVariant& item : v.toList()) {
            if (item.typeId() != QMetaType::QString)
                return fallback;
            out << item.toString();
        }
        return out;
    }
    return fallback;
}

std::optional<QString> Preferences::nonEmptyString(const QString& key) const
{
    const QString s = string(key);
    return s.isEmpty() ? std::nullopt : std::optional<QString>(s);
}

int Preferences::hotkey() const
{
    const qint64 code = integer(QStringLiteral("hotkey"), defaultHotkey);
    switch (code) {
    case 61:
    case 54:
    case 62:
    case 60:
    case 63:
    case 58:
        return static_cast<int>(code);
    default:
        return defaultHotkey;
    }
}

double Preferences::tailSeconds() const
{
    return number(QStringLiteral("tailSeconds"), defaultTailSeconds);
}

bool Preferences::autoUpdate() const
{
    return boolean(QStringLiteral("autoUpdate"), true);
}

bool Preferences::cleanup() const
{
    return boolean(QStringLiteral("cleanup"), true);
}

QStringList Preferences::languages() const
{
    return stringList(QStringLiteral("languages"), kDefaultLanguages);
}

std::optional<QString> Preferences::translateTo() const
{
    return nonEmptyString(QStringLiteral("translateTo"));
}

int Preferences::settingsTab() const
{
    return static_cast<int>(integer(QStringLiteral("settingsTab"), 0));
}

bool Preferences::showSettings() const
{
    return boolean(QStringLiteral("showSettings"), false);
}

bool Preferences::selftest() const
{
    return boolean(QStringLiteral("selftest"), false);
}

bool Preferences::selftestNoHUD() const
{
    return boolean(QStringLiteral("selftestNoHUD"), false);
}

bool Preferences::updateNow() const
{
    return boolean(QStringLiteral("updateNow"), false);
}

std::optional<QString> Preferences::verifyUpdate() const
{
    return nonEmptyString(QStringLiteral("verifyUpdate"));
}

QString Preferences::sonioxEndpoint() const
{
    return nonEmptyString(QStringLiteral("sonioxEndpoint")).value_or(defaultSonioxEndpoint);
}

QString Preferences::sonioxModel() const
{
    return nonEmptyString(QStringLiteral("sonioxModel")).value_or(defaultSonioxModel);
}

std::optional<QString> Preferences::syncFolder() const
{
    return nonEmptyString(QStringLiteral("syncFolder"));
}

QStringList Preferences::terminalApps() const
{
    return stringList(QStringLiteral("terminalApps"), {});
}

void Preferences::setSyncFolder(const QString& folder)
{
    if (folder.isEmpty())
        remove(QStringLiteral("syncFolder"));
    else
        setValue(QStringLiteral("syncFolder"), folder);
}

} // namespace quillet
