#pragma once

#include "platform/AudioSystem.h"

namespace quillet {

// Capture from the PulseAudio server (or PipeWire's PulseAudio service) of the session.
class PulseAudioSystem final : public AudioSystem {
public:
    // How long making an engine may wait for the server before it reports no input.
    static constexpr int defaultTimeoutMs = 3000;

    explicit PulseAudioSystem(int timeoutMs = defaultTimeoutMs)
        : m_timeoutMs(timeoutMs)
    {}
    std::unique_ptr<AudioEngine> makeEngine() override;

private:
    int m_timeoutMs;
};

} // namespace quillet
