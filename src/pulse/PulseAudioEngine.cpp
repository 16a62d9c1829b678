#include "pulse/PulseAudioEngine.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#include <thread>

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

bool sameSampleLayout(const pa_sample_spec& a, const pa_sample_spec& b)
{
    return a.format == b.format && a.rate == b.rate && a.channels == b.channels;
}

} // namespace

// A deadline on the loop: wakes the waiter when it passes.
struct PulseAudioEngine::Wait {
    pa_threaded_mainloop* loop;
    bool expired = false;
};

PulseAudioEngine::PulseAudioEngine(int timeoutMs)
    : m_timeoutMs(timeoutMs)
{
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop || pa_threaded_mainloop_start(m_loop) < 0) {
        m_problem = QStringLiteral("cannot start the PulseAudio client thread");
        return;
    }
    pa_threaded_mainloop_lock(m_loop);
    if (connect())
        readDefaultSource();
    pa_threaded_mainloop_unlock(m_loop);
}

PulseAudioEngine::~PulseAudioEngine()
{
    if (!m_loop)
        return;
    if (pa_threaded_mainloop_in_thread(m_loop)) {
        // Dropped from one of our own callbacks (the owner must not let that happen from a tap):
        // the loop cannot stop itself from inside, so a helper thread ends it. Nothing may call
        // back into this object any more.
        if (m_stream) {
            pa_stream_set_read_callback(m_stream, nullptr, nullptr);
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        }
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        }
        std::thread([loop = m_loop, context = m_context, stream = m_stream] {
            teardown(loop, context, stream);
        }).detach();
        return;
    }
    teardown(m_loop, m_context, m_stream);
}

void PulseAudioEngine::teardown(pa_threaded_mainloop* loop, pa_context* context, pa_stream* stream)
{
    pa_threaded_mainloop_lock(loop);
    if (stream) {
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_threaded_mainloop_unlock(loop);
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
}

bool PulseAudioEngine::waitUntil(const std::function<bool()>& done)
{
    Wait wait{m_loop};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(m_timeoutMs) * PA_USEC_PER_MSEC);
    pa_time_event* timer = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
            auto* w = static_cast<Wait*>(data);
            w->expired = true;
            pa_threaded_mainloop_signal(w->loop, 0);
        },
        &wait);
    while (!done() && !wait.expired)
        pa_threaded_mainloop_wait(m_loop);
    api->time_free(timer);
    return done();
}

bool PulseAudioEngine::connect()
{
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Quillet");
    if (!m_context) {
        m_problem = QStringLiteral("cannot create a PulseAudio context");
        return false;
    }
    pa_context_set_state_callback(
        m_context,
        [](pa_context*, void* loop) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
        },
        m_loop);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        m_problem = QString::fromUtf8(pa_strerror(pa_context_errno(m_context)));
        return false;
    }
    const bool settled = waitUntil([this] {
        const auto state = pa_context_get_state(m_context);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    if (!settled) {
        m_problem = QStringLiteral("the PulseAudio server did not answer");
        return false;
    }
    if (pa_context_get_state(m_context) != PA_CONTEXT_READY) {
        m_problem = QString::fromUtf8(pa_strerror(pa_context_errno(m_context)));
        return false;
    }
    pa_context_set_subscribe_callback(
        m_context,
        [](pa_context*, pa_subscription_event_type_t event, uint32_t index, void* self) {
            static_cast<PulseAudioEngine*>(self)->onSubscription(event, index);
        },
        this);
    return true;
}

bool PulseAudioEngine::readDefaultSource()
{
    struct Query {
        PulseAudioEngine* self;
        bool done = false;
        bool found = false;
    } query{this};

    pa_operation* op = pa_context_get_server_info(
        m_context,
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* q = static_cast<Query*>(data);
            if (info && info->default_source_name)
                q->self->m_sourceName = info->default_source_name;
            q->done = true;
            pa_threaded_mainloop_signal(q->self->m_loop, 0);
        },
        &query);
    const bool answered = op && waitUntil([&] { return query.done; });
    if (op) {
        pa_operation_cancel(op);
        pa_operation_unref(op);
    }
    if (!answered || m_sourceName.isEmpty()) {
        m_problem = QStringLiteral("no default source");
        return false;
    }

    query.done = false;
    op = pa_context_get_source_info_by_name(
        m_context, m_sourceName.constData(),
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
            auto* q = static_cast<Query*>(data);
            if (info && !q->found) {
                q->found = true;
                q->self->m_native = info->sample_spec;
                q->self->m_sourceMap = info->channel_map;
                q->self->m_sourceIndex = info->index;
            }
            if (eol != 0) {
                q->done = true;
                pa_threaded_mainloop_signal(q->self->m_loop, 0);
            }
        },
        &query);
    const bool listed = op && waitUntil([&] { return query.done; });
    if (op) {
        pa_operation_cancel(op);
        pa_operation_unref(op);
    }
    if (!listed || !query.found) {
        m_problem = QStringLiteral("the default source is not available");
        return false;
    }
    captureFormat(m_native.format, m_format.sampleType);
    m_format.sampleRate = m_native.rate;
    m_format.channels = m_native.channels;
    return true;
}

void PulseAudioEngine::installTap(qsizetype bufferFrames, Tap tap)
{
    if (!m_loop)
        return;
    pa_threaded_mainloop_lock(m_loop);
    m_bufferFrames = bufferFrames;
    m_tap = std::move(tap);
    pa_threaded_mainloop_unlock(m_loop);
}

void PulseAudioEngine::removeTap()
{
    if (!m_loop)
        return;
    pa_threaded_mainloop_lock(m_loop);
    m_tap = nullptr;
    pa_threaded_mainloop_unlock(m_loop);
}

