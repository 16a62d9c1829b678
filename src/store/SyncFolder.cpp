#include "store/SyncFolder.h"

#include "store/Preferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillet {

SyncFolder::SyncFolder(Preferences& prefs, Clock& clock, DataFile::Validator decodes,
                       DataWarning warn, QObject* parent)
    : QObject(parent)
    , m_prefs(prefs)
    , m_clock(clock)
    , m_decodes(std::move(decodes))
    , m_warn(std::move(warn))
{
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &SyncFolder::onChanged);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &SyncFolder::onChanged);
    connect(&m_prefs, &Preferences::changed, this, [this](const QString& key) {
        if (key == u"syncFolder")
            onChanged();
    });
    watch();
}

QString SyncFolder::filePath() const
{
    auto folder = m_prefs.syncFolder();
    if (!folder)
        return {};
    // A hand-edited setting often says "~/Sync".
    if (*folder == u"~" || folder->startsWith(u"~/"))
        folder = QDir::homePath() + folder->mid(1);
    return QDir(*folder).filePath(fileName);
}

std::optional<QByteArray> SyncFolder::read() const
{
    const QString path = filePath();
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

void SyncFolder::write(const QByteArray& bytes)
{
    const QString path = filePath();
    if (path.isEmpty())
        return;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        if (m_warn && folder != m_reportedMissing)
            m_warn(QStringLiteral("the sync folder %1 does not exist; the vocabulary was not "
                                  "copied there")
                       .arg(QDir::toNativeSeparators(folder)));
        m_reportedMissing = folder;
        return;
    }
    m_reportedMissing.clear();
    DataFile file(path, m_clock, m_decodes, m_warn);
    // Whatever is there now is kept aside first unless it is a valid copy.
    file.noteUndecodable();
    if (auto written = file.write(bytes); !written && m_warn)
        m_warn(written.error());
    watch();
}

void SyncFolder::watch()
{
    const QString path = filePath();
    const QString folder = path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
    // An atomic replacement (write to a temporary file, rename over) drops the watch on the old
    // file, so the file is added again whenever it exists; the folder watch sees it appear.
    QStringList wanted;
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        wanted << folder;
    if (!path.isEmpty() && QFileInfo::exists(path))
        wanted << path;
    QStringList stale;
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    for (const QString& p : watched)
        if (!wanted.contains(p))
            stale << p;
    if (!stale.isEmpty())
        m_watcher.removePaths(stale);
    QStringList missing;
    for (const QString& p : wanted)
        if (!watched.contains(p))
            missing << p;
    if (!missing.isEmpty())
        m_watcher.addPaths(missing);
}

void SyncFolder::onChanged()
{
    watch();
    // Sync tools write in bursts (temporary file, rename, attributes); one report per burst.
    m_settle = m_clock.singleShot(0.15, this, [this] { emit changedExternally(); });
}

} // namespace quillet
