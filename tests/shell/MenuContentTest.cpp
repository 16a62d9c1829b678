#include "shell/MenuContent.h"

#include "desktop/DesktopFixture.h"
#include "store/ModeSettings.h"
#include "util/QuietOffscreen.h"

#include <QApplication>

using namespace quillet;
using namespace quillet::test;

namespace {

// One row as a line: its kind, text, and state.
QString describe(const MenuItem& item)
{
    using Kind = MenuItem::Kind;
    switch (item.kind) {
    case Kind::divider:
        return "—";
    case Kind::text:
        return item.text + (item.enabled ? "" : " (info)");
    case Kind::toggle:
        return (item.checked ? "[x] " : "[ ] ") + item.text;
    case Kind::picker: {
        QStringList choices;
        for (const MenuItem::Choice& c : item.choices)
            choices << (c.id == item.selected ? "*" : "") + c.name;
        return item.text + " > " + choices.join(", ");
    }
    case Kind::button:
        return item.text + (item.enabled ? "" : " (disabled)") +
               (item.shortcut.isEmpty() ? "" : "  " + item.shortcut.toString());
    }
    return {};
}

QStringList describe(const QList<MenuItem>& items)
{
    QStringList out;
    for (const MenuItem& item : items)
        out << describe(item);
    return out;
}

// What a QMenu holds, one line per entry.
QStringList describe(const QMenu& menu)
{
    QStringList out;
    for (const QAction* a : menu.actions()) {
        if (a->isSeparator())
            out << "—";
        else if (a->menu())
            out << a->text() + " >";
        else
            out << (a->isCheckable() ? (a->isChecked() ? "[x] " : "[ ] ") : "") + a->text();
    }
    return out;
}

QAction* action(QMenu& menu, const QString& text)
{
    for (QAction* a : menu.actions()) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

} // namespace

class MenuContentTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { quietOffscreen(); }

    // The rows for each combination of what the menu shows: the two hint lines and the per-app
    // switch always, then what depends on the facts, then Settings and Quit.
    void items()
    {
        struct Row {
            HotKey::Key key;
            QString name;
            QString facts; // any of: perApp perAppOff last canUpdate available busy
            QString middle;
        };
        const QList<Row> rows = {
            {HotKey::rightOption, "Right Alt", "", "[ ] Pick mode by app|—"},
            {HotKey::rightCommand, "Right Super", "perAppOff", "[ ] Pick mode by app|—"},
            {HotKey::fn, "Menu key", "perApp last",
             "[x] Pick mode by app|Mode in other apps > Quillet, Code, Chat, *Write|"
             "Paste last dictation|—"},
            {HotKey::rightControl, "Right Ctrl", "canUpdate",
             "[ ] Pick mode by app|—|Check for Updates…"},
            {HotKey::rightShift, "Right Shift", "canUpdate busy",
             "[ ] Pick mode by app|—|Check for Updates… (disabled)"},
            {HotKey::leftOption, "Left Alt", "canUpdate available",
             "[ ] Pick mode by app|—|Install update 1.4.0 (57)"},
            {HotKey::leftOption, "Left Alt", "canUpdate available busy",
             "[ ] Pick mode by app|—|Install update 1.4.0 (57) (disabled)"},
            {HotKey::leftOption, "Left Alt", "available", "[ ] Pick mode by app|—"},
        };
        for (const Row& row : rows) {
            const QStringList given = row.facts.split(' ');
            MenuContent::Facts facts;
            facts.hotkey = row.key;
            facts.modes = ModeSettings::defaults();
            facts.modes.otherApps = "write";
            if (given.contains("perApp") || given.contains("perAppOff"))
                facts.modes.perApp = given.contains("perApp");
            facts.hasLastEntry = given.contains("last");
            facts.canUpdate = given.contains("canUpdate");
            if (given.contains("available"))
                facts.available = Release{"1.4.0", 57, {}, {}};
            facts.updaterBusy = given.contains("busy");
            QCOMPARE(describe(MenuContent::items(facts)).join('|'),
                     "Hold " + row.name +
                         " to dictate (info)|Double-tap to lock · ⇧ switches mode (info)|—|" +
                         row.middle + "|Settings…  Ctrl+,|Quit Quillet  Ctrl+Q");
        }
    }

    // The live menu over the controller and the store: switches write through the store, the
    // menu follows their values, and the buttons reach the controller and the shell.
    void liveMenu()
    {
        DesktopFixture f;
        Controller& controller = f.makeController();
        int settingsOpened = 0;
        int quits = 0;
        MenuContent content(
            {controller, f.store, nullptr, [&] { ++settingsOpened; }, [&] { ++quits; }});
        QMenu& menu = *content.menu();
        QCOMPARE(describe(menu),
                 QStringList({"Hold Right Alt to dictate", "Double-tap to lock · ⇧ switches mode",
                              "—", "[ ] Pick mode by app", "—", "Settings…", "Quit Quillet"}));

        action(menu, "Pick mode by app")->trigger();
        QCOMPARE(f.store.modes().perApp, std::optional(true));
        QMenu* picker = action(menu, "Mode in other apps")->menu();
        QVERIFY(picker);
        action(*picker, "Chat")->trigger();
        QCOMPARE(f.store.modes().otherApps, "chat");
        QVERIFY(action(*action(menu, "Mode in other apps")->menu(), "Chat")->isChecked());

        controller.setHotkey(HotKey::rightControl);
        QCOMPARE(menu.actions().first()->text(), "Hold Right Ctrl to dictate");

        // The first dictation of the run brings "Paste last dictation", which pastes it again.
        QVERIFY(!action(menu, "Paste last dictation"));
        f.hold(1, HotKey::rightControl);
        QVERIFY(f.settle());
        QTRY_COMPARE(f.pasteSender.chords.size(), 1);
        QAction* paste = action(menu, "Paste last dictation");
        QVERIFY(paste);
        paste->trigger();
        QTRY_COMPARE(f.pasteSender.chords.size(), 2);

        action(menu, "Settings…")->trigger();
        action(menu, "Quit Quillet")->trigger();
        QCOMPARE(settingsOpened, 1);
        QCOMPARE(quits, 1);
    }
};

QTEST_MAIN(MenuContentTest)
#include "MenuContentTest.moc"
