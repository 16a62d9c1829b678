#pragma once

#include "platform/AudioFormat.h"
#include "util/Result.h"

#include <QByteArray>

#include <memory>
#include <vector>

struct soxr;

namespace quillet {

// Turns interleaved frames of any rate, channel count and sample type into the one format the
// speech service is sent: 16 kHz mono signed 16-bit PCM in the host's byte order, no header.
// Channels are averaged to mono first, then libsoxr resamples the single channel (cheaper than
// resampling every channel) and rounds to 16 bits without dither, so silence stays exactly 0.
// The resampler keeps its filter state between calls, so consecutive buffers form one
// continuous signal. It works in blocks and so delivers in bursts; a small reserve of output
// (primeSamples, 16 ms) evens them out, so that every input buffer yields its own share of
// output (1024 frames at 48 kHz → 341 or 342 frames) once the reserve has filled.
// One instance serves one thread at a time.
class AudioConverter {
public:
    static constexpr int outputRate = 16000;
    // Output held back before the first chunk, to even out the resampler's bursts.
    static constexpr qsizetype primeSamples = 256;

    // One converted buffer: 2 bytes per sample, and its level in 0…1.
    struct Chunk {
        QByteArray audio;
        float level = 0;
    };

    // Fails with a reason when no converter can be made for `input`.
    static Result<std::shared_ptr<AudioConverter>> create(const AudioFormat& input);
    ~AudioConverter();
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    const AudioFormat& inputFormat() const { return m_input; }
    // 16000 ÷ input rate.
    double ratio() const { return m_ratio; }

    // Converts `frameCount` interleaved frames in inputFormat(). The chunk is empty while the
    // resampler is still filling (at the very start) or on a conversion error.
    Chunk convert(const void* frames, qsizetype frameCount);
    // Drains what the resampler still holds at the end of a recording; no input may follow.
    Chunk flush();

    // min(rms × 4, 1), rms over the samples taken as s ÷ 32768; 0 for no samples.
    static float level(const qint16* samples, qsizetype count);

private:
    explicit AudioConverter(const AudioFormat& input);
    void downmix(const void* frames, qsizetype frameCount);
    // Runs the resampler on `frameCount` mono frames (none: drain) into the reserve.
    void resample(const float* input, qsizetype frameCount, qsizetype capacity);
    Chunk take(qsizetype samples);

    AudioFormat m_input;
    double m_ratio = 0;
    soxr* m_soxr = nullptr;
    std::vector<float> m_mono;
    // Resampled output not yet handed out: m_reserve[m_reserveAt…].
    std::vector<qint16> m_reserve;
    size_t m_reserveAt = 0;
    bool m_primed = false;
    // Output frames owed for the input so far, beyond what was handed out.
    double m_owed = 0;
};

} // namespace quillet
