#include "xdg/ProcessAppId.h"

#include <QTest>

using namespace quillet;

class ProcessAppIdTest : public QObject {
    Q_OBJECT
private slots:
    void fromCgroup_data()
    {
        QTest::addColumn<QString>("cgroup");
        QTest::addColumn<QString>("appId"); // empty: none
        const QString user = QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/");
        QTest::newRow("gnome scope")
            << user + "app.slice/app-gnome-org.gnome.TextEditor-4321.scope\n"
            << "org.gnome.TextEditor";
        QTest::newRow("kde service") << user + "app.slice/app-org.kde.konsole@3a0f1c.service\n"
                                     << "org.kde.konsole";
        QTest::newRow("service without random part") << user + "app.slice/app-org.kde.kate.service"
                                                     << "org.kde.kate";
        QTest::newRow("flatpak") << user + "app.slice/app-flatpak-org.mozilla.firefox-99.scope"
                                 << "org.mozilla.firefox";
        QTest::newRow("dash inside the id") << user + "app.slice/app-gnome-firefox\\x2desr-99.scope"
                                            << "firefox-esr";
        QTest::newRow("application slice")
            << user + "app.slice/app-org.gnome.Terminal.slice/gnome-terminal-server.service"
            << "org.gnome.Terminal";
        QTest::newRow("cgroup v1")
            << "12:pids:/user.slice\n1:name=systemd:/user.slice/user-1000.slice/user@1000.service/"
               "app.slice/app-gnome-org.gnome.Nautilus-5.scope\n"
            << "org.gnome.Nautilus";
        QTest::newRow("login session") << "0::/user.slice/user-1000.slice/session-2.scope\n"
                                       << "";
        QTest::newRow("unreadable") << ""
                                    << "";
    }
    void fromCgroup()
    {
        QFETCH(QString, cgroup);
        QFETCH(QString, appId);
        QCOMPARE(ProcessAppId::fromCgroup(cgroup).value_or(QString()), appId);
    }
};

QTEST_GUILESS_MAIN(ProcessAppIdTest)
#include "ProcessAppIdTest.moc"
