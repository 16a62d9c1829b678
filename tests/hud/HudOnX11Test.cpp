#include "HudRig.h"
#include "tools/RequireDesktop.h"
#include "x11/X11Compositor.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QVBoxLayout>

#include <X11/Xlib.h>

using namespace quillet;
using namespace quillet::test;

namespace {

const QColor backdropColor(0x33, 0x66, 0xcc);

// A window filling the screen in one colour, with a text field that has the keyboard; it counts
// the mouse presses that reach it.
class Backdrop : public QWidget {
public:
    QLineEdit field;
    QList<QPoint> presses;

    Backdrop()
    {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, backdropColor);
        setPalette(p);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(&field, 0, Qt::AlignTop);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        presses << event->globalPosition().toPoint();
    }
};

::Window inputFocus(Display* display)
{
    ::Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus;
}

} // namespace

// The pill on a real X server without a compositor: it takes neither the keyboard nor the mouse,
// and is cut to its capsule.
class HudOnX11Test : public QObject {
    Q_OBJECT
public:
    static void initMain() { qputenv("QT_QPA_PLATFORM", "xcb"); }

private slots:
    void initTestCase()
    {
        QUILLET_REQUIRE_DESKTOP();
        m_display = XOpenDisplay(nullptr);
        QVERIFY(m_display);
    }
    void cleanupTestCase()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }

    void staysOutOfTheWay()
    {
        Backdrop below;
        below.showFullScreen();
        below.activateWindow();
        below.field.setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&below));
        QTRY_VERIFY(below.field.hasFocus());
        const ::Window focused = inputFocus(m_display);

        HudRig rig;
        rig.compositing = X11Compositor::isRunning();
        QVERIFY(!rig.compositing);
        QCursor::setPos(below.screen()->geometry().center());
        rig.d.start("code");
        HudPanel& panel = rig.hud.panel();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        XWindowAttributes attributes{};
        XGetWindowAttributes(m_display, panel.winId(), &attributes);
        QVERIFY(attributes.override_redirect);

        // Drawn and cut: the panel's corner shows the window below, the capsule is dark.
        const QRect capsule = panel.layout().capsule.toAlignedRect().translated(panel.pos());
        const QPoint corner = panel.geometry().topLeft() + QPoint(2, 2);
        const QPoint inside(capsule.left() + 6, capsule.center().y());
        QScreen* screen = panel.screen();
        const auto pixel = [&](QPoint p) {
            return screen->grabWindow(0, p.x(), p.y(), 1, 1).toImage().pixelColor(0, 0);
        };
        QTRY_VERIFY(qGray(pixel(inside).rgb()) < 60);
        QCOMPARE(pixel(corner), backdropColor);

        // The keyboard stays with the field.
        QCOMPARE(inputFocus(m_display), focused);
        QVERIFY(below.field.hasFocus());
        QCOMPARE(QGuiApplication::focusWindow(), below.windowHandle());

        // A click on the pill lands on the window below.
        const QPoint middle = capsule.center();
        QCOMPARE(QProcess::execute("xdotool", {"mousemove", QString::number(middle.x()),
                                               QString::number(middle.y()), "click", "1"}),
                 0);
        QTRY_COMPARE(below.presses, QList<QPoint>{middle});
        QVERIFY(panel.isVisible());
        QCOMPARE(inputFocus(m_display), focused);
    }

private:
    Display* m_display = nullptr;
};

QTEST_MAIN(HudOnX11Test)
#include "HudOnX11Test.moc"
