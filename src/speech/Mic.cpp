#include "speech/Mic.h"

#include "platform/AudioSystem.h"
#include "speech/AudioConverter.h"

#include <QCoroFuture>
#include <QMutex>

namespace quillet {

namespace {

template <typename F> std::shared_ptr<const F> share(F callback)
{
    return callback ? std::make_shared<const F>(std::move(callback)) : nullptr;
}

} // namespace

struct Mic::Delivery {
    QMutex lock;
    std::shared_ptr<const AudioCallback> onAudio;
    std::shared_ptr<const LevelCallback> onLevel;

    void deliver(AudioConverter& converter, const void* frames, qsizetype frameCount)
    {
        std::shared_ptr<const AudioCallback> audio;
        {
            QMutexLocker locker(&lock);
            audio = onAudio;
        }
        if (!audio)
            return;
        auto chunk = converter.convert(frames, frameCount);
        if (chunk.audio.isEmpty())
            return;
        std::shared_ptr<const LevelCallback> level;
        {
            QMutexLocker locker(&lock);
            level = onLevel;
        }
        if (level)
            (*level)(chunk.level);
        (*audio)(std::move(chunk.audio));
    }
};

Mic::Mic(AudioSystem& system, QObject* parent)
    : QObject(parent)
    , m_system(system)
    , m_delivery(std::make_shared<Delivery>())
{}

Mic::~Mic()
{
    // First, so that no handler of the capture runs from here on.
    m_capture.reset();
}

QCoro::Task<std::optional<AudioError>> Mic::start()
{
    if (m_running)
        co_return std::nullopt;
    if (!m_starting)
        begin();
    const QFuture<Outcome> outcome = m_startOutcome;
    co_await outcome;
    // No result: the microphone went away first.
    co_return outcome.resultCount() > 0 ? outcome.result() : std::nullopt;
}

void Mic::begin()
{
    m_starting.emplace();
    m_starting->start();
    m_startOutcome = m_starting->future();
    const quint64 generation = ++m_generation;

    AudioSystem::Handlers handlers;
    handlers.prepare =
        [delivery =
             m_delivery](const AudioFormat& format) -> std::variant<AudioSystem::Tap, AudioError> {
        if (!(format.sampleRate > 0) || format.channels <= 0)
            return AudioError{errorDomain, noInputCode,
                              QStringLiteral("No microphone input available")};
        auto converter = AudioConverter::create(format);
        if (!converter)
            return AudioError{errorDomain, unsupportedFormatCode,
                              QStringLiteral("Unsupported mic format ") + format.description()};
        return [delivery, converter = *converter](const void* frames, qsizetype frameCount) {
            delivery->deliver(*converter, frames, frameCount);
        };
    };
    // The capture never reports once it is gone, and the microphone drops it before it goes
    // itself; a report already posted dies with the microphone's queued calls.
    handlers.started = [this, generation](Outcome error) {
        QMetaObject::invokeMethod(
            this, [this, generation, error] { started(generation, error); }, Qt::QueuedConnection);
    };
    handlers.changed = [this, generation] {
        QMetaObject::invokeMethod(
            this, [this, generation] { restart(generation); }, Qt::QueuedConnection);
    };
    m_capture = m_system.capture(tapFrames, std::move(handlers));
}

void Mic::started(quint64 generation, Outcome error)
{
    if (generation != m_generation)
        return;
    m_running = !error;
    if (error)
        m_capture.reset();
    const bool restarting = std::exchange(m_restarting, false);
    settle(error);
    if (error && restarting && m_onFailure)
        m_onFailure(error->description);
}

void Mic::restart(quint64 generation)
{
    if (generation != m_generation || !m_running)
        return;
    m_capture.reset();
    m_running = false;
    m_restarting = true;
    begin();
}

void Mic::stop()
{
    ++m_generation;
    m_capture.reset();
    m_running = false;
    m_restarting = false;
    settle(std::nullopt);
}

void Mic::settle(Outcome error)
{
    if (!m_starting)
        return;
    auto promise = std::move(*m_starting);
    m_starting.reset();
    promise.addResult(error);
    promise.finish();
}

void Mic::setOnAudio(AudioCallback callback)
{
    auto shared = share(std::move(callback));
    QMutexLocker locker(&m_delivery->lock);
    m_delivery->onAudio.swap(shared);
}

void Mic::setOnLevel(LevelCallback callback)
{
    auto shared = share(std::move(callback));
    QMutexLocker locker(&m_delivery->lock);
    m_delivery->onLevel.swap(shared);
}

void Mic::clearCallbacks()
{
    std::shared_ptr<const AudioCallback> audio;
    std::shared_ptr<const LevelCallback> level;
    QMutexLocker locker(&m_delivery->lock);
    m_delivery->onAudio.swap(audio);
    m_delivery->onLevel.swap(level);
}

} // namespace quillet
