#pragma once

#include "platform/AudioSystem.h"

#include <QByteArray>
#include <QMutex>

#include <memory>

namespace quillet {

// An audio system whose captures the test feeds with PCM. A capture is answered at once (prepared
// with `format`, then started or refused with `startError`) unless `answersAtOnce` is false; then
// answer() does it. It counts the captures asked for and those still alive.
class FakeAudioSystem final : public AudioSystem {
public:
    // What the next answers give.
    AudioFormat format{AudioFormat::SampleType::Float32, 48000, 2};
    std::optional<AudioError> startError;
    bool answersAtOnce = true;
    bool available = true;

    bool inputAvailable() const override { return available; }

    std::unique_ptr<AudioCapture> capture(qsizetype bufferFrames, Handlers handlers) override
    {
        auto state = std::make_shared<State>();
        state->handlers = std::move(handlers);
        {
            QMutexLocker locker(&m_mutex);
            ++m_made;
            ++m_live;
            m_bufferFrames = bufferFrames;
            m_current = state;
        }
        auto capture = std::make_unique<Capture>(*this, state);
        if (answersAtOnce)
            answer();
        return capture;
    }

    // Answers the latest capture as the sound server would.
    void answer()
    {
        QMutexLocker locker(&m_mutex);
        const auto state = m_current.lock();
        if (!state || state->answered || !state->handlers.prepare)
            return;
        state->answered = true;
        auto prepared = state->handlers.prepare(format);
        std::optional<AudioError> error = startError;
        if (auto* refused = std::get_if<AudioError>(&prepared))
            error = *refused;
        else if (!error)
            state->tap = std::get<Tap>(std::move(prepared));
        state->handlers.started(error);
    }

    // Hands interleaved frames to the running capture's tap, as the sound system's thread would.
    void feed(const QByteArray& frames)
    {
        QMutexLocker locker(&m_mutex);
        const auto state = m_current.lock();
        if (state && state->tap)
            state->tap(frames.constData(), frames.size() / format.bytesPerFrame());
    }

    // The input changes underneath the running capture.
    void changeConfiguration()
    {
        QMutexLocker locker(&m_mutex);
        const auto state = m_current.lock();
        if (state && state->tap && !std::exchange(state->changed, true))
            state->handlers.changed();
    }

    int made() const
    {
        QMutexLocker locker(&m_mutex);
        return m_made;
    }
    int live() const
    {
        QMutexLocker locker(&m_mutex);
        return m_live;
    }
    qsizetype bufferFrames() const
    {
        QMutexLocker locker(&m_mutex);
        return m_bufferFrames;
    }

private:
    struct State {
        Handlers handlers;
        Tap tap;
        bool answered = false;
        bool changed = false;
    };
    // Handlers run under the system's lock, so a capture's end waits for them.
    class Capture final : public AudioCapture {
    public:
        Capture(FakeAudioSystem& system, std::shared_ptr<State> state)
            : m_system(system)
            , m_state(std::move(state))
        {}
        ~Capture() override
        {
            QMutexLocker locker(&m_system.m_mutex);
            m_state->handlers = {};
            m_state->tap = nullptr;
            --m_system.m_live;
        }

    private:
        FakeAudioSystem& m_system;
        std::shared_ptr<State> m_state;
    };

    mutable QMutex m_mutex{};
    std::weak_ptr<State> m_current;
    int m_made = 0;
    int m_live = 0;
    qsizetype m_bufferFrames = 0;
};

} // namespace quillet
