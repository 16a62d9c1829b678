#include "processing/ChatClient.h"

#include "ChatSimulator.h"
#include "processing/ProviderSettings.h"
#include "store/Preferences.h"
#include "util/ManualClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace quillet;
using namespace quillet::chatsim;

namespace {

const QString kKey = QStringLiteral("sk-test-Zq8vW3secret");

SimulatedResponse answer(int status, QByteArray body)
{
    return SimulatedResponse{status, std::nullopt, std::move(body), 0, false};
}

SimulatedResponse reply(QString content, int delayMs = 0)
{
    return SimulatedResponse{200, std::move(content), {}, delayMs, false};
}

QStringList sortedKeys(const QJsonObject& o)
{
    QStringList keys = o.keys();
    keys.sort();
    return keys;
}

} // namespace

class ChatClientTest : public QObject {
    Q_OBJECT

    QNetworkAccessManager m_network;
    ManualClock m_clock;
    std::unique_ptr<ChatSimulator> m_sim;

    Endpoint endpoint(const QString& model = QStringLiteral("gpt-4.1-mini")) const
    {
        return Endpoint{m_sim->baseURL(), kKey, model};
    }

    ChatResult run(ChatClient& client, const Endpoint& endpoint, double timeout = 6.0)
    {
        return QCoro::waitFor(client.chatComplete(QStringLiteral("System text"),
                                                  QStringLiteral("<dictation>hi</dictation>"),
                                                  endpoint, timeout));
    }

    void script(QList<SimulatedResponse> chat)
    {
        m_sim->setScript(Script{std::move(chat), {}, {}, {}});
    }

    // Every failure text must be free of the key.
    void verifyFailure(const ChatResult& result, ChatError::Kind kind)
    {
        QVERIFY(!result.ok());
        QCOMPARE(result.error().kind, kind);
        QVERIFY(!result.error().description.contains(kKey));
        QVERIFY(!result.error().description.contains(QStringLiteral("Zq8vW3")));
    }

private slots:
    void init()
    {
        m_sim = std::make_unique<ChatSimulator>();
        QVERIFY(m_sim->listen());
    }

    void requestCarriesExactlyTheDescribedFields()
    {
        script({reply(QStringLiteral("Done."))});
        ChatClient client(m_network, m_clock);
        const ChatResult result = QCoro::waitFor(client.chatComplete(
            QStringLiteral("Line one\nLine \"two\" ✓"),
            QStringLiteral("<dictation>a </dictation></dictation>"), endpoint(), 6.0));
        QVERIFY(result.ok());
        QCOMPARE(result.reply(), QString("Done."));

        QCOMPARE(m_sim->requests().size(), 1);
        const RecordedRequest& r = m_sim->requests().first();
        QCOMPARE(r.method, QString("POST"));
        QCOMPARE(r.path, QString("/v1/chat/completions"));
        QCOMPARE(r.header("authorization"), QByteArray("Bearer ") + kKey.toUtf8());
        QCOMPARE(r.header("content-type"), QByteArray("application/json"));
        QCOMPARE(r.header("content-length").toInt(), r.body.size());

        QVERIFY(!r.body.contains('\n'));                 // compact
        QVERIFY(r.body.contains("\"max_tokens\":4096")); // an integer, not 4096.0
        const QJsonObject body = QJsonDocument::fromJson(r.body).object();
        QCOMPARE(sortedKeys(body), QStringList({"max_tokens", "messages", "model", "temperature"}));
        QCOMPARE(body["model"].toString(), QString("gpt-4.1-mini"));
        QCOMPARE(body["temperature"].toDouble(), 0.2);
        QCOMPARE(body["max_tokens"].toInt(), 4096);
        const QJsonArray messages = body["messages"].toArray();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(sortedKeys(messages[0].toObject()), QStringList({"content", "role"}));
        QCOMPARE(messages[0]["role"].toString(), QString("system"));
        QCOMPARE(messages[0]["content"].toString(), QString("Line one\nLine \"two\" ✓"));
        QCOMPARE(sortedKeys(messages[1].toObject()), QStringList({"content", "role"}));
        QCOMPARE(messages[1]["role"].toString(), QString("user"));
        QCOMPARE(messages[1]["content"].toString(),
                 QString("<dictation>a </dictation></dictation>"));
    }

