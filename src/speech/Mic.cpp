#include "speech/Mic.h"

#include "platform/AudioSystem.h"
#include "speech/AudioConverter.h"

namespace quillet {

namespace {

template <typename F> std::shared_ptr<const F> share(F callback)
{
    return callback ? std::make_shared<const F>(std::move(callback)) : nullptr;
}

} // namespace

std::shared_ptr<Mic> Mic::create(AudioSystem& system)
{
    return std::shared_ptr<Mic>(new Mic(system));
}

Mic::Mic(AudioSystem& system)
    : m_system(system)
    , m_queue(std::make_shared<SerialQueue>("quillet.mic"))
    , m_callbacks(std::make_shared<Callbacks>())
{}

Mic::~Mic()
{
    // Tear the engine down first, so that no tap or change handler runs after this.
    m_engine.reset();
}

std::optional<AudioError> Mic::start()
{
    std::optional<AudioError> error;
    m_queue->sync([&] { error = startOnQueue(); });
    return error;
}

void Mic::stop()
{
    m_queue->async([weak = weak_from_this()] {
        if (auto self = weak.lock(); self && self->m_running)
            self->stopOnQueue();
    });
}

void Mic::setOnAudio(AudioCallback callback)
{
    auto shared = share(std::move(callback));
    std::lock_guard lock(m_callbacks->lock);
    m_callbacks->onAudio.swap(shared);
}

void Mic::setOnLevel(LevelCallback callback)
{
    auto shared = share(std::move(callback));
    std::lock_guard lock(m_callbacks->lock);
    m_callbacks->onLevel.swap(shared);
}

void Mic::clearCallbacks()
{
    std::shared_ptr<const AudioCallback> audio;
    std::shared_ptr<const LevelCallback> level;
    std::lock_guard lock(m_callbacks->lock);
    m_callbacks->onAudio.swap(audio);
    m_callbacks->onLevel.swap(level);
}

void Mic::setOnFailure(FailureCallback callback)
{
    auto shared = share(std::move(callback));
    std::lock_guard lock(m_callbacks->lock);
    m_callbacks->onFailure.swap(shared);
}

std::optional<AudioError> Mic::startOnQueue()
{
    if (m_running)
        return std::nullopt;

    auto engine = m_system.makeEngine();
    const AudioFormat format = engine->inputFormat();
    if (!(format.sampleRate > 0) || format.channels <= 0)
        return AudioError{errorDomain, noInputCode,
                          QStringLiteral("No microphone input available")};

    auto converter = AudioConverter::create(format);
    if (!converter)
        return AudioError{errorDomain, unsupportedFormatCode,
                          QStringLiteral("Unsupported mic format ") + format.description()};

    engine->installTap(tapFrames, [callbacks = m_callbacks, converter = *converter](
                                      const void* frames, qsizetype frameCount) {
        deliver(*callbacks, *converter, frames, frameCount);
    });
    if (auto error = engine->start())
        return error;

    m_engine = std::move(engine);
    m_running = true;
    // The handler only schedules the restart; it may run on any thread.
    m_engine->setOnConfigurationChange([queue = m_queue, weak = weak_from_this()] {
        queue->async([weak] {
            if (auto mic = weak.lock())
                mic->restartOnQueue();
        });
    });
    return std::nullopt;
}

void Mic::stopOnQueue()
{
    if (m_engine) {
        m_engine->setOnConfigurationChange(nullptr);
        m_engine->removeTap();
        m_engine->stop();
    }
    m_engine.reset();
    m_running = false;
}

void Mic::restartOnQueue()
{
    if (!m_running)
        return;
    stopOnQueue();
    const auto error = startOnQueue();
    if (!error)
        return;
    std::shared_ptr<const FailureCallback> onFailure;
    {
        std::lock_guard lock(m_callbacks->lock);
        onFailure = m_callbacks->onFailure;
    }
    if (onFailure)
        (*onFailure)(error->description);
}

void Mic::deliver(Callbacks& callbacks, AudioConverter& converter, const void* frames,
                  qsizetype frameCount)
{
    std::shared_ptr<const AudioCallback> onAudio;
    {
        std::lock_guard lock(callbacks.lock);
        onAudio = callbacks.onAudio;
    }
    if (!onAudio)
        return;

    auto chunk = converter.convert(frames, frameCount);
    if (chunk.audio.isEmpty())
        return;

    std::shared_ptr<const LevelCallback> onLevel;
    {
        std::lock_guard lock(callbacks.lock);
        onLevel = callbacks.onLevel;
    }
    if (onLevel)
        (*onLevel)(chunk.level);
    (*onAudio)(std::move(chunk.audio));
}

} // namespace quillet
