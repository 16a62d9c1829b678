#include "speech/Transcriber.h"

#include "speech/TextJoin.h"
#include "util/Clock.h"

#include <QCoroFuture>
#include <QPromise>

#include <algorithm>
#include <optional>
#include <utility>

namespace quillet {

namespace {

// A refusal by the service fails the transcript; a connection that keeps breaking loses it.
Transcript::Outcome outcomeOf(const SpeechStream::Failure& failure)
{
    return failure.byService ? Transcript::Outcome::failed : Transcript::Outcome::lost;
}

// What the user reads when the service is given up, with the last failure's own words.
QString lostText(const SpeechStream::Failure& failure)
{
    const QString lost = QStringLiteral("Lost the connection to Soniox");
    return failure.description.isEmpty() ? lost : lost + " (" + failure.description + ")";
}

// A deep copy of `audio` from `start` on (never a shared view of the recording, which would
// make the next append copy the whole recording).
QByteArray copyFrom(const QByteArray& audio, qsizetype start)
{
    return QByteArray(audio.constData() + start, audio.size() - start);
}

} // namespace

Transcriber::Transcriber(SpeechStreamFactory streamFactory, SpeechStream::Options options,
                         Callbacks callbacks, const Clock& clock)
    : m_streamFactory(std::move(streamFactory))
    , m_options(std::move(options))
    , m_callbacks(std::move(callbacks))
    , m_clock(clock)
    , m_progressAt(clock.uptime())
    , m_streamBornAt(m_progressAt)
{}

Transcriber::~Transcriber() = default;

std::shared_ptr<Transcriber> Transcriber::create(KeyProvider keyProvider,
                                                 SpeechStreamFactory streamFactory,
                                                 SpeechStream::Options options, Callbacks callbacks,
                                                 const Clock& clock)
{
    std::shared_ptr<Transcriber> transcriber(
        new Transcriber(std::move(streamFactory), std::move(options), std::move(callbacks), clock));
    auto done = std::make_shared<QPromise<void>>();
    done->start();
    transcriber->m_ready = done->future();
    // The task runs on by itself; it holds the transcriber weakly.
    obtainKey(transcriber, std::move(keyProvider), std::move(done));
    return transcriber;
}

QCoro::Task<void> Transcriber::obtainKey(std::weak_ptr<Transcriber> weak, KeyProvider keyProvider,
                                         std::shared_ptr<QPromise<void>> done)
{
    // Completes `ready` however this ends.
    struct Finisher {
        std::shared_ptr<QPromise<void>> promise;
        ~Finisher() { promise->finish(); }
    } finisher{std::move(done)};

    const Result<QString> key = co_await keyProvider();
    const auto self = weak.lock();
    if (!self)
        co_return;
    if (!key) {
        self->stopped(Transcript::Outcome::failed, key.error(), true);
        co_return;
    }
    self->startFirst(key.value());
}

void Transcriber::startFirst(const QString& apiKey)
{
    QMutexLocker locker(&m_mutex);
    if (m_ended)
        return;
    m_apiKey = apiKey;
    const auto stream = makeStreamLocked();
    m_stream = stream;
    m_streamBornAt = m_clock.uptime();
    const QByteArray replay = copyFrom(m_audio, m_streamStart);
    m_batch.clear();
    QMutexLocker order(&m_sendOrder);
    locker.unlock();
    sendReplay(*stream, replay);
}

std::shared_ptr<SpeechStream> Transcriber::makeStreamLocked()
{
    // The callbacks know their stream by address, set once it exists while the lock is still
    // held; they compare it with the current stream under the lock, so a replaced stream is
    // recognised and one that fails while it is being made is not missed.
    auto identity = std::make_shared<const SpeechStream*>(nullptr);
    std::weak_ptr<Transcriber> weak = weak_from_this();
    SpeechStream::Callbacks callbacks;
    callbacks.onUpdate = [weak, identity](const QString& text) {
        const auto self = weak.lock();
        if (!self)
            return;
        QString whole;
        {
            QMutexLocker locker(&self->m_mutex);
            if (self->m_stream.get() != *identity)
                return;
            whole = joinText(self->m_committed, text);
        }
        if (self->m_callbacks.onUpdate)
            self->m_callbacks.onUpdate(whole);
    };
    callbacks.onError = [weak](const QString& text) {
        if (const auto self = weak.lock(); self && self->m_callbacks.onLog)
            self->m_callbacks.onLog(text);
    };
    callbacks.onDown = [weak, identity](const SpeechStream::Failure& failure) {
        if (const auto self = weak.lock())
            self->replace(identity, failure);
    };
    auto stream = m_streamFactory(m_apiKey, m_options, std::move(callbacks));
    *identity = stream.get();
    return stream;
}

void Transcriber::sendReplay(SpeechStream& stream, const QByteArray& audio)
{
    for (qsizetype offset = 0; offset < audio.size(); offset += replayFrame)
        stream.sendAudio(audio.mid(offset, replayFrame));
}

void Transcriber::send(const QByteArray& chunk)
{
    std::shared_ptr<SpeechStream> stream;
    qint64 sentMs = 0;
    {
        QMutexLocker locker(&m_mutex);
        // Reserved once, in full, and never grown: the audio thread must not copy the recording.
        if (m_audio.capacity() < replayCap)
            m_audio.reserve(replayCap);
        if (const qsizetype room = replayCap - m_audio.size(); room > 0)
            m_audio.append(chunk.constData(), std::min(room, chunk.size()));
        m_batch.append(chunk);
        // No stream yet, or it is finishing: nothing may follow its finalize.
        if (!m_stream || m_ended)
            return;
        stream = m_stream;
        QByteArray frame;
        if (m_batch.size() >= frameThreshold)
            frame = std::exchange(m_batch, QByteArray());
        sentMs = (m_audio.size() - m_streamStart) / bytesPerMs;
        if (!frame.isEmpty()) {
            QMutexLocker order(&m_sendOrder);
            locker.unlock();
            stream->sendAudio(std::move(frame));
        }
    }

    const qint64 totalMs = stream->progress().totalMs;
    const qint64 behind = sentMs - totalMs;
    const bool lag = behind > lagThresholdMs;
    const double now = m_clock.uptime();
    bool lagChanged = false;
    bool stalled = false;
    {
        QMutexLocker locker(&m_mutex);
        // A replacement in the meantime: these figures belong to the old stream.
        if (m_stream != stream)
            return;
        if (lag != m_lagging) {
            m_lagging = lag;
            lagChanged = true;
        }
        if (m_progressMs < totalMs) {
            m_progressMs = totalMs;
            m_progressAt = now;
        }
        stalled = behind > stallThresholdMs && now - m_progressAt > noProgressSeconds &&
                  now - m_streamBornAt > minimumStreamAge && m_reconnects < freshSessionLimit;
    }
    if (lagChanged) {
        if (m_callbacks.onLag)
            m_callbacks.onLag(lag);
    }
    if (stalled) {
        if (m_callbacks.onLog)
            m_callbacks.onLog(QStringLiteral("Soniox session stalled ") + QString::number(behind) +
                              QStringLiteral(" ms behind; switching to a fresh session"));
        if (replace(std::make_shared<const SpeechStream*>(stream.get()), std::nullopt))
            stream->close();
    }
}

bool Transcriber::replace(const StreamId& old, const std::optional<SpeechStream::Failure>& failure)
{
    QMutexLocker locker(&m_mutex);
    const SpeechStream* stream = *old;
    if (!stream || m_stream.get() != stream || m_ended)
        return false;
    if (m_reconnects >= freshSessionLimit) {
        locker.unlock();
        const auto why = failure.value_or(SpeechStream::Failure{});
        stopped(outcomeOf(why), lostText(why), true);
        return false;
    }
    ++m_reconnects;
    // One snapshot: a response parsed between two reads would lose the words in between.
    const SpeechStream::Progress progress = m_stream->progress();
    m_committed = joinText(m_committed, progress.finals);
    m_streamStart =
        std::min<qsizetype>(m_streamStart + progress.finalMs * bytesPerMs, m_audio.size());
    const QByteArray replay = copyFrom(m_audio, m_streamStart);
    m_batch.clear();
    const auto fresh = makeStreamLocked();
    m_stream = fresh;
    m_progressMs = 0;
    m_progressAt = m_clock.uptime();
    m_streamBornAt = m_progressAt;
    QMutexLocker order(&m_sendOrder);
    locker.unlock();
    sendReplay(*fresh, replay);
    return true;
}

void Transcriber::stopped(Transcript::Outcome outcome, const QString& error, bool tell)
{
    {
        QMutexLocker locker(&m_mutex);
        if (m_outcome != Transcript::Outcome::complete)
            return;
        m_outcome = outcome;
        m_error = error;
        // Nothing is reported once cancelled (nor once finishing, which is told by its result).
        tell = tell && !m_ended;
    }
    if (tell && m_callbacks.onError)
        m_callbacks.onError(error);
}

QCoro::Task<Transcript> Transcriber::finish()
{
    const auto self = shared_from_this();
    if (m_ready.isValid())
        co_await m_ready;
    QMutexLocker locker(&m_mutex);
    m_ended = true;
    const std::shared_ptr<SpeechStream> stream = m_stream;
    QByteArray batch = std::exchange(m_batch, QByteArray());
    Transcript transcript{m_committed, m_outcome, m_error};
    if (!stream)
        co_return transcript;
    // Taken before the lock goes, as every send takes it: a frame under way leaves first, then
    // the last batch and the finalize, which the stream sends as its finish begins.
    QMutexLocker order(&m_sendOrder);
    locker.unlock();
    if (!batch.isEmpty())
        stream->sendAudio(std::move(batch));
    QCoro::Task<SpeechStream::Final> finishing = stream->finish(finishStall, finishLimit);
    order.unlock();
    const SpeechStream::Final final = co_await finishing;
    stream->close();
    transcript.text = joinText(transcript.text, final.text);
    // A session that fails while finishing cannot be replaced any more: what it had not
    // finalised is missing. The transcript says so; no report follows it.
    if (final.failure)
        stopped(outcomeOf(*final.failure), lostText(*final.failure), false);
    locker.relock();
    transcript.outcome = m_outcome;
    transcript.error = m_error;
    co_return transcript;
}

void Transcriber::cancel()
{
    std::shared_ptr<SpeechStream> stream;
    {
        QMutexLocker locker(&m_mutex);
        m_ended = true;
        stream = m_stream;
    }
    if (stream)
        stream->close();
}

bool Transcriber::lagging() const
{
    QMutexLocker locker(&m_mutex);
    return m_lagging;
}

int Transcriber::reconnects() const
{
    QMutexLocker locker(&m_mutex);
    return m_reconnects;
}

QString Transcriber::committed() const
{
    QMutexLocker locker(&m_mutex);
    return m_committed;
}

qsizetype Transcriber::audioSize() const
{
    QMutexLocker locker(&m_mutex);
    return m_audio.size();
}

} // namespace quillet
