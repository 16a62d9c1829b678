#include "wayland/SwayIpc.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quillet {

namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr qsizetype headerSize = sizeof magic + 2 * sizeof(quint32);

// Moves `size` bytes in or out of the socket by `deadline`.
bool transfer(int fd, char* data, qsizetype size, bool reading, const QDeadlineTimer& deadline)
{
    qsizetype done = 0;
    while (done < size) {
        pollfd p{fd, static_cast<short>(reading ? POLLIN : POLLOUT), 0};
        const int ready = ::poll(&p, 1, std::max(0, static_cast<int>(deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t n =
            reading ? ::recv(fd, data + done, static_cast<size_t>(size - done), 0)
                    : ::send(fd, data + done, static_cast<size_t>(size - done), MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

SwayIpc::SwayIpc(QByteArray socketPath)
    : m_path(socketPath.isEmpty() ? qgetenv("SWAYSOCK") : std::move(socketPath))
{}

std::optional<QJsonDocument> SwayIpc::request(Message type, const QByteArray& payload) const
{
    sockaddr_un address{};
    if (m_path.isEmpty() || m_path.size() >= qsizetype(sizeof address.sun_path))
        return std::nullopt;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, m_path.constData(), static_cast<size_t>(m_path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    std::optional<QJsonDocument> reply;
    // A local socket connects at once or not at all.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        QByteArray message(magic, sizeof magic);
        const quint32 header[2] = {static_cast<quint32>(payload.size()),
                                   static_cast<quint32>(type)};
        message.append(reinterpret_cast<const char*>(header), sizeof header);
        message.append(payload);
        char head[headerSize];
        if (transfer(fd, message.data(), message.size(), false, deadline) &&
            transfer(fd, head, headerSize, true, deadline) &&
            std::memcmp(head, magic, sizeof magic) == 0) {
            quint32 length = 0;
            std::memcpy(&length, head + sizeof magic, sizeof length);
            QByteArray body(static_cast<qsizetype>(length), Qt::Uninitialized);
            if (length < (64u << 20) && transfer(fd, body.data(), body.size(), true, deadline)) {
                QJsonParseError error{};
                QJsonDocument doc = QJsonDocument::fromJson(body, &error);
                if (error.error == QJsonParseError::NoError)
                    reply = std::move(doc);
            }
        }
    }
    ::close(fd);
    return reply;
}

} // namespace quillet
