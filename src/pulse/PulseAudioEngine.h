#pragma once

#include "platform/AudioEngine.h"

#include <QByteArray>

#include <functional>
#include <mutex>
#include <pulse/channelmap.h>
#include <pulse/def.h>
#include <pulse/sample.h>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace quillet {

// One capture run on PulseAudio: its own threaded main loop and connection. Making one connects
// and reads the default source's format (bounded by a time-out, so a missing or hung server
// gives a zero format rather than a wait). start() opens a recording stream on the default
// source (device unnamed, so the server's default applies) at that native rate and channel
// layout, in fragments of about the tap's buffer size. Taps run on the main loop's thread.
// A configuration change is reported once per engine: the server's default source changed,
// our source changed its sample format, rate or channels, or vanished, or the stream died.
class PulseAudioEngine final : public AudioEngine {
public:
    explicit PulseAudioEngine(int timeoutMs);
    ~PulseAudioEngine() override;

    AudioFormat inputFormat() const override { return m_format; }
    void installTap(qsizetype bufferFrames, Tap tap) override;
    void removeTap() override;
    std::optional<AudioError> start() override;
    void stop() override;
    void setOnConfigurationChange(std::function<void()> handler) override;

    // Why there is no input, when inputFormat() is zero.
    const QString& problem() const { return m_problem; }

private:
    struct Wait;
    bool waitUntil(const std::function<bool()>& done); // with the loop locked
    bool connect();
    bool readDefaultSource();
    void disconnectStream(); // with the loop locked
    void onSubscription(unsigned int event, uint32_t index);
    void onReadable();
    void reportChange();
    AudioError serverError(const char* context) const;

    static void teardown(pa_threaded_mainloop* loop, pa_context* context, pa_stream* stream);

    int m_timeoutMs;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;

    AudioFormat m_format;
    QString m_problem;
    pa_sample_spec m_native{};
    pa_channel_map m_sourceMap{};
    QByteArray m_sourceName;
    uint32_t m_sourceIndex = PA_INVALID_INDEX;

    // Touched on the loop's thread or with the loop locked.
    Tap m_tap;
    qsizetype m_bufferFrames = 1024;
    bool m_changed = false;

    std::mutex m_handlerMutex;
    std::function<void()> m_onChange;
};

} // namespace quillet
