#include "platform/Workspace.h"

#include <QTest>

using namespace quillet;

class WorkspaceTest : public QObject {
    Q_OBJECT
private slots:
    void terminalTarget_data()
    {
        QTest::addColumn<QString>("appId"); // empty: no front application
        QTest::addColumn<bool>("knownTerminal");
        QTest::addColumn<QStringList>("terminalApps");
        QTest::addColumn<bool>("focusedIsTerminal");
        QTest::addColumn<bool>("terminal");
        const auto row = [](const char* name, const char* appId, bool known, QStringList listed,
                            bool focused, bool expected) {
            QTest::newRow(name) << QString(appId) << known << listed << focused << expected;
        };
        row("editor", "Gedit", false, {"Kitty"}, false, false);
        row("known to the adapter", "XTerm", true, {}, false, true);
        row("listed by the user", "Emacs", false, {"emacs", "Foo"}, false, true);
        row("focused element is a terminal", "Code", false, {}, true, true);
        row("no front application", "", false, {"Emacs"}, false, false);
        row("no front application, terminal focused", "", false, {}, true, true);
    }
    void terminalTarget()
    {
        QFETCH(QString, appId);
        QFETCH(bool, knownTerminal);
        QFETCH(QStringList, terminalApps);
        QFETCH(bool, focusedIsTerminal);
        QFETCH(bool, terminal);
        std::optional<FrontApp> app;
        if (!appId.isEmpty())
            app = FrontApp{appId, 1, appId, "title", knownTerminal};
        QCOMPARE(isTerminalTarget(app, terminalApps, focusedIsTerminal), terminal);
    }
};

QTEST_GUILESS_MAIN(WorkspaceTest)
#include "WorkspaceTest.moc"
