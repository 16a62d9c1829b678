#pragma once

#include "speech/Mic.h"
#include "speech/SpeechStream.h"
#include "store/Entry.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace quillet {

class AudioSystem;
class Clock;
class KeyStore;
class Preferences;
class SpeechSession;
class Store;

// The one dictation that can be under way: its published state, and the pipeline that carries
// it from the first audio to a history record. start() records in a mode, finish() stops
// listening after the tail, awaits the final transcript, has it processed and records the entry
// it returns; the caller inserts it. Main thread only; every published change is made there.
class Dictation : public QObject {
    Q_OBJECT
    Q_PROPERTY(Phase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(QString liveText READ liveText NOTIFY liveTextChanged)
    Q_PROPERTY(float level READ level NOTIFY levelChanged)
    Q_PROPERTY(bool lagging READ lagging NOTIFY laggingChanged)
    Q_PROPERTY(QString mode READ mode WRITE setMode NOTIFY modeChanged)
    // The last failure to show the user; empty when there is none.
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
public:
    enum class Phase {
        idle,
        recording,
        processing,
    };
    Q_ENUM(Phase)

    // Text processing of a final transcript for a mode and the application it goes to; never
    // fails (a failure yields the transcript with the vocabulary applied).
    using ProcessText = std::function<QCoro::Task<QString>(QString transcript, QString modeId,
                                                           std::optional<QString> appName)>;

    struct Services {
        AudioSystem& audio;
        // Makes the speech sessions; reads the service's address when called.
        SpeechStreamFactory speech;
        KeyStore& keys;
        Store& store;
        Preferences& prefs;
        Clock& clock;
        ProcessText processText;
    };

    static inline const QString defaultMode = QStringLiteral("quillet");
    static inline const QString noKeyMessage =
        QStringLiteral("Add your Soniox key in Settings → Account to dictate");

    // Everything in `services` must outlive the dictation.
    explicit Dictation(Services services, QObject* parent = nullptr);
    ~Dictation() override;

    // Begins recording in mode `mode`; ignored unless idle.
    void start(const QString& mode);
    // Keeps listening for the preference "tailSeconds", then returns the recorded entry, or none
    // when there is no text (or nothing was recording).
    QCoro::Task<std::optional<Entry>> finish(std::optional<QString> app);
    // Abandons a recording; a dictation that is processing goes on.
    void cancel();

    Phase phase() const { return m_phase; }
    const QString& liveText() const { return m_liveText; }
    float level() const { return m_level; }
    bool lagging() const { return m_lagging; }
    const QString& mode() const { return m_mode; }
    // Shift switches the mode while recording; the entry takes the mode current at the end.
    void setMode(const QString& mode);
    const QString& error() const { return m_error; }

    // Finishing or cancelling leaves the microphone running. Nothing sets it today.
    bool keepMicRunning = false;
    Mic& mic() { return m_mic; }

    // The tail of "tailSeconds": a negative or non-finite value counts as none.
    static double tailWait(double preference);

signals:
    void phaseChanged(quillet::Dictation::Phase phase);
    void liveTextChanged(const QString& text);
    void levelChanged(float level);
    void laggingChanged(bool lagging);
    void modeChanged(const QString& mode);
    void errorChanged(const QString& error);

private:
    QCoro::Task<void> startMic(quint64 session);
    void detachMic();
    void dropStream();
    // Reports of an earlier session (cancelled, or over) are dropped.
    bool isCurrent(quint64 session) const { return m_stream && session == m_sessionId; }

    void setPhase(Phase phase);
    void setLiveText(const QString& text);
    void setLevel(float level);
    void setLagging(bool lagging);
    void setError(const QString& error);

    Services m_services;
    Mic m_mic;
    Phase m_phase = Phase::idle;
    QString m_liveText;
    float m_level = 0;
    bool m_lagging = false;
    QString m_mode = defaultMode;
    QString m_error;
    // The speech session of the running dictation: present from start() until idle again.
    SpeechSession* m_stream = nullptr;
    // Counts the sessions started, so that a report names the one it belongs to.
    quint64 m_sessionId = 0;
};

} // namespace quillet
