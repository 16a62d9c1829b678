#pragma once

#include <QCoroTask>
#include <QString>

namespace quillet {

// The desktop keyring, as the key store sees it: generic secrets addressed by service and
// account. Every call is asynchronous and bounded; an implementation never blocks the caller.
// The string arguments may not outlive the call's first suspension: implementations copy them.
class SecretBackend {
public:
    enum class Outcome {
        ok,
        notFound,
        // No keyring service answered (none running, none on the bus, or it timed out).
        unavailable,
        // The service answered but refused or failed the request.
        failed,
    };

    struct Reply {
        Outcome outcome = Outcome::failed;
        // The secret, for a successful read.
        QString value;
        // What went wrong, for the settings status; never contains a secret.
        QString error;
    };

    virtual ~SecretBackend() = default;

    virtual QCoro::Task<Reply> read(const QString& service, const QString& account) = 0;
    virtual QCoro::Task<Reply> write(const QString& service, const QString& account,
                                     const QString& value) = 0;
    // Deleting an absent item answers notFound.
    virtual QCoro::Task<Reply> remove(const QString& service, const QString& account) = 0;
};

} // namespace quillet
