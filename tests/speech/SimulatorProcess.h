#pragma once

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

namespace quillet::test {

// Runs the speech-service simulator for one test and reads its log.
class SimulatorProcess {
public:
    ~SimulatorProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    static QString program()
    {
        return qEnvironmentVariable("QUILLET_TEST_TOOLS") + QStringLiteral("/speechsim/speechsim");
    }

    // Starts it with `arguments` (a log file is added) and waits for its port; false on failure.
    bool start(QStringList arguments)
    {
        arguments << QStringLiteral("--log") << logPath();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program(), arguments);
        if (!m_process.waitForStarted(10000))
            return false;
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(10000))
                return false;
        const QByteArray line = m_process.readLine().trimmed();
        if (!line.startsWith("PORT "))
            return false;
        m_port = line.mid(5).toInt();
        return m_port > 0;
    }

    QUrl url() const
    {
        return QUrl(QStringLiteral("ws://127.0.0.1:%1/transcribe-websocket").arg(m_port));
    }
    QString logPath() const { return m_dir.filePath(QStringLiteral("speechsim.jsonl")); }

    // Log entries, optionally only those of one event.
    QList<QJsonObject> log(const QString& event = QString()) const
    {
        QList<QJsonObject> entries;
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return entries;
        while (!file.atEnd()) {
            const QJsonObject entry = QJsonDocument::fromJson(file.readLine()).object();
            if (event.isEmpty() || entry.value(QStringLiteral("event")).toString() == event)
                entries.append(entry);
        }
        return entries;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

} // namespace quillet::test
