#pragma once

#include <QString>

namespace quillet {

// The layout of interleaved audio frames as an input device (or a file) delivers them.
// Samples are in the host's byte order (little-endian on every supported machine).
struct AudioFormat {
    enum class SampleType { Int16, Int32, Float32 };

    SampleType sampleType = SampleType::Float32;
    double sampleRate = 0;
    int channels = 0;

    int bytesPerSample() const { return sampleType == SampleType::Int16 ? 2 : 4; }
    int bytesPerFrame() const { return bytesPerSample() * channels; }

    // The sound server's own wording, e.g. "float32le 2ch 48000Hz".
    QString description() const
    {
        const char* type = sampleType == SampleType::Int16   ? "s16le"
                           : sampleType == SampleType::Int32 ? "s32le"
                                                             : "float32le";
        return QStringLiteral("%1 %2ch %3Hz")
            .arg(QLatin1String(type))
            .arg(channels)
            .arg(static_cast<qint64>(sampleRate));
    }

    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

} // namespace quillet
