#include "update/BundleReplacer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace quillet {

namespace {

QString systemError(const QString& what, int error)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

// A name beside `installed` for the copy or the old bundle.
QString sibling(const QString& installed, const char* role)
{
    const QFileInfo info(installed);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + u'.' +
           QLatin1StringView(role) + u'-' + QString::number(QCoreApplication::applicationPid());
}

void removeTree(const QString& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(path).toStdString(), ignored);
}

// The fallback: move the installed bundle aside, move the new one in, and put the old one back
// if that fails.
Result<void> renameTwice(const QByteArray& installed, const QByteArray& replacement,
                         QString* removable)
{
    const QByteArray aside = QFile::encodeName(sibling(QFile::decodeName(installed), "old"));
    removeTree(QFile::decodeName(aside));
    if (std::rename(installed.constData(), aside.constData()) != 0)
        return Result<void>::failure(
            systemError(QStringLiteral("couldn't move ") + QFile::decodeName(installed), errno));
    if (std::rename(replacement.constData(), installed.constData()) != 0) {
        const int error = errno;
        std::rename(aside.constData(), installed.constData());
        return Result<void>::failure(
            systemError(QStringLiteral("couldn't move ") + QFile::decodeName(replacement), error));
    }
    *removable = QFile::decodeName(aside);
    return {};
}

} // namespace

Result<void> BundleReplacer::replace(const QString& installed, const QString& replacement)
{
    QByteArray from = QFile::encodeName(replacement);
    const QByteArray to = QFile::encodeName(installed);
    QString staged;
    if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0) {
        removeTree(replacement);
        return {};
    }
    if (errno == EXDEV) {
        // Another file system: a copy beside the installed bundle can be exchanged.
        staged = sibling(installed, "new");
        removeTree(staged);
        std::error_code error;
        std::filesystem::copy(from.toStdString(), QFile::encodeName(staged).toStdString(),
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::copy_symlinks,
                              error);
        if (error) {
            removeTree(staged);
            return Result<void>::failure(systemError(
                QStringLiteral("couldn't copy the update beside ") + installed, error.value()));
        }
        from = QFile::encodeName(staged);
        if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0) {
            removeTree(staged);
            return {};
        }
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        const int error = errno;
        if (!staged.isEmpty())
            removeTree(staged);
        return Result<void>::failure(
            systemError(QStringLiteral("couldn't replace ") + installed, error));
    }
    QString old;
    auto moved = renameTwice(to, from, &old);
    if (!moved && !staged.isEmpty())
        removeTree(staged);
    if (moved)
        removeTree(old);
    return moved;
}

} // namespace quillet
