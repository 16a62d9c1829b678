#include "desktop/Dictation.h"

#include "speech/SpeechSession.h"
#include "store/KeyStore.h"
#include "store/Preferences.h"
#include "store/Store.h"
#include "util/Clock.h"

#include <QPointer>
#include <QUuid>

#include <cmath>

namespace quillet {

namespace {

// The key is known when the dictation starts; the session still asks through its provider.
QCoro::Task<Result<QString>> knownKey(QString key)
{
    co_return Result<QString>(std::move(key));
}

} // namespace

Dictation::Dictation(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_mic(m_services.audio)
{
    // A microphone that could not follow a change of input leaves the recording without audio;
    // the user should know why the words stop.
    m_mic.setOnFailure([this](const QString& description) {
        if (m_phase == Phase::recording)
            setError(description);
    });
}

Dictation::~Dictation()
{
    // No audio may reach a session that is going away.
    m_mic.clearCallbacks();
    if (m_stream) {
        m_stream->cancel();
        delete m_stream;
    }
}

double Dictation::tailWait(double preference)
{
    return std::isfinite(preference) && preference > 0 ? preference : 0;
}

void Dictation::start(const QString& mode)
{
    if (m_phase != Phase::idle)
        return;
    setError({});
    setLiveText({});
    setMode(mode);
    setPhase(Phase::recording);

    const std::optional<QString> key = m_services.keys.speechKey();
    if (!key) {
        setError(noKeyMessage);
        setPhase(Phase::idle);
        return;
    }

    SpeechStream::Options options;
    options.languages = m_services.prefs.languages();
    options.terms = m_services.store.vocab().terms;
    options.translateTo = m_services.prefs.translateTo();
    auto* session = new SpeechSession([k = *key] { return knownKey(k); }, m_services.speech,
                                      std::move(options), m_services.clock, this);
    const quint64 id = ++m_sessionId;
    m_stream = session;
    connect(session, &SpeechSession::updated, this, [this, id](const QString& text) {
        if (isCurrent(id))
            setLiveText(text);
    });
    connect(session, &SpeechSession::errorOccurred, this, [this, id](const QString& text) {
        if (isCurrent(id))
            setError(text);
    });
    connect(session, &SpeechSession::laggingChanged, this, [this, id](bool lagging) {
        if (isCurrent(id))
            setLagging(lagging);
    });

    // The audio thread hands each chunk straight to the session; the microphone's callbacks are
    // cleared before the session goes, so the pointer stays good while they can run.
    m_mic.setOnAudio([session](QByteArray chunk) { session->send(chunk); });
    m_mic.setOnLevel([this, id](float level) {
        QMetaObject::invokeMethod(
            this,
            [this, id, level] {
                // A level that was on its way when the recording ended must not light the meter.
                if (isCurrent(id) && m_phase == Phase::recording)
                    setLevel(level);
            },
            Qt::QueuedConnection);
    });

    if (m_mic.running())
        return;
    startMic(id);
}

QCoro::Task<void> Dictation::startMic(quint64 session)
{
    const QPointer<Dictation> self(this);
    QCoro::Task<std::optional<AudioError>> starting = m_mic.start();
    const std::optional<AudioError> failure = co_await starting;
    if (!self || !failure || !self->isCurrent(session))
        co_return;
    self->setError(failure->description);
    self->cancel();
}

QCoro::Task<std::optional<Entry>> Dictation::finish(std::optional<QString> app)
{
    if (m_phase != Phase::recording || !m_stream)
        co_return std::nullopt;
    const QPointer<Dictation> self(this);
    setPhase(Phase::processing);

    // The last words are often still on their way from the microphone.
    if (const double tail = tailWait(m_services.prefs.tailSeconds()); tail > 0) {
        QCoro::Task<void> listening = m_services.clock.sleep(tail);
        co_await listening;
        if (!self)
            co_return std::nullopt;
    }
    detachMic();

    QCoro::Task<Transcript> finishing = m_stream->finish();
    const Transcript transcript = co_await finishing;
    if (!self)
        co_return std::nullopt;
    setLagging(false);
    // A session lost while finishing reports nothing else: the user hears that words are missing.
    if (transcript.outcome != Transcript::Outcome::complete && !transcript.error.isEmpty())
        setError(transcript.error);
    const QString mode = m_mode;
    const QString raw = transcript.text;
    if (raw.isEmpty()) {
        dropStream();
        setPhase(Phase::idle);
        co_return std::nullopt;
    }

    QCoro::Task<QString> processing = m_services.processText(raw, mode, app);
    const QString text = co_await processing;
    if (!self)
        co_return std::nullopt;
    dropStream();
    setPhase(Phase::idle);

    Entry entry{QUuid::createUuid(), m_services.clock.now(), raw, text, mode, app};
    // A history file that cannot be written still leaves the entry in memory and the text pasted.
    (void)m_services.store.addEntry(entry);
    co_return entry;
}

void Dictation::cancel()
{
    if (m_phase != Phase::recording)
        return;
    detachMic();
    if (m_stream)
        m_stream->cancel();
    dropStream();
    setLevel(0);
    setLagging(false);
    setLiveText({});
    setPhase(Phase::idle);
}

void Dictation::detachMic()
{
    m_mic.clearCallbacks();
    if (!keepMicRunning)
        m_mic.stop();
    setLevel(0);
}

void Dictation::dropStream()
{
    // Later, not now: the session may be the one whose finish has just resumed us.
    if (m_stream)
        m_stream->deleteLater();
    m_stream = nullptr;
}

void Dictation::setPhase(Phase phase)
{
    if (std::exchange(m_phase, phase) != phase)
        emit phaseChanged(phase);
}

void Dictation::setLiveText(const QString& text)
{
    if (std::exchange(m_liveText, text) != text)
        emit liveTextChanged(text);
}

void Dictation::setLevel(float level)
{
    if (std::exchange(m_level, level) != level)
        emit levelChanged(level);
}

void Dictation::setLagging(bool lagging)
{
    if (std::exchange(m_lagging, lagging) != lagging)
        emit laggingChanged(lagging);
}

void Dictation::setMode(const QString& mode)
{
    if (std::exchange(m_mode, mode) != mode)
        emit modeChanged(mode);
}

void Dictation::setError(const QString& error)
{
    if (std::exchange(m_error, error) != error)
        emit errorChanged(error);
}

} // namespace quillet
