#include "settings/IntegrationSection.h"

#include "SettingsFixture.h"
#include "settings/GeneralView.h"

#include <QClipboard>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

using namespace quillet;
using namespace quillet::test;

namespace {

using Row = DesktopIntegration::Row;
using Fix = Row::Fix;

// Rows the test sets; allowTyping() is counted and may run a test's reaction.
class FakeIntegration : public DesktopIntegration {
public:
    QList<Row> list;
    int allowed = 0;
    std::function<void()> onAllow;

    QList<Row> rows() const override { return list; }
    void allowTyping() override
    {
        ++allowed;
        if (onAllow)
            onAllow();
    }
    void set(QList<Row> rows)
    {
        list = std::move(rows);
        emit changed();
    }
};

const Row swayKey{"Push-to-talk key",
                  "Shortcut commands (quillet ptt, quillet toggle)",
                  false,
                  "sway does not pass the key to other programs; bind it in sway's configuration.",
                  Fix::copyCommand,
                  "Copy sway lines",
                  "bindsym --no-repeat Super_R exec quillet ptt press"};
const Row paste{"Pasting", "Virtual keyboard", true, {}, Fix::none, {}, {}};

// What a row shows, in order: its visible texts, then its button, then its mark.
QStringList shown(IntegrationRow* row)
{
    QStringList texts;
    for (QLabel* label : row->findChildren<QLabel*>()) {
        if (label->isVisibleTo(row) && !label->text().isEmpty())
            texts << label->text();
    }
    if (row->fixButton())
        texts << "[" + row->fixButton()->text() + "]";
    texts << row->statusMark()->accessibleName();
    return texts;
}

struct Launcher {
    QStringList started;
    bool works = true;
    IntegrationRow::Launch launch()
    {
        return [this](const QString& program, const QStringList& arguments) {
            started << (QStringList{program} + arguments).join(u' ');
            return works;
        };
    }
};

} // namespace

class IntegrationSectionTest : public QObject {
    Q_OBJECT
private slots:
    void rowsShowTheirTexts()
    {
        const struct {
            Row row;
            QStringList shown;
        } table[] = {
            {swayKey,
             {"Push-to-talk key", "Shortcut commands (quillet ptt, quillet toggle)",
              "sway does not pass the key to other programs; bind it in sway's configuration.",
              "[Copy sway lines]", "Not working"}},
            {paste, {"Pasting", "Virtual keyboard", "Works"}},
            {{"Pasting",
              "Typing through the desktop portal",
              false,
              "GNOME asks once whether Quillet may type.",
              Fix::allowTyping,
              "Ask Again",
              {}},
             {"Pasting", "Typing through the desktop portal",
              "GNOME asks once whether Quillet may type.", "[Ask Again]", "Not working"}},
            {{"Floating pill", "Xwayland window", true, "Without Xwayland only the tray shows.",
              Fix::runCommand, "Install", "pkexec apt-get install xwayland"},
             {"Floating pill", "Xwayland window", "Without Xwayland only the tray shows.",
              "[Install]", "Works"}},
        };
        FakeIntegration integration;
        for (const auto& entry : table)
            integration.list << entry.row;
        ManualClock clock;
        IntegrationSection section(integration, clock, {});
        const QList<IntegrationRow*> rows = section.rows();
        QCOMPARE(rows.size(), std::size(table));
        for (qsizetype i = 0; i < rows.size(); ++i)
            QCOMPARE(shown(rows[i]), table[i].shown);
        QVERIFY(rows[0]->findChild<QLabel*>()->font().bold());
    }

    // Each kind of fix does its part: copying says so for a moment, a program that does not
    // start says so until one does, asking again reaches the integration.
    void fixes()
    {
        FakeIntegration integration;
        const Row run{"Front application",
                      "None",
                      false,
                      {},
                      Fix::runCommand,
                      "Turn On",
                      "gsettings  set org.gnome.desktop.a11y toolkit-accessibility true"};
        const Row allow{"Pasting", "Portal", false, {}, Fix::allowTyping, "Ask Again", {}};
        integration.list = {swayKey, run, allow};
        ManualClock clock;
        Launcher launcher;
        IntegrationSection section(integration, clock, launcher.launch());
        QPushButton* copy = section.rows()[0]->fixButton();
        const int width = copy->sizeHint().width();
        copy->click();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 "bindsym --no-repeat Super_R exec quillet ptt press");
        QCOMPARE(copy->text(), "Copied");
        QVERIFY(copy->sizeHint().width() <= width);
        clock.advance(1.4);
        QCOMPARE(copy->text(), "Copied");
        clock.advance(0.1);
        QCOMPARE(copy->text(), "Copy sway lines");

