#pragma once

#include "speech/SpeechStream.h"
#include "util/Clock.h"

#include <QFuture>
#include <QMutex>
#include <QPromise>
#include <QUrl>

#include <memory>
#include <optional>

namespace quillet {

class NetworkThread;

// One WebSocket session with the Soniox real-time service. The socket lives on the network
// thread; this object may be used from any thread. Every field below the mutex is touched only
// under it, and callbacks and the finish continuation run after it is released.
class SonioxStream final : public SpeechStream, public std::enable_shared_from_this<SonioxStream> {
public:
    using Options = SpeechStream::Options;

    // Where to connect and which model to ask for (the composition root reads the preferences).
    struct Service {
        QUrl url;
        QString model;
    };

    // How often a pending finish looks at its time limits, in seconds.
    static constexpr double checkInterval = 0.25;

    // Opens the socket and sends the configuration message; failures arrive later through
    // onError/onDown. `network` and `clock` must outlive the stream.
    static std::shared_ptr<SonioxStream> create(NetworkThread& network, const Service& service,
                                                Clock& clock, const QString& apiKey,
                                                const Options& options, Callbacks callbacks);
    // A factory for the transcriber.
    static SpeechStreamFactory factory(NetworkThread& network, Service service, Clock& clock);
    // The first message of a session, compact JSON.
    static QByteArray configurationMessage(const QString& apiKey, const QString& model,
                                           const Options& options);

    ~SonioxStream() override;

    void sendAudio(QByteArray frame) override;
    QCoro::Task<Final> finish(double stall, double maxWait) override;
    void close() override;

    Progress progress() const override;
    // Finals followed by the provisional tail, trimmed.
    QString transcript() const;

    // Applies one response from the service, as the receive path does (network thread; also
    // used directly by benchmarks).
    void receive(const QByteArray& bytes);

private:
    struct Socket;

    SonioxStream(NetworkThread& network, Clock& clock, bool translate, Callbacks callbacks);
    void open(const Service& service, const QString& apiKey, const Options& options);
    void sendText(const QString& text);
    void fail(const Failure& failure);
    void resolve(bool done);
    void fireDown();
    void checkFinish(double stall, double maxWait, double start);
    QString transcriptLocked() const;
    Final finalLocked() const { return {transcriptLocked(), m_failure}; }

    NetworkThread& m_network;
    Clock& m_clock;
    const Callbacks m_callbacks;
    const bool m_translate;
    const std::shared_ptr<Socket> m_socket;

    mutable QMutex m_mutex;
    QString m_finals;
    QString m_tail;
    std::optional<QPromise<Final>> m_waiter;
    // Looks at the pending finish's time limits; runs on the network thread.
    Timer m_finishCheck;
    // The first failure, which ended the session.
    std::optional<Failure> m_failure;
    bool m_closed = false;
    bool m_done = false;
    bool m_downFired = false;
    // The service said it had finished the session.
    bool m_finished = false;
    qint64 m_finalMs = 0;
    qint64 m_totalMs = 0;
    double m_lastMessage;
};

} // namespace quillet
