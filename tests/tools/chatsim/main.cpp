// chatsim: an OpenAI-compatible chat-completions service on loopback for tests.
//
//   chatsim [--port N] [--log FILE] [--script FILE] [--content TEXT | --body TEXT]
//           [--status N] [--delay-ms N] [--fill-bytes N] [--watch-stdin]
//
// Prints "PORT <n>" as its first line once it listens. The flags describe the default answer to
// /chat/completions; a script file gives a sequence of answers (see ChatSimulator.h).

#include "ChatSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <unistd.h>

using namespace quillet::chatsim;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated chat-completions service"));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port (0: any)"),
                                  QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Request log (JSON lines)"),
                                 QStringLiteral("file"));
    const QCommandLineOption script(QStringLiteral("script"), QStringLiteral("Response script"),
                                    QStringLiteral("file"));
    const QCommandLineOption content(QStringLiteral("content"),
                                     QStringLiteral("Default reply text"), QStringLiteral("text"));
    const QCommandLineOption body(QStringLiteral("body"), QStringLiteral("Default raw reply body"),
                                  QStringLiteral("text"));
    const QCommandLineOption status(QStringLiteral("status"),
                                    QStringLiteral("Default reply status"), QStringLiteral("n"));
    const QCommandLineOption delay(QStringLiteral("delay-ms"),
                                   QStringLiteral("Default reply delay"), QStringLiteral("ms"));
    const QCommandLineOption fill(QStringLiteral("fill-bytes"),
                                  QStringLiteral("Default reply: this many filler bytes"),
                                  QStringLiteral("n"));
    const QCommandLineOption watchStdin(QStringLiteral("watch-stdin"),
                                        QStringLiteral("Exit when standard input closes"));
    parser.addOptions({port, log, script, content, body, status, delay, fill, watchStdin});
    parser.process(app);

    QTextStream err(stderr);
    Script chosen;
    if (parser.isSet(script)) {
        QFile file(parser.value(script));
        if (!file.open(QIODevice::ReadOnly)) {
            err << "chatsim: cannot read " << file.fileName() << "\n";
            return 2;
        }
        QString error;
        auto parsed = Script::fromJson(file.readAll(), &error);
        if (!parsed) {
            err << "chatsim: bad script: " << error << "\n";
            return 2;
        }
        chosen = *parsed;
    }
    if (parser.isSet(content))
        chosen.chatDefault.content = parser.value(content);
    if (parser.isSet(body)) {
        chosen.chatDefault.content.reset();
        chosen.chatDefault.body = parser.value(body).toUtf8();
    }
    if (parser.isSet(status))
        chosen.chatDefault.status = parser.value(status).toInt();
    if (parser.isSet(delay))
        chosen.chatDefault.delayMs = parser.value(delay).toInt();
    if (parser.isSet(fill))
        chosen.chatDefault.fillBytes = parser.value(fill).toLongLong();

    ChatSimulator simulator(chosen);
    if (parser.isSet(log) && !simulator.setLogFile(parser.value(log))) {
        err << "chatsim: cannot write " << parser.value(log) << "\n";
        return 2;
    }
    if (!simulator.listen(static_cast<quint16>(parser.value(port).toUInt()))) {
        err << "chatsim: cannot listen\n";
        return 2;
    }

    std::unique_ptr<QSocketNotifier> stdinWatch;
    if (parser.isSet(watchStdin)) {
        // The test that started us is gone when its end of the pipe closes.
        stdinWatch = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(stdinWatch.get(), &QSocketNotifier::activated, &app, [&] {
            char buffer[256];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                QCoreApplication::quit();
        });
    }

    QTextStream out(stdout);
    out << "PORT " << simulator.port() << Qt::endl;
    return app.exec();
}
