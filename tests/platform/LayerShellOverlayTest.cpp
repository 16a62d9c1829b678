// The pill's layer surface inside the headless sway of tests/tools/with-wayland.sh: it shows on
// screen (grim reads the screen back) above a focused GTK 4 entry, which keeps the keyboard.

#include "wayland/LayerShellOverlay.h"

#include "wayland/SwayWorkspace.h"
#include "wayland/WaylandConnection.h"

#include <QImage>
#include <QProcess>
#include <QTest>

using namespace quillet;

namespace {

// The screen as the compositor shows it now; null when grim fails.
QImage screen()
{
    QProcess grim;
    grim.start("grim", {"-"});
    if (!QTest::qWaitFor([&] { return grim.state() == QProcess::NotRunning; }, 10000))
        return {};
    return QImage::fromData(grim.readAllStandardOutput(), "PNG");
}

QImage picture(QColor color)
{
    QImage image(420, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

} // namespace

class LayerShellOverlayTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qEnvironmentVariable("XDG_CURRENT_DESKTOP") != u"sway")
            QSKIP("needs the session of tests/tools/with-wayland.sh");
    }

    void overEntry()
    {
        auto connection = WaylandConnection::open();
        QVERIFY(connection);
        LayerShellOverlay overlay(*connection);
        QVERIFY(overlay.isAvailable());

        QProcess entry;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GDK_BACKEND", "wayland");
        entry.setProcessEnvironment(env);
        entry.start("python3",
                    {qEnvironmentVariable("QUILLET_SOURCE_DIR") + "/tests/tools/gtk4-text.py"});
        SwayWorkspace workspace;
        const auto entryFocused = [&] {
            const auto front = workspace.frontApp();
            return front && front->pid == entry.processId();
        };
        QTRY_VERIFY_WITH_TIMEOUT(entryFocused(), 15000);

        // 28 above the bottom edge, centred: the middle of the pill.
        const auto middle = [](const QImage& shot) {
            return shot.pixelColor(shot.width() / 2, shot.height() - 28 - 32);
        };
        overlay.show(picture(Qt::magenta), 1, 28);
        QTRY_VERIFY_WITH_TIMEOUT(overlay.isConfigured(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(middle(screen()), QColor(Qt::magenta), 5000);
        // The next picture replaces it; the compositor gives the first buffer back.
        overlay.show(picture(Qt::cyan), 1, 28);
        QTRY_COMPARE_WITH_TIMEOUT(middle(screen()), QColor(Qt::cyan), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(overlay.buffersInUse(), 1, 5000);
        QVERIFY(entryFocused());

        overlay.hide();
        QTRY_VERIFY_WITH_TIMEOUT(middle(screen()) != QColor(Qt::cyan), 5000);
        QVERIFY(entryFocused());
        entry.kill();
        entry.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(LayerShellOverlayTest)
#include "LayerShellOverlayTest.moc"
