#pragma once

#include "keyring/KeychainSecretBackend.h"
#include "processing/ChatClient.h"
#include "processing/ProviderSettings.h"
#include "processing/TextProcessor.h"
#include "speech/SpeechStream.h"
#include "store/DataFile.h"
#include "store/KeyStore.h"
#include "store/Preferences.h"
#include "util/Clock.h"

#include <QHash>
#include <QNetworkAccessManager>

#include <memory>

namespace quillet {

class DBusChangeNotifier;
class NetworkThread;
class Store;

// What every part of the program shares, made once by main() and handed to the command that runs
// or to the desktop application: this run's preferences, the clock, the keys, the user's data,
// the one network manager with the text processing over it, and the speech sessions. Main
// thread; make it after the application object.
class Engine {
public:
    // `argumentDomain` holds this run's "-name value" preferences.
    explicit Engine(QHash<QString, QString> argumentDomain = {});
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    Preferences& prefs() { return m_prefs; }
    Clock& clock() { return m_clock; }
    // Not loaded yet: await keys().load() before reading a key.
    KeyStore& keys() { return m_keys; }
    // Loads the data files on first use; their warnings go where setWarningSink() says.
    Store& store();
    QNetworkAccessManager& network() { return m_network; }
    ProviderSettings& providers() { return m_providers; }
    ChatClient& chat() { return m_chat; }
    TextProcessor& processor() { return m_processor; }

    // Completes once this run's announcements of data changes have left the process.
    QCoro::Task<void> flushAnnouncements();

    // A damaged data file set aside, a sync folder that is missing.
    void setWarningSink(DataWarning sink) { m_warn = std::move(sink); }

    // Text processing of a transcript over the user's current vocabulary, modes and history.
    QCoro::Task<QString> processText(QString text, QString modeId, std::optional<QString> appName,
                                     TextProcessor::FailureHandler onFailure = {});
    // Speech sessions with the service the preferences name at the moment each one starts.
    SpeechStreamFactory speechStreams();

private:
    Preferences m_prefs;
    SystemClock m_clock;
    KeychainSecretBackend m_keyring;
    KeyStore m_keys;
    QNetworkAccessManager m_network;
    ProviderSettings m_providers;
    ChatClient m_chat;
    TextProcessor m_processor;
    DataWarning m_warn;
    std::unique_ptr<DBusChangeNotifier> m_notifier;
    std::unique_ptr<Store> m_store;
    std::unique_ptr<NetworkThread> m_speechThread;
};

} // namespace quillet
