#include "store/KeyStore.h"

#include "platform/SecretBackend.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QFuture>
#include <QPointer>
#include <QPromise>
#include <QSet>

#include <algorithm>

#ifndef QUILLET_SONIOX_API_KEY
#define QUILLET_SONIOX_API_KEY ""
#endif
#ifndef QUILLET_CEREBRAS_API_KEY
#define QUILLET_CEREBRAS_API_KEY ""
#endif

namespace quillet {

struct KeyStore::Private {
    explicit Private(SecretBackend& b)
        : backend(b)
    {}
    SecretBackend& backend;
    QHash<QString, QString> cache;
    // Accounts written during the load, whose keyring value the load must not bring back.
    QSet<QString> writtenWhileLoading;
    // Per account: how many writes were asked for, and the end of the newest one. A write waits
    // for the one before it, so that the keyring sees them in order.
    struct Writes {
        quint64 issued = 0;
        QFuture<void> last;
    };
    QHash<QString, Writes> writes;
    QString status;
    bool loading = false;
    bool loaded = false;
    // False once a keyring call found no service: from then on keys live in memory only.
    bool keyringAvailable = true;
};

const QStringList& KeyStore::accounts()
{
    static const QStringList list{sonioxAccount, QStringLiteral("llm.cerebras"),
                                  QStringLiteral("llm.openai"), QStringLiteral("llm.custom")};
    return list;
}

KeyStore::KeyStore(SecretBackend& backend, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(backend))
{}

KeyStore::~KeyStore() = default;

void KeyStore::setStatus(const QString& status)
{
    if (d->status == status)
        return;
    d->status = status;
    emit statusChanged();
}

QCoro::Task<void> KeyStore::load()
{
    if (d->loaded)
        co_return;
    if (d->loading) {
        co_await qCoro(this, &KeyStore::loadFinished);
        co_return;
    }
    d->loading = true;
    QPointer<KeyStore> self(this);
    SecretBackend& backend = d->backend;
    bool changed = false;
    for (const QString& account : accounts()) {
        const SecretBackend::Reply reply = co_await backend.read(service, account);
        if (!self)
            co_return;
        if (reply.outcome == SecretBackend::Outcome::unavailable) {
            d->keyringAvailable = false;
            setStatus(noKeyringStatus);
            break; // the other accounts would only wait for the same silence
        }
        if (reply.outcome == SecretBackend::Outcome::failed) {
            setStatus(QStringLiteral("The keyring refused to read the keys: %1").arg(reply.error));
            continue;
        }
        if (reply.outcome == SecretBackend::Outcome::ok && !reply.value.isEmpty() &&
            !d->writtenWhileLoading.contains(account)) {
            d->cache.insert(account, reply.value);
            changed = true;
        }
    }
    d->loading = false;
    d->loaded = true;
    d->writtenWhileLoading.clear();
    if (changed)
        emit keysChanged();
    emit loadFinished();
}

bool KeyStore::isLoaded() const
{
    return d->loaded;
}

std::optional<QString> KeyStore::readKey(const QString& account) const
{
    const auto it = d->cache.constFind(account);
    if (it == d->cache.cend() || it->isEmpty())
        return std::nullopt;
    return *it;
}

QCoro::Task<void> KeyStore::writeKey(std::optional<QString> value, QString account)
{
    const QString trimmed = value ? value->trimmed() : QString();
    if (d->loading)
        d->writtenWhileLoading.insert(account);
    const bool had = d->cache.contains(account);
    if (trimmed.isEmpty())
        d->cache.remove(account);
    else
        d->cache.insert(account, trimmed);
    if (had || !trimmed.isEmpty())
        emit keysChanged();

    if (!d->keyringAvailable)
        co_return;
    QPointer<KeyStore> self(this);
    SecretBackend& backend = d->backend;
    // Each keyring write is a delete and an add; two writes of one account that overlap could
    // leave the older value behind. This write starts when the one before it has ended, and only
    // if no newer one is waiting: the newest value is the one the keyring must hold.
    Private::Writes& writes = d->writes[account];
    const quint64 mine = ++writes.issued;
    QFuture<void> previous = writes.last;
    QPromise<void> done; // finished (or cancelled) however this coroutine ends
    done.start();
    writes.last = done.future();
    if (previous.isValid() && !previous.isFinished()) {
        co_await previous;
        if (!self)
            co_return;
    }
    if (d->writes.value(account).issued != mine || !d->keyringAvailable)
        co_return;
    // Delete first, whatever happens next: a blank value means "no key".
    SecretBackend::Reply reply = co_await backend.remove(service, account);
    if (!self)
        co_return;
    if (reply.outcome != SecretBackend::Outcome::unavailable && !trimmed.isEmpty()) {
        reply = co_await backend.write(service, account, trimmed);
        if (!self)
            co_return;
    }
    switch (reply.outcome) {
    case SecretBackend::Outcome::unavailable:
        d->keyringAvailable = false;
        setStatus(noKeyringStatus);
        break;
    case SecretBackend::Outcome::failed:
        setStatus(QStringLiteral("The keyring did not store the key: %1").arg(reply.error));
        break;
    case SecretBackend::Outcome::ok:
    case SecretBackend::Outcome::notFound:
        setStatus({});
        break;
    }
}

std::optional<QString> KeyStore::builtInKey(const char* environmentName, const char* infoKey)
{
    if (qEnvironmentVariableIsSet(environmentName))
        return qEnvironmentVariable(environmentName);
    // The build's compiled-in values stand in for the application's information dictionary; an
    // empty one means the build has none.
    QString compiled;
    if (qstrcmp(infoKey, "SonioxAPIKey") == 0)
        compiled = QStringLiteral(QUILLET_SONIOX_API_KEY);
    else if (qstrcmp(infoKey, "CerebrasAPIKey") == 0)
        compiled = QStringLiteral(QUILLET_CEREBRAS_API_KEY);
    if (compiled.isEmpty())
        return std::nullopt;
    return compiled;
}

std::optional<QString> KeyStore::speechKey() const
{
    if (auto key = readKey(sonioxAccount); key && isUsableKey(*key))
        return key;
    auto key = builtInKey("SONIOX_API_KEY", "SonioxAPIKey");
    if (!key || !isUsableKey(*key))
        return std::nullopt;
    return key;
}

bool KeyStore::isUsableKey(QStringView key)
{
    return !key.isEmpty() && std::none_of(key.begin(), key.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
               c.category() == QChar::Separator_Paragraph;
    });
}

QString KeyStore::status() const
{
    return d->status;
}

} // namespace quillet
