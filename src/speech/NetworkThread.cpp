#include "speech/NetworkThread.h"

#include <QMetaObject>

namespace quillet {

NetworkThread::NetworkThread()
    : m_context(new QObject)
{
    m_thread.setObjectName(QStringLiteral("quillet.network"));
    m_context->moveToThread(&m_thread);
    // The context and the sockets parented to it are deleted on the thread as it ends.
    QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

NetworkThread::~NetworkThread()
{
    {
        QMutexLocker locker(&m_mutex);
        m_stopping = true;
    }
    m_thread.quit();
    m_thread.wait();
}

void NetworkThread::post(std::function<void()> work)
{
    QMutexLocker locker(&m_mutex);
    if (m_stopping)
        return;
    QMetaObject::invokeMethod(m_context, std::move(work), Qt::QueuedConnection);
}

} // namespace quillet
