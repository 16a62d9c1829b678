#pragma once

#include "platform/AudioError.h"
#include "platform/AudioFormat.h"

#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace quillet {

// One capture of the default input, running or still starting. Destroying it stops the capture;
// no handler of it runs once the destructor has returned. Destroy it on the thread that made it,
// never from one of its handlers.
class AudioCapture {
public:
    virtual ~AudioCapture() = default;
};

// The sound system of the session. It keeps its connection to the sound server for the whole run
// (reconnecting in the background when the server goes away), so that a capture starts without
// waiting for one, and nothing here ever blocks the caller.
class AudioSystem {
public:
    // Called with each captured buffer of interleaved frames in the prepared format, on the sound
    // system's thread.
    using Tap = std::function<void(const void* frames, qsizetype frameCount)>;

    // What a capture tells its owner, on the sound system's thread or the thread that made the
    // capture; never after the capture is destroyed.
    struct Handlers {
        // Once the input's format is known: the tap for it, or the error that ends the start.
        // A zero format means that there is no usable input (no source, or no answer from the
        // server in time).
        std::function<std::variant<Tap, AudioError>(const AudioFormat&)> prepare;
        // Once: capture runs (no error), or it could not start.
        std::function<void(std::optional<AudioError>)> started;
        // At most once after a successful start: the input changed underneath the capture (another
        // default input, ours changed its format or vanished, or the server went away).
        std::function<void()> changed;
    };

    virtual ~AudioSystem() = default;

    // The server is reachable and has a default input, as last seen; answers at once.
    virtual bool inputAvailable() const = 0;
    // Starts capturing the default input in buffers of about `bufferFrames`; returns at once and
    // reports through the handlers.
    virtual std::unique_ptr<AudioCapture> capture(qsizetype bufferFrames, Handlers handlers) = 0;
};

} // namespace quillet
