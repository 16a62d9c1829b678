#include "evdev/EvdevReader.h"

#include <QPointer>
#include <QTest>

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace quillet;

namespace {

EvdevReader::KeySet keys(const QString& names)
{
    EvdevReader::KeySet set;
    for (const QString& name : names.split(u',', Qt::SkipEmptyParts))
        set[libevdev_event_code_from_name(EV_KEY, name.toLatin1().constData())] = true;
    return set;
}

// Keyboards played from recorded event streams, each through a pipe: the reader sees the same
// records a device node delivers. The key state the kernel would report (at plug-in and after
// dropped events) is set by the script.
class Keyboards {
public:
    explicit Keyboards(EvdevReader::KeyStateReader* stateHook)
    {
        *stateHook = [this](int fd) -> std::optional<EvdevReader::KeySet> {
            for (auto it = m_readEnds.cbegin(); it != m_readEnds.cend(); ++it) {
                if (it.value() == fd && m_state.contains(it.key()))
                    return m_state.value(it.key());
            }
            return std::nullopt;
        };
    }
    ~Keyboards()
    {
        for (const int fd : std::as_const(m_writeEnds))
            ::close(fd);
    }

    // Script words, played in order:
    //   a:+              keyboard a plugged in (a:+KEY_X,KEY_Y: with those keys already held;
    //                    a:+? with its keys' state unreadable)
    //   a:-              keyboard a unplugged (its file ends)
    //   a:KEY_V=1        a key event: 1 press, 0 release, 2 auto-repeat
    //   a:MSC_SCAN=7     a scan code, as keyboards send before each key
    //   a:SYN            end of frame; a:DROP: the kernel dropped events
    //   a:state=KEY_X    what the kernel reports a holds when asked after a drop
    // With `wait`, the reader takes each word before the next is played.
    void play(EvdevReader& reader, const QString& script, bool wait = true)
    {
        for (const QString& word : script.split(u' ', Qt::SkipEmptyParts)) {
            const QString device = word.section(u':', 0, 0);
            const QString what = word.section(u':', 1);
            if (what.startsWith(u'+')) {
                int ends[2];
                QVERIFY(::pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0);
                m_writeEnds.insert(device, ends[1]);
                m_readEnds.insert(device, ends[0]);
                if (what == u"+?")
                    m_state.remove(device);
                else
                    m_state.insert(device, keys(what.mid(1)));
                reader.addDevice(device, ends[0]);
            } else if (what == u"-") {
                ::close(m_writeEnds.take(device));
                QTRY_VERIFY(!reader.hasDevice(device));
            } else if (what.startsWith(u"state=")) {
                m_state.insert(device, keys(what.mid(6)));
            } else if (what == u"SYN" || what == u"DROP") {
                write(device, EV_SYN, what == u"SYN" ? SYN_REPORT : SYN_DROPPED, 0);
            } else {
                const QByteArray name = what.section(u'=', 0, 0).toLatin1();
                const int type = name.startsWith("MSC_") ? EV_MSC : EV_KEY;
                write(device, type, libevdev_event_code_from_name(type, name.constData()),
                      what.section(u'=', 1).toInt());
            }
            if (wait)
                drain(device);
        }
    }

private:
    void write(const QString& device, int type, int code, int value)
    {
        input_event ev{};
        ev.type = static_cast<quint16>(type);
        ev.code = static_cast<quint16>(code);
        ev.value = value;
        QCOMPARE(::write(m_writeEnds.value(device), &ev, sizeof ev), ssize_t(sizeof ev));
    }
    // Lets the reader take everything written so far, so that keyboards interleave as scripted.
    void drain(const QString& device)
    {
        if (!m_writeEnds.contains(device))
            return;
        QTRY_VERIFY([&] {
            int queued = 0;
            ::ioctl(m_writeEnds.value(device), FIONREAD, &queued);
            return queued == 0;
        }());
    }

    QHash<QString, int> m_writeEnds;
    QHash<QString, int> m_readEnds;
    QHash<QString, EvdevReader::KeySet> m_state;
};

QString describe(const KeyEvent& e)
{
    return QStringLiteral("%1%2:%3")
        .arg(QChar(e.type == KeyEvent::Type::keyDown ? u'D' : u'F'))
        .arg(e.keyCode)
        .arg(e.flags, 0, 16);
}

} // namespace

