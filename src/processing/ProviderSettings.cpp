#include "processing/ProviderSettings.h"

#include "store/KeyStore.h"
#include "store/Preferences.h"

#include <QHostAddress>
#include <QUrl>

namespace quillet {

ProviderSettings::ProviderSettings(Preferences& prefs, KeyLookup readKey,
                                   BuiltInKeyLookup builtInKey)
    : m_prefs(prefs)
    , m_readKey(std::move(readKey))
    , m_builtInKey(std::move(builtInKey))
{}

Provider ProviderSettings::currentProvider() const
{
    return providers::fromRawValue(m_prefs.string(QStringLiteral("provider")))
        .value_or(Provider::cerebras);
}

QString ProviderSettings::providerPreference(const QString& name) const
{
    return name + u'.' + providers::rawValue(currentProvider());
}

QString ProviderSettings::providerBaseURL() const
{
    return m_prefs.nonEmptyString(providerPreference(QStringLiteral("baseURL")))
        .value_or(providers::defaultBaseURL(currentProvider()));
}

std::optional<QString> ProviderSettings::providerKey() const
{
    const Provider provider = currentProvider();
    if (m_readKey) {
        std::optional<QString> key = m_readKey(keyAccount(provider));
        if (key && KeyStore::isUsableKey(*key))
            return key;
    }
    if (provider == Provider::cerebras && m_builtInKey) {
        std::optional<QString> key = m_builtInKey();
        if (key && KeyStore::isUsableKey(*key))
            return key;
    }
    return std::nullopt;
}

QString ProviderSettings::fastModel() const
{
    return m_prefs.nonEmptyString(providerPreference(QStringLiteral("model")))
        .value_or(providers::defaultFastModel(currentProvider()));
}

QString ProviderSettings::qualityModel() const
{
    return m_prefs.nonEmptyString(providerPreference(QStringLiteral("promptModel")))
        .value_or(providers::defaultQualityModel(currentProvider()));
}

Endpoint ProviderSettings::resolveEndpoint(bool fast) const
{
    return Endpoint{providerBaseURL(), providerKey().value_or(QString()),
                    fast ? fastModel() : qualityModel()};
}

void ProviderSettings::setProvider(Provider provider)
{
    m_prefs.setValue(QStringLiteral("provider"), providers::rawValue(provider));
}

void ProviderSettings::setFastModel(const QString& text)
{
    m_prefs.setValue(providerPreference(QStringLiteral("model")), text);
}

void ProviderSettings::setQualityModel(const QString& text)
{
    m_prefs.setValue(providerPreference(QStringLiteral("promptModel")), text);
}

void ProviderSettings::setBaseURL(const QString& text)
{
    m_prefs.setValue(providerPreference(QStringLiteral("baseURL")), text);
}

QString ProviderSettings::keyAccount(Provider provider)
{
    return QStringLiteral("llm.") + providers::rawValue(provider);
}

namespace {

bool sendsKeyInClear(const QString& baseURL)
{
    const QUrl url(baseURL, QUrl::StrictMode);
    if (url.scheme().compare(u"http", Qt::CaseInsensitive) != 0)
        return false;
    const QString host = url.host();
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0 ||
        host.endsWith(u".localhost", Qt::CaseInsensitive))
        return false;
    const QHostAddress address(host);
    return address.isNull() || !address.isLoopback();
}

} // namespace

QString ProviderSettings::baseURLStatus() const
{
    if (!sendsKeyInClear(providerBaseURL()))
        return {};
    return QStringLiteral("The base URL uses plain http to another computer: your API key would "
                          "travel unencrypted. Use https.");
}

} // namespace quillet
