#include "store/KeyStore.h"

#include "platform/FakeSecretBackend.h"
#include "util/TestSupport.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QTest>

using namespace quillet;

class KeyStoreTest : public QObject {
    Q_OBJECT
private slots:
    void loadsEveryAccountOnceAndCaches()
    {
        FakeSecretBackend backend;
        backend.items.insert(FakeSecretBackend::slot(KeyStore::service, "soniox"), "sk-1");
        backend.items.insert(FakeSecretBackend::slot(KeyStore::service, "llm.openai"), "op-2");
        backend.items.insert(FakeSecretBackend::slot(KeyStore::service, "llm.custom"), "");
        KeyStore keys(backend);
        QVERIFY(!keys.readKey("soniox"));
        QSignalSpy changed(&keys, &KeyStore::keysChanged);
        finish(keys.load());
        QVERIFY(keys.isLoaded());
        QCOMPARE(keys.readKey("soniox"), std::optional<QString>("sk-1"));
        QCOMPARE(keys.readKey("llm.openai"), std::optional<QString>("op-2"));
        QVERIFY(!keys.readKey("llm.cerebras"));
        QVERIFY(!keys.readKey("llm.custom")); // an empty item counts as none
        QCOMPARE(changed.count(), 1);
        QCOMPARE(backend.calls, QStringList({"read soniox", "read llm.cerebras", "read llm.openai",
                                             "read llm.custom"}));
        finish(keys.load());
        QCOMPARE(backend.calls.size(), 4); // the second load is free
        QVERIFY(keys.status().isEmpty());
    }

    void writeTrimsDeletesFirstAndBlankDeletes()
    {
        FakeSecretBackend backend;
        KeyStore keys(backend);
        finish(keys.load());
        backend.calls.clear();

        finish(keys.writeKey(QStringLiteral("  sk-typed \n"), "soniox"));
        QCOMPARE(keys.readKey("soniox"), std::optional<QString>("sk-typed"));
        QCOMPARE(backend.items.value(FakeSecretBackend::slot(KeyStore::service, "soniox")),
                 QStringLiteral("sk-typed"));
        QCOMPARE(backend.calls, QStringList({"remove soniox", "write soniox"}));

        backend.calls.clear();
        finish(keys.writeKey(QStringLiteral(" \t\n"), "soniox"));
        QVERIFY(!keys.readKey("soniox"));
        QVERIFY(backend.items.isEmpty());
        QCOMPARE(backend.calls, QStringList({"remove soniox"}));

        finish(keys.writeKey(QStringLiteral("x"), "llm.cerebras"));
        finish(keys.writeKey(std::nullopt, "llm.cerebras"));
        QVERIFY(!keys.readKey("llm.cerebras"));
        QVERIFY(backend.items.isEmpty());
    }

