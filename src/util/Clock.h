#pragma once

#include <QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace quillet {

// A call scheduled on a Clock. Destroying the handle or calling cancel() stops it: cancelled on
// the thread that runs the call, no call follows; from another thread, a call already under way
// may still finish. A default-made Timer schedules nothing.
class Timer {
public:
    // What a clock keeps of one scheduled call.
    struct State {
        double interval = 0; // seconds
        bool repeating = false;
        QPointer<QObject> context;
        QThread* thread = nullptr; // the context's thread, where the call runs
        std::function<void()> fn;
        std::atomic<bool> cancelled = false;
        std::atomic<bool> spent = false; // a single shot that has fired
        // The clock's own timer object, if it has one; touched on `thread` only.
        QPointer<QObject> backend;
    };

    Timer() = default;
    explicit Timer(std::shared_ptr<State> state);
    ~Timer();
    Timer(Timer&& other) noexcept;
    Timer& operator=(Timer&& other) noexcept;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void cancel();
    // Scheduled, not cancelled, and (for a single shot) not yet fired.
    bool isActive() const;

private:
    std::shared_ptr<State> m_state;
};

// Time is a seam: logic reads the time and schedules its timers through a Clock, so that tests
// hand in a manual clock and move it on instead of sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic seconds (system uptime); gesture times, stalls and timeouts.
    virtual double uptime() const = 0;
    // Wall-clock time; history and vocabulary stamps.
    virtual QDateTime now() const = 0;

    // Calls `fn` once, `seconds` from now, on the thread of `context` (which needs a running event
    // loop); never once `context` is destroyed or the timer cancelled.
    [[nodiscard]] Timer singleShot(double seconds, QObject* context, std::function<void()> fn);
    // Calls `fn` every `seconds` until cancelled or `context` is destroyed.
    [[nodiscard]] Timer repeating(double seconds, QObject* context, std::function<void()> fn);
    // Completes `seconds` from now. The awaiting coroutine resumes on its own thread; whatever it
    // touches afterwards it must check is still there.
    QCoro::Task<void> sleep(double seconds);

    // Runs a due call; on the context's thread only.
    static void fire(Timer::State& state);

protected:
    // Starts the state's timer; the base class has filled it in.
    virtual void schedule(const std::shared_ptr<Timer::State>& state) = 0;

private:
    Timer start(double seconds, bool repeating, QObject* context, std::function<void()> fn);

    // The context of sleeps: the thread that made the clock.
    QObject m_sleepContext;
};

// The system's monotonic clock and wall time; timers are precise Qt timers.
class SystemClock final : public Clock {
public:
    double uptime() const override;
    QDateTime now() const override;

protected:
    void schedule(const std::shared_ptr<Timer::State>& state) override;
};

} // namespace quillet
