#pragma once

#include "platform/AudioFormat.h"
#include "util/Result.h"

#include <QByteArray>
#include <QString>

namespace quillet {

// A RIFF/WAVE recording held in memory: 16-bit PCM or 32-bit float, any rate and channel count,
// plain or WAVE_FORMAT_EXTENSIBLE. Unknown chunks (LIST, fact, …) are skipped, odd-sized chunks
// are padded as the format requires. A data chunk declaring 0xFFFFFFFF bytes (what streaming
// writers leave) runs to the end of the file; any other size beyond the end is a truncated file.
class WavFile {
public:
    // Files beyond this are refused rather than read into memory (over 1.5 hours of 48 kHz
    // stereo float).
    static constexpr qint64 maxFileBytes = qint64(2) << 30;

    static Result<WavFile> read(const QString& path);
    static Result<WavFile> parse(const QByteArray& bytes);

    const AudioFormat& format() const { return m_format; }
    // Interleaved frames in format(); whole frames only.
    const QByteArray& frames() const { return m_frames; }
    qsizetype frameCount() const { return m_frames.size() / m_format.bytesPerFrame(); }
    double seconds() const { return static_cast<double>(frameCount()) / m_format.sampleRate; }

private:
    AudioFormat m_format;
    QByteArray m_frames;
};

} // namespace quillet
