#include "speech/SpeechSession.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QPointer>

namespace quillet {

namespace {

// Session switches and service errors: QT_LOGGING_RULES="quillet.speech.info=true" shows them.
Q_LOGGING_CATEGORY(lcSpeech, "quillet.speech", QtWarningMsg)

} // namespace

struct SpeechSession::Relay {
    QMutex mutex;
    SpeechSession* session = nullptr;

    // Runs `report` on the session's thread, unless the session is gone or over by then.
    template <typename F> void post(F report)
    {
        QMutexLocker locker(&mutex);
        if (!session)
            return;
        SpeechSession* target = session;
        // A call queued to an object dies with it.
        QMetaObject::invokeMethod(
            target,
            [target, report = std::move(report)] {
                if (target->m_open)
                    report(*target);
            },
            Qt::QueuedConnection);
    }
};

SpeechSession::SpeechSession(Transcriber::KeyProvider keyProvider,
                             SpeechStreamFactory streamFactory, SpeechStream::Options options,
                             const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_relay(std::make_shared<Relay>())
    , m_transcriber([&] {
        m_relay->session = this;
        Transcriber::Callbacks callbacks;
        callbacks.onUpdate = [relay = m_relay](const QString& text) {
            relay->post([text](SpeechSession& s) { emit s.updated(text); });
        };
        callbacks.onError = [relay = m_relay](const QString& text) {
            relay->post([text](SpeechSession& s) { emit s.errorOccurred(text); });
        };
        callbacks.onLag = [relay = m_relay](bool lagging) {
            relay->post([lagging](SpeechSession& s) {
                if (std::exchange(s.m_lagging, lagging) != lagging)
                    emit s.laggingChanged(lagging);
            });
        };
        callbacks.onLog = [](const QString& line) { qCInfo(lcSpeech).noquote() << line; };
        return Transcriber::create(std::move(keyProvider), std::move(streamFactory),
                                   std::move(options), std::move(callbacks), clock);
    }())
{}

SpeechSession::~SpeechSession()
{
    {
        QMutexLocker locker(&m_relay->mutex);
        m_relay->session = nullptr;
    }
    if (m_open)
        m_transcriber->cancel();
}

void SpeechSession::send(const QByteArray& chunk)
{
    if (m_open)
        m_transcriber->send(chunk);
}

QCoro::Task<Transcript> SpeechSession::finish()
{
    const QPointer<SpeechSession> self(this);
    // The transcriber stays alive for the whole finish, even if the session goes.
    const auto transcriber = m_transcriber;
    QCoro::Task<Transcript> finishing = transcriber->finish();
    Transcript transcript = co_await finishing;
    if (self)
        self->m_open = false;
    co_return transcript;
}

void SpeechSession::cancel()
{
    if (m_open.exchange(false))
        m_transcriber->cancel();
}

} // namespace quillet
