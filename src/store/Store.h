#pragma once

#include "platform/ChangeNotifier.h"
#include "store/DataFile.h"
#include "store/Entry.h"
#include "store/ModeSettings.h"
#include "store/SyncFolder.h"
#include "util/Result.h"
#include "vocab/Learner.h"
#include "vocab/Vocabulary.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <set>

namespace quillet {

class Clock;
class Preferences;

// The one owner of the user's persistent data: the vocabulary, the dictation history and the
// modes, each kept in memory and in its own compact JSON file in the data folder. The vocabulary
// also follows the user through the sync folder. Every change holds the file's lock while it
// re-reads the file, applies itself and writes, so changes made by other processes at the same
// time survive, and is announced desktop-wide so that those processes reload. Main thread only.
//
// A change reports whether it reached its file; when it did not, the in-memory value still
// holds it until the next re-read.
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
    // outlive the store; `warn` hears of damaged files kept aside and a missing sync folder,
    // from the start-up on.
    Store(const QString& dir, Preferences& prefs, Clock& clock, ChangeNotifier& notifier,
          DataWarning warn = {}, QObject* parent = nullptr);
    ~Store() override;

    // $XDG_DATA_HOME/Quillet (~/.local/share/Quillet).
    static QString defaultDir();
    const QString& dir() const { return m_dir; }

    const Vocabulary& vocab() const { return m_vocab; }
    const QList<Entry>& history() const { return m_history; }
    const ModeSettings& modes() const { return m_modes; }

    // Vocabulary changes: re-read the file, apply, stamp, write, copy to the sync folder,
    // announce. `op` returns false to drop the change (nothing is stamped or written); the
    // result says whether the change was written (true) or dropped (false).
    Result<bool> changeVocabulary(const std::function<bool(Vocabulary&)>& op);
    Result<void> addTerm(const QString& term);
    // What the settings window's "Add" does: the replacement, then `to` as a term.
    Result<void> addReplacement(const QString& from, const QString& to);
    Result<void> removeTerms(const QSet<qsizetype>& positions);
    Result<void> removeReplacements(const QSet<qsizetype>& positions);
    // Learns each correction; returns every `to`. An empty list changes nothing at all.
    Result<QStringList> learn(const QList<Learner::Correction>& corrections);

    // Mode changes: re-read the file, apply, keep at least the built-in modes, write, announce.
    Result<void> changeModes(const std::function<void(ModeSettings&)>& op);
    Result<void> saveStyle(const Style& style);
    Result<void> deleteStyle(const QString& id);
    Result<void> moveStyles(const std::set<int>& offsets, int destination);
    Result<void> addApp(const QString& appId);
    Result<void> setAppMode(const QString& appId, const QString& id);
    Result<void> removeApp(const QString& appId);
    Result<void> setOtherApps(const QString& id);
    Result<void> setPerApp(bool on);
    Result<void> restoreDefaultApps();

    // History changes, the same way: newest first, at most historyLimit entries.
    Result<void> addEntry(const Entry& entry);
    // Replaces the entry with the same id; nothing when there is none.
    Result<void> updateEntry(const Entry& entry);
    // Returns how many entries were removed.
    Result<qsizetype> clearHistory();

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
    Result<void> changeHistory(const std::function<bool(QList<Entry>&)>& op);
    // Another process announced a change: adopt whatever its files now hold.
    void reload(ChangeNotifier::Topic topic);

    QString m_dir;
    Clock& m_clock;
    ChangeNotifier& m_notifier;
    DataWarning m_warn;
    DataFile m_vocabFile;
    DataFile m_historyFile;
    DataFile m_modesFile;
    SyncFolder m_cloud;
    Vocabulary m_vocab;
    QList<Entry> m_history;
    // The history file's bytes as last read or written here: a re-read that finds them unchanged
    // need not decode the list again.
    QByteArray m_historyBytes;
    // Each history entry's encoding, in step with m_history (or empty): an addition encodes one
    // entry rather than all of them.
    QList<QByteArray> m_historyJson;
    ModeSettings m_modes;
};

} // namespace quillet