    // Writes started together, as a settings field may fire them, reach the keyring in order.
    void writesToOneAccountApplyInOrder_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::newRow("typed, then cleared") << QStringList{"sk-typed", ""};
        QTest::newRow("cleared, then typed") << QStringList{"", "sk-new"};
        QTest::newRow("three keys") << QStringList{"one", "", "three"};
    }
    void writesToOneAccountApplyInOrder()
    {
        QFETCH(QStringList, values);
        FakeSecretBackend backend;
        backend.items.insert(FakeSecretBackend::slot(KeyStore::service, "soniox"), "old");
        backend.deferred = true;
        KeyStore keys(backend);
        finish(keys.load());
        std::vector<QCoro::Task<void>> writes;
        for (const QString& value : values)
            writes.push_back(keys.writeKey(value, "soniox"));
        for (auto& write : writes)
            finish(std::move(write));
        const QString last = values.last().trimmed();
        QCOMPARE(keys.readKey("soniox"), last.isEmpty() ? std::nullopt : std::optional(last));
        QCOMPARE(backend.items.value(FakeSecretBackend::slot(KeyStore::service, "soniox")), last);
        QVERIFY(keys.status().isEmpty());
    }

    void writeOutlivesTheCallersAccountString()
    {
        FakeSecretBackend backend;
        backend.deferred = true;
        KeyStore keys(backend);
        auto task = [&keys] {
            const QString account = QStringLiteral("llm.") + QStringLiteral("openai");
            return keys.writeKey(QStringLiteral("abc"), account);
        }();
        finish(std::move(task));
        QCOMPARE(backend.items.value(FakeSecretBackend::slot(KeyStore::service, "llm.openai")),
                 QString("abc"));
    }

    void noKeyringKeepsTypedKeysInMemory()
    {
        FakeSecretBackend backend;
        backend.available = false;
        KeyStore keys(backend);
        QSignalSpy status(&keys, &KeyStore::statusChanged);
        finish(keys.load());
        QCOMPARE(keys.status(), KeyStore::noKeyringStatus);
        QCOMPARE(status.count(), 1);
        QCOMPARE(backend.calls, QStringList({"read soniox"})); // stops at the first silence
        backend.calls.clear();
        finish(keys.writeKey(QStringLiteral("typed"), "soniox"));
        QCOMPARE(keys.readKey("soniox"), std::optional<QString>("typed"));
        QVERIFY(backend.calls.isEmpty());
        EnvGuard env("SONIOX_API_KEY", QByteArray("from-env"));
        QCOMPARE(keys.speechKey(), std::optional<QString>("typed"));
        finish(keys.writeKey(std::nullopt, "soniox"));
        QCOMPARE(keys.speechKey(), std::optional<QString>("from-env"));
    }

    void refusedWriteIsReported()
    {
        FakeSecretBackend backend;
        backend.failWrites = true;
        KeyStore keys(backend);
        finish(keys.load());
        finish(keys.writeKey(QStringLiteral("k"), "soniox"));
        QVERIFY(keys.status().contains("refused"));
        QVERIFY(!keys.status().contains("k\""));
        backend.failWrites = false;
        finish(keys.writeKey(QStringLiteral("k2"), "soniox"));
        QVERIFY(keys.status().isEmpty());
    }

    void writeDuringLoadIsNotUndoneByIt()
    {
        FakeSecretBackend backend;
        backend.items.insert(FakeSecretBackend::slot(KeyStore::service, "soniox"), "old");
        backend.deferred = true;
        KeyStore keys(backend);
        auto load = keys.load();
        auto write = keys.writeKey(QStringLiteral("new"), "soniox");
        QCOMPARE(keys.readKey("soniox"),
                 std::optional<QString>("new")); // before the keyring answers
        finish(std::move(load));
        finish(std::move(write));
        QVERIFY(keys.isLoaded());
        QCOMPARE(keys.readKey("soniox"), std::optional<QString>("new"));
        // A second load() while the first runs waits for it instead of reading again.
        KeyStore other(backend);
        auto first = other.load();
        auto second = other.load();
        finish(std::move(second));
        QVERIFY(other.isLoaded());
        finish(std::move(first));
    }

    void builtInKeyPrefersTheEnvironmentEvenWhenEmpty()
    {
        {
            EnvGuard env("SONIOX_API_KEY", QByteArray(""));
            QCOMPARE(KeyStore::builtInKey("SONIOX_API_KEY", "SonioxAPIKey"),
                     std::optional<QString>(""));
            FakeSecretBackend backend;
            KeyStore keys(backend);
            QVERIFY(!keys.speechKey()); // empty counts as none
        }
        {
            EnvGuard env("CEREBRAS_API_KEY", QByteArray("cb-env"));
            QCOMPARE(KeyStore::builtInKey("CEREBRAS_API_KEY", "CerebrasAPIKey"),
                     std::optional<QString>("cb-env"));
        }
        {
            // Unset: the value compiled into the build (none when the build has none).
            EnvGuard soniox("SONIOX_API_KEY", std::nullopt);
            EnvGuard cerebras("CEREBRAS_API_KEY", std::nullopt);
            auto built = [](const char* text) {
                return *text ? std::optional<QString>(QString::fromUtf8(text)) : std::nullopt;
            };
            QCOMPARE(KeyStore::builtInKey("SONIOX_API_KEY", "SonioxAPIKey"),
                     built(BUILT_SONIOX_KEY));
            QCOMPARE(KeyStore::builtInKey("CEREBRAS_API_KEY", "CerebrasAPIKey"),
                     built(BUILT_CEREBRAS_KEY));
            QVERIFY(!KeyStore::builtInKey("SONIOX_API_KEY", "NoSuchInfoKey"));
        }
    }

    void keyringItemWinsOverTheEnvironment()
    {
        EnvGuard env("SONIOX_API_KEY", QByteArray("env-key"));
        FakeSecretBackend backend;
        backend.items.insert(FakeSecretBackend::slot(KeyStore::service, "soniox"), "ring-key");
        KeyStore keys(backend);
        QCOMPARE(keys.speechKey(), std::optional<QString>("env-key")); // not loaded yet
        finish(keys.load());
        QCOMPARE(keys.speechKey(), std::optional<QString>("ring-key"));
        // A key with a control character in it would break the request header: it is none.
        finish(keys.writeKey(QStringLiteral("ring\r\nX-Evil: 1"), "soniox"));
        QCOMPARE(keys.speechKey(), std::optional<QString>("env-key"));
        EnvGuard broken("SONIOX_API_KEY", QByteArray("env\u0085key"));
        QVERIFY(!keys.speechKey());
    }
};

QTEST_GUILESS_MAIN(KeyStoreTest)
#include "KeyStoreTest.moc"