        IntegrationRow* runRow = section.rows()[1];
        launcher.works = false;
        runRow->fixButton()->click();
        QVERIFY(runRow->error()->isVisibleTo(runRow));
        QCOMPARE(runRow->error()->text(),
                 "Could not start “gsettings  set org.gnome.desktop.a11y toolkit-accessibility "
                 "true”. Run it in a terminal to see why.");
        launcher.works = true;
        runRow->fixButton()->click();
        QVERIFY(!runRow->error()->isVisibleTo(runRow));
        const QString started = "gsettings set org.gnome.desktop.a11y toolkit-accessibility true";
        QCOMPARE(launcher.started, QStringList({started, started}));

        // The desktop answers at once, from within the click.
        integration.onAllow = [&] {
            integration.set({swayKey, run, {"Pasting", "Portal", true, {}, Fix::none, {}, {}}});
        };
        section.rows()[2]->fixButton()->click();
        QCOMPARE(integration.allowed, 1);
        QCOMPARE(shown(section.rows()[2]), QStringList({"Pasting", "Portal", "Works"}));
        QCOMPARE(copy->text(), "Copy sway lines"); // rebuilt: a new button
    }

    // changed() brings new rows; the same rows again leave the shown ones as they are.
    void followsChanges()
    {
        FakeIntegration integration;
        integration.list = {swayKey};
        ManualClock clock;
        IntegrationSection section(integration, clock, {});
        IntegrationRow* first = section.rows()[0];
        first->fixButton()->click();
        integration.set({swayKey});
        QCOMPARE(section.rows(), QList<IntegrationRow*>{first});
        QCOMPARE(first->fixButton()->text(), "Copied");

        Row working = swayKey;
        working.works = true;
        integration.set({working, paste});
        QCOMPARE(section.rows().size(), 2);
        QCOMPARE(section.rows()[0]->statusMark()->accessibleName(), "Works");
        QCOMPARE(shown(section.rows()[1]), QStringList({"Pasting", "Virtual keyboard", "Works"}));
        clock.advance(2); // the old row's timer is gone with it
    }

    // No integration, no section; showDesktopIntegration() opens General with the section in
    // view.
    void inTheWindow()
    {
        SettingsFixture plain;
        QVERIFY(!plain.open<GeneralView>(SettingsView::generalTag).integration());
        plain.window->showDesktopIntegration();
        QCOMPARE(plain.window->view()->currentTag(), SettingsView::generalTag);

        // Opened by it, and already open on another tab with General not built yet.
        for (const bool openBefore : {false, true}) {
            FakeIntegration integration;
            integration.list = {swayKey, paste, paste, paste};
            SettingsFixture f;
            f.prefs.setSettingsTab(SettingsView::historyTag);
            auto services = f.services();
            services.integration = &integration;
            f.window = std::make_unique<SettingsWindow>(services);
            if (openBefore) {
                f.window->show();
                QVERIFY(QTest::qWaitForWindowExposed(f.window->view()));
            }
            f.window->showDesktopIntegration();
            SettingsView* view = f.window->view();
            QCOMPARE(view->currentTag(), SettingsView::generalTag);
            QCOMPARE(f.prefs.settingsTab(), SettingsView::historyTag);
            QVERIFY(QTest::qWaitForWindowExposed(view));
            auto* general = qobject_cast<GeneralView*>(view->content(SettingsView::generalTag));
            IntegrationSection* section = general->integration();
            QVERIFY(section);
            auto* area = qobject_cast<QScrollArea*>(general->parentWidget()->parentWidget());
            QVERIFY(area);
            QVERIFY(area->verticalScrollBar()->maximum() > 0); // the tab does scroll
            const auto inView = [&] {
                return area->viewport()->rect().contains(
                    QRect(section->mapTo(area->viewport(), QPoint()), section->size()));
            };
            QVERIFY2(inView(), openBefore ? "open before" : "closed before");
            // Rows that came just before are counted.
            QCoreApplication::sendPostedEvents();
            integration.set({swayKey, paste, paste, swayKey, paste});
            f.window->showDesktopIntegration();
            QCoreApplication::sendPostedEvents(); // measured once laid out
            QVERIFY(inView());
        }
    }
};

QTEST_MAIN(IntegrationSectionTest)
#include "IntegrationSectionTest.moc"
