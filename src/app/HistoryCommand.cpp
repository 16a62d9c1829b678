#include "app/Commands.h"
#include "app/Engine.h"
#include "store/Store.h"

namespace quillet {

namespace {

const char* const kHistoryUsage =
    "Usage: quillet history [--json] [--limit N]   show the dictation history, newest first\n"
    "       quillet history clear                  delete the dictation history\n";

int usage(CommandEnv& env, const QString& problem)
{
    env.err << "quillet history: " << problem << "\n" << kHistoryUsage;
    return 2;
}

void print(CommandEnv& env, const Entry& e)
{
    env.out << e.date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << "  "
            << e.mode;
    if (e.app)
        env.out << "  " << *e.app;
    env.out << "\n";
    for (const QString& line : e.text.split(u'\n'))
        env.out << "    " << line << "\n";
}

} // namespace

QCoro::Task<int> runHistoryCommand(CommandEnv env)
{
    const QStringList& args = env.args;
    if (args.size() == 1 && (args[0] == u"--help" || args[0] == u"help")) {
        env.out << kHistoryUsage;
        co_return 0;
    }
    if (args.size() == 1 && args[0] == u"clear") {
        const auto cleared = env.engine.store().clearHistory();
        if (!cleared) {
            env.err << "quillet history: the history was not cleared: " << cleared.error() << "\n";
            co_return 1;
        }
        env.out << "Cleared " << *cleared << (*cleared == 1 ? " entry\n" : " entries\n");
        QCoro::Task<void> announced = env.engine.flushAnnouncements();
        co_await announced;
        co_return 0;
    }
    bool asJson = false;
    std::optional<qsizetype> limit;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--json") {
            asJson = true;
        } else if (args[i] == u"--limit") {
            if (i + 1 >= args.size())
                co_return usage(env, QStringLiteral("--limit needs a number"));
            bool ok = false;
            const qlonglong n = args[++i].toLongLong(&ok);
            if (!ok || n < 0)
                co_return usage(env, QStringLiteral("--limit needs a whole number of 0 or more, "
                                                    "not \"%1\"")
                                         .arg(args[i]));
            limit = n;
        } else if (args[i] == u"clear") {
            co_return usage(env, QStringLiteral("\"clear\" takes no options"));
        } else {
            co_return usage(env, QStringLiteral("unknown argument \"%1\"").arg(args[i]));
        }
    }

    QList<Entry> entries = env.engine.store().history();
    if (limit && entries.size() > *limit)
        entries.resize(*limit);
    if (asJson) {
        env.out << Entry::encodeList(entries) << "\n";
    } else if (entries.isEmpty()) {
        env.out << "No dictations yet\n";
    } else {
        for (const Entry& e : entries)
            print(env, e);
    }
    co_return 0;
}

} // namespace quillet
