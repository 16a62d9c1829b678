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
    // Guards the two callbacks only; they are called after it is released.
    QMutex lock;
    std::shared_ptr<const AudioCallback> onAudio;
    std::shared_ptr<const LevelCallback> onLevel;
    // Guards the converter and keeps deliveries in order: a tap under way, or the tail handed to
    // a consumer that is leaving, ends before the consumer changes.
    QMutex order;
    std::shared_ptr<AudioConverter> converter;

    void deliver(const void* frames, qsizetype frameCount)
    {
        QMutexLocker ordered(&order);
        auto [audio, level] = callbacks();
        if (!audio || !converter)
            return;
        hand(converter->convert(frames, frameCount), audio.get(), level.get());
    }

    // Replaces the consumer: the old one gets what the converter still holds, the new one starts
    // with a fresh signal.
    void change(std::shared_ptr<const AudioCallback> audio,
                std::optional<std::shared_ptr<const LevelCallback>> level)
    {
        QMutexLocker ordered(&order);
        std::shared_ptr<const AudioCallback> oldAudio;
        std::shared_ptr<const LevelCallback> oldLevel;
        {
            QMutexLocker locker(&lock);
            oldAudio = std::exchange(onAudio, std::move(audio));
            oldLevel = level ? std::exchange(onLevel, std::move(*level)) : onLevel;
        }
        if (!converter)
            return;
        if (oldAudio)
            hand(converter->flush(), oldAudio.get(), oldLevel.get());
        converter->reset();
    }

    std::pair<std::shared_ptr<const AudioCallback>, std::shared_ptr<const LevelCallback>>
    callbacks()
    {
        QMutexLocker locker(&lock);
        return {onAudio, onLevel};
    }

    static void hand(AudioConverter::Chunk chunk, const AudioCallback* audio,
                     const LevelCallback* level)
    {
        if (chunk.audio.isEmpty())
            return;
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
    // A start still awaited ends as a stop would end it: an awaited future must hold a result.
    settle(std::nullopt);
}

QCoro::Task<std::optional<AudioError>> Mic::start()
{
    if (m_running)
        co_return std::nullopt;
    if (!m_starting)
        begin();
    // Every start ends with a result: the capture's answer, a stop, or the microphone going away.
    const QFuture<Outcome> outcome = m_startOutcome;
    const Outcome result = co_await outcome;
    co_return result;
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
        {
            QMutexLocker ordered(&delivery->order);
            delivery->converter = *converter;
        }
        return [delivery](const void* frames, qsizetype frameCount) {
            delivery->deliver(frames, frameCount);
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
    m_delivery->change(share(std::move(callback)), std::nullopt);
}

void Mic::setOnLevel(LevelCallback callback)
{
    auto shared = share(std::move(callback));
    QMutexLocker locker(&m_delivery->lock);
    m_delivery->onLevel.swap(shared);
}

void Mic::clearCallbacks()
{
    m_delivery->change(nullptr, nullptr);
}

} // namespace quillet
