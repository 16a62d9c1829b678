#pragma once

#include "platform/AudioError.h"
#include "platform/AudioFormat.h"

#include <functional>
#include <memory>
#include <optional>

namespace quillet {

// One run of capture from the default audio input. An engine reads the input's format when it
// is made; it captures after start() and until it is stopped or destroyed. A new run (after a
// device change, say) takes a new engine.
class AudioEngine {
public:
    // Called with each captured buffer of interleaved frames in inputFormat(), on the sound
    // system's delivery thread.
    using Tap = std::function<void(const void* frames, qsizetype frameCount)>;

    virtual ~AudioEngine() = default;

    // The input's native format; a sample rate of 0 or no channels when there is no usable input
    // (no device, no sound server).
    virtual AudioFormat inputFormat() const = 0;

    // Installs the one tap with a preferred buffer size; must precede start().
    virtual void installTap(qsizetype bufferFrames, Tap tap) = 0;
    virtual void removeTap() = 0;

    // Starts capturing; the sound system's error when it refuses.
    virtual std::optional<AudioError> start() = 0;
    // Stops capturing; no tap call is made after it returns.
    virtual void stop() = 0;

    // Called, on any thread, when the input's configuration changes underneath this engine:
    // the default input changed, or the input in use changed its format or vanished.
    virtual void setOnConfigurationChange(std::function<void()> handler) = 0;
};

} // namespace quillet
