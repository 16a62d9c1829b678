#pragma once

#include "platform/SecretBackend.h"

#include <chrono>

namespace quillet {

// The desktop keyring (Secret Service or KWallet) through qtkeychain. Never falls back to a
// plaintext file. Each call gives up after `timeout`, so a keyring that does not answer (for
// example a service that is being activated but never appears) cannot hang the caller.
class KeychainSecretBackend final : public SecretBackend {
public:
    explicit KeychainSecretBackend(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    QCoro::Task<Reply> read(const QString& service, const QString& account) override;
    QCoro::Task<Reply> write(const QString& service, const QString& account,
                             const QString& value) override;
    QCoro::Task<Reply> remove(const QString& service, const QString& account) override;

private:
    std::chrono::milliseconds m_timeout;
};

} // namespace quillet
