#pragma once

#include "store/DataFile.h"
#include "util/Clock.h"

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

#include <optional>

namespace quillet {

class Preferences;

// The vocabulary's copy that follows the user across machines: the file quillet-vocabulary.json
// in the folder named by the preference "syncFolder" (a folder a file-sync tool keeps in step).
// Without that preference there is no copy. Changes made to the file from outside are reported.
class SyncFolder : public QObject {
    Q_OBJECT
public:
    static inline const QString fileName = QStringLiteral("quillet-vocabulary.json");

    // `decodes` tells a valid copy from a damaged one, which is kept aside before it is replaced.
    SyncFolder(Preferences& prefs, Clock& clock, DataFile::Validator decodes, DataWarning warn,
               QObject* parent = nullptr);

    // The stored bytes; nullopt when there is no folder, no file or it cannot be read.
    std::optional<QByteArray> read() const;
    // Replaces the stored bytes atomically; does nothing without a folder. A folder that is set
    // but missing (an unmounted drive, say) is never created: that is a warning, as is a failure.
    void write(const QByteArray& bytes);
    // The file's path, or empty without a folder.
    QString filePath() const;

signals:
    // The file changed (or the folder preference did); coalesced.
    void changedExternally();

private:
    void watch();
    void onChanged();

    Preferences& m_prefs;
    Clock& m_clock;
    DataFile::Validator m_decodes;
    DataWarning m_warn;
    QFileSystemWatcher m_watcher;
    Timer m_settle;
    // The missing folder last warned about, so a running program says it once.
    QString m_reportedMissing;
};

} // namespace quillet
