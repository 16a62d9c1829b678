#pragma once

#include "util/Clock.h"

#include <QMutex>
#include <QThread>

#include <algorithm>
#include <vector>

namespace quillet {

// A clock that moves only when told to, for tests. Safe to read and schedule on from any thread.
// advance() fires every timer that falls due, in order of due time, with the clock standing at
// that time: calls whose context lives on the advancing thread run inside advance(), the others
// are queued to their own thread.
class ManualClock final : public Clock {
public:
    explicit ManualClock(double uptime = 1000.0,
                         QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC))
        : m_uptime(uptime)
        , m_now(std::move(now))
    {}

    double uptime() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_uptime;
    }
    QDateTime now() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_now;
    }
    void setNow(QDateTime now)
    {
        QMutexLocker lock(&m_mutex);
        m_now = std::move(now);
    }

    void advance(double seconds)
    {
        double target = 0;
        {
            QMutexLocker lock(&m_mutex);
            target = m_uptime + seconds;
        }
        while (auto state = takeDue(target))
            dispatch(state);
        QMutexLocker lock(&m_mutex);
        moveTo(target);
    }

    // Timers still scheduled (neither cancelled nor spent, context alive).
    int pendingTimers() const
    {
        QMutexLocker lock(&m_mutex);
        return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(), [](auto& e) {
            const auto s = e.state.lock();
            return s && !s->cancelled && s->context;
        }));
    }

protected:
    void schedule(const std::shared_ptr<Timer::State>& state) override
    {
        QMutexLocker lock(&m_mutex);
        m_entries.push_back({m_uptime + state->interval, m_sequence++, state});
    }

private:
    struct Entry {
        double due;
        quint64 sequence;
        std::weak_ptr<Timer::State> state;
    };

    // The earliest live timer due by `target`, with the clock moved to its time; a repeating one
    // is put back for its next time.
    std::shared_ptr<Timer::State> takeDue(double target)
    {
        QMutexLocker lock(&m_mutex);
        std::erase_if(m_entries, [](const Entry& e) {
            const auto s = e.state.lock();
            return !s || s->cancelled || !s->context;
        });
        const auto next =
            std::min_element(m_entries.begin(), m_entries.end(), [](auto& a, auto& b) {
                return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
            });
        if (next == m_entries.end() || next->due > target)
            return nullptr;
        auto state = next->state.lock();
        moveTo(next->due);
        if (state->repeating)
            *next = {next->due + std::max(state->interval, 1e-3), m_sequence++, state};
        else
            m_entries.erase(next);
        return state;
    }

    void moveTo(double uptime)
    {
        m_now = m_now.addMSecs(static_cast<qint64>((uptime - m_uptime) * 1000.0));
        m_uptime = uptime;
    }

    static void dispatch(const std::shared_ptr<Timer::State>& state)
    {
        if (state->thread == QThread::currentThread()) {
            Clock::fire(*state);
        } else if (QObject* context = state->context) {
            QMetaObject::invokeMethod(
                context, [state] { Clock::fire(*state); }, Qt::QueuedConnection);
        }
    }

    mutable QMutex m_mutex;
    double m_uptime;
    QDateTime m_now;
    std::vector<Entry> m_entries;
    quint64 m_sequence = 0;
};

} // namespace quillet
