#include "settings/KeysView.h"

#include "SettingsFixture.h"
#include "settings/KeyField.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace quillet;
using namespace quillet::test;

namespace {

void retype(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

std::optional<QString> item(SettingsFixture& f, const QString& account)
{
    const auto it =
        f.desk.keyring.items.constFind(FakeSecretBackend::slot(KeyStore::service, account));
    return it == f.desk.keyring.items.cend() ? std::nullopt : std::optional(*it);
}

} // namespace

class KeysViewTest : public QObject {
    Q_OBJECT
private slots:
    // Typing is written once it pauses or ends, not per keystroke; an empty field removes the
    // item; what is pending when the window closes is written then.
    void keyWritesAreCoalesced()
    {
        SettingsFixture f;
        QStringList& calls = f.desk.keyring.calls;
        KeyField* field = f.open<KeysView>(3).speechKey();
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        QCOMPARE(field->text(), "sk-test");
        calls.clear();

        retype(field, " sk-new ");
        QVERIFY(calls.isEmpty());
        f.clock.advance(KeyField::idleWrite - 0.01);
        QVERIFY(calls.isEmpty());
        f.clock.advance(0.01);
        QCOMPARE(calls, QStringList({"remove soniox", "write soniox"}));
        QCOMPARE(item(f, "soniox"), "sk-new");

        calls.clear();
        QTest::keyClicks(field, "2");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(calls, QStringList({"remove soniox", "write soniox"}));
        QCOMPARE(item(f, "soniox"), "sk-new2");
        f.clock.advance(KeyField::idleWrite); // nothing left to write
        QCOMPARE(calls.size(), 2);

        calls.clear();
        retype(field, "");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(calls, QStringList{"remove soniox"});
        QCOMPARE(item(f, "soniox"), std::nullopt);
        QCOMPARE(f.desk.keys.speechKey(), std::nullopt);

        QTest::keyClicks(field, "sk-last");
        f.window->close();
        QTRY_VERIFY(!f.window->isOpen());
        QCOMPARE(item(f, "soniox"), "sk-last");
    }

    // The provider's key goes to that provider's account, also when the provider changes while
    // a key is still pending.
    void providerKeys()
    {
        SettingsFixture f;
        auto& view = f.open<KeysView>(3);
        QTest::keyClicks(view.providerKey(), "cb-1");
        choose(view.providerPicker(), "OpenAI");
        QCOMPARE(f.prefs.value("provider").toString(), "openai");
        QCOMPARE(item(f, "llm.cerebras"), "cb-1");
        QVERIFY(view.providerKey()->text().isEmpty());
        QTest::keyClicks(view.providerKey(), "oa-2");
        QTest::keyClick(view.providerKey(), Qt::Key_Return);
        QCOMPARE(item(f, "llm.openai"), "oa-2");
        choose(view.providerPicker(), "Cerebras");
        QCOMPARE(view.providerKey()->text(), "cb-1");
    }

    void placeholders_data()
    {
        QTest::addColumn<QByteArray>("sonioxEnv");
        QTest::addColumn<QByteArray>("cerebrasEnv");
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("speech");
        QTest::addColumn<QString>("processing");
        QTest::newRow("no built-in keys") << QByteArray() << QByteArray() << "Cerebras"
                                          << "Soniox API key"
                                          << "Cerebras API key";
        QTest::newRow("built-in speech key") << QByteArray("sk-env") << QByteArray() << "Cerebras"
                                             << "Soniox key (using built-in key)"
                                             << "Cerebras API key";
        QTest::newRow("built-in Cerebras key") << QByteArray() << QByteArray("cb-env") << "Cerebras"
                                               << "Soniox API key"
                                               << "API key (using built-in key)";
        QTest::newRow("OpenAI has none") << QByteArray() << QByteArray("cb-env") << "OpenAI"
                                         << "Soniox API key"
                                         << "OpenAI API key";
        QTest::newRow("compatible") << QByteArray() << QByteArray("cb-env") << "OpenAI-compatible"
                                    << "Soniox API key"
                                    << "OpenAI-compatible API key";
    }
    void placeholders()
    {
        QFETCH(QByteArray, sonioxEnv);
        QFETCH(QByteArray, cerebrasEnv);
        QFETCH(QString, provider);
        QFETCH(QString, speech);
        QFETCH(QString, processing);
        // Set even when empty: an empty variable hides a key compiled into the build.
        EnvGuard soniox("SONIOX_API_KEY", sonioxEnv);
        EnvGuard cerebras("CEREBRAS_API_KEY", cerebrasEnv);
        SettingsFixture f;
        auto& view = f.open<KeysView>(3);
        choose(view.providerPicker(), provider);
        QCOMPARE(view.speechKey()->placeholderText(), speech);
        QCOMPARE(view.providerKey()->placeholderText(), processing);
    }

