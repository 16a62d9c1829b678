#include "pulse/PulseAudioSystem.h"

#include <algorithm>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

namespace quillet {

namespace {

const QString errorDomain = QStringLiteral("PulseAudio");

// The formats the converter reads directly; the server converts anything else to float.
pa_sample_format_t captureFormat(pa_sample_format_t native, AudioFormat::SampleType& type)
{
    switch (native) {
    case PA_SAMPLE_S16NE:
        type = AudioFormat::SampleType::Int16;
        return native;
    case PA_SAMPLE_S32NE:
        type = AudioFormat::SampleType::Int32;
        return native;
    default:
        type = AudioFormat::SampleType::Float32;
        return PA_SAMPLE_FLOAT32NE;
    }
}

AudioError paError(int code)
{
    return AudioError{errorDomain, code, QString::fromUtf8(pa_strerror(code))};
}

class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop)
        : m_loop(loop)
    {
        pa_threaded_mainloop_lock(m_loop);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

} // namespace

// One capture; touched with the loop locked.
struct PulseAudioSystem::Capture {
    enum class State { waiting, connecting, running, ended };

    PulseAudioSystem* system = nullptr;
    qsizetype bufferFrames = 0;
    Handlers handlers;
    State state = State::waiting;
    Tap tap;
    pa_stream* stream = nullptr;
    // The source it records, as it was when the capture began.
    uint32_t sourceIndex = PA_INVALID_INDEX;
    pa_sample_spec spec{};
};

// The owner's side of a capture: ending it, and its time-out.
class PulseAudioSystem::Handle final : public AudioCapture {
public:
    Handle(PulseAudioSystem& system, std::shared_ptr<Capture> capture)
        : m_system(system)
        , m_capture(std::move(capture))
    {}
    ~Handle() override
    {
        deadline.cancel();
        if (!m_system.m_loop)
            return;
        LoopLock lock(m_system.m_loop);
        m_system.forgetLocked(*m_capture);
        m_capture->handlers = {};
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    Timer deadline;

private:
    PulseAudioSystem& m_system;
    std::shared_ptr<Capture> m_capture;
};

PulseAudioSystem::PulseAudioSystem(Clock& clock)
    : m_clock(clock)
{
    m_loop = pa_threaded_mainloop_new();
    if (m_loop && pa_threaded_mainloop_start(m_loop) < 0) {
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
    }
    if (!m_loop)
        return;
    LoopLock lock(m_loop);
    connectLocked();
}

PulseAudioSystem::~PulseAudioSystem()
{
    m_reconnect.cancel();
    if (!m_loop)
        return;
    {
        LoopLock lock(m_loop);
        for (const auto& capture : std::vector(m_captures))
            forgetLocked(*capture);
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

std::unique_ptr<AudioCapture> PulseAudioSystem::capture(qsizetype bufferFrames, Handlers handlers)
{
    auto capture = std::make_shared<Capture>();
    capture->system = this;
    capture->bufferFrames = bufferFrames;
    capture->handlers = std::move(handlers);
    auto handle = std::make_unique<Handle>(*this, capture);
    if (!m_loop) {
        failLocked(*capture, std::nullopt);
        return handle;
    }
    {
        LoopLock lock(m_loop);
        m_captures.push_back(capture);
        if (m_ready && m_sourceKnown)
            beginLocked(*capture);
        else if (m_ready)
            refreshLocked();
        else
            connectLocked();
    }
    handle->deadline = m_clock.singleShot(startTimeout, &m_owner,
                                          [this, weak = std::weak_ptr(capture)] { timeOut(weak); });
    return handle;
}

void PulseAudioSystem::connectLocked()
{
    if (m_context)
        return;
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Quillet");
    if (!m_context)
        return;
    pa_context_set_state_callback(
        m_context,
        [](pa_context* context, void* data) {
            auto* self = static_cast<PulseAudioSystem*>(data);
            const auto state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) {
                self->m_ready = true;
                QMetaObject::invokeMethod(
                    &self->m_owner, [self] { self->m_retry = firstRetry; }, Qt::QueuedConnection);
                const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SERVER |
                                                                      PA_SUBSCRIPTION_MASK_SOURCE);
                if (pa_operation* op = pa_context_subscribe(context, mask, nullptr, nullptr))
                    pa_operation_unref(op);
                self->refreshLocked();
            } else if (!PA_CONTEXT_IS_GOOD(state)) {
                self->contextGone(context);
            }
        },
        this);
    // Any change of the server's defaults or of a source may concern the default input.
    pa_context_set_subscribe_callback(
        m_context,
        [](pa_context*, pa_subscription_event_type_t, uint32_t, void* data) {
            static_cast<PulseAudioSystem*>(data)->refreshLocked();
        },
        this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        contextGone(m_context);
}

void PulseAudioSystem::contextGone(pa_context* context)
{
    if (!context || context != m_context)
        return;
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_set_subscribe_callback(context, nullptr, nullptr);
    m_context = nullptr;
    m_ready = false;
    m_sourceKnown = false;
    m_available = false;
    for (const auto& capture : std::vector(m_captures)) {
        if (capture->state == Capture::State::running)
            changedLocked(*capture);
        else
            failLocked(*capture, capture->state == Capture::State::waiting
                                     ? std::nullopt
                                     : std::optional(paError(PA_ERR_CONNECTIONTERMINATED)));
    }
    // libpulse holds its own reference while it reports the state, so ours can go now.
    pa_context_disconnect(context);
    pa_context_unref(context);
    QMetaObject::invokeMethod(
        &m_owner, [this] { scheduleReconnect(); }, Qt::QueuedConnection);
}

void PulseAudioSystem::refreshLocked()
{
    if (!m_ready || !m_context)
        return;
    pa_operation* op = pa_context_get_server_info(
        m_context,
        [](pa_context* context, const pa_server_info* info, void* data) {
            auto* self = static_cast<PulseAudioSystem*>(data);
            if (!info || !info->default_source_name || !*info->default_source_name) {
                self->sourceFound(nullptr);
                return;
            }
            pa_operation* next = pa_context_get_source_info_by_name(
                context, info->default_source_name,
                [](pa_context*, const pa_source_info* source, int eol, void* data) {
                    if (eol == 0 || eol < 0)
                        static_cast<PulseAudioSystem*>(data)->sourceFound(eol == 0 ? source
                                                                                   : nullptr);
                },
                data);
            if (next)
                pa_operation_unref(next);
        },
        this);
    if (op)
        pa_operation_unref(op);
}

void PulseAudioSystem::sourceFound(const pa_source_info* info)
{
    m_sourceKnown = info != nullptr;
    if (info) {
        m_spec = info->sample_spec;
        m_map = info->channel_map;
        m_sourceIndex = info->index;
    }
    m_available = m_ready && m_sourceKnown;
    for (const auto& capture : std::vector(m_captures)) {
        if (capture->state == Capture::State::waiting) {
            if (m_sourceKnown)
                beginLocked(*capture);
            else
                failLocked(*capture, std::nullopt);
        } else if (capture->state == Capture::State::running) {
            if (!m_sourceKnown || capture->sourceIndex != m_sourceIndex ||
                !pa_sample_spec_equal(&capture->spec, &m_spec))
                changedLocked(*capture);
        }
    }
}

void PulseAudioSystem::beginLocked(Capture& capture)
{
    pa_sample_spec layout = m_spec;
    AudioFormat format;
    layout.format = captureFormat(m_spec.format, format.sampleType);
    format.sampleRate = m_spec.rate;
    format.channels = m_spec.channels;
    auto prepared = capture.handlers.prepare(format);
    if (auto* error = std::get_if<AudioError>(&prepared)) {
        failLocked(capture, *error);
        return;
    }
    capture.tap = std::move(std::get<Tap>(prepared));
    capture.sourceIndex = m_sourceIndex;
    capture.spec = m_spec;
    capture.stream = pa_stream_new(m_context, "Microphone", &layout,
                                   pa_channel_map_valid(&m_map) ? &m_map : nullptr);
    if (!capture.stream) {
        failLocked(capture, serverError());
        return;
    }
    // The callbacks are cleared before the capture goes, with the loop locked.
    pa_stream_set_state_callback(
        capture.stream,
        [](pa_stream*, void* data) {
            auto* c = static_cast<Capture*>(data);
            c->system->onStreamState(*c);
        },
        &capture);
    pa_stream_set_read_callback(
        capture.stream,
        [](pa_stream*, size_t, void* data) {
            auto* c = static_cast<Capture*>(data);
            c->system->onReadable(*c);
        },
        &capture);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(-1);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(capture.bufferFrames *
                                          static_cast<qsizetype>(pa_frame_size(&layout)));
    // No device name: the server's default source.
    if (pa_stream_connect_record(capture.stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY) < 0) {
        failLocked(capture, serverError());
        return;
    }
    capture.state = Capture::State::connecting;
}

void PulseAudioSystem::onStreamState(Capture& capture)
{
    const auto state = pa_stream_get_state(capture.stream);
    if (state == PA_STREAM_READY && capture.state == Capture::State::connecting) {
        capture.state = Capture::State::running;
        capture.handlers.started(std::nullopt);
        // The default input may have changed while the stream was being made.
        if (capture.state == Capture::State::running &&
            (!m_sourceKnown || capture.sourceIndex != m_sourceIndex ||
             !pa_sample_spec_equal(&capture.spec, &m_spec)))
            changedLocked(capture);
    } else if (!PA_STREAM_IS_GOOD(state)) {
        // A stream that dies while capturing (its source killed it) is a change too.
        if (capture.state == Capture::State::running)
            changedLocked(capture);
        else
            failLocked(capture, serverError());
    }
}

void PulseAudioSystem::onReadable(Capture& capture)
{
    const size_t frameBytes = pa_frame_size(pa_stream_get_sample_spec(capture.stream));
    while (capture.stream && pa_stream_readable_size(capture.stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(capture.stream, &data, &bytes) < 0 || bytes == 0)
            return;
        // A hole (no data) is skipped; the tap only ever sees captured frames.
        if (data && capture.tap)
            capture.tap(data, static_cast<qsizetype>(bytes / frameBytes));
        if (capture.stream)
            pa_stream_drop(capture.stream);
    }
}

void PulseAudioSystem::endStreamLocked(Capture& capture)
{
    if (!capture.stream)
        return;
    pa_stream_set_read_callback(capture.stream, nullptr, nullptr);
    pa_stream_set_state_callback(capture.stream, nullptr, nullptr);
    pa_stream_disconnect(capture.stream);
    pa_stream_unref(capture.stream);
    capture.stream = nullptr;
}

void PulseAudioSystem::forgetLocked(Capture& capture)
{
    endStreamLocked(capture);
    capture.state = Capture::State::ended;
    capture.tap = nullptr;
    std::erase_if(m_captures, [&](const auto& c) { return c.get() == &capture; });
}

void PulseAudioSystem::failLocked(Capture& capture, std::optional<AudioError> error)
{
    if (capture.state == Capture::State::ended || capture.state == Capture::State::running)
        return;
    forgetLocked(capture);
    if (!error) {
        // No usable input: the owner words that for a zero format.
        auto prepared = capture.handlers.prepare(AudioFormat{});
        auto* refused = std::get_if<AudioError>(&prepared);
        error = refused ? *refused : paError(PA_ERR_NOENTITY);
    }
    capture.handlers.started(error);
}

void PulseAudioSystem::changedLocked(Capture& capture)
{
    if (capture.state != Capture::State::running)
        return;
    forgetLocked(capture);
    capture.handlers.changed();
}

AudioError PulseAudioSystem::serverError() const
{
    const int code = m_context ? pa_context_errno(m_context) : PA_ERR_CONNECTIONTERMINATED;
    return paError(code != 0 ? code : PA_ERR_UNKNOWN);
}

void PulseAudioSystem::timeOut(const std::weak_ptr<Capture>& weak)
{
    const auto capture = weak.lock();
    if (!capture || !m_loop)
        return;
    LoopLock lock(m_loop);
    if (capture->state == Capture::State::waiting)
        failLocked(*capture, std::nullopt);
    else if (capture->state == Capture::State::connecting)
        failLocked(*capture, paError(PA_ERR_TIMEOUT));
}

void PulseAudioSystem::scheduleReconnect()
{
    if (m_reconnect.isActive())
        return;
    const double delay = m_retry;
    m_retry = std::min(m_retry * 2, lastRetry);
    m_reconnect = m_clock.singleShot(delay, &m_owner, [this] {
        LoopLock lock(m_loop);
        connectLocked();
    });
}

} // namespace quillet
