#pragma once

#include "speech/SpeechStream.h"

#include <QCoroFuture>
#include <QFuture>
#include <QList>
#include <QMutex>
#include <QPromise>

#include <memory>
#include <optional>
#include <vector>

namespace quillet::test {

// A speech session that records what it is sent and lets the test play the service: set the
// progress, push updates, fail the connection, answer finish.
class FakeSpeechStream final : public SpeechStream {
public:
    FakeSpeechStream(QString apiKey, Options options, Callbacks callbacks)
        : apiKey(std::move(apiKey))
        , options(std::move(options))
        , m_callbacks(std::move(callbacks))
    {}

    const QString apiKey;
    const Options options;

    // Inspection.
    QList<QByteArray> frames() const
    {
        QMutexLocker locker(&m_mutex);
        return m_frames;
    }
    QByteArray audio() const
    {
        QMutexLocker locker(&m_mutex);
        return m_frames.join();
    }
    bool isClosed() const
    {
        QMutexLocker locker(&m_mutex);
        return m_closed;
    }
    int finishCalls() const
    {
        QMutexLocker locker(&m_mutex);
        return m_finishCalls;
    }

    // Playing the service.
    void setProgress(const QString& finals, qint64 finalMs, qint64 totalMs)
    {
        QMutexLocker locker(&m_mutex);
        m_finals = finals;
        m_finalMs = finalMs;
        m_totalMs = totalMs;
    }
    void setTail(const QString& tail)
    {
        QMutexLocker locker(&m_mutex);
        m_tail = tail;
    }
    QString transcript() const
    {
        QMutexLocker locker(&m_mutex);
        return (m_finals + m_tail).trimmed();
    }
    void update(const QString& text) const
    {
        if (m_callbacks.onUpdate)
            m_callbacks.onUpdate(text);
    }
    // The connection fails: one onError, then onDown unless closed or already down.
    void fail(const QString& description)
    {
        bool closed = false;
        bool fire = false;
        {
            QMutexLocker locker(&m_mutex);
            closed = m_closed;
            fire = !closed && !m_downFired;
            m_downFired = true;
        }
        if (!closed && m_callbacks.onError)
            m_callbacks.onError(description);
        resolve();
        if (fire && m_callbacks.onDown)
            m_callbacks.onDown();
    }
    // Answers a pending finish with the current transcript.
    void resolve()
    {
        std::optional<QPromise<QString>> waiter;
        {
            QMutexLocker locker(&m_mutex);
            waiter = std::exchange(m_waiter, std::nullopt);
        }
        if (waiter) {
            waiter->addResult(transcript());
            waiter->finish();
        }
    }
    // When set, finish answers at once.
    void setAnswersFinishAtOnce(bool atOnce)
    {
        QMutexLocker locker(&m_mutex);
        m_atOnce = atOnce;
    }
    bool finishPending() const
    {
        QMutexLocker locker(&m_mutex);
        return m_waiter.has_value();
    }

    // SpeechStream.
    void sendAudio(QByteArray frame) override
    {
        QMutexLocker locker(&m_mutex);
        m_frames.append(std::move(frame));
    }
    QCoro::Task<QString> finish(double stall, double maxWait) override
    {
        QFuture<QString> answer;
        {
            QMutexLocker locker(&m_mutex);
            ++m_finishCalls;
            lastStall = stall;
            lastMaxWait = maxWait;
            if (!m_atOnce && !m_closed) {
                QPromise<QString> promise;
                promise.start();
                answer = promise.future();
                m_waiter = std::move(promise);
            }
        }
        if (!answer.isValid())
            co_return transcript();
        co_return co_await answer;
    }
    void close() override
    {
        {
            QMutexLocker locker(&m_mutex);
            m_closed = true;
        }
        resolve();
    }
    QString finals() const override
    {
        QMutexLocker locker(&m_mutex);
        return m_finals;
    }
    qint64 finalMs() const override
    {
        QMutexLocker locker(&m_mutex);
        return m_finalMs;
    }
    qint64 totalMs() const override
    {
        QMutexLocker locker(&m_mutex);
        return m_totalMs;
    }

    double lastStall = 0;
    double lastMaxWait = 0;

private:
    const Callbacks m_callbacks;
    mutable QMutex m_mutex;
    QList<QByteArray> m_frames;
    QString m_finals;
    QString m_tail;
    qint64 m_finalMs = 0;
    qint64 m_totalMs = 0;
    bool m_closed = false;
    bool m_downFired = false;
    bool m_atOnce = true;
    int m_finishCalls = 0;
    std::optional<QPromise<QString>> m_waiter;
};

// Hands out fake streams and keeps them for inspection.
class FakeStreamFactory {
public:
    SpeechStreamFactory factory()
    {
        return [this](const QString& key, const SpeechStream::Options& options,
                      SpeechStream::Callbacks callbacks) -> std::shared_ptr<SpeechStream> {
            auto stream = std::make_shared<FakeSpeechStream>(key, options, std::move(callbacks));
            stream->setAnswersFinishAtOnce(answersAtOnce);
            QMutexLocker locker(&m_mutex);
            m_streams.push_back(stream);
            return stream;
        };
    }
    std::vector<std::shared_ptr<FakeSpeechStream>> streams() const
    {
        QMutexLocker locker(&m_mutex);
        return m_streams;
    }
    std::shared_ptr<FakeSpeechStream> stream(size_t i) const
    {
        QMutexLocker locker(&m_mutex);
        return i < m_streams.size() ? m_streams[i] : nullptr;
    }
    size_t count() const
    {
        QMutexLocker locker(&m_mutex);
        return m_streams.size();
    }
    bool answersAtOnce = true;

private:
    mutable QMutex m_mutex;
    std::vector<std::shared_ptr<FakeSpeechStream>> m_streams;
};

} // namespace quillet::test
