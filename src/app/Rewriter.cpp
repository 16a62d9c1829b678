#include "app/Rewriter.h"

#include "store/KeyStore.h"
#include "store/Preferences.h"
#include "store/Store.h"

namespace quillet {

Rewriter::Rewriter(Preferences& prefs, Store& store, KeyStore& keys, QNetworkAccessManager& network,
                   Clock& clock)
    : m_prefs(prefs)
    , m_store(store)
    , m_settings(
          prefs, [&keys](const QString& account) { return keys.readKey(account); },
          [] { return KeyStore::builtInKey("CEREBRAS_API_KEY", "CerebrasAPIKey"); })
    , m_client(network, clock)
    , m_processor(m_client, m_settings, clock)
{}

QCoro::Task<QString> Rewriter::rewrite(QString text, QString modeId, std::optional<QString> appName,
                                       QTextStream& err)
{
    ProcessingInput input{std::move(text),  std::move(modeId),      std::move(appName),
                          m_store.vocab(),  m_store.modes().styles, m_store.history(),
                          m_prefs.cleanup()};
    const bool hasKey = m_settings.providerKey().has_value();
    const QString provider = providers::displayName(m_settings.currentProvider());
    TextProcessor::FailureHandler onFailure = [&err, hasKey, provider](const ChatError& error) {
        const bool noKey = error.kind == ChatError::Kind::userAuthenticationRequired && !hasKey;
        err << "quillet: text processing failed ("
            << (noKey ? QStringLiteral("no API key for ") + provider : errorSummary(error))
            << "); the text has the replacements only\n";
        err.flush();
    };
    // Called apart from the co_await: g++ 12 may destroy twice the temporaries of an expression
    // that contains co_await.
    QCoro::Task<QString> run = m_processor.processText(std::move(input), std::move(onFailure));
    co_return co_await run;
}

QString Rewriter::modeIdFor(const QString& given, QTextStream& err) const
{
    const QList<Style>& styles = m_store.modes().styles;
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
