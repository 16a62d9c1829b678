// Accessibility reads against a real GTK text field (zenity) on the launcher's AT-SPI bus.

#include "atspi/AtspiAccessibility.h"

#include "tools/RequireDesktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace quillet;

namespace {

QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(20000);
    return p.readAllStandardOutput();
}

// A zenity dialog, brought to the front; ended with its dialog.
class Dialog {
public:
    Dialog(const QString& title, const QStringList& args)
    {
        m_process.start("zenity", QStringList{"--title", title} + args);
        const QByteArray wid =
            run("xdotool", {"search", "--sync", "--onlyvisible", "--name", title}).split('\n')[0];
        if (!wid.isEmpty())
            run("xdotool", {"windowactivate", "--sync", QString::fromLatin1(wid)});
    }
    ~Dialog()
    {
        ::kill(pid_t(m_process.processId()), SIGCONT);
        m_process.kill();
        m_process.waitForFinished();
    }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
};

void key(const QString& name)
{
    run("xdotool", {"key", name});
}

QDBusMessage a11yStatus(const char* method)
{
    return QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus",
                                          "org.freedesktop.DBus.Properties", method)
           << QString("org.a11y.Status") << QString("IsEnabled");
}

bool accessibilityEnabled()
{
    const QDBusMessage reply = QDBusConnection::sessionBus().call(a11yStatus("Get"));
    return !reply.arguments().isEmpty() &&
           reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

} // namespace

class AtspiAccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QUILLET_REQUIRE_DESKTOP(); }

    // Found by searching, since it took the focus before anyone listened for focus changes.
    void focusTakenBeforeStart()
    {
        Dialog dialog("Early field", {"--entry", "--entry-text", "early"});
        AtspiAccessibility accessibility;
        accessibility.start();
        QTRY_VERIFY(accessibility.isAvailable());
        ElementHandle element;
        QTRY_VERIFY((element = accessibility.focusedElement()) != nullptr);
        QCOMPARE(accessibility.elementValue(element), QString("early"));
    }

    void startTurnsAccessibilityOn()
    {
        QDBusMessage off = a11yStatus("Set");
        off << QVariant::fromValue(QDBusVariant(false));
        QDBusConnection::sessionBus().call(off);
        QVERIFY(!accessibilityEnabled());
        AtspiAccessibility accessibility;
        accessibility.start();
        QTRY_VERIFY(accessibilityEnabled());
        QTRY_VERIFY(accessibility.isAvailable());
    }

    void readsTheFocusedField()
    {
        AtspiAccessibility accessibility;
        accessibility.start();
        QTRY_VERIFY(accessibility.isAvailable());
        Dialog dialog("Field probe", {"--entry", "--entry-text", QString::fromUtf8("naïve 😀")});
        QTRY_COMPARE(accessibility.focusedWindowTitle(), QString("Field probe"));
        const ElementHandle element = accessibility.focusedElement();
        QVERIFY(element);
        QCOMPARE(accessibility.elementValue(element), QString::fromUtf8("naïve 😀"));
        QVERIFY(!accessibility.focusedIsTerminal());

        // Carets in code points, characters in UTF-16 and whole clusters.
        key("End");
        QTRY_COMPARE(accessibility.characterBeforeCaret(element).character, QString::fromUtf8("😀"));
        key("Home");
        QTRY_COMPARE(accessibility.characterBeforeCaret(element), CaretCharacter::none());
        key("Right");
        key("Right");
        key("Right");
        QTRY_COMPARE(accessibility.characterBeforeCaret(element), CaretCharacter::of("ï"));

        // The same element shows the user's later edits.
        key("End");
        run("xdotool", {"type", " ok"});
        QTRY_COMPARE(accessibility.elementValue(element), QString::fromUtf8("naïve 😀 ok"));
        // Past the emoji, code points and UTF-16 units part ways.
        QCOMPARE(accessibility.characterBeforeCaret(element), CaretCharacter::of("k"));
    }

    void passwordFieldIsNoElement()
    {
        AtspiAccessibility accessibility;
        accessibility.start();
        QTRY_VERIFY(accessibility.isAvailable());
        Dialog dialog("Secret probe", {"--password"});
        QTRY_COMPARE(accessibility.focusedWindowTitle(), QString("Secret probe"));
        run("xdotool", {"type", "hunter2"});
        QCOMPARE(accessibility.focusedElement(), nullptr);
    }

    // A hung application costs a read a quarter of a second, not the library's default seconds.
    void hungApplicationIsBounded()
    {
        AtspiAccessibility accessibility;
        accessibility.start();
        QTRY_VERIFY(accessibility.isAvailable());
        Dialog dialog("Hung probe", {"--entry", "--entry-text", "stuck"});
        QTRY_COMPARE(accessibility.focusedWindowTitle(), QString("Hung probe"));
        const ElementHandle element = accessibility.focusedElement();
        QVERIFY(element);
        ::kill(pid_t(dialog.pid()), SIGSTOP);
        for (const char* read : {"value", "caret", "title"}) {
            QElapsedTimer clock;
            clock.start();
            if (read == QLatin1String("value"))
                QCOMPARE(accessibility.elementValue(element), std::nullopt);
            else if (read == QLatin1String("caret"))
                QCOMPARE(accessibility.characterBeforeCaret(element),
                         CaretCharacter::undetermined());
            else
                accessibility.focusedWindowTitle();
            QVERIFY2(clock.elapsed() <= 400, read);
        }
    }

    // Last, as it takes the bus away: the loss is noticed and reads answer nothing at once.
    void busLoss()
    {
        AtspiAccessibility accessibility;
        accessibility.start();
        QTRY_VERIFY(accessibility.isAvailable());
        Dialog dialog("Before the loss", {"--entry", "--entry-text", "gone"});
        ElementHandle element;
        QTRY_VERIFY((element = accessibility.focusedElement()) != nullptr);

        const uint launcher =
            QDBusConnection::sessionBus().interface()->servicePid("org.a11y.Bus").value();
        QVERIFY(launcher > 0);
        ::kill(pid_t(launcher), SIGTERM);
        QTRY_VERIFY(!accessibility.isAvailable());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(accessibility.focusedElement(), nullptr);
        QCOMPARE(accessibility.elementValue(element), std::nullopt);
        QCOMPARE(accessibility.characterBeforeCaret(element), CaretCharacter::undetermined());
        QCOMPARE(accessibility.focusedWindowTitle(), std::nullopt);
        QVERIFY(!accessibility.focusedIsTerminal());
        QVERIFY(clock.elapsed() < 100);

        // Leave the desktop as the launcher made it: a bus (started again on demand) with
        // accessibility on.
        QDBusMessage on = a11yStatus("Set");
        on << QVariant::fromValue(QDBusVariant(true));
        QDBusConnection::sessionBus().call(on);
        QTRY_VERIFY(accessibilityEnabled());
    }
};

QTEST_GUILESS_MAIN(AtspiAccessibilityTest)
#include "AtspiAccessibilityTest.moc"
