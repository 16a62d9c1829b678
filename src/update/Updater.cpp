#include "update/Updater.h"

#include "store/KeyStore.h"
#include "store/Preferences.h"
#include "update/BuildInfo.h"
#include "update/Bundle.h"
#include "update/BundleReplacer.h"
#include "update/Installer.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QCoroNetworkReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProcess>
#include <QTemporaryFile>
#include <QtConcurrent>

#include <memory>

namespace quillet {

namespace {

// The new copy starts once this process has had time to go.
const QString relaunchScript = QStringLiteral("sleep 0.7; exec \"$0\"");

Result<void> startDetached(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!process.startDetached())
        return Result<void>::failure(process.errorString());
    return {};
}

} // namespace

Updater::Config Updater::Config::fromBuild()
{
    Config config;
    config.updateSite = BuildInfo::updateSite();
    config.publicKey = BuildInfo::updatePublicKey();
    config.identifier = BuildInfo::identifier;
    config.runningBuild = Bundle::parseBuildNumber(BuildInfo::buildNumber());
    // The executable is <bundle>/usr/bin/quillet.
    config.bundlePath =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../.."));
    return config;
}

Updater::Updater(Config config, Preferences& prefs, QNetworkAccessManager& network, Clock& clock,
                 QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_prefs(prefs)
    , m_network(network)
    , m_clock(clock)
{
    launch = startDetached;
    quit = [] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); };
}

Updater::~Updater()
{
    // A request still under way would otherwise keep its tasks waiting for ever (the network
    // manager deletes its replies without finishing them): ended here, they see this object gone
    // and finish.
    m_life.reset();
    const auto requests = std::exchange(m_requests, {});
    for (const QPointer<QNetworkReply>& reply : requests) {
        if (reply)
            reply->abort();
    }
}

void Updater::track(QNetworkReply* reply)
{
    m_requests.removeIf([](const QPointer<QNetworkReply>& r) { return r.isNull(); });
    m_requests.append(reply);
}

bool Updater::canUpdate() const
{
    const auto builtIn = KeyStore::builtInKey("SONIOX_API_KEY", "SonioxAPIKey");
    return (!builtIn || builtIn->isEmpty()) && !m_config.updateSite.isEmpty() &&
           m_config.bundlePath.endsWith(u".AppDir");
}

QString Updater::manifestURL() const
{
    QString site = m_config.updateSite;
    while (site.endsWith(u'/'))
        site.chop(1);
    return site + QStringLiteral("/quillet/latest.json");
}

void Updater::start()
{
    if (!canUpdate())
        return;
    m_firstCheck = m_clock.singleShot(firstCheckDelay, this, [this] { launchQuietCheck(); });
    m_timer = m_clock.repeating(checkInterval, this, [this] { launchQuietCheck(); });
}

void Updater::launchQuietCheck()
{
    // Runs on by itself; the task frees itself when done.
    check(false);
}

QCoro::Task<void> Updater::check(bool interactive)
{
    if (!canUpdate()) {
        if (interactive)
            message(builtInKeysMessage);
        co_return;
    }
    if (m_busy)
        co_return;

    const std::weak_ptr<int> life = m_life;
    auto fetch = fetchManifest();
    const std::optional<Release> release = co_await fetch;
    if (life.expired())
        co_return;
    if (!release) {
        if (interactive)
            message(checkFailedMessage);
        co_return;
    }
    if (release->build <= m_config.runningBuild) {
        setAvailable(std::nullopt);
        if (interactive)
            message(upToDateMessage);
        co_return;
    }

    setAvailable(release);
    if (!interactive && !m_prefs.autoUpdate())
        co_return;
    while (!isIdle()) {
        auto wait = m_clock.sleep(idlePoll);
        co_await wait;
        if (life.expired())
            co_return;
    }
    auto installing = install(*release);
    co_await installing;
}

QCoro::Task<std::optional<Release>> Updater::fetchManifest()
{
    QNetworkRequest request{QUrl(manifestURL())};
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("Cache-Control", "no-cache");
    QPointer<QNetworkReply> reply = m_network.get(request);
    track(reply);
    const Timer timeout =
        m_clock.singleShot(manifestTimeout, reply.get(), [reply] { reply->abort(); });
    co_await reply.get();
    if (!reply)
        co_return std::nullopt;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError)
        co_return std::nullopt;
    co_return Release::fromJson(reply->readAll());
}

