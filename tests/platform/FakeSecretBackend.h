#pragma once

#include "platform/SecretBackend.h"

#include <QCoroTimer>
#include <QHash>
#include <QStringList>

namespace quillet {

// An in-memory keyring that records every call. `available = false` behaves like a desktop with
// no keyring service; `failWrites` like a service that refuses to store.
class FakeSecretBackend final : public SecretBackend {
public:
    QHash<QString, QString> items; // "service/account" -> secret
    QStringList calls;             // "read soniox", "write soniox", "remove soniox"
    bool available = true;
    bool failWrites = false;
    // Answer on a later turn of the event loop, as a real keyring does.
    bool deferred = false;

    static QString slot(const QString& service, const QString& account)
    {
        return service + u'/' + account;
    }

    QCoro::Task<void> later() const
    {
        if (!deferred)
            co_return;
        QTimer timer;
        timer.setSingleShot(true);
        timer.start(1);
        co_await timer;
    }

    QCoro::Task<Reply> read(const QString& service, const QString& account) override
    {
        calls << QStringLiteral("read ") + account;
        // The answer reflects the keyring when the request was made.
        const bool up = available;
        const auto found = items.constFind(slot(service, account));
        const std::optional<QString> value =
            found == items.cend() ? std::nullopt : std::optional<QString>(*found);
        co_await later();
        if (!up)
            co_return Reply{Outcome::unavailable, {}, QStringLiteral("no service")};
        if (!value)
            co_return Reply{Outcome::notFound, {}, {}};
        co_return Reply{Outcome::ok, *value, {}};
    }

    QCoro::Task<Reply> write(const QString& service, const QString& account,
                             const QString& value) override
    {
        calls << QStringLiteral("write ") + account;
        // Copied before suspending: the caller's arguments may be gone when this resumes.
        const QString key = slot(service, account);
        const QString secret = value;
        co_await later();
        if (!available)
            co_return Reply{Outcome::unavailable, {}, QStringLiteral("no service")};
        if (failWrites)
            co_return Reply{Outcome::failed, {}, QStringLiteral("refused")};
        items.insert(key, secret);
        co_return Reply{Outcome::ok, {}, {}};
    }

    QCoro::Task<Reply> remove(const QString& service, const QString& account) override
    {
        calls << QStringLiteral("remove ") + account;
        const QString key = slot(service, account);
        co_await later();
        if (!available)
            co_return Reply{Outcome::unavailable, {}, QStringLiteral("no service")};
        if (!items.remove(key))
            co_return Reply{Outcome::notFound, {}, {}};
        co_return Reply{Outcome::ok, {}, {}};
    }
};

} // namespace quillet
