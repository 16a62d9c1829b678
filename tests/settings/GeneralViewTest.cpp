#include "settings/GeneralView.h"

#include "SettingsFixture.h"
#include "settings/PermissionRow.h"
#include "settings/ProcessingSection.h"
#include "settings/SoundSettings.h"
#include "update/Updater.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSlider>

#include <functional>

using namespace quillet;
using namespace quillet::test;

namespace {

// An executable file `name` in `dir`.
void install(const QString& dir, const QString& name)
{
    writeFile(dir + u'/' + name, "#!/bin/sh\n");
    QFile::setPermissions(dir + u'/' + name, QFile::ReadOwner | QFile::ExeOwner);
}

} // namespace

class GeneralViewTest : public QObject {
    Q_OBJECT
private slots:
    // Each control writes its preference (or tells the controller).
    void controlsWritePreferences()
    {
        struct Row {
            const char* name;
            std::function<void(GeneralView&)> act;
            const char* key;
            QVariant stored;
        };
        const QList<Row> rows{
            {"push-to-talk key", [](GeneralView& v) { choose(v.hotkeyPicker(), "Right Super"); },
             "hotkey", 54},
            {"menu key", [](GeneralView& v) { choose(v.hotkeyPicker(), "Menu key"); }, "hotkey",
             63},
            {"tail", [](GeneralView& v) { v.tailSlider()->setValue(6); }, "tailSeconds", 0.3},
            {"longest tail", [](GeneralView& v) { v.tailSlider()->setValue(16); }, "tailSeconds",
             0.8},
            {"translate off",
             [](GeneralView& v) {
                 choose(v.processing()->translatePicker(), "Off — keep what I speak");
             },
             "translateTo", ""},
            {"translate",
             [](GeneralView& v) { choose(v.processing()->translatePicker(), "Spanish"); },
             "translateTo", "es"},
            {"cleanup", [](GeneralView& v) { v.processing()->cleanupToggle()->click(); }, "cleanup",
             false},
        };
        for (const Row& row : rows) {
            SettingsFixture f;
            f.prefs.setTranslateTo("fr");
            f.prefs.setTailSeconds(0.5);
            auto& view = f.open<GeneralView>(0);
            row.act(view);
            QCOMPARE(f.prefs.value(row.key).toString(), row.stored.toString());
        }
    }

    void keyAndTailShowTheirValues()
    {
        SettingsFixture f;
        f.prefs.setHotkey(62);
        f.prefs.setTailSeconds(0.45);
        f.desk.controller->setHotkey(HotKey::rightControl);
        auto& view = f.open<GeneralView>(0);
        QCOMPARE(view.hotkeyPicker()->currentText(), "Right Ctrl");
        QCOMPARE(view.tailLabel()->text(), "450 ms");
        QCOMPARE(view.tailSlider()->width(), 160);
        view.tailSlider()->setValue(0);
        QCOMPARE(view.tailLabel()->text(), "0 ms");
        QCOMPARE(f.desk.controller->hotkey(), HotKey::rightControl);
        choose(view.hotkeyPicker(), "Left Alt");
        QCOMPARE(f.desk.controller->hotkey(), HotKey::leftOption);
    }

