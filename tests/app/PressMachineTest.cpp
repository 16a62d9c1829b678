#include "app/PressMachine.h"

#include <QTest>

using quillet::PressDecision;
using quillet::PressMachine;

Q_DECLARE_METATYPE(PressMachine)

namespace {

// A script of key events, e.g. "d0 u0.2 d0.5 i u1 r": d/u = push-to-talk key down/up at an uptime,
// i = another key, r = reset. Returns the decisions as letters (s, f, c, n; "-" for reset).
QString play(PressMachine& m, const QString& script)
{
    QString out;
    for (const QString& word : script.split(u' ', Qt::SkipEmptyParts)) {
        const QChar op = word.at(0);
        const double t = word.mid(1).toDouble();
        PressDecision d = PressDecision::none;
        if (op == u'd') {
            d = m.down(t);
        } else if (op == u'u') {
            d = m.up(t);
        } else if (op == u'i') {
            d = m.interrupt();
        } else {
            m.reset();
            out += u'-';
            continue;
        }
        out += QStringLiteral("sfcn").at(static_cast<int>(d));
    }
    return out;
}

PressMachine state(bool recording, bool locked, double downAt, double lastTapUp, bool secondTap,
                   bool ignoreUp)
{
    return PressMachine{recording, locked, downAt, lastTapUp, secondTap, ignoreUp};
}

} // namespace

class PressMachineTest : public QObject {
    Q_OBJECT
private slots:
    void decisionCodes()
    {
        QCOMPARE(static_cast<int>(PressDecision::start), 0);
        QCOMPARE(static_cast<int>(PressDecision::finish), 1);
        QCOMPARE(static_cast<int>(PressDecision::cancel), 2);
        QCOMPARE(static_cast<int>(PressDecision::none), 3);
        QCOMPARE(PressMachine{}, state(false, false, 0, -10, false, false));
    }

    void gestures_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("decisions");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<bool>("locked");

