#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <optional>

namespace quillet {

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes `bytes` to `path`, making its folder; returns the path.
inline QString writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

// Runs a QCoro task to completion on the test's event loop.
template <typename Task> void finish(Task task, int timeoutMs = 30000)
{
    bool done = false;
    task.then([&] { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, timeoutMs);
}

// Sets (or, with no value, unsets) an environment variable for one scope.
class EnvGuard {
public:
    EnvGuard(const char* name, std::optional<QByteArray> value)
        : m_name(name)
        , m_old(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        set(value);
    }
    ~EnvGuard() { set(m_old); }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    void set(const std::optional<QByteArray>& v)
    {
        if (v)
            qputenv(m_name, *v);
        else
            qunsetenv(m_name);
    }
    const char* m_name;
    std::optional<QByteArray> m_old;
};

} // namespace quillet
