#include "app/Commands.h"
#include "app/Engine.h"
#include "app/Rewriter.h"

#include <QFile>

namespace quillet {

namespace {

const char* const kRewriteUsage = R"(Usage: quillet rewrite [--mode ID] [--app NAME] [TEXT]

Rewrites TEXT (or standard input) the way a dictation in that mode is rewritten and prints
the result: the vocabulary's replacements, then the text-processing service. When the
service cannot be used, prints the text with the replacements applied.

  --mode ID    a mode id or name (default: the default mode, "quillet")
  --app NAME   the application the text is meant for, named in the instructions
)";

struct RewriteArguments {
    QString modeId = QStringLiteral("quillet");
    bool modeGiven = false;
    std::optional<QString> appName;
    QStringList words;
    bool help = false;
    QString error;
};

RewriteArguments parse(const QStringList& args)
{
    RewriteArguments parsed;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || !a.startsWith(u"--")) {
            parsed.words << a;
            continue;
        }
        if (a == u"--") {
            optionsEnded = true;
        } else if (a == u"--help") {
            parsed.help = true;
        } else if (a == u"--mode" || a == u"--app") {
            if (i + 1 >= args.size()) {
                parsed.error = a + QStringLiteral(" needs a value");
                return parsed;
            }
            if (a == u"--mode") {
                parsed.modeId = args[++i];
                parsed.modeGiven = true;
            } else {
                parsed.appName = args[++i];
            }
        } else {
            parsed.error = QStringLiteral("unknown option ") + a;
            return parsed;
        }
    }
    return parsed;
}

QString readStandardInput()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(in.readAll());
    // The line feed that ends piped text is not part of it.
    if (text.endsWith(u'\n'))
        text.chop(text.endsWith(QStringLiteral("\r\n")) ? 2 : 1);
    return text;
}

} // namespace

QCoro::Task<int> runRewriteCommand(CommandEnv env)
{
    const RewriteArguments args = parse(env.args);
    if (args.help) {
        env.out << kRewriteUsage;
        co_return 0;
    }
    if (!args.error.isEmpty()) {
        env.err << "quillet rewrite: " << args.error << " (see quillet rewrite --help)\n";
        co_return 2;
    }
    const QString text =
        args.words.isEmpty() ? readStandardInput() : args.words.join(QStringLiteral(" "));
    if (text.trimmed().isEmpty()) {
        env.out << text << '\n';
        co_return 0;
    }

    QCoro::Task<void> loading = env.engine.keys().load();
    co_await loading;
    Rewriter rewriter(env.engine);
    const QString modeId = args.modeGiven ? rewriter.modeIdFor(args.modeId, env.err) : args.modeId;
    // The call stands apart from the co_await (g++ 12 may destroy its temporaries twice).
    QCoro::Task<QString> run = rewriter.rewrite(text, modeId, args.appName, env.err);
    const QString result = co_await run;
    env.out << result << '\n';
    co_return 0;
}

} // namespace quillet
