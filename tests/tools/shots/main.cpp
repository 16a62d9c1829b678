// Renders the pictures of the README under an X server: the pill in each of its states over a
// plain backdrop, and any window by its id. scripts/screenshots.sh drives it.
//   shots pill DIR          writes DIR/pill-<state>.png
//   shots window WID FILE   writes the window's content to FILE

#include "hud/HudPanel.h"
#include "hud/PillState.h"
#include "store/ModeRules.h"
#include "store/ModeSettings.h"
#include "x11/X11Compositor.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>

using namespace quillet;

namespace {

// A light wallpaper for the pill to float over.
class Backdrop : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QLinearGradient g(rect().topLeft(), rect().bottomRight());
        g.setColorAt(0, QColor(0xe4, 0xea, 0xf1));
        g.setColorAt(1, QColor(0xb7, 0xc4, 0xd3));
        p.fillRect(rect(), g);
    }
};

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Shot {
    const char* name;
    QString mode;
    Dictation::Phase phase;
    QString liveText;
    bool locked;
    bool lagging;
    double level;
    QString toast;
};

int pill(const QString& dir)
{
    QDir().mkpath(dir);
    Backdrop backdrop;
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop.show();

    const QList<Style> styles = ModeSettings::defaults().styles;
    const QList<Shot> shots = {
        {"recording",
         "code",
         Dictation::Phase::recording,
         "fix the login crash and add a test for it",
         false,
         false,
         0.3,
         {}},
        {"locked", "quillet", Dictation::Phase::recording, {}, true, false, 0.2, {}},
        {"processing", "write", Dictation::Phase::processing, {}, false, false, 0, {}},
        {"toast",
         "quillet",
         Dictation::Phase::recording,
         {},
         false,
         false,
         0,
         "Learned Kubernetes"},
        {"lagging",
         "chat",
         Dictation::Phase::recording,
         "so I was thinking we could meet at the usual place around seven",
         false,
         true,
         0.5,
         {}},
    };
    HudPanel panel;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint origin(screen.center().x() - panel.width() / 2, screen.center().y());
    for (const Shot& shot : shots) {
        PillState state;
        state.bound = true;
        state.phase = shot.phase;
        state.mode = resolveStyle(shot.mode, styles);
        state.liveText = shot.liveText;
        state.locked = shot.locked;
        state.lagging = shot.lagging;
        state.toast = shot.toast;
        panel.hide();
        panel.setCompositing(X11Compositor::isRunning());
        panel.setState(state);
        panel.setLevel(shot.level);
        panel.move(origin);
        panel.show();
        settle(300);
        const QRect area = panel.geometry().adjusted(-16, -8, 16, 8);
        const QString file = QDir(dir).filePath(QStringLiteral("pill-%1.png").arg(shot.name));
        if (!QGuiApplication::primaryScreen()
                 ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                 .save(file)) {
            std::fprintf(stderr, "shots: cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}

int window(const QString& id, const QString& file)
{
    bool ok = false;
    const WId wid = id.toULongLong(&ok, 0);
    if (!ok)
        return 2;
    if (!QGuiApplication::primaryScreen()->grabWindow(wid).save(file)) {
        std::fprintf(stderr, "shots: cannot grab window %s\n", qPrintable(id));
        return 1;
    }
    std::printf("%s\n", qPrintable(file));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    if (args.size() == 2 && args[0] == u"pill")
        return pill(args[1]);
    if (args.size() == 3 && args[0] == u"window")
        return window(args[1], args[2]);
    std::fprintf(stderr, "usage: shots pill DIR | shots window WID FILE\n");
    return 2;
}
