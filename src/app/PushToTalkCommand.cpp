#include "app/Commands.h"
#include "dbus/CommandKeyMonitor.h"

#include <QCoroSignal>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

#include <chrono>
#include <memory>

namespace quillet {

namespace {

const char* const kPushToTalkUsage =
    "Usage: quillet ptt begin   the push-to-talk key goes down (bind to a key's press)\n"
    "       quillet ptt end     the push-to-talk key comes up (bind to its release)\n";

constexpr int callTimeoutMs = 2000;

} // namespace

QCoro::Task<int> runPushToTalkCommand(CommandEnv env)
{
    const QStringList& args = env.args;
    if (args.size() == 1 && (args[0] == u"--help" || args[0] == u"help")) {
        env.out << kPushToTalkUsage;
        co_return 0;
    }
    if (args.size() != 1 || (args[0] != u"begin" && args[0] != u"end")) {
        env.err << "quillet ptt: say begin or end\n" << kPushToTalkUsage;
        co_return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        env.err << "quillet ptt: no session bus to reach Quillet through\n";
        co_return 1;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(
        CommandKeyMonitor::service, CommandKeyMonitor::path, CommandKeyMonitor::interface,
        args[0] == u"begin" ? QStringLiteral("Begin") : QStringLiteral("End"));
    auto watcher = std::make_unique<QDBusPendingCallWatcher>(bus.asyncCall(call, callTimeoutMs));
    if (!watcher->isFinished())
        co_await qCoro(watcher.get(), &QDBusPendingCallWatcher::finished,
                       std::chrono::milliseconds(callTimeoutMs + 1000));
    if (!watcher->isFinished() || watcher->isError()) {
        env.err << "quillet ptt: Quillet is not running or does not listen for commands ("
                << (watcher->isFinished() ? watcher->error().message()
                                          : QStringLiteral("no answer"))
                << ")\n";
        co_return 1;
    }
    co_return 0;
}

} // namespace quillet
