#pragma once

#include "processing/ChatService.h"
#include "store/Entry.h"
#include "store/Style.h"
#include "vocab/Vocabulary.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace quillet {

class Clock;
class ProviderSettings;

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
// falls back to the replaced transcript on any failure. Never fails. Lives on the main thread.
class TextProcessor : public QObject {
    Q_OBJECT
public:
    using FailureHandler = std::function<void(const ChatError&)>;

    // `chat`, `settings` and `clock` must outlive the processor.
    TextProcessor(ChatService& chat, const ProviderSettings& settings, Clock& clock,
                  QObject* parent = nullptr);
    // Ends the requests under way, as abortAll() does.
    ~TextProcessor() override;

    // `onFailure`, when given, hears why the service gave no reply before the fallback is
    // returned (not once the processor is gone); the dictation passes none.
    QCoro::Task<QString> processText(ProcessingInput input, FailureHandler onFailure = {});

    // Replacements, the gate of the default mode and the two messages.
    static ProcessingPlan plan(const ProcessingInput& input);

    // The settings window's "Test text processing": calls `show` with "Testing…" at once and
    // then with the outcome, which it also returns (empty, and not shown, once the processor is
    // gone).
    QCoro::Task<QString> testTextProcessing(std::function<void(const QString&)> show = {});

    // Ends every request under way. Their runs return the fallback text without a retry; the
    // settings test reports the cancellation.
    void abortAll();

private:
    ChatService& m_chat;
    const ProviderSettings& m_settings;
    Clock& m_clock;
    // The scope of the requests under way: they end when it is destroyed.
    std::unique_ptr<QObject> m_requests;
};

} // namespace quillet