    // "Languages you speak": the two-letter codes are stored once typing pauses; input without
    // one leaves the stored list alone.
    void languagesRule_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("codes and noise") << "EN, es fr x" << QStringList{"en", "es", "fr"};
        QTest::newRow("one") << "de" << QStringList{"de"};
        QTest::newRow("commas only") << " ,, ,pt,,it " << QStringList{"pt", "it"};
        QTest::newRow("a word") << "english" << QStringList{"ja", "zh"};
        QTest::newRow("nothing") << "" << QStringList{"ja", "zh"};
        QTest::newRow("a word that starts like a code") << "german" << QStringList{"ja", "zh"};
    }
    void languagesRule()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, stored);
        SettingsFixture f;
        f.prefs.setLanguages({"ja", "zh"});
        auto& view = f.open<GeneralView>(0);
        QCOMPARE(view.processing()->languagesField()->text(), "ja, zh");
        view.processing()->languagesField()->clear();
        QTest::keyClicks(view.processing()->languagesField(), typed);
        f.clock.advance(ProcessingSection::languagesPause);
        QCOMPARE(f.prefs.languages(), stored);
    }

    // A granted permission shows the check and no button; a missing one the button, whose
    // action fits the permission; a permission that arrives turns its row green.
    void permissionRows()
    {
        SettingsFixture f([](DesktopFixture& d) { d.audio.available = false; });
        auto& view = f.open<GeneralView>(0);
        PermissionRow* mic = view.microphoneRow();
        PermissionRow* ax = view.accessibilityRow();
        QVERIFY(ax->isOk());
        QVERIFY(!ax->openButton()->isVisibleTo(ax));
        QCOMPARE(ax->statusMark()->accessibleName(), "Allowed");
        QVERIFY(!mic->isOk());
        QVERIFY(mic->openButton()->isVisibleTo(mic));
        QCOMPARE(mic->openButton()->text(), "Open Settings");

        QTemporaryDir bin;
        install(bin.path(), "pavucontrol");
        {
            EnvGuard path("PATH", bin.path().toUtf8());
            EnvGuard desktop("XDG_CURRENT_DESKTOP", std::nullopt);
            mic->openButton()->click();
        }
        QCOMPARE(f.launched, QStringList{"pavucontrol"});
        QVERIFY(mic->note()->isHidden());
        {
            EnvGuard path("PATH", QTemporaryDir().path().toUtf8());
            mic->openButton()->click();
        }
        QVERIFY(mic->note()->text().startsWith("No sound settings found."));

        f.desk.audio.available = true;
        f.clock.advance(1.5);
        QVERIFY(mic->isOk());
        QVERIFY(!mic->openButton()->isVisibleTo(mic));
        QVERIFY(mic->note()->isHidden());
    }

    void accessibilitySettings()
    {
        SettingsFixture f([](DesktopFixture& d) { d.pasteSender.available = false; });
        f.keysReachApps = false;
        auto& view = f.open<GeneralView>(0);
        PermissionRow* ax = view.accessibilityRow();
        QVERIFY(!ax->isOk());
        ax->openButton()->click();
        QCOMPARE(f.accessibilityEnabled, 1);
        QVERIFY(ax->note()->text().contains("XTEST"));
        f.keysReachApps = true;
        ax->openButton()->click();
        QCOMPARE(f.accessibilityEnabled, 2);
        QVERIFY(ax->note()->text().startsWith("Accessibility is now on for your desktop."));
    }

    // Offered only by a build that can update itself.
    void autoUpdateToggle()
    {
        SettingsFixture plain;
        QVERIFY(!plain.open<GeneralView>(0).autoUpdateToggle());

        EnvGuard noKey("SONIOX_API_KEY", std::nullopt);
        StoreFixture data;
        QNetworkAccessManager network;
        ManualClock clock;
        Updater updater({"https://updates.example", "key", "id", 1, "/opt/Quillet.AppDir"},
                        *data.prefs, network, clock);
        QVERIFY(updater.canUpdate());
        SettingsFixture f({}, &updater);
        QCheckBox* toggle = f.open<GeneralView>(0).autoUpdateToggle();
        QVERIFY(toggle);
        QVERIFY(toggle->isChecked());
        toggle->click();
        QCOMPARE(f.prefs.autoUpdate(), false);
    }

    // "Launch at login" writes and removes the autostart entry and reads its state from it.
    void launchAtLogin()
    {
        SettingsFixture f;
        QCheckBox* toggle = f.open<GeneralView>(0).loginToggle();
        QVERIFY(!toggle->isChecked());
        toggle->click();
        const QByteArray entry = readFile(f.autostartFile());
        QVERIFY(entry.startsWith("[Desktop Entry]\n"));
        QVERIFY(entry.contains("\nExec=/opt/Quillet/quillet\n"));
        f.window->close();
        QTRY_VERIFY(!f.window->isOpen());
        QVERIFY(f.open<GeneralView>(0).loginToggle()->isChecked());
        f.window->view()->findChild<GeneralView*>()->loginToggle()->click();
        QVERIFY(!QFile::exists(f.autostartFile()));

        // An entry the desktop's own settings switched off.
        writeFile(f.autostartFile(), "[Desktop Entry]\nExec=quillet\nHidden=true\n");
        QVERIFY(!f.services().loginItem.isEnabled());
        writeFile(f.autostartFile(),
                  "[Desktop Entry]\nExec=quillet\nX-GNOME-Autostart-enabled=false\n");
        QVERIFY(!f.services().loginItem.isEnabled());
    }

    void execArgument_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << "/opt/Quillet.AppDir/usr/bin/quillet"
                               << "/opt/Quillet.AppDir/usr/bin/quillet";
        QTest::newRow("space") << "/home/ann/My Apps/quillet"
                               << "\"/home/ann/My Apps/quillet\"";
        QTest::newRow("percent") << "/tmp/100%/quillet"
                                 << "/tmp/100%%/quillet";
        QTest::newRow("dollar and quote") << "/a$b/\"q\""
                                          << "\"/a\\\\$b/\\\\\"q\\\\\"\"";
    }
    void execArgument()
    {
        QFETCH(QString, command);
        QFETCH(QString, exec);
        QCOMPARE(LoginItem::execArgument(command), exec);
    }

    // The sound settings that fit the desktop, else whichever is installed.
    void soundSettings_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("command");
        const QStringList all{"gnome-control-center", "systemsettings", "pavucontrol"};
        QTest::newRow("GNOME") << "ubuntu:GNOME" << all << "gnome-control-center sound";
        QTest::newRow("Plasma") << "KDE" << all << "systemsettings kcm_pulseaudio";
        QTest::newRow("Xfce") << "XFCE" << all << "pavucontrol";
        QTest::newRow("GNOME without its settings")
            << "GNOME" << QStringList{"systemsettings", "pavucontrol"} << "pavucontrol";
        QTest::newRow("Xfce with GNOME's only")
            << "XFCE" << QStringList{"gnome-control-center"} << "gnome-control-center sound";
        QTest::newRow("none") << "GNOME" << QStringList{} << "";
    }
    void soundSettings()
    {
        QFETCH(QString, desktop);
        QFETCH(QStringList, installed);
        QFETCH(QString, command);
        QTemporaryDir bin;
        for (const QString& program : installed)
            install(bin.path(), program);
        const auto found = SoundSettings::find(desktop, {bin.path()});
        QCOMPARE(found ? (QStringList{found->program} + found->arguments).join(u' ') : QString(),
                 command);
    }
};

QTEST_MAIN(GeneralViewTest)
#include "GeneralViewTest.moc"
