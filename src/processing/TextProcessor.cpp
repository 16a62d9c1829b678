#include "processing/TextProcessor.h"

#include "processing/Prompt.h"
#include "processing/ProviderSettings.h"
#include "store/BuiltInModes.h"
#include "store/ModeRules.h"
#include "store/Preferences.h"
#include "store/Store.h"
#include "util/Clock.h"

#include <cmath>

namespace quillet {

namespace {
const QString kDefaultModeId = QStringLiteral("quillet");
} // namespace

ProcessingInput ProcessingInput::fromStore(const Store& store, const Preferences& prefs,
                                           QString transcript, QString modeId,
                                           std::optional<QString> appName)
{
    ProcessingInput input;
    input.transcript = std::move(transcript);
    input.modeId = std::move(modeId);
    input.appName = std::move(appName);
    input.vocabulary = store.vocab();
    input.styles = store.modes().styles;
    input.history = store.history();
    input.cleanup = prefs.cleanup();
    return input;
}

TextProcessor::TextProcessor(ChatService& chat, const ProviderSettings& settings, Clock& clock)
    : m_chat(chat)
    , m_settings(settings)
    , m_clock(clock)
{}

ProcessingPlan TextProcessor::plan(const ProcessingInput& input)
{
    ProcessingPlan plan;
    const Style style = resolveStyle(input.modeId, input.styles);
    plan.text = input.vocabulary.applyReplacements(input.transcript);
    // The default mode only rewrites a transcript that shows something to clean up.
    if (style.id == kDefaultModeId && (!input.cleanup || !needsCleanup(plan.text)))
        return plan;

    const QStringList recent = style.useHistory ? recentResults(style.id, prompt::historyDepth,
                                                                input.history, input.styles)
                                                : QStringList();
    plan.send = true;
    plan.fast = style.fast;
    plan.system = composeSystemPrompt(style, input.appName, input.vocabulary.terms, recent);
    plan.user = composeUserMessage(plan.text);
    return plan;
}

QCoro::Task<QString> TextProcessor::processText(ProcessingInput input, FailureHandler onFailure)
{
    const ProcessingPlan plan = TextProcessor::plan(input);
    if (!plan.send)
        co_return plan.text;

    // Each call is made in a statement of its own and only its task is awaited: g++ 12 may
    // destroy twice the temporaries of an expression that contains co_await.
    const Endpoint endpoint = m_settings.resolveEndpoint(plan.fast);
    QCoro::Task<ChatResult> request = m_chat.chatComplete(
        plan.system, plan.user, endpoint, plan.fast ? fastTimeout : qualityTimeout, nullptr);
    ChatResult result = co_await request;
    // A slow or failing quality model gets one more chance on the fast one; no other retries.
    if (!result.ok() && !plan.fast) {
        const Endpoint fast = m_settings.resolveEndpoint(true);
        QCoro::Task<ChatResult> retry =
            m_chat.chatComplete(plan.system, plan.user, fast, retryTimeout, nullptr);
        result = co_await retry;
    }
    if (result.ok())
        co_return input.vocabulary.applyReplacements(result.reply());
    if (onFailure)
        onFailure(result.error());
    co_return input.vocabulary.applyReplacements(plan.text);
}

QCoro::Task<QString> TextProcessor::testTextProcessing(std::function<void(const QString&)> show)
{
    if (show)
        show(QStringLiteral("Testing…"));
    const double t0 = m_clock.uptime();
    const Endpoint endpoint = m_settings.resolveEndpoint(true);
    const QString system = builtInStyle(kDefaultModeId)->instructions + prompt::rulesBlock;
    QCoro::Task<ChatResult> request =
        m_chat.chatComplete(system, testUserMessage, endpoint, fastTimeout, nullptr);
    const ChatResult result = co_await request;
    QString status;
    if (result.ok()) {
        const auto ms = static_cast<qint64>(std::floor((m_clock.uptime() - t0) * 1000.0));
        status = QStringLiteral("Works (%1 ms): ").arg(ms) + result.reply();
    } else {
        status = QStringLiteral("Failed: ") + result.error().description;
    }
    if (show)
        show(status);
    co_return status;
}

} // namespace quillet
