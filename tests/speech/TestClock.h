#pragma once

#include "util/Clock.h"

#include <atomic>

namespace quillet::test {

// A manual clock that other threads may read while the test advances it.
class SharedManualClock final : public Clock {
public:
    double uptime() const override { return m_uptime.load(); }
    QDateTime now() const override
    {
        return QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC)
            .addMSecs(static_cast<qint64>(m_uptime.load() * 1000.0));
    }
    void advance(double seconds) { m_uptime = m_uptime.load() + seconds; }

private:
    std::atomic<double> m_uptime = 1000.0;
};

} // namespace quillet::test
