#pragma once

#include "processing/Endpoint.h"
#include "processing/Provider.h"

#include <QString>

#include <functional>
#include <optional>

namespace quillet {

class Preferences;

// The cached keyring key of an account; none when absent or empty.
using KeyLookup = std::function<std::optional<QString>(const QString& account)>;
// The key compiled into the build or given in the environment; none when there is neither.
using BuiltInKeyLookup = std::function<std::optional<QString>()>;

// Resolves the chosen text-processing provider, its base URL, key and models from the
// preferences (read on every call, never cached) and the key store.
class ProviderSettings {
public:
    // `builtInKey` is consulted for Cerebras only; the other providers have no built-in key.
    ProviderSettings(Preferences& prefs, KeyLookup readKey, BuiltInKeyLookup builtInKey = {});

    Provider currentProvider() const;
    QString providerBaseURL() const;
    // The keyring's key, else (Cerebras only) the built-in one; a key that is not usable
    // (KeyStore::isUsableKey) counts as none.
    std::optional<QString> providerKey() const;
    QString fastModel() const;
    QString qualityModel() const;
    Endpoint resolveEndpoint(bool fast) const;

    // Each writes one preference of the current provider, storing the text unchanged.
    void setProvider(Provider provider);
    void setFastModel(const QString& text);
    void setQualityModel(const QString& text);
    void setBaseURL(const QString& text);

    // The keyring account holding the provider's key: "llm." + raw value.
    static QString keyAccount(Provider provider);

    // Empty when the current base URL is fine; otherwise a sentence for the settings window:
    // plain http to a host other than this computer would carry the key in clear.
    QString baseURLStatus() const;

private:
    QString providerPreference(const QString& name) const;

    Preferences& m_prefs;
    KeyLookup m_readKey;
    BuiltInKeyLookup m_builtInKey;
};

} // namespace quillet
