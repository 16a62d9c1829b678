#include "settings/HistoryView.h"

#include "SettingsFixture.h"
#include "settings/FixSheet.h"
#include "settings/ModeTag.h"

#include <QClipboard>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

using namespace quillet;
using namespace quillet::test;

namespace {

// Local times: the day the fixture's clock stands on, and its noon.
const QDate kToday(2027, 1, 15);

Entry entry(const QString& text, const QString& mode = "quillet",
            std::optional<QString> app = std::nullopt, QDateTime date = {})
{
    return Entry{QUuid::createUuid(),
                 date.isValid() ? date : QDateTime(kToday, QTime(9, 41)),
                 text,
                 text,
                 mode,
                 std::move(app)};
}

QStringList labelsOf(QWidget* row)
{
    QStringList texts;
    for (QLabel* label : row->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

FixSheet* openSheet(QWidget* window)
{
    for (FixSheet* sheet : window->findChildren<FixSheet*>()) {
        if (sheet->isVisible())
            return sheet;
    }
    return nullptr;
}

} // namespace

class HistoryViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }

    void emptyHistory()
    {
        SettingsFixture f;
        auto& view = f.open<HistoryView>(2);
        QVERIFY(view.emptyState()->isVisibleTo(&view));
        QCOMPARE(view.emptyState()->text(), "Nothing dictated yet.");
        QVERIFY(!view.clearButton()->isVisibleTo(&view));
        QVERIFY(f.store.addEntry(entry("hello")).ok());
        QVERIFY(!view.emptyState()->isVisibleTo(&view));
        QVERIFY(view.clearButton()->isVisibleTo(&view));
        view.clearButton()->click();
        QVERIFY(f.store.history().isEmpty());
        QVERIFY(view.emptyState()->isVisibleTo(&view));
    }

    // Each row: the time (with the application), the mode unless it is the default one, the
    // text; "Copy" puts the text on the clipboard.
    void rows()
    {
        SettingsFixture f;
        f.clock.setNow(QDateTime(kToday, QTime(12, 0)));
        QVERIFY(f.store
                    .addEntry(entry("Ship it on Friday.", "write", "Text Editor",
                                    QDateTime(QDate(2026, 12, 3), QTime(7, 5))))
                    .ok());
        QVERIFY(f.store.addEntry(entry("fix the login crash", "code")).ok());
        QVERIFY(f.store.addEntry(entry("see you soon", "quillet", "Slack")).ok());
        QVERIFY(
            f.store.addEntry(entry("from a deleted mode", "5D1C3A38-0000-4000-8000-000000000000"))
                .ok());
        auto& view = f.open<HistoryView>(2);
        const QList<QFrame*> rows = view.rows()->findChildren<QFrame*>(Qt::FindDirectChildrenOnly);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(labelsOf(rows[0]), QStringList({"09:41", "from a deleted mode"}));
        QCOMPARE(labelsOf(rows[1]), QStringList({"09:41 · Slack", "see you soon"}));
        QCOMPARE(labelsOf(rows[2]), QStringList({"09:41", "Code", "fix the login crash"}));
        QVERIFY(rows[2]->findChild<ModeTag*>());
        QCOMPARE(labelsOf(rows[3]),
                 QStringList({"Dec 3, 07:05 · Text Editor", "Write", "Ship it on Friday."}));

        withText<QPushButton>(rows[2], "Copy")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), "fix the login crash");
    }

    // Rows are made a batch at a time as the list scrolls.
    void longHistory()
    {
        SettingsFixture f;
        for (int i = 0; i < 100; ++i)
            QVERIFY(f.store.addEntry(entry(QString::number(i))).ok());
        auto& view = f.open<HistoryView>(2);
        const int first = view.shownRows();
        QVERIFY(first > 0 && first < 100);
        QScrollBar* bar = view.findChild<QScrollArea*>()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum());
        QVERIFY(view.shownRows() > first);
        while (view.shownRows() < 100) {
            const int shown = view.shownRows();
            view.showMore();
            QVERIFY(view.shownRows() > shown);
        }
        QCOMPARE(view.shownRows(), 100);
        QVERIFY(f.store.addEntry(entry("one more")).ok());
        // A new entry on top; the rows shown so far stay.
        QVERIFY(view.shownRows() >= 100);
        QVERIFY(labelsOf(view.rows()->findChildren<QFrame*>(Qt::FindDirectChildrenOnly).first())
                    .contains("one more"));
    }

    // A cancelled fix keeps nothing; saving one without corrections closes at once and keeps
    // the text; one that teaches a word says so for 0.9 s first.
    void fixSheet()
    {
        SettingsFixture f;
        const Entry original = entry("deploy it to cuba netties tonight");
        QVERIFY(f.store.addEntry(original).ok());
        auto& view = f.open<HistoryView>(2);
        view.fix(f.store.history().first());
        FixSheet* sheet = openSheet(f.window->view());
        sheet->editor()->setPlainText("the dog sat");
        sheet->cancelButton()->click();
        QCOMPARE(f.store.history().first().text, original.text);

        withText<QPushButton>(view.rows(), "Fix")->click();
        sheet = openSheet(f.window->view());
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(sheet->editor()->toPlainText(), original.text);
        QVERIFY(sheet->saveButton()->isDefault());
        sheet->editor()->setPlainText("deploy it to cuba netties tomorrow night");
        sheet->saveButton()->click();
        QVERIFY(!sheet->isVisible());
        QCOMPARE(f.store.history().first().text, "deploy it to cuba netties tomorrow night");
        QVERIFY(f.store.vocab().terms.isEmpty());

        withText<QPushButton>(view.rows(), "Fix")->click();
        sheet = openSheet(f.window->view());
        sheet->editor()->setPlainText("deploy it to Kubernetes tomorrow night");
        sheet->saveButton()->click();
        QCOMPARE(sheet->learnedLine()->text(), "Learned: Kubernetes");
        QVERIFY(sheet->learnedLine()->isVisible());
        QCOMPARE(f.store.history().first().text, "deploy it to Kubernetes tomorrow night");
        QCOMPARE(f.store.history().first().id, original.id);
        QCOMPARE(f.store.vocab().replacements,
                 QList<Replacement>({{"cuba netties", "Kubernetes"}}));
        f.clock.advance(0.89);
        QVERIFY(sheet->isVisible());
        f.clock.advance(0.01);
        QVERIFY(!sheet->isVisible());
    }

    void timeText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("text");
        QTest::newRow("today") << "en_GB" << QDateTime(kToday, QTime(0, 5, 30)) << "00:05";
        QTest::newRow("yesterday")
            << "en_GB" << QDateTime(kToday.addDays(-1), QTime(23, 59)) << "Jan 14, 23:59";
        QTest::newRow("last year")
            << "en_GB" << QDateTime(QDate(2026, 7, 4), QTime(16, 30)) << "Jul 4, 16:30";
        QTest::newRow("no seconds in C") << "C" << QDateTime(kToday, QTime(9, 5, 7)) << "09:05";
    }
    void timeText()
    {
        QFETCH(QString, locale);
        QFETCH(QDateTime, date);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(HistoryView::timeText(date, QDateTime(kToday, QTime(18, 0))), text);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }
};

QTEST_MAIN(HistoryViewTest)
#include "HistoryViewTest.moc"
