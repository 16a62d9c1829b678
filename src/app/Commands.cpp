#include "app/Commands.h"

#include <QCoreApplication>

#include <exception>

namespace quillet {

namespace {

QCoro::Task<void> await(QCoro::Task<int> task, QTextStream& err, int& code, bool& done)
{
    try {
        code = co_await task;
    } catch (const std::exception& e) {
        err << "quillet: internal error: " << e.what() << "\n";
        code = 1;
    } catch (...) {
        err << "quillet: internal error\n";
        code = 1;
    }
    done = true;
    // Does nothing when the command finished before the event loop started.
    QCoreApplication::exit(code);
}

} // namespace

int runToCompletion(QCoro::Task<int> command, QTextStream& out, QTextStream& err)
{
    int code = 1;
    bool done = false;
    QCoro::Task<void> waiting = await(std::move(command), err, code, done);
    if (!done)
        QCoreApplication::exec();
    out.flush();
    err.flush();
    return code;
}

} // namespace quillet
