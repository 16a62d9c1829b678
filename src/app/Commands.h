#pragma once

#include <QCoroTask>
#include <QStringList>
#include <QTextStream>

namespace quillet {

class Clock;
class Preferences;

// What a command-line command is handed: its own words (after the command's name), the
// preferences with this run's argument domain applied, the clock, and the two output streams.
struct CommandEnv {
    QStringList args;
    Preferences& prefs;
    Clock& clock;
    QTextStream& out;
    QTextStream& err;
};

// Runs a command on the application's event loop until it finishes and returns its exit code; a
// command that throws is reported on `err` and exits with 1. Both streams are flushed.
int runToCompletion(QCoro::Task<int> command, QTextStream& out, QTextStream& err);

// Each returns the process exit code.
QCoro::Task<int> runVocabCommand(CommandEnv env);
QCoro::Task<int> runHistoryCommand(CommandEnv env);
QCoro::Task<int> runTranscribeCommand(CommandEnv env);
QCoro::Task<int> runRewriteCommand(CommandEnv env);
// Passes a desktop shortcut's press or release to the running instance.
QCoro::Task<int> runPushToTalkCommand(CommandEnv env);

} // namespace quillet
