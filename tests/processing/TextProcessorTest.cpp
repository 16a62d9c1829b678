#include "processing/TextProcessor.h"

#include "FakeChatService.h"
#include "processing/Prompt.h"
#include "processing/ProviderSettings.h"
#include "store/BuiltInModes.h"
#include "store/Preferences.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quillet;

namespace {

const QString kKey = QStringLiteral("sk-proc-9fK2secret");

Entry entry(const QString& mode, const QString& text)
{
    return Entry{QUuid::createUuid(), QDateTime::currentDateTimeUtc(), text, text, mode,
                 std::nullopt};
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
        QTest::newRow("repeat") << "quillet" << true << "deploy the the thing" << true;
        QTest::newRow("self-correction") << "quillet" << true << "at 3, no, at 4" << true;
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
        QVERIFY(m_chat.calls[0].system.startsWith(builtInStyle("write")->instructions +
                                                  prompt::rulesBlock));
        QVERIFY(m_chat.calls[0].system.endsWith(
            "\nSpell these terms exactly like this: OpenAI, Kubernetes"));

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
        m_chat.answers = {ChatResult(ChatError{ChatError::Kind::transport, "timed out"}),
                          ChatResult(QStringLiteral("Open ai notes."))};
        QCOMPARE(process(in), QString("OpenAI notes."));
        QCOMPARE(m_chat.calls.size(), 2);
        QCOMPARE(m_chat.calls[0].endpoint.model, QString("slow-one"));
        QCOMPARE(m_chat.calls[0].timeoutSeconds, 3.0);
        QCOMPARE(m_chat.calls[1].endpoint.model, QString("fast-one"));
        QCOMPARE(m_chat.calls[1].timeoutSeconds, 6.0);
        QCOMPARE(m_chat.calls[1].system, m_chat.calls[0].system);
        QCOMPARE(m_chat.calls[1].user, m_chat.calls[0].user);
        QVERIFY(m_chat.calls[0].system.contains("\nThe result will be pasted into: Notes."));
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

        // No key: both attempts fail at once, the result is still the replaced transcript.
        m_settings = std::make_unique<ProviderSettings>(
            *m_prefs, [](const QString&) { return std::nullopt; });
        m_chat = FakeChatService();
        m_chat.answers = {ChatResult(ChatError{ChatError::Kind::userAuthenticationRequired, "x"}),
                          ChatResult(ChatError{ChatError::Kind::userAuthenticationRequired, "x"})};
        QCOMPARE(process(input("code", "open ai")), QString("OpenAI"));
        QCOMPARE(m_chat.calls[0].endpoint.key, QString());
    }

    void historyGoesIntoModesThatAskForIt()
    {
        ProcessingInput in = input("prompt", "and the same for staging");
        for (int i = 7; i >= 1; --i) {
            in.history << entry(i % 2 ? "code" : "prompt", QString("code %1").arg(i));
            in.history << entry("chat", QString("chat %1").arg(i));
        }
        m_chat.answers = {ChatResult(QStringLiteral("ok"))};
        process(in);
        const QString system = m_chat.calls.at(0).system;
        QVERIFY(system.endsWith(prompt::historyHead +
                                "1. code 2\n---\n2. code 3\n---\n3. code 4\n---\n4. code 5\n---\n"
                                "5. code 6\n---\n6. code 7"));

        // "write" does not use history, whatever the history holds.
        in.modeId = "write";
        in.history << entry("write", "earlier write");
        m_chat.answers = {ChatResult(QStringLiteral("ok"))};
        process(in);
        QVERIFY(!m_chat.calls.at(1).system.contains("recent results"));
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
        QCOMPARE(m_chat.calls[0].system,
                 builtInStyle("quillet")->instructions + prompt::rulesBlock);
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
        QCOMPARE(errorSummary({K::badServerResponse, R"({"error":{"message":"Bad key"}})"}),
                 QString("Bad key"));
        QCOMPARE(errorSummary({K::badServerResponse, R"({"message":"Flat","type":"x"})"}),
                 QString("Flat"));
        QCOMPARE(errorSummary({K::badServerResponse, R"({"error":"Plain"})"}), QString("Plain"));
        QCOMPARE(errorSummary({K::badServerResponse, "Gateway down"}), QString("Gateway down"));
        QCOMPARE(errorSummary({K::badServerResponse, R"({"choices":[]})"}),
                 QString(R"({"choices":[]})"));
        QCOMPARE(errorSummary({K::transport, R"({"message":"x"})"}), QString(R"({"message":"x"})"));
    }
};

QTEST_GUILESS_MAIN(TextProcessorTest)
#include "TextProcessorTest.moc"
