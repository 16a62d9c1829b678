#include "app/UpdateSwitches.h"

#include "app/Engine.h"
#include "store/Preferences.h"
#include "update/BuildInfo.h"
#include "update/Bundle.h"
#include "update/Installer.h"
#include "update/Updater.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

namespace quillet {

namespace {

// One interactive check; 0 when up to date or installed (the new copy then relaunches).
int updateNow(Engine& engine, QTextStream& out)
{
    Updater updater(Updater::Config::fromBuild(), engine.prefs(), engine.network(), engine.clock());
    bool failed = false;
    updater.onMessage = [&](const QString& text) {
        failed = failed || text.startsWith(Updater::failedPrefix) ||
                 text == Updater::checkFailedMessage || text == Updater::builtInKeysMessage;
        out << text << '\n';
        out.flush();
    };
    updater.quit = [] {};
    auto task = updater.check(true);
    task.then([] { QCoreApplication::exit(0); });
    if (!task.isReady())
        QCoreApplication::exec();
    return failed ? 1 : 0;
}

} // namespace

int verifyUpdate(const QString& path, const QString& publicKey, qint64 runningBuild,
                 QTextStream& out, QTextStream& err)
{
    const Installer::Checks checks{publicKey, BuildInfo::identifier, runningBuild};
    QString appDir = path;
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/quillet-verify-XXXXXX"));
    Result<void> result;
    if (!QFileInfo(path).isDir()) {
        const Result<QString> unpacked =
            Installer::prepare(path, std::nullopt, work.path(), checks);
        result = unpacked ? Result<void>() : Result<void>::failure(unpacked.error());
        if (unpacked)
            appDir = *unpacked;
    } else {
        result = Installer::checkBundle(path, checks);
    }
    if (!result) {
        err << "verifyUpdate: " << path << ": " << result.error() << '\n';
        return 1;
    }
    out << "verifyUpdate: " << path << ": build " << Bundle::build(appDir)
        << ", signed by Quillet's developer\n";
    return 0;
}

std::optional<int> runUpdateSwitches(Engine& engine, QTextStream& out, QTextStream& err)
{
    const Preferences& prefs = engine.prefs();
    if (const std::optional<QString> path = prefs.verifyUpdate())
        return verifyUpdate(*path, BuildInfo::updatePublicKey(),
                            Bundle::parseBuildNumber(BuildInfo::buildNumber()), out, err);
    if (prefs.updateNow())
        return updateNow(engine, out);
    return std::nullopt;
}

} // namespace quillet
