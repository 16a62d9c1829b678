#include "processing/TextProcessor.h"

#include "ChatSimulator.h"
#include "FakeChatService.h"
#include "processing/ChatClient.h"
#include "processing/ProviderSettings.h"
#include "store/BuiltInModes.h"
#include "store/Preferences.h"

#include <QCryptographicHash>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace quillet;

namespace {

const QString kKey = QStringLiteral("sk-proc-9fK2secret");

QByteArray sha256(const QString& text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex();
}

} // namespace

class TextProcessorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Preferences> m_prefs;
    std::unique_ptr<ProviderSettings> m_settings;
    ManualClock m_clock;
    FakeChatService m_chat;

    ProcessingInput input(const QString& modeId, const QString& transcript)
    {
        ProcessingInput in;
        in.transcript = transcript;
        in.modeId = modeId;
        in.styles = builtInStyles();
        in.vocabulary.replacements = {{"open ai", "OpenAI"}, {"kube", "Kubernetes"}};
        in.vocabulary.terms = {"OpenAI", "Kubernetes"};
        return in;
    }

    // Processes `in` through the fake, keeping any failure in `failure`.
    QString process(ProcessingInput in, std::optional<ChatError>* failure = nullptr)
    {
        TextProcessor processor(m_chat, *m_settings, m_clock);
        return QCoro::waitFor(processor.processText(std::move(in), [failure](const ChatError& e) {
            if (failure)
                *failure = e;
        }));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_prefs = std::make_unique<Preferences>(m_dir->filePath("Quillet.conf"));
        m_settings = std::make_unique<ProviderSettings>(
            *m_prefs, [](const QString&) { return std::optional(kKey); });
        m_chat = FakeChatService();
    }

    void defaultModeGate_data()
    {
        QTest::addColumn<QString>("modeId");
        QTest::addColumn<bool>("cleanup");
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<bool>("sent");
        QTest::newRow("clean text") << "quillet" << true << "Deploy it to kube today." << false;
        QTest::newRow("filler") << "quillet" << true << "um deploy it to kube" << true;
        QTest::newRow("cleanup off") << "quillet" << false << "um uh the the, no, x" << false;
        QTest::newRow("deleted mode acts as default") << "gone" << true << "plain words" << false;
        QTest::newRow("write, one word") << "write" << true << "Hello" << true;
        QTest::newRow("chat, cleanup off") << "chat" << false << "hi" << true;
        QTest::newRow("prompt means code") << "prompt" << false << "fix it" << true;
    }
    void defaultModeGate()
    {
        QFETCH(QString, modeId);
        QFETCH(bool, cleanup);
        QFETCH(QString, transcript);
        QFETCH(bool, sent);
        ProcessingInput in = input(modeId, transcript);
        in.cleanup = cleanup;
        m_chat.answers = {ChatResult(QStringLiteral("Rewritten."))};
        const QString result = process(in);
        QCOMPARE(m_chat.calls.size(), sent ? 1 : 0);
        QCOMPARE(result,
                 sent ? QString("Rewritten.") : in.vocabulary.applyReplacements(transcript));
    }

    void replacementsBeforeAndAfterTheService()
    {
        m_chat.answers = {ChatResult(QStringLiteral("We use open ai and kube."))};
        const QString result = process(input("write", "we use open ai on kube"));
        QCOMPARE(result, QString("We use OpenAI and Kubernetes."));
        QCOMPARE(m_chat.calls.size(), 1);
        QCOMPARE(m_chat.calls[0].user,
                 QString("<dictation>we use OpenAI on Kubernetes</dictation>"));
        // The "write" instructions, the rules and the terms line.
        QCOMPARE(sha256(m_chat.calls[0].system),
                 "b89b4f97a3a30b04a6298cb146f986ef562e9d6768ee166db0eb0b5e77f67caa");

        // An empty reply is a valid result.
        m_chat.answers = {ChatResult(QString())};
        QCOMPARE(process(input("write", "anything")), QString());
    }

    void fastModeMakesOneSixSecondRequest()
    {
        m_chat.answers = {ChatResult(ChatError{ChatError::Kind::badServerResponse, "{}"})};
        std::optional<ChatError> failure;
        const QString result = process(input("chat", "see you at the kube meetup"), &failure);
        QCOMPARE(result, QString("see you at the Kubernetes meetup"));
        QCOMPARE(m_chat.calls.size(), 1);
        QCOMPARE(m_chat.calls[0].timeoutSeconds, 6.0);
        QCOMPARE(m_chat.calls[0].endpoint.model, QString("gpt-oss-120b"));
        QCOMPARE(m_chat.calls[0].endpoint.key, kKey);
        QVERIFY(failure.has_value());
        QCOMPARE(failure->kind, ChatError::Kind::badServerResponse);
    }

    void qualityFailureRetriesOnceOnTheFastModel()
    {
        m_prefs->setValue("provider", "custom");
        m_prefs->setValue("model.custom", "fast-one");
        m_prefs->setValue("promptModel.custom", "slow-one");
        ProcessingInput in = input("write", "open ai notes");
        in.appName = QStringLiteral("Notes");
        in.vocabulary.terms.clear();
        m_chat.answers = {ChatResult(ChatError{ChatError::Kind::transport, "timed out"}),
                          ChatResult(QStringLiteral("Open ai notes."))};
        QCOMPARE(process(in), QString("OpenAI notes."));
        QCOMPARE(m_chat.calls.size(), 2);
        QCOMPARE(m_chat.calls[0].endpoint.model, QString("slow-one"));
        QCOMPARE(m_chat.calls[0].timeoutSeconds, 3.0);
        QCOMPARE(m_chat.calls[1].endpoint.model, QString("fast-one"));
        QCOMPARE(m_chat.calls[1].timeoutSeconds, 6.0);
        QCOMPARE(m_chat.calls[1].user, m_chat.calls[0].user);
        // The "write" instructions, the rules and the target line, both times.
        QCOMPARE(sha256(m_chat.calls[0].system),
                 "4839135cb726237a7af7d907c350741172fbdee975051f15b979d992548710c3");
        QCOMPARE(m_chat.calls[1].system, m_chat.calls[0].system);
    }

    void bothFailingReturnsTheReplacedTranscript()
    {
        m_chat.answers = {ChatResult(ChatError{ChatError::Kind::transport, "first"}),
                          ChatResult(ChatError{ChatError::Kind::badServerResponse, "second"})};
        std::optional<ChatError> failure;
        QCOMPARE(process(input("code", "restart kube pods"), &failure),
                 QString("restart Kubernetes pods"));
        QCOMPARE(m_chat.calls.size(), 2);
        QCOMPARE(failure->description, QString("second"));

        // No key: the endpoint carries none, and the result is still the replaced transcript.
        m_settings = std::make_unique<ProviderSettings>(
            *m_prefs, [](const QString&) { return std::nullopt; });
        m_chat = FakeChatService();
        QCOMPARE(process(input("code", "open ai")), QString("OpenAI"));
        QCOMPARE(m_chat.calls[0].endpoint.key, QString());
    }

    void settingsTestReportsTheOutcome()
    {
        TextProcessor processor(m_chat, *m_settings, m_clock);
        m_chat.clock = &m_clock;
        m_chat.elapsedPerCall = 0.2349;
        m_chat.answers = {ChatResult(QStringLiteral("So this is a test."))};
        QStringList shown;
        const QString status = QCoro::waitFor(
            processor.testTextProcessing([&shown](const QString& s) { shown << s; }));
        QCOMPARE(shown, QStringList({"Testing…", "Works (234 ms): So this is a test."}));
        QCOMPARE(status, shown.last());
        // The "quillet" instructions and the rules, nothing else.
        QCOMPARE(sha256(m_chat.calls[0].system),
                 "2869764a9e699bc9e4f4921bbd3c59ad78b40e205d4235f95bfd8d7e2f3967cc");
        QCOMPARE(m_chat.calls[0].user, QString("<dictation>um so this is uh a test</dictation>"));
        QCOMPARE(m_chat.calls[0].timeoutSeconds, 6.0);
        QCOMPARE(m_chat.calls[0].endpoint.model, QString("gpt-oss-120b"));

        const QString body = R"({"error":{"message":"Invalid API key"}})";
        m_chat.answers = {ChatResult(ChatError{ChatError::Kind::badServerResponse, body})};
        QCOMPARE(QCoro::waitFor(processor.testTextProcessing()), "Failed: " + body);
    }

    void errorSummaryReadsBothErrorShapes()
    {
        using K = ChatError::Kind;
        const auto summary = [](const QString& body, K kind = K::badServerResponse) {
            return errorSummary(ChatError{kind, body});
        };
        QCOMPARE(summary(R"({"error":{"message":"Bad key"}})"), QString("Bad key"));
        QCOMPARE(summary(R"({"message":"Flat","type":"x"})"), QString("Flat"));
        QCOMPARE(summary(R"({"error":"Plain"})"), QString("Plain"));
        QCOMPARE(summary("Gateway down"), QString("Gateway down"));
        QCOMPARE(summary(R"({"choices":[]})"), QString(R"({"choices":[]})"));
        QCOMPARE(summary(R"({"message":"x"})", K::transport), QString(R"({"message":"x"})"));
    }

    // The owner stops a run mid-request (the application quits, or abortAll()): the run gets the
    // replaced transcript at once, without the fast retry, over the real client.
    void stoppingMidRequestGivesTheFallback_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("abortAll") << false;
        QTest::newRow("processor destroyed") << true;
    }
    void stoppingMidRequestGivesTheFallback()
    {
        QFETCH(bool, destroy);
        using namespace quillet::chatsim;
        ChatSimulator sim(Script{.chatDefault = {.content = "late", .delayMs = 600000}});
        QVERIFY(sim.listen());
        m_prefs->setValue("baseURL.cerebras", sim.baseURL());
        QNetworkAccessManager network;
        ChatClient client(network, m_clock);
        auto processor = std::make_unique<TextProcessor>(client, *m_settings, m_clock);
        QSignalSpy received(&sim, &ChatSimulator::requestReceived);
        std::optional<ChatError> failure;
        auto run = processor->processText(input("write", "Draft the kube note"),
                                          [&failure](const ChatError& e) { failure = e; });
        std::optional<QString> result;
        run.then([&result](const QString& text) { result = text; });
        QVERIFY(received.wait(10000));

        if (destroy)
            processor.reset();
        else
            processor->abortAll();
        QTRY_VERIFY(result);
        QCOMPARE(*result, QString("Draft the Kubernetes note"));
        QCOMPARE(sim.requests().size(), 1);
        // Only a processor that is still there tells why.
        QCOMPARE(failure.has_value(), !destroy);
        if (destroy)
            return;
        QCOMPARE(failure->description, QString("The request was cancelled."));
        // Later runs are not affected.
        sim.setScript(Script{.chat = {{.content = "Again."}}});
        QCOMPARE(QCoro::waitFor(processor->processText(input("write", "x"))), QString("Again."));
    }
};

QTEST_GUILESS_MAIN(TextProcessorTest)
#include "TextProcessorTest.moc"
