#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillet {

// The installed applications' desktop entries, for turning a window's class into the name the
// user knows the application by. The index is built on first use and rebuilt when one of the
// application folders changes.
class DesktopEntries {
public:
    // Reads $XDG_DATA_HOME and $XDG_DATA_DIRS (with their defaults) and the locale of
    // LC_ALL / LC_MESSAGES / LANG.
    DesktopEntries();
    // Data folders in order of precedence, each holding an "applications" folder; the locale as
    // lang_COUNTRY@MODIFIER (any part may be missing).
    DesktopEntries(QStringList dataDirs, QString locale);

    // The localized Name of the entry whose StartupWMClass is one of `classes` or, failing that,
    // whose file name is; compared ignoring case, earlier classes first.
    std::optional<QString> displayName(const QStringList& classes);

private:
    struct Entry {
        QString name;
        QString startupWMClass;
    };

    void refreshIfChanged();
    void scan(const QString& dir, const QString& prefix, QHash<QString, Entry>& found) const;
    std::optional<Entry> parse(const QString& path) const;

    QStringList m_applicationDirs;
    QStringList m_localeKeys; // "Name[de_DE@euro]", ..., "Name"
    QList<QDateTime> m_stamps;
    bool m_indexed = false;
    // Lower-cased desktop file id (without ".desktop") and StartupWMClass -> name.
    QHash<QString, QString> m_byFileId;
    QHash<QString, QString> m_byWMClass;
};

} // namespace quillet
