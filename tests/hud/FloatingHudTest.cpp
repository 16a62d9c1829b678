#include "HudRig.h"
#include "hud/PanelPlacement.h"
#include "hud/PillState.h"
#include "platform/FakeOverlay.h"
#include "util/Pending.h"
#include "util/QuietOffscreen.h"

#include <QApplication>
#include <QCursor>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QTemporaryDir>

using namespace quillet;
using namespace quillet::test;

namespace {

using Phase = Dictation::Phase;

// Two screens side by side; the second starts higher up, so that a placement that forgets a
// screen's origin is caught.
const QRect firstScreen(0, 0, 1280, 800);
const QRect secondScreen(1280, -200, 1920, 1080);

struct OverlayRig : DesktopFixture {
    FakeOverlay overlay;
    FloatingHud hud{{store, prefs, clock, {}, &overlay}};
    Dictation d{dictationServices()};

    OverlayRig() { hud.bind(&d); }
};

} // namespace

class FloatingHudTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { quietOffscreen(); }

    void placementRules_data()
    {
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QPoint>("origin");
        QTest::addColumn<int>("screen");
        // The first screen has a top bar of 32 and a dock of 48 at the bottom.
        QTest::newRow("first screen, above its dock") << QPoint(10, 10) << QPoint(430, 660) << 0;
        QTest::newRow("second screen") << QPoint(2000, 500) << QPoint(2030, 788) << 1;
        QTest::newRow("last pixel of the second") << QPoint(3199, 879) << QPoint(2030, 788) << 1;
        QTest::newRow("between screens: the primary")
            << QPoint(1000, 900) << QPoint(2030, 788) << 1;
    }
    void placementRules()
    {
        QFETCH(QPoint, pointer);
        QFETCH(QPoint, origin);
        QFETCH(int, screen);
        const QList<PanelPlacement::Screen> screens = {
            {firstScreen, QRect(0, 32, 1280, 720)},
            {secondScreen, secondScreen},
        };
        const auto placed = PanelPlacement::place(screens, 1, pointer, QSize(420, 64));
        QVERIFY(placed);
        QCOMPARE(placed->origin, origin);
        QCOMPARE(placed->screen, screen);
        QVERIFY(!PanelPlacement::place({}, 0, pointer, QSize(420, 64)));
    }

    // On the real screens: centred on the one under the pointer, 28 above its bottom.
    void showsOnPointerScreen_data()
    {
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("pointer on the second") << QPoint(3000, 0) << QRect(2030, 788, 420, 64);
        QTest::newRow("pointer on the first") << QPoint(5, 5) << QRect(430, 708, 420, 64);
    }
    void showsOnPointerScreen()
    {
        QFETCH(QPoint, pointer);
        QFETCH(QRect, geometry);
        QCOMPARE(QGuiApplication::screens().size(), 2);
        QCursor::setPos(pointer);
        HudRig rig;
        rig.d.start("code");
        QVERIFY(rig.up());
        QCOMPARE(rig.hud.panel().geometry(), geometry);
        QVERIFY(rig.hud.panel().screen()->geometry().contains(pointer));
    }

    // Up while recording and processing, down again when idle.
    void followsThePhase()
    {
        HudRig rig;
        QVERIFY(!rig.up());
        rig.d.start("chat");
        QVERIFY(rig.up());
        QCOMPARE(rig.hud.state().mode.name, "Chat");
        Pending<std::optional<Entry>> finish(rig.d.finish({}));
        QCOMPARE(rig.d.phase(), Phase::processing);
        QVERIFY(rig.up());
        QCOMPARE(rig.hud.panel().state().phase, Phase::processing);
        rig.clock.advance(1);
        QTRY_VERIFY(finish.done());
        QVERIFY(!rig.up());
    }

    // A message shows for 1.8 s; a newer one restarts the time.
    void toastTiming()
    {
        HudRig rig;
        rig.hud.toast("Cancelled");
        QVERIFY(rig.up());
        QCOMPARE(rig.hud.panel().state().toast, "Cancelled");
        rig.clock.advance(1.0);
        rig.hud.toast("Learned Kubernetes");
        rig.clock.advance(1.7);
        QVERIFY(rig.up());
        QCOMPARE(rig.toast(), "Learned Kubernetes");
        rig.clock.advance(0.1);
        QVERIFY(!rig.up());
        QCOMPARE(rig.toast(), "");
    }

    // During a recording a message takes the pill's place for a moment and the pill stays up;
    // a recording that starts under a message clears it at once.
    void toastWhileRecording()
    {
        HudRig rig;
        rig.hud.toast("Update available");
        rig.d.start("code");
        QCOMPARE(rig.toast(), "");
        rig.hud.toast("Copied");
        QCOMPARE(rig.hud.panel().layout().content, PillLayout::Content::toast);
        rig.clock.advance(1.8);
        QVERIFY(rig.up());
        QCOMPARE(rig.hud.panel().layout().content, PillLayout::Content::listening);
        // Cancelling with a message up leaves the message its time.
        rig.hud.toast("Cancelled");
        rig.d.cancel();
        QVERIFY(rig.up());
        rig.clock.advance(1.8);
        QVERIFY(!rig.up());
    }

    void idleDropsTheLock()
    {
        HudRig rig;
        rig.d.start("code");
        rig.hud.setLocked(true);
        QVERIFY(!rig.hud.panel().layout().lock.isEmpty());
        QCOMPARE(rig.hud.panel().accessibleDescription(), "Locked on");
        rig.d.cancel();
        QVERIFY(!rig.hud.locked());
        rig.d.start("code");
        QVERIFY(rig.hud.panel().layout().lock.isEmpty());
        QCOMPARE(rig.hud.panel().accessibleDescription(), "");
    }

    // Without a dictation nothing is drawn: a message still brings the empty panel up, and its
    // expiry leaves it there.
    void unbound()
    {
        HudRig rig(false);
        rig.hud.toast("Cancelled");
        QVERIFY(rig.up());
        QCOMPARE(rig.hud.panel().layout().content, PillLayout::Content::nothing);
        QVERIFY(!rig.hud.panel().mask().intersects(rig.hud.panel().rect()));
        rig.clock.advance(2);
        QVERIFY(rig.up());
    }

    // Without a compositor the window is cut to the capsule; with one it keeps its full shape.
    void capsuleMask()
    {
        HudRig rig;
        rig.d.start("code");
        const QRect capsule = rig.hud.panel().layout().capsule.toAlignedRect();
        QCOMPARE(rig.hud.panel().mask().boundingRect(), capsule);
        QVERIFY(!rig.hud.panel().mask().contains(capsule.topLeft()));
        QVERIFY(rig.hud.panel().mask().contains(capsule.center()));
        // A longer status line widens the capsule and its cut.
        rig.streams.stream(0)->update("a few more words than before");
        QTRY_VERIFY(rig.hud.panel().mask().boundingRect().width() > capsule.width());
        rig.d.cancel();

        rig.compositing = true;
        rig.d.start("code");
        QVERIFY(rig.hud.panel().mask().isEmpty());
    }

    // While the pill is up the meter follows the level, and the tag the mode's colour, over a
    // short animation; while it is hidden they jump.
    void animatesOnlyWhileUp()
    {
        HudRig rig;
        HudPanel& panel = rig.hud.panel();
        const auto middleBar = [&] { return panel.layout().bars[2].height(); };
        rig.d.start("code");
        rig.d.cancel();
        panel.setLevel(0.625);
        QCOMPARE(middleBar(), 18.0);
        panel.setLevel(0);
        rig.d.start("code");
        QCOMPARE(middleBar(), 4.0);
        panel.setLevel(0.625);
        QCOMPARE(middleBar(), 4.0);
        QTRY_COMPARE(middleBar(), 18.0);

        // The mode's colour (Code's purple to Chat's green) eases over too.
        const QColor purple(0xA8, 0x55, 0xF7);
        const QColor green(0x22, 0xC5, 0x5E);
        QCOMPARE(panel.tint(), purple);
        rig.d.setMode("chat");
        QCOMPARE(panel.tint(), purple);
        QTRY_COMPARE(panel.tint(), green);
    }

    // Where the desktop gives an overlay, the pill is pictures of the panel there and never a
    // window of ours; pictures follow the animation at most once a frame and stop with the pill.
    void onAnOverlay()
    {
        OverlayRig rig;
        const HudPanel& panel = rig.hud.panel();
        rig.d.start("code");
        QVERIFY(rig.overlay.shown);
        QVERIFY(!panel.isVisible());
        QCOMPARE(rig.overlay.image.size(), QSize(420, 64));
        QCOMPARE(rig.overlay.scale, 1.0);
        QCOMPARE(rig.overlay.margin, 28);
        // The capsule, with the corners around it left transparent.
        QCOMPARE(qAlpha(rig.overlay.image.pixel(0, 0)), 0);
        QVERIFY(qAlpha(rig.overlay.image.pixel(210, 32)) > 0);

        // The colour eases from Code's to Chat's: many animation steps, one picture per frame.
        const QImage code = rig.overlay.image;
        const int before = rig.overlay.pictures;
        rig.d.setMode("chat");
        QTRY_COMPARE(panel.tint(), QColor(0x22, 0xC5, 0x5E));
        QCOMPARE(rig.overlay.pictures, before);
        rig.clock.advance(FloatingHud::frameSeconds);
        QCOMPARE(rig.overlay.pictures, before + 1);
        QVERIFY(rig.overlay.image != code);

        rig.d.cancel();
        QVERIFY(!rig.overlay.shown);
        QVERIFY(!panel.isVisible());
        rig.d.setMode("code");
        rig.clock.advance(1);
        QCOMPARE(rig.overlay.pictures, before + 1);

        rig.hud.toast("Copied");
        QVERIFY(rig.overlay.shown);
        QVERIFY(!panel.isVisible());
        rig.clock.advance(FloatingHud::toastSeconds);
        QVERIFY(!rig.overlay.shown);
    }
};

int main(int argc, char** argv)
{

    QTemporaryDir dir;
    QJsonArray screens;
    for (const QRect& r : {firstScreen, secondScreen})
        screens.append(QJsonObject{{"name", QString("screen%1").arg(screens.size())},
                                   {"x", r.x()},
                                   {"y", r.y()},
                                   {"width", r.width()},
                                   {"height", r.height()},
                                   {"logicalDpi", 96},
                                   {"logicalBaseDpi", 96},
                                   {"dpr", 1.0}});
    const QString config = writeFile(dir.filePath("screens.json"),
                                     QJsonDocument(QJsonObject{{"screens", screens}}).toJson());
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toUtf8());
    QApplication app(argc, argv);
    FloatingHudTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "FloatingHudTest.moc"
