#pragma once

// The desktop core wired as the application wires it, on the real services of the test desktop
// (PulseAudio's virtual microphone, the X server, AT-SPI, Enchant) and the speech and chat
// simulators, with a stopwatch at the seams the benchmarks measure: the first buffer a capture
// hands on, the speech service's answer to the finalize, and the paste chord.

#include "atspi/AtspiAccessibility.h"
#include "desktop/Controller.h"
#include "desktop/Dictation.h"
#include "desktop/Hud.h"
#include "enchant/EnchantSpellChecker.h"
#include "keyring/KeychainSecretBackend.h"
#include "platform/ChangeNotifier.h"
#include "platform/KeyMonitor.h"
#include "processing/ChatClient.h"
#include "processing/ProviderSettings.h"
#include "processing/TextProcessor.h"
#include "pulse/PulseAudioSystem.h"
#include "speech/NetworkThread.h"
#include "speech/SonioxStream.h"
#include "store/KeyStore.h"
#include "store/Preferences.h"
#include "store/Store.h"
#include "x11/QtPasteboard.h"
#include "x11/X11PasteSender.h"
#include "x11/X11Workspace.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <memory>

namespace quillet::bench {

using Steady = std::chrono::steady_clock;

inline double msBetween(Steady::time_point from, Steady::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The keyboard, typed on by the benchmark.
class ScriptedKeys final : public KeyMonitor {
    Q_OBJECT
public:
    bool start() override { return true; }
    bool isAvailable() const override { return true; }
    void setPushToTalkKey(int) override {}
    void send(KeyEvent event) { emit keyEvent(event); }
};

// Keeps the toasts instead of showing them.
class QuietHud final : public Hud {
public:
    QStringList toasts;
    void bind(Dictation*) override {}
    void toast(const QString& text) override { toasts << text; }
    bool locked() const override { return m_locked; }
    void setLocked(bool locked) override { m_locked = locked; }

private:
    bool m_locked = false;
};

// Announces nothing: the benchmark is the only process using its data folder.
class SilentNotifier final : public ChangeNotifier {
    Q_OBJECT
public:
    void post(Topic) override {}
    QCoro::Task<void> flush() override { co_return; }
};

// The X11 paste, noting when the chord has gone to the server.
class TimedPasteSender final : public PasteSender {
public:
    bool isAvailable() const override { return m_inner.isAvailable(); }
    bool postPaste(bool terminal) override
    {
        const bool posted = m_inner.postPaste(terminal);
        posts.fetch_add(1);
        lastPost = Steady::now();
        return posted;
    }
    std::atomic<int> posts = 0;
    Steady::time_point lastPost;

private:
    X11PasteSender m_inner;
};

// The sound server, noting when the newest capture has handed its first buffer on (through the
// microphone's converter to the transcriber, which the tap calls before it returns).
class TimedAudio final : public AudioSystem {
public:
    explicit TimedAudio(AudioSystem& inner)
        : m_inner(inner)
    {}
    bool inputAvailable() const override { return m_inner.inputAvailable(); }
    std::unique_ptr<AudioCapture> capture(qsizetype bufferFrames, Handlers handlers) override
    {
        firstBuffer.store(0);
        auto prepare = std::move(handlers.prepare);
        handlers.prepare = [this, prepare](const AudioFormat& format) {
            auto prepared = prepare(format);
            if (auto* tap = std::get_if<Tap>(&prepared)) {
                *tap = [this, inner = std::move(*tap)](const void* frames, qsizetype count) {
                    inner(frames, count);
                    Steady::rep none = 0;
                    firstBuffer.compare_exchange_strong(none,
                                                        Steady::now().time_since_epoch().count());
                };
            }
            return prepared;
        };
        return m_inner.capture(bufferFrames, std::move(handlers));
    }
    // Steady clock ticks; 0 until the first buffer.
    std::atomic<Steady::rep> firstBuffer = 0;

private:
    AudioSystem& m_inner;
};

// A speech session that notes how long the service took to answer the finalize.
class TimedStream final : public SpeechStream {
public:
    TimedStream(std::shared_ptr<SpeechStream> inner, std::atomic<double>& answerMs)
        : m_inner(std::move(inner))
        , m_answerMs(answerMs)
    {}
    void sendAudio(QByteArray frame) override { m_inner->sendAudio(std::move(frame)); }
    QCoro::Task<Final> finish(double stall, double maxWait) override
    {
        const auto inner = m_inner;
        std::atomic<double>& answerMs = m_answerMs;
        const auto asked = Steady::now();
        QCoro::Task<Final> finishing = inner->finish(stall, maxWait);
        Final final = co_await finishing;
        answerMs.store(msBetween(asked, Steady::now()));
        co_return final;
    }
    void close() override { m_inner->close(); }
    Progress progress() const override { return m_inner->progress(); }

private:
    std::shared_ptr<SpeechStream> m_inner;
    std::atomic<double>& m_answerMs;
};

// Everything the controller needs, made in order. Make it on the main thread of a
// QGuiApplication on the X server, with the speech key in SONIOX_API_KEY.
struct DesktopRig {
    QTemporaryDir dir;
    SystemClock clock;
    Preferences prefs{dir.filePath("Quillet.conf")};
    KeychainSecretBackend keyring;
    KeyStore keys{keyring};
    SilentNotifier notifier;
    Store store{dir.filePath("data"), prefs, clock, notifier};
    QNetworkAccessManager network;
    ProviderSettings providers{prefs, [this](const QString& a) { return keys.readKey(a); },
                               [] { return std::optional<QString>(QStringLiteral("bench")); }};
    ChatClient chat{network, clock};
    TextProcessor processor{chat, providers, clock};
    NetworkThread speechThread;
    PulseAudioSystem pulse{clock};
    TimedAudio audio{pulse};
    ScriptedKeys keyMonitor;
    TimedPasteSender pasteSender;
    QtPasteboard pasteboard;
    X11Workspace workspace;
    AtspiAccessibility accessibility;
    EnchantSpellChecker spelling;
    std::atomic<double> answerMs = 0;
    QuietHud* hud = nullptr;
    std::unique_ptr<Controller> controller;

    DesktopRig()
    {
        SpeechStreamFactory streams = [this](const QString& key,
                                             const SpeechStream::Options& options,
                                             SpeechStream::Callbacks callbacks) {
            const SonioxStream::Service service{QUrl(prefs.sonioxEndpoint()), prefs.sonioxModel()};
            return std::static_pointer_cast<SpeechStream>(std::make_shared<TimedStream>(
                SonioxStream::create(speechThread, service, clock, key, options,
                                     std::move(callbacks)),
                answerMs));
        };
        auto dictation = std::make_unique<Dictation>(Dictation::Services{
            audio, std::move(streams), keys, store, prefs, clock,
            [this](QString text, QString mode, std::optional<QString> app) {
                ProcessingInput input{std::move(text), std::move(mode),      std::move(app),
                                      store.vocab(),   store.modes().styles, store.history(),
                                      prefs.cleanup()};
                return processor.processText(std::move(input));
            }});
        auto quiet = std::make_unique<QuietHud>();
        hud = quiet.get();
        controller = std::make_unique<Controller>(
            Controller::Services{prefs, store, keys, clock, keyMonitor, pasteSender, pasteboard,
                                 workspace, accessibility, audio, spelling,
                                 [this] { chat.warmUp(providers); }},
            std::move(dictation), std::move(quiet));
    }

    Dictation& dictation() { return *controller->dictation(); }
    // The push-to-talk key (Right Alt) goes down or up.
    void key(bool down)
    {
        keyMonitor.send({KeyEvent::Type::flagsChanged, 61, down ? quint64(0x40) : 0});
    }
};

} // namespace quillet::bench