class EvdevReaderTest : public QObject {
    Q_OBJECT
private slots:
    // Events as "F61:80040" (flags changed, key code, flags in hex) or "D53:0" (key down).
    void streams_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("events");
        const auto row = [](const char* name, const char* script, const char* events) {
            QTest::newRow(name) << QString(script) << QString(events);
        };
        // As a USB keyboard sends them: scan code, key, end of frame; held keys repeat.
        row("right alt held and released",
            "a:+ a:MSC_SCAN=458982 a:KEY_RIGHTALT=1 a:SYN a:KEY_RIGHTALT=2 a:SYN "
            "a:KEY_RIGHTALT=2 a:SYN a:MSC_SCAN=458982 a:KEY_RIGHTALT=0 a:SYN",
            "F61:80040 F61:0");
        row("escape and a letter while talking",
            "a:+ a:KEY_RIGHTALT=1 a:SYN a:KEY_ESC=1 a:SYN a:KEY_ESC=0 a:KEY_A=1 a:KEY_A=2 "
            "a:KEY_A=0 a:KEY_RIGHTALT=0 a:SYN",
            "F61:80040 D53:80040 D1038:80040 F61:0");
        row("shift tapped while talking",
            "a:+ a:KEY_RIGHTALT=1 a:SYN a:KEY_LEFTSHIFT=1 a:SYN a:KEY_LEFTSHIFT=0 a:SYN "
            "a:KEY_RIGHTALT=0 a:SYN",
            "F61:80040 F56:a0042 F56:80040 F61:0");
        // Two keyboards: the desktop sees one key held while either holds it.
        row("two keyboards hold the same key",
            "a:+ b:+ a:KEY_RIGHTALT=1 a:SYN b:KEY_RIGHTALT=1 b:SYN a:KEY_RIGHTALT=0 a:SYN "
            "b:KEY_RIGHTALT=0 b:SYN",
            "F61:80040 F61:0");
        row("modifier on one keyboard, letter on the other",
            "a:+ b:+ a:KEY_LEFTCTRL=1 a:SYN b:KEY_V=1 b:SYN b:KEY_V=0 b:SYN a:KEY_LEFTCTRL=0",
            "F59:40001 D1055:40001 F59:0");
        // Unplugged mid-dictation: what it held is let go, so the dictation ends.
        row("keyboard vanishes while the key is held", "a:+ a:KEY_RIGHTALT=1 a:SYN a:-",
            "F61:80040 F61:0");
        row("the other keyboard still holds the key",
            "a:+ b:+ a:KEY_RIGHTALT=1 b:KEY_RIGHTALT=1 a:- b:KEY_RIGHTALT=0", "F61:80040 F61:0");
        // Plugged in with a key down: no press; its repeats stay silent, its release counts.
        row("held at plug-in", "a:+KEY_RIGHTALT a:KEY_RIGHTALT=2 a:SYN a:KEY_RIGHTALT=0 a:SYN",
            "F61:0");
        row("held at plug-in, state unreadable", "a:+? a:KEY_RIGHTALT=2 a:KEY_RIGHTALT=0", "F61:0");
        // The kernel's buffer overflowed: the frame is ignored, the held keys read afresh.
        row("release lost in a drop",
            "a:+ a:KEY_RIGHTALT=1 a:SYN a:state= a:DROP a:KEY_RIGHTALT=0 a:SYN", "F61:80040 F61:0");
        row("press lost in a drop", "a:+ a:state=KEY_RIGHTALT a:DROP a:KEY_RIGHTALT=1 a:SYN",
            "F61:80040");
        row("repeats after a drop are not presses",
            "a:+ a:state=KEY_RIGHTALT a:DROP a:KEY_RIGHTALT=2 a:SYN a:KEY_RIGHTALT=2 a:SYN",
            "F61:80040");
    }
    void streams()
    {
        QFETCH(QString, script);
        QFETCH(QString, events);
        EvdevReader::KeyStateReader hook;
        Keyboards keyboards(&hook);
        EvdevReader reader([&hook](int fd) { return hook(fd); });
        QStringList seen;
        connect(&reader, &EvdevReader::keyEvent, this,
                [&](const KeyEvent& e) { seen << describe(e); });
        keyboards.play(reader, script);
        QCOMPARE(seen.join(u' '), events);
    }

    // Whoever handles an event may end the reader, even in the middle of a frame.
    void endedByAReceiver()
    {
        EvdevReader::KeyStateReader hook;
        Keyboards keyboards(&hook);
        QPointer<EvdevReader> reader = new EvdevReader([&hook](int fd) { return hook(fd); });
        int seen = 0;
        connect(reader, &EvdevReader::keyEvent, this, [&] {
            ++seen;
            delete reader;
        });
        keyboards.play(*reader, "a:+");
        keyboards.play(*reader, "a:KEY_A=1 a:KEY_B=1 a:SYN", false);
        QTRY_VERIFY(reader.isNull());
        QCOMPARE(seen, 1);
    }
};

QTEST_GUILESS_MAIN(EvdevReaderTest)
#include "EvdevReaderTest.moc"
