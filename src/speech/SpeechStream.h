#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace quillet {

// One conversation with a real-time speech service, as the transcriber sees it. The transcriber
// works against this interface so that tests can hand it a recording stand-in.
class SpeechStream {
public:
    struct Options {
        QStringList languages;
        QStringList terms;
        std::optional<QString> translateTo;
    };

    // Why a session ended before its time.
    struct Failure {
        // The service's error ("Soniox 401: …") or the connection's.
        QString description;
        // The service refused (an error response) rather than the connection failing.
        bool byService = false;
    };

    struct Progress {
        // All final text so far.
        QString finals;
        // Milliseconds of this session's audio whose tokens are all final.
        qint64 finalMs = 0;
        // Milliseconds of this session's audio that the service has processed.
        qint64 totalMs = 0;
    };

    // What finish() returns: the final transcript, and the failure that cut the session short.
    struct Final {
        QString text;
        std::optional<Failure> failure;
    };

    // Called on the network thread, never while the stream holds its own lock.
    struct Callbacks {
        std::function<void(const QString&)> onUpdate;
        // Every service or connection error, for diagnostics.
        std::function<void(const QString&)> onError;
        // The session is unusable: at most once, never for a stream its owner closed.
        std::function<void(const Failure&)> onDown;
    };

    virtual ~SpeechStream() = default;

    // Queues one binary frame of 16 kHz mono s16le audio; failures show up as onError/onDown.
    virtual void sendAudio(QByteArray frame) = 0;
    // Asks the service to finalise and returns the final transcript, after at most `stall`
    // seconds without a response or `maxWait` seconds in all.
    virtual QCoro::Task<Final> finish(double stall, double maxWait) = 0;
    // Ends the session from our side: no onDown follows, a pending finish returns at once.
    virtual void close() = 0;

    // What the service has confirmed so far, read in one go.
    virtual Progress progress() const = 0;
};

// Makes a started stream with the given key, options and callbacks.
using SpeechStreamFactory = std::function<std::shared_ptr<SpeechStream>(
    const QString& apiKey, const SpeechStream::Options& options, SpeechStream::Callbacks)>;

} // namespace quillet
