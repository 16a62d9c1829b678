#include "settings/VocabularyView.h"

#include "SettingsFixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

using namespace quillet;
using namespace quillet::test;

namespace {

QStringList rowTexts(QWidget* rows)
{
    QStringList texts;
    for (QLabel* label : rows->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

} // namespace

class VocabularyViewTest : public QObject {
    Q_OBJECT
private slots:
    void words()
    {
        SettingsFixture f;
        auto& view = f.open<VocabularyView>(1);
        QTest::keyClicks(view.termField(), "Kubernetes");
        QTest::keyClick(view.termField(), Qt::Key_Return);
        QTest::keyClicks(view.termField(), "  OpenAI ");
        view.addTermButton()->click();
        QTest::keyClicks(view.termField(), "kubernetes"); // a duplicate: ignored
        view.addTermButton()->click();
        QCOMPARE(f.store.vocab().terms, QStringList({"Kubernetes", "OpenAI"}));
        QVERIFY(view.termField()->text().isEmpty());
        QCOMPARE(rowTexts(view.termRows()), QStringList({"Kubernetes", "OpenAI"}));

        named<QToolButton>(view.termRows(), "Remove Kubernetes")->click();
        QCOMPARE(f.store.vocab().terms, QStringList{"OpenAI"});
        QCOMPARE(rowTexts(view.termRows()), QStringList{"OpenAI"});
    }

    // A replacement also adds what it writes as a word; Return in either field adds it.
    void replacements()
    {
        SettingsFixture f;
        auto& view = f.open<VocabularyView>(1);
        QTest::keyClicks(view.heardField(), "teh");
        QTest::keyClicks(view.writeField(), "the");
        view.addReplacementButton()->click();
        QTest::keyClicks(view.heardField(), "cuba netties");
        QTest::keyClicks(view.writeField(), "Kubernetes");
        QTest::keyClick(view.heardField(), Qt::Key_Return);
        QCOMPARE(f.store.vocab().replacements,
                 QList<Replacement>({{"teh", "the"}, {"cuba netties", "Kubernetes"}}));
        QCOMPARE(f.store.vocab().terms, QStringList({"the", "Kubernetes"}));
        QVERIFY(view.heardField()->text().isEmpty());
        QVERIFY(view.writeField()->text().isEmpty());
        QCOMPARE(rowTexts(view.replacementRows()),
                 QStringList({"teh", "→", "the", "cuba netties", "→", "Kubernetes"}));

        named<QToolButton>(view.replacementRows(), "Remove rule teh")->click();
        QCOMPARE(f.store.vocab().replacements,
                 QList<Replacement>({{"cuba netties", "Kubernetes"}}));
        QCOMPARE(f.store.vocab().terms, QStringList({"the", "Kubernetes"}));
    }

    // Words learned elsewhere while the tab is open appear at once.
    void followsTheStore()
    {
        SettingsFixture f;
        auto& view = f.open<VocabularyView>(1);
        QVERIFY(f.store.learn({{"get hub", "GitHub"}}).ok());
        QCOMPARE(rowTexts(view.termRows()), QStringList{"GitHub"});
        QCOMPARE(rowTexts(view.replacementRows()), QStringList({"get hub", "→", "GitHub"}));
    }
};

QTEST_MAIN(VocabularyViewTest)
#include "VocabularyViewTest.moc"
