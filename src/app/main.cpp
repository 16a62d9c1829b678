#include "app/Commands.h"
#include "app/DesktopApp.h"
#include "app/Engine.h"
#include "app/UpdateSwitches.h"
#include "app/Version.h"
#include "store/Preferences.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace quillet;

namespace {

const char* const kUsage = R"(Usage: quillet [-name value ...] [COMMAND ...]

Push-to-talk dictation for the Linux desktop. Without a command, starts the desktop
application: hold Right Alt, speak, release, and the text is pasted where you were typing.

Commands:
  toggle                     start a dictation in the running application, or finish it
  cancel                     cancel the running application's dictation
  vocab                      list vocabulary terms and replacements
  vocab add TERM             add a term
  vocab replace FROM TO      add a replacement FROM -> TO (and TO as a term)
  vocab remove TERM-OR-FROM  remove a term or a replacement
  history [--json] [--limit N]
                             show the dictation history, newest first
  history clear              delete the dictation history
  transcribe FILE [--mode ID] [--app NAME]
                             stream a WAV file to the speech service and print the text
  rewrite [--mode ID] [--app NAME] [TEXT]
                             rewrite TEXT (or standard input) with a mode and print it
  ptt begin | ptt end        press or release the push-to-talk key of the running Quillet,
                             for desktop shortcuts where Quillet cannot watch the keyboard

Options:
  --version                  print the version and exit
  --help                     print this help and exit
  -name value                set the preference "name" for this run only,
                             e.g. -sonioxEndpoint ws://127.0.0.1:8765/transcribe-websocket
)";

using Runner = QCoro::Task<int> (*)(CommandEnv);

Runner runnerFor(const QString& command)
{
    if (command == u"vocab")
        return runVocabCommand;
    if (command == u"history")
        return runHistoryCommand;
    if (command == u"transcribe")
        return runTranscribeCommand;
    if (command == u"rewrite")
        return runRewriteCommand;
    if (command == u"ptt")
        return runPushToTalkCommand;
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const auto domain = Preferences::takeArgumentDomain(args);
    args.removeFirst();

    // The updater's automation switches ("-verifyUpdate PATH", "-updateNow true") run on their
    // own; anything else without a command is the desktop application.
    const Preferences launch(Preferences::defaultPath(), domain);
    if (args.isEmpty() && !launch.verifyUpdate() && !launch.updateNow())
        return DesktopApp::main(argc, argv, domain);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    Engine engine(domain);
    engine.setWarningSink([&err](const QString& message) {
        err << "quillet: " << message << "\n";
        err.flush();
    });

    if (const auto code = runUpdateSwitches(engine, out, err))
        return *code;

    if (args.first() == u"--help" || args.first() == u"help") {
        out << kUsage;
        return 0;
    }
    if (args.first() == u"--version") {
        out << "Quillet " << QUILLET_VERSION << " (build " << QUILLET_BUILD_NUMBER << ")\n";
        return 0;
    }

    const QString command = args.takeFirst();
    if (command == u"toggle" || command == u"cancel")
        return runToCompletion(runRemoteCommand(CommandEnv{args, engine, out, err}, command), out,
                               err);
    const Runner run = runnerFor(command);
    if (!run) {
        err << "quillet: unknown command \"" << command << "\" (see quillet --help)\n";
        return 2;
    }
    return runToCompletion(run(CommandEnv{args, engine, out, err}), out, err);
}
