#include "app/Engine.h"

#include "dbus/DBusChangeNotifier.h"
#include "speech/NetworkThread.h"
#include "speech/SonioxStream.h"
#include "store/Store.h"

#include <QUrl>

namespace quillet {

Engine::Engine(QHash<QString, QString> argumentDomain)
    : m_prefs(Preferences::defaultPath(), std::move(argumentDomain))
    , m_keys(m_keyring)
    , m_providers(
          m_prefs, [this](const QString& account) { return m_keys.readKey(account); },
          [] { return KeyStore::builtInKey("CEREBRAS_API_KEY", "CerebrasAPIKey"); })
    , m_chat(m_network, m_clock)
    , m_processor(m_chat, m_providers, m_clock)
{}

// The processor's requests end before the network manager they use goes.
Engine::~Engine() = default;

Store& Engine::store()
{
    if (!m_store) {
        m_notifier = std::make_unique<DBusChangeNotifier>();
        m_store = std::make_unique<Store>(Store::defaultDir(), m_prefs, m_clock, *m_notifier,
                                          [this](const QString& message) {
                                              if (m_warn)
                                                  m_warn(message);
                                          });
    }
    return *m_store;
}

QCoro::Task<void> Engine::flushAnnouncements()
{
    if (m_notifier) {
        QCoro::Task<void> flushing = m_notifier->flush();
        co_await flushing;
    }
}

QCoro::Task<QString> Engine::processText(QString text, QString modeId,
                                         std::optional<QString> appName,
                                         TextProcessor::FailureHandler onFailure)
{
    Store& data = store();
    ProcessingInput input{std::move(text),     std::move(modeId), std::move(appName), data.vocab(),
                          data.modes().styles, data.history(),    m_prefs.cleanup()};
    return m_processor.processText(std::move(input), std::move(onFailure));
}

SpeechStreamFactory Engine::speechStreams()
{
    // Made here, on the main thread: the factory itself also runs on the network thread when a
    // session is replaced.
    if (!m_speechThread)
        m_speechThread = std::make_unique<NetworkThread>();
    return [this, &network = *m_speechThread](const QString& key,
                                              const SpeechStream::Options& options,
                                              SpeechStream::Callbacks callbacks) {
        const SonioxStream::Service service{QUrl(m_prefs.sonioxEndpoint()), m_prefs.sonioxModel()};
        return std::static_pointer_cast<SpeechStream>(
            SonioxStream::create(network, service, m_clock, key, options, std::move(callbacks)));
    };
}

} // namespace quillet
