#pragma once

#include "platform/AudioSystem.h"
#include "util/Clock.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <memory>
#include <pulse/channelmap.h>
#include <pulse/def.h>
#include <pulse/sample.h>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_source_info;

namespace quillet {

// Capture from the PulseAudio server of the session (or PipeWire's PulseAudio service). One
// threaded main loop and one connection serve every capture for the whole run: the connection is
// made in the background as the system is made, the default source and its format are kept up to
// date from the server's events, and a lost connection is made again after a pause that grows from
// firstRetry to lastRetry. A capture records the default source (device unnamed, so the server's
// default applies) at its native rate and channels, in fragments of about the requested buffer
// size; its tap runs on the main loop's thread. A capture that cannot run within startTimeout
// (no connection, or no answer) fails.
class PulseAudioSystem final : public AudioSystem {
public:
    static constexpr double startTimeout = 3.0;
    static constexpr double firstRetry = 0.5;
    static constexpr double lastRetry = 30.0;

    // `clock` times the waits and the reconnections and must outlive the system. Make and use the
    // system on a thread with an event loop (the main thread).
    explicit PulseAudioSystem(Clock& clock);
    ~PulseAudioSystem() override;
    PulseAudioSystem(const PulseAudioSystem&) = delete;
    PulseAudioSystem& operator=(const PulseAudioSystem&) = delete;

    bool inputAvailable() const override { return m_available.load(); }
    std::unique_ptr<AudioCapture> capture(qsizetype bufferFrames, Handlers handlers) override;

private:
    struct Capture;
    class Handle;

    // With the loop locked (on the loop's thread, or after locking it).
    void connectLocked();
    void contextGone(pa_context* context);
    void refreshLocked();
    void sourceFound(const pa_source_info* info);
    void beginLocked(Capture& capture);
    void onStreamState(Capture& capture);
    void onReadable(Capture& capture);
    void endStreamLocked(Capture& capture);
    void failLocked(Capture& capture, std::optional<AudioError> error);
    void changedLocked(Capture& capture);
    void forgetLocked(Capture& capture);
    AudioError serverError() const;

    // On the owner's thread.
    void timeOut(const std::weak_ptr<Capture>& capture);
    void scheduleReconnect();

    Clock& m_clock;
    // The owner's thread: the context of timers and of calls from the loop's thread.
    QObject m_owner;
    Timer m_reconnect;
    double m_retry = firstRetry;

    pa_threaded_mainloop* m_loop = nullptr;
    std::atomic<bool> m_available = false;

    // Touched with the loop locked.
    pa_context* m_context = nullptr;
    bool m_ready = false;
    bool m_sourceKnown = false;
    pa_sample_spec m_spec{};
    pa_channel_map m_map{};
    uint32_t m_sourceIndex = PA_INVALID_INDEX;
    std::vector<std::shared_ptr<Capture>> m_captures;
};

} // namespace quillet
