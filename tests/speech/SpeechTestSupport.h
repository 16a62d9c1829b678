#pragma once

#include "speech/SpeechStream.h"

#include <QCoroTask>
#include <QMutex>
#include <QStringList>

#include <memory>
#include <optional>

namespace quillet::test {

// Records a stream's callbacks; safe to fill from the network thread and read from the test.
struct CallbackLog {
    mutable QMutex mutex;
    QStringList updates;
    QStringList errors;
    int downs = 0;

    static SpeechStream::Callbacks attach(const std::shared_ptr<CallbackLog>& log)
    {
        SpeechStream::Callbacks callbacks;
        callbacks.onUpdate = [log](const QString& text) {
            QMutexLocker locker(&log->mutex);
            log->updates.append(text);
        };
        callbacks.onError = [log](const QString& text) {
            QMutexLocker locker(&log->mutex);
            log->errors.append(text);
        };
        callbacks.onDown = [log] {
            QMutexLocker locker(&log->mutex);
            ++log->downs;
        };
        return callbacks;
    }
    QStringList updatesNow() const
    {
        QMutexLocker locker(&mutex);
        return updates;
    }
    QStringList errorsNow() const
    {
        QMutexLocker locker(&mutex);
        return errors;
    }
    int downsNow() const
    {
        QMutexLocker locker(&mutex);
        return downs;
    }
    QString lastUpdate() const
    {
        QMutexLocker locker(&mutex);
        return updates.isEmpty() ? QString() : updates.last();
    }
};

// Runs an awaitable text-producing task to completion in the background and keeps its result.
struct PendingText {
    std::shared_ptr<std::optional<QString>> result = std::make_shared<std::optional<QString>>();
    QCoro::Task<void> runner;

    explicit PendingText(QCoro::Task<QString> task)
        : runner(collect(std::move(task), result))
    {}
    bool done() const { return result->has_value(); }
    QString value() const { return result->value_or(QStringLiteral("<pending>")); }

private:
    static QCoro::Task<void> collect(QCoro::Task<QString> task,
                                     std::shared_ptr<std::optional<QString>> out)
    {
        *out = co_await std::move(task);
    }
};

} // namespace quillet::test
