#pragma once

#include "util/TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>

namespace quillet {

// Runs the quillet binary over a private data and configuration folder.
struct CliRunner {
    QTemporaryDir root;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

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

    QString dataDir() const { return root.filePath("data/Quillet"); }
    QString dataFile(const QString& name) const { return QDir(dataDir()).filePath(name); }

    Run run(const QStringList& args, const QByteArray& input = {}) const
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("QUILLET_BINARY"), args);
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
