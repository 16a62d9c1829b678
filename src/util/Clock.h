#pragma once

#include <QDateTime>

#include <chrono>

namespace quillet {

// Time is a seam: logic asks a Clock, and tests hand in a ManualClock instead of sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic seconds (system uptime); gesture times, stalls and timeouts.
    virtual double uptime() const = 0;
    // Wall-clock time; history and vocabulary stamps.
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    double uptime() const override;
    QDateTime now() const override;
    // The process-wide system clock, for the composition root to hand out.
    static SystemClock& instance();
};

class ManualClock final : public Clock {
public:
    explicit ManualClock(double uptime = 1000.0,
                         QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC))
        : m_uptime(uptime)
        , m_now(std::move(now))
    {}
    double uptime() const override { return m_uptime; }
    QDateTime now() const override { return m_now; }
    void advance(double seconds)
    {
        m_uptime += seconds;
        m_now = m_now.addMSecs(static_cast<qint64>(seconds * 1000.0));
    }
    void setNow(QDateTime now) { m_now = std::move(now); }

private:
    double m_uptime;
    QDateTime m_now;
};

} // namespace quillet
