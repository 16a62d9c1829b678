#include "processing/ProviderSettings.h"

#include "store/Preferences.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quillet;

class ProviderSettingsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Preferences> m_prefs;
    QHash<QString, QString> m_keyring;
    std::optional<QString> m_builtIn;

    ProviderSettings settings()
    {
        return ProviderSettings(
            *m_prefs,
            [this](const QString& account) -> std::optional<QString> {
                return m_keyring.contains(account) ? std::optional(m_keyring[account])
                                                   : std::nullopt;
            },
            [this] { return m_builtIn; });
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_prefs = std::make_unique<Preferences>(m_dir->filePath("Quillet.conf"));
        m_keyring.clear();
        m_builtIn.reset();
    }

    void defaultsWithoutPreferences()
    {
        const auto s = settings();
        QCOMPARE(s.currentProvider(), Provider::cerebras);
        const Endpoint fast = s.resolveEndpoint(true);
        QCOMPARE(fast.baseURL, QString("https://api.cerebras.ai/v1"));
        QCOMPARE(fast.model, QString("gpt-oss-120b"));
        QCOMPARE(fast.key, QString());
        QCOMPARE(s.resolveEndpoint(false).model, QString("qwen-3.8-27b"));
    }

    void unknownProviderTextReadsAsCerebras_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<Provider>("expected");
        QTest::newRow("openai") << "openai" << Provider::openai;
        QTest::newRow("custom") << "custom" << Provider::custom;
        QTest::newRow("upper case") << "OpenAI" << Provider::cerebras;
        QTest::newRow("empty") << "" << Provider::cerebras;
    }
    void unknownProviderTextReadsAsCerebras()
    {
        QFETCH(QString, stored);
        QFETCH(Provider, expected);
        m_prefs->setValue("provider", stored);
        QCOMPARE(settings().currentProvider(), expected);
    }

    void perProviderPreferences()
    {
        auto s = settings();
        s.setProvider(Provider::openai);
        QCOMPARE(m_prefs->string("provider"), QString("openai"));
        s.setFastModel("");
        QCOMPARE(s.fastModel(), QString("gpt-4.1-mini")); // empty falls back
        s.setFastModel("   ");
        QCOMPARE(s.fastModel(), QString("   ")); // blank is sent unchanged
        s.setQualityModel("gpt-5");
        s.setBaseURL("https://proxy.example/v1/");
        QCOMPARE(m_prefs->string("model.openai"), QString("   "));
        QCOMPARE(m_prefs->string("promptModel.openai"), QString("gpt-5"));
        QCOMPARE(s.resolveEndpoint(false).baseURL, QString("https://proxy.example/v1/"));

        // Switching back brings Cerebras' own settings, untouched.
        s.setProvider(Provider::cerebras);
        QCOMPARE(s.fastModel(), QString("gpt-oss-120b"));
        QCOMPARE(s.qualityModel(), QString("qwen-3.8-27b"));
        QCOMPARE(s.providerBaseURL(), QString("https://api.cerebras.ai/v1"));
        s.setBaseURL("");
        QCOMPARE(s.providerBaseURL(), QString("https://api.cerebras.ai/v1"));

        // The argument domain overrides the file for one run.
        m_prefs->setArgument("model.cerebras", "from-command-line");
        QCOMPARE(s.fastModel(), QString("from-command-line"));
    }

    void keyLookupOrder()
    {
        auto s = settings();
        m_builtIn = QString("");
        QCOMPARE(s.providerKey(), std::nullopt); // an empty environment key is none
        m_builtIn = QString("built-in");
        QCOMPARE(s.providerKey(), std::optional<QString>("built-in"));
        // An empty item or one with control characters counts as none.
        for (const char* unusable : {"", "sk-abc\r\nX-Evil: 1", "sk-\x7f"}) {
            m_keyring["llm.cerebras"] = unusable;
            QCOMPARE(s.providerKey(), std::optional<QString>("built-in"));
        }
        m_builtIn = QString("sk-\nbuilt-in");
        QCOMPARE(s.providerKey(), std::nullopt);
        m_keyring["llm.cerebras"] = "typed";
        QCOMPARE(s.providerKey(), std::optional<QString>("typed"));
        QCOMPARE(s.resolveEndpoint(true).key, QString("typed"));

        // Only Cerebras has a built-in key.
        s.setProvider(Provider::openai);
        QCOMPARE(s.providerKey(), std::nullopt);
        QCOMPARE(s.resolveEndpoint(true).key, QString());
        m_keyring["llm.openai"] = "sk-openai";
        QCOMPARE(s.providerKey(), std::optional<QString>("sk-openai"));
        s.setProvider(Provider::custom);
        QCOMPARE(s.providerKey(), std::nullopt);
        QCOMPARE(ProviderSettings::keyAccount(Provider::custom), QString("llm.custom"));
    }

    void plainHttpOffLoopbackIsFlagged_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("flagged");
        QTest::newRow("https") << "https://api.groq.com/openai/v1" << false;
        QTest::newRow("http remote") << "http://api.example.com/v1" << true;
        QTest::newRow("HTTP upper case") << "HTTP://example.com/v1" << true;
        QTest::newRow("loopback 127.5.6.7") << "http://127.5.6.7/v1" << false;
        QTest::newRow("loopback ::1") << "http://[::1]:8080/v1" << false;
        QTest::newRow("localhost") << "http://localhost:1234/v1" << false;
        QTest::newRow("LOCALHOST") << "http://LOCALHOST/v1" << false;
        QTest::newRow("lookalike") << "http://localhost.example.com/v1" << true;
        QTest::newRow("128.0.0.1") << "http://128.0.0.1/v1" << true;
    }
    void plainHttpOffLoopbackIsFlagged()
    {
        QFETCH(QString, url);
        QFETCH(bool, flagged);
        auto s = settings();
        s.setProvider(Provider::custom);
        s.setBaseURL(url);
        QCOMPARE(!s.baseURLStatus().isEmpty(), flagged);
    }
};

QTEST_GUILESS_MAIN(ProviderSettingsTest)
#include "ProviderSettingsTest.moc"
