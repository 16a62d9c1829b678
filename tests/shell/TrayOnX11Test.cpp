#include "desktop/DesktopFixture.h"
#include "shell/MenuContent.h"
#include "shell/Shell.h"
#include "tools/RequireDesktop.h"

#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QVBoxLayout>

#include <X11/Xlib.h>

using namespace quillet;
using namespace quillet::test;

namespace {

// The shell with the desktop's real tray detection and a stand-in settings window.
struct TrayRig : DesktopFixture {
    QWidget window;
    std::unique_ptr<Shell> shell;

    Shell& launch()
    {
        new QVBoxLayout(&window);
        shell =
            std::make_unique<Shell>(Shell::Services{makeController(), store, keys, prefs, nullptr,
                                                    [this] {
                                                        window.show();
                                                        return &window;
                                                    },
                                                    [] {}});
        shell->launch();
        return *shell;
    }
};

// Where the icon's window sits on the screen once the tray host has taken it in; invalid
// before.
QRect dockedIcon()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->inherits("QSystemTrayIconSys") || !w->isVisible())
            continue;
        Display* display = XOpenDisplay(nullptr);
        ::Window child = 0;
        ::Window parent = 0;
        ::Window root = 0;
        ::Window* children = nullptr;
        unsigned count = 0;
        int x = 0;
        int y = 0;
        XQueryTree(display, w->winId(), &root, &parent, &children, &count);
        if (children)
            XFree(children);
        const bool docked = parent != root;
        XTranslateCoordinates(display, w->winId(), root, 0, 0, &x, &y, &child);
        XCloseDisplay(display);
        if (docked)
            return QRect(x, y, w->width(), w->height());
    }
    return {};
}

void click(QPoint at, int button)
{
    QCOMPARE(
        QProcess::execute("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()),
                                      "click", QString::number(button)}),
        0);
}

} // namespace

// The tray on a real X server: without a tray host the settings window stands in for it; with
// one (trayer, an XEmbed system tray) the icon docks and opens its menu on either click.
class TrayOnX11Test : public QObject {
    Q_OBJECT
public:
    static void initMain() { qputenv("QT_QPA_PLATFORM", "xcb"); }

private slots:
    void initTestCase() { QUILLET_REQUIRE_DESKTOP(); }

    void withoutTrayHost()
    {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        TrayRig rig;
        Shell& shell = rig.launch();
        QVERIFY(!shell.hasTray());
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    }

    void withTrayHost()
    {
        QProcess host;
        host.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                              "--width", "64", "--heighttype", "pixel", "--height", "24"});
        if (!host.waitForStarted())
            QSKIP("trayer is not installed");
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);

        TrayRig rig;
        Shell& shell = rig.launch();
        QVERIFY(shell.hasTray());
        QVERIFY(!rig.window.isVisible());
        QRect icon;
        QTRY_VERIFY((icon = dockedIcon()).isValid());
        // Inside the tray host's strip at the top right of the screen.
        QVERIFY2(icon.top() < 24 && icon.left() > 1280 - 64 - 1,
                 qPrintable(QString("%1,%2").arg(icon.x()).arg(icon.y())));

        QMenu* menu = shell.menu().menu();
        for (const int button : {1, 3}) {
            click(icon.center(), button);
            QTRY_VERIFY(menu->isVisible());
            QCOMPARE(menu->actions().first()->text(), "Hold Right Alt to dictate");
            menu->hide();
        }
        host.terminate();
        host.waitForFinished();
    }
};

QTEST_MAIN(TrayOnX11Test)
#include "TrayOnX11Test.moc"
