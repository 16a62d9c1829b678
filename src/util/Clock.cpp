#include "util/Clock.h"

#include <time.h>

namespace quillet {

double SystemClock::uptime() const
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

SystemClock& SystemClock::instance()
{
    static SystemClock clock;
    return clock;
}

} // namespace quillet