        QTest::newRow("hold") << "d10 u11"
                              << "sf" << false << false;
        QTest::newRow("tap") << "d10 u10.1"
                             << "sc" << false << false;
        QTest::newRow("double tap locks") << "d10 u10.1 d10.3 u10.4"
                                          << "scsn" << true << true;
        QTest::newRow("tap then hold") << "d10 u10.1 d10.3 u11"
                                       << "scsf" << false << false;
        QTest::newRow("locked press finishes, release ignored") << "d10 u10.1 d10.3 u10.4 d20 u20.1"
                                                                << "scsnfn" << false << false;
        QTest::newRow("other key while held cancels, release ignored") << "d10 i u12"
                                                                       << "scn" << false << false;
        QTest::newRow("other key while locked") << "d10 u10.1 d10.3 u10.4 i"
                                                << "scsnn" << true << true;
        QTest::newRow("repeated down while held") << "d10 d10.2 u11"
                                                  << "snf" << false << false;
        QTest::newRow("first press near uptime zero is not a second tap") << "d0.1 u0.2"
                                                                          << "sc" << false << false;
        QTest::newRow("release exactly at the hold threshold finishes") << "d10 u10.35"
                                                                        << "sf" << false << false;
        QTest::newRow("release just under the hold threshold cancels") << "d10 u10.3499"
                                                                       << "sc" << false << false;
        QTest::newRow("second press exactly at the double-tap window is a new tap")
            << "d10 u10.1 d10.6 u10.7"
            << "scsc" << false << false;
        QTest::newRow("second press just inside the window locks") << "d10 u10.1 d10.5999 u10.7"
                                                                   << "scsn" << true << true;
        QTest::newRow("third tap after a lock does not lock again")
            << "d10 u10.1 d10.3 u10.4 d10.6 u10.7 d10.9 u11"
            << "scsnfnsc" << false << false;
        QTest::newRow("release after a reset mid-hold") << "d10 r u11"
                                                        << "s-n" << false << false;
        QTest::newRow("reset forgets the previous tap") << "d10 u10.1 r d10.2 u10.3"
                                                        << "sc-sc" << false << false;
        QTest::newRow("tap after a cancelled hold is not a second tap")
            << "d10 i u10.1 d10.3 u10.4"
            << "scnsc" << false << false;
        QTest::newRow("release while idle") << "u5"
                                            << "n" << false << false;
    }

    void gestures()
    {
        QFETCH(QString, script);
        QFETCH(QString, decisions);
        QFETCH(bool, recording);
        QFETCH(bool, locked);
        PressMachine m;
        QCOMPARE(play(m, script), decisions);
        QCOMPARE(m.recording, recording);
        QCOMPARE(m.locked, locked);
    }

    void transitions_data()
    {
        QTest::addColumn<PressMachine>("from");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("decision");
        QTest::addColumn<PressMachine>("to");

        const PressMachine idle = state(false, false, 3, 1, false, false);
        const PressMachine held = state(true, false, 5, 1, false, false);
        const PressMachine heldSecond = state(true, false, 5, 4.8, true, false);
        const PressMachine locked = state(true, true, 5, -10, true, false);
        const PressMachine ignoring = state(false, false, 5, -10, true, true);

        QTest::newRow("idle down") << idle << "d4"
                                   << "s" << state(true, false, 4, 1, false, false);
        QTest::newRow("idle down soon after a tap")
            << idle << "d1.2"
            << "s" << state(true, false, 1.2, 1, true, false);
        QTest::newRow("held down") << held << "d5.1"
                                   << "n" << held;
        QTest::newRow("held up, long") << held << "u6"
                                       << "f" << state(false, false, 5, 1, false, false);
        QTest::newRow("held up, short, second tap")
            << heldSecond << "u5.1"
            << "n" << state(true, true, 5, -10, true, false);
        QTest::newRow("held up, short, first tap")
            << held << "u5.1"
            << "c" << state(false, false, 5, 5.1, false, false);
        QTest::newRow("held other key") << held << "i"
                                        << "c" << state(false, false, 5, 1, false, false);
        QTest::newRow("locked down") << locked << "d9"
                                     << "f" << ignoring;
        QTest::newRow("locked up") << locked << "u9"
                                   << "n" << locked;
        QTest::newRow("locked other key") << locked << "i"
                                          << "n" << locked;
        QTest::newRow("idle up with ignoreUp") << ignoring << "u9"
                                               << "n" << state(false, false, 5, -10, true, false);
        QTest::newRow("idle up") << idle << "u9"
                                 << "n" << idle;
        QTest::newRow("reset") << locked << "r"
                               << "-" << PressMachine{};
    }

    void transitions()
    {
        QFETCH(PressMachine, from);
        QFETCH(QString, input);
        QFETCH(QString, decision);
        QFETCH(PressMachine, to);
        PressMachine m = from;
        QCOMPARE(play(m, input), decision);
        QCOMPARE(m.recording, to.recording);
        QCOMPARE(m.locked, to.locked);
        QCOMPARE(m.downAt, to.downAt);
        QCOMPARE(m.lastTapUp, to.lastTapUp);
        QCOMPARE(m.secondTap, to.secondTap);
        QCOMPARE(m.ignoreUp, to.ignoreUp);
    }

    // Uptimes as the clock reports them: subtracting them is inexact (1000000.473 - 1000000.123
    // is 0.34999999997671694), and the thresholds must still behave as exact.
    void thresholdsAtRealisticUptimes_data()
    {
        QTest::addColumn<double>("base");
        for (const double base :
             {0.0, 1000.1, 1000.13, 4321.9, 86400.37, 123456.789, 1000000.123, 31536000.77})
            QTest::newRow(qPrintable(QString::number(base, 'f', 3))) << base;
    }

    void thresholdsAtRealisticUptimes()
    {
        QFETCH(double, base);
        // The times are formed the way a clock would print them: decimal texts, not sums.
        const auto at = [&](double offset) {
            return QString::number(base + offset, 'f', 4).toDouble();
        };

        PressMachine hold;
        hold.down(at(0));
        QCOMPARE(hold.up(at(0.35)), PressDecision::finish);

        PressMachine tap;
        tap.down(at(0));
        QCOMPARE(tap.up(at(0.3499)), PressDecision::cancel);

        PressMachine lateSecond;
        lateSecond.down(at(0));
        lateSecond.up(at(0.1));
        lateSecond.down(at(0.6));
        QVERIFY(!lateSecond.secondTap);
        QCOMPARE(lateSecond.up(at(0.7)), PressDecision::cancel);

        PressMachine quickSecond;
        quickSecond.down(at(0));
        quickSecond.up(at(0.1));
        quickSecond.down(at(0.5999));
        QVERIFY(quickSecond.secondTap);
        QCOMPARE(quickSecond.up(at(0.7)), PressDecision::none);
        QVERIFY(quickSecond.locked);
    }
};

QTEST_APPLESS_MAIN(PressMachineTest)
#include "PressMachineTest.moc"
