#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quillet {

// A serial queue: one worker thread runs the submitted steps one after another, in order.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    // The worker runs what was already submitted, then ends. May be called from one of the
    // queue's own steps (the owner dropped there); the worker then finishes on its own.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return m_label; }

    // Schedules `step` and returns at once.
    void async(std::function<void()> step);
    // Runs `step` on the queue and waits for it; runs it in place when already on the queue.
    void sync(const std::function<void()>& step);

    bool isCurrent() const { return std::this_thread::get_id() == m_worker.get_id(); }

private:
    // Shared with the worker so that it can outlive the queue object.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> steps;
        bool closing = false;
    };
    static void work(const std::shared_ptr<State>& state);

    std::string m_label;
    std::shared_ptr<State> m_state;
    std::thread m_worker;
};

} // namespace quillet
