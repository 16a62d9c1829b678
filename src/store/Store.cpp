#include "store/Store.h"

#include "platform/ChangeNotifier.h"
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

} // namespace

Store::Store(const QString& dir, Preferences& prefs, Clock& clock, ChangeNotifier& notifier,
             QObject* parent)
    : QObject(parent)
    , m_dir(dir)
    , m_clock(clock)
    , m_notifier(notifier)
    , m_vocabFile(QDir(dir).filePath(vocabularyFileName), clock,
                  [](const QByteArray& b) { return Vocabulary::decode(b).has_value(); })
    , m_historyFile(QDir(dir).filePath(historyFileName), clock,
                    [](const QByteArray& b) { return Entry::decodeList(b).has_value(); })
    , m_modesFile(QDir(dir).filePath(modesFileName), clock,
                  [](const QByteArray& b) { return ModeSettings::decode(b).has_value(); })
    , m_cloud(prefs)
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
    connect(&m_notifier, &ChangeNotifier::received, this, &Store::reloadShared);
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
    const auto bytes = m_historyFile.read();
    if (!bytes)
        return std::nullopt;
    auto h = Entry::decodeList(*bytes);
    if (!h)
        m_historyFile.noteUndecodable();
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

bool Store::changeVocabulary(const std::function<bool(Vocabulary&)>& op)
{
    // Start from the file so that a change another process wrote is not lost.
    Vocabulary next = readVocabulary().value_or(m_vocab);
    if (!op(next)) {
        setVocab(std::move(next));
        return false;
    }
    next.updatedAt = m_clock.now();
    setVocab(std::move(next));
    const QByteArray bytes = m_vocab.encode();
    m_vocabFile.write(bytes);
    m_cloud.write(bytes);
    m_notifier.post();
    return true;
}

void Store::addTerm(const QString& term)
{
    changeVocabulary([&](Vocabulary& v) {
        v.addTerm(term);
        return true;
    });
}

void Store::addReplacement(const QString& from, const QString& to)
{
    changeVocabulary([&](Vocabulary& v) {
        v.addReplacement(from, to);
        v.addTerm(to);
        return true;
    });
}

void Store::removeTerms(const QSet<qsizetype>& positions)
{
    changeVocabulary([&](Vocabulary& v) {
        v.removeTerms(positions);
        return true;
    });
}

void Store::removeReplacements(const QSet<qsizetype>& positions)
{
    changeVocabulary([&](Vocabulary& v) {
        v.removeReplacements(positions);
        return true;
    });
}

QStringList Store::learn(const QList<Learner::Correction>& corrections)
{
    if (corrections.isEmpty())
        return {};
    QStringList learned;
    changeVocabulary([&](Vocabulary& v) {
        learned = v.learn(corrections);
        return true;
    });
    return learned;
}

void Store::changeModes(const std::function<void(ModeSettings&)>& op)
{
    ModeSettings next = readModes().value_or(m_modes);
    op(next);
    next.ensureNotEmpty();
    setModes(std::move(next));
    m_modesFile.write(m_modes.encode());
    m_notifier.post();
}

void Store::saveStyle(const Style& style)
{
    changeModes([&](ModeSettings& m) { m.saveStyle(style); });
}

void Store::deleteStyle(const QString& id)
{
    changeModes([&](ModeSettings& m) { m.deleteStyle(id); });
}

void Store::moveStyles(const std::set<int>& offsets, int destination)
{
    changeModes([&](ModeSettings& m) { m.moveStyles(offsets, destination); });
}

void Store::addApp(const QString& appId)
{
    changeModes([&](ModeSettings& m) { m.addApp(appId); });
}

void Store::setAppMode(const QString& appId, const QString& id)
{
    changeModes([&](ModeSettings& m) { m.setAppMode(appId, id); });
}

void Store::removeApp(const QString& appId)
{
    changeModes([&](ModeSettings& m) { m.removeApp(appId); });
}

void Store::setOtherApps(const QString& id)
{
    changeModes([&](ModeSettings& m) { m.setOtherApps(id); });
}

void Store::setPerApp(bool on)
{
    changeModes([&](ModeSettings& m) { m.setPerApp(on); });
}

void Store::restoreDefaultApps()
{
    changeModes([&](ModeSettings& m) { m.restoreDefaultApps(); });
}

void Store::writeHistory()
{
    m_historyFile.write(Entry::encodeList(m_history));
}

void Store::addEntry(const Entry& entry)
{
    QList<Entry> next = m_history;
    next.prepend(entry);
    if (next.size() > historyLimit)
        next.resize(historyLimit);
    setHistory(std::move(next));
    writeHistory();
}

void Store::updateEntry(const Entry& entry)
{
    for (qsizetype i = 0; i < m_history.size(); ++i) {
        if (m_history[i].id == entry.id) {
            QList<Entry> next = m_history;
            next[i] = entry;
            setHistory(std::move(next));
            writeHistory();
            return;
        }
    }
}

void Store::clearHistory()
{
    setHistory({});
    writeHistory();
}

void Store::syncVocabulary()
{
    const auto data = m_cloud.read();
    auto remote = data ? Vocabulary::decode(*data) : std::nullopt;
    if (!remote) {
        if (m_vocab.updatedAt)
            m_cloud.write(m_vocab.encode());
        return;
    }
    if (isLater(remote->updatedAt, m_vocab.updatedAt)) {
        if (!m_vocab.updatedAt)
            remote->merge(m_vocab);
        setVocab(std::move(*remote));
        m_vocabFile.write(m_vocab.encode());
    } else if (isLater(m_vocab.updatedAt, remote->updatedAt)) {
        m_cloud.write(m_vocab.encode());
    }
}

void Store::reloadShared()
{
    if (auto v = readVocabulary())
        setVocab(std::move(*v));
    if (auto m = readModes()) {
        refreshBuiltIns(m->styles);
        setModes(std::move(*m));
    }
}

} // namespace quillet
