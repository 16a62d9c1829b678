// Speech benchmarks: parsing one 20-token response into the running transcript, and a
// ten-minute recording through the transcriber (with a stream that only counts what it gets).
// Prints its figures; never fails.

#include "speech/NetworkThread.h"
#include "speech/SonioxStream.h"
#include "speech/Transcriber.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutex>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace quillet;

namespace {

Clock& systemClock()
{
    static SystemClock clock;
    return clock;
}

QByteArray twentyTokenResponse(int round)
{
    QByteArray json = R"({"tokens":[)";
    for (int i = 0; i < 20; ++i) {
        if (i)
            json += ',';
        json += R"({"text":" wor)" + QByteArray::number(round % 97) + QByteArray::number(i) +
                R"(","start_ms":)" + QByteArray::number(i * 120) + R"(,"end_ms":)" +
                QByteArray::number(i * 120 + 100) + R"(,"confidence":0.93,"is_final":)" +
                (i < 12 ? "true" : "false") + R"(,"language":"en"})";
    }
    json += R"(],"final_audio_proc_ms":)" + QByteArray::number(round * 100) +
            R"(,"total_audio_proc_ms":)" + QByteArray::number(round * 100 + 300) + "}";
    return json;
}

void benchParsing()
{
    std::vector<QByteArray> responses;
    for (int i = 0; i < 200; ++i)
        responses.push_back(twentyTokenResponse(i));
    std::vector<double> samples;
    qsizetype sink = 0;
    NetworkThread network;
    for (int run = 0; run < 50; ++run) {
        // A fresh session every 200 responses keeps the transcript a realistic length
        // (about 2400 final words by the end of each run). The session never connects (port 9
        // on loopback); responses are applied as the receive path applies them, including the
        // transcript handed to onUpdate.
        SpeechStream::Callbacks callbacks;
        callbacks.onUpdate = [&sink](const QString& text) { sink += text.size(); };
        auto session = SonioxStream::create(
            network, {QUrl(QStringLiteral("ws://127.0.0.1:9/transcribe-websocket")), "m"},
            systemClock(), QStringLiteral("k"), {}, std::move(callbacks));
        const auto start = std::chrono::steady_clock::now();
        for (const auto& response : responses)
            session->receive(response);
        const auto end = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(end - start).count() /
                          static_cast<double>(responses.size()));
    }
    std::sort(samples.begin(), samples.end());
    std::printf("parse 20-token response + transcript: median %.2f us, p90 %.2f us, "
                "min %.2f us (target <= 100 us; %zu bytes each; sink %lld)\n",
                samples[samples.size() / 2], samples[samples.size() * 9 / 10], samples.front(),
                static_cast<size_t>(responses.front().size()), static_cast<long long>(sink));
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Counts what it is sent and reports steady progress, like a healthy service.
class CountingStream final : public SpeechStream {
public:
    void sendAudio(QByteArray frame) override
    {
        QMutexLocker locker(&m_mutex);
        bytes += frame.size();
        ++frames;
    }
    QCoro::Task<Final> finish(double, double) override { co_return Final{}; }
    void close() override {}
    Progress progress() const override
    {
        QMutexLocker locker(&m_mutex);
        return {QString(), bytes / 32, bytes / 32};
    }
    qint64 bytes = 0;
    qint64 frames = 0;

private:
    mutable QMutex m_mutex;
};

void benchTenMinutes()
{
    const long before = residentKb();
    std::shared_ptr<CountingStream> stream;
    auto factory = [&](const QString&, const SpeechStream::Options&,
                       SpeechStream::Callbacks) -> std::shared_ptr<SpeechStream> {
        stream = std::make_shared<CountingStream>();
        return stream;
    };
    auto transcriber = Transcriber::create(
        []() -> QCoro::Task<Result<QString>> { co_return Result<QString>(QStringLiteral("k")); },
        factory, {}, {}, systemClock());
    const QByteArray chunk(682, '\x11');
    const qint64 total = 600LL * 16000 * 2;
    qint64 sent = 0;
    const auto start = std::chrono::steady_clock::now();
    long peak = before;
    int chunks = 0;
    while (sent < total) {
        transcriber->send(chunk);
        sent += chunk.size();
        if (++chunks % 2000 == 0)
            peak = std::max(peak, residentKb());
    }
    const auto end = std::chrono::steady_clock::now();
    peak = std::max(peak, residentKb());
    const double perChunkUs =
        std::chrono::duration<double, std::micro>(end - start).count() / chunks;
    std::printf("10-minute recording, %d chunks of 682 bytes: held %lld bytes of audio "
                "(cap 19200000), streamed %lld bytes in %lld frames, %.2f us per chunk; "
                "RSS grew %.1f MB at peak (target <= 25 MB)\n",
                chunks, static_cast<long long>(transcriber->audioSize()),
                static_cast<long long>(stream->bytes), static_cast<long long>(stream->frames),
                perChunkUs, static_cast<double>(peak - before) / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchParsing();
    benchTenMinutes();
    return 0;
}
