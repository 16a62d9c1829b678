#include "dbus/CommandKeyMonitor.h"

#include "util/ManualClock.h"

#include <QTest>

using namespace quillet;

class CommandKeyMonitorTest : public QObject {
    Q_OBJECT
private slots:
    // Words: b = begin, e = end, +N = N seconds pass, k54 = the push-to-talk key becomes 54.
    // Events as "F61:40" (flags changed, key code, flags in hex).
    void commands_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("events");
        const auto row = [](const char* name, const char* script, const char* events) {
            QTest::newRow(name) << QString(script) << QString(events);
        };
        row("hold", "b +2 e", "F61:40 F61:0");
        // sway repeats a held binding's command; GNOME and KDE repeat their shortcuts.
        row("repeated begins are one press", "b b +0.5 b b e", "F61:40 F61:0");
        row("stray end", "e b e e", "F61:40 F61:0");
        row("double tap", "b e +0.1 b e", "F61:40 F61:0 F61:40 F61:0");
        // A shortcut that fires on press only never sends the end: the press ends by itself.
        row("no end ever comes", "b +599 b +1 e", "F61:40 F61:0");
        row("an end in time stops the cut-off", "b +300 e +300 b +299", "F61:40 F61:0 F61:40");
        row("another key", "k54 b e k62 b e", "F54:10 F54:0 F62:2000 F62:0");
        // Changing the key while it is held lets it go under its old code.
        row("key changed while held", "b k60 b e", "F61:40 F61:0 F60:4 F60:0");
    }
    void commands()
    {
        QFETCH(QString, script);
        QFETCH(QString, events);
        ManualClock clock;
        CommandKeyMonitor monitor(clock, QDBusConnection(QString()));
        QStringList seen;
        connect(&monitor, &KeyMonitor::keyEvent, this, [&](const KeyEvent& e) {
            QCOMPARE(e.type, KeyEvent::Type::flagsChanged);
            seen << QStringLiteral("F%1:%2").arg(e.keyCode).arg(e.flags, 0, 16);
        });
        for (const QString& word : script.split(u' ')) {
            if (word == u"b")
                monitor.begin();
            else if (word == u"e")
                monitor.end();
            else if (word.startsWith(u'+'))
                clock.advance(word.mid(1).toDouble());
            else if (word.startsWith(u'k'))
                monitor.setPushToTalkKey(word.mid(1).toInt());
        }
        QCOMPARE(seen.join(u' '), events);
    }
};

QTEST_GUILESS_MAIN(CommandKeyMonitorTest)
#include "CommandKeyMonitorTest.moc"
