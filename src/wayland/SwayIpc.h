#pragma once

#include <QByteArray>
#include <QJsonDocument>

#include <optional>

namespace quillet {

// sway's IPC socket ($SWAYSOCK): one request, one JSON reply, within a bounded wait.
class SwayIpc {
public:
    enum class Message : quint32 {
        getTree = 4,
        getVersion = 7,
        getConfig = 9,
    };

    static constexpr int timeoutMs = 250;

    // `socketPath` empty: $SWAYSOCK.
    explicit SwayIpc(QByteArray socketPath = {});

    // The socket is known (sway runs this session).
    bool isAvailable() const { return !m_path.isEmpty(); }
    // None when sway does not answer in time or the reply is not JSON.
    std::optional<QJsonDocument> request(Message type, const QByteArray& payload = {}) const;

private:
    QByteArray m_path;
};

} // namespace quillet