QCoro::Task<Result<QString>> Updater::download(QUrl url, QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        co_return Result<QString>::failure(file.errorString());

    QPointer<QNetworkReply> reply = m_network.get(QNetworkRequest(url));
    track(reply);
    Clock& clock = m_clock;
    bool stalled = false;
    bool writeFailed = false;
    Timer watch;
    const auto rewatch = [&] {
        watch = clock.singleShot(downloadStallTimeout, reply.get(), [&stalled, reply] {
            stalled = true;
            reply->abort();
        });
    };
    // Written as it arrives, so that an archive never has to fit in memory.
    const auto drain = [&] {
        if (file.write(reply->readAll()) < 0)
            writeFailed = true;
        rewatch();
    };
    connect(reply.get(), &QNetworkReply::readyRead, reply.get(), drain);
    rewatch();
    co_await reply.get();
    watch.cancel();
    if (!reply)
        co_return Result<QString>::failure(QStringLiteral("the download was cancelled"));
    reply->disconnect();
    reply->deleteLater();
    if (reply->error() == QNetworkReply::NoError)
        drain();
    watch.cancel();
    if (stalled)
        co_return Result<QString>::failure(QStringLiteral("the download stalled"));
    if (reply->error() != QNetworkReply::NoError)
        co_return Result<QString>::failure(reply->errorString());
    if (writeFailed || !file.flush())
        co_return Result<QString>::failure(file.errorString());
    co_return path;
}

QCoro::Task<Result<void>> Updater::install(Release release)
{
    if (m_busy)
        co_return Result<void>::failure(QStringLiteral("an update is already being installed"));
    const std::weak_ptr<int> life = m_life;
    setBusy(true);
    message(updatingMessage);
    auto steps = installSteps(std::move(release));
    Result<void> result = co_await steps;
    if (!life.expired() && !result) {
        setBusy(false);
        message(failedPrefix + result.error());
    }
    co_return result;
}

QCoro::Task<Result<void>> Updater::installSteps(Release release)
{
    const std::weak_ptr<int> life = m_life;
    QTemporaryFile archive(QDir::tempPath() + QStringLiteral("/quillet-download-XXXXXX.zip"));
    if (!archive.open())
        co_return Result<void>::failure(archive.errorString());
    archive.close();

    auto fetching = download(release.url, archive.fileName());
    const Result<QString> downloaded = co_await fetching;
    if (life.expired())
        co_return Result<void>::failure(QStringLiteral("cancelled"));
    if (!downloaded)
        co_return Result<void>::failure(downloaded.error());

    const Installer::Checks checks{m_config.publicKey, m_config.identifier, m_config.runningBuild};
    const QString work = Installer::workFolder(release.build);
    QFuture<Result<QString>> preparing =
        QtConcurrent::run([path = archive.fileName(), sha = release.sha256, work, checks] {
            return Installer::prepare(path, sha, work, checks);
        });
    const Result<QString> unpacked = co_await preparing;
    if (life.expired())
        co_return Result<void>::failure(QStringLiteral("cancelled"));
    if (!unpacked)
        co_return Result<void>::failure(unpacked.error());

    const QString installed = m_config.bundlePath;
    QFuture<Result<void>> replacing = QtConcurrent::run(
        [installed, from = *unpacked] { return BundleReplacer::replace(installed, from); });
    const Result<void> replaced = co_await replacing;
    if (life.expired())
        co_return Result<void>::failure(QStringLiteral("cancelled"));
    if (!replaced)
        co_return replaced;
    // The old bundle went where the new one was unpacked and is gone; the folder is empty.
    QDir(work).removeRecursively();

    const Result<void> launched =
        launch(QStringLiteral("/bin/sh"),
               {QStringLiteral("-c"), relaunchScript, installed + QStringLiteral("/AppRun")});
    if (!launched)
        co_return launched;
    quit();
    co_return Result<void>{};
}

QVariant Updater::availableVariant() const
{
    return m_available ? QVariant::fromValue(*m_available) : QVariant();
}

void Updater::setAvailable(std::optional<Release> release)
{
    if (release == m_available)
        return;
    m_available = std::move(release);
    emit availableChanged();
}

void Updater::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit busyChanged();
}

void Updater::message(const QString& text)
{
    if (onMessage)
        onMessage(text);
}

} // namespace quillet
