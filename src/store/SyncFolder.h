#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

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

    explicit SyncFolder(Preferences& prefs, QObject* parent = nullptr);

    // The stored bytes; nullopt when there is no folder, no file or it cannot be read.
    std::optional<QByteArray> read() const;
    // Replaces the stored bytes atomically; does nothing without a folder. Failures are ignored.
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
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
};

} // namespace quillet
