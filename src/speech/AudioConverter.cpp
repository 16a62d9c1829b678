#include "speech/AudioConverter.h"

#include <algorithm>
#include <cmath>
#include <soxr.h>

namespace quillet {

namespace {

// Far beyond any real device; past these the format is taken as garbage.
constexpr int maxChannels = 64;
constexpr double minRate = 1000;
constexpr double maxRate = 768000;

template <typename Sample, typename Scale>
void mixDown(const Sample* in, qsizetype frames, int channels, float* out, Scale scale)
{
    if (channels == 1) {
        for (qsizetype i = 0; i < frames; ++i)
            out[i] = scale(in[i]);
        return;
    }
    if (channels == 2) {
        for (qsizetype i = 0; i < frames; ++i)
            out[i] = (scale(in[2 * i]) + scale(in[2 * i + 1])) * 0.5f;
        return;
    }
    const float share = 1.0f / static_cast<float>(channels);
    for (qsizetype i = 0; i < frames; ++i) {
        float sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += scale(in[i * channels + c]);
        out[i] = sum * share;
    }
}

} // namespace

Result<std::shared_ptr<AudioConverter>> AudioConverter::create(const AudioFormat& input)
{
    using R = Result<std::shared_ptr<AudioConverter>>;
    if (input.channels < 1 || input.channels > maxChannels)
        return R::failure(QStringLiteral("unsupported channel count %1").arg(input.channels));
    if (!(input.sampleRate >= minRate && input.sampleRate <= maxRate))
        return R::failure(QStringLiteral("unsupported sample rate %1").arg(input.sampleRate));

    std::shared_ptr<AudioConverter> converter(new AudioConverter(input));
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
    soxr_io_spec_t quietIo = io;
    quietIo.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // Smaller transform blocks than the library's default: less delay and smaller bursts
    // (8 ms instead of 28 ms at 48 kHz) for a little more work.
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    runtime.log2_min_dft_size = 8;
    runtime.log2_large_dft_size = 10;
    soxr_error_t error = nullptr;
    converter->m_soxr =
        soxr_create(input.sampleRate, outputRate, 1, &error, &quietIo, &quality, &runtime);
    if (error || !converter->m_soxr)
        return R::failure(QString::fromUtf8(error ? error : "resampler unavailable"));
    return converter;
}

AudioConverter::AudioConverter(const AudioFormat& input)
    : m_input(input)
    , m_ratio(outputRate / input.sampleRate)
{}

AudioConverter::~AudioConverter()
{
    if (m_soxr)
        soxr_delete(m_soxr);
}

void AudioConverter::downmix(const void* frames, qsizetype frameCount)
{
    if (static_cast<qsizetype>(m_mono.size()) < frameCount)
        m_mono.resize(static_cast<size_t>(frameCount));
    float* out = m_mono.data();
    const int ch = m_input.channels;
    switch (m_input.sampleType) {
    case AudioFormat::SampleType::Int16:
        mixDown(static_cast<const qint16*>(frames), frameCount, ch, out,
                [](qint16 s) { return static_cast<float>(s) * (1.0f / 32768.0f); });
        break;
    case AudioFormat::SampleType::Int32:
        mixDown(static_cast<const qint32*>(frames), frameCount, ch, out,
                [](qint32 s) { return static_cast<float>(s) * (1.0f / 2147483648.0f); });
        break;
    case AudioFormat::SampleType::Float32:
        mixDown(static_cast<const float*>(frames), frameCount, ch, out, [](float s) { return s; });
        break;
    }
}

AudioConverter::Chunk AudioConverter::convert(const void* frames, qsizetype frameCount)
{
    if (!frames || frameCount <= 0)
        return {};
    downmix(frames, frameCount);
    // Room for a burst of about twice the buffer's share.
    const auto share = static_cast<qsizetype>(static_cast<double>(frameCount) * m_ratio);
    return resample(m_mono.data(), frameCount, 2 * share + 64);
}

AudioConverter::Chunk AudioConverter::flush()
{
    // What is still inside the filter is at most its delay, plus a little rounding.
    return resample(nullptr, 0, static_cast<qsizetype>(std::ceil(soxr_delay(m_soxr))) + 64);
}

void AudioConverter::reset()
{
    soxr_clear(m_soxr);
}

AudioConverter::Chunk AudioConverter::resample(const float* input, qsizetype frameCount,
                                               qsizetype capacity)
{
    if (static_cast<qsizetype>(m_output.size()) < capacity)
        m_output.resize(static_cast<size_t>(capacity));
    size_t used = 0;
    size_t produced = 0;
    // A conversion error is ignored: what was converted counts.
    soxr_process(m_soxr, input, static_cast<size_t>(frameCount), &used, m_output.data(),
                 static_cast<size_t>(capacity), &produced);
    if (produced == 0)
        return {};
    const auto samples = static_cast<qsizetype>(produced);
    Chunk chunk;
    chunk.audio = QByteArray(reinterpret_cast<const char*>(m_output.data()), samples * 2);
    chunk.level = level(m_output.data(), samples);
    return chunk;
}

float AudioConverter::level(const qint16* samples, qsizetype count)
{
    if (count <= 0)
        return 0;
    float sum = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const float s = static_cast<float>(samples[i]) / 32768.0f;
        sum += s * s;
    }
    const float rms = std::sqrt(sum / static_cast<float>(count));
    return std::min(rms * 4.0f, 1.0f);
}

} // namespace quillet
