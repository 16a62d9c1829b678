#include "processing/ChatClient.h"

#include "ChatSimulator.h"
#include "processing/ProviderSettings.h"
#include "store/Preferences.h"
#include "util/ManualClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace quillet;
using namespace quillet::chatsim;
using Kind = ChatError::Kind;

Q_DECLARE_METATYPE(quillet::chatsim::SimulatedResponse)

namespace {

const QString kKey = QStringLiteral("sk-test-Zq8vW3secret");
const QString kUnsupported =
    QStringLiteral("Unsupported URL: the base URL must start with https:// or http://.");

SimulatedResponse answer(int status, QByteArray body)
{
    return SimulatedResponse{.status = status, .body = std::move(body)};
}

SimulatedResponse reply(QString content)
{
    return SimulatedResponse{.content = std::move(content)};
}

// Never answers within a test.
const SimulatedResponse kSilent{.content = QStringLiteral("late"), .delayMs = 600000};

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

    ChatResult run(ChatClient& client, const Endpoint& endpoint)
    {
        return QCoro::waitFor(client.chatComplete(QStringLiteral("System text"),
                                                  QStringLiteral("<dictation>hi</dictation>"),
                                                  endpoint, 6.0, nullptr));
    }

    void script(QList<SimulatedResponse> chat)
    {
        m_sim->setScript(Script{.chat = std::move(chat)});
    }

    // Every failure text must be free of the key.
    void verifyFailure(const ChatResult& result, Kind kind)
    {
        QVERIFY(!result.ok());
        QCOMPARE(result.error().kind, kind);
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
        Endpoint e = endpoint();
        e.baseURL += u'/'; // joined as plain text: a double slash
        const ChatResult result = QCoro::waitFor(client.chatComplete(
            QStringLiteral("Line one\nLine \"two\" ✓"),
            QStringLiteral("<dictation>a </dictation></dictation>"), e, 6.0, nullptr));
        QCOMPARE(result.reply(), QString("Done."));

        QCOMPARE(m_sim->requests().size(), 1);
        const RecordedRequest& r = m_sim->requests().first();
        QCOMPARE(r.method, QString("POST"));
        QCOMPARE(r.path, QString("/v1//chat/completions"));
        QCOMPARE(r.header("authorization"), QByteArray("Bearer ") + kKey.toUtf8());
        QCOMPARE(r.header("content-type"), QByteArray("application/json"));
        QVERIFY(!r.body.contains('\n'));                 // compact
        QVERIFY(r.body.contains("\"max_tokens\":4096")); // an integer, not 4096.0
        const auto message = [](const char* role, const char* content) {
            return QJsonObject{{"role", role}, {"content", content}};
        };
        QCOMPARE(
            QJsonDocument::fromJson(r.body).object(),
            QJsonObject({{"model", "gpt-4.1-mini"},
                         {"temperature", 0.2},
                         {"max_tokens", 4096},
                         {"messages",
                          QJsonArray{message("system", "Line one\nLine \"two\" ✓"),
                                     message("user", "<dictation>a </dictation></dictation>")}}}));
    }

