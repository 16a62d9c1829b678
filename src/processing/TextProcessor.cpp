#include "processing/TextProcessor.h"

#include "processing/Prompt.h"
#include "processing/ProviderSettings.h"
#include "store/BuiltInModes.h"
#include "store/ModeRules.h"
#include "util/Clock.h"

#include <QPointer>

#include <cmath>

namespace quillet {

namespace {

const QString kDefaultModeId = QStringLiteral("quillet");
constexpr int kHistoryDepth = 6;
constexpr double kFastTimeout = 6.0;
constexpr double kQualityTimeout = 3.0;
constexpr double kRetryTimeout = 6.0;

} // namespace

ProcessingPlan TextProcessor::plan(const ProcessingInput& input)
{
    ProcessingPlan plan;
    const Style style = resolveStyle(input.modeId, input.styles);
    plan.text = input.vocabulary.applyReplacements(input.transcript);
    // The default mode only rewrites a transcript that shows something to clean up.
    if (style.id == kDefaultModeId && (!input.cleanup || !needsCleanup(plan.text)))
        return plan;

    const QStringList recent =
        style.useHistory ? recentResults(style.id, kHistoryDepth, input.history, input.styles)
                         : QStringList();
    plan.send = true;
    plan.fast = style.fast;
    plan.system = composeSystemPrompt(style, input.appName, input.vocabulary.terms, recent);
    plan.user = composeUserMessage(plan.text);
    return plan;
}

TextProcessor::TextProcessor(ChatService& chat, const ProviderSettings& settings, Clock& clock,
                             QObject* parent)
    : QObject(parent)
    , m_chat(chat)
    , m_settings(settings)
    , m_clock(clock)
    , m_requests(std::make_unique<QObject>())
{}

TextProcessor::~TextProcessor() = default;

void TextProcessor::abortAll()
{
    m_requests = std::make_unique<QObject>();
}

QCoro::Task<QString> TextProcessor::processText(ProcessingInput input, FailureHandler onFailure)
{
    const ProcessingPlan plan = TextProcessor::plan(input);
    if (!plan.send)
        co_return plan.text;

    QPointer<TextProcessor> self(this);
    QPointer<QObject> scope(m_requests.get());
    // Each call is made in a statement of its own and only its task is awaited: g++ 12 may
    // destroy twice the temporaries of an expression that contains co_await.
    const Endpoint endpoint = m_settings.resolveEndpoint(plan.fast);
    QCoro::Task<ChatResult> request = m_chat.chatComplete(
        plan.system, plan.user, endpoint, plan.fast ? kFastTimeout : kQualityTimeout, scope.get());
    ChatResult result = co_await request;
    // A slow or failing quality model gets one more chance on the fast one; no other retries,
    // and none once the run was stopped.
    if (!result.ok() && !plan.fast && self && scope) {
        const Endpoint fast = m_settings.resolveEndpoint(true);
        QCoro::Task<ChatResult> retry =
            m_chat.chatComplete(plan.system, plan.user, fast, kRetryTimeout, scope.get());
        result = co_await retry;
    }
    if (result.ok())
        co_return input.vocabulary.applyReplacements(result.reply());
    if (onFailure && self)
        onFailure(result.error());
    co_return input.vocabulary.applyReplacements(plan.text);
}

QCoro::Task<QString> TextProcessor::testTextProcessing(std::function<void(const QString&)> show)
{
    if (show)
        show(QStringLiteral("Testing…"));
    QPointer<TextProcessor> self(this);
    const double t0 = m_clock.uptime();
    const Endpoint endpoint = m_settings.resolveEndpoint(true);
    const QString system = composeSystemPrompt(*builtInStyle(kDefaultModeId), std::nullopt, {}, {});
    QCoro::Task<ChatResult> request = m_chat.chatComplete(
        system, QStringLiteral("<dictation>um so this is uh a test</dictation>"), endpoint,
        kFastTimeout, m_requests.get());
    const ChatResult result = co_await request;
    if (!self)
        co_return QString();
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
