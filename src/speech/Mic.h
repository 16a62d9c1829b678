#pragma once

#include "platform/AudioEngine.h"
#include "platform/AudioError.h"
#include "speech/SerialQueue.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace quillet {

class AudioSystem;

// Captures the default input and hands on 16 kHz mono 16-bit chunks (onAudio) with one level in
// 0…1 per chunk (onLevel), reported just before its chunk. Starts, stops and restarts run on the
// microphone's own serial queue; chunks arrive on the sound system's thread. While no one
// listens to onAudio nothing is converted and no level is reported. When the input changes
// underneath it (another default input, or ours changed format or vanished) the microphone
// restarts itself with the new format; a failed restart is reported through onFailure only.
class Mic : public std::enable_shared_from_this<Mic> {
public:
    using AudioCallback = std::function<void(QByteArray chunk)>;
    using LevelCallback = std::function<void(float level)>;
    using FailureCallback = std::function<void(const QString& description)>;

    static inline const QString errorDomain = QStringLiteral("Mic");
    static constexpr int noInputCode = 1;
    static constexpr int unsupportedFormatCode = 2;
    // Preferred frames per captured buffer.
    static constexpr qsizetype tapFrames = 1024;

    // `system` makes the capture engines; it must outlive the microphone.
    static std::shared_ptr<Mic> create(AudioSystem& system);
    ~Mic();
    Mic(const Mic&) = delete;
    Mic& operator=(const Mic&) = delete;

    // Runs the start on the queue and waits for it. Nothing happens when already running.
    // Errors: domain "Mic" code 1 (no usable input), code 2 (unconvertible format), or the
    // sound server's own error unchanged.
    std::optional<AudioError> start();
    // Returns at once; the queue then stops capture if running.
    void stop();
    bool running() const { return m_running.load(); }

    // Set before starting; each replaces the previous one under the microphone's lock.
    void setOnAudio(AudioCallback callback);
    void setOnLevel(LevelCallback callback);
    // Clears onAudio and onLevel in one locked step.
    void clearCallbacks();
    void setOnFailure(FailureCallback callback);

    SerialQueue& queue() { return *m_queue; }

private:
    // The callbacks and the lock that guards them. The tap and the change handler hold these
    // (and the queue), never the microphone itself, so that the microphone is never destroyed
    // on the sound system's thread, where its engine could not be torn down.
    struct Callbacks {
        std::mutex lock;
        std::shared_ptr<const AudioCallback> onAudio;
        std::shared_ptr<const LevelCallback> onLevel;
        std::shared_ptr<const FailureCallback> onFailure;
    };

    explicit Mic(AudioSystem& system);

    std::optional<AudioError> startOnQueue();
    void stopOnQueue();
    void restartOnQueue();
    static void deliver(Callbacks& callbacks, class AudioConverter& converter, const void* frames,
                        qsizetype frameCount);

    AudioSystem& m_system;
    std::shared_ptr<SerialQueue> m_queue;
    std::atomic<bool> m_running = false;
    std::shared_ptr<Callbacks> m_callbacks;
    std::unique_ptr<AudioEngine> m_engine; // only touched on the queue
};

} // namespace quillet
