#include "processing/ReplyWatch.h"

namespace quillet {

namespace {
// Qt's own buffer stays this small: the body is moved out as it arrives and measured there.
constexpr qint64 kReadBufferBytes = 64 * 1024;
} // namespace

ReplyWatch::ReplyWatch(QNetworkReply* reply, Clock& clock, double timeoutSeconds,
                       qint64 maxBodyBytes, QObject* scope)
    : m_reply(reply)
    , m_maxBodyBytes(maxBodyBytes)
{
    reply->setReadBufferSize(kReadBufferBytes);
    connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyWatch::checkDeclaredLength);
    connect(reply, &QIODevice::readyRead, this, &ReplyWatch::read);
    connect(reply, &QNetworkReply::finished, this, [this] { end(End::finished); });
    // The network manager takes its replies with it.
    connect(reply, &QObject::destroyed, this, [this] { end(End::cancelled); });
    if (scope)
        connect(scope, &QObject::destroyed, this, [this] { end(End::cancelled); });
    m_timer = clock.singleShot(timeoutSeconds, this, [this] { end(End::timedOut); });
}

ReplyWatch::~ReplyWatch()
{
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    if (m_reply->isRunning())
        m_reply->abort();
    m_reply->deleteLater();
}

void ReplyWatch::checkDeclaredLength()
{
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_maxBodyBytes)
        end(End::tooLarge);
}

void ReplyWatch::read()
{
    m_outcome.body += m_reply->read(m_maxBodyBytes + 1 - m_outcome.body.size());
    if (m_outcome.body.size() > m_maxBodyBytes)
        end(End::tooLarge);
}

void ReplyWatch::end(End how)
{
    if (m_ended)
        return;
    if (how == End::finished && m_reply) {
        read();
        if (m_ended) // too large after all
            return;
    }
    m_ended = true;
    m_outcome.end = how;
    m_timer.cancel();
    if (m_reply) {
        if (how == End::finished) {
            const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            m_outcome.status = status.isValid() ? status.toInt() : 0;
            m_outcome.error = m_reply->error();
            m_outcome.errorString = m_reply->errorString();
        } else {
            m_outcome.body.clear();
            m_reply->disconnect(this);
            m_reply->abort();
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_waiter)
                std::exchange(m_waiter, {}).resume();
        },
        Qt::QueuedConnection);
}

} // namespace quillet
