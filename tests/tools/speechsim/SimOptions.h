#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillet::sim {

// One injected fault: at `atMs` milliseconds of a connection's own audio, on the listed
// connections (numbered from 1 in order of arrival; empty means every connection).
struct Fault {
    std::optional<qint64> atMs;
    QSet<int> connections;
    bool appliesTo(int connection) const
    {
        return atMs.has_value() && (connections.isEmpty() || connections.contains(connection));
    }
};

struct SimOptions {
    quint16 port = 0;
    QStringList words;
    QStringList translations;
    qint64 msPerWord = 300;
    std::optional<QString> key;
    QString logPath;
    Fault drop;
    Fault error;
    int errorCode = 503;
    Fault stall;
    qint64 lagMs = 0;
    QSet<int> lagConnections;
};

// Parses the command line; on failure returns nullopt and fills `message`.
std::optional<SimOptions> parseSimOptions(const QStringList& arguments, QString& message);

} // namespace quillet::sim
