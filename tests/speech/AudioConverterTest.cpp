#include "speech/AudioConverter.h"

#include <QTest>

#include <cmath>
#include <numbers>
#include <vector>

using namespace quillet;

namespace {

using Type = AudioFormat::SampleType;

// One second of a signal in the given layout: f(t) in -1…1 on every channel.
template <typename F> QByteArray makeSignal(const AudioFormat& format, qsizetype frames, F f)
{
    QByteArray bytes(frames * format.bytesPerFrame(), Qt::Uninitialized);
    for (qsizetype i = 0; i < frames; ++i) {
        const double v = f(static_cast<double>(i) / format.sampleRate);
        for (int c = 0; c < format.channels; ++c) {
            const qsizetype at = i * format.channels + c;
            switch (format.sampleType) {
            case Type::Int16:
                reinterpret_cast<qint16*>(bytes.data())[at] =
                    static_cast<qint16>(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
                break;
            case Type::Int32:
                reinterpret_cast<qint32*>(bytes.data())[at] =
                    static_cast<qint32>(std::llround(std::clamp(v, -1.0, 1.0) * 2147483647.0));
                break;
            case Type::Float32:
                reinterpret_cast<float*>(bytes.data())[at] = static_cast<float>(v);
                break;
            }
        }
    }
    return bytes;
}

double sine(double t, double hz, double amplitude)
{
    return amplitude * std::sin(2 * std::numbers::pi * hz * t);
}

struct Run {
    std::vector<AudioConverter::Chunk> chunks;
    qsizetype totalBytes = 0;
};

// Feeds `signal` in buffers of `bufferFrames`, as the microphone's tap does.
Run feed(AudioConverter& converter, const QByteArray& signal, qsizetype bufferFrames)
{
    Run run;
    const int frameBytes = converter.inputFormat().bytesPerFrame();
    for (qsizetype at = 0; at < signal.size(); at += bufferFrames * frameBytes) {
        const qsizetype frames = std::min(bufferFrames, (signal.size() - at) / frameBytes);
        auto chunk = converter.convert(signal.constData() + at, frames);
        run.totalBytes += chunk.audio.size();
        run.chunks.push_back(std::move(chunk));
    }
    return run;
}

float maxAbs(const QByteArray& pcm)
{
    const auto* s = reinterpret_cast<const qint16*>(pcm.constData());
    int peak = 0;
    for (qsizetype i = 0; i < pcm.size() / 2; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(s[i])));
    return static_cast<float>(peak) / 32768.0f;
}

} // namespace

class AudioConverterTest : public QObject {
    Q_OBJECT
private slots:
    void levelFormula()
    {
        // min(rms × 4, 1): full scale either way 1; rms 0.1 → 0.4; rms 0.3 → 1.2, capped.
        const struct {
            std::vector<qint16> samples;
            float level;
        } rows[] = {
            {std::vector<qint16>(400, 32767), 1.0f}, {std::vector<qint16>(400, -32767), 1.0f},
            {std::vector<qint16>(100, 3277), 0.4f},  {std::vector<qint16>(100, -9830), 1.0f},
            {std::vector<qint16>(341, 0), 0.0f},     {{}, 0.0f}};
        for (const auto& row : rows)
            QVERIFY(
                std::abs(AudioConverter::level(row.samples.data(), qsizetype(row.samples.size())) -
                         row.level) < 1e-3f);
    }

    void handsOutAtOnce()
    {
        const AudioFormat format{Type::Float32, 48000, 1};
        auto converter = AudioConverter::create(format);
        QVERIFY(converter.ok());
        QCOMPARE((*converter)->ratio(), 1.0 / 3.0);

        const auto signal = makeSignal(format, 48000, [](double t) { return sine(t, 440, 0.5); });
        const auto run = feed(**converter, signal, 1024);
        // The first buffer already yields audio; on average each gives its share, 341.3 frames.
        QVERIFY(!run.chunks[0].audio.isEmpty());
        qsizetype steady = 0;
        for (size_t i = 6; i < 42; ++i)
            steady += run.chunks[i].audio.size();
        QVERIFY2(std::abs(steady - 36 * 682.67) < 300, qPrintable(QString::number(steady)));
        // Nothing is lost: the whole second comes out once the tail is drained.
        const auto tail = (*converter)->flush();
        const qsizetype total = run.totalBytes + tail.audio.size();
        QVERIFY2(std::abs(total - 32000) <= 4, qPrintable(QString::number(total)));
    }

