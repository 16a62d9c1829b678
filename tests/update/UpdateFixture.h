#pragma once

#include "update/BuildInfo.h"
#include "update/Bundle.h"
#include "util/TestSupport.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryFile>

#include <archive.h>
#include <archive_entry.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillet::updatetest {

// The key pairs in tests/update/keys: "test" is the one the tests trust, "other" is not.
inline QString keyFile(const QString& name, const char* suffix)
{
    return qEnvironmentVariable("QUILLET_SOURCE_DIR") + QStringLiteral("/tests/update/keys/") +
           name + QLatin1StringView(suffix);
}

inline QString publicKey(const QString& name = QStringLiteral("test"))
{
    return QString::fromUtf8(readFile(keyFile(name, ".pub")));
}

inline void writeExecutable(const QString& path, const QByteArray& bytes)
{
    writeFile(path, bytes);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                    QFile::ExeOther);
}

// A small bundle: AppRun, the program, a library and bundle.json with `build`.
inline void makeAppDir(const QString& appDir, qint64 build)
{
    writeExecutable(appDir + QStringLiteral("/AppRun"),
                    "#!/bin/sh\nexec \"${0%/*}/usr/bin/quillet\" \"$@\"\n");
    writeExecutable(appDir + QStringLiteral("/usr/bin/quillet"),
                    "program of build " + QByteArray::number(build));
    writeFile(appDir + QStringLiteral("/usr/lib/libexample.so.1"), QByteArray(3000, 'L'));
    writeFile(appDir + QStringLiteral("/bundle.json"),
              R"({"version":"0.1.)" + QByteArray::number(build) + R"(","build":)" +
                  QByteArray::number(build) + R"(,"identifier":"com.fernwick.quillet.linux"})");
}

// Signs the bundle's file list with minisign, as the release script does.
inline bool sign(const QString& appDir, const QString& key = QStringLiteral("test"),
                 const QString& comment = BuildInfo::identifier + QStringLiteral(" test build"))
{
    const Result<QByteArray> list = Bundle::fileList(appDir);
    QTemporaryFile listFile;
    if (!list || !listFile.open())
        return false;
    listFile.write(*list);
    listFile.close();
    QProcess minisign;
    minisign.start(QStringLiteral("minisign"),
                   {"-S", "-s", keyFile(key, ".key"), "-m", listFile.fileName(), "-x",
                    appDir + u'/' + Bundle::signatureName, "-t", comment});
    minisign.closeWriteChannel();
    return minisign.waitForFinished(30000) && minisign.exitStatus() == QProcess::NormalExit &&
           minisign.exitCode() == 0;
}

// One entry of a zip archive made by hand.
struct ZipEntry {
    QByteArray path;
    QByteArray content; // a file's bytes
    unsigned mode = AE_IFREG | 0644;
    QByteArray linkTarget; // for AE_IFLNK
    QByteArray hardlink;   // when set, a hard link to this path
};

inline bool writeZip(const QString& zipPath, const std::vector<ZipEntry>& entries)
{
    const std::unique_ptr<archive, int (*)(archive*)> zip(archive_write_new(), archive_write_free);
    archive_write_set_format_zip(zip.get());
    if (archive_write_open_filename(zip.get(), QFile::encodeName(zipPath).constData()) !=
        ARCHIVE_OK)
        return false;
    for (const ZipEntry& e : entries) {
        const std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                             archive_entry_free);
        archive_entry_set_pathname(entry.get(), e.path.constData());
        archive_entry_set_mode(entry.get(), e.mode);
        if (!e.hardlink.isEmpty())
            archive_entry_set_hardlink(entry.get(), e.hardlink.constData());
        if ((e.mode & AE_IFMT) == AE_IFLNK)
            archive_entry_set_symlink(entry.get(), e.linkTarget.constData());
        const bool hasData = (e.mode & AE_IFMT) == AE_IFREG && e.hardlink.isEmpty();
        archive_entry_set_size(entry.get(), hasData ? e.content.size() : 0);
        if (archive_write_header(zip.get(), entry.get()) != ARCHIVE_OK)
            return false;
        if (hasData && archive_write_data(zip.get(), e.content.constData(),
                                          static_cast<size_t>(e.content.size())) < 0)
            return false;
    }
    return archive_write_close(zip.get()) == ARCHIVE_OK;
}

inline QByteArray linkTarget(const QString& path)
{
    QByteArray target(4096, '\0');
    const ssize_t n = readlink(QFile::encodeName(path).constData(), target.data(), target.size());
    target.truncate(n < 0 ? 0 : n);
    return target;
}

// Zips `folder` (its own name at the top of the archive) with modes and links.
inline bool zipFolder(const QString& folder, const QString& zipPath)
{
    const QDir parent = QFileInfo(folder).dir();
    std::vector<ZipEntry> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    entries.push_back(
        {QFile::encodeName(QFileInfo(folder).fileName()) + '/', {}, AE_IFDIR | 0755, {}, {}});
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st {};
        lstat(QFile::encodeName(path).constData(), &st);
        ZipEntry e{QFile::encodeName(parent.relativeFilePath(path)), {}, st.st_mode, {}, {}};
        if (S_ISDIR(st.st_mode))
            e.path += '/';
        else if (S_ISLNK(st.st_mode))
            e.linkTarget = linkTarget(path);
        else
            e.content = readFile(path);
        entries.push_back(e);
    }
    return writeZip(zipPath, entries);
}

// Every path under `root`, relative, sorted: what a test compares before and after.
inline QStringList tree(const QString& root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << QDir(root).relativeFilePath(it.next());
    paths.sort();
    return paths;
}

inline QString sha256Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace quillet::updatetest
