#include "settings/ModesView.h"

#include "SettingsFixture.h"
#include "settings/AppModesSection.h"
#include "settings/StyleEditor.h"
#include "store/StyleHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

using namespace quillet;
using namespace quillet::test;

namespace {

QStringList rowNames(QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

void click(QListWidget* list, int row)
{
    emit list->itemClicked(list->item(row));
}

// The editor on screen (a closed one lingers until the event loop deletes it).
StyleEditor* openEditor(QWidget* window)
{
    for (StyleEditor* editor : window->findChildren<StyleEditor*>()) {
        if (editor->isVisible())
            return editor;
    }
    return nullptr;
}

} // namespace

class ModesViewTest : public QObject {
    Q_OBJECT
private slots:
    // A row opens the editor on a copy: "Cancel" stores nothing, "Save" stores the copy.
    void editingAMode()
    {
        SettingsFixture f;
        auto& view = f.open<ModesView>(4);
        QCOMPARE(rowNames(view.list()), QStringList({"Quillet", "Code", "Chat", "Write"}));

        click(view.list(), 1);
        emit view.list()->itemActivated(view.list()->item(1)); // the same click, on some styles
        QCOMPARE(f.window->view()->findChildren<StyleEditor*>().size(), 1);
        StyleEditor* editor = openEditor(f.window->view());
        QCOMPARE(editor->windowModality(), Qt::WindowModal);
        QCOMPARE(editor->nameField()->text(), "Code");
        QVERIFY(editor->resetButton());
        QVERIFY(editor->deleteButton());
        QTest::keyClicks(editor->nameField(), " review");
        editor->cancelButton()->click();
        QVERIFY(!openEditor(f.window->view()));
        QCOMPARE(f.store.modes().styles[1].name, "Code");

        click(view.list(), 1);
        editor = openEditor(f.window->view());
        editor->nameField()->clear();
        QTest::keyClicks(editor->nameField(), "Review");
        editor->fastToggle()->click();
        editor->setColor(QColor(0x12, 0xab, 0xef, 0x40));
        editor->saveButton()->click();
        const Style saved = f.store.modes().styles[1];
        QCOMPARE(saved.name, "Review");
        QCOMPARE(saved.color, "#12ABEF");
        QVERIFY(saved.fast);
        QCOMPARE(saved.edited, std::optional(true));
        QCOMPARE(rowNames(view.list()), QStringList({"Quillet", "Review", "Chat", "Write"}));
    }

    // "Add mode" opens the template; nothing is stored until "Save".
    void addingAMode()
    {
        SettingsFixture f;
        auto& view = f.open<ModesView>(4);
        view.addButton()->click();
        StyleEditor* editor = openEditor(f.window->view());
        QCOMPARE(editor->nameField()->text(), "New mode");
        QCOMPARE(editor->colorButton()->text(), "#6366F1");
        QVERIFY(!editor->resetButton());
        QVERIFY(!editor->deleteButton());
        QCOMPARE(f.store.modes().styles.size(), 4);
        editor->instructionsEditor()->setPlainText("Make it rhyme.");
        editor->saveButton()->click();
        QCOMPARE(f.store.modes().styles.size(), 5);
        QCOMPARE(f.store.modes().styles.last().instructions, "Make it rhyme.");
        QCOMPARE(f.store.modes().styles.last().edited, std::nullopt);
        QCOMPARE(view.list()->count(), 5);
    }

    // "Reset to default" brings back the built-in definition into the copy; "Delete mode"
    // removes the mode at once.
    void resetAndDelete()
    {
        SettingsFixture f;
        Style write = f.store.modes().styles[3];
        write.name = "Prose";
        write.instructions = "Mine.";
        QVERIFY(f.store.saveStyle(write).ok());
        auto& view = f.open<ModesView>(4);
        click(view.list(), 3);
        StyleEditor* editor = openEditor(f.window->view());
        editor->resetButton()->click();
        QCOMPARE(editor->nameField()->text(), "Write");
        QVERIFY(editor->instructionsEditor()->toPlainText().startsWith("Turn the dictated speech"));
        QCOMPARE(f.store.modes().styles[3].name, "Prose"); // not stored yet
        editor->saveButton()->click();
        QCOMPARE(f.store.modes().styles[3].name, "Write");
        QCOMPARE(f.store.modes().styles[3].edited, std::optional(false));

        click(view.list(), 2);
        openEditor(f.window->view())->deleteButton()->click();
        QCOMPARE(idsOf(f.store.modes().styles), QStringList({"quillet", "code", "write"}));
        QCOMPARE(rowNames(view.list()), QStringList({"Quillet", "Code", "Write"}));
    }

