#pragma once

#include "speech/SpeechStream.h"

#include <QCoroFuture>
#include <QList>
#include <QMutex>
#include <QPromise>

#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace quillet::test {

// A speech session that records what it is sent and lets the test play the service: set the
// progress, push updates, fail the connection, answer finish.
class FakeSpeechStream final : public SpeechStream {
public:
    FakeSpeechStream(QString apiKey, Options options, Callbacks callbacks, bool answersAtOnce)
        : apiKey(std::move(apiKey))
        , options(std::move(options))
        , m_callbacks(std::move(callbacks))
        , m_atOnce(answersAtOnce)
    {}

    const QString apiKey;
    const Options options;

    // Inspection.
    QList<QByteArray> frames() const
    {
        return locked([&] { return m_frames; });
    }
    QByteArray audio() const { return frames().join(); }
    bool isClosed() const
    {
        return locked([&] { return m_closed; });
    }
    // The (stall, maxWait) of every finish call.
    QList<std::pair<double, double>> finishes() const
    {
        return locked([&] { return m_finishes; });
    }

    // Playing the service.
    void setProgress(const QString& finals, qint64 finalMs, qint64 totalMs,
                     const QString& tail = {})
    {
        locked([&] {
            m_finals = finals;
            m_finalMs = finalMs;
            m_totalMs = totalMs;
            m_tail = tail;
        });
    }
    void update(const QString& text) const { m_callbacks.onUpdate(text); }
    // The connection fails: one onError unless closed, then onDown unless already down.
    void fail(const QString& description)
    {
        const auto [closed, wasDown] = locked([&] {
            return std::pair{m_closed, std::exchange(m_down, true)};
        });
        if (!closed)
            m_callbacks.onError(description);
        resolve();
        if (!closed && !wasDown)
            m_callbacks.onDown();
    }

    // SpeechStream.
    void sendAudio(QByteArray frame) override
    {
        locked([&] { m_frames.append(std::move(frame)); });
    }
    QCoro::Task<QString> finish(double stall, double maxWait) override
    {
        const QFuture<QString> answer = locked([&] {
            m_finishes.append({stall, maxWait});
            if (m_atOnce || m_closed)
                return QFuture<QString>();
            m_waiter.emplace().start();
            return m_waiter->future();
        });
        if (!answer.isValid())
            co_return transcript();
        co_return co_await answer;
    }
    void close() override
    {
        locked([&] { m_closed = true; });
        resolve();
    }
    QString finals() const override
    {
        return locked([&] { return m_finals; });
    }
    qint64 finalMs() const override
    {
        return locked([&] { return m_finalMs; });
    }
    qint64 totalMs() const override
    {
        return locked([&] { return m_totalMs; });
    }

private:
    template <typename F> std::invoke_result_t<F> locked(F f) const
    {
        QMutexLocker locker(&m_mutex);
        return f();
    }
    QString transcript() const
    {
        return locked([&] { return (m_finals + m_tail).trimmed(); });
    }
    // Answers a pending finish with the current transcript.
    void resolve()
    {
        auto waiter = locked([&] { return std::exchange(m_waiter, std::nullopt); });
        if (waiter) {
            waiter->addResult(transcript());
            waiter->finish();
        }
    }

    const Callbacks m_callbacks;
    const bool m_atOnce;
    mutable QMutex m_mutex;
    QList<QByteArray> m_frames;
    QString m_finals;
    QString m_tail;
    qint64 m_finalMs = 0;
    qint64 m_totalMs = 0;
    bool m_closed = false;
    bool m_down = false;
    QList<std::pair<double, double>> m_finishes;
    std::optional<QPromise<QString>> m_waiter;
};

// Hands out fake streams and keeps them for inspection.
class FakeStreamFactory {
public:
    // When false, finish waits until the test fails or closes the stream.
    bool answersAtOnce = true;

    SpeechStreamFactory factory()
    {
        return [this](const QString& key, const SpeechStream::Options& options,
                      SpeechStream::Callbacks callbacks) -> std::shared_ptr<SpeechStream> {
            auto stream = std::make_shared<FakeSpeechStream>(key, options, std::move(callbacks),
                                                             answersAtOnce);
            QMutexLocker locker(&m_mutex);
            m_streams.push_back(stream);
            return stream;
        };
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

private:
    mutable QMutex m_mutex;
    std::vector<std::shared_ptr<FakeSpeechStream>> m_streams;
};

} // namespace quillet::test
