#pragma once

#include "update/Release.h"
#include "util/Clock.h"
#include "util/Result.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace quillet {

class Preferences;

// Keeps a self-contained bundle current: checks the manifest on the update site 20 s after start
// and then weekly (quietly), or when the user asks (interactively); installs a newer build when
// asked or when "autoUpdate" is on, waiting until no dictation is in progress. An installation
// downloads the archive, checks its digest, unpacks it, checks its signature and its build,
// replaces the running bundle and relaunches it. Main thread only.
class Updater : public QObject {
    Q_OBJECT
    // The newer release found by the last check (a Release), or an invalid QVariant.
    Q_PROPERTY(QVariant available READ availableVariant NOTIFY availableChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
public:
    using Release = quillet::Release;

    // What the running build is and where it came from.
    struct Config {
        QString updateSite; // empty: no self-update
        QString publicKey;  // minisign key text
        QString identifier; // what an update's signature must name
        qint64 runningBuild = 0;
        QString bundlePath; // the folder the program runs from (an AppDir when bundled)

        // This build's values, and the folder two levels above the executable (usr/bin).
        static Config fromBuild();
    };

    static inline const QString builtInKeysMessage =
        QStringLiteral("This build has built-in keys — rebuild it to update");
    static inline const QString checkFailedMessage = QStringLiteral("Couldn't check for updates");
    static inline const QString upToDateMessage = QStringLiteral("Quillet is up to date");
    static inline const QString updatingMessage = QStringLiteral("Updating Quillet…");
    static inline const QString failedPrefix = QStringLiteral("Update failed: ");

    static constexpr double firstCheckDelay = 20;
    static constexpr double checkInterval = 604800; // 7 days
    static constexpr double idlePoll = 5;
    static constexpr double manifestTimeout = 15;
    // A download that receives nothing for this long has failed.
    static constexpr double downloadStallTimeout = 60;

    Updater(Config config, Preferences& prefs, QNetworkAccessManager& network, Clock& clock,
            QObject* parent = nullptr);
    ~Updater() override;

    const std::optional<Release>& available() const { return m_available; }
    bool busy() const { return m_busy; }

    // Status texts for the user (shown as toasts).
    std::function<void(const QString&)> onMessage;
    // Whether an installation may start now; true unless set.
    std::function<bool()> isIdle = [] { return true; };
    // Starts `program` with `arguments` apart from this process; the relaunch goes through it.
    std::function<Result<void>(const QString& program, const QStringList& arguments)> launch;
    // Ends the application once the new copy is on its way.
    std::function<void()> quit;

    // True without a built-in speech key, with an update site, and when running from a folder
    // whose name ends in ".AppDir".
    bool canUpdate() const;

    // Schedules the first quiet check 20 s from now and one every 7 days; nothing when
    // !canUpdate(). Call once, after setting the hooks.
    void start();

    // Fetches the manifest and, for a newer build, sets `available` and (when interactive or
    // "autoUpdate" is on) waits for isIdle() and installs it. Interactive checks report every
    // outcome; quiet ones report only an installation.
    QCoro::Task<void> check(bool interactive);

    // Installs `release`: on success the application relaunches and quits; on failure `busy`
    // returns to false and "Update failed: " + the reason is reported (and returned).
    QCoro::Task<Result<void>> install(Release release);

    QString manifestURL() const;

signals:
    void availableChanged();
    void busyChanged();

private:
    QVariant availableVariant() const;
    void setAvailable(std::optional<Release> release);
    void setBusy(bool busy);
    void message(const QString& text);
    void launchQuietCheck();

    // Follows `reply`, so that the destructor can end it and its waiting tasks with it.
    void track(QNetworkReply* reply);

    QCoro::Task<std::optional<Release>> fetchManifest();
    QCoro::Task<Result<QString>> download(QUrl url, QString path);
    QCoro::Task<Result<void>> installSteps(Release release);

    Config m_config;
    Preferences& m_prefs;
    QNetworkAccessManager& m_network;
    Clock& m_clock;
    std::optional<Release> m_available;
    bool m_busy = false;
    Timer m_firstCheck;
    Timer m_timer;
    // Gone from the first line of the destructor on; the tasks check it after every wait (a
    // QPointer to this object would still be set while the destructor ends their requests).
    std::shared_ptr<int> m_life = std::make_shared<int>();
    QList<QPointer<QNetworkReply>> m_requests;
};

} // namespace quillet
