#include "xdg/DesktopEntries.h"

#include "util/TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace quillet;

namespace {

QByteArray entry(const QByteArray& lines)
{
    return "[Desktop Entry]\nType=Application\n" + lines + "\n";
}

} // namespace

class DesktopEntriesTest : public QObject {
    Q_OBJECT
private slots:
    void lookups_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("classes");
        QTest::addColumn<QString>("name"); // "-" for none
        const auto row = [](const char* name, const char* locale, QStringList classes,
                            const char* expected) {
            QTest::newRow(name) << QString(locale) << classes << QString(expected);
        };
        row("by StartupWMClass", "C", {"Gnome-terminal-server"}, "Terminal");
        row("StartupWMClass ignoring case", "C", {"GNOME-TERMINAL-SERVER"}, "Terminal");
        row("by file name", "C", {"firefox-esr"}, "Firefox ESR");
        row("file name ignoring case", "C", {"Firefox-ESR"}, "Firefox ESR");
        row("a class before the instance", "C", {"nothing", "firefox-esr"}, "Firefox ESR");
        row("StartupWMClass beats a file name", "C", {"editor"}, "Text Editor");
        row("lang_COUNTRY", "de_DE.UTF-8", {"firefox-esr"}, "Firefox ESR (Deutschland)");
        row("lang", "de_AT.UTF-8", {"firefox-esr"}, "Firefox ESR (Deutsch)");
        row("lang@modifier", "sr_RS@latin", {"firefox-esr"}, "Firefox ESR (latinica)");
        row("no translation", "fr_FR.UTF-8", {"firefox-esr"}, "Firefox ESR");
        row("escapes", "C", {"escaped"}, "Two  Spaces");
        row("home hides system", "C", {"shadowed"}, "Mine");
        row("hidden entry hides system", "C", {"removed"}, "-");
        row("in a subfolder", "C", {"kde4-okular"}, "Okular");
        row("action groups do not count", "C", {"actions"}, "Main");
        row("no name", "C", {"nameless"}, "-");
        row("unknown", "C", {"nothing"}, "-");
    }
    void lookups()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, classes);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString home = dir.path() + "/home";
        const QString system = dir.path() + "/system";
        writeFile(system + "/applications/org.gnome.Terminal.desktop",
                  entry("Name=Terminal\nStartupWMClass=Gnome-terminal-server"));
        writeFile(system + "/applications/firefox-esr.desktop",
                  entry("Name=Firefox ESR\nName[de]=Firefox ESR (Deutsch)\n"
                        "Name[de_DE]=Firefox ESR (Deutschland)\n"
                        "Name[sr@latin]=Firefox ESR (latinica)"));
        writeFile(system + "/applications/editor.desktop", entry("Name=Editor file"));
        writeFile(system + "/applications/org.gnome.TextEditor.desktop",
                  entry("Name=Text Editor\nStartupWMClass=editor"));
        writeFile(system + "/applications/escaped.desktop", entry("Name=Two\\s\\sSpaces"));
        writeFile(system + "/applications/shadowed.desktop", entry("Name=System"));
        writeFile(home + "/applications/shadowed.desktop", entry("Name=Mine"));
        writeFile(system + "/applications/removed.desktop", entry("Name=Removed"));
        writeFile(home + "/applications/removed.desktop", entry("Name=Removed\nHidden=true"));
        writeFile(system + "/applications/kde4/okular.desktop", entry("Name=Okular"));
        writeFile(system + "/applications/actions.desktop",
                  entry("Name=Main") + "[Desktop Action new]\nName=Action\n");
        writeFile(system + "/applications/nameless.desktop", entry("Exec=true"));

        DesktopEntries entries({home, system}, locale);
        QCOMPARE(entries.displayName(classes).value_or("-"), name);
    }

    // An application installed while we run is found on the next lookup.
    void installedLater()
    {
        QTemporaryDir dir;
        const QString apps = dir.path() + "/applications";
        writeFile(apps + "/one.desktop", entry("Name=One"));
        DesktopEntries entries({dir.path()}, "C");
        QCOMPARE(entries.displayName({"two"}), std::nullopt);
        writeFile(apps + "/two.desktop", entry("Name=Two"));
        // The folder's time may not have moved within the same instant; move it on.
        struct stat info {};
        QVERIFY(stat(QFile::encodeName(apps).constData(), &info) == 0);
        const struct timespec times[2] = {{info.st_atime, 0}, {info.st_mtime + 5, 0}};
        QVERIFY(utimensat(AT_FDCWD, QFile::encodeName(apps).constData(), times, 0) == 0);
        QCOMPARE(entries.displayName({"two"}), QString("Two"));
    }
};

QTEST_GUILESS_MAIN(DesktopEntriesTest)
#include "DesktopEntriesTest.moc"
