#pragma once

#include "platform/AudioError.h"

#include <QByteArray>
#include <QCoroTask>
#include <QFuture>
#include <QObject>
#include <QPromise>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace quillet {

class AudioCapture;
class AudioSystem;

// Captures the default input and hands on 16 kHz mono 16-bit chunks (onAudio) with one level in
// 0…1 per chunk (onLevel), reported just before its chunk. Lives on the main thread: starts, stops
// and restarts happen there and never block it; chunks arrive on the sound system's thread. While
// no one listens to onAudio nothing is converted and no level is reported. When the input changes
// underneath it (another default input, or ours changed format or vanished) the microphone
// restarts itself with the new format; a failed restart is reported through onFailure only.
class Mic : public QObject {
    Q_OBJECT
public:
    using AudioCallback = std::function<void(QByteArray chunk)>;
    using LevelCallback = std::function<void(float level)>;
    using FailureCallback = std::function<void(const QString& description)>;

    static inline const QString errorDomain = QStringLiteral("Mic");
    static constexpr int noInputCode = 1;
    static constexpr int unsupportedFormatCode = 2;
    // Preferred frames per captured buffer.
    static constexpr qsizetype tapFrames = 1024;

    // `system` must outlive the microphone.
    explicit Mic(AudioSystem& system, QObject* parent = nullptr);
    ~Mic() override;

    // Starts capture; nothing happens when already running, and a start under way is joined.
    // Resumes on the main thread once capture runs or could not start. Errors: domain "Mic" code 1
    // (no usable input), code 2 (unconvertible format), or the sound server's own error unchanged.
    // A stop() before the start is done ends it without an error, the microphone stopped.
    QCoro::Task<std::optional<AudioError>> start();
    // Stops capture (or the start under way) at once.
    void stop();
    bool running() const { return m_running; }

    // Each replaces the previous one under the microphone's lock; any thread. A consumer of audio
    // that is replaced or cleared first gets what the converter still holds (about 10 ms), and
    // the next one starts with fresh audio; once the call returns, the old one is not called
    // again. Callbacks must not call back into the microphone.
    void setOnAudio(AudioCallback callback);
    void setOnLevel(LevelCallback callback);
    // Clears onAudio and onLevel in one locked step.
    void clearCallbacks();
    // Called on the main thread.
    void setOnFailure(FailureCallback callback) { m_onFailure = std::move(callback); }

private:
    // The callbacks and their lock, shared with the taps, which may outlive a capture.
    struct Delivery;
    using Outcome = std::optional<AudioError>;

    void begin();
    void started(quint64 generation, Outcome error);
    void restart(quint64 generation);
    void settle(Outcome error);

    AudioSystem& m_system;
    const std::shared_ptr<Delivery> m_delivery;
    FailureCallback m_onFailure;
    std::unique_ptr<AudioCapture> m_capture;
    // The start under way, if any.
    std::optional<QPromise<Outcome>> m_starting;
    QFuture<Outcome> m_startOutcome;
    // Which capture the sound system's reports are about; a stop or restart moves it on.
    quint64 m_generation = 0;
    bool m_running = false;
    bool m_restarting = false;
};

} // namespace quillet
