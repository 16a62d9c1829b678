#include "store/Store.h"

#include "store/ModeRules.h"
#include "util/Clock.h"

#include <QDir>

namespace quillet {

namespace {

// An absent stamp counts as the distant past.
bool isLater(const std::optional<QDateTime>& a, const std::optional<QDateTime>& b)
{
    if (!a)
        return false;
    return !b || *a > *b;
}

enum class SyncAction { none, adoptRemote, publishLocal };

SyncAction syncAction(const std::optional<Vocabulary>& remote, const Vocabulary& local)
{
    if (!remote)
        return local.updatedAt ? SyncAction::publishLocal : SyncAction::none;
    if (isLater(remote->updatedAt, local.updatedAt))
        return SyncAction::adoptRemote;
    if (isLater(local.updatedAt, remote->updatedAt))
        return SyncAction::publishLocal;
    return SyncAction::none;
}

bool vocabularyDecodes(const QByteArray& bytes)
{
    return Vocabulary::decode(bytes).has_value();
}

template <typename T> Result<T> failed(const QString& error)
{
    return Result<T>::failure(error);
}

} // namespace

Store::Store(const QString& dir, Preferences& prefs, Clock& clock, ChangeNotifier& notifier,
             DataWarning warn, QObject* parent)
    : QObject(parent)
    , m_dir(dir)
    , m_clock(clock)
    , m_notifier(notifier)
    , m_warn(std::move(warn))
    , m_vocabFile(QDir(dir).filePath(vocabularyFileName), clock, vocabularyDecodes, m_warn)
    , m_historyFile(
          QDir(dir).filePath(historyFileName), clock,
          [](const QByteArray& b) { return Entry::decodeList(b).has_value(); }, m_warn)
    , m_modesFile(
          QDir(dir).filePath(modesFileName), clock,
          [](const QByteArray& b) { return ModeSettings::decode(b).has_value(); }, m_warn)
    , m_cloud(prefs, clock, vocabularyDecodes, m_warn)
    , m_modes(ModeSettings::defaults())
{
    QDir().mkpath(m_dir);
    if (auto v = readVocabulary())
        m_vocab = std::move(*v);
    if (auto h = readHistory())
        m_history = std::move(*h);
    if (auto m = readModes())
        m_modes = std::move(*m);
    refreshBuiltIns(m_modes.styles);

    connect(&m_cloud, &SyncFolder::changedExternally, this, &Store::syncVocabulary);
    connect(&m_notifier, &ChangeNotifier::received, this, &Store::reload);
    syncVocabulary();
}

Store::~Store() = default;

QString Store::defaultDir()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Quillet");
}

std::optional<Vocabulary> Store::readVocabulary()
{
    const auto bytes = m_vocabFile.read();
    if (!bytes)
        return std::nullopt;
    auto v = Vocabulary::decode(*bytes);
    if (!v)
        m_vocabFile.noteUndecodable();
    return v;
}

std::optional<QList<Entry>> Store::readHistory()
{
    auto bytes = m_historyFile.read();
    if (!bytes)
        return std::nullopt;
    auto h = Entry::decodeList(*bytes);
    if (!h) {
        m_historyFile.noteUndecodable();
        return std::nullopt;
    }
    if (*h != m_history)
        m_historyJson.clear();
    m_historyBytes = std::move(*bytes);
    return h;
}

std::optional<ModeSettings> Store::readModes()
{
    const auto bytes = m_modesFile.read();
    if (!bytes)
        return std::nullopt;
    auto m = ModeSettings::decode(*bytes);
    if (!m)
        m_modesFile.noteUndecodable();
    return m;
}

void Store::setVocab(Vocabulary value)
{
    if (value == m_vocab)
        return;
    m_vocab = std::move(value);
    emit vocabChanged();
}

void Store::setHistory(QList<Entry> value)
{
    if (value == m_history)
        return;
    m_history = std::move(value);
    emit historyChanged();
}

void Store::setModes(ModeSettings value)
{
    if (value == m_modes)
        return;
    m_modes = std::move(value);
    emit modesChanged();
}

