#include "desktop/Controller.h"

#include "DesktopFixture.h"
#include "desktop/LearnWatcher.h"
#include "desktop/TextInserter.h"
#include "update/Updater.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>

using namespace quillet;
using namespace quillet::test;

namespace {

using Phase = Dictation::Phase;

constexpr int escapeKey = 53;
// Left Shift and Left Ctrl as the key monitor reports them.
constexpr int leftShift = 56;
constexpr quint64 leftShiftFlags = 0x2 | 0x20000;
constexpr int leftCtrl = 59;
constexpr quint64 leftCtrlFlags = 0x1 | 0x40000;

} // namespace

class ControllerTest : public QObject {
    Q_OBJECT
private slots:
    // A hold starts 0.12 s after the press, finishes at the release, and the entry is pasted.
    void holdDictatesAndPastes()
    {
        DesktopFixture f;
        Controller& c = f.makeController();
        f.key(true);
        f.clock.advance(0.119);
        QCOMPARE(f.audio.made(), 0);
        f.clock.advance(0.001);
        QCOMPARE(f.dictation().phase(), Phase::recording);
        QCOMPARE(f.audio.made(), 1);
        QCOMPARE(f.warmUps, 1);
        f.clock.advance(0.5);
        f.key(false);
        QCOMPARE(f.dictation().phase(), Phase::processing);
        QVERIFY(f.settle());
        QCOMPARE(f.pasteboard.text(), "HELLO WORLD");
        QCOMPARE(f.pasteSender.chords, QStringList{"ctrl+v"});
        QCOMPARE(f.processed, QStringList{"hello world|quillet|Text Editor"});
        QVERIFY(c.lastEntry());
        QCOMPARE(c.lastEntry()->text, "HELLO WORLD");
        QCOMPARE(f.hud->toasts, QStringList());
    }

    // A tap released before the delayed start never opens the microphone.
    void quickTapNeverStarts()
    {
        DesktopFixture f;
        f.makeController();
        f.hold(0.1);
        f.clock.advance(1);
        QCOMPARE(f.audio.made(), 0);
        QCOMPARE(f.dictation().phase(), Phase::idle);
        QCOMPARE(f.warmUps, 0);
        QCOMPARE(f.clock.pendingTimers(), 0);
    }

    // Tap, tap to lock, and a third press while the second one's start is still pending: the
    // dictation starts at once and finishes.
    void finishWhileStartPending()
    {
        DesktopFixture f;
        Controller& c = f.makeController();
        f.hold(0.05);
        f.clock.advance(0.05);
        f.hold(0.05);
        QVERIFY(c.machine().locked);
        QVERIFY(f.hud->isLocked);
        f.clock.advance(0.01);
        f.key(true);
        QCOMPARE(f.audio.made(), 1);
        QCOMPARE(f.dictation().phase(), Phase::processing);
        f.key(false);
        QVERIFY(f.settle());
        QCOMPARE(f.pasteSender.chords, QStringList{"ctrl+v"});
        QVERIFY(!f.hud->isLocked);
    }

    void escape_data()
    {
        QTest::addColumn<bool>("release");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("while recording") << false << true;
        QTest::newRow("while processing") << true << false;
    }

    // Escape cancels a recording, never the processing of one.
    void escape()
    {
        QFETCH(bool, release);
        QFETCH(bool, cancelled);
        DesktopFixture f;
        Controller& c = f.makeController();
        f.key(true);
        f.clock.advance(0.5);
        if (release)
            f.key(false);
        f.keyMonitor.keyDown(escapeKey);
        QCOMPARE(f.dictation().phase(), cancelled ? Phase::idle : Phase::processing);
        QCOMPARE(f.hud->toasts, cancelled ? QStringList{"Cancelled"} : QStringList());
        if (!release)
            f.key(false);
        QVERIFY(f.settle());
        QCOMPARE(f.pasteSender.chords, cancelled ? QStringList() : QStringList{"ctrl+v"});
        QVERIFY(!c.machine().recording);
    }

    void shift_data()
    {
        QTest::addColumn<int>("hotkey");
        QTest::addColumn<QStringList>("modes");
        QTest::newRow("Right Alt")
            << int(HotKey::rightOption) << QStringList{"code", "code", "code", "chat"};
        QTest::newRow("Right Shift")
            << int(HotKey::rightShift) << QStringList{"quillet", "quillet", "quillet", "quillet"};
    }

