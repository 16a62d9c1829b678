#pragma once

#include "speech/SpeechStream.h"
#include "speech/Transcriber.h"
#include "speech/Transcript.h"

#include <QCoroTask>
#include <QObject>

#include <atomic>
#include <memory>

namespace quillet {

class Clock;

// The speech recognition of one dictation, as the main thread sees it. Audio goes in from any
// thread; what the transcriber reports from its threads comes out as signals on the main thread,
// never after cancel() and never once finish() has produced the transcript. Make one per
// dictation on the main thread and use it there (send() aside).
class SpeechSession : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool lagging READ lagging NOTIFY laggingChanged)
public:
    // Starts fetching the key at once. `clock` must outlive the session.
    SpeechSession(Transcriber::KeyProvider keyProvider, SpeechStreamFactory streamFactory,
                  SpeechStream::Options options, const Clock& clock, QObject* parent = nullptr);
    // Cancels recognition unless it has ended.
    ~SpeechSession() override;

    // One microphone chunk (16 kHz mono s16le), from any thread; ignored once the session is over.
    void send(const QByteArray& chunk);
    // Finalises and returns the whole transcript with its outcome.
    QCoro::Task<Transcript> finish();
    // Abandons recognition at once.
    void cancel();

    // The service is more than two seconds behind the audio sent.
    bool lagging() const { return m_lagging; }

signals:
    // The whole transcript so far.
    void updated(const QString& text);
    // A failure the user must see; recognition may go on.
    void errorOccurred(const QString& text);
    void laggingChanged(bool lagging);

private:
    // Carries reports from the transcriber's threads to the session while it exists.
    struct Relay;

    const std::shared_ptr<Relay> m_relay;
    const std::shared_ptr<Transcriber> m_transcriber;
    std::atomic<bool> m_open = true;
    bool m_lagging = false;
};

} // namespace quillet