Result<bool> Store::changeVocabulary(const std::function<bool(Vocabulary&)>& op)
{
    // Without the lock the change still applies in memory; it is reported as not written.
    const auto lock = m_vocabFile.lock();
    // Start from the file so that a change another process wrote is not lost.
    Vocabulary next = readVocabulary().value_or(m_vocab);
    if (!op(next)) {
        setVocab(std::move(next));
        return false;
    }
    next.updatedAt = m_clock.now();
    setVocab(std::move(next));
    if (!lock)
        return failed<bool>(lock.error());
    const QByteArray bytes = m_vocab.encode();
    if (auto written = m_vocabFile.write(bytes); !written)
        return failed<bool>(written.error());
    m_cloud.write(bytes);
    m_notifier.post(ChangeNotifier::Topic::vocab);
    return true;
}

namespace {

Result<void> done(const Result<bool>& changed)
{
    return changed ? Result<void>() : Result<void>::failure(changed.error());
}

} // namespace

Result<void> Store::addTerm(const QString& term)
{
    return done(changeVocabulary([&](Vocabulary& v) {
        v.addTerm(term);
        return true;
    }));
}

Result<void> Store::addReplacement(const QString& from, const QString& to)
{
    return done(changeVocabulary([&](Vocabulary& v) {
        v.addReplacement(from, to);
        v.addTerm(to);
        return true;
    }));
}

Result<void> Store::removeTerms(const QSet<qsizetype>& positions)
{
    return done(changeVocabulary([&](Vocabulary& v) {
        v.removeTerms(positions);
        return true;
    }));
}

Result<void> Store::removeReplacements(const QSet<qsizetype>& positions)
{
    return done(changeVocabulary([&](Vocabulary& v) {
        v.removeReplacements(positions);
        return true;
    }));
}

Result<QStringList> Store::learn(const QList<Learner::Correction>& corrections)
{
    if (corrections.isEmpty())
        return QStringList();
    QStringList learned;
    const auto changed = changeVocabulary([&](Vocabulary& v) {
        learned = v.learn(corrections);
        return true;
    });
    if (!changed)
        return failed<QStringList>(changed.error());
    return learned;
}

Result<void> Store::changeModes(const std::function<void(ModeSettings&)>& op)
{
    const auto lock = m_modesFile.lock();
    ModeSettings next = readModes().value_or(m_modes);
    op(next);
    next.ensureNotEmpty();
    setModes(std::move(next));
    if (!lock)
        return failed<void>(lock.error());
    if (auto written = m_modesFile.write(m_modes.encode()); !written)
        return written;
    m_notifier.post(ChangeNotifier::Topic::vocab);
    return {};
}

Result<void> Store::saveStyle(const Style& style)
{
    return changeModes([&](ModeSettings& m) { m.saveStyle(style); });
}

Result<void> Store::deleteStyle(const QString& id)
{
    return changeModes([&](ModeSettings& m) { m.deleteStyle(id); });
}

Result<void> Store::moveStyles(const std::set<int>& offsets, int destination)
{
    return changeModes([&](ModeSettings& m) { m.moveStyles(offsets, destination); });
}

Result<void> Store::addApp(const QString& appId)
{
    return changeModes([&](ModeSettings& m) { m.addApp(appId); });
}

Result<void> Store::setAppMode(const QString& appId, const QString& id)
{
    return changeModes([&](ModeSettings& m) { m.setAppMode(appId, id); });
}

Result<void> Store::removeApp(const QString& appId)
{
    return changeModes([&](ModeSettings& m) { m.removeApp(appId); });
}

Result<void> Store::setOtherApps(const QString& id)
{
    return changeModes([&](ModeSettings& m) { m.setOtherApps(id); });
}

Result<void> Store::setPerApp(bool on)
{
    return changeModes([&](ModeSettings& m) { m.setPerApp(on); });
}

Result<void> Store::restoreDefaultApps()
{
    return changeModes([&](ModeSettings& m) { m.restoreDefaultApps(); });
}

