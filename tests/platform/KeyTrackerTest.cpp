#include "input/KeyTracker.h"

#include <QTest>

using namespace quillet;

namespace {

// Plays a script of raw X events, e.g. "p108 P108 r108": p = press, P = press flagged as
// auto-repeat, r = release, each with a keycode. Returns the events as "F61:80040" (flags changed,
// key code, flags in hex) or "D53:0" (key down), space-separated.
QString play(KeyTracker& tracker, const QString& script)
{
    QStringList out;
    for (const QString& word : script.split(u' ', Qt::SkipEmptyParts)) {
        const int keycode = word.mid(1).toInt();
        const std::optional<KeyEvent> e =
            word[0] == u'r' ? tracker.release(keycode) : tracker.press(keycode, word[0] == u'P');
        if (e) {
            out << QStringLiteral("%1%2:%3")
                       .arg(QChar(e->type == KeyEvent::Type::keyDown ? u'D' : u'F'))
                       .arg(e->keyCode)
                       .arg(e->flags, 0, 16);
        }
    }
    return out.join(u' ');
}

} // namespace

class KeyTrackerTest : public QObject {
    Q_OBJECT
private slots:
    void events_data()
    {
        QTest::addColumn<QList<int>>("held"); // keycodes down before the first event
        QTest::addColumn<int>("pushToTalk");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("events");
        const auto row = [](const char* name, QList<int> held, int ptt, const char* script,
                            const char* events) {
            QTest::newRow(name) << held << ptt << QString(script) << QString(events);
        };
        // The six push-to-talk keys by their physical keycodes.
        row("right alt", {}, 61, "p108 r108", "F61:80040 F61:0");
        row("right super", {}, 54, "p134 r134", "F54:100010 F54:0");
        row("right ctrl", {}, 62, "p105 r105", "F62:42000 F62:0");
        row("right shift", {}, 60, "p62 r62", "F60:20004 F60:0");
        row("left alt", {}, 58, "p64 r64", "F58:80020 F58:0");
        row("menu as push-to-talk", {}, 63, "p135 r135", "F63:800000 F63:0");
        row("menu otherwise", {}, 61, "p135 r135", "D1135:0");
        // Other modifiers change flags and never go down as keys, so they never interrupt.
        row("left shift tap while talking", {}, 61, "p108 p50 r50 r108",
            "F61:80040 F56:a0042 F56:80040 F61:0");
        row("left ctrl, left super, caps lock", {}, 61, "p37 p133 p66 r66 r133 r37",
            "F59:40001 F55:140009 F57:150009 F57:140009 F55:40001 F59:0");
        row("both shifts: shift stays while one is down", {}, 61, "p50 p62 r50 r62",
            "F56:20002 F60:20006 F56:20004 F60:0");
        // Escape and ordinary keys go down, carrying the modifiers held.
        row("escape", {}, 61, "p9 r9", "D53:0");
        row("ctrl+a", {}, 61, "p37 p38 r38 r37", "F59:40001 D1038:40001 F59:0");
        // Auto-repeat: flagged by the server, or a press of a key already down.
        row("flagged repeat", {}, 61, "p38 P38 P38 r38", "D1038:0");
        row("unflagged repeat", {}, 61, "p38 p38 r38 p38", "D1038:0 D1038:0");
        row("modifier repeat", {}, 61, "p108 P108 p108 r108", "F61:80040 F61:0");
        // Keys held at start count as down: their repeats and releases are not new presses.
        row("held at start, released", {108}, 61, "P108 p108 r108", "F61:0");
        row("held at start, shift tapped", {108}, 61, "p50 r50", "F56:a0042 F56:80040");
        row("held letter at start", {38}, 61, "p38 r38 p38", "D1038:0");
        // A release nobody saw pressed is nothing.
        row("stray release", {}, 61, "r108 r38", "");
        row("keycode out of range", {}, 61, "p300 r300 p-1", "");
    }
    void events()
    {
        QFETCH(QList<int>, held);
        QFETCH(int, pushToTalk);
        QFETCH(QString, script);
        QFETCH(QString, events);
        KeyTracker tracker;
        tracker.setPushToTalkKey(pushToTalk);
        char keymap[32] = {};
        for (const int k : held)
            keymap[k / 8] = static_cast<char>(keymap[k / 8] | (1 << (k % 8)));
        tracker.setHeldKeys(keymap);
        QCOMPARE(play(tracker, script), events);
    }

    // A key the keyboard map makes a modifier (AltGr on a key of its own) changes flags only.
    void extraModifier()
    {
        KeyTracker tracker;
        tracker.setExtraModifiers({92});
        QCOMPARE(play(tracker, "p92 p38 r38 r92"), QString("F1092:1000000 D1038:1000000 F1092:0"));
    }

    // Making the Menu key push-to-talk while it is held: its release is a flag change.
    void pushToTalkChangesWhileHeld()
    {
        KeyTracker tracker;
        QCOMPARE(play(tracker, "p135"), QString("D1135:0"));
        tracker.setPushToTalkKey(63);
        QCOMPARE(tracker.flags(), quint64(0x800000));
        QCOMPARE(play(tracker, "r135"), QString("F63:0"));
    }
};

QTEST_GUILESS_MAIN(KeyTrackerTest)
#include "KeyTrackerTest.moc"
