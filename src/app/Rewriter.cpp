#include "app/Rewriter.h"

#include "app/Engine.h"
#include "store/Store.h"

namespace quillet {

QCoro::Task<QString> Rewriter::rewrite(QString text, QString modeId, std::optional<QString> appName,
                                       QTextStream& err)
{
    const ProviderSettings& settings = m_engine.providers();
    const bool hasKey = settings.providerKey().has_value();
    const QString provider = providers::displayName(settings.currentProvider());
    TextProcessor::FailureHandler onFailure = [&err, hasKey, provider](const ChatError& error) {
        const bool noKey = error.kind == ChatError::Kind::userAuthenticationRequired && !hasKey;
        err << "quillet: text processing failed ("
            << (noKey ? QStringLiteral("no API key for ") + provider : errorSummary(error))
            << "); the text has the replacements only\n";
        err.flush();
    };
    // Called apart from the co_await: g++ 12 may destroy twice the temporaries of an expression
    // that contains co_await.
    QCoro::Task<QString> run = m_engine.processText(std::move(text), std::move(modeId),
                                                    std::move(appName), std::move(onFailure));
    co_return co_await run;
}

QString Rewriter::modeIdFor(const QString& given, QTextStream& err) const
{
    const QList<Style>& styles = m_engine.store().modes().styles;
    for (const Style& style : styles) {
        if (style.id == given)
            return given;
    }
    for (const Style& style : styles) {
        if (style.name.compare(given, Qt::CaseInsensitive) == 0)
            return style.id;
    }
    if (given != u"prompt")
        err << "quillet: no mode \"" << given << "\"; using the default mode\n";
    return given;
}

} // namespace quillet
