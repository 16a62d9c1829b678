// Microphone conversion cost: what the audio thread spends per buffer to downmix, resample to
// 16 kHz mono 16-bit, compute the level and hand the chunk on, either to a plain 60 ms (1920-byte)
// batching loop or to the real Transcriber::send over a stream that only counts frames.
// Target: at most 1 ms of CPU per second of audio.
#include "speech/AudioConverter.h"
#include "speech/Transcriber.h"
#include "util/Clock.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>
#include <random>
#include <vector>

using namespace quillet;

namespace {

const Clock& systemClock()
{
    static const SystemClock clock;
    return clock;
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Speech-like input: a few harmonics with a wandering pitch, plus noise.
QByteArray makeInput(const AudioFormat& format, int seconds)
{
    const auto frames = static_cast<qsizetype>(format.sampleRate) * seconds;
    QByteArray bytes(frames * format.bytesPerFrame(), Qt::Uninitialized);
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    double phase = 0;
    for (qsizetype i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / format.sampleRate;
        phase += 2 * std::numbers::pi * (140 + 40 * std::sin(2 * std::numbers::pi * 0.7 * t)) /
                 format.sampleRate;
        const double v =
            0.2 * std::sin(phase) + 0.1 * std::sin(2 * phase) + 0.05 * std::sin(3 * phase);
        for (int c = 0; c < format.channels; ++c) {
            const float s = static_cast<float>(v) + noise(random);
            const qsizetype at = i * format.channels + c;
            if (format.sampleType == AudioFormat::SampleType::Float32)
                reinterpret_cast<float*>(bytes.data())[at] = s;
            else
                reinterpret_cast<qint16*>(bytes.data())[at] =
                    static_cast<qint16>(std::clamp(s, -1.0f, 1.0f) * 32767);
        }
    }
    return bytes;
}

// A session that takes frames and answers nothing.
class CountingStream final : public SpeechStream {
public:
    void sendAudio(QByteArray frame) override
    {
        ++frames;
        bytes += frame.size();
    }
    QCoro::Task<Final> finish(double, double) override { co_return Final{}; }
    void close() override {}
    Progress progress() const override { return {QString(), 0, bytes / 32}; }

    qsizetype frames = 0;
    qsizetype bytes = 0;
};

QCoro::Task<Result<QString>> benchKey()
{
    co_return Result<QString>(QStringLiteral("bench"));
}

struct Figures {
    double cpuMsPerSecond;
    qsizetype frames;
    qsizetype bytes;
};

Figures runOnce(const AudioFormat& format, const QByteArray& input, int seconds, bool transcriber)
{
    auto converter = std::move(AudioConverter::create(format).value());
    auto stream = std::make_shared<CountingStream>();
    std::shared_ptr<Transcriber> sink;
    if (transcriber) {
        sink = Transcriber::create(
            benchKey,
            [stream](const QString&, const SpeechStream::Options&, SpeechStream::Callbacks) {
                return stream;
            },
            {}, {}, systemClock());
    }
    const qsizetype bufferBytes = 1024 * format.bytesPerFrame();
    QByteArray batch;
    qsizetype sentFrames = 0;
    qsizetype sentBytes = 0;
    float levelSum = 0;
    const double start = cpuSeconds();
    for (qsizetype at = 0; at + bufferBytes <= input.size(); at += bufferBytes) {
        auto chunk = converter->convert(input.constData() + at, 1024);
        if (chunk.audio.isEmpty())
            continue;
        levelSum += chunk.level;
        if (sink) {
            sink->send(chunk.audio);
            continue;
        }
        batch += chunk.audio;
        if (batch.size() >= 1920) {
            QByteArray frame;
            frame.swap(batch);
            sentBytes += frame.size();
            ++sentFrames;
        }
    }
    const double cpu = cpuSeconds() - start;
    if (levelSum < 0)
        std::puts("impossible"); // keeps the level computation observable
    if (sink)
        return {cpu * 1000.0 / seconds, stream->frames, stream->bytes};
    return {cpu * 1000.0 / seconds, sentFrames, sentBytes};
}

void bench(const char* name, const AudioFormat& format, bool transcriber)
{
    constexpr int seconds = 30;
    constexpr int runs = 15;
    const QByteArray input = makeInput(format, seconds);
    std::vector<double> cpu;
    Figures last{};
    for (int i = 0; i < runs; ++i) {
        last = runOnce(format, input, seconds, transcriber);
        cpu.push_back(last.cpuMsPerSecond);
    }
    std::sort(cpu.begin(), cpu.end());
    std::printf("%-24s %-18s median %.3f  min %.3f  max %.3f  ms CPU per s of audio "
                "(%d runs of %d s; %lld frames, %lld bytes sent per run; target <= 1.000)\n",
                name, transcriber ? "Transcriber::send" : "1920-byte batches", cpu[cpu.size() / 2],
                cpu.front(), cpu.back(), runs, seconds, static_cast<long long>(last.frames),
                static_cast<long long>(last.bytes));
}

} // namespace

int main()
{
    for (const bool transcriber : {false, true}) {
        bench("48 kHz stereo float32", {AudioFormat::SampleType::Float32, 48000, 2}, transcriber);
        bench("44.1 kHz stereo s16", {AudioFormat::SampleType::Int16, 44100, 2}, transcriber);
        bench("16 kHz mono s16", {AudioFormat::SampleType::Int16, 16000, 1}, transcriber);
    }
    return 0;
}
