#include "shell/Shell.h"

#include "desktop/DesktopFixture.h"
#include "shell/MenuContent.h"
#include "shell/MenuIcon.h"
#include "util/Pending.h"
#include "util/QuietOffscreen.h"

#include <QApplication>
#include <QMenuBar>
#include <QVBoxLayout>

using namespace quillet;
using namespace quillet::test;

namespace {

using Missing = LaunchRule::Missing;

// The shell over the desktop fakes, with a stand-in settings window made on first use.
struct ShellRig : DesktopFixture {
    bool tray = true;
    int windowsMade = 0;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<Shell> shell;

    explicit ShellRig(bool withKey = true)
        : DesktopFixture(withKey)
    {}

    // Opens the stand-in window, making it when there is none.
    QWidget* showSettings()
    {
        if (!window) {
            ++windowsMade;
            window = std::make_unique<QWidget>();
            new QVBoxLayout(window.get());
        }
        window->show();
        return window.get();
    }

    Shell& launch()
    {
        Controller& controller = makeController();
        shell = std::make_unique<Shell>(Shell::Services{controller, store, keys, prefs, nullptr,
                                                        [this] { return showSettings(); }, [] {},
                                                        [this] { return tray; }});
        shell->launch();
        return *shell;
    }
    bool windowShown() const { return window && window->isVisible(); }
};

} // namespace

class ShellTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { quietOffscreen(); }

    // The order of what is missing, and the tray's part; the rest is checked below on the
    // running program.
    void launchRule()
    {
        struct Row {
            LaunchRule rule; // automation, ax, mic, key, showSettings, tray
            std::optional<Missing> missing;
            bool opens;
        };
        const QList<Row> rows = {
            {{false, false, false, false, false, true}, Missing::accessibility, true},
            {{false, true, false, false, false, true}, Missing::microphone, true},
            {{false, true, true, false, false, true}, Missing::speechKey, true},
            {{true, true, true, true, true, true}, {}, true},
            {{false, true, true, true, false, false}, {}, true},
            {{true, true, true, true, false, false}, {}, false},
        };
        for (const Row& row : rows) {
            QCOMPARE(row.rule.firstMissing(), row.missing);
            QCOMPARE(row.rule.opensSettings(), row.opens);
        }
    }

    // The rule fed from the running program: the controller's permissions, the keyring, the
    // launch switches.
    void launchOpensSettingsWhen()
    {
        struct Row {
            bool key;
            bool accessibility;
            QString argument; // "-name value" for this run
            bool opens;
        };
        const QList<Row> rows = {
            {true, true, "", false},
            {true, true, "showSettings true", true},
            {false, true, "", true},
            {true, false, "", true},
            {true, false, "selftest true", false},
            {true, false, "verifyUpdate x.zip", false},
        };
        for (const Row& row : rows) {
            ShellRig rig(row.key);
            rig.accessibility.available = row.accessibility;
            if (!row.argument.isEmpty())
                rig.prefs.setArgument(row.argument.section(' ', 0, 0),
                                      row.argument.section(' ', 1));
            rig.launch();
            QVERIFY2(rig.windowShown() == row.opens, qPrintable(row.argument));
            QCOMPARE(rig.windowsMade, row.opens ? 1 : 0);
        }
    }

    // A desktop without a tray: the window opens at launch and carries the menu; starting the
    // program again brings the same window back.
    void withoutTray()
    {
        ShellRig rig;
        rig.tray = false;
        Shell& shell = rig.launch();
        QVERIFY(!shell.hasTray());
        QVERIFY(rig.windowShown());
        const QList<QMenuBar*> bars = rig.window->findChildren<QMenuBar*>();
        QCOMPARE(bars.size(), 1);
        QCOMPARE(bars[0]->actions().size(), 1);
        QCOMPARE(bars[0]->actions()[0]->menu(), shell.menu().menu());
        QCOMPARE(rig.window->layout()->menuBar(), bars[0]);

        rig.window->hide();
        shell.activate();
        QVERIFY(rig.windowShown());
        QCOMPARE(rig.windowsMade, 1);
        QCOMPARE(rig.window->findChildren<QMenuBar*>().size(), 1);
    }

    // With a tray, another start opens the window too, and it carries no menu bar.
    void activateWithTray()
    {
        ShellRig rig;
        Shell& shell = rig.launch();
        QVERIFY(!rig.windowShown());
        shell.activate();
        QVERIFY(rig.windowShown());
        QVERIFY(rig.window->findChildren<QMenuBar*>().isEmpty());
        // "Settings…" in the menu does the same.
        rig.window->hide();
        const QList<QAction*> actions = shell.menu().menu()->actions();
        const auto settings = std::find_if(actions.begin(), actions.end(),
                                           [](QAction* a) { return a->text() == "Settings…"; });
        QVERIFY(settings != actions.end());
        (*settings)->trigger();
        QVERIFY(rig.windowShown());
    }

    // Filled while recording and processing, plain when idle.
    void trayIconFollowsThePhase()
    {
        ShellRig rig;
        rig.streams.answersAtOnce = false;
        Shell& shell = rig.launch();
        const auto icon = [&] { return shell.tray().icon().cacheKey(); };
        QCOMPARE(icon(), MenuIcon::idle().cacheKey());
        rig.dictation().start("quillet");
        QCOMPARE(icon(), MenuIcon::active().cacheKey());
        Pending<std::optional<Entry>> finish(rig.dictation().finish({}));
        QCOMPARE(rig.dictation().phase(), Dictation::Phase::processing);
        QCOMPARE(icon(), MenuIcon::active().cacheKey());
        rig.clock.advance(1);
        rig.streams.stream(0)->close();
        QTRY_VERIFY(finish.done());
        QCOMPARE(icon(), MenuIcon::idle().cacheKey());
        QVERIFY(MenuIcon::idle().cacheKey() != MenuIcon::active().cacheKey());
        QVERIFY(!MenuIcon::idle().pixmap(22).isNull());
        QVERIFY(!MenuIcon::active().pixmap(22).isNull());
    }
};

QTEST_MAIN(ShellTest)
#include "ShellTest.moc"
