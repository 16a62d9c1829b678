#include "app/Commands.h"

#include <QCoroTimer>
#include <QTest>

#include <stdexcept>

using namespace quillet;

namespace {

// Finishes after the event loop has run once: with `code`, or by throwing.
QCoro::Task<int> command(int code, bool throws, bool suspends)
{
    if (suspends)
        co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (throws && code == 0)
        throw 42;
    if (throws)
        throw std::runtime_error("disk on fire");
    co_return code;
}

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT
private slots:
    void aCommandEndsTheRunWithItsCode_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("throws");
        QTest::addColumn<bool>("suspends");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("returns later") << 3 << false << true << 3 << "";
        QTest::newRow("returns at once") << 2 << false << false << 2 << "";
        QTest::newRow("throws later")
            << 5 << true << true << 1 << "quillet: internal error: disk on fire\n";
        QTest::newRow("throws at once")
            << 5 << true << false << 1 << "quillet: internal error: disk on fire\n";
        QTest::newRow("throws something else")
            << 0 << true << true << 1 << "quillet: internal error\n";
    }

    void aCommandEndsTheRunWithItsCode()
    {
        QFETCH(int, code);
        QFETCH(bool, throws);
        QFETCH(bool, suspends);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        QCOMPARE(runToCompletion(command(code, throws, suspends), out, err), exitCode);
        QCOMPARE(errText, message);
    }
};

QTEST_GUILESS_MAIN(CommandsTest)
#include "CommandsTest.moc"
