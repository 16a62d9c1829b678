#include "util/Clock.h"

#include <QCoroFuture>
#include <QPromise>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <limits>
#include <time.h>

namespace quillet {

Timer::Timer(std::shared_ptr<State> state)
    : m_state(std::move(state))
{}

Timer::~Timer()
{
    cancel();
}

Timer::Timer(Timer&& other) noexcept
    : m_state(std::move(other.m_state))
{}

Timer& Timer::operator=(Timer&& other) noexcept
{
    if (this != &other) {
        cancel();
        m_state = std::move(other.m_state);
    }
    return *this;
}

void Timer::cancel()
{
    if (!m_state)
        return;
    m_state->cancelled = true;
    // On the timer's own thread the clock's timer object can go at once; elsewhere it wakes once
    // more, finds the flag and ends.
    if (QThread::currentThread() == m_state->thread && m_state->backend)
        m_state->backend->deleteLater();
    m_state.reset();
}

bool Timer::isActive() const
{
    return m_state && !m_state->cancelled && !m_state->spent && m_state->context;
}

Timer Clock::singleShot(double seconds, QObject* context, std::function<void()> fn)
{
    return start(seconds, false, context, std::move(fn));
}

Timer Clock::repeating(double seconds, QObject* context, std::function<void()> fn)
{
    return start(seconds, true, context, std::move(fn));
}

Timer Clock::start(double seconds, bool repeating, QObject* context, std::function<void()> fn)
{
    auto state = std::make_shared<Timer::State>();
    state->interval = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    state->repeating = repeating;
    state->context = context;
    state->thread = context ? context->thread() : nullptr;
    state->fn = std::move(fn);
    if (context)
        schedule(state);
    return Timer(std::move(state));
}

void Clock::fire(Timer::State& state)
{
    if (state.cancelled || state.spent || !state.context)
        return;
    if (!state.repeating)
        state.spent = true;
    state.fn();
}

QCoro::Task<void> Clock::sleep(double seconds)
{
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    // The handle stays in this frame until the sleep is over, so the call is never cancelled.
    const Timer timer = singleShot(seconds, &m_sleepContext, [promise] { promise->finish(); });
    co_await done;
}

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

void SystemClock::schedule(const std::shared_ptr<Timer::State>& state)
{
    // Rounded up: a time-out never fires early.
    const auto interval = std::chrono::milliseconds(static_cast<qint64>(std::ceil(
        std::min(state->interval, static_cast<double>(std::numeric_limits<int>::max() / 1000)) *
        1000.0)));
    // Made on the context's thread: at once when that is this thread, else queued there.
    QMetaObject::invokeMethod(state->context, [state, interval] {
        if (state->cancelled || !state->context)
            return;
        auto* timer = new QTimer(state->context);
        timer->setTimerType(Qt::PreciseTimer);
        timer->setSingleShot(!state->repeating);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, weak = std::weak_ptr(state)] {
            const auto s = weak.lock();
            if (!s || s->cancelled) {
                timer->deleteLater();
                return;
            }
            if (!s->repeating)
                timer->deleteLater();
            fire(*s);
        });
        state->backend = timer;
        timer->start(interval);
    });
}

} // namespace quillet