    void formats_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("s16 mono 16k") << int(Type::Int16) << 16000.0 << 1;
        QTest::newRow("s16 stereo 44.1k") << int(Type::Int16) << 44100.0 << 2;
        QTest::newRow("float stereo 48k") << int(Type::Float32) << 48000.0 << 2;
        QTest::newRow("float mono 22.05k") << int(Type::Float32) << 22050.0 << 1;
        QTest::newRow("s32 6ch 96k") << int(Type::Int32) << 96000.0 << 6;
        QTest::newRow("s16 mono 8k") << int(Type::Int16) << 8000.0 << 1;
    }

    // A 0.1-rms tone keeps its loudness and its duration whatever the input layout.
    void formats()
    {
        QFETCH(int, type);
        QFETCH(double, rate);
        QFETCH(int, channels);
        const AudioFormat format{static_cast<Type>(type), rate, channels};
        auto converter = AudioConverter::create(format);
        QVERIFY2(converter.ok(), qPrintable(converter.error()));

        const auto frames = static_cast<qsizetype>(rate);
        const auto signal =
            makeSignal(format, frames, [](double t) { return sine(t, 300, 0.1 * std::sqrt(2.0)); });
        const auto run = feed(**converter, signal, 1024);
        const auto tail = (*converter)->flush();
        QVERIFY(std::abs(run.totalBytes + tail.audio.size() - 32000) <= 8);

        // Audio comes from the first buffer, or within 50 ms of input at high rates.
        size_t first = 0;
        while (first < run.chunks.size() && run.chunks[first].audio.isEmpty())
            ++first;
        QVERIFY(first == 0 || double(first + 1) * 1024 / rate < 0.05);
        // Past the filter's first blocks the tone keeps its level.
        QByteArray steady;
        for (size_t i = first + 3; i < run.chunks.size(); ++i)
            steady += run.chunks[i].audio;
        const float level = AudioConverter::level(reinterpret_cast<const qint16*>(steady.data()),
                                                  steady.size() / 2);
        QVERIFY2(std::abs(level - 0.4f) < 0.01f, qPrintable(QString::number(level)));
    }

    void stereoIsAveraged()
    {
        // Opposite channels cancel; one silent channel halves the amplitude.
        const AudioFormat format{Type::Float32, 48000, 2};
        auto converter = AudioConverter::create(format);
        QVERIFY(converter.ok());
        QByteArray opposite(9600 * 8, Qt::Uninitialized);
        QByteArray oneSided(9600 * 8, Qt::Uninitialized);
        auto* o = reinterpret_cast<float*>(opposite.data());
        auto* h = reinterpret_cast<float*>(oneSided.data());
        for (int i = 0; i < 9600; ++i) {
            const auto v = static_cast<float>(sine(i / 48000.0, 500, 0.8));
            o[2 * i] = v;
            o[2 * i + 1] = -v;
            h[2 * i] = v;
            h[2 * i + 1] = 0;
        }
        const auto cancelled = feed(**converter, opposite, 1024);
        for (const auto& chunk : cancelled.chunks)
            QCOMPARE(chunk.level, 0.0f);
        const auto halved = feed(**converter, oneSided, 1024);
        QVERIFY(std::abs(maxAbs(halved.chunks.back().audio) - 0.4f) < 0.02f);
    }

    // Through the converter: a full-scale square wave and an over-range float stay at level 1;
    // silence stays exactly 0 (no dither).
    void extremes()
    {
        const AudioFormat s16{Type::Int16, 48000, 2};
        const AudioFormat f32{Type::Float32, 16000, 1};
        const auto square = makeSignal(
            s16, 24000, [](double t) { return std::fmod(t * 200, 1.0) < 0.5 ? 1.0 : -1.0; });
        QCOMPARE(feed(*AudioConverter::create(s16).value(), square, 1024).chunks.back().level,
                 1.0f);
        const auto hot = makeSignal(f32, 16000, [](double t) { return sine(t, 100, 3.0); });
        QCOMPARE(feed(*AudioConverter::create(f32).value(), hot, 1024).chunks.back().level, 1.0f);

        const auto silence = makeSignal(s16, 24000, [](double) { return 0.0; });
        const auto run = feed(*AudioConverter::create(s16).value(), silence, 1024);
        QVERIFY(run.totalBytes > 0);
        for (const auto& chunk : run.chunks)
            QCOMPARE(maxAbs(chunk.audio), 0.0f);
    }

    void refusesUnusableFormats_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("no channels") << 48000.0 << 0;
        QTest::newRow("nan rate") << std::nan("") << 1;
        QTest::newRow("absurd rate") << 1e9 << 1;
        QTest::newRow("too many channels") << 48000.0 << 1000;
    }

    void refusesUnusableFormats()
    {
        QFETCH(double, rate);
        QFETCH(int, channels);
        const auto converter = AudioConverter::create({Type::Float32, rate, channels});
        QVERIFY(!converter.ok());
        QVERIFY(!converter.error().isEmpty());
    }
};

QTEST_APPLESS_MAIN(AudioConverterTest)
#include "AudioConverterTest.moc"