Result<void> Store::changeHistory(const std::function<bool(QList<Entry>&)>& op)
{
    const auto lock = m_historyFile.lock();
    // Start from the file, as vocabulary changes do: a running program must not write back
    // entries another process removed. Unchanged bytes need no decoding.
    const QList<Entry> before = m_history;
    if (const auto bytes = m_historyFile.read(); bytes && *bytes != m_historyBytes) {
        if (auto list = Entry::decodeList(*bytes)) {
            if (*list != m_history) {
                m_history = std::move(*list);
                m_historyJson.clear();
            }
            m_historyBytes = *bytes;
        } else {
            m_historyFile.noteUndecodable();
        }
    }
    const bool changed = op(m_history);
    if (m_history != before)
        emit historyChanged();
    if (!changed)
        return {};
    if (!lock) {
        m_historyBytes.clear();
        return failed<void>(lock.error());
    }
    if (m_historyJson.size() != m_history.size()) {
        m_historyJson.clear();
        m_historyJson.reserve(m_history.size());
        for (const Entry& e : std::as_const(m_history))
            m_historyJson.append(e.encode());
    }
    QByteArray bytes = Entry::joinEncoded(m_historyJson);
    if (auto written = m_historyFile.write(bytes); !written) {
        // What is in memory is no longer what the file holds.
        m_historyBytes.clear();
        return written;
    }
    m_historyBytes = std::move(bytes);
    m_notifier.post(ChangeNotifier::Topic::history);
    return {};
}

Result<void> Store::addEntry(const Entry& entry)
{
    return changeHistory([&](QList<Entry>& history) {
        if (m_historyJson.size() == history.size())
            m_historyJson.prepend(entry.encode());
        else
            m_historyJson.clear();
        history.prepend(entry);
        if (history.size() > historyLimit) {
            history.resize(historyLimit);
            m_historyJson.resize(std::min(m_historyJson.size(), historyLimit));
        }
        return true;
    });
}

Result<void> Store::updateEntry(const Entry& entry)
{
    return changeHistory([&](QList<Entry>& history) {
        for (qsizetype i = 0; i < history.size(); ++i) {
            if (history[i].id == entry.id) {
                if (m_historyJson.size() == history.size())
                    m_historyJson[i] = entry.encode();
                history[i] = entry;
                return true;
            }
        }
        return false;
    });
}

Result<qsizetype> Store::clearHistory()
{
    qsizetype count = 0;
    const auto cleared = changeHistory([&](QList<Entry>& history) {
        count = history.size();
        history.clear();
        m_historyJson.clear();
        return true;
    });
    if (!cleared)
        return failed<qsizetype>(cleared.error());
    return count;
}

void Store::syncVocabulary()
{
    const auto data = m_cloud.read();
    std::optional<Vocabulary> remote = data ? Vocabulary::decode(*data) : std::nullopt;
    if (syncAction(remote, m_vocab) == SyncAction::none)
        return;
    // Decide again on what the local file holds now, under its lock if it may be written.
    std::optional<Result<DataFile::Lock>> lock;
    if (syncAction(remote, m_vocab) == SyncAction::adoptRemote)
        lock.emplace(m_vocabFile.lock());
    if (auto v = readVocabulary())
        setVocab(std::move(*v));
    switch (syncAction(remote, m_vocab)) {
    case SyncAction::none:
        return;
    case SyncAction::publishLocal:
        m_cloud.write(m_vocab.encode());
        return;
    case SyncAction::adoptRemote:
        break;
    }
    if (!m_vocab.updatedAt)
        remote->merge(m_vocab);
    setVocab(std::move(*remote));
    if (!lock)
        lock.emplace(m_vocabFile.lock());
    const Result<void> written =
        *lock ? m_vocabFile.write(m_vocab.encode()) : failed<void>(lock->error());
    if (!written && m_warn)
        m_warn(written.error());
}

void Store::reload(ChangeNotifier::Topic topic)
{
    if (topic == ChangeNotifier::Topic::history) {
        if (auto h = readHistory())
            setHistory(std::move(*h));
        return;
    }
    if (auto v = readVocabulary())
        setVocab(std::move(*v));
    if (auto m = readModes()) {
        refreshBuiltIns(m->styles);
        setModes(std::move(*m));
    }
}

} // namespace quillet
