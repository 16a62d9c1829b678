#include "desktop/PressMachine.h"

#include <QTest>

using quillet::PressDecision;
using quillet::PressMachine;

Q_DECLARE_METATYPE(PressMachine)

namespace {

// A script of key events, e.g. "d0 u0.2 d0.5 i u1 r": d/u = push-to-talk key down/up at an uptime,
// i = another key, r = reset. Returns the decisions as letters (s, f, c, n; "-" for reset), so
// the letters also pin the decisions' numeric codes 0..3.
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
    // `locked` is where the script leaves the machine: recording and locked, or neither.
    void gestures_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("decisions");
        QTest::addColumn<bool>("locked");
        const auto row = [](const char* name, const char* script, const char* decisions,
                            bool locked = false) {
            QTest::newRow(name) << QString(script) << QString(decisions) << locked;
        };
        row("hold", "d10 u11", "sf");
        row("tap", "d10 u10.1", "sc");
        row("double tap locks", "d10 u10.1 d10.3 u10.4", "scsn", true);
        row("tap then hold", "d10 u10.1 d10.3 u11", "scsf");
        row("locked press finishes, release ignored", "d10 u10.1 d10.3 u10.4 d20 u20.1", "scsnfn");
        row("other key while held cancels, release ignored", "d10 i u12", "scn");
        row("other key while locked", "d10 u10.1 d10.3 u10.4 i", "scsnn", true);
        row("repeated down while held", "d10 d10.2 u11", "snf");
        row("first press near uptime zero is not a second tap", "d0.1 u0.2", "sc");
        row("release exactly at the hold threshold finishes", "d10 u10.35", "sf");
        row("release just under the hold threshold cancels", "d10 u10.3499", "sc");
        row("second press exactly at the double-tap window is new", "d10 u10.1 d10.6 u10.7",
            "scsc");
        row("second press just inside the window locks", "d10 u10.1 d10.5999 u10.7", "scsn", true);
        row("third tap after a lock does not lock again",
            "d10 u10.1 d10.3 u10.4 d10.6 u10.7 d10.9 u11", "scsnfnsc");
        row("release after a reset mid-hold", "d10 r u11", "s-n");
        row("reset forgets the previous tap", "d10 u10.1 r d10.2 u10.3", "sc-sc");
        row("tap after a cancelled hold is not a second tap", "d10 i u10.1 d10.3 u10.4", "scnsc");
        row("release while idle", "u5", "n");
    }

    void gestures()
    {
        QFETCH(QString, script);
        QFETCH(QString, decisions);
        QFETCH(bool, locked);
        PressMachine m;
        QCOMPARE(m, state(false, false, 0, -10, false, false));
        QCOMPARE(play(m, script), decisions);
        QCOMPARE(m.recording, locked);
        QCOMPARE(m.locked, locked);
    }

    void transitions_data()
    {
        QTest::addColumn<PressMachine>("from");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("decision");
        QTest::addColumn<PressMachine>("to");
        const auto row = [](const char* name, const PressMachine& from, const char* input,
                            const char* decision, const PressMachine& to) {
            QTest::newRow(name) << from << QString(input) << QString(decision) << to;
        };
        const PressMachine idle = state(false, false, 3, 1, false, false);
        const PressMachine held = state(true, false, 5, 1, false, false);
        const PressMachine heldSecond = state(true, false, 5, 4.8, true, false);
        const PressMachine locked = state(true, true, 5, -10, true, false);
        const PressMachine ignoring = state(false, false, 5, -10, true, true);
        row("idle down", idle, "d4", "s", state(true, false, 4, 1, false, false));
        row("idle down soon after a tap", idle, "d1.2", "s",
            state(true, false, 1.2, 1, true, false));
        row("held down", held, "d5.1", "n", held);
        row("held up, long", held, "u6", "f", state(false, false, 5, 1, false, false));
        row("held up, short, second tap", heldSecond, "u5.1", "n", locked);
        row("held up, short, first tap", held, "u5.1", "c",
            state(false, false, 5, 5.1, false, false));
        row("held other key", held, "i", "c", state(false, false, 5, 1, false, false));
        row("locked down", locked, "d9", "f", ignoring);
        row("locked up", locked, "u9", "n", locked);
        row("locked other key", locked, "i", "n", locked);
        row("idle up with ignoreUp", ignoring, "u9", "n", state(false, false, 5, -10, true, false));
        row("idle up", idle, "u9", "n", idle);
        row("reset", locked, "r", "-", state(false, false, 0, -10, false, false));
    }

    void transitions()
    {
        QFETCH(PressMachine, from);
        QFETCH(QString, input);
        QFETCH(QString, decision);
        QFETCH(PressMachine, to);
        PressMachine m = from;
        QCOMPARE(play(m, input), decision);
        QVERIFY2(m == to, qPrintable(QStringLiteral("%1 %2 %3 %4 %5 %6")
                                         .arg(m.recording)
                                         .arg(m.locked)
                                         .arg(m.downAt)
                                         .arg(m.lastTapUp)
                                         .arg(m.secondTap)
                                         .arg(m.ignoreUp)));
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
        // Alternating downs and ups at offsets from `base`, formed the way a clock would print
        // them: decimal texts, not sums. "L" marks a machine left locked.
        const auto run = [&](std::initializer_list<double> offsets) {
            QStringList words;
            for (const double offset : offsets)
                words << (words.size() % 2 ? u'u' : u'd') + QString::number(base + offset, 'f', 4);
            PressMachine m;
            const QString decisions = play(m, words.join(u' '));
            return decisions + (m.locked ? "L" : "");
        };
        QCOMPARE(run({0, 0.35}), QStringLiteral("sf"));
        QCOMPARE(run({0, 0.3499}), QStringLiteral("sc"));
        QCOMPARE(run({0, 0.1, 0.6, 0.7}), QStringLiteral("scsc"));
        QCOMPARE(run({0, 0.1, 0.5999, 0.7}), QStringLiteral("scsnL"));
    }
};

QTEST_APPLESS_MAIN(PressMachineTest)
#include "PressMachineTest.moc"
