#include "store/DataFile.h"

#include "util/Clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

namespace quillet {

namespace {

// Long enough for any number of other processes' small writes, short enough that a main thread
// never seems hung. A lock left by a process that died is taken over at once.
constexpr int kLockWaitMs = 5000;

QString cannotWrite(const QString& path, const QString& reason)
{
    return QStringLiteral("cannot write %1 (%2)").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

DataFile::Lock::Lock(std::unique_ptr<QLockFile> file)
    : m_file(std::move(file))
{}

DataFile::Lock::Lock(Lock&&) noexcept = default;
DataFile::Lock& DataFile::Lock::operator=(Lock&&) noexcept = default;
DataFile::Lock::~Lock() = default;

DataFile::DataFile(QString path, Clock& clock, Validator decodes, DataWarning warn)
    : m_path(std::move(path))
    , m_clock(clock)
    , m_decodes(std::move(decodes))
    , m_warn(std::move(warn))
{}

std::optional<QByteArray> DataFile::read()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists())
            m_undecodable = true;
        return std::nullopt;
    }
    return file.readAll();
}

Result<DataFile::Lock> DataFile::lock()
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        return Result<Lock>::failure(cannotWrite(m_path, QStringLiteral("no folder")));
    auto file = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    if (file->tryLock(kLockWaitMs))
        return Lock(std::move(file));
    switch (file->error()) {
    case QLockFile::LockFailedError:
        return Result<Lock>::failure(
            cannotWrite(m_path, QStringLiteral("another process kept it locked")));
    case QLockFile::PermissionError:
        return Result<Lock>::failure(cannotWrite(m_path, QStringLiteral("Permission denied")));
    default:
        return Result<Lock>::failure(cannotWrite(m_path, QStringLiteral("cannot lock it")));
    }
}

Result<void> DataFile::setAsideUndecodable()
{
    // Another process may have repaired the file since we read it.
    QFile file(m_path);
    if (!file.exists())
        return {};
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        file.close();
        if (m_decodes(bytes))
            return {};
    }
    const QString base =
        m_path + QStringLiteral(".corrupt-") + QString::number(m_clock.now().toSecsSinceEpoch());
    QString target = base;
    for (int n = 1; QFileInfo::exists(target); ++n)
        target = base + u'-' + QString::number(n);
    if (!QFile::rename(m_path, target))
        return Result<void>::failure(
            cannotWrite(m_path, QStringLiteral("the damaged file could not be kept aside")));
    if (m_warn)
        m_warn(QStringLiteral("%1 could not be read; it was kept as %2")
                   .arg(QDir::toNativeSeparators(m_path), QFileInfo(target).fileName()));
    return {};
}

Result<void> DataFile::write(const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (m_undecodable) {
        if (auto kept = setAsideUndecodable(); !kept)
            return kept;
        m_undecodable = false;
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return Result<void>::failure(cannotWrite(m_path, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Result<void>::failure(cannotWrite(m_path, reason));
    }
    if (!file.commit())
        return Result<void>::failure(cannotWrite(m_path, file.errorString()));
    return {};
}

} // namespace quillet