    // Shift going down while talking switches to the next mode, once per press: other modifiers
    // changing while it is held do not count. With Right Shift as the key, Shift never switches.
    void shift()
    {
        QFETCH(int, hotkey);
        QFETCH(QStringList, modes);
        const HotKey key = HotKey::Key(hotkey);
        DesktopFixture f;
        f.prefs.setHotkey(key.keyCode());
        f.makeController();
        f.key(true, key);
        f.clock.advance(0.5);
        QCOMPARE(f.dictation().phase(), Phase::recording);
        const quint64 held = key.flagMask();
        QStringList seen;
        f.keyMonitor.flagsChanged(leftShift, held | leftShiftFlags);
        seen << f.dictation().mode();
        f.keyMonitor.flagsChanged(leftCtrl, held | leftShiftFlags | leftCtrlFlags);
        seen << f.dictation().mode();
        f.keyMonitor.flagsChanged(leftShift, held | leftCtrlFlags);
        seen << f.dictation().mode();
        f.keyMonitor.flagsChanged(leftShift, held | leftShiftFlags | leftCtrlFlags);
        seen << f.dictation().mode();
        QCOMPARE(seen, modes);
        f.key(false, key);
        QVERIFY(f.settle());
        QCOMPARE(f.processed.value(0).section(u'|', 1, 1), modes.last());
    }

    // A new key is stored and watched, and the old key's release finishes nothing; a stored
    // code that is no push-to-talk key means Right Alt.
    void changingTheKey()
    {
        DesktopFixture f;
        f.prefs.setHotkey(55);
        Controller& c = f.makeController();
        QCOMPARE(c.hotkey(), HotKey(HotKey::rightOption));
        QCOMPARE(f.keyMonitor.pushToTalkKey, 61);
        f.key(true);
        f.clock.advance(0.5);
        QSignalSpy changed(&c, &Controller::hotkeyChanged);
        c.setHotkey(HotKey::rightControl);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(f.prefs.hotkey(), 62);
        QCOMPARE(f.keyMonitor.pushToTalkKey, 62);
        f.key(false);
        QCOMPARE(f.dictation().phase(), Phase::recording);
        QCOMPARE(c.machine(), PressMachine());
    }

    // Without a speech key the press only says where to add one; its release does nothing.
    void noSpeechKey()
    {
        EnvGuard env("SONIOX_API_KEY", std::nullopt);
        DesktopFixture f(false);
        if (f.keys.speechKey())
            QSKIP("this build has a speech key built in");
        Controller& c = f.makeController();
        QCOMPARE(f.prefs.settingsTab(), 3);
        f.hold(0.5);
        f.clock.advance(1);
        QCOMPARE(f.hud->toasts, QStringList{Controller::noKeyMessage});
        QCOMPARE(f.audio.made(), 0);
        QCOMPARE(c.machine(), PressMachine());
    }

    // A dictation without text pastes nothing; its error is shown.
    void failureIsShown()
    {
        DesktopFixture f;
        f.streams.onMade = [](FakeSpeechStream&) {};
        f.makeController();
        f.key(true);
        f.clock.advance(0.5);
        f.loseService("Soniox 401: Invalid API key.", true);
        f.key(false);
        QVERIFY(f.settle());
        QCOMPARE(f.pasteSender.chords, QStringList());
        QCOMPARE(f.hud->toasts.size(), 1);
        QVERIFY(f.hud->toasts.first().contains("Invalid API key"));
        QCOMPARE(f.hud->toasts.first(), f.dictation().error());
    }

    void permissions_data()
    {
        QTest::addColumn<bool>("accessibility");
        QTest::addColumn<bool>("mic");
        QTest::addColumn<bool>("automation");
        QTest::addColumn<bool>("activation");
        QTest::newRow("all there") << true << true << false << false;
        QTest::newRow("no accessibility") << false << true << false << true;
        QTest::newRow("no microphone") << true << false << false << true;
        QTest::newRow("self-test run") << false << false << true << false;
    }

    // What is missing at launch is polled every 1.5 s until it is there, and only then.
    void permissions()
    {
        QFETCH(bool, accessibility);
        QFETCH(bool, mic);
        QFETCH(bool, automation);
        DesktopFixture f;
        f.accessibility.available = accessibility;
        f.audio.available = mic;
        if (automation)
            f.prefs.setArgument("selftest", "true");
        Controller& c = f.makeController(false);
        QSignalSpy activation(&c, &Controller::activationRequested);
        c.setUp();
        QTEST(!activation.isEmpty(), "activation");
        QCOMPARE(c.axTrusted(), accessibility);
        QCOMPARE(c.micAllowed(), mic);
        QCOMPARE(f.clock.pendingTimers(), accessibility && mic ? 0 : 1);
        f.clock.advance(1.5);
        QCOMPARE(c.axTrusted(), accessibility);
        f.accessibility.available = true;
        f.audio.available = true;
        f.clock.advance(1.5);
        QVERIFY(c.axTrusted());
        QVERIFY(c.micAllowed());
        QCOMPARE(f.clock.pendingTimers(), 0);
    }

