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
// continuous signal. Whatever it has ready is handed out at once, so the first buffer already
// yields audio; it works in blocks, so chunk sizes vary around each buffer's share (1024 frames
// at 48 kHz → 341 frames on average, in steps of 148). One instance serves one thread at a time.
class AudioConverter {
public:
    static constexpr int outputRate = 16000;

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

    // Converts `frameCount` interleaved frames in inputFormat(). The chunk is empty when the
    // resampler has nothing ready yet, or on a conversion error.
    Chunk convert(const void* frames, qsizetype frameCount);
    // Drains what the resampler still holds at the end of a recording; reset() before new input.
    Chunk flush();
    // Forgets all input so far: the next buffer starts a new signal.
    void reset();

    // min(rms × 4, 1), rms over the samples taken as s ÷ 32768; 0 for no samples.
    static float level(const qint16* samples, qsizetype count);

private:
    explicit AudioConverter(const AudioFormat& input);
    void downmix(const void* frames, qsizetype frameCount);
    // Runs the resampler on `frameCount` mono frames (none: drain).
    Chunk resample(const float* input, qsizetype frameCount, qsizetype capacity);

    AudioFormat m_input;
    double m_ratio = 0;
    soxr* m_soxr = nullptr;
    std::vector<float> m_mono;
    std::vector<qint16> m_output;
};

} // namespace quillet
