#pragma once

#include "processing/ChatClient.h"
#include "processing/ProviderSettings.h"
#include "processing/TextProcessor.h"

#include <QNetworkAccessManager>
#include <QString>
#include <QTextStream>

#include <optional>

namespace quillet {

class Clock;
class KeyStore;
class Preferences;
class Store;

// The text-processing chain as the command line uses it: the user's vocabulary, modes and
// history from the store, the provider settings and keys, the process's network manager.
class Rewriter {
public:
    // All must outlive the rewriter; `keys` should be loaded. Destroying the rewriter ends its
    // requests under way; their rewrite() then returns the text with the replacements only.
    Rewriter(Preferences& prefs, Store& store, KeyStore& keys, QNetworkAccessManager& network,
             Clock& clock);

    // processText over the store's current data. When the service gives no reply, says why on
    // `err` (the result is then the text after the replacements).
    QCoro::Task<QString> rewrite(QString text, QString modeId, std::optional<QString> appName,
                                 QTextStream& err);

    // A mode given on the command line: a mode id, else a mode's name ignoring case. Anything
    // else is kept as given (it resolves to the default mode) and reported on `err`.
    QString modeIdFor(const QString& given, QTextStream& err) const;

private:
    Preferences& m_prefs;
    Store& m_store;
    ProviderSettings m_settings;
    ChatClient m_client;
    TextProcessor m_processor;
};

} // namespace quillet
