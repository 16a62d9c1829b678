#pragma once

#include <QMutex>
#include <QObject>
#include <QThread>

#include <functional>

namespace quillet {

// The one thread that hosts every speech socket. Other threads never touch a socket; they post
// work here, and posted work runs in the order it was posted.
class NetworkThread {
public:
    NetworkThread();
    ~NetworkThread();
    NetworkThread(const NetworkThread&) = delete;
    NetworkThread& operator=(const NetworkThread&) = delete;

    // Runs `work` on the network thread. Work posted after shutdown began is dropped.
    void post(std::function<void()> work);
    // An object living on the network thread: the parent of its sockets and the context of its
    // timers. Use only from the network thread.
    QObject* context() const { return m_context; }
    bool isCurrent() const { return QThread::currentThread() == &m_thread; }

private:
    QThread m_thread;
    QObject* m_context;
    QMutex m_mutex;
    bool m_stopping = false;
};

} // namespace quillet
