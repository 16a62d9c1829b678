// The key store on the real desktop keyring (gnome-keyring on the session bus), and without any
// keyring service at all.

#include "keyring/KeychainSecretBackend.h"
#include "store/KeyStore.h"
#include "tools/RequireDesktop.h"
#include "util/TestSupport.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <cstring>

using namespace quillet;

namespace {

// Owns the keyring's bus name and never answers, like a keyring that hangs.
class SilentService : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

// The child side: loads the keys in a fresh process and prints what it sees.
int probe(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SilentService silent;
    if (qEnvironmentVariableIsSet("PROBE_SILENT_KEYRING")) {
        // A second connection, so the keyring's calls really cross the bus.
        QDBusConnection squatter =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("squatter"));
        squatter.registerService(QStringLiteral("org.freedesktop.secrets"));
        squatter.registerVirtualObject(QStringLiteral("/"), &silent, QDBusConnection::SubPath);
    }
    const int timeoutMs = qEnvironmentVariableIntValue("PROBE_KEYRING_TIMEOUT_MS");
    KeychainSecretBackend backend(std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 10000));
    KeyStore keys(backend);
    QTextStream out(stdout);
    auto task = keys.load();
    task.then([&] {
        out << "status=" << keys.status() << "\n";
        for (const QString& account : KeyStore::accounts())
            out << account << "=" << keys.readKey(account).value_or(QStringLiteral("<none>"))
                << "\n";
        out << "speech=" << keys.speechKey().value_or(QStringLiteral("<none>")) << "\n";
        out.flush();
        QCoreApplication::exit(0);
    });
    return app.exec();
}

QMap<QString, QString> parseProbe(const QByteArray& output)
{
    QMap<QString, QString> seen;
    for (const QByteArray& line : output.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            seen.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return seen;
}

QMap<QString, QString>
runProbe(const QStringList& launcher,
         const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess child;
    child.setProcessEnvironment(env);
    QStringList args = launcher;
    args << QCoreApplication::applicationFilePath() << QStringLiteral("--probe");
    child.start(args.takeFirst(), args);
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished();
        qWarning() << "probe did not finish";
        return {};
    }
    const QByteArray err = child.readAllStandardError();
    if (child.exitCode() != 0)
        qWarning() << "probe failed:" << err;
    return parseProbe(child.readAllStandardOutput());
}

} // namespace

class KeyringIntegrationTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QUILLET_REQUIRE_DESKTOP(); }

    void storesReadsBackAndDeletesThroughTheKeyring()
    {
        KeychainSecretBackend backend;
        {
            KeyStore keys(backend);
            finish(keys.load());
            QVERIFY2(keys.status().isEmpty(), qPrintable(keys.status()));
            finish(keys.writeKey(QStringLiteral("  sk-integration-1 \n"), "soniox"));
            finish(keys.writeKey(QStringLiteral("cb-2"), "llm.cerebras"));
            QVERIFY2(keys.status().isEmpty(), qPrintable(keys.status()));
        }
        // Read back by a new store in this process, and by another process.
        {
            KeyStore keys(backend);
            finish(keys.load());
            QCOMPARE(keys.readKey("soniox"), std::optional<QString>("sk-integration-1"));
            QCOMPARE(keys.readKey("llm.cerebras"), std::optional<QString>("cb-2"));
        }
        auto seen = runProbe({});
        QCOMPARE(seen.value("soniox"), QStringLiteral("sk-integration-1"));
        QCOMPARE(seen.value("llm.cerebras"), QStringLiteral("cb-2"));
        QCOMPARE(seen.value("llm.openai"), QStringLiteral("<none>"));
        QCOMPARE(seen.value("status"), QString());

        // A blank value deletes the item.
        {
            KeyStore keys(backend);
            finish(keys.load());
            finish(keys.writeKey(QStringLiteral("   "), "soniox"));
            QVERIFY(!keys.readKey("soniox"));
        }
        seen = runProbe({});
        QCOMPARE(seen.value("soniox"), QStringLiteral("<none>"));
        QCOMPARE(seen.value("llm.cerebras"), QStringLiteral("cb-2"));

        // Deleting what is not there is harmless.
        KeyStore keys(backend);
        finish(keys.load());
        // A key typed and cleared at once stays cleared.
        auto typed = keys.writeKey(QStringLiteral("sk-typed"), "llm.openai");
        auto cleared = keys.writeKey(QString(), "llm.openai");
        finish(std::move(typed));
        finish(std::move(cleared));
        QCOMPARE(runProbe({}).value("llm.openai"), QStringLiteral("<none>"));
        finish(keys.writeKey(std::nullopt, "llm.cerebras"));
        finish(keys.writeKey(std::nullopt, "llm.cerebras"));
        QVERIFY2(keys.status().isEmpty(), qPrintable(keys.status()));
        QCOMPARE(runProbe({}).value("llm.cerebras"), QStringLiteral("<none>"));
    }

    void withoutAKeyringServiceTheEnvironmentKeyStillWorks()
    {
        // A private session bus that knows no services and activates none.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString config = writeFile(
            dir.filePath("bus.conf"),
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
            "<auth>EXTERNAL</auth><policy context=\"default\">"
            "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
            "<allow own=\"*\"/></policy></busconfig>\n");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SONIOX_API_KEY", "env-speech-key");
        env.remove("GNOME_KEYRING_CONTROL");
        const QStringList bus{"dbus-run-session", "--config-file=" + config, "--"};
        const auto seen = runProbe(bus, env);
        QCOMPARE(seen.value("status"), KeyStore::noKeyringStatus);
        QCOMPARE(seen.value("soniox"), QStringLiteral("<none>"));
        QCOMPARE(seen.value("speech"), QStringLiteral("env-speech-key"));

        // A keyring that holds the name but never answers costs one bounded wait, not a hang.
        env.insert("PROBE_SILENT_KEYRING", "1");
        env.insert("PROBE_KEYRING_TIMEOUT_MS", "1500");
        QElapsedTimer elapsed;
        elapsed.start();
        const auto hung = runProbe(bus, env);
        QCOMPARE(hung.value("status"), KeyStore::noKeyringStatus);
        QCOMPARE(hung.value("speech"), QStringLiteral("env-speech-key"));
        qInfo() << "silent keyring answered as absent after" << elapsed.elapsed() << "ms";
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--probe") == 0)
        return probe(argc, argv);
    QCoreApplication app(argc, argv);
    KeyringIntegrationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "KeyringIntegrationTest.moc"
