#include "speech/SerialQueue.h"

#include <future>
#include <pthread.h>

namespace quillet {

SerialQueue::SerialQueue(std::string label)
    : m_label(std::move(label))
    , m_state(std::make_shared<State>())
    , m_worker([state = m_state] { work(state); })
{
    // The kernel keeps at most 15 characters of a thread name.
    pthread_setname_np(m_worker.native_handle(), m_label.substr(0, 15).c_str());
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->closing = true;
    }
    m_state->wake.notify_one();
    if (isCurrent())
        m_worker.detach();
    else
        m_worker.join();
}

void SerialQueue::async(std::function<void()> step)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->steps.push_back(std::move(step));
    }
    m_state->wake.notify_one();
}

void SerialQueue::sync(const std::function<void()>& step)
{
    if (isCurrent()) {
        step();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    async([&] {
        step();
        done.set_value();
    });
    finished.wait();
}

void SerialQueue::work(const std::shared_ptr<State>& state)
{
    for (;;) {
        std::function<void()> step;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&] { return state->closing || !state->steps.empty(); });
            if (state->steps.empty())
                return;
            step = std::move(state->steps.front());
            state->steps.pop_front();
        }
        step();
    }
}

} // namespace quillet
