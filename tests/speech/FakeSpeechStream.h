#pragma once

#include "speech/SpeechStream.h"

#include <QCoroFuture>
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
    // What the stream was told and what the test set, as one consistent snapshot.
    struct State {
        QList<QByteArray> frames;
        QString finals;
        QString tail;
        qint64 finalMs = 0;
        qint64 totalMs = 0;
        bool closed = false;
        bool down = false;
        QList<std::pair<double, double>> finishes; // (stall, maxWait) of every finish call
        qsizetype framesAtFinish = -1;             // frames received when finish was first called
    };

    FakeSpeechStream(QString apiKey, Options options, Callbacks callbacks, bool answersAtOnce)
        : apiKey(std::move(apiKey))
        , options(std::move(options))
        , m_callbacks(std::move(callbacks))
        , m_atOnce(answersAtOnce)
    {}

    const QString apiKey;
    const Options options;

    State state() const
    {
        QMutexLocker locker(&m_mutex);
        return m_state;
    }
    QByteArray audio() const { return state().frames.join(); }

    // Playing the service.
    void setProgress(const QString& finals, qint64 finalMs, qint64 totalMs,
                     const QString& tail = {})
    {
        QMutexLocker locker(&m_mutex);
        m_state.finals = finals;
        m_state.finalMs = finalMs;
        m_state.totalMs = totalMs;
        m_state.tail = tail;
    }
    void update(const QString& text) const { m_callbacks.onUpdate(text); }
    // Runs before each frame is taken, on the sender's thread.
    void beforeSend(std::function<void()> step)
    {
        QMutexLocker locker(&m_mutex);
        m_beforeSend = std::move(step);
    }
    // Runs once, right after the owner next reads the stream's progress: a response landing then.
    void afterNextRead(std::function<void()> step)
    {
        QMutexLocker locker(&m_mutex);
        m_afterRead = std::move(step);
    }
    // The session fails: one onError unless closed, then onDown unless already down.
    void fail(const QString& description, bool byService = false)
    {
        QMutexLocker locker(&m_mutex);
        const bool closed = m_state.closed;
        const bool wasDown = std::exchange(m_state.down, true);
        if (!closed && !m_failure)
            m_failure = Failure{description, byService};
        locker.unlock();
        if (!closed)
            m_callbacks.onError(description);
        resolve();
        if (!closed && !wasDown)
            m_callbacks.onDown(Failure{description, byService});
    }

    // SpeechStream.
    void sendAudio(QByteArray frame) override
    {
        QMutexLocker locker(&m_mutex);
        if (const auto step = m_beforeSend) {
            locker.unlock();
            step();
            locker.relock();
        }
        m_state.frames.append(std::move(frame));
    }
    QCoro::Task<Final> finish(double stall, double maxWait) override
    {
        QMutexLocker locker(&m_mutex);
        m_state.finishes.append({stall, maxWait});
        if (m_state.framesAtFinish < 0)
            m_state.framesAtFinish = m_state.frames.size();
        if (m_atOnce || m_state.closed || m_state.down) {
            locker.unlock();
            co_return final();
        }
        m_waiter.emplace().start();
        const QFuture<Final> answer = m_waiter->future();
        locker.unlock();
        co_return co_await answer;
    }
    void close() override
    {
        QMutexLocker locker(&m_mutex);
        m_state.closed = true;
        locker.unlock();
        resolve();
    }
    Progress progress() const override
    {
        const State now = state();
        QMutexLocker locker(&m_mutex);
        if (auto step = std::exchange(m_afterRead, nullptr)) {
            locker.unlock();
            step();
        }
        return {now.finals, now.finalMs, now.totalMs};
    }

private:
    Final final() const
    {
        QMutexLocker locker(&m_mutex);
        return {(m_state.finals + m_state.tail).trimmed(), m_failure};
    }
    // Answers a pending finish with the current transcript.
    void resolve()
    {
        QMutexLocker locker(&m_mutex);
        auto waiter = std::exchange(m_waiter, std::nullopt);
        locker.unlock();
        if (waiter) {
            waiter->addResult(final());
            waiter->finish();
        }
    }

    const Callbacks m_callbacks;
    const bool m_atOnce;
    mutable QMutex m_mutex;
    State m_state;
    std::optional<Failure> m_failure;
    std::optional<QPromise<Final>> m_waiter;
    mutable std::function<void()> m_afterRead;
    std::function<void()> m_beforeSend;
};

// Hands out fake streams and keeps them for inspection.
class FakeStreamFactory {
public:
    // When false, finish waits until the test fails or closes the stream.
    bool answersAtOnce = true;
    // Runs on each new stream before the factory hands it out.
    std::function<void(FakeSpeechStream&)> onMade;

    SpeechStreamFactory factory()
    {
        return [this](const QString& key, const SpeechStream::Options& options,
                      SpeechStream::Callbacks callbacks) -> std::shared_ptr<SpeechStream> {
            auto stream = std::make_shared<FakeSpeechStream>(key, options, std::move(callbacks),
                                                             answersAtOnce);
            {
                QMutexLocker locker(&m_mutex);
                m_streams.push_back(stream);
            }
            if (onMade)
                onMade(*stream);
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