    // A provider switch shows that provider's own models (and base URL); edits go to the
    // current provider's preferences.
    void providerFields()
    {
        SettingsFixture f;
        f.prefs.setValue("model.openai", "gpt-x");
        f.prefs.setValue("promptModel.openai", "gpt-y");
        f.prefs.setValue("model.cerebras", "zai-glm");
        auto& view = f.open<KeysView>(3);
        QCOMPARE(view.fastModel()->text(), "zai-glm");
        QCOMPARE(view.qualityModel()->text(), "qwen-3.8-27b");
        QVERIFY(!view.baseURL()->isVisibleTo(&view));

        choose(view.providerPicker(), "OpenAI");
        QCOMPARE(view.fastModel()->text(), "gpt-x");
        QCOMPARE(view.qualityModel()->text(), "gpt-y");
        QVERIFY(view.providerHelp()->text().startsWith("Create a key at"));

        choose(view.providerPicker(), "OpenAI-compatible");
        QVERIFY(view.baseURL()->isVisibleTo(&view));
        retype(view.fastModel(), "llama-4");
        retype(view.qualityModel(), "llama-5");
        retype(view.baseURL(), "http://127.0.0.1:8080/v1");
        QCOMPARE(f.prefs.value("model.custom").toString(), "llama-4");
        QCOMPARE(f.prefs.value("promptModel.custom").toString(), "llama-5");
        QCOMPARE(f.prefs.value("baseURL.custom").toString(), "http://127.0.0.1:8080/v1");
        QVERIFY(!view.baseURLWarning()->isVisibleTo(&view));
        retype(view.baseURL(), "http://192.168.1.9:8080/v1");
        QVERIFY(view.baseURLWarning()->isVisibleTo(&view));
        QVERIFY(view.baseURLWarning()->text().contains("plain http"));

        choose(view.providerPicker(), "Cerebras");
        QCOMPARE(view.fastModel()->text(), "zai-glm");
        QVERIFY(!view.baseURLWarning()->isVisibleTo(&view));
    }

    // Without a keyring service the tab says that typed keys last only for this run.
    void keyringStatus()
    {
        SettingsFixture f;
        auto& view = f.open<KeysView>(3);
        QVERIFY(!view.keyringStatus()->isVisibleTo(&view));
        f.desk.keyring.available = false;
        retype(view.speechKey(), "sk-run");
        QTest::keyClick(view.speechKey(), Qt::Key_Return);
        QVERIFY(view.keyringStatus()->isVisibleTo(&view));
        QCOMPARE(view.keyringStatus()->text(),
                 "No keyring service: keys typed here last only until Quillet quits");
        QCOMPARE(f.desk.keys.speechKey(), "sk-run");
    }

    // The test uses the key just typed and shows its outcome.
    void testTextProcessing()
    {
        SettingsFixture f;
        auto& view = f.open<KeysView>(3);
        QTest::keyClicks(view.providerKey(), "cb-typed");
        f.chat.answers = {ChatResult(QStringLiteral("So this is a test."))};
        f.chat.elapsedPerCall = 0.25;
        view.testButton()->click();
        QTRY_COMPARE(view.testResult()->text(), "Works (250 ms): So this is a test.");
        QCOMPARE(f.chat.calls.last().endpoint.key, "cb-typed");
        QCOMPARE(f.chat.calls.last().user, "<dictation>um so this is uh a test</dictation>");

        f.chat.answers = {ChatError{ChatError::Kind::badServerResponse, "{\"error\":\"bad key\"}"}};
        view.testButton()->click();
        QTRY_COMPARE(view.testResult()->text(), "Failed: {\"error\":\"bad key\"}");
        QCOMPARE(f.prefs.value("provider"), QVariant()); // the test stores nothing
    }
};

QTEST_MAIN(KeysViewTest)
#include "KeysViewTest.moc"