    // Without accessibility the text is only copied: no paste, no restore, no watcher, and the
    // user is told; the poll notices when it comes back.
    void copyOnly()
    {
        DesktopFixture f;
        Controller& c = f.makeController();
        f.accessibility.available = false;
        f.hold(0.5);
        QVERIFY(f.settle());
        QCOMPARE(f.pasteSender.chords, QStringList());
        QCOMPARE(f.pasteboard.text(), "HELLO WORLD");
        QVERIFY(!f.pasteboard.isTransient());
        QCOMPARE(f.hud->toasts, QStringList{"Copied — allow Accessibility to paste automatically"});
        QVERIFY(!c.axTrusted());
        QVERIFY(!c.inserter().lastInsert());
        QVERIFY(!c.watcher());
        f.accessibility.available = true;
        f.clock.advance(1.5);
        QVERIFY(c.axTrusted());
    }

    // A correction in the field is learned and announced; the next dictation's start ends the
    // watch of the previous field.
    void learning_data()
    {
        QTest::addColumn<bool>("nextDictation");
        QTest::newRow("corrected") << false;
        QTest::newRow("next dictation first") << true;
    }

    void learning()
    {
        QFETCH(bool, nextDictation);
        DesktopFixture f;
        f.rewrite = [](const QString& raw) { return raw; };
        f.streams.onMade = [](FakeSpeechStream& s) {
            s.setProgress("deploy it to cuba netties tonight", 3000, 3000);
        };
        auto field = std::make_shared<FakeElement>(QString(), CaretCharacter::none());
        f.accessibility.focused = field;
        Controller& c = f.makeController();
        f.hold(0.5);
        QVERIFY(f.settle());
        QVERIFY(c.watcher());
        field->value = "Notes: deploy it to Kubernetes tonight, thanks";
        if (nextDictation) {
            f.hold(0.5);
            QTRY_VERIFY(!c.watcher());
        }
        f.clock.advance(10);
        QCOMPARE(f.hud->toasts, nextDictation ? QStringList() : QStringList{"Learned Kubernetes"});
        QCOMPARE(f.store.vocab().terms.contains("Kubernetes"), !nextDictation);
    }

    // For desktops whose keys cannot be watched: a toggle starts a dictation locked on, the next
    // toggle (or press) finishes it; a cancel ends a recording as Escape does.
    void toggleAndCancel()
    {
        DesktopFixture f;
        Controller& c = f.makeController();
        c.toggle();
        QCOMPARE(f.dictation().phase(), Phase::recording);
        QVERIFY(f.hud->isLocked);
        c.toggle();
        QCOMPARE(f.dictation().phase(), Phase::processing);
        c.toggle();
        QCOMPARE(f.dictation().phase(), Phase::processing);
        QVERIFY(f.settle());
        QCOMPARE(f.pasteSender.chords.size(), 1);

        c.toggle();
        f.key(true);
        QCOMPARE(f.dictation().phase(), Phase::processing);
        f.key(false);
        QVERIFY(f.settle());
        QCOMPARE(f.pasteSender.chords.size(), 2);

        c.toggle();
        c.cancelRecording();
        QCOMPARE(f.dictation().phase(), Phase::idle);
        QCOMPARE(f.hud->toasts, QStringList{"Cancelled"});
        QVERIFY(!f.hud->isLocked);
    }

    // The updater's messages are toasts, and it installs only while no dictation runs.
    void updaterHooks()
    {
        DesktopFixture f;
        QNetworkAccessManager network;
        Updater updater(Updater::Config{}, f.prefs, network, f.clock);
        f.updater = &updater;
        Controller& c = f.makeController();
        updater.onMessage("Quillet is up to date");
        QCOMPARE(f.hud->toasts, QStringList{"Quillet is up to date"});
        QVERIFY(updater.isIdle());
        c.toggle();
        QVERIFY(!updater.isIdle());
    }
};

QTEST_GUILESS_MAIN(ControllerTest)
#include "ControllerTest.moc"
