#include "keyring/KeychainSecretBackend.h"

#include <QCoroSignal>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace quillet {

namespace {

SecretBackend::Outcome outcomeOf(QKeychain::Error error)
{
    switch (error) {
    case QKeychain::NoError:
        return SecretBackend::Outcome::ok;
    case QKeychain::EntryNotFound:
        return SecretBackend::Outcome::notFound;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return SecretBackend::Outcome::unavailable;
    case QKeychain::OtherError:
        // qtkeychain reports a Secret Service that is missing from the bus as OtherError; the
        // text is D-Bus's own and names the service.
        return SecretBackend::Outcome::unavailable;
    case QKeychain::CouldNotDeleteEntry:
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
        return SecretBackend::Outcome::failed;
    }
    return SecretBackend::Outcome::failed;
}

// Starts `job` on the next turn of the event loop (it may finish synchronously) and waits for it
// at most `timeout`. A job that times out is left to finish and delete itself.
QCoro::Task<SecretBackend::Reply> run(QKeychain::Job* job, std::chrono::milliseconds timeout)
{
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    QTimer::singleShot(0, job, [job] { job->start(); });
    const auto finished = co_await qCoro(job, &QKeychain::Job::finished, timeout);
    SecretBackend::Reply reply;
    if (!finished) {
        reply.outcome = SecretBackend::Outcome::unavailable;
        reply.error = QStringLiteral("the keyring did not answer");
        co_return reply;
    }
    QKeychain::Job* done = *finished;
    reply.outcome = outcomeOf(done->error());
    if (reply.outcome != SecretBackend::Outcome::ok)
        reply.error = done->errorString();
    if (reply.outcome == SecretBackend::Outcome::ok) {
        if (auto* readJob = qobject_cast<QKeychain::ReadPasswordJob*>(done))
            reply.value = readJob->textData();
    }
    co_return reply;
}

} // namespace

KeychainSecretBackend::KeychainSecretBackend(std::chrono::milliseconds timeout)
    : m_timeout(timeout)
{}

QCoro::Task<SecretBackend::Reply> KeychainSecretBackend::read(const QString& service,
                                                              const QString& account)
{
    auto* job = new QKeychain::ReadPasswordJob(service);
    job->setKey(account);
    co_return co_await run(job, m_timeout);
}

QCoro::Task<SecretBackend::Reply>
KeychainSecretBackend::write(const QString& service, const QString& account, const QString& value)
{
    auto* job = new QKeychain::WritePasswordJob(service);
    job->setKey(account);
    job->setTextData(value);
    co_return co_await run(job, m_timeout);
}

QCoro::Task<SecretBackend::Reply> KeychainSecretBackend::remove(const QString& service,
                                                                const QString& account)
{
    auto* job = new QKeychain::DeletePasswordJob(service);
    job->setKey(account);
    co_return co_await run(job, m_timeout);
}

} // namespace quillet
