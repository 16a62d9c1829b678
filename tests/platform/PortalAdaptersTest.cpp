// The portal adapters against a portal of the test's own on the launcher's session bus: what the
// desktop answers, what is typed, what the shortcut does.

#include "FakePortal.h"
#include "portal/GlobalShortcutsKeyMonitor.h"
#include "portal/RemoteDesktopPasteSender.h"

#include <QSignalSpy>
#include <QTest>

using namespace quillet;

class PortalAdaptersTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus (tests/tools/with-desktop.sh)");
    }

    // Once the user allows it, one session types every paste; a warm-up key goes first.
    void remoteDesktop_data()
    {
        QTest::addColumn<uint>("answer");
        QTest::addColumn<uint>("devices");
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<QString>("keys");
        QTest::newRow("allowed") << 0u << 1u << false
                                 << "Control_L+ Control_L- Control_L+ v+ v- Control_L-";
        QTest::newRow("terminal") << 0u << 3u << true
                                  << "Control_L+ Control_L- Control_L+ Shift_L+ v+ v- Shift_L- "
                                     "Control_L-";
        QTest::newRow("refused") << 1u << 1u << false << "";
        QTest::newRow("pointer only") << 0u << 2u << false << "";
    }
    void remoteDesktop()
    {
        QFETCH(uint, answer);
        QFETCH(uint, devices);
        QFETCH(bool, terminal);
        QFETCH(QString, keys);
        FakePortal portal;
        portal.startResponse = answer;
        portal.devicesGranted = devices;
        RemoteDesktopPasteSender sender(QDBusConnection::sessionBus(), FakePortal::service);
        QSignalSpy answered(&sender, &RemoteDesktopPasteSender::availableChanged);
        QVERIFY(!sender.postPaste(false));
        sender.start();
        QVERIFY(sender.isStarting());
        QTRY_VERIFY(!sender.isStarting());
        QCOMPARE(answered.count(), 1);
        const bool allowed = !keys.isEmpty();
        QCOMPARE(sender.isAvailable(), allowed);
        QCOMPARE(sender.postPaste(terminal), allowed);
        QTRY_COMPARE(portal.keys.join(u' '), keys);
        QCOMPARE(portal.sessions.size(), 1);
    }

    // The desktop ends the session: no more pasting through it.
    void remoteDesktopClosed()
    {
        FakePortal portal;
        RemoteDesktopPasteSender sender(QDBusConnection::sessionBus(), FakePortal::service);
        QSignalSpy changed(&sender, &RemoteDesktopPasteSender::availableChanged);
        sender.start();
        QTRY_VERIFY(sender.isAvailable());
        portal.closeSessions();
        QTRY_VERIFY(!sender.isAvailable());
        QCOMPARE(changed.count(), 2);
        QVERIFY(!sender.postPaste(false));
    }

    // The bound chord's press and release are the push-to-talk key's.
    void globalShortcut()
    {
        FakePortal portal;
        GlobalShortcutsKeyMonitor monitor(QDBusConnection::sessionBus(), FakePortal::service);
        QStringList seen;
        connect(&monitor, &KeyMonitor::keyEvent, this, [&](const KeyEvent& e) {
            seen << QStringLiteral("F%1:%2").arg(e.keyCode).arg(e.flags, 0, 16);
        });
        QVERIFY(monitor.start());
        QTRY_VERIFY(monitor.isAvailable());
        QCOMPARE(portal.wantedShortcuts, QStringList{"push-to-talk CTRL+ALT+space"});
        QCOMPARE(monitor.trigger(), QString("Ctrl+Alt+Space"));

        portal.press(true);
        portal.press(true); // the desktop repeats a held shortcut
        QTRY_COMPARE(seen, QStringList{"F61:40"});
        portal.press(false, "another-shortcut");
        portal.press(false);
        QTRY_COMPARE(seen, (QStringList{"F61:40", "F61:0"}));

        monitor.setPushToTalkKey(54);
        portal.press(true);
        QTRY_COMPARE(seen.size(), 3);
        QCOMPARE(seen.last(), QString("F54:10"));
        // The desktop ends the session while the chord is held: it is let go.
        portal.closeSessions();
        QTRY_VERIFY(!monitor.isAvailable());
        QCOMPARE(seen.last(), QString("F54:0"));
    }

    void globalShortcutDeclined()
    {
        FakePortal portal;
        portal.bindResponse = 1;
        GlobalShortcutsKeyMonitor monitor(QDBusConnection::sessionBus(), FakePortal::service);
        QSignalSpy changed(&monitor, &KeyMonitor::availableChanged);
        QVERIFY(monitor.start());
        QTRY_COMPARE(changed.count(), 1);
        QVERIFY(!monitor.isAvailable());
    }
};

QTEST_GUILESS_MAIN(PortalAdaptersTest)
#include "PortalAdaptersTest.moc"
