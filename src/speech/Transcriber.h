#pragma once

#include "speech/SpeechStream.h"
#include "speech/Transcript.h"
#include "util/Result.h"

#include <QByteArray>
#include <QCoroTask>
#include <QFuture>
#include <QMutex>
#include <QString>

#include <functional>
#include <memory>

namespace quillet {

class Clock;

// Supervises the recognition of one dictation: keeps the recording (up to a cap) so audio can be
// replayed, batches microphone chunks into frames, watches how far the service lags, replaces a
// stalled or dropped session with a fresh one that resumes from the last finalised point, and
// collects the complete text at the end.
//
// Threads: send() is called from the audio thread, stream callbacks arrive on the network
// thread, finish() is awaited on the caller's thread. Lock order: the transcriber's lock may be
// held while taking a stream's lock, never the reverse. Callbacks run with no lock held.
class Transcriber : public std::enable_shared_from_this<Transcriber> {
public:
    // Returns the speech key, or a failure whose text is shown to the user.
    using KeyProvider = std::function<QCoro::Task<Result<QString>>()>;

    struct Callbacks {
        // The whole transcript so far.
        std::function<void(const QString&)> onUpdate;
        // A failure the user must see.
        std::function<void(const QString&)> onError;
        // Diagnostic lines.
        std::function<void(const QString&)> onLog;
        // The lagging state changed.
        std::function<void(bool)> onLag;
    };

    static constexpr qint64 bytesPerMs = 32;
    static constexpr qsizetype replayCap = 19'200'000;
    static constexpr qsizetype frameThreshold = 1920;
    static constexpr qsizetype replayFrame = 32000;
    static constexpr qint64 lagThresholdMs = 2000;
    static constexpr qint64 stallThresholdMs = 4000;
    static constexpr double noProgressSeconds = 4.0;
    static constexpr double minimumStreamAge = 4.0;
    static constexpr int freshSessionLimit = 3;
    static constexpr double finishStall = 3.0;
    static constexpr double finishLimit = 20.0;

    // Starts fetching the key at once; the first session starts when it arrives. `clock` must
    // outlive the transcriber.
    static std::shared_ptr<Transcriber> create(KeyProvider keyProvider,
                                               SpeechStreamFactory streamFactory,
                                               SpeechStream::Options options, Callbacks callbacks,
                                               const Clock& clock);
    ~Transcriber();

    // One microphone chunk (16 kHz mono s16le). Called from the audio thread.
    void send(const QByteArray& chunk);
    // Finalises the current session and returns the complete transcript with its outcome.
    QCoro::Task<Transcript> finish();
    // Abandons recognition at once; no callback follows.
    void cancel();

    bool lagging() const;
    // For diagnostics and tests.
    int reconnects() const;
    QString committed() const;
    qsizetype audioSize() const;

private:
    Transcriber(SpeechStreamFactory streamFactory, SpeechStream::Options options,
                Callbacks callbacks, const Clock& clock);
    static QCoro::Task<void> obtainKey(std::weak_ptr<Transcriber> weak, KeyProvider keyProvider,
                                       std::shared_ptr<QPromise<void>> done);
    void startFirst(const QString& apiKey);
    std::shared_ptr<SpeechStream> makeStreamLocked();
    // Which stream a callback belongs to: set once the stream exists; read and written with the
    // lock held.
    using StreamId = std::shared_ptr<const SpeechStream*>;

    // Starts a fresh session for `old`, which failed (`failure`) or stalled. `old` is read under
    // the lock, so a stream that fails while it is being made is known by then.
    bool replace(const StreamId& old, const std::optional<SpeechStream::Failure>& failure);
    // Records why recognition stopped for good (the first reason counts); `tell` also reports
    // it through onError.
    void stopped(Transcript::Outcome outcome, const QString& error, bool tell);
    static void sendReplay(SpeechStream& stream, const QByteArray& audio);

    const SpeechStreamFactory m_streamFactory;
    const SpeechStream::Options m_options;
    const Callbacks m_callbacks;
    const Clock& m_clock;
    QFuture<void> m_ready;

    // Keeps frames in recording order when a replay and a live batch race to the socket; taken
    // while the lock is still held, so whoever took audio first sends first.
    QMutex m_sendOrder;

    mutable QMutex m_mutex;
    bool m_lagging = false;
    qint64 m_progressMs = 0;
    double m_progressAt;
    double m_streamBornAt;
    QString m_apiKey;
    std::shared_ptr<SpeechStream> m_stream;
    QByteArray m_audio;
    QByteArray m_batch;
    qsizetype m_streamStart = 0;
    QString m_committed;
    int m_reconnects = 0;
    bool m_ended = false;
    // Set once recognition stopped for good.
    Transcript::Outcome m_outcome = Transcript::Outcome::complete;
    QString m_error;
};

} // namespace quillet
