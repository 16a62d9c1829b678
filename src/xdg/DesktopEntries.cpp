#include "xdg/DesktopEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillet {

namespace {

QStringList dataDirsFromEnvironment()
{
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    if (system.isEmpty())
        system = QStringLiteral("/usr/local/share:/usr/share");
    return QStringList{home} + system.split(u':', Qt::SkipEmptyParts);
}

QString localeFromEnvironment()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

// The keys to try for a localized Name, most specific first, as desktop entries define the
// matching: lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang; the encoding is ignored.
QStringList localeKeys(const QString& locale)
{
    QString rest = locale;
    QString modifier;
    if (const qsizetype at = rest.indexOf(u'@'); at >= 0) {
        modifier = rest.mid(at + 1);
        rest.truncate(at);
    }
    if (const qsizetype dot = rest.indexOf(u'.'); dot >= 0)
        rest.truncate(dot);
    QString lang = rest;
    QString country;
    if (const qsizetype underscore = rest.indexOf(u'_'); underscore >= 0) {
        lang = rest.left(underscore);
        country = rest.mid(underscore + 1);
    }

    QStringList variants;
    if (!lang.isEmpty() && lang != u"C" && lang != u"POSIX") {
        if (!country.isEmpty() && !modifier.isEmpty())
            variants << lang + u'_' + country + u'@' + modifier;
        if (!country.isEmpty())
            variants << lang + u'_' + country;
        if (!modifier.isEmpty())
            variants << lang + u'@' + modifier;
        variants << lang;
    }
    QStringList keys;
    for (const QString& v : variants)
        keys << QStringLiteral("Name[%1]").arg(v);
    keys << QStringLiteral("Name");
    return keys;
}

QString unescape(QStringView value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case u's':
            out += u' ';
            break;
        case u'n':
            out += u'\n';
            break;
        case u't':
            out += u'\t';
            break;
        case u'r':
            out += u'\r';
            break;
        default:
            out += next;
        }
    }
    return out;
}

} // namespace

DesktopEntries::DesktopEntries()
    : DesktopEntries(dataDirsFromEnvironment(), localeFromEnvironment())
{}

DesktopEntries::DesktopEntries(QStringList dataDirs, QString locale)
    : m_localeKeys(localeKeys(locale))
{
    for (const QString& dir : dataDirs)
        m_applicationDirs << dir + QStringLiteral("/applications");
}

std::optional<QString> DesktopEntries::displayName(const QStringList& classes)
{
    refreshIfChanged();
    for (const QString& c : classes) {
        if (const auto found = m_byWMClass.constFind(c.toLower()); found != m_byWMClass.cend())
            return *found;
    }
    for (const QString& c : classes) {
        if (const auto found = m_byFileId.constFind(c.toLower()); found != m_byFileId.cend())
            return *found;
    }
    return std::nullopt;
}

void DesktopEntries::refreshIfChanged()
{
    // Installing or removing an application touches its folder; a stamp per folder is cheap to
    // read on every lookup.
    QList<QDateTime> stamps;
    for (const QString& dir : m_applicationDirs)
        stamps << QFileInfo(dir).lastModified();
    if (m_indexed && stamps == m_stamps)
        return;
    m_stamps = stamps;
    m_indexed = true;

    // Desktop file id -> entry; a folder earlier in the list hides the same id further on.
    QHash<QString, Entry> entries;
    for (const QString& dir : m_applicationDirs)
        scan(dir, QString(), entries);

    m_byFileId.clear();
    m_byWMClass.clear();
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (it->name.isEmpty())
            continue;
        m_byFileId.insert(it.key().toLower(), it->name);
        if (!it->startupWMClass.isEmpty())
            m_byWMClass.insert(it->startupWMClass.toLower(), it->name);
    }
}

void DesktopEntries::scan(const QString& dir, const QString& prefix,
                          QHash<QString, Entry>& found) const
{
    const QFileInfoList infos =
        QDir(dir).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& info : infos) {
        if (info.isDir()) {
            // Entries in subfolders have ids joined with "-" (kde4/foo.desktop is kde4-foo).
            scan(info.filePath(), prefix + info.fileName() + u'-', found);
            continue;
        }
        if (info.suffix() != u"desktop")
            continue;
        const QString id = prefix + info.completeBaseName();
        if (found.contains(id))
            continue;
        if (auto entry = parse(info.filePath()))
            found.insert(id, std::move(*entry));
    }
}

std::optional<DesktopEntries::Entry> DesktopEntries::parse(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    QHash<QString, QString> values;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (inMainGroup)
                break; // the main group is over; later groups are actions
            inMainGroup = line == u"[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        values.insert(line.left(eq).trimmed(), unescape(QStringView(line).mid(eq + 1).trimmed()));
    }
    // A hidden entry stands for a deleted one: it still hides the same id further down the path.
    if (values.value(QStringLiteral("Hidden")) == u"true")
        return Entry{};
    for (const QString& key : m_localeKeys) {
        const QString name = values.value(key);
        if (!name.isEmpty())
            return Entry{name, values.value(QStringLiteral("StartupWMClass"))};
    }
    return std::nullopt;
}

} // namespace quillet