    void colorText_data()
    {
        QTest::addColumn<QColor>("color");
        QTest::addColumn<QString>("text");
        QTest::newRow("upper case") << QColor(59, 130, 246) << "#3B82F6";
        QTest::newRow("padded") << QColor(0, 10, 1) << "#000A01";
        QTest::newRow("alpha dropped") << QColor(255, 107, 74, 12) << "#FF6B4A";
        QTest::newRow("from HSV") << QColor::fromHsv(0, 255, 255) << "#FF0000";
    }
    void colorText()
    {
        QFETCH(QColor, color);
        QFETCH(QString, text);
        QCOMPARE(StyleEditor::colorText(color), text);
    }

    // A row dragged to another place is stored there.
    void dragToReorder()
    {
        SettingsFixture f;
        auto& view = f.open<ModesView>(4);
        QAbstractItemModel* model = view.list()->model();
        QVERIFY(model->moveRows({}, 3, 1, {}, 1)); // "Write" dropped before "Code"
        QTRY_COMPARE(idsOf(f.store.modes().styles),
                     QStringList({"quillet", "write", "code", "chat"}));
        QVERIFY(model->moveRows({}, 0, 1, {}, 4)); // "Quillet" to the end
        QTRY_COMPARE(idsOf(f.store.modes().styles),
                     QStringList({"write", "code", "chat", "quillet"}));
        QCOMPARE(rowNames(view.list()), QStringList({"Write", "Code", "Chat", "Quillet"}));
    }

    // The per-application table: shown while the toggle is on, each control one store change.
    void appTable()
    {
        SettingsFixture f;
        QVERIFY(f.store
                    .changeModes([](ModeSettings& m) {
                        m.apps = {{"Slack", "chat"}, {"gedit", "write"}};
                    })
                    .ok());
        AppModesSection* apps = f.open<ModesView>(4).apps();
        QVERIFY(!apps->table()->isVisibleTo(apps));
        QVERIFY(apps->footer()->text().startsWith("Every dictation starts in Quillet."));

        apps->perAppToggle()->click();
        QCOMPARE(f.store.modes().perApp, std::optional(true));
        QVERIFY(apps->table()->isVisibleTo(apps));
        QVERIFY(apps->footer()->text().startsWith("In a browser, Google Docs and Gmail"));
        const QList<QLabel*> names = apps->rows()->findChildren<QLabel*>();
        QCOMPARE(names.size(), 2);
        QCOMPARE(names[0]->text(), "gedit"); // no name known: the id
        QCOMPARE(names[1]->text(), "Slack Desktop");

        choose(named<QComboBox>(apps->rows(), "Mode for gedit"), "Code");
        QCOMPARE(f.store.modes().apps.value("gedit"), "code");
        choose(apps->otherAppsPicker(), "Write");
        QCOMPARE(f.store.modes().otherApps, "write");
        named<QToolButton>(apps->rows(), "Remove Slack Desktop")->click();
        QCOMPARE(f.store.modes().apps.keys(), QStringList{"gedit"});
        QCOMPARE(apps->rows()->findChildren<QLabel*>().size(), 1);
        apps->restoreButton()->click();
        QVERIFY(f.store.modes().apps.contains("Slack"));
        QCOMPARE(f.store.modes().apps.value("gedit"), "code");

        apps->perAppToggle()->click();
        QCOMPARE(f.store.modes().perApp, std::optional(false));
        QVERIFY(!apps->table()->isVisibleTo(apps));
    }

    // "Add an app…" lists the open applications not listed yet, not Quillet itself, by name
    // ignoring case; choosing one adds it with the mode of every other app.
    void addingAnApp()
    {
        SettingsFixture f;
        QVERIFY(f.store
                    .changeModes([](ModeSettings& m) {
                        m.apps = {{"Slack", "chat"}};
                        m.otherApps = "write";
                        m.perApp = true;
                    })
                    .ok());
        f.desk.workspace.running = {{"firefox", "Firefox"},
                                    {"slack", "Slack"},
                                    {QCoreApplication::applicationName(), "Quillet"},
                                    {"org.gnome.TextEditor", "text Editor"},
                                    {"Gimp", "GNU Image Manipulation Program"}};
        AppModesSection* apps = f.open<ModesView>(4).apps();
        QMenu* menu = apps->addAppButton()->menu();
        emit menu->aboutToShow();
        QStringList offered;
        for (QAction* action : menu->actions())
            offered << action->text();
        QCOMPARE(offered,
                 QStringList({"Firefox", "GNU Image Manipulation Program", "text Editor"}));
        menu->actions().at(2)->trigger();
        QCOMPARE(f.store.modes().apps.value("org.gnome.TextEditor"), "write");
    }
};

QTEST_MAIN(ModesViewTest)
#include "ModesViewTest.moc"
