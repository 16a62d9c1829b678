#pragma once

#include "util/TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>

namespace quillet {

// Runs the quillet binary over a private data and configuration folder.
struct CliRunner {
    QTemporaryDir root;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // A command the binary is run through (e.g. one that drops privileges), with its arguments.
    QStringList prefix;

    struct Run {
        int code = -1;
        QString out;
        QString err;
    };

    CliRunner()
    {
        env.insert("XDG_DATA_HOME", root.filePath("data"));
        env.insert("XDG_CONFIG_HOME", root.filePath("config"));
    }

    // Starts a simulator from the test tools and returns the port it announced (0 on failure).
    static quint16 startTool(QProcess& tool, const QString& program, const QStringList& args)
    {
        tool.start(qEnvironmentVariable("QUILLET_TEST_TOOLS") + u'/' + program, args);
        if (!tool.waitForStarted(60000))
            return 0;
        while (!tool.canReadLine() && tool.waitForReadyRead(60000)) {
        }
        const QByteArray line = tool.readLine().trimmed();
        return line.startsWith("PORT ") ? line.mid(5).toUShort() : 0;
    }

    QString dataDir() const { return root.filePath("data/Quillet"); }
    QString dataFile(const QString& name) const { return QDir(dataDir()).filePath(name); }

    // Starts the binary without waiting for it.
    void start(QProcess& p, const QStringList& args) const
    {
        p.setProcessEnvironment(env);
        const QString binary = qEnvironmentVariable("QUILLET_BINARY");
        if (prefix.isEmpty())
            p.start(binary, args);
        else
            p.start(prefix.first(), prefix.mid(1) + QStringList{binary} + args);
    }

    Run run(const QStringList& args, const QByteArray& input = {}) const
    {
        QProcess p;
        start(p, args);
        p.write(input);
        p.closeWriteChannel();
        Run r;
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            r.err = QStringLiteral("timed out");
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
};

} // namespace quillet