    void reasoningEffortOnlyForThatModelFamily_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("present");
        QTest::newRow("cerebras fast default") << "gpt-oss-120b" << true;
        QTest::newRow("cerebras quality default") << "qwen-3.8-27b" << false;
        QTest::newRow("openai") << "gpt-4.1-mini" << false;
        QTest::newRow("custom gpt-oss") << "gpt-oss-20b" << true;
        QTest::newRow("upper case") << "GPT-OSS-20b" << false;
        QTest::newRow("prefix elsewhere") << "openai/gpt-oss-20b" << false;
        QTest::newRow("spaces") << "   " << false;
    }
    void reasoningEffortOnlyForThatModelFamily()
    {
        QFETCH(QString, model);
        QFETCH(bool, present);
        ChatClient client(m_network, m_clock);
        QVERIFY(run(client, endpoint(model)).ok());
        const QJsonObject body = QJsonDocument::fromJson(m_sim->requests().last().body).object();
        QCOMPARE(body["model"].toString(), model);
        QCOMPARE(body.contains("reasoning_effort"), present);
        if (present)
            QCOMPARE(body["reasoning_effort"].toString(), QString("low"));
        QCOMPARE(body.size(), present ? 5 : 4);
    }

    void baseURLIsJoinedAsPlainText()
    {
        ChatClient client(m_network, m_clock);
        Endpoint e = endpoint();
        e.baseURL += u'/';
        QVERIFY(run(client, e).ok());
        QCOMPARE(m_sim->requests().last().path, QString("/v1//chat/completions"));
        QCOMPARE(ChatClient::serviceURL("https://api.groq.com/openai/v1", u"/models")->toString(),
                 QString("https://api.groq.com/openai/v1/models"));
    }

    void missingKeyOrUnusableURLFailsWithoutTraffic_data()
    {
        QTest::addColumn<QString>("baseURL");
        QTest::addColumn<QString>("key");
        QTest::newRow("no key") << "SIM" << QString();
        QTest::newRow("empty URL") << "" << kKey;
        QTest::newRow("not a URL") << "api dot example" << kKey;
        QTest::newRow("space in host") << "https://api example.com/v1" << kKey;
        QTest::newRow("other scheme") << "ftp://127.0.0.1/v1" << kKey;
    }
    void missingKeyOrUnusableURLFailsWithoutTraffic()
    {
        QFETCH(QString, baseURL);
        QFETCH(QString, key);
        ChatClient client(m_network, m_clock);
        const Endpoint e{baseURL == u"SIM" ? m_sim->baseURL() : baseURL, key, "m"};
        verifyFailure(run(client, e), ChatError::Kind::userAuthenticationRequired);
        QVERIFY(!run(client, e).error().description.isEmpty());
        QVERIFY(m_sim->requests().isEmpty());
    }

    void nonSuccessAnswersCarryTheirBody_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description");
        // The description is the body as text unless given.
        const auto row = [](const char* name, int status, const QByteArray& body,
                            const char* description = nullptr) {
            QTest::newRow(name) << status << body
                                << (description ? QString(description) : QString::fromUtf8(body));
        };
        row("401 wrapped", 401,
            R"({"error":{"message":"Invalid API key","type":"invalid_request_error"}})");
        row("401 flat", 401, R"({"message":"Wrong API Key","type":"invalid_request_error"})");
        row("429 plain text", 429, "slow down");
        row("500 empty", 500, "");
        row("502 not UTF-8", 502, "\xff\xfe bad", "");
        row("200 no choices", 200, R"({"choices":[]})");
        row("200 null content", 200, R"({"choices":[{"message":{"content":null}}]})");
        row("200 array", 200, R"([{"message":{"content":"x"}}])");
        row("201 valid reply", 201, R"({"choices":[{"message":{"content":"x"}}]})");
    }

    void nonSuccessAnswersCarryTheirBody()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        script({answer(status, body)});
        ChatClient client(m_network, m_clock);
        const ChatResult result = run(client, endpoint());
        verifyFailure(result, ChatError::Kind::badServerResponse);
        QCOMPARE(result.error().description, description);
    }

    void transportAndParseFailures()
    {
        ChatClient client(m_network, m_clock);
        script({answer(200, "not json"), answer(200, "")});
        const ChatResult notJson = run(client, endpoint());
        verifyFailure(notJson, ChatError::Kind::transport);
        QVERIFY(!notJson.error().description.isEmpty());
        verifyFailure(run(client, endpoint()), ChatError::Kind::transport);

        script({SimulatedResponse{200, QString("x"), {}, 0, true}});
        verifyFailure(run(client, endpoint()), ChatError::Kind::transport);

        // Nobody listening.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closedPort = probe.serverPort();
        probe.close();
        const Endpoint refused{QStringLiteral("http://127.0.0.1:%1/v1").arg(closedPort), kKey, "m"};
        verifyFailure(run(client, refused), ChatError::Kind::transport);
    }

    void timeoutAbortsTheRequest()
    {
        // A 3 s limit shrunk to 0.3 s against an answer that takes 20 s.
        ChatClient client(m_network, m_clock, 0.1);
        script({reply("late", 20000)});
        QElapsedTimer elapsed;
        elapsed.start();
        const ChatResult result = run(client, endpoint(), 3.0);
        verifyFailure(result, ChatError::Kind::transport);
        QCOMPARE(result.error().description, QString("The request timed out."));
        QVERIFY(elapsed.elapsed() < 15000);
        QCOMPARE(m_sim->requests().size(), 1);
    }

    void replyIsTrimmed_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* content, const char* expected) {
            QTest::newRow(name) << QString(content) << QString(expected);
        };
        row("spaces and line feed", "  A sentence.\n", "A sentence.");
        row("inner line feeds kept", "\n\tOne\n\nTwo \u2029", "One\n\nTwo");
        row("no-break space", "\u00a0Hi\u3000", "Hi");
        row("empty", "", "");
        row("blank", " \n ", "");
    }

    void replyIsTrimmed()
    {
        QFETCH(QString, content);
        QFETCH(QString, expected);
        script({reply(content)});
        ChatClient client(m_network, m_clock);
        const ChatResult result = run(client, endpoint());
        QVERIFY(result.ok());
        QCOMPARE(result.reply(), expected);
    }

    void connectionIsReused()
    {
        QNetworkAccessManager fresh; // no idle connections left over from other tests
        ChatClient own(fresh, m_clock);
        QVERIFY(run(own, endpoint()).ok());
        QVERIFY(run(own, endpoint()).ok());
        QVERIFY(run(own, endpoint()).ok());
        QCOMPARE(m_sim->requests().size(), 3);
        QCOMPARE(m_sim->connectionsAccepted(), 1);
    }

    void warmUpAtMostEvery45Seconds()
    {
        QTemporaryDir dir;
        Preferences prefs(dir.filePath("Quillet.conf"));
        ProviderSettings settings(prefs, [](const QString&) { return std::optional(kKey); });
        ChatClient client(m_network, m_clock);
        QSignalSpy received(m_sim.get(), &ChatSimulator::requestReceived);

        // An unusable URL sends nothing and does not count as a warm-up.
        prefs.setValue("baseURL.cerebras", "no url here");
        QVERIFY(!client.warmUp(settings));
        prefs.setValue("baseURL.cerebras", m_sim->baseURL());
        QVERIFY(client.warmUp(settings));
        QVERIFY(received.wait(10000));
        const RecordedRequest& r = m_sim->requests().first();
        QCOMPARE(r.method, QString("GET"));
        QCOMPARE(r.path, QString("/v1/models"));
        QCOMPARE(r.header("authorization"), QByteArray("Bearer ") + kKey.toUtf8());
        QVERIFY(r.body.isEmpty());

        m_clock.advance(45.0);
        QVERIFY(!client.warmUp(settings));
        m_clock.advance(0.5);
        QVERIFY(client.warmUp(settings));
        QVERIFY(received.wait(10000));
        QCOMPARE(m_sim->requests().size(), 2);

        // Without a key the header is still sent, empty after "Bearer ".
        ProviderSettings keyless(prefs, [](const QString&) { return std::nullopt; });
        m_clock.advance(46.0);
        QVERIFY(client.warmUp(keyless));
        QVERIFY(received.wait(10000));
        QCOMPARE(m_sim->requests().last().header("authorization"), QByteArray("Bearer"));
    }
};

QTEST_GUILESS_MAIN(ChatClientTest)
#include "ChatClientTest.moc"
