#pragma once

#include "processing/ChatService.h"
#include "store/Entry.h"
#include "store/Style.h"
#include "vocab/Vocabulary.h"

#include <QCoroTask>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace quillet {

class Clock;
class Preferences;
class ProviderSettings;
class Store;

// Everything one run reads, copied when it starts so that later changes cannot reach it.
struct ProcessingInput {
    QString transcript;
    QString modeId;
    // Display name of the application the result goes to.
    std::optional<QString> appName;
    Vocabulary vocabulary;
    QList<Style> styles;
    // Newest first.
    QList<Entry> history;
    // The preference "cleanup": whether the default mode may send anything at all.
    bool cleanup = true;

    // The store's current vocabulary, modes and history and the preference "cleanup".
    static ProcessingInput fromStore(const Store& store, const Preferences& prefs,
                                     QString transcript, QString modeId,
                                     std::optional<QString> appName);
};

// The part of a run that happens before any network traffic.
struct ProcessingPlan {
    // The transcript after the replacements: the result when nothing is sent, and the fallback.
    QString text;
    bool send = false;
    bool fast = false;
    QString system;
    QString user;
};

// Turns a final transcript into the text to paste: applies the vocabulary, decides whether the
// mode rewrites, asks the chat service (the quality model first, then once the fast model) and
// falls back to the replaced transcript on any failure. Never fails.
class TextProcessor {
public:
    using FailureHandler = std::function<void(const ChatError&)>;

    // All three must outlive every run.
    TextProcessor(ChatService& chat, const ProviderSettings& settings, Clock& clock);

    // `onFailure`, when given, hears why the service gave no reply before the fallback is
    // returned; the dictation passes none.
    QCoro::Task<QString> processText(ProcessingInput input, FailureHandler onFailure = {});

    // Replacements, the gate of the default mode and the two messages.
    static ProcessingPlan plan(const ProcessingInput& input);

    // The settings window's "Test text processing": calls `show` with "Testing…" at once and
    // then with the outcome, which it also returns.
    QCoro::Task<QString> testTextProcessing(std::function<void(const QString&)> show = {});

    static constexpr double fastTimeout = 6.0;
    static constexpr double qualityTimeout = 3.0;
    static constexpr double retryTimeout = 6.0;
    static inline const QString testUserMessage =
        QStringLiteral("<dictation>um so this is uh a test</dictation>");

private:
    ChatService& m_chat;
    const ProviderSettings& m_settings;
    Clock& m_clock;
};

} // namespace quillet