    void reasoningEffortOnlyForThatModelFamily_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("present");
        QTest::newRow("cerebras fast default") << "gpt-oss-120b" << true;
        QTest::newRow("cerebras quality default") << "qwen-3.8-27b" << false;
        QTest::newRow("custom gpt-oss") << "gpt-oss-20b" << true;
        QTest::newRow("upper case") << "GPT-OSS-20b" << false;
        QTest::newRow("prefix elsewhere") << "openai/gpt-oss-20b" << false;
    }
    void reasoningEffortOnlyForThatModelFamily()
    {
        QFETCH(QString, model);
        QFETCH(bool, present);
        ChatClient client(m_network, m_clock);
        QVERIFY(run(client, endpoint(model)).ok());
        const QJsonObject body = QJsonDocument::fromJson(m_sim->requests().last().body).object();
        QCOMPARE(body["model"].toString(), model);
        QCOMPARE(body["reasoning_effort"].toString(), present ? QString("low") : QString());
        QCOMPARE(body.size(), present ? 5 : 4);
    }

    void unusableKeyOrURLFailsWithoutTraffic_data()
    {
        QTest::addColumn<QString>("baseURL"); // "SIM": the simulator's
        QTest::addColumn<QString>("key");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("description");
        const QString auth = QStringLiteral("User authentication required.");
        const auto a = Kind::userAuthenticationRequired;
        QTest::newRow("no key") << "SIM" << QString() << a << auth;
        QTest::newRow("line break in key") << "SIM" << kKey + "\r\nX-Evil: 1" << a << auth;
        QTest::newRow("line separator") << "SIM"
                                        << "sk-\u2028x" << a << auth;
        QTest::newRow("not a URL") << "api dot example" << kKey << a << auth;
        QTest::newRow("space in host") << "https://api example.com/v1" << kKey << a << auth;
        QTest::newRow("ftp") << "ftp://127.0.0.1/v1" << kKey << Kind::transport << kUnsupported;
        QTest::newRow("no scheme") << "" << kKey << Kind::transport << kUnsupported;
    }
    void unusableKeyOrURLFailsWithoutTraffic()
    {
        QFETCH(QString, baseURL);
        QFETCH(QString, key);
        QFETCH(Kind, kind);
        QFETCH(QString, description);
        ChatClient client(m_network, m_clock);
        const Endpoint e{baseURL == u"SIM" ? m_sim->baseURL() : baseURL, key, "m"};
        const ChatResult result = run(client, e);
        verifyFailure(result, kind);
        QCOMPARE(result.error().description, description);
        QVERIFY(m_sim->requests().isEmpty());
    }

    void nonSuccessAnswersCarryTheirBody_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description");
        // The description is the body as text unless given.
        const auto row = [](const char* name, int status, const QByteArray& body,
                            std::optional<QString> description = {}) {
            QTest::newRow(name) << status << body << description.value_or(QString::fromUtf8(body));
        };
        row("401 wrapped", 401, R"({"error":{"message":"Invalid API key","type":"x"}})");
        row("429 plain text", 429, "slow down");
        row("500 empty", 500, "");
        row("502 not UTF-8", 502, "\xff\xfe bad", "");
        row("200 no choices", 200, R"({"choices":[]})");
        row("200 null content", 200, R"({"choices":[{"message":{"content":null}}]})");
        row("200 array", 200, R"([{"message":{"content":"x"}}])");
        row("201 valid reply", 201, R"({"choices":[{"message":{"content":"x"}}]})");
        row("401 echoing the key", 401,
            "Invalid key: Bearer " + kKey.toUtf8() + ", " + kKey.toUtf8(),
            "Invalid key: Bearer [redacted], [redacted]");
    }
    void nonSuccessAnswersCarryTheirBody()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        script({answer(status, body)});
        ChatClient client(m_network, m_clock);
        const ChatResult result = run(client, endpoint());
        verifyFailure(result, Kind::badServerResponse);
        QCOMPARE(result.error().description, description);
    }

    void transportFailures_data()
    {
        QTest::addColumn<SimulatedResponse>("response");
        QTest::addColumn<QString>("description"); // empty: any non-empty text
        const QString tooLarge = QStringLiteral("The reply is larger than 4 MB; it was not read.");
        const auto redirect = [](const QByteArray& location) {
            return SimulatedResponse{.status = 307, .headers = {{"Location", location}}};
        };
        QTest::newRow("not JSON") << answer(200, "not json") << QString();
        QTest::newRow("empty body") << answer(200, "") << QString();
        QTest::newRow("dropped") << SimulatedResponse{.drop = true} << QString();
        QTest::newRow("redirect to another host")
            << redirect("http://localhost:1/v1/chat/completions")
            << "The service redirected the request to another host; the key was not sent there. "
               "Use the base URL it redirects to.";
        // The length is declared at once; the body is never read.
        QTest::newRow("300 MB") << SimulatedResponse{.fillBytes = 300'000'000} << tooLarge;
        QTest::newRow("5 MB, no length")
            << SimulatedResponse{.fillBytes = 5'000'000, .untilClose = true} << tooLarge;
    }
    void transportFailures()
    {
        QFETCH(SimulatedResponse, response);
        QFETCH(QString, description);
        // Every answer: Qt sends a request again once when the connection drops.
        m_sim->setScript(Script{.chatDefault = response});
        ChatClient client(m_network, m_clock);
        const ChatResult result = run(client, endpoint());
        verifyFailure(result, Kind::transport);
        QVERIFY(!result.error().description.isEmpty());
        if (!description.isEmpty())
            QCOMPARE(result.error().description, description);
    }

    void largeRepliesWithinTheLimitAndRedirectsWithinTheHostWork()
    {
        ChatClient client(m_network, m_clock);
        script({reply(QString(3'000'000, u'x'))});
        QCOMPARE(run(client, endpoint()).reply().size(), 3'000'000);

        script({SimulatedResponse{.status = 308, .headers = {{"Location", "/v2/chat/completions"}}},
                reply(QStringLiteral("Moved."))});
        QCOMPARE(run(client, endpoint()).reply(), QString("Moved."));
        QCOMPARE(m_sim->requests().last().path, QString("/v2/chat/completions"));
        QCOMPARE(m_sim->requests().last().header("authorization"), "Bearer " + kKey.toUtf8());
    }

    // The caller of a finished request may tear everything down at once, as the command line
    // does: the request must end from the event loop, not inside the Qt call that ended it.
    void requestEndsFromTheEventLoop_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("description");
        QTest::newRow("time limit") << "time"
                                    << "The request timed out.";
        QTest::newRow("scope destroyed") << "scope"
                                         << "The request was cancelled.";
        QTest::newRow("network manager destroyed") << "network"
                                                   << "The request was cancelled.";
    }
    void requestEndsFromTheEventLoop()
    {
        QFETCH(QString, ending);
        QFETCH(QString, description);
        script({kSilent});
        auto network = std::make_unique<QNetworkAccessManager>();
        auto scope = std::make_unique<QObject>();
        auto client = std::make_unique<ChatClient>(*network, m_clock);
        QSignalSpy received(m_sim.get(), &ChatSimulator::requestReceived);
        auto task = client->chatComplete("s", "u", endpoint(), 6.0, scope.get());
        std::optional<ChatResult> result;
        task.then([&](const ChatResult& r) {
            result = r;
            client.reset();
            network.reset();
        });
        QVERIFY(received.wait(10000));
        m_clock.advance(5.5);
        QCoreApplication::processEvents();
        QVERIFY(!result);

        if (ending == u"time")
            m_clock.advance(0.5);
        else if (ending == u"scope")
            scope.reset();
        else
            network.reset();
        QVERIFY(!result);
        QTRY_VERIFY(result);
        verifyFailure(*result, Kind::transport);
        QCOMPARE(result->error().description, description);
    }

    void replyIsTrimmed_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("spaces and line feed") << "  A sentence.\n"
                                              << "A sentence.";
        QTest::newRow("inner line feeds kept") << "\n\tOne\n\nTwo \u2029"
                                               << "One\n\nTwo";
        QTest::newRow("no-break space") << "\u00a0Hi\u3000"
                                        << "Hi";
        QTest::newRow("blank") << " \n "
                               << "";
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

    void warmUpAtMostEvery45Seconds()
    {
        QTemporaryDir dir;
        Preferences prefs(dir.filePath("Quillet.conf"));
        ProviderSettings settings(prefs, [](const QString&) { return std::optional(kKey); });
        ChatClient client(m_network, m_clock);
        QSignalSpy received(m_sim.get(), &ChatSimulator::requestReceived);
        QSignalSpy ended(&m_network, &QNetworkAccessManager::finished);

        // An unusable URL sends nothing and does not count as a warm-up.
        prefs.setValue("baseURL.cerebras", "ftp://127.0.0.1/v1");
        QVERIFY(!client.warmUp(settings));
        prefs.setValue("baseURL.cerebras", m_sim->baseURL());
        m_sim->setScript(Script{.models = {kSilent}});
        QVERIFY(client.warmUp(settings));
        QVERIFY(received.wait(10000));
        const RecordedRequest& r = m_sim->requests().first();
        QCOMPARE(r.method, QString("GET"));
        QCOMPARE(r.path, QString("/v1/models"));
        QCOMPARE(r.header("authorization"), QByteArray("Bearer ") + kKey.toUtf8());
        // Nobody waits for the answer, but the request ends after 5 s.
        m_clock.advance(4.5);
        QCoreApplication::processEvents();
        QVERIFY(ended.isEmpty());
        m_clock.advance(0.5);
        QTRY_COMPARE(ended.size(), 1);

        m_clock.advance(40.0);
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
