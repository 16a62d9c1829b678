#pragma once

#include "speech/SpeechStream.h"
#include "speech/Transcriber.h"
#include "util/ManualClock.h"
#include "util/Pending.h"

#include <QCoroTask>
#include <QHash>
#include <QMutex>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>

namespace quillet::test {

// Records callbacks by kind ("update", "error", "down", "log", "lag"); filled from any thread.
class CallbackLog {
public:
    void add(const QString& kind, const QString& text = {})
    {
        QMutexLocker locker(&m_mutex);
        m_entries[kind].append(text);
    }
    QStringList operator()(const QString& kind) const
    {
        QMutexLocker locker(&m_mutex);
        return m_entries.value(kind);
    }
    qsizetype count(const QString& kind) const { return (*this)(kind).size(); }
    QString last(const QString& kind) const { return (*this)(kind).value(count(kind) - 1); }

    static SpeechStream::Callbacks forStream(const std::shared_ptr<CallbackLog>& r)
    {
        return {[r](const QString& t) { r->add("update", t); },
                [r](const QString& t) { r->add("error", t); },
                [r](const SpeechStream::Failure& f) { r->add("down", f.description); }};
    }
    static Transcriber::Callbacks forTranscriber(const std::shared_ptr<CallbackLog>& r)
    {
        return {[r](const QString& t) { r->add("update", t); },
                [r](const QString& t) { r->add("error", t); },
                [r](const QString& t) { r->add("log", t); },
                [r](bool lag) { r->add("lag", lag ? "true" : "false"); }};
    }

private:
    mutable QMutex m_mutex;
    QHash<QString, QStringList> m_entries;
};

} // namespace quillet::test
