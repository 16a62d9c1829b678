#pragma once

#include "platform/AudioSystem.h"

#include <QByteArray>

#include <mutex>
#include <vector>

namespace quillet {

// An audio system whose engines are fed from PCM by the test. It records how many engines were
// made, which of them are alive, started, tapped and observed, so that tests can see what the
// microphone asked for.
class FakeAudioSystem final : public AudioSystem {
public:
    class Engine final : public AudioEngine {
    public:
        Engine(FakeAudioSystem& system, AudioFormat format, std::optional<AudioError> startError)
            : m_system(system)
            , m_format(format)
            , m_startError(std::move(startError))
        {}
        ~Engine() override { m_system.forget(this); }

        AudioFormat inputFormat() const override { return m_format; }
        void installTap(qsizetype bufferFrames, Tap tap) override
        {
            std::lock_guard lock(m_mutex);
            ++tapsInstalled;
            this->bufferFrames = bufferFrames;
            m_tap = std::move(tap);
        }
        void removeTap() override
        {
            std::lock_guard lock(m_mutex);
            m_tap = nullptr;
        }
        std::optional<AudioError> start() override
        {
            if (m_startError)
                return m_startError;
            started = true;
            return std::nullopt;
        }
        void stop() override { started = false; }
        void setOnConfigurationChange(std::function<void()> handler) override
        {
            std::lock_guard lock(m_mutex);
            if (handler)
                ++observersAdded;
            m_onChange = std::move(handler);
        }

        // Hands interleaved frames to the tap, as the sound system's thread would.
        void feed(const QByteArray& frames)
        {
            Tap tap;
            {
                std::lock_guard lock(m_mutex);
                tap = m_tap;
            }
            if (tap && started)
                tap(frames.constData(), frames.size() / m_format.bytesPerFrame());
        }
        void changeConfiguration()
        {
            std::function<void()> handler;
            {
                std::lock_guard lock(m_mutex);
                handler = m_onChange;
            }
            if (handler)
                handler();
        }
        bool observed()
        {
            std::lock_guard lock(m_mutex);
            return bool(m_onChange);
        }

        int tapsInstalled = 0;
        int observersAdded = 0;
        qsizetype bufferFrames = 0;
        std::atomic<bool> started = false;

    private:
        FakeAudioSystem& m_system;
        AudioFormat m_format;
        std::optional<AudioError> m_startError;
        std::mutex m_mutex;
        Tap m_tap;
        std::function<void()> m_onChange;
    };

    std::unique_ptr<AudioEngine> makeEngine() override
    {
        std::lock_guard lock(m_mutex);
        auto engine = std::make_unique<Engine>(*this, format, startError);
        ++made;
        m_live.push_back(engine.get());
        return engine;
    }

    // The most recently made engine that is still alive, if any.
    Engine* current()
    {
        std::lock_guard lock(m_mutex);
        return m_live.empty() ? nullptr : m_live.back();
    }
    int liveCount()
    {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_live.size());
    }

    // What the next engines report and answer.
    AudioFormat format{AudioFormat::SampleType::Float32, 48000, 2};
    std::optional<AudioError> startError;
    int made = 0;

private:
    void forget(Engine* engine)
    {
        std::lock_guard lock(m_mutex);
        std::erase(m_live, engine);
    }

    std::mutex m_mutex;
    std::vector<Engine*> m_live;
};

} // namespace quillet
