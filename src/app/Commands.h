#pragma once

#include <QCoroTask>
#include <QStringList>
#include <QTextStream>

namespace quillet {

class Engine;

// What a command-line command is handed: its own words (after the command's name), the engine
// (with this run's argument domain applied), and the two output streams.
struct CommandEnv {
    QStringList args;
    Engine& engine;
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
// "toggle" and "cancel": tell the running desktop application.
QCoro::Task<int> runRemoteCommand(CommandEnv env, QString command);
// Passes a desktop shortcut's press or release to the running instance.
QCoro::Task<int> runPushToTalkCommand(CommandEnv env);

} // namespace quillet
