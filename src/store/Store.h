#pragma once

#include "store/DataFile.h"
#include "store/Entry.h"
#include "store/ModeSettings.h"
#include "store/SyncFolder.h"
#include "vocab/Learner.h"
#include "vocab/Vocabulary.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <set>

namespace quillet {

class ChangeNotifier;
class Clock;
class Preferences;

// The one owner of the user's persistent data: the vocabulary, the dictation history and the
// modes, each kept in memory and in its own compact JSON file in the data folder. The vocabulary
// also follows the user through the sync folder; vocabulary and mode changes are announced
// desktop-wide so other processes sharing the files reload them. Main thread only.
class Store : public QObject {
    Q_OBJECT
    Q_PROPERTY(quillet::Vocabulary vocab READ vocab NOTIFY vocabChanged)
    Q_PROPERTY(QList<quillet::Entry> history READ history NOTIFY historyChanged)
    Q_PROPERTY(quillet::ModeSettings modes READ modes NOTIFY modesChanged)
public:
    static constexpr qsizetype historyLimit = 500;
    static inline const QString vocabularyFileName = QStringLiteral("vocabulary.json");
    static inline const QString historyFileName = QStringLiteral("history.json");
    static inline const QString modesFileName = QStringLiteral("modes.json");

    // Loads the three files from `dir` (created if missing; nothing is written until the first
    // change) and merges the sync folder's vocabulary. `prefs`, `clock` and `notifier` must
    // outlive the store.
    Store(const QString& dir, Preferences& prefs, Clock& clock, ChangeNotifier& notifier,
          QObject* parent = nullptr);
    ~Store() override;

    // $XDG_DATA_HOME/Quillet (~/.local/share/Quillet).
    static QString defaultDir();
    const QString& dir() const { return m_dir; }

    const Vocabulary& vocab() const { return m_vocab; }
    const QList<Entry>& history() const { return m_history; }
    const ModeSettings& modes() const { return m_modes; }

    // Vocabulary changes: re-read the file, apply, stamp, write, copy to the sync folder,
    // announce. `op` returns false to drop the change (nothing is stamped or written).
    bool changeVocabulary(const std::function<bool(Vocabulary&)>& op);
    void addTerm(const QString& term);
    // What the settings window's "Add" does: the replacement, then `to` as a term.
    void addReplacement(const QString& from, const QString& to);
    void removeTerms(const QSet<qsizetype>& positions);
    void removeReplacements(const QSet<qsizetype>& positions);
    // Learns each correction; returns every `to`. An empty list changes nothing at all.
    QStringList learn(const QList<Learner::Correction>& corrections);

    // Mode changes: re-read the file, apply, keep at least the built-in modes, write, announce.
    void changeModes(const std::function<void(ModeSettings&)>& op);
    void saveStyle(const Style& style);
    void deleteStyle(const QString& id);
    void moveStyles(const std::set<int>& offsets, int destination);
    void addApp(const QString& appId);
    void setAppMode(const QString& appId, const QString& id);
    void removeApp(const QString& appId);
    void setOtherApps(const QString& id);
    void setPerApp(bool on);
    void restoreDefaultApps();

    // History: newest first, at most historyLimit entries.
    void addEntry(const Entry& entry);
    // Replaces the entry with the same id; nothing when there is none.
    void updateEntry(const Entry& entry);
    void clearHistory();

    // Merges the sync folder's vocabulary with ours by their stamps: the later one wins (an
    // unstamped local vocabulary is first merged into a newer copy so nothing typed is lost).
    void syncVocabulary();

signals:
    void vocabChanged();
    void historyChanged();
    void modesChanged();

private:
    std::optional<Vocabulary> readVocabulary();
    std::optional<QList<Entry>> readHistory();
    std::optional<ModeSettings> readModes();
    void setVocab(Vocabulary value);
    void setHistory(QList<Entry> value);
    void setModes(ModeSettings value);
    void writeHistory();
    // Another process announced a change: adopt whatever its files now hold.
    void reloadShared();

    QString m_dir;
    Clock& m_clock;
    ChangeNotifier& m_notifier;
    DataFile m_vocabFile;
    DataFile m_historyFile;
    DataFile m_modesFile;
    SyncFolder m_cloud;
    Vocabulary m_vocab;
    QList<Entry> m_history;
    ModeSettings m_modes;
};

} // namespace quillet
