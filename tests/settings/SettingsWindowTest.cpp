#include "settings/SettingsWindow.h"

#include "SettingsFixture.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>

using namespace quillet;
using namespace quillet::test;

class SettingsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void windowAndTabs()
    {
        SettingsFixture f;
        QVERIFY(!f.window->view()); // nothing is built before it is first shown
        f.window->show();
        SettingsView* view = f.window->view();
        QVERIFY(view);
        QCOMPARE(view->windowTitle(), "Quillet");
        QCOMPARE(view->size(), QSize(600, 560));
        QTabBar* bar = view->tabWidget()->tabBar();
        QStringList labels;
        for (int i = 0; i < bar->count(); ++i)
            labels << bar->tabText(i);
        QCOMPARE(labels, QStringList({"General", "Modes", "Dictionary", "History", "Account"}));
        // Only the tab on screen is built.
        QCOMPARE(view->currentTag(), 0);
        QCOMPARE(view->findChildren<QLineEdit*>().size(), 1); // "Languages you speak"
    }

    // Choosing a tab stores its tag; the next window opens on it.
    void tabTags_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("tag");
        QTest::newRow("General") << "General" << 0;
        QTest::newRow("Modes") << "Modes" << 4;
        QTest::newRow("Dictionary") << "Dictionary" << 1;
        QTest::newRow("History") << "History" << 2;
        QTest::newRow("Account") << "Account" << 3;
    }
    void tabTags()
    {
        QFETCH(QString, label);
        QFETCH(int, tag);
        SettingsFixture f;
        f.prefs.setSettingsTab(label == u"General" ? 3 : 0);
        f.window->show();
        QTabWidget* tabs = f.window->view()->tabWidget();
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->tabText(i) == label)
                tabs->setCurrentIndex(i);
        }
        QCOMPARE(f.prefs.settingsTab(), tag);
        f.window->close();
        QTRY_VERIFY(!f.window->view());
        f.window->show();
        tabs = f.window->view()->tabWidget();
        QCOMPARE(tabs->tabText(tabs->currentIndex()), label);
    }

    // The shell opens a tab by its tag (a missing key: Account) without storing the choice; the
    // launch option "-settingsTab" names the tab of the first opening; an unknown tag opens
    // General.
    void openingOnATab()
    {
        SettingsFixture f;
        f.window->show(3);
        QCOMPARE(f.window->view()->currentTag(), 3);
        QCOMPARE(f.prefs.settingsTab(), 0);
        f.window->show(4); // already open: brought forward on the tab
        QCOMPARE(f.window->view()->currentTag(), 4);

        SettingsFixture launch;
        launch.prefs.setArgument("settingsTab", "4");
        launch.window->show();
        QCOMPARE(launch.window->view()->currentTag(), 4);

        SettingsFixture unknown;
        unknown.prefs.setSettingsTab(9);
        unknown.window->show();
        QCOMPARE(unknown.window->view()->currentTag(), 0);
    }

    // Closing frees the window; the shell hears of both.
    void closeFrees()
    {
        SettingsFixture f;
        QSignalSpy open(f.window.get(), &SettingsWindow::openChanged);
        f.window->show();
        QPointer<SettingsView> view = f.window->view();
        f.window->close();
        QTRY_VERIFY(!view);
        QVERIFY(!f.window->isOpen());
        QCOMPARE(open.size(), 2);
        QCOMPARE(open.at(0).at(0).toBool(), true);
        QCOMPARE(open.at(1).at(0).toBool(), false);
    }

    // 0.15 s after the window appears no field holds the focus.
    void focusDrop()
    {
        SettingsFixture f;
        f.window->show(1);
        SettingsView* view = f.window->view();
        QVERIFY(QTest::qWaitForWindowActive(view));
        auto* field = view->findChild<QLineEdit*>();
        field->setFocus();
        QCOMPARE(view->focusWidget(), field);
        f.clock.advance(0.149);
        QCOMPARE(view->focusWidget(), field);
        f.clock.advance(0.001);
        QCOMPARE(view->focusWidget(), nullptr);
        // Tabs still change from the keyboard; the choice is stored.
        QTest::keyClick(view, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(view->currentTag(), 2);
        QTest::keyClick(view, Qt::Key_PageUp, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(view->currentTag(), 4);
        QCOMPARE(f.prefs.settingsTab(), 4);
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