AudioError PulseAudioEngine::serverError(const char* context) const
{
    const int code = m_context ? pa_context_errno(m_context) : PA_ERR_CONNECTIONREFUSED;
    QString text = QString::fromUtf8(pa_strerror(code));
    if (text.isEmpty())
        text = QString::fromUtf8(context);
    return AudioError{errorDomain, code, text};
}

std::optional<AudioError> PulseAudioEngine::start()
{
    if (!m_context || m_format.channels == 0)
        return AudioError{errorDomain, PA_ERR_NOENTITY,
                          QString::fromUtf8(pa_strerror(PA_ERR_NOENTITY))};
    pa_threaded_mainloop_lock(m_loop);
    pa_sample_spec sampleLayout = m_native;
    AudioFormat::SampleType ignored{};
    sampleLayout.format = captureFormat(m_native.format, ignored);
    m_stream = pa_stream_new(m_context, "Microphone", &sampleLayout,
                             pa_channel_map_valid(&m_sourceMap) ? &m_sourceMap : nullptr);
    if (!m_stream) {
        const auto error = serverError("cannot create a recording stream");
        pa_threaded_mainloop_unlock(m_loop);
        return error;
    }
    pa_stream_set_state_callback(
        m_stream,
        [](pa_stream* stream, void* self) {
            auto* engine = static_cast<PulseAudioEngine*>(self);
            pa_threaded_mainloop_signal(engine->m_loop, 0);
            // A stream that dies while capturing (its source killed it) is a change too.
            if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) && engine->m_tap)
                engine->reportChange();
        },
        this);
    pa_stream_set_read_callback(
        m_stream,
        [](pa_stream*, size_t, void* self) { static_cast<PulseAudioEngine*>(self)->onReadable(); },
        this);

    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(-1);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(m_bufferFrames *
                                          static_cast<qsizetype>(pa_frame_size(&sampleLayout)));
    // No device name: the server's default source, followed as it changes.
    if (pa_stream_connect_record(m_stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY) < 0) {
        const auto error = serverError("cannot connect the recording stream");
        disconnectStream();
        pa_threaded_mainloop_unlock(m_loop);
        return error;
    }
    const bool settled = waitUntil([this] {
        const auto state = pa_stream_get_state(m_stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    });
    if (!settled || pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        const auto error = settled ? serverError("the recording stream failed")
                                   : AudioError{errorDomain, PA_ERR_TIMEOUT,
                                                QString::fromUtf8(pa_strerror(PA_ERR_TIMEOUT))};
        disconnectStream();
        pa_threaded_mainloop_unlock(m_loop);
        return error;
    }

    auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SERVER |
                                                    PA_SUBSCRIPTION_MASK_SOURCE);
    if (pa_operation* op = pa_context_subscribe(m_context, mask, nullptr, nullptr))
        pa_operation_unref(op);
    pa_threaded_mainloop_unlock(m_loop);
    return std::nullopt;
}

void PulseAudioEngine::disconnectStream()
{
    if (!m_stream)
        return;
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulseAudioEngine::stop()
{
    if (!m_loop)
        return;
    pa_threaded_mainloop_lock(m_loop);
    disconnectStream();
    if (m_context)
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
    pa_threaded_mainloop_unlock(m_loop);
}

void PulseAudioEngine::setOnConfigurationChange(std::function<void()> handler)
{
    std::lock_guard lock(m_handlerMutex);
    m_onChange = std::move(handler);
}

void PulseAudioEngine::onReadable()
{
    const size_t frameBytes = pa_frame_size(pa_stream_get_sample_spec(m_stream));
    while (m_stream && pa_stream_readable_size(m_stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0)
            return;
        // A hole (no data) is skipped; the tap only ever sees captured frames.
        if (data && m_tap)
            m_tap(data, static_cast<qsizetype>(bytes / frameBytes));
        if (m_stream)
            pa_stream_drop(m_stream);
    }
}

void PulseAudioEngine::onSubscription(unsigned int event, uint32_t index)
{
    const unsigned facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const unsigned type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        pa_operation* op = pa_context_get_server_info(
            m_context,
            [](pa_context*, const pa_server_info* info, void* self) {
                auto* engine = static_cast<PulseAudioEngine*>(self);
                const QByteArray name = info && info->default_source_name
                                            ? QByteArray(info->default_source_name)
                                            : QByteArray();
                if (name != engine->m_sourceName)
                    engine->reportChange();
            },
            this);
        if (op)
            pa_operation_unref(op);
        return;
    }
    if (facility != PA_SUBSCRIPTION_EVENT_SOURCE || index != m_sourceIndex)
        return;
    if (type == PA_SUBSCRIPTION_EVENT_REMOVE) {
        reportChange();
        return;
    }
    if (type == PA_SUBSCRIPTION_EVENT_CHANGE) {
        // Volume and port changes come this way too; only a new format matters.
        pa_operation* op = pa_context_get_source_info_by_index(
            m_context, index,
            [](pa_context*, const pa_source_info* info, int, void* self) {
                auto* engine = static_cast<PulseAudioEngine*>(self);
                if (info && !sameSampleLayout(info->sample_spec, engine->m_native))
                    engine->reportChange();
            },
            this);
        if (op)
            pa_operation_unref(op);
    }
}

void PulseAudioEngine::reportChange()
{
    if (m_changed)
        return;
    std::function<void()> handler;
    {
        std::lock_guard lock(m_handlerMutex);
        handler = m_onChange;
    }
    if (!handler)
        return;
    m_changed = true;
    handler();
}

} // namespace quillet
